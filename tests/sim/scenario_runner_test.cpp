// Whole scenarios run against a small stand-in module that pays by QR code
// the way the real flow does (O, N, P, receipt, result), to check the
// runner: timeline, rules, the customer, faults and expectations.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>

#include "sim/cli/reports.h"
#include "sim/cli/text_files.h"
#include "sim/gateway/gateway_state.h"
#include "sim/scenario/scenario.h"
#include "sim/scenario/scenario_runner.h"

namespace {

using nlohmann::json;
using sim::XmlElement;

class QrPaymentModule : public sim::ModuleInstance {
  public:
    bool load(std::string&) override {
        ++loads;
        return true;
    }
    void unload() override {}
    std::int32_t shutdown() override { return 0; }

    std::int32_t startup(sim::StartupRecord& record) override {
        context = record.u32(16);
        send(method("EventSubscribe", {{"event_name", "PinpadNotify"}}));
        send(method("GetClientRunTimeDiags", {}));
        XmlElement registration{"RegisterForPosDirectEntryPoint", {}, {}};
        registration.add("MerchantNumber", "70");
        registration.add("DllName", "Klarna");
        XmlElement toGui = method("SendToDLL", {});
        toGui.find("VORTAXIS_METHOD")->children[0].children.push_back(registration);
        toGui.children.insert(toGui.children.begin() + 1,
                              XmlElement{"OTHER_DLL_DESTINATION", "VortaxisMasterGui", {}});
        send(toGui);
        ++startups;
        return 0;
    }

    std::int32_t deliver(const std::string& message, std::int32_t, std::string&) override {
        const sim::XmlParseResult parsed = sim::parseXml(message);
        const XmlElement* container = parsed.root.find("VORTAXIS_EVENT");
        if (container == nullptr || container->children.empty()) {
            return -1;
        }
        const XmlElement& event = container->children.front();
        if (event.name == "PinpadNotify") {
            return 1;
        }
        if (event.name == "PosDirectEntryPoint") {
            request = event.children.at(0);
            gatewaySend("O", 150, 30,
                        {{"amt", std::stoi(request.childText("AmtPurchase"))},
                         {"currency", request.childText("CurrencyCode")}});
            return 1;
        }
        if (event.name == "HostReceiveEvent") {
            return onGatewayReply(event);
        }
        if (event.name == "GetMultiLineFromPinpadEvent") {
            screenAnswered = true;
            gatewaySend("Q", 150, 0, {{"hppsid", hppsid}});
            stan = waitStan; // the wait's reply is what counts
            return 1;
        }
        if (event.name == "PrintReceiptEvent") {
            finish();
            return 1;
        }
        return -1;
    }

    int loads = 0;
    int startups = 0;

  private:
    static XmlElement method(const std::string& name,
                             const std::vector<std::pair<std::string, std::string>>& fields) {
        XmlElement root{"VORTAXIS_BRIDGE", {}, {}};
        root.add("VORTAXIS_SOURCE", "Klarna");
        root.add("VORTAXIS_DESTINATION", "VORTAXIS_DLL_HANDLER");
        XmlElement& element = root.add("VORTAXIS_METHOD").add(name);
        for (const auto& f : fields) {
            element.add(f.first, f.second);
        }
        return root;
    }

    void send(const XmlElement& root) {
        const std::string text = sim::toXmlDocument(root);
        std::vector<char> reply(150000);
        std::int32_t length = 150000;
        sim::HostSim::sendCallback()(context, text.data(), static_cast<std::int32_t>(text.size()),
                                     reply.data(), &length);
    }

    void gatewaySend(const std::string& type, int mt, int timeout, json fields) {
        fields["type"] = type;
        fields["mt"] = mt;
        fields["stan"] = ++stan;
        fields["token"] = "T1";
        fields["countrycode"] = "AU";
        send(method("SendHostMessage", {{"MsgType", std::to_string(mt)},
                                        {"Timeout", std::to_string(timeout)},
                                        {"Message", fields.dump()}}));
    }

    std::int32_t onGatewayReply(const XmlElement& event) {
        if (event.childText("Result") != "00") {
            code = event.childText("Result");
            finish();
            return 0;
        }
        const json reply = json::parse(event.childText("Message"));
        code = reply.value("rc", "XC");
        const std::string type = reply.value("type", "");
        if (code != "00") {
            finish();
        } else if (type == "O") {
            hppsid = reply.at("hppsid");
            send(method("GetMultiLineFromPinpad", {{"Timeout", "70"},
                                                   {"IsQRCode", "1"},
                                                   {"QRBCodeData", reply.at("redirecturl")},
                                                   {"Button1", "   SWITCH TO SMS    "},
                                                   {"CancelOnPinpad", "1"}}));
            gatewaySend("N", 150, 70,
                        {{"hppsid", hppsid}, {"hppstatus", "WAITING"}, {"timeout", 60}});
            waitStan = stan;
        } else if (type == "N") {
            if (!screenAnswered) {
                send(method("CancelCurrentCommand", {}));
            }
            gatewaySend("P", 200, 30, {{"orderid", reply.at("orderid")}, {"amt", reply.at("amt")}});
        } else {
            send(method("PrintReceipt", {{"Receipt", "KLARNA\r\nTRANSACTION APPROVED 00\r\n"},
                                         {"Printer", "POS"}}));
        }
        return 1;
    }

    void finish() {
        XmlElement root = method("DllEndTransaction", {});
        XmlElement& result =
            root.find("VORTAXIS_METHOD")->children[0].add("VORTAXIS_EVENT").add("TransactionEvent");
        result.add("ResponseCode", code);
        result.add("Success", code == "00" ? "1" : "0");
        result.add("TxnRef", request.childText("TxnRef"));
        send(root);
    }

    std::uint32_t context = 0;
    XmlElement request;
    std::string hppsid;
    std::string code;
    int stan = 0;
    int waitStan = 0;
    bool screenAnswered = false;
};

struct Outcome {
    sim::RunReport report;
    std::string transcript;
};

Outcome run(const std::string& text, QrPaymentModule& module, bool invariants = true,
            const std::string& store = "", bool readOnly = false,
            sim::Level level = sim::Level::normal) {
    sim::Scenario scenario;
    std::vector<sim::ParseError> errors;
    EXPECT_TRUE(sim::parseScenario("t.scenario", text, scenario, errors));
    std::ostringstream out;
    sim::RunSettings settings;
    settings.module = &module;
    settings.out = &out;
    settings.qrStyle = sim::QrStyle::text;
    settings.checkInvariants = invariants;
    settings.checkLedger = false; // the stand-in keeps no records, receipts or journal
    settings.storePath = store;
    settings.readOnlyStore = readOnly;
    settings.level = level;
    Outcome outcome;
    outcome.report = sim::runScenario(scenario, settings);
    outcome.transcript = out.str();
    return outcome;
}

std::string failures(const sim::RunReport& report) {
    std::string all;
    for (const sim::Failure& f : report.failures) {
        all += f.text() + "\n";
    }
    return all;
}

const char* const purchase = R"(
gateway token T1
at 1s pinpad-online 1
at 2s pos TxnType=P AmtPurchase=1250 CurrencyCode=AUD TxnRef=R1
)";

TEST(ScenarioRunner, QrPurchaseWhereTheCustomerPaysAfterTwentySeconds) {
    QrPaymentModule module;
    const Outcome outcome = run(std::string(purchase) + R"(
on gateway N after 20s customer pays
expect gateway-kinds O N P
expect gateway N hppstatus=WAITING timeout=60 @Timeout=70 @MsgType=150
expect gateway P amt=1250 orderid?
expect request CancelCurrentCommand count=1
expect result ResponseCode=00 Success=1 TxnRef=R1
expect receipt line="TRANSACTION APPROVED 00" printer=POS
expect screen "SWITCH TO SMS"
expect delivered PinpadNotify returned=1
)",
                                module);
    EXPECT_TRUE(outcome.report.passed()) << failures(outcome.report) << outcome.transcript;
    EXPECT_NE(outcome.transcript.find("QR code: https://pay.klarna.sim/hpp/"), std::string::npos);
}

TEST(ScenarioRunner, SwitchButtonInterruptsTheWaitAndTheWaitsReplyEndsIt) {
    QrPaymentModule module;
    const Outcome outcome = run(std::string(purchase) + R"(
on qr after 5s select BUTTON1
expect gateway-kinds O N Q
expect gateway Q hppsid?
expect result ResponseCode=TM Success=0
expect request CancelCurrentCommand count=0
)",
                                module);
    EXPECT_TRUE(outcome.report.passed()) << failures(outcome.report) << outcome.transcript;
}

// What a person reads: each gateway message once, the result handed to the
// POS whole, a failed print as a failure; the brief level tells the story
// without the registrations and the variables.
TEST(ScenarioRunner, TranscriptShowsEachThingOnceAndWholeAndBriefTellsTheStory) {
    const std::string longRef = std::string(450, 'R') + "END";
    const std::string text = "gateway token T1\nhost print-result 05\nat 1s pinpad-online 1\n"
                             "at 2s pos TxnType=P AmtPurchase=1250 CurrencyCode=AUD TxnRef=" +
                             longRef + "\non qr after 5s customer pays\n";
    QrPaymentModule module;
    const Outcome normal = run(text, module);
    const std::string& all = normal.transcript;
    const std::size_t created = all.find("SESSION CREATED");
    ASSERT_NE(created, std::string::npos) << all;
    EXPECT_EQ(all.find("SESSION CREATED", created + 1), std::string::npos) << all;
    const std::size_t result = all.find("module->host   DllEndTransaction");
    ASSERT_NE(result, std::string::npos) << all;
    EXPECT_EQ(all.substr(all.find('\n', result) - 7, 7), "END\"}}}") << all;
    EXPECT_NE(all.find("printer        PRINT FAILED: the printer answers Result 05"),
              std::string::npos)
        << all;

    const Outcome brief = run(text, module, true, "", false, sim::Level::brief);
    const std::string& story = brief.transcript;
    for (const char* shown : {"to gateway     O\n", "from gateway   O 00 SESSION CREATED\n",
                              "customer       pays", "PRINT FAILED", "to POS         result 00"}) {
        EXPECT_NE(story.find(shown), std::string::npos) << shown << "\n" << story;
    }
    for (const char* hidden : {"module->host", "host->module", "EventSubscribe", "{\"amt\""}) {
        EXPECT_EQ(story.find(hidden), std::string::npos) << hidden << "\n" << story;
    }
}

TEST(ScenarioRunner, WaitsAndTimeOutsCostVirtualTimeOnly) {
    QrPaymentModule module;
    const Outcome outcome = run(std::string(purchase) + R"(
fault P no-reply
on gateway N after 50s customer pays
expect result ResponseCode=X0
)",
                                module, false); // the stand-in keeps no reversal record
    EXPECT_TRUE(outcome.report.passed()) << failures(outcome.report) << outcome.transcript;
    EXPECT_NE(outcome.transcript.find(
                  "[  82.600s] host           no gateway reply to P within its time-out"),
              std::string::npos)
        << outcome.transcript;
}

TEST(ScenarioRunner, GatewayWaitRunsOutWhenNobodyActs) {
    QrPaymentModule module;
    const Outcome outcome = run(std::string(purchase) + "expect result ResponseCode=TI\n", module);
    EXPECT_TRUE(outcome.report.passed()) << failures(outcome.report) << outcome.transcript;
}

TEST(ScenarioRunner, FailedExpectationsAndUnusableDoorsAreReportedByLine) {
    QrPaymentModule module;
    const Outcome outcome = run(R"(gateway token T1
at 1s entry Klarna_Purchase TxnType=P
at 2s command DoGetLastTransaction
at 3s try command DoGetLastReceipt
at 4s input "1234"
expect result ResponseCode=00
expect gateway-kinds O
)",
                                module);
    EXPECT_FALSE(outcome.report.passed());
    const std::string all = failures(outcome.report);
    EXPECT_NE(all.find("line 2 at 1.000s: no entry point Klarna_Purchase was added by the module"),
              std::string::npos)
        << all;
    EXPECT_NE(all.find("line 3 at 2.000s: the module does not intercept DoGetLastTransaction"),
              std::string::npos);
    for (const sim::Failure& failure : outcome.report.failures) {
        EXPECT_EQ(failure.headline().find("DoGetLastReceipt"), std::string::npos)
            << "a tried door is only noted";
    }
    EXPECT_NE(all.find("line 5 at 4.000s: nothing is waiting for that answer"), std::string::npos);
    EXPECT_NE(all.find("t.scenario:6: expect result ResponseCode=00\n"
                       "    expected  TransactionEvent number 1\n"
                       "    got       none"),
              std::string::npos);
    EXPECT_NE(all.find("t.scenario:7: expect gateway-kinds O\n"
                       "    expected  O\n"
                       "    got       (none)"),
              std::string::npos);
    EXPECT_EQ(outcome.report.failures.size(), 5u) << all;
}

TEST(ScenarioRunner, AFailureShowsTheNearestCandidatesItsTimeAndTheTranscriptAroundIt) {
    QrPaymentModule module;
    const Outcome outcome = run(std::string(purchase) + R"(
on gateway N after 20s customer pays
on screen "SWITCH TO MMS" cancel
expect receipt line="TRANSACTION APROVED 00"
expect result ResponseCode=00
)",
                                module);
    ASSERT_EQ(outcome.report.failures.size(), 1u) << failures(outcome.report);
    const sim::Failure& failure = outcome.report.failures[0];
    EXPECT_EQ(failure.where, "t.scenario:8");
    EXPECT_EQ(failure.expected, "line=\"TRANSACTION APROVED 00\"");
    EXPECT_EQ(failure.got, "no such line on receipt number 1");
    ASSERT_FALSE(failure.nearest.empty());
    EXPECT_EQ(failure.nearest[0], "\"TRANSACTION APPROVED 00\"");
    EXPECT_EQ(sim::formatMillis(failure.at), "22.900s");
    ASSERT_EQ(failure.context.size(), 5u);
    EXPECT_NE(failure.context[2].find("[  22.900s] module->host   PrintReceipt{"),
              std::string::npos)
        << failure.text();
    // The misspelt screen text: its rule never fired, and the screen it
    // probably meant is named.
    ASSERT_EQ(outcome.report.warnings.size(), 1u);
    EXPECT_EQ(outcome.report.warnings[0].headline(),
              "t.scenario:7: on screen \"SWITCH TO MMS\" never fired: its action was not taken");
    ASSERT_FALSE(outcome.report.warnings[0].nearest.empty());
    EXPECT_NE(outcome.report.warnings[0].nearest[0].find("SWITCH TO SMS"), std::string::npos);
}

TEST(ScenarioRunner, RestartLoadsTheModuleAgainAndTheStoreSurvives) {
    QrPaymentModule module;
    const Outcome outcome = run(R"(
at 1s set-var REVERSAL_DATA "{\"type\":\"P-\"}"
at 2s restart
at 3s pinpad-online 1
expect var REVERSAL_DATA~P- !TOKEN
expect startup#2 result=0
expect delivered PinpadNotify returned=1
)",
                                module);
    EXPECT_TRUE(outcome.report.passed()) << failures(outcome.report);
    EXPECT_EQ(module.loads, 2);
    EXPECT_EQ(module.startups, 2);
}

// A shop's store is read but never written with --read-only, and a store or
// gateway file that cannot be read stops the run as bad input (not as a module
// that failed to load), naming the file and the line.
TEST(ScenarioRunner, StoreFilesReadOnlyOrMalformed) {
    const std::string store = "runner_test.store";
    const std::string kept = "TOKEN=T1\nSTAN=7\n";
    std::FILE* file = std::fopen(store.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs(kept.c_str(), file);
    std::fclose(file);
    QrPaymentModule module;
    Outcome outcome = run(std::string(purchase) + R"(
at 1s set-var STAN "8"
at 2s restart
expect var TOKEN=T1 STAN=8
)",
                          module, true, store, true);
    EXPECT_TRUE(outcome.report.passed()) << failures(outcome.report);
    std::string text;
    ASSERT_TRUE(sim::readTextFile(store, text));
    EXPECT_EQ(text, kept);
    EXPECT_FALSE(sim::readTextFile(sim::gatewayStatePath(store), text));

    for (const std::string& bad : {store, sim::gatewayStatePath(store)}) {
        file = std::fopen(bad.c_str(), "ab");
        ASSERT_NE(file, nullptr);
        std::fputs("# a note\nnonsense\n", file);
        std::fclose(file);
        outcome = run("expect var TOKEN=T1\n", module, true, store);
        EXPECT_TRUE(outcome.report.badInput);
        EXPECT_NE(failures(outcome.report).find(bad + ":"), std::string::npos)
            << failures(outcome.report);
        std::remove(store.c_str());
        file = std::fopen(store.c_str(), "wb");
        std::fclose(file);
    }
    std::remove(store.c_str());
    std::remove(sim::gatewayStatePath(store).c_str());
}

TEST(ScenarioRunner, OutputFilesThatCannotBeWrittenFailTheRun) {
    QrPaymentModule module;
    sim::Scenario scenario;
    std::vector<sim::ParseError> errors;
    ASSERT_TRUE(sim::parseScenario("t.scenario",
                                   std::string(purchase) + "at 1s set-var TOKEN \"T1\"\n" +
                                       "on gateway N after 20s customer pays\n",
                                   scenario, errors));
    std::ostringstream out;
    sim::RunSettings settings;
    settings.module = &module;
    settings.out = &out;
    settings.storePath = "no-such-folder/host.store";
    settings.receiptsPath = "no-such-folder/receipts.txt";
    const sim::RunReport report = sim::runScenario(scenario, settings);
    std::string all;
    for (const sim::Failure& failure : report.failures) {
        all += failure.headline() + "\n";
    }
    EXPECT_NE(all.find("t.scenario: cannot write the receipts to no-such-folder/receipts.txt"),
              std::string::npos)
        << all;
    EXPECT_NE(all.find("t.scenario: the variable store: cannot write no-such-folder/host.store"),
              std::string::npos)
        << all;
}

// --- Reports --------------------------------------------------------------

// Three cases as klarna-sim reports them: a passed purchase, a purchase that
// fails two expectations (its title with a Latin-1 byte and XML's special
// characters), and a file that could not be read.
std::vector<sim::CaseReport> threeCases() {
    QrPaymentModule module;
    const std::string paid = std::string(purchase) + "on gateway N after 20s customer pays\n";
    const Outcome passed =
        run("scenario \"paid\"\n" + paid + "expect result ResponseCode=00\n", module);
    const Outcome failed = run("scenario \"Caf\\xE9 <\\\"quoted\\\"> & co\"\n" + paid +
                                   "expect result ResponseCode=05\n"
                                   "expect receipt line=\"TRANSACTION DECLINED\"\n",
                               module);
    return {sim::caseFromRuns("scenarios", "paid", "dir/paid.scenario", {passed.report}, 0.25),
            sim::caseFromRuns("scenarios", "Caf\xE9 <\"quoted\"> & co", "dir/failed.scenario",
                              {failed.report}, 1.5),
            sim::errorCase(
                "scenarios", "", "dir/missing.scenario",
                {sim::plainFailure("file", "dir/missing.scenario", "cannot read the file")})};
}

std::string attribute(const XmlElement& element, const std::string& name) {
    std::string value;
    EXPECT_TRUE(element.attribute(name, value)) << element.name << " lacks " << name;
    return value;
}

bool isDecimal(const std::string& text) {
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0';
}

// What the JUnit schema requires: testsuite with name, tests, failures,
// errors, time, timestamp (no time zone), hostname, and under testsuites
// id and package; a properties element first and system-out and system-err
// last; testcase with name, classname and time; failure and error with
// message and type.
TEST(Reports, JUnitHasTheSchemasRequiredElementsAndAFailurePerExpectation) {
    sim::ReportContext context;
    context.timestamp = "2025-03-04T05:06:07";
    context.properties = {{"module", "klarna.so"}};
    const sim::XmlParseResult parsed = sim::parseXml(sim::junitReport(threeCases(), context));
    ASSERT_TRUE(parsed.ok) << parsed.error;
    ASSERT_EQ(parsed.root.name, "testsuites");
    ASSERT_EQ(parsed.root.children.size(), 1u);
    const XmlElement& suite = parsed.root.children[0];
    ASSERT_EQ(suite.name, "testsuite");
    EXPECT_EQ(attribute(suite, "name"), "scenarios");
    EXPECT_EQ(attribute(suite, "tests"), "3");
    EXPECT_EQ(attribute(suite, "failures"), "1");
    EXPECT_EQ(attribute(suite, "errors"), "1");
    EXPECT_EQ(attribute(suite, "time"), "1.750");
    EXPECT_EQ(attribute(suite, "timestamp"), "2025-03-04T05:06:07");
    EXPECT_FALSE(attribute(suite, "hostname").empty());
    EXPECT_EQ(attribute(suite, "id"), "0");
    EXPECT_FALSE(attribute(suite, "package").empty());
    ASSERT_EQ(suite.children.size(), 6u);
    EXPECT_EQ(suite.children.front().name, "properties");
    EXPECT_EQ(attribute(suite.children.front().children.at(0), "value"), "klarna.so");
    EXPECT_EQ(suite.children[4].name, "system-out");
    EXPECT_EQ(suite.children[5].name, "system-err");
    for (std::size_t i = 1; i <= 3; ++i) {
        const XmlElement& testcase = suite.children[i];
        ASSERT_EQ(testcase.name, "testcase");
        EXPECT_FALSE(attribute(testcase, "name").empty());
        EXPECT_FALSE(attribute(testcase, "classname").empty());
        EXPECT_TRUE(isDecimal(attribute(testcase, "time")));
    }
    EXPECT_TRUE(suite.children[1].children.empty()); // passed
    const XmlElement& failed = suite.children[2];
    EXPECT_EQ(attribute(failed, "name"), "Caf\xC3\xA9 <\"quoted\"> & co"); // as UTF-8
    EXPECT_EQ(attribute(failed, "classname"), "scenarios.failed");
    ASSERT_EQ(failed.children.size(), 2u); // one failure per failed expectation
    for (const XmlElement& failure : failed.children) {
        EXPECT_EQ(failure.name, "failure");
        EXPECT_EQ(attribute(failure, "type"), "expectation");
    }
    EXPECT_NE(attribute(failed.children[0], "message")
                  .find("expect result ResponseCode=05: expected ResponseCode=\"05\", got "
                        "ResponseCode=\"00\""),
              std::string::npos);
    EXPECT_NE(failed.children[1].text.find("nearest   \"TRANSACTION APPROVED 00\""),
              std::string::npos);
    ASSERT_EQ(suite.children[3].children.size(), 1u);
    EXPECT_EQ(suite.children[3].children[0].name, "error");
    EXPECT_EQ(attribute(suite.children[3].children[0], "message"),
              "dir/missing.scenario: cannot read the file");
}

TEST(Reports, JsonCarriesEachRunsResultReceiptsAndJournal) {
    const json report = json::parse(sim::jsonReport(threeCases(), sim::ReportContext{}));
    const json& cases = report.at("suites").at(0).at("cases");
    ASSERT_EQ(cases.size(), 3u);
    EXPECT_EQ(cases[1].at("status"), "failed");
    EXPECT_EQ(cases[1].at("failures").at(0).at("expected"), "ResponseCode=\"05\"");
    EXPECT_EQ(cases[1].at("failures").at(0).at("got"),
              "ResponseCode=\"00\" on TransactionEvent number 1");
    const json& run = cases[0].at("runs").at(0);
    EXPECT_EQ(run.at("results").at(0).at("ResponseCode"), "00");
    EXPECT_EQ(run.at("receipts").at(0).at("text"), "KLARNA\r\nTRANSACTION APPROVED 00\r\n");
    EXPECT_TRUE(run.at("journal").is_array());
    EXPECT_EQ(report.at("counts").at("errors"), 1);
}

// A file that could not be read is an error, never a pass; a run that
// checks nothing passes with a warning.
TEST(Reports, SummaryIsTrueAboutErrorsAndWarnings) {
    std::vector<sim::CaseReport> cases = threeCases();
    cases.erase(cases.begin() + 1);
    QrPaymentModule module;
    const Outcome unchecked = run(purchase, module);
    cases.push_back(
        sim::caseFromRuns("scenarios", "", "dir/unchecked.scenario", {unchecked.report}, 0.1));
    EXPECT_EQ(sim::summaryLine(cases), "2 passed, 1 error, 1 warning");
    EXPECT_EQ(sim::exitStatus(cases), 2);
}

} // namespace
