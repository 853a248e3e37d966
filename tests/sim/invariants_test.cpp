// The rules every run is held to: when an unanswered money step has a way
// back (its reversal record, or an accepted and journalled reversal), and one
// result per transaction. Each rule is shown failing as well as passing.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sim/checks/invariants.h"
#include "tests/sim/run_builder.h"

namespace {

using simtest::gatewayJson;
using simtest::json;
using simtest::replyJson;
using simtest::RunBuilder;

const json orderMessage = gatewayJson("N", 5, {{"hppsid", "HPP1"}});

// --- Reversals ---------------------------------------------------------------

const json pMessage = gatewayJson("P", 7, {{"orderid", "ORD1"}, {"amt", 1250}});

// A purchase whose money step got no reply (the host failed), its result given.
RunBuilder unansweredPurchase() {
    RunBuilder run;
    run.startSale();
    run.send(pMessage, 200);
    run.hostFailure();
    run.result("X0");
    return run;
}

void reverse(RunBuilder& run, const json& reversal, int msgType, const std::string& rc,
             bool journal) {
    run.startSale();
    run.send(reversal, msgType);
    run.reply(msgType + 10, replyJson(reversal, rc));
    run.request("SetVariable"); // the reversal record, emptied or rewritten
    if (journal) {
        run.journal();
    }
}

json reversalOf(const json& original) {
    json reversal = original;
    reversal["type"] = original["type"].get<std::string>() + "-";
    return reversal;
}

struct ReversalCase {
    const char* name;
    json reversal;
    int msgType;
    const char* rc;
    bool journal;
    bool reversed;
};

class ReversedLater : public ::testing::TestWithParam<ReversalCase> {};

TEST_P(ReversedLater, NeedsAnAcceptedJournalledReversalOfTheSameSubject) {
    const ReversalCase& c = GetParam();
    RunBuilder run = unansweredPurchase();
    reverse(run, c.reversal, c.msgType, c.rc, c.journal);
    EXPECT_EQ(sim::reversedLater(run.record, run.seen, 0), c.reversed);
    // The same facts decide the reversal cover of the unanswered purchase.
    EXPECT_EQ(sim::checkReversalCover(run.record, run.store, run.seen).empty(), c.reversed);
}

const ReversalCase reversalCases[] = {
    {"accepted_00", reversalOf(pMessage), 400, "00", true, true},
    {"accepted_0A", reversalOf(pMessage), 400, "0A", true, true},
    {"refused_05", reversalOf(pMessage), 400, "05", true, false},
    {"accepted_but_not_journalled", reversalOf(pMessage), 400, "00", false, false},
    {"not_sent_as_a_reversal", reversalOf(pMessage), 200, "00", true, false},
    {"reversal_of_another_kind", gatewayJson("N-", 7, {{"orderid", "ORD1"}}), 400, "00", true,
     false},
    {"same_order_other_stan", gatewayJson("P-", 9, {{"orderid", "ORD1"}}), 400, "00", true, true},
    {"other_order_other_stan", gatewayJson("P-", 9, {{"orderid", "ORD2"}}), 400, "00", true, false},
    {"empty_order_ids_do_not_match", gatewayJson("P-", 9, {{"orderid", ""}}), 400, "00", true,
     false},
};

INSTANTIATE_TEST_SUITE_P(Cases, ReversedLater, ::testing::ValuesIn(reversalCases),
                         simtest::CaseName());

TEST(ReversedLaterOrder, AReversalSentBeforeTheMessageDoesNotUndoIt) {
    RunBuilder run;
    const json reversal = reversalOf(pMessage);
    run.send(reversal, 400);
    run.reply(410, replyJson(reversal, "00"));
    run.journal();
    const std::size_t purchase = run.send(pMessage, 200);
    run.hostFailure();
    EXPECT_FALSE(sim::reversedLater(run.record, run.seen, purchase));
    EXPECT_EQ(sim::checkReversalCover(run.record, run.store, run.seen).size(), 1u);
}

TEST(ReversedLaterJournal, TheJournalLineMustBeWrittenWhileTakingTheReply) {
    RunBuilder run = unansweredPurchase();
    reverse(run, reversalOf(pMessage), 400, "00", false);
    run.deliver("TimerTrigger");
    run.journal(); // written later, for something else
    EXPECT_FALSE(sim::reversedLater(run.record, run.seen, 0));
}

struct CoverCase {
    const char* name;
    const char* reversalData; // REVERSAL_DATA at the end; null: not in the store
    bool covered;
};

class ReversalRecordCover : public ::testing::TestWithParam<CoverCase> {};

TEST_P(ReversalRecordCover, AnUnansweredNIsCoveredOnlyByItsOwnRecord) {
    RunBuilder run;
    run.startSale();
    run.send(orderMessage, 150);
    run.hostFailure();
    if (GetParam().reversalData != nullptr) {
        run.store.set("REVERSAL_DATA", GetParam().reversalData);
    }
    const std::vector<std::string> failures =
        sim::checkReversalCover(run.record, run.store, run.seen);
    EXPECT_EQ(failures.empty(), GetParam().covered);
    if (!GetParam().covered) {
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_NE(failures[0].find("gateway message #1 (N, stan 5)"), std::string::npos)
            << failures[0];
    }
}

const CoverCase coverCases[] = {
    {"same_stan", R"({"type":"N-","stan":5})", true},
    {"same_payment_session", R"({"type":"N-","stan":99,"hppsid":"HPP1"})", true},
    {"other_payment_session", R"({"type":"N-","stan":99,"hppsid":"HPP2"})", false},
    {"record_of_another_kind", R"({"type":"P-","stan":5})", false},
    {"record_not_a_reversal", R"({"type":"N","stan":5})", false},
    {"unreadable_record", R"({"type":"N-","stan":5)", false},
    {"empty_record", "", false},
    {"no_record", nullptr, false},
};

INSTANTIATE_TEST_SUITE_P(Cases, ReversalRecordCover, ::testing::ValuesIn(coverCases),
                         simtest::CaseName());

TEST(ReversalCover, OnlyMoneyStepsNeedAWayBack) {
    RunBuilder run;
    run.startSale();
    for (const char* kind : {"O", "R", "A+", "Q"}) {
        run.send(gatewayJson(kind, 1), 150);
        run.hostFailure();
    }
    // A reversal message itself is never reversed.
    run.send(gatewayJson("P", 2), 400);
    run.hostFailure();
    EXPECT_TRUE(sim::checkReversalCover(run.record, run.store, run.seen).empty());
}

TEST(ReversalCover, EveryUncoveredMoneyStepIsReported) {
    RunBuilder run;
    run.startSale();
    for (const char* kind : {"N", "D", "P"}) {
        run.send(gatewayJson(kind, 3), kind[0] == 'P' ? 200 : 150);
        run.hostFailure();
    }
    const json answered = gatewayJson("P", 4);
    run.send(answered, 200);
    run.reply(210, replyJson(answered, "05"));
    const std::vector<std::string> failures =
        sim::checkReversalCover(run.record, run.store, run.seen);
    ASSERT_EQ(failures.size(), 3u);
    EXPECT_NE(failures[0].find("#1 (N"), std::string::npos);
    EXPECT_NE(failures[1].find("#2 (D"), std::string::npos);
    EXPECT_NE(failures[2].find("#3 (P"), std::string::npos);
}

// --- One result per transaction ---------------------------------------------------

struct CountCase {
    const char* name;
    std::function<void(RunBuilder&)> build;
    std::size_t failures;
    const char* says; // part of the first failure
};

class ResultCount : public ::testing::TestWithParam<CountCase> {};

TEST_P(ResultCount, OneResultPerFinishedTransaction) {
    RunBuilder run;
    GetParam().build(run);
    const std::vector<std::string> failures = sim::checkResultCount(run.record, run.seen);
    ASSERT_EQ(failures.size(), GetParam().failures) << (failures.empty() ? "" : failures[0]);
    if (!failures.empty()) {
        EXPECT_NE(failures[0].find(GetParam().says), std::string::npos) << failures[0];
    }
}

const CountCase countCases[] = {
    {"one_result",
     [](RunBuilder& b) {
         b.startSale();
         b.result("00");
     },
     0, ""},
    {"two_results",
     [](RunBuilder& b) {
         b.startSale();
         b.result("00");
         b.deliver("PrintReceiptEvent");
         b.result("00");
     },
     1, "transaction #1 (begun by PosDirectEntryPoint at"},
    {"no_result_in_a_finished_run",
     [](RunBuilder& b) {
         b.startSale();
         b.request("DisplayOnPos");
     },
     1, "transaction #1 (begun by PosDirectEntryPoint at"},
    {"no_result_for_a_menu_transaction", [](RunBuilder& b) { b.deliver("EntryPointEvent"); }, 1,
     "begun by EntryPointEvent"},
    {"no_result_when_the_run_was_cut_off",
     [](RunBuilder& b) {
         b.startSale();
         b.seen.endedNaturally = false;
     },
     0, ""},
    {"no_result_while_the_customer_is_awaited",
     [](RunBuilder& b) {
         b.startSale();
         b.seen.awaitingPerson = true;
     },
     0, ""},
    {"an_earlier_transaction_is_not_excused_by_the_cut",
     [](RunBuilder& b) {
         b.startSale();
         b.startSale();
         b.seen.endedNaturally = false;
     },
     1, "transaction #1 "},
    {"a_restart_excuses_the_missing_result",
     [](RunBuilder& b) {
         b.startSale();
         b.restart();
         b.startSale();
         b.result("00");
     },
     0, ""},
    {"a_restart_does_not_excuse_two_results",
     [](RunBuilder& b) {
         b.startSale();
         b.result("00");
         b.restart();
         b.result("00");
     },
     1, "sent 2 results"},
    {"a_restart_excuses_only_the_transaction_it_cut",
     [](RunBuilder& b) {
         b.startSale();
         b.result("00");
         b.restart();
         b.startSale();
     },
     1, "transaction #2 "},
    {"a_later_restart_does_not_excuse_an_earlier_transaction",
     [](RunBuilder& b) {
         b.startSale();
         b.request("DisplayOnPos");
         b.startSale();
         b.restart();
     },
     1, "transaction #1 "},
    {"result_before_any_transaction",
     [](RunBuilder& b) {
         b.result("00");
         b.startSale();
         b.result("00");
     },
     1, "before any transaction began"},
    {"a_refused_request_is_no_transaction",
     [](RunBuilder& b) {
         b.startSale(0);
         b.deliver("EntryPointEvent", 0);
     },
     0, ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, ResultCount, ::testing::ValuesIn(countCases), simtest::CaseName());

TEST(Invariants, ReportsBothRules) {
    RunBuilder run;
    run.startSale();
    run.send(orderMessage, 150);
    run.hostFailure();
    EXPECT_EQ(sim::checkInvariants(run.record, run.store, run.seen).size(), 2u);
    run.result("X0");
    run.store.set("REVERSAL_DATA", R"({"type":"N-","stan":5})");
    EXPECT_TRUE(sim::checkInvariants(run.record, run.store, run.seen).empty());
}

} // namespace
