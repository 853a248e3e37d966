// What every fault-matrix run must show on top of the invariants, and the
// generated cases themselves.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sim/checks/fault_matrix.h"
#include "sim/scenario/scenario.h"
#include "tests/sim/run_builder.h"

namespace {

using simtest::gatewayJson;
using simtest::json;
using simtest::replyJson;
using simtest::RunBuilder;

// A sale whose money step (P at 200, or R) gets that rc, and the result the
// module gave the POS.
void sale(RunBuilder& run, int stan, const std::string& rc, const std::string& result,
          const std::string& kind = "P") {
    run.startSale();
    const json open = gatewayJson("O", stan * 10);
    run.send(open, 150);
    run.reply(160, replyJson(open, "00"));
    const json money = gatewayJson(kind, stan);
    run.send(money, 200);
    run.reply(210, replyJson(money, rc));
    run.result(result);
}

void reversePurchase(RunBuilder& run, int stan, const std::string& rc, bool journal) {
    const json reversal = gatewayJson("P-", stan);
    run.send(reversal, 400);
    run.reply(410, replyJson(reversal, rc));
    run.request("SetVariable");
    if (journal) {
        run.journal();
    }
}

struct OutcomeCase {
    const char* name;
    std::function<void(RunBuilder&)> build; // the sales before the closing one
    const char* says;                       // part of the one failure; null: none
};

class MatrixOutcome : public ::testing::TestWithParam<OutcomeCase> {};

TEST_P(MatrixOutcome, ResultsAreTrueToTheGateway) {
    RunBuilder run;
    GetParam().build(run);
    sale(run, 90, "00", "00"); // the closing clean sale
    std::vector<std::string> failures;
    sim::checkMatrixOutcome(run.record, run.store, run.seen, failures);
    if (GetParam().says == nullptr) {
        EXPECT_TRUE(failures.empty()) << failures.front();
        return;
    }
    ASSERT_EQ(failures.size(), 1u) << (failures.empty() ? "" : failures.front());
    EXPECT_NE(failures[0].find(GetParam().says), std::string::npos) << failures[0];
}

const OutcomeCase outcomeCases[] = {
    {"approved_and_reported_approved", [](RunBuilder& b) { sale(b, 1, "00", "00"); }, nullptr},
    {"declined_and_reported_declined", [](RunBuilder& b) { sale(b, 1, "05", "05"); }, nullptr},
    {"declined_but_reported_approved", [](RunBuilder& b) { sale(b, 1, "05", "00"); },
     "sale #1 was reported approved"},
    {"no_money_step_but_reported_approved",
     [](RunBuilder& b) {
         b.startSale();
         b.result("00");
     },
     "sale #1 was reported approved"},
    {"unanswered_money_step_reported_approved",
     [](RunBuilder& b) {
         b.startSale();
         b.send(gatewayJson("P", 1), 200);
         b.hostFailure();
         b.store.set("REVERSAL_DATA", "");
         b.result("00");
     },
     "sale #1 was reported approved"},
    {"a_reversal_message_is_no_money_step",
     [](RunBuilder& b) {
         b.startSale();
         const json p = gatewayJson("P", 1);
         b.send(p, 400);
         b.reply(410, replyJson(p, "00"));
         b.result("00");
     },
     "sale #1 was reported approved"},
    {"approved_but_reported_failed", [](RunBuilder& b) { sale(b, 1, "00", "PF"); },
     "approved the money step of sale #1 but the POS was told PF"},
    {"approved_then_reversed_and_reported_failed",
     [](RunBuilder& b) {
         sale(b, 1, "00", "PF");
         reversePurchase(b, 1, "00", true);
     },
     nullptr},
    {"approved_then_reversed_but_reported_approved",
     [](RunBuilder& b) {
         sale(b, 1, "00", "00");
         reversePurchase(b, 1, "0A", true);
     },
     "sale #1 was reported approved"},
    {"approved_reversal_refused_reported_failed",
     [](RunBuilder& b) {
         sale(b, 1, "00", "PF");
         reversePurchase(b, 1, "05", true);
     },
     "but the POS was told PF"},
    {"approved_reversal_not_journalled_reported_failed",
     [](RunBuilder& b) {
         sale(b, 1, "00", "PF");
         reversePurchase(b, 1, "00", false);
     },
     "but the POS was told PF"},
    {"refund_approved_and_reported_approved", [](RunBuilder& b) { sale(b, 1, "00", "00", "R"); },
     nullptr},
    {"refund_approved_but_reported_declined", [](RunBuilder& b) { sale(b, 1, "00", "05", "R"); },
     "but the POS was told 05"},
    {"two_results",
     [](RunBuilder& b) {
         sale(b, 1, "05", "05");
         b.result("05");
     },
     "sale #1 gave the POS 2 results"},
    {"no_result",
     [](RunBuilder& b) {
         b.startSale();
         b.send(gatewayJson("O", 1), 150);
         b.hostFailure();
     },
     "sale #1 gave the POS 0 results"},
    {"a_restart_excuses_the_missing_result",
     [](RunBuilder& b) {
         b.startSale();
         b.restart();
     },
     nullptr},
    {"a_restart_does_not_excuse_two_results",
     [](RunBuilder& b) {
         sale(b, 1, "05", "05");
         b.restart();
         b.result("05");
     },
     "sale #1 gave the POS 2 results"},
    {"unreadable_record_at_a_restart",
     [](RunBuilder& b) {
         b.startSale();
         b.store.set("LAST_TXN", "not xml");
         b.restart();
         b.store.set("LAST_TXN", "");
     },
     "LAST_TXN at restart #1 is not a TransactionEvent"},
};

INSTANTIATE_TEST_SUITE_P(Cases, MatrixOutcome, ::testing::ValuesIn(outcomeCases),
                         simtest::CaseName());

TEST(MatrixClosingSale, MustBeApproved) {
    RunBuilder run;
    sale(run, 1, "00", "00");
    sale(run, 2, "05", "05");
    std::vector<std::string> failures;
    sim::checkMatrixOutcome(run.record, run.store, run.seen, failures);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("the closing clean sale was not approved"), std::string::npos);

    RunBuilder unfinished;
    sale(unfinished, 1, "00", "00");
    unfinished.startSale();
    failures.clear();
    sim::checkMatrixOutcome(unfinished.record, unfinished.store, unfinished.seen, failures);
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_NE(failures[0].find("sale #2 gave the POS 0 results"), std::string::npos);
    EXPECT_NE(failures[1].find("the closing clean sale was not approved"), std::string::npos);
}

TEST(MatrixOutcomeRun, WithoutAnySaleFails) {
    RunBuilder run;
    std::vector<std::string> failures;
    sim::checkMatrixOutcome(run.record, run.store, run.seen, failures);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("no sale was begun"), std::string::npos);
}

TEST(MatrixOutcomeRun, APendingReversalFails) {
    RunBuilder run;
    sale(run, 1, "00", "00");
    const std::string record = R"({"type":"P-","stan":1})";
    run.store.set("REVERSAL_DATA", record);
    std::vector<std::string> failures;
    sim::checkMatrixOutcome(run.record, run.store, run.seen, failures);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0], "matrix: a reversal is still pending at the end: " + record);

    run.store.set("REVERSAL_DATA", "");
    failures.clear();
    sim::checkMatrixOutcome(run.record, run.store, run.seen, failures);
    EXPECT_TRUE(failures.empty());
}

// --- Stored records -------------------------------------------------------------

struct StoredCase {
    const char* name;
    const char* variable;
    const char* value;
    bool readable;
};

class StoredRecords : public ::testing::TestWithParam<StoredCase> {};

TEST_P(StoredRecords, EachRecordHasItsShape) {
    const StoredCase& c = GetParam();
    std::vector<std::string> failures;
    sim::checkStoredRecords({{c.variable, c.value}, {"OTHER", "anything"}}, "at restart #2",
                            failures);
    EXPECT_EQ(failures.empty(), c.readable);
    if (!c.readable) {
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_NE(failures[0].find(std::string(c.variable) + " at restart #2"), std::string::npos)
            << failures[0];
    }
}

const StoredCase storedCases[] = {
    {"reversal", "REVERSAL_DATA", R"({"type":"P-","stan":7,"amt":1250})", true},
    {"reversal_empty", "REVERSAL_DATA", "", true},
    {"reversal_type_without_dash", "REVERSAL_DATA", R"({"type":"P","stan":7})", false},
    {"reversal_type_empty", "REVERSAL_DATA", R"({"type":"","stan":7})", false},
    {"reversal_type_not_text", "REVERSAL_DATA", R"({"type":5,"stan":7})", false},
    {"reversal_without_type", "REVERSAL_DATA", R"({"stan":7})", false},
    {"reversal_without_stan", "REVERSAL_DATA", R"({"type":"P-"})", false},
    {"reversal_not_json", "REVERSAL_DATA", R"({"type":"P-","stan":)", false},
    {"reversal_not_an_object", "REVERSAL_DATA", R"(["P-",7])", false},
    {"last_txn", "LAST_TXN", "<TransactionEvent><ResponseCode>00</ResponseCode></TransactionEvent>",
     true},
    {"last_txn_empty", "LAST_TXN", "", true},
    {"last_txn_unreadable", "LAST_TXN", "<TransactionEvent><ResponseCode>00", false},
    {"last_txn_other_element", "LAST_TXN", "<Result><ResponseCode>00</ResponseCode></Result>",
     false},
    {"last_txn_without_code", "LAST_TXN",
     "<TransactionEvent><Success>1</Success></TransactionEvent>", false},
    {"last_receipt", "LAST_RECEIPT", "KLARNA\r\nAPPROVED\r\n", true},
    {"last_receipt_empty", "LAST_RECEIPT", "", true},
    {"last_receipt_bare_line_feeds", "LAST_RECEIPT", "KLARNA\nAPPROVED\n", false},
    {"duplicate_receipt", "RECEIPT_DUPLICATE", "COPY\r\nKLARNA\r\n", true},
    {"duplicate_receipt_one_line", "RECEIPT_DUPLICATE", "COPY KLARNA", false},
};

INSTANTIATE_TEST_SUITE_P(Cases, StoredRecords, ::testing::ValuesIn(storedCases),
                         simtest::CaseName());

// --- The generated cases ------------------------------------------------------------

sim::Scenario parsed(const std::string& name, const std::string& text) {
    sim::Scenario scenario;
    std::vector<sim::ParseError> errors;
    EXPECT_TRUE(sim::parseScenario(name, text, scenario, errors))
        << name << ": " << (errors.empty() ? "" : errors.front().text());
    return scenario;
}

// The last timed action is the closing clean sale.
void expectClosingSale(const sim::Scenario& scenario, const std::string& name) {
    ASSERT_FALSE(scenario.timeline.empty()) << name;
    const sim::Action& last = scenario.timeline.back().action;
    EXPECT_EQ(last.kind, sim::ActionKind::pos) << name;
    bool closing = false;
    for (const auto& field : last.fields) {
        closing = closing || (field.first == "TxnRef" && field.second == "MX0009");
    }
    EXPECT_TRUE(closing) << name;
}

TEST(FaultMatrixCases, EveryCaseParsesAndEndsWithTheCleanSale) {
    const std::vector<sim::MatrixCase> cases = sim::faultMatrixCases();
    ASSERT_FALSE(cases.empty());
    std::set<std::string> names;
    std::size_t withSecondRun = 0;
    for (const sim::MatrixCase& one : cases) {
        EXPECT_TRUE(names.insert(one.name).second) << "twice: " << one.name;
        const sim::Scenario scenario = parsed(one.name, one.text);
        EXPECT_EQ(scenario.name, one.name);
        if (one.afterRestartText.empty()) {
            expectClosingSale(scenario, one.name);
        } else {
            ++withSecondRun;
            expectClosingSale(parsed(one.name, one.afterRestartText), one.name);
        }
    }
    EXPECT_EQ(withSecondRun, sim::storeFileRestartCases().size());
}

TEST(RestartCases, FollowEachRequestAfterStartup) {
    const std::vector<std::string> requests = {
        "EventSubscribe", "GetVariable",     "GetVariable", "StartSession",
        "GetVariable",    "SendHostMessage", "GetVariable", "SendHostMessage"};
    const std::vector<sim::MatrixCase> cases = sim::restartCases(requests, 3);
    ASSERT_EQ(cases.size(), 5u);
    // Per case: the request, and how many of its name came before (start-up included).
    const std::vector<std::pair<std::string, int>> expected = {{"StartSession", 0},
                                                               {"GetVariable", 2},
                                                               {"SendHostMessage", 0},
                                                               {"GetVariable", 3},
                                                               {"SendHostMessage", 1}};
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const sim::MatrixCase& one = cases[i];
        EXPECT_EQ(one.name, "restart after request #" + std::to_string(i + 1) + " (" +
                                expected[i].first + ")");
        EXPECT_TRUE(one.restarts);
        EXPECT_TRUE(one.afterRestartText.empty());
        const sim::Scenario scenario = parsed(one.name, one.text);
        expectClosingSale(scenario, one.name);
        std::vector<sim::ActionKind> actions;
        for (const sim::Rule& rule : scenario.rules) {
            if (rule.trigger == sim::TriggerKind::request) {
                EXPECT_EQ(rule.match, expected[i].first) << one.name;
                EXPECT_FALSE(rule.every) << one.name;
                actions.push_back(rule.action.kind);
            }
        }
        std::vector<sim::ActionKind> wanted(static_cast<std::size_t>(expected[i].second),
                                            sim::ActionKind::wait);
        wanted.push_back(sim::ActionKind::restart);
        EXPECT_EQ(actions, wanted) << one.name;
    }
}

TEST(RestartCases, NoneDuringStartup) {
    EXPECT_TRUE(sim::restartCases({"EventSubscribe", "SetTimer"}, 2).empty());
    EXPECT_TRUE(sim::restartCases({}, 0).empty());
}

} // namespace
