#include "sim/checks/fault_matrix.h"

#include <cstdio>
#include <string>
#include <utility>

#include "sim/gateway/gateway_sim.h"
#include "sim/host/sim_xml.h"

namespace sim {

namespace {

const char* const matrixSuite = "fault-matrix";

// A reversal the terminal still owes for an earlier, captured order (with
// the card number it was paid with, which no record may keep whole).
const char* const pendingReversal =
    R"({\"amt\":1250,\"currency\":\"AUD\",\"mt\":200,\"orderid\":\"ORD900001\",)"
    R"(\"pan\":\"4111111111111111\",\"ref\":\"MX0000\",\"repeat\":0,\"reply\":0,)"
    R"(\"sentcount\":1,\"stan\":7,)"
    R"(\"token\":\"TOK7\",\"type\":\"P-\"})";

} // namespace

const char* const matrixOwedOrder = "ORD900001";

namespace {

// Stands in a second run's text for the order the first run paid.
const char* const paidOrderMark = "{PAID_ORDER}";

using Flow = MatrixFlow;

struct Exchange {
    Flow flow;
    const char* kind;    // the fault's message kind
    const char* trigger; // the gateway kind a rule sees for it
    const char* label;
};

const Exchange exchanges[] = {
    {Flow::qrPurchase, "O", "O", "qr-purchase.O"}, {Flow::qrPurchase, "N", "N", "qr-purchase.N"},
    {Flow::qrPurchase, "P", "P", "qr-purchase.P"}, {Flow::smsPurchase, "D", "D", "sms-purchase.D"},
    {Flow::refund, "R", "R", "refund.R"},          {Flow::logon, "A+", "A+", "logon.A+"},
    {Flow::reversal, "REV", "P-", "reversal.P-"},
};

struct FaultSpec {
    const char* label;
    const char* line; // "KIND" stands for the message kind
};

const FaultSpec faults[] = {
    {"host-failure", "fault KIND host-failure H5 \"HOST DOWN\" times=1"},
    {"no-reply", "fault KIND no-reply times=1"},
    // Long after the exchange ended, its retry question (60 s) and result step
    // included.
    {"late-after-completion", "fault KIND late 150s keep times=1"},
    // After the host's own 30-s time-out, before the exchange's flow ends (a
    // refund's reply then comes while the operator is asked to retry).
    {"late-after-host-timeout", "fault KIND late 50s keep times=1"},
    // After the retry question ran out too (60 s), during the result step
    // (its failure receipt printed, its key wait up): a refund's approval
    // then still decides it.
    {"late-in-result-step", "fault KIND late 95s keep times=1"},
    {"duplicate", "fault KIND duplicate times=1"},
    {"wrong-stan", "fault KIND wrong-stan times=1"},
    {"wrong-type", "fault KIND wrong-type times=1"},
    {"wrong-mtype", "fault KIND wrong-mtype times=1"},
    {"bad-json", "fault KIND bad-json times=1"},
    {"missing-rc", "fault KIND drop rc times=1"},
    {"pinpad-offline", "on gateway TRIGGER pinpad-online 0"},
};

std::string replaced(std::string text, const std::string& what, const std::string& by) {
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + by.size())) {
        text.replace(at, what.size(), by);
    }
    return text;
}

} // namespace

std::string matrixHeader(const std::string& name, Flow flow) {
    std::string text = "scenario \"" + name + "\"\n";
    text += "var TERMINAL_REF_NUM \"TERM0001\"\n";
    if (flow == Flow::logon) {
        text += "var USERNAME \"shop\"\nvar PASSWORD \"secret\"\ngateway token TOK42\n";
    } else {
        text += "var TOKEN \"TOK7\"\ngateway accept-token TOK7\n";
    }
    if (flow == Flow::smsPurchase) {
        text += "var PAYMENT_MODE \"SMS\"\n";
    }
    if (flow == Flow::refund || flow == Flow::reversal) {
        text += "gateway order ORD900001 1250 AUD\n";
    }
    if (flow == Flow::reversal) {
        text += std::string("var REVERSAL_DATA \"") + pendingReversal + "\"\n";
    }
    text += "pinpad QR_code=1 TID=PP01 MID=M01 Acquirer=KLARNA\n";
    // The customer completes every payment link shown, on either screen.
    text += "each qr after 2s try customer pays\n";
    text += "each prompt \"ENTER MOBILE PHONE #\" input \"0412345678\"\n";
    text += "each screen \"CHECK PHONE\" after 3s try customer pays\n";
    text += "at 1s pinpad-online 1\n";
    return text;
}

std::string matrixFirstSale(Flow flow) {
    if (flow == Flow::refund) {
        return "at 2s pos TxnType=R AmtPurchase=1250 CurrencyCode=AUD TxnRef=MX0001 "
               "OriginalSource=POS PurchaseAnalysisData=\"RFN039{\\\"merchant\\\":\\\"70\\\","
               "\\\"orderid\\\":\\\"ORD900001\\\"}\"\n";
    }
    return "at 2s pos TxnType=P AmtPurchase=1250 CurrencyCode=AUD TxnRef=MX0001 "
           "OriginalSource=POS\n";
}

// The clean sale every case ends with, long after any late reply.
std::string matrixClosingSale(const std::string& at) {
    return "at " + at + " pinpad-online 1\nat " + at +
           " pos TxnType=P AmtPurchase=500 CurrencyCode=AUD TxnRef=MX0009 OriginalSource=POS\n";
}

namespace {

// ResponseCode of the TransactionEvent a DllEndTransaction request carries.
std::string resultCode(const RequestRecord& request) {
    const XmlElement* holder = request.element.find("VORTAXIS_EVENT");
    if (holder == nullptr || holder->children.empty()) {
        return {};
    }
    return holder->children.front().childText("ResponseCode");
}

// The exchange's first reply decides it; but a refund's approval that
// reaches the terminal later, still before the result (after the host's
// time-out, during the retry question or the result step), is the answer the
// module takes: a refund has no reversal.
bool approvedBeforeResult(const RunRecord& record, const RunObservations& seen,
                          const TransactionSpan& sale, std::size_t message) {
    std::string rc;
    if (answerTo(record, seen, message, rc) != nullptr || sale.cutByRestart) {
        return rc == "00";
    }
    return record.gateway[message].kind == "R" &&
           approvalDelivered(record, seen, message, sale.results.front()) != nullptr;
}

// The POS must hear "00" exactly when the sale's money step was approved and
// stands: one that the module reversed afterwards (a purchase approved while
// the pinpad went offline) is rightly reported as not approved.
void checkSaleResult(const RunRecord& record, const RunObservations& seen,
                     const TransactionSpan& sale, const std::string& which,
                     std::vector<std::string>& failures) {
    if (sale.results.empty()) {
        return;
    }
    const std::string code = resultCode(record.requests[sale.results.front()]);
    bool approved = false;
    for (std::size_t g = sale.gatewayFrom; g < sale.gatewayTo; ++g) {
        if (isMoneyStep(record.gateway[g]) && approvedBeforeResult(record, seen, sale, g) &&
            !reversedLater(record, seen, g)) {
            approved = true;
        }
    }
    if (code == "00" && !approved) {
        failures.push_back("matrix: " + which +
                           " was reported approved (00) but its money step was not approved "
                           "by the gateway");
    } else if (code != "00" && approved) {
        failures.push_back("matrix: the gateway approved the money step of " + which +
                           " but the POS was told " + code);
    }
}

} // namespace

void checkMatrixOutcome(const RunRecord& record, const VariableStore& store,
                        const RunObservations& seen, std::vector<std::string>& failures) {
    const std::vector<TransactionSpan> sales = transactionsOf(record, seen);
    if (sales.empty()) {
        failures.push_back("matrix: no sale was begun");
        return;
    }
    for (std::size_t s = 0; s < sales.size(); ++s) {
        const std::string which = "sale #" + std::to_string(s + 1);
        const std::size_t expected = sales[s].cutByRestart ? sales[s].results.size() : 1;
        if (sales[s].results.size() != expected || sales[s].results.size() > 1) {
            failures.push_back("matrix: " + which + " gave the POS " +
                               std::to_string(sales[s].results.size()) + " results, not one");
        }
        checkSaleResult(record, seen, sales[s], which, failures);
    }
    const TransactionSpan& closing = sales.back();
    if (closing.results.empty() || resultCode(record.requests[closing.results.front()]) != "00") {
        failures.push_back("matrix: the closing clean sale was not approved");
    }
    const std::string* reversal = store.find("REVERSAL_DATA");
    if (reversal != nullptr && !reversal->empty()) {
        failures.push_back("matrix: a reversal is still pending at the end: " + *reversal);
    }
    checkStoredRecords(store.all(), "at the end", failures);
    for (std::size_t r = 0; r < seen.storeAtRestart.size(); ++r) {
        checkStoredRecords(seen.storeAtRestart[r], "at restart #" + std::to_string(r + 1),
                           failures);
    }
}

std::vector<MatrixCase> faultMatrixCases() {
    std::vector<MatrixCase> cases;
    for (const Exchange& exchange : exchanges) {
        for (const FaultSpec& fault : faults) {
            MatrixCase one;
            one.name = std::string("fault ") + exchange.label + " " + fault.label;
            std::string line = replaced(fault.line, "KIND", exchange.kind);
            line = replaced(line, "TRIGGER", exchange.trigger);
            one.text = matrixHeader(one.name, exchange.flow) + line + "\n" +
                       matrixFirstSale(exchange.flow) + matrixClosingSale("10m");
            cases.push_back(one);
        }
    }
    const std::vector<MatrixCase> store = storeFileRestartCases();
    cases.insert(cases.end(), store.begin(), store.end());
    return cases;
}

std::vector<MatrixCase> restartCases(const std::vector<std::string>& requestNames,
                                     std::size_t startupRequests) {
    std::vector<MatrixCase> cases;
    std::map<std::string, int> seenBefore;
    for (std::size_t k = 0; k < requestNames.size(); ++k) {
        const std::string& name = requestNames[k];
        if (k < startupRequests) {
            ++seenBefore[name];
            continue;
        }
        MatrixCase one;
        one.restarts = true;
        one.name =
            "restart after request #" + std::to_string(k + 1 - startupRequests) + " (" + name + ")";
        std::string rules;
        // Earlier requests of the same name use up the idle rules; the k-th
        // one fires the restart.
        for (int i = 0; i < seenBefore[name]; ++i) {
            rules += "on request " + name + " wait\n";
        }
        rules += "on request " + name + " restart\n";
        ++seenBefore[name];
        one.text = matrixHeader(one.name, Flow::qrPurchase) + rules +
                   matrixFirstSale(Flow::qrPurchase) + matrixClosingSale("10m");
        cases.push_back(one);
    }
    return cases;
}

// The simulator restarted on its store file: the first run logs on with the
// shop's credentials (the gateway issues the token) and the second run
// configures no token at all, so it works only if the gateway kept what it
// issued and what was paid.
std::string restartHeader(const std::string& name, bool firstRun) {
    std::string text = matrixHeader(name, Flow::qrPurchase);
    text = replaced(text, "var TOKEN \"TOK7\"\ngateway accept-token TOK7\n",
                    firstRun ? "var USERNAME \"shop\"\nvar PASSWORD \"secret\"\n" : "");
    return text;
}

std::vector<MatrixCase> storeFileRestartCases() {
    std::vector<MatrixCase> cases;
    for (const char* kind : {"O", "N", "P"}) {
        MatrixCase one;
        one.name = std::string("simulator restart with its store file while ") + kind +
                   " awaits its reply";
        // The first run stops with the reply still outstanding; the second
        // run starts from the store file alone.
        one.text = restartHeader(one.name, true) + "fault " + kind +
                   " no-reply always\nrun-limit 15s\n" + matrixFirstSale(Flow::qrPurchase);
        one.afterRestartText =
            restartHeader(one.name + " (after the restart)", false) + matrixClosingSale("5s");
        cases.push_back(one);
    }
    MatrixCase refund;
    refund.name = "simulator restart with its store file, then the refund of the order paid before";
    refund.text = restartHeader(refund.name, true) + matrixFirstSale(Flow::qrPurchase);
    refund.afterRestartText =
        restartHeader(refund.name + " (after the restart)", false) +
        "at 2s pos TxnType=R AmtPurchase=1250 CurrencyCode=AUD TxnRef=MX0002 "
        "OriginalSource=POS PurchaseAnalysisData=\"RFN039{\\\"merchant\\\":\\\"70\\\","
        "\\\"orderid\\\":\\\"" +
        std::string(paidOrderMark) + "\\\"}\"\n" + matrixClosingSale("1m") +
        "expect result#1 ResponseCode=00 TxnType=R\n";
    cases.push_back(refund);
    return cases;
}

namespace {

bool parseCase(const std::string& name, const std::string& text, Scenario& scenario,
               std::vector<Failure>& errors) {
    std::vector<ParseError> found;
    if (!parseScenario(name, text, scenario, found)) {
        for (const ParseError& error : found) {
            errors.push_back(
                plainFailure("file", error.file + ":" + std::to_string(error.line), error.message));
        }
        return false;
    }
    scenario.file = name;
    return true;
}

// A clean QR purchase, to learn the requests a restart can follow.
std::vector<std::string> cleanPurchaseRequests(const RunSettings& settings,
                                               std::size_t& startupRequests,
                                               std::vector<Failure>& errors) {
    startupRequests = 0;
    std::vector<std::string> names;
    Scenario scenario;
    const std::string text =
        matrixHeader("clean QR purchase", Flow::qrPurchase) + matrixFirstSale(Flow::qrPurchase);
    if (!parseCase("(clean purchase)", text, scenario, errors)) {
        return names;
    }
    RunSettings quiet = settings;
    quiet.extraChecks = [&names, &startupRequests](const RunRecord& record, const VariableStore&,
                                                   const RunObservations&,
                                                   std::vector<std::string>&) {
        for (const RequestRecord& request : record.requests) {
            names.push_back(request.name);
            startupRequests += request.startup != 0 ? 1 : 0;
        }
    };
    const RunReport report = runScenario(scenario, quiet);
    errors.insert(errors.end(), report.failures.begin(), report.failures.end());
    return names;
}

std::string storeFileFor(const RunSettings& settings, std::size_t number) {
    const std::string base = settings.storePath.empty() ? "klarna-sim-matrix" : settings.storePath;
    return base + "." + std::to_string(number) + ".store";
}

// The id of the last order the gateway kept beside the store.
std::string lastOrderOf(const std::string& storePath) {
    GatewayState state;
    std::string error;
    if (!readGatewayState(gatewayStatePath(storePath), state, error)) {
        return "(" + error + ")";
    }
    for (auto it = state.sessions.rbegin(); it != state.sessions.rend(); ++it) {
        if (!it->orderid.empty()) {
            return it->orderid;
        }
    }
    return "(no order was paid)";
}

CaseReport runCase(const char* suite, const MatrixCase& one, std::size_t number,
                   const RunSettings& settings) {
    const Stopwatch watch;
    Scenario scenario;
    std::vector<Failure> errors;
    if (!parseCase(one.name, one.text, scenario, errors)) {
        return errorCase(suite, one.name, one.name, errors);
    }
    RunSettings run = settings;
    const auto checks = one.checks ? one.checks : checkMatrixOutcome;
    run.extraChecks = checks;
    if (one.afterRestartText.empty()) {
        // Run before the stopwatch is read (arguments are evaluated in any order).
        const RunReport report = runScenario(scenario, run);
        return caseFromRuns(suite, one.name, one.name, {report}, watch.seconds());
    }
    run.storePath = storeFileFor(settings, number);
    std::remove(run.storePath.c_str());
    std::remove(gatewayStatePath(run.storePath).c_str());
    run.extraChecks = nullptr;
    RunReport first = runScenario(scenario, run);
    std::vector<Failure> kept;
    for (const Failure& failure : first.failures) {
        // The first run is cut off on purpose; anything else counts.
        if (failure.what.find("reached its limit") == std::string::npos) {
            kept.push_back(failure);
        }
    }
    first.failures = kept;
    first.warnings.clear(); // the first run has nothing to check: the second one judges both
    Scenario second;
    if (!parseCase(one.name + " (after the restart)",
                   replaced(one.afterRestartText, paidOrderMark, lastOrderOf(run.storePath)),
                   second, errors)) {
        return errorCase(suite, one.name, one.name, errors);
    }
    run.extraChecks = checks;
    const RunReport after = runScenario(second, run);
    std::remove(run.storePath.c_str());
    std::remove(gatewayStatePath(run.storePath).c_str());
    return caseFromRuns(suite, one.name, one.name, {first, after}, watch.seconds());
}

} // namespace

void listFaultMatrix(std::ostream& out) {
    const std::vector<MatrixCase> cases = faultMatrixCases();
    for (const MatrixCase& one : cases) {
        out << one.name << '\n';
    }
    out << cases.size() << " cases, and one restart case per request of a clean QR purchase\n";
}

void runFaultMatrix(const RunSettings& settings, const std::string& filter, CaseSink& sink) {
    std::vector<MatrixCase> cases = faultMatrixCases();
    RunSettings quiet = settings;
    quiet.level = Level::quiet;
    std::size_t startupRequests = 0;
    std::vector<Failure> errors;
    const std::vector<std::string> names = cleanPurchaseRequests(quiet, startupRequests, errors);
    const std::vector<MatrixCase> restarts = restartCases(names, startupRequests);
    if (restarts.empty()) {
        errors.insert(errors.begin(),
                      plainFailure("check", "", "the clean purchase could not be run"));
        sink.caseDone(errorCase(matrixSuite,
                                "restart cases after each request of a clean QR "
                                "purchase",
                                "(clean purchase)", errors));
    }
    cases.insert(cases.end(), restarts.begin(), restarts.end());
    runMatrixCases(matrixSuite, cases, settings, filter, sink);
}

void runMatrixCases(const char* suite, const std::vector<MatrixCase>& cases,
                    const RunSettings& settings, const std::string& filter, CaseSink& sink) {
    for (std::size_t i = 0; i < cases.size(); ++i) {
        if (caseSelected(filter, cases[i].name, cases[i].name)) {
            sink.caseDone(runCase(suite, cases[i], i + 1, settings));
        }
    }
}

} // namespace sim
