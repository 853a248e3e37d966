// The host matrix cases generated from clean runs: the host's asynchronous
// doors at every point of a sale, and each host request of a sale failing.
#include <map>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "sim/checks/host_fault_matrix.h"

namespace sim {

namespace {

using Flow = MatrixFlow;

// The host's doors into the module that open whenever the host pleases.
struct Door {
    const char* label;
    const char* action;
    const char* host = ""; // how the host behaves in the run
    const char* expect = "";
};

// An earlier sale's copy, stored before every door case, so that a reprint
// has something to print.
const char* const earlierDuplicate =
    "var RECEIPT_DUPLICATE \" *** DUPLICATE COPY *** \\r\\nRef No:          MX0000\\r\\n"
    "Amount:            $5.00\\r\\nTRANSACTION APPROVED 00 \\r\\n\"\n";

const Door doors[] = {
    {"DoReprintReceipt", "command DoReprintReceipt Merchant=70 OriginalSource=POS"},
    // A print answered after the sale's own print was asked for: each print
    // still has its own answer, and the POS its reprint's.
    {"DoReprintReceipt (slow printer)", "command DoReprintReceipt Merchant=70 OriginalSource=POS",
     "host print-delay 5s\n", "expect pos-event ReprintReceiptEvent ResponseCode?\n"},
    {"DoGetLastReceipt", "command DoGetLastReceipt Merchant=70 OriginalSource=POS"},
    {"DoGetLastTransaction", "command DoGetLastTransaction Merchant=70 OriginalSource=POS"},
    {"RefreshSettings", "refresh-settings"},
    {"PinpadNotify 0", "pinpad-online 0"},
    {"PinpadNotify 1", "pinpad-online 1"},
    {"TimerTrigger", "timer"},
    {"second POS sale",
     "pos TxnType=P AmtPurchase=700 CurrencyCode=AUD TxnRef=MX0005 OriginalSource=POS"},
    {"payment menu", "entry Klarna_PaymentMenuRoot AmtPurchase=700 CurrencyCode=AUD TxnRef=MX0006"},
    {"purchase button", "entry Klarna_Purchase AmtPurchase=700 CurrencyCode=AUD TxnRef=MX0007"},
};

struct FlowRun {
    Flow flow;
    const char* label;
};

const FlowRun doorFlows[] = {
    {Flow::qrPurchase, "qr-purchase"},
    {Flow::smsPurchase, "sms-purchase"},
    {Flow::refund, "refund"},
};

// A point of a clean run where the host can deliver something: after the
// occurrence-th request named request (counted from the start of the run).
struct RunPoint {
    std::string request;
    int occurrence = 1;
    std::string label;
};

struct CleanRun {
    bool ok = false;
    RunRecord record;
    RunObservations seen;
    std::size_t saleBegin = 0; // first request of the sale
    std::size_t saleEnd = 0;   // one past its DllEndTransaction
};

// before: lines acting before the sale.
CleanRun runClean(Flow flow, const RunSettings& settings, std::vector<Failure>& errors,
                  const std::string& before = "") {
    CleanRun clean;
    Scenario scenario;
    std::vector<ParseError> parseErrors;
    const std::string text = matrixHeader("clean run", flow) + before + matrixFirstSale(flow);
    if (!parseScenario("(clean run)", text, scenario, parseErrors)) {
        for (const ParseError& error : parseErrors) {
            errors.push_back(
                plainFailure("file", error.file + ":" + std::to_string(error.line), error.message));
        }
        return clean;
    }
    RunSettings run = settings;
    run.extraChecks = [&clean](const RunRecord& record, const VariableStore&,
                               const RunObservations& seen, std::vector<std::string>&) {
        clean.record = record;
        clean.seen = seen;
    };
    const RunReport report = runScenario(scenario, run);
    errors.insert(errors.end(), report.failures.begin(), report.failures.end());
    for (const ObservedDelivery& delivery : clean.seen.deliveries) {
        if (delivery.name == "PosDirectEntryPoint" && delivery.returned == 1) {
            clean.saleBegin = delivery.requestsBefore;
            break;
        }
    }
    for (std::size_t r = clean.saleBegin; r < clean.record.requests.size(); ++r) {
        if (clean.record.requests[r].name == "DllEndTransaction") {
            clean.saleEnd = r + 1;
            break;
        }
    }
    if (clean.saleEnd <= clean.saleBegin) {
        errors.push_back(plainFailure("check", "(clean run)", "the clean sale gave no result"));
    }
    clean.ok = report.passed() && clean.saleEnd > clean.saleBegin;
    return clean;
}

int occurrence(const RunRecord& record, std::size_t index) {
    int count = 0;
    for (std::size_t r = 0; r <= index; ++r) {
        count += record.requests[r].name == record.requests[index].name ? 1 : 0;
    }
    return count;
}

// The end of every delivery the module handled during the sale, and the
// moment before DllStartTransaction, whose answer the host schedules at
// once (a door after it comes after that answer): a door opened after any
// other request of a delivery finds the module in the same state as after
// its last one.
std::vector<RunPoint> salePoints(const CleanRun& clean) {
    std::set<std::size_t> ends;
    const std::vector<ObservedDelivery>& deliveries = clean.seen.deliveries;
    for (std::size_t d = 0; d < deliveries.size(); ++d) {
        const std::size_t next = d + 1 < deliveries.size() ? deliveries[d + 1].requestsBefore
                                                           : clean.record.requests.size();
        const std::size_t from = std::max(deliveries[d].requestsBefore, clean.saleBegin);
        const std::size_t to = std::min(next, clean.saleEnd);
        if (from < to) {
            ends.insert(to - 1);
        }
    }
    for (std::size_t r = clean.saleBegin + 1; r < clean.saleEnd; ++r) {
        if (clean.record.requests[r].name == "DllStartTransaction") {
            ends.insert(r - 1); // a door acting then comes before the answer
        }
    }
    std::vector<RunPoint> points;
    for (const std::size_t r : ends) {
        RunPoint point;
        point.request = clean.record.requests[r].name;
        point.occurrence = occurrence(clean.record, r);
        point.label = "#" + std::to_string(r + 1 - clean.saleBegin) + " (" + point.request + ")";
        points.push_back(point);
    }
    return points;
}

// Rules that act after the occurrence-th request of a name: the earlier
// ones use up idle rules.
std::string afterRequest(const std::string& name, int occurrence, const std::string& action) {
    std::string rules;
    for (int i = 1; i < occurrence; ++i) {
        rules += "on request " + name + " wait\n";
    }
    return rules + "on request " + name + " " + action + "\n";
}

MatrixCase doorCase(const FlowRun& flow, const RunPoint& point, const Door& door) {
    MatrixCase one;
    one.name =
        std::string("door ") + door.label + " in " + flow.label + " after request " + point.label;
    one.text = matrixHeader(one.name, flow.flow) + earlierDuplicate + door.host +
               afterRequest(point.request, point.occurrence, door.action) +
               matrixFirstSale(flow.flow) + matrixClosingSale("10m") + door.expect;
    one.checks = hostMatrixChecks(flow.flow);
    return one;
}

// A refused request ends what waited on it at once, so the closing sale
// comes at 3 minutes: before the 5 minutes after which the module would end
// a wait for an answer the host lost (which would hide a refusal taken for
// a request still running). A case with later steps of its own closes later.
MatrixCase requestCase(const std::string& name, const std::string& fault,
                       const char* closingAt = "3m") {
    MatrixCase one;
    one.name = name;
    one.text = matrixHeader(name, Flow::reversal) + fault + "\n" + matrixFirstSale(Flow::reversal) +
               matrixClosingSale(closingAt);
    one.checks = hostMatrixChecks(Flow::reversal);
    return one;
}

std::string variableOf(const RequestRecord& request) {
    return request.element.childText("VariableName");
}

// The message kind whose reversal record a REVERSAL_DATA write stores; ""
// for any other write (the one that empties it among them).
std::string storedKind(const RequestRecord& request) {
    if (request.name != "SetVariable" || variableOf(request) != "REVERSAL_DATA") {
        return "";
    }
    const nlohmann::json record =
        nlohmann::json::parse(request.element.childText("Value"), nullptr, false);
    if (!record.is_object() || !record.contains("type") || !record["type"].is_string()) {
        return "";
    }
    std::string kind = record["type"].get<std::string>();
    if (!kind.empty() && kind.back() == '-') {
        kind.pop_back();
    }
    return kind;
}

} // namespace

std::vector<MatrixCase> hostDoorCases(const RunSettings& settings, std::vector<Failure>& errors) {
    std::vector<MatrixCase> cases;
    for (const FlowRun& flow : doorFlows) {
        const CleanRun clean = runClean(flow.flow, settings, errors);
        if (!clean.ok) {
            return {};
        }
        for (const RunPoint& point : salePoints(clean)) {
            for (const Door& door : doors) {
                cases.push_back(doorCase(flow, point, door));
            }
        }
    }
    return cases;
}

namespace {

// Requests refused in a case of their own although an earlier request of
// the method was: the purchase message and the QR screen, each the first
// request of its method whose text holds the mark. The purchase message is
// also answered -181 for ever, the module growing its reply buffer to its
// ceiling before it gives the request up (only there, as that costs much
// memory; given up, a request is a refused one).
struct MarkedRequest {
    const char* method;
    const char* mark;
    bool forever;
};

const MarkedRequest markedRequests[] = {
    {"SendHostMessage", "\"type\":\"P\"", true},
    {"GetMultiLineFromPinpad", "SCAN QR", false},
};

const MarkedRequest* markOf(const RequestRecord& request, std::set<std::string>& taken) {
    for (const MarkedRequest& marked : markedRequests) {
        if (request.name == marked.method && taken.count(marked.method) == 0 &&
            toCompactText(request.element).find(marked.mark) != std::string::npos) {
            taken.insert(marked.method);
            return &marked;
        }
    }
    return nullptr;
}

// The result the host never takes stays for the POS to ask for.
std::string recoveryOf(const RequestRecord& request) {
    return request.name != "DllEndTransaction"
               ? ""
               : "\nat 5m command DoGetLastTransaction Merchant=70 OriginalSource=POS\n"
                 "expect pos-event GetLastTransactionEvent TxnRef=MX0001";
}

// When the closing sale comes: after the recovery query, if there is one.
const char* closingOf(const RequestRecord& request) {
    return recoveryOf(request).empty() ? "3m" : "10m";
}

bool isRead(const RequestRecord& request) {
    return request.name == "GetVariable" || request.name == "GetLaneInfoVariable";
}

// A read the host answers with success but no reply at all: it tells no more
// than a failed one.
MatrixCase unansweredReadCase(const std::string& which, const RequestRecord& request,
                              const std::string& from, const std::string& more) {
    return requestCase(which + " " + variableOf(request) + " answered 1 without a reply",
                       "host refuse " + request.name + " 1" + from + more);
}

// The settings refresh the refresh cases make before their sale.
const char* const refreshLine = "at 1500ms refresh-settings\n";

// Each request a RefreshSettings makes (its trace and every settings read)
// failing in its own case, and each read answered without a reply: a
// setting the host could not read keeps its value, so the sale after it is
// approved.
void addRefreshCases(const RunSettings& settings, std::vector<Failure>& errors,
                     std::vector<MatrixCase>& cases) {
    const CleanRun clean = runClean(Flow::reversal, settings, errors, refreshLine);
    const std::vector<ObservedDelivery>& deliveries = clean.seen.deliveries;
    for (std::size_t d = 0; clean.ok && d < deliveries.size(); ++d) {
        if (deliveries[d].name != "RefreshSettings") {
            continue;
        }
        const std::size_t end = d + 1 < deliveries.size() ? deliveries[d + 1].requestsBefore
                                                          : clean.record.requests.size();
        for (std::size_t r = deliveries[d].requestsBefore; r < end; ++r) {
            const RequestRecord& request = clean.record.requests[r];
            const std::string which = "refresh request " + request.name + " #" +
                                      std::to_string(r + 1 - deliveries[d].requestsBefore);
            const std::string from = " from=" + std::to_string(occurrence(clean.record, r));
            const std::string more = std::string("\n") + refreshLine;
            if (!isRead(request)) {
                cases.push_back(requestCase(which + " failing",
                                            "host refuse " + request.name + " -1" + from + more));
                continue;
            }
            cases.push_back(requestCase(which + " " + variableOf(request) + " failing",
                                        "host refuse " + request.name + " -1" + from + more));
            cases.push_back(unansweredReadCase(which, request, from, more));
        }
        return;
    }
}

} // namespace

// The host requests of a sale that pays back a pending reversal first, each
// failing in turn: every SetVariable refused, every GetVariable failing, the
// first request of every other method refused, the marked requests refused
// (and the purchase message answered -181 for ever), and the reversal
// record of each money message refused with that message's reply lost;
// every read also answered without a reply; then each request of a settings
// refresh before the sale failing in the same ways.
std::vector<MatrixCase> hostRequestCases(const RunSettings& settings,
                                         std::vector<Failure>& errors) {
    const CleanRun clean = runClean(Flow::reversal, settings, errors);
    if (!clean.ok) {
        return {};
    }
    std::vector<MatrixCase> cases;
    std::set<std::string> refused;
    std::set<std::string> markedMethods;
    for (std::size_t r = clean.saleBegin; r < clean.saleEnd; ++r) {
        const RequestRecord& request = clean.record.requests[r];
        if (request.isEvent) {
            continue;
        }
        const std::string from = " from=" + std::to_string(occurrence(clean.record, r));
        const std::string which =
            "request " + request.name + " #" + std::to_string(r + 1 - clean.saleBegin);
        const bool variable = request.name == "SetVariable" || request.name == "GetVariable";
        const MarkedRequest* marked = markOf(request, markedMethods);
        if (variable || refused.insert(request.name).second || marked != nullptr) {
            const char* how = request.name == "GetVariable" ? " failing" : " refused";
            cases.push_back(
                requestCase(which + (variable ? " " + variableOf(request) : "") + how,
                            "host refuse " + request.name + " -1" + from + recoveryOf(request),
                            closingOf(request)));
        }
        if (isRead(request)) {
            cases.push_back(unansweredReadCase(which, request, from, ""));
        }
        const std::string kind = storedKind(request);
        if (!kind.empty()) {
            // Without its record the message must not go: were it sent, its
            // lost reply would leave money taken with no way back.
            cases.push_back(requestCase(which + " REVERSAL_DATA of " + kind +
                                            " refused, the reply of " + kind + " lost",
                                        "host refuse SetVariable -1" + from + "\nfault " + kind +
                                            " no-reply always\nat 5m fault clear",
                                        "10m"));
        }
        if (marked != nullptr && marked->forever) {
            cases.push_back(requestCase(which + " -181 for ever",
                                        "host reply-too-small " + request.name + from + " forever" +
                                            recoveryOf(request),
                                        closingOf(request)));
        }
    }
    addRefreshCases(settings, errors, cases);
    return cases;
}

} // namespace sim
