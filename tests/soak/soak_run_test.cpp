// The soak's order of transactions and its checks: each check must notice
// the fault it is there for.
#include <gtest/gtest.h>

#include <map>

#include "host/host_methods.h"
#include "host/module_state.h"
#include "sim/soak/soak_mix.h"
#include "sim/soak/soak_run.h"

namespace {

using sim::SoakKind;

std::string joined(const std::vector<std::string>& failures) {
    std::string all;
    for (const std::string& text : failures) {
        all += text + "\n";
    }
    return all;
}

bool mentions(const std::vector<std::string>& failures, const std::string& text) {
    return joined(failures).find(text) != std::string::npos;
}

TEST(SoakMix, TheSameSeedGivesTheSameOrderStartingWithAQrPurchase) {
    const std::vector<SoakKind> first = sim::soakMix(2000, 5);
    EXPECT_EQ(first, sim::soakMix(2000, 5));
    EXPECT_NE(first, sim::soakMix(2000, 6));
    EXPECT_EQ(first.front(), SoakKind::qrPurchase);
    EXPECT_EQ(sim::soakMix(1, 9), std::vector<SoakKind>{SoakKind::qrPurchase});
}

TEST(SoakMix, EveryKindTakesItsShare) {
    std::map<SoakKind, int> counts;
    for (SoakKind kind : sim::soakMix(10000, 1)) {
        ++counts[kind];
    }
    ASSERT_EQ(counts.size(), static_cast<std::size_t>(sim::soakKindCount));
    for (const auto& entry : counts) {
        EXPECT_GT(entry.second, 500) << sim::soakKindName(entry.first);
        EXPECT_LT(entry.second, 4000) << sim::soakKindName(entry.first);
    }
}

class SoakRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::vector<std::string> failures;
        ASSERT_TRUE(soak.start(failures)) << joined(failures);
    }

    std::vector<std::string> run(SoakKind kind) {
        std::vector<std::string> failures;
        soak.run(kind, ++number, failures);
        return failures;
    }

    sim::SoakRun soak;
    int number = 0;
};

TEST_F(SoakRunTest, EveryKindPassesInTurnWithTheReversalSentOnTheNextSale) {
    const SoakKind kinds[] = {
        SoakKind::qrPurchase,   SoakKind::receiptQuery,   SoakKind::smsPurchase,
        SoakKind::receiptQuery, SoakKind::customerCancel, SoakKind::receiptQuery,
        SoakKind::declined,     SoakKind::faultReversal,  SoakKind::receiptQuery,
        SoakKind::refund,       SoakKind::faultReversal,  SoakKind::qrPurchase};
    for (SoakKind kind : kinds) {
        const std::vector<std::string> failures = run(kind);
        EXPECT_TRUE(failures.empty()) << joined(failures);
    }
}

TEST_F(SoakRunTest, AResultOtherThanTheExpectedOneFails) {
    sim::Fault decline;
    decline.kind = "P";
    decline.mode = sim::FaultMode::decline;
    decline.code = "51";
    decline.text = "NO FUNDS";
    soak.host().gateway().addFault(decline);
    EXPECT_TRUE(mentions(run(SoakKind::qrPurchase), "ResponseCode 51 instead of 00"));
}

TEST_F(SoakRunTest, AReversalRecordLeftBehindFails) {
    ASSERT_TRUE(run(SoakKind::qrPurchase).empty());
    sim::Fault failure;
    failure.kind = "P";
    failure.mode = sim::FaultMode::hostFailure;
    failure.code = "X0";
    soak.host().gateway().addFault(failure);
    const std::vector<std::string> failures = run(SoakKind::declined);
    EXPECT_TRUE(mentions(failures, "a reversal record is left")) << joined(failures);
    // The soak did not expect it, so the next sale's reversal is unexpected too.
    EXPECT_TRUE(mentions(run(SoakKind::qrPurchase), "a reversal was sent with none pending"));
}

TEST_F(SoakRunTest, ASubscriptionLeftByATransactionFails) {
    ASSERT_TRUE(run(SoakKind::qrPurchase).empty());
    eventSubscribe(moduleState().bridge, "SoakLeftover", Handler());
    EXPECT_TRUE(mentions(run(SoakKind::qrPurchase), "subscriptions after the transaction"));
}

TEST_F(SoakRunTest, AModuleHandlerAddedAfterAKindsFirstRunFails) {
    ASSERT_TRUE(run(SoakKind::qrPurchase).empty());
    registerHandler(moduleState().bridge, "SoakLeftoverEvent",
                    [](xmlDoc&, xmlNode&, std::string&) { return 1; });
    EXPECT_TRUE(mentions(run(SoakKind::qrPurchase), "new module handlers: SoakLeftoverEvent"));
}

TEST_F(SoakRunTest, AQueryWithoutItsAnswerFails) {
    ASSERT_TRUE(run(SoakKind::qrPurchase).empty());
    // Without the intercept the host answers the command itself: no answer event.
    soak.store().set("LAST_TXN", "");
    const std::vector<std::string> failures = run(SoakKind::receiptQuery);
    EXPECT_TRUE(mentions(failures, "DoGetLastTransaction answered E1")) << joined(failures);
}

} // namespace
