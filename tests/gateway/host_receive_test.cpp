#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/gateway/gateway_fixture.h"

namespace {

class HostReceiveTest : public GatewayFixture {
  protected:
    int foregroundCompletions = 0;
    int backgroundCompletions = 0;
    int foregroundCallbacks = 0;
    int backgroundCallbacks = 0;
    bool foregroundContinues = false;
    bool backgroundContinues = false;

    // A foreground payment-session message awaiting its reply.
    void sendForeground(const std::string& type = "O", std::int32_t stan = 12) {
        beginForeground(type, stan);
        klarna.foreground.completion = [this] {
            ++foregroundCompletions;
            klarna.foreground.inProgress = false;
        };
        klarna.startForegroundSend(150, 160, 160, -1, true, [this] {
            ++foregroundCallbacks;
            return foregroundContinues;
        });
    }

    // A background reversal awaiting its reply.
    void sendBackground(std::int32_t stan = 7) {
        ASSERT_TRUE(klarna.background.beginTransaction(xmlNode()));
        klarna.background.response.setResponse("00");
        klarna.background.request.type = "P-";
        klarna.background.request.stan = stan;
        klarna.background.completion = [this] {
            ++backgroundCompletions;
            klarna.background.inProgress = false;
        };
        klarna.sendBackgroundTransaction(400, 410, 410, [this] {
            ++backgroundCallbacks;
            return backgroundContinues;
        });
    }

    std::size_t reversalClears() const {
        std::size_t clears = 0;
        for (const RecordingHost::Request& request : store.host.requests()) {
            const xmlNode& element = request.element();
            clears += element.name == "SetVariable" &&
                              element.getChildText("VariableName", "") == "REVERSAL_DATA" &&
                              element.getChildText("Value", "x").empty()
                          ? 1
                          : 0;
        }
        return clears;
    }
};

TEST_F(HostReceiveTest, MatchedReplyWithCodeGoesToTheReplyCallback) {
    sendForeground();
    foregroundContinues = true;
    nanos += 1234567890ULL;
    EXPECT_EQ(receiveReply(160, R"({"type":"O","stan":12,"rc":"00","rt":"approved","amt":5})"), 1);
    EXPECT_EQ(klarna.foreground.response.code, "00");
    EXPECT_EQ(klarna.foreground.reply.amt, 5);
    EXPECT_EQ(klarna.foreground.elapsedMs, 1234);
    EXPECT_FALSE(klarna.foreground.awaitingReply);
    EXPECT_EQ(foregroundCallbacks, 1);
    EXPECT_EQ(foregroundCompletions, 0); // the callback took over
    ASSERT_GE(debugLines.size(), 2u);
    EXPECT_NE(allDebug().find("Klarna On RX EftServer:\n"), std::string::npos);
}

TEST_F(HostReceiveTest, CallbackThatDeclinesCompletesOnce) {
    sendForeground();
    EXPECT_EQ(receiveReply(160, R"({"type":"O","stan":12,"rc":"05","rt":"declined"})"), 1);
    EXPECT_EQ(klarna.foreground.response.code, "05");
    EXPECT_EQ(foregroundCallbacks, 1);
    EXPECT_EQ(foregroundCompletions, 1);
    // A late duplicate finds nobody waiting and completes nothing again.
    EXPECT_EQ(receiveReply(160, R"({"type":"O","stan":12,"rc":"05"})"), 0);
    EXPECT_EQ(foregroundCompletions, 1);
}

TEST_F(HostReceiveTest, UnknownCodeKeepsTheUpperCasedGatewayText) {
    sendForeground();
    receiveReply(160, R"({"type":"O","stan":12,"rc":"99","rt":"card expired today"})");
    EXPECT_EQ(klarna.foreground.response.code, "99");
    EXPECT_EQ(klarna.foreground.response.pinpadLine1, "  CARD EXPIRED  ");
}

TEST_F(HostReceiveTest, AcceptedReplyClearsTheStoredReversal) {
    sendForeground("P");
    ASSERT_TRUE(klarna.foreground.reversalStored);
    receiveReply(160, R"({"type":"P","stan":12,"rc":"00"})");
    EXPECT_EQ(reversalClears(), 1u);
    EXPECT_TRUE(store.variables["REVERSAL_DATA"].empty());
}

TEST_F(HostReceiveTest, ReplyWithoutReversalLeavesTheRecordAlone) {
    sendForeground("O");
    receiveReply(160, R"({"type":"O","stan":12,"rc":"00"})");
    EXPECT_EQ(reversalClears(), 0u);
}

struct Unusable {
    const char* name;
    const char* json;
};

class UnusableReplyTest : public HostReceiveTest, public ::testing::WithParamInterface<Unusable> {};

TEST_P(UnusableReplyTest, EndsWithXcAndKeepsTheReversal) {
    sendForeground("P");
    EXPECT_EQ(receiveReply(160, GetParam().json), 1);
    EXPECT_EQ(klarna.foreground.response.code, "XC");
    EXPECT_EQ(foregroundCallbacks, 0);
    EXPECT_EQ(foregroundCompletions, 1);
    EXPECT_FALSE(klarna.foreground.awaitingReply);
    EXPECT_EQ(reversalClears(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, UnusableReplyTest,
    ::testing::Values(Unusable{"unreadable", R"({"type":"P",)"},
                      Unusable{"otherType", R"({"type":"N","stan":12,"rc":"00"})"},
                      Unusable{"otherStan", R"({"type":"P","stan":13,"rc":"00"})"},
                      Unusable{"stanMissing", R"({"type":"P","rc":"00"})"},
                      Unusable{"typeMissing", R"({"stan":12,"rc":"00"})"},
                      Unusable{"noCode", R"({"type":"P","stan":12})"},
                      Unusable{"emptyCode", R"({"type":"P","stan":12,"rc":""})"}),
    [](const ::testing::TestParamInfo<Unusable>& row) { return std::string(row.param.name); });

TEST_F(HostReceiveTest, MismatchedReplyIsNotKept) {
    sendForeground();
    receiveReply(160, R"({"type":"O","stan":99,"rc":"00","amt":77})");
    EXPECT_FALSE(klarna.foreground.reply.amt.has_value());
    EXPECT_FALSE(klarna.foreground.reply.rc.has_value());
}

TEST_F(HostReceiveTest, FieldsAbsentOnBothSidesMatch) {
    sendForeground();
    klarna.foreground.request.stan.reset();
    receiveReply(160, R"({"type":"O","rc":"00"})");
    EXPECT_EQ(klarna.foreground.response.code, "00");
}

TEST_F(HostReceiveTest, ForegroundWinsWhenBothWindowsHoldTheType) {
    sendForeground();
    sendBackground();
    klarna.background.windowLow = 160;
    klarna.background.windowHigh = 160;
    EXPECT_EQ(receiveReply(160, R"({"type":"O","stan":12,"rc":"00"})"), 1);
    EXPECT_EQ(foregroundCallbacks, 1);
    EXPECT_EQ(backgroundCallbacks, 0);
    EXPECT_TRUE(klarna.background.awaitingReply);
}

TEST_F(HostReceiveTest, BackgroundReplyCountsReplies) {
    sendBackground();
    klarna.background.reversalStored = true; // never cleared for the background
    EXPECT_EQ(receiveReply(410, R"({"type":"P-","stan":7,"rc":"00"})"), 1);
    EXPECT_EQ(klarna.background.request.replycount, 1);
    EXPECT_EQ(klarna.background.response.code, "00");
    EXPECT_EQ(backgroundCallbacks, 1);
    EXPECT_EQ(backgroundCompletions, 1);
    EXPECT_EQ(reversalClears(), 0u);

    sendBackground();
    klarna.background.request.replycount = 2;
    receiveReply(410, R"({"type":"P-","stan":7})"); // checked, but no code
    EXPECT_EQ(klarna.background.request.replycount, 3);
    EXPECT_EQ(klarna.background.response.code, "XC");
}

TEST_F(HostReceiveTest, BackgroundElapsedTimeWhenOnlyItWaits) {
    sendBackground();
    nanos += 2500000ULL;
    receiveReply(410, R"({"type":"P-","stan":7,"rc":"00"})");
    EXPECT_EQ(klarna.background.elapsedMs, 2);
    EXPECT_EQ(klarna.foreground.elapsedMs, 0);
}

TEST_F(HostReceiveTest, MissingHeaderMatchesNobodyAndEndsBothWithZ1) {
    sendForeground();
    sendBackground();
    EXPECT_EQ(receive({{"Result", "00"}, {"Message", R"({"type":"O","stan":12,"rc":"00"})"}}), 0);
    EXPECT_EQ(klarna.foreground.response.code, "Z1");
    EXPECT_EQ(klarna.background.response.code, "Z1");
    EXPECT_EQ(foregroundCompletions, 1);
    EXPECT_EQ(backgroundCompletions, 1);
    EXPECT_EQ(foregroundCallbacks + backgroundCallbacks, 0);
    EXPECT_FALSE(klarna.foreground.awaitingReply);
    EXPECT_FALSE(klarna.background.awaitingReply);
}

// A stray reply (here a duplicate of an earlier logon reply) ends the wait of
// a status enquiry. The enquiry's own reply, coming later, must neither resume
// the ended flow nor clear the reversal record that covers the enquiry.
TEST_F(HostReceiveTest, StrayReplyEndsTheWaitAndTheLateOwnReplyIsIgnored) {
    sendForeground("N", 21);
    foregroundContinues = true;
    ASSERT_TRUE(klarna.foreground.reversalStored);
    EXPECT_EQ(receiveReply(110, R"({"type":"A+","rc":"00","token":"T1"})"), 0);
    EXPECT_EQ(klarna.foreground.response.code, "Z1");
    EXPECT_EQ(foregroundCompletions, 1);

    EXPECT_EQ(receiveReply(160, R"({"type":"N","stan":21,"rc":"00","orderid":"ORD1"})"), 0);
    EXPECT_EQ(foregroundCallbacks, 0);
    EXPECT_EQ(foregroundCompletions, 1);
    EXPECT_EQ(reversalClears(), 0u);
    EXPECT_EQ(klarna.foreground.response.code, "Z1");
}

TEST_F(HostReceiveTest, UnmatchedReplyEndsADeferredForeground) {
    sendBackground();
    beginForeground();
    klarna.background.inProgress = true;
    klarna.foreground.completion = [this] { ++foregroundCompletions; };
    ASSERT_EQ(klarna.sendTransaction(true), 0);
    klarna.background.awaitingReply = false;
    EXPECT_EQ(receiveReply(999, "{}"), 0);
    EXPECT_EQ(klarna.foreground.response.code, "Z1");
    EXPECT_EQ(foregroundCompletions, 1);
    EXPECT_EQ(backgroundCompletions, 0);
}

TEST_F(HostReceiveTest, HostFailureReachesEveryWaitingTransaction) {
    sendForeground();
    sendBackground();
    foregroundContinues = true;
    EXPECT_EQ(receive({{"Result", "ZZ"}, {"ResultText", "host timed out"}}), 0);
    EXPECT_EQ(klarna.foreground.response.code, "ZZ");
    EXPECT_EQ(klarna.foreground.response.text, "HOST TIMED OUT");
    EXPECT_EQ(klarna.background.response.code, "ZZ");
    EXPECT_EQ(foregroundCallbacks, 1);
    EXPECT_EQ(backgroundCallbacks, 1);
    EXPECT_EQ(foregroundCompletions, 0); // its callback went on
    EXPECT_EQ(backgroundCompletions, 1);
    EXPECT_FALSE(klarna.foreground.awaitingReply);
    EXPECT_FALSE(klarna.background.awaitingReply);
}

TEST_F(HostReceiveTest, HostFailureWithoutResultIsX2) {
    for (const RecordingHost::Parameters& event :
         {RecordingHost::Parameters{}, RecordingHost::Parameters{{"Result", ""}}}) {
        sendForeground();
        EXPECT_EQ(receive(event), 0);
        EXPECT_EQ(klarna.foreground.response.code, "X2");
        klarna.foreground.inProgress = false;
    }
    EXPECT_EQ(foregroundCompletions, 2);
}

TEST_F(HostReceiveTest, HostFailureWithoutCallbackCompletes) {
    beginForeground();
    klarna.foreground.completion = [this] { ++foregroundCompletions; };
    klarna.startForegroundSend(150, 160, 160, -1, true, nullptr);
    receive({{"Result", "X5"}});
    EXPECT_EQ(foregroundCompletions, 1);
}

TEST_F(HostReceiveTest, HostFailureWithNobodyWaitingChangesNothing) {
    beginForeground();
    xmlDoc document;
    xmlNode event = RecordingHost::element("HostReceiveEvent", {{"Result", "X5"}});
    std::string reply;
    EXPECT_EQ(klarna.onHostReceive(document, event, reply), 0);
    EXPECT_TRUE(klarna.foreground.response.code.empty());
    EXPECT_FALSE(klarna.foreground.finished);
}

} // namespace
