#include "sim/checks/host_fault_matrix.h"

#include <string>

#include "sim/checks/invariants.h"

namespace sim {

namespace {

using Flow = MatrixFlow;

// The Result a failing host device answers with: no code of the response
// table, so the module reports it as a system error with the host's code.
const char* const deviceFailure = "E7";

// A request the module makes and waits on, and how a sale reaches it.
struct WaitPoint {
    const char* label;
    const char* event;
    const char* match; // the request's text holds it (HostReceiveEvent: the message kind)
    Flow flow;
    const char* sale;  // the first sale; empty: the flow's own
    const char* rules; // what reaches the request and answers it
    // What the POS must be told when the answer is the device's failure.
    const char* failedCode;
};

const char* const menuSale = "at 2s entry Klarna_PaymentMenuRoot AmtPurchase=1250 "
                             "CurrencyCode=AUD TxnRef=MX0001\n";
const char* const amountSale =
    "at 2s pos TxnType=P AmtPurchase=-5 CurrencyCode=AUD TxnRef=MX0001 OriginalSource=POS\n";
const char* const orderIdSale =
    "at 2s pos TxnType=R AmtPurchase=1250 CurrencyCode=AUD TxnRef=MX0001 OriginalSource=POS\n";

const WaitPoint waitPoints[] = {
    {"start-transaction", "DllStartTransactionEvent", "", Flow::qrPurchase, "", "", "E7"},
    {"payment-menu", "GetButtonMenuFromPinpadEvent", "", Flow::qrPurchase, menuSale,
     "on menu after 1s try select 1\n", "E7"},
    {"amount-prompt", "GetMultiLineFromPinpadEvent", "ENTER SALE AMOUNT", Flow::qrPurchase,
     amountSale, "on prompt \"ENTER SALE AMOUNT\" after 1s try input \"1250\"\n", "E7"},
    {"order-id-prompt", "GetMultiLineFromPinpadEvent", "KLARNA ORDER ID", Flow::refund, orderIdSale,
     "on prompt \"KLARNA ORDER ID\" after 1s try input \"ORD900001\"\n", "E7"},
    {"phone-prompt", "GetMultiLineFromPinpadEvent", "ENTER MOBILE PHONE", Flow::smsPurchase, "", "",
     "00"},
    {"qr-screen", "GetMultiLineFromPinpadEvent", "SCAN QR FOR PAYMENT", Flow::qrPurchase, "",
     "on qr after 1s try select BUTTON1\n", "E7"},
    {"sms-screen", "GetMultiLineFromPinpadEvent", "CHECK PHONE", Flow::smsPurchase, "",
     "on screen \"CHECK PHONE\" after 1s try cancel pos\n", "E7"},
    {"in-progress-screen", "GetMultiLineFromPinpadEvent", "IN PROGRESS", Flow::qrPurchase, "",
     "on qr after 1s customer opens\non screen \"IN PROGRESS\" after 500ms try cancel pos\n", "TM"},
    {"receipt-print", "PrintReceiptEvent", "", Flow::qrPurchase, "", "", "00"},
    {"reprint-print", "PrintReceiptEvent", "DUPLICATE COPY", Flow::qrPurchase, "",
     "at 3m command DoReprintReceipt Merchant=70 OriginalSource=POS\n", "00"},
    {"result-key", "WaitForKeyPressEvent", "000001001", Flow::qrPurchase, "", "", "00"},
    {"retry-key", "WaitForKeyPressEvent", "011000001", Flow::refund, "",
     "fault R host-failure X0 \"NO RESPONSE\" times=1\n"
     "on keywait after 1s try key pos 1\n",
     "X0"},
    // The same offer after the gateway itself answered "X0": a declined
    // retry reports that answer (its currency and reference).
    {"retry-key-after-x0", "WaitForKeyPressEvent", "011000001", Flow::refund, "",
     "fault R decline X0 \"NO RESPONSE\" times=1\n"
     "on keywait after 1s try key pos 1\n",
     "X0"},
    {"gateway-reply.O", "HostReceiveEvent", "O", Flow::qrPurchase, "", "", "E7"},
    {"gateway-reply.P", "HostReceiveEvent", "P", Flow::qrPurchase, "", "", "E7"},
    // The operator sends a refund that got no answer again (the same
    // request: the gateway answers it as it answered the first).
    {"gateway-reply.R", "HostReceiveEvent", "R", Flow::refund, "",
     "on keywait after 1s try key pos 1\n", "00"},
    {"gateway-reply.P-", "HostReceiveEvent", "P-", Flow::reversal, "", "", "TX"},
};

struct EventFaultSpec {
    const char* label;
    const char* mode; // the words after the event name
};

const EventFaultSpec eventFaults[] = {
    {"lost", "lose"},
    {"failed", "fail"}, // with deviceFailure
    {"twice", "twice"},
    {"late", "late"},
};

// What a host might send unasked, one for each answer event.
struct StrayEvent {
    const char* event;
    const char* fields;
};

const StrayEvent strayEvents[] = {
    {"DllStartTransactionEvent",
     "DoTransaction/TxnRef=MX0001 DoTransaction/AmtPurchase=000001250 Result=00"},
    {"GetButtonMenuFromPinpadEvent", "Result=00 SelectedOption=1 PinpadCancelled=0 PosCancelled=0"},
    {"GetMultiLineFromPinpadEvent", "Result=00 InputData=1250 PinpadCancelled=0 PosCancelled=0"},
    {"PrintReceiptEvent", "Result=00"},
    {"WaitForKeyPressEvent", "Result=00 PinpadKeyPress=ENTER PosKeyPress=1"},
    // A purchase reply of long ago (its stan is no message's of this run).
    {"HostReceiveEvent",
     "Result=00 Header=\"<Header><MTYPE>210</MTYPE></Header>\" MTYPE=210 "
     "Message=\"{\\\"type\\\":\\\"P\\\",\\\"stan\\\":99,\\\"rc\\\":\\\"00\\\"}\""},
};

std::string saleOf(const WaitPoint& point) {
    return point.sale[0] != '\0' ? point.sale : matrixFirstSale(point.flow);
}

bool isGatewayReply(const WaitPoint& point) {
    return std::string(point.event) == "HostReceiveEvent";
}

// A late answer is held until the next transaction begins: a second sale at
// 8 minutes (after the module has given up a wait the answer of which never
// came), which must be approved unless the late event is a gateway reply (a
// reply in no window ends the sale waiting, by rule).
std::string secondSale(const WaitPoint& point) {
    std::string text = "at 8m pinpad-online 1\n"
                       "at 8m pos TxnType=P AmtPurchase=800 CurrencyCode=AUD TxnRef=MX0002 "
                       "OriginalSource=POS\n";
    if (!isGatewayReply(point)) {
        text += "expect result#2 TxnRef=MX0002 ResponseCode=00\n";
    }
    return text;
}

MatrixCase eventCase(const WaitPoint& point, const EventFaultSpec& fault) {
    MatrixCase one;
    one.name = std::string("host ") + point.label + " answer " + fault.label;
    const bool failed = std::string(fault.mode) == "fail";
    std::string line = std::string("host event ") + point.event + " " + fault.mode +
                       (failed ? std::string(" ") + deviceFailure : "");
    if (point.match[0] != '\0') {
        line += std::string(" match=\"") + point.match + "\"";
    }
    one.text = matrixHeader(one.name, point.flow) + line + "\n" + point.rules + saleOf(point);
    const bool late = std::string(fault.label) == "late";
    if (late) {
        one.text += secondSale(point);
    }
    one.text += matrixClosingSale(late ? "15m" : "10m");
    if (failed) {
        one.text += std::string("expect result#1 ResponseCode=") + point.failedCode + "\n";
    }
    one.checks = hostMatrixChecks(point.flow);
    return one;
}

// A stray event between two sales changes nothing: the last transaction's
// record still answers, no transaction is begun by it.
MatrixCase strayIdleCase(const StrayEvent& stray) {
    MatrixCase one;
    one.name = std::string("host stray ") + stray.event + " between sales";
    one.text = matrixHeader(one.name, Flow::qrPurchase) + matrixFirstSale(Flow::qrPurchase) +
               "at 3m event " + stray.event + " " + stray.fields + "\n" +
               "at 4m command DoGetLastTransaction Merchant=70 OriginalSource=POS\n" +
               matrixClosingSale("10m") +
               "expect pos-event GetLastTransactionEvent TxnRef=MX0001 ResponseCode=00\n"
               "expect request StartSession count=2\n";
    one.checks = hostMatrixChecks(Flow::qrPurchase);
    return one;
}

// A stray event while the sale waits for its purchase reply (its screens
// taken down, its answers all given) changes nothing either.
MatrixCase strayInSaleCase(const StrayEvent& stray) {
    MatrixCase one;
    one.name = std::string("host stray ") + stray.event + " while the sale awaits P";
    one.text = matrixHeader(one.name, Flow::qrPurchase) + "on gateway P after 100ms event " +
               stray.event + " " + stray.fields + "\n" + matrixFirstSale(Flow::qrPurchase) +
               matrixClosingSale("10m");
    // A gateway reply in the purchase's window that is not its own ends the
    // sale by rule (XC: the purchase is reversed); every other stray leaves
    // it to be approved.
    one.text += std::string("expect result#1 TxnRef=MX0001 ResponseCode=") +
                (std::string(stray.event) == "HostReceiveEvent" ? "XC" : "00") + "\n";
    one.checks = hostMatrixChecks(Flow::qrPurchase);
    return one;
}

} // namespace

std::vector<MatrixCase> hostEventCases() {
    std::vector<MatrixCase> cases;
    for (const WaitPoint& point : waitPoints) {
        for (const EventFaultSpec& fault : eventFaults) {
            cases.push_back(eventCase(point, fault));
        }
    }
    for (const StrayEvent& stray : strayEvents) {
        cases.push_back(strayIdleCase(stray));
        cases.push_back(strayInSaleCase(stray));
    }
    return cases;
}

void checkOwedReversal(const RunRecord& record, const VariableStore& store,
                       const RunObservations& seen, std::vector<std::string>& failures) {
    const std::string* owed = store.find("REVERSAL_DATA");
    if (owed != nullptr && owed->find(matrixOwedOrder) != std::string::npos) {
        return;
    }
    for (std::size_t i = 0; i < record.gateway.size(); ++i) {
        const nlohmann::json& sent = record.gateway[i].json;
        const bool undoesOwed = record.gateway[i].kind == "P-" && sent.is_object() &&
                                sent.contains("orderid") &&
                                sent["orderid"] == std::string(matrixOwedOrder);
        std::string rc;
        if (undoesOwed && answerTo(record, seen, i, rc) != nullptr && (rc == "00" || rc == "0A")) {
            return;
        }
    }
    failures.push_back(std::string("host matrix: the reversal of ") + matrixOwedOrder +
                       " owed at the start was neither accepted nor still owed at the end");
}

MatrixChecks hostMatrixChecks(MatrixFlow flow) {
    if (flow != Flow::reversal) {
        return checkMatrixOutcome;
    }
    return [](const RunRecord& record, const VariableStore& store, const RunObservations& seen,
              std::vector<std::string>& failures) {
        checkMatrixOutcome(record, store, seen, failures);
        checkOwedReversal(record, store, seen, failures);
    };
}

namespace {

const char* const hostSuite = "host-fault-matrix";

bool canRun(const RunSettings& settings) {
    return settings.module != nullptr || !settings.modulePath.empty();
}

// The cases of the parts; a part whose clean run failed adds its errors.
std::vector<MatrixCase> casesOf(const RunSettings& settings,
                                const std::vector<HostMatrixPart>& parts,
                                std::vector<Failure>& errors) {
    RunSettings quiet = settings;
    quiet.level = Level::quiet;
    std::vector<MatrixCase> cases;
    for (const HostMatrixPart part : parts) {
        std::vector<MatrixCase> more;
        if (part == HostMatrixPart::events) {
            more = hostEventCases();
        } else if (canRun(settings)) {
            more = part == HostMatrixPart::doors ? hostDoorCases(quiet, errors)
                                                 : hostRequestCases(quiet, errors);
        }
        cases.insert(cases.end(), more.begin(), more.end());
    }
    return cases;
}

} // namespace

void listHostFaultMatrix(const RunSettings& settings, const std::vector<HostMatrixPart>& parts,
                         std::ostream& out) {
    std::vector<Failure> errors;
    const std::vector<MatrixCase> cases = casesOf(settings, parts, errors);
    for (const MatrixCase& one : cases) {
        out << (settings.level == Level::verbose ? one.text + "\n" : one.name + "\n");
    }
    for (const Failure& error : errors) {
        out << error.headline() << '\n';
    }
    out << cases.size() << " cases"
        << (canRun(settings) ? ""
                             : " (the door and request cases follow clean runs of the module: "
                               "name it with --module or use --in-process)")
        << '\n';
}

void runHostFaultMatrix(const RunSettings& settings, const std::vector<HostMatrixPart>& parts,
                        const std::string& filter, CaseSink& sink) {
    std::vector<Failure> errors;
    const std::vector<MatrixCase> cases = casesOf(settings, parts, errors);
    if (!errors.empty()) {
        errors.insert(errors.begin(),
                      plainFailure("check", "", "a clean run the cases follow could not be run"));
        sink.caseDone(
            errorCase(hostSuite, "host fault cases that follow clean runs", "(clean run)", errors));
    }
    runMatrixCases(hostSuite, cases, settings, filter, sink);
}

} // namespace sim
