#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "documents/gateway_message.h"
#include "tests/gateway/gateway_fixture.h"
#include "tests/support/debug_capture.h"
#include "tests/support/element_fields.h"

namespace {

const std::string tidAlphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz@_";

using GatewaySendTest = GatewayFixture;

TEST_F(GatewaySendTest, ForegroundSendHandsTheStampedMessageToTheHost) {
    beginForeground("O", 12);
    klarna.foreground.request.amt = 1250;
    nanos = 7000000000ULL;

    EXPECT_EQ(klarna.startForegroundSend(150, 160, 160, -1, true, [] { return true; }), 1);

    const GatewayRequest& request = klarna.foreground.request;
    EXPECT_EQ(request.mt, 150);
    EXPECT_EQ(request.sentcount, 1);
    EXPECT_EQ(request.tt, "20240305070809"); // UTC, not local
    ASSERT_EQ(sends().size(), 1u);
    const auto fields = fieldsOf(lastSend());
    ASSERT_EQ(fields.size(), 7u);
    const std::vector<std::string> names = {"MsgType", "MID",     "TID",  "HostId",
                                            "Timeout", "Message", "IsXML"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(fields[i].first, names[i]);
    }
    EXPECT_EQ(fields[0].second, "150");
    EXPECT_EQ(fields[1].second, "TERM0001");
    EXPECT_EQ(fields[2].second, klarna.rotatingTid);
    EXPECT_EQ(fields[3].second, "KLARNA07");
    EXPECT_EQ(fields[4].second, "45"); // TIMEOUT_RESPONSE for a timeout of -1
    EXPECT_EQ(fields[5].second, toJson(request));
    EXPECT_EQ(fields[6].second, "1");
    EXPECT_TRUE(klarna.foreground.awaitingReply);
    EXPECT_EQ(klarna.foreground.sentAt, 7000000000ULL);
    EXPECT_EQ(store.bridge.handlers.count("HostReceiveEvent"), 1u);
}

TEST_F(GatewaySendTest, TransactionTimeoutOfZeroOrMoreIsPassedOn) {
    for (const std::int32_t timeout : {0, 70}) {
        beginForeground();
        klarna.startForegroundSend(150, 160, 160, timeout, true, nullptr);
        EXPECT_EQ(lastSend().getChildText("Timeout", ""), std::to_string(timeout));
        klarna.foreground.inProgress = false;
    }
}

TEST_F(GatewaySendTest, MidIsComputedAtEverySend) {
    beginForeground();
    klarna.sendTransaction(true);
    klarna.settings.terminalRefNum = "TERM0002";
    klarna.sendTransaction(true);
    EXPECT_EQ(lastSend().getChildText("MID", ""), "TERM0002");
}

TEST_F(GatewaySendTest, SentCountGrowsWithEverySend) {
    beginForeground();
    for (int expected = 1; expected <= 3; ++expected) {
        klarna.sendTransaction(true);
        EXPECT_EQ(klarna.foreground.request.sentcount, expected);
    }
    klarna.foreground.request.sentcount = 41;
    klarna.sendTransaction(true);
    EXPECT_EQ(klarna.foreground.request.sentcount, 42);
}

TEST_F(GatewaySendTest, ProcessingScreenOnPinpadAndPos) {
    beginForeground();
    klarna.foreground.request.amt = 1250;
    klarna.startForegroundSend(150, 160, 160, -1, false, nullptr);

    EXPECT_EQ(
        store.host.methodNames(),
        (std::vector<std::string>{"GetMultiLineFromPinpad", "DisplayOnPos", "SendHostMessage"}));
    const xmlNode& pinpad = store.host.requests()[0].element();
    EXPECT_EQ(pinpad.getChildText("Heading", ""), "KLARNA");
    EXPECT_EQ(pinpad.getChildText("Subtitle", ""), "PURCHASE      $12.50");
    const xmlNode& lines = pinpad.child(pinpad.findChild("TextLines"));
    EXPECT_EQ(
        fieldsOf(lines),
        (std::vector<std::pair<std::string, std::string>>{
            {"0", ""}, {"1", "     PROCESSING     "}, {"2", "    PLEASE  WAIT    "}, {"3", ""}}));
    EXPECT_EQ(pinpad.getChildText("NumberOfRows", ""), "4");
    EXPECT_EQ(pinpad.getChildText("DisplayOnly", ""), "1");
    // No completion handler: nothing waits for the screen's event.
    EXPECT_EQ(store.bridge.handlers.count("GetMultiLineFromPinpadEvent"), 0u);

    const xmlNode& pos = store.host.requests()[1].element();
    EXPECT_EQ(pos.getChildText("line1", ""), "PROCESSING");
    EXPECT_EQ(pos.getChildText("line2", ""), "PLEASE WAIT");
    EXPECT_EQ(pos.getChildText("DialogTitle", ""), "Klarna"); // from the POS request copy
}

TEST_F(GatewaySendTest, NoPosDisplayForRequestsFromElsewhere) {
    ASSERT_TRUE(klarna.foreground.beginTransaction(posRequest("PINPAD")));
    klarna.origin.captureOrigin(klarna.foreground.posRequest);
    klarna.background.response.setResponse("0A");
    klarna.sendTransaction(false);
    EXPECT_EQ(store.host.methodNames(),
              (std::vector<std::string>{"GetMultiLineFromPinpad", "SendHostMessage"}));
}

TEST_F(GatewaySendTest, BusyBackgroundDefersTheSendButShowsTheScreen) {
    beginForeground();
    klarna.background.inProgress = true;
    EXPECT_EQ(klarna.startForegroundSend(150, 160, 160, -1, false, nullptr), 0);
    EXPECT_TRUE(klarna.foregroundDeferred);
    EXPECT_TRUE(sends().empty());
    EXPECT_EQ(store.host.count("GetMultiLineFromPinpad"), 1u);
    EXPECT_FALSE(klarna.foreground.awaitingReply);

    // The end of the background exchange sends it.
    klarna.background.inProgress = false;
    EXPECT_EQ(klarna.sendTransaction(false), 1);
    EXPECT_FALSE(klarna.foregroundDeferred);
    EXPECT_EQ(sends().size(), 1u);
}

TEST_F(GatewaySendTest, UnacceptedBackgroundOutcomeRefusesWithTx) {
    for (const std::string code : {"", "X2", "0a", "05"}) {
        SCOPED_TRACE(code);
        store.host.clear();
        beginForeground();
        klarna.background.response.setResponse(code);
        int completions = 0;
        klarna.foreground.completion = [&completions] { ++completions; };
        EXPECT_EQ(klarna.sendTransaction(false), 1);
        EXPECT_EQ(klarna.foreground.response.code, "TX");
        EXPECT_EQ(completions, 1);
        EXPECT_TRUE(sends().empty());
        EXPECT_EQ(store.host.count("GetMultiLineFromPinpad"), 1u);
        klarna.foreground.inProgress = false;
    }
}

TEST_F(GatewaySendTest, EmptyCallbackKeepsTheStoredOne) {
    beginForeground();
    int calls = 0;
    klarna.startForegroundSend(150, 160, 160, -1, true, [&calls] {
        ++calls;
        return true;
    });
    klarna.startForegroundSend(150, 160, 160, -1, true, nullptr);
    ASSERT_TRUE(klarna.foreground.replyCallback);
    klarna.foreground.replyCallback();
    EXPECT_EQ(calls, 1);
}

TEST_F(GatewaySendTest, ReversalIsStoredBeforeForegroundSendsOfMoneyKinds) {
    beginForeground("P");
    klarna.sendTransaction(true);
    EXPECT_TRUE(klarna.foreground.reversalStored);
    const auto names = store.host.methodNames();
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], "SetVariable");
    EXPECT_EQ(names[1], "SendHostMessage");
    EXPECT_FALSE(store.variables["REVERSAL_DATA"].empty());

    // An interrupt sent while the money-taking message still awaits its
    // reply writes no record and keeps the pending one clearable.
    store.host.clear();
    klarna.foreground.request.type = "Q";
    klarna.sendTransaction(true);
    EXPECT_TRUE(klarna.foreground.reversalStored);
    EXPECT_EQ(store.host.methodNames(), std::vector<std::string>{"SendHostMessage"});

    // Once the reply has been taken, a message of another kind stores nothing.
    store.host.clear();
    klarna.foreground.awaitingReply = false;
    klarna.foreground.request.type = "O";
    klarna.sendTransaction(true);
    EXPECT_FALSE(klarna.foreground.reversalStored);
    EXPECT_EQ(store.host.methodNames(), std::vector<std::string>{"SendHostMessage"});
}

// A host that will not keep the reversal record gets no money message; one
// that refuses the message delivers no reply for it: either way the exchange
// ends at once, and a record written stays to reverse what may have gone.
TEST_F(GatewaySendTest, RefusedRecordOrMessageEndsTheExchangeAtOnce) {
    std::vector<std::string> outcomes;
    for (const char* refused : {"SetVariable", "SendHostMessage"}) {
        SCOPED_TRACE(refused);
        store.host.clear();
        store.variables.erase("REVERSAL_DATA");
        const std::string method = refused;
        store.host.respondWith([this, method](const RecordingHost::Request& request) {
            const xmlNode& element = request.element();
            if (element.name == method) {
                return RecordingHost::Answer{-1, ""};
            }
            if (element.name == "SetVariable") {
                store.variables[element.getChildText("VariableName", "")] =
                    element.getChildText("Value", "");
            }
            return RecordingHost::Answer{};
        });
        beginForeground("P");
        klarna.foreground.replyCallback = [] { return false; };
        klarna.sendTransaction(true);
        EXPECT_FALSE(klarna.foreground.awaitingReply);
        EXPECT_FALSE(klarna.foreground.inProgress);
        outcomes.push_back(klarna.foreground.response.code + " " +
                           std::to_string(store.host.count("SendHostMessage")) + " " +
                           std::to_string(store.variables.count("REVERSAL_DATA")));
    }
    EXPECT_EQ(outcomes, (std::vector<std::string>{"X2 0 0", "X0 1 1"}));

    // A background message refused by the host awaits nothing either.
    ASSERT_TRUE(klarna.background.beginTransaction(xmlNode()));
    klarna.background.request.type = "P-";
    EXPECT_EQ(klarna.sendBackgroundTransaction(400, 410, 410, [] { return true; }), 0);
    EXPECT_FALSE(klarna.background.awaitingReply);
}

TEST_F(GatewaySendTest, BackgroundSendIsSilentAndUsesTheSettingTimeout) {
    ASSERT_TRUE(klarna.background.beginTransaction(xmlNode()));
    klarna.background.request.type = "P-";
    klarna.background.timeout = 5;
    klarna.background.response.setResponse("05"); // no refusal check here
    int calls = 0;
    EXPECT_EQ(klarna.sendBackgroundTransaction(400, 410, 410,
                                               [&calls] {
                                                   ++calls;
                                                   return true;
                                               }),
              1);
    EXPECT_EQ(store.host.methodNames(), std::vector<std::string>{"SendHostMessage"});
    EXPECT_EQ(lastSend().getChildText("MsgType", ""), "400");
    EXPECT_EQ(lastSend().getChildText("Timeout", ""), "45");
    EXPECT_EQ(klarna.background.request.mt, 400);
    EXPECT_EQ(klarna.background.request.sentcount, 1);
    EXPECT_TRUE(klarna.background.awaitingReply);
    EXPECT_FALSE(klarna.background.reversalStored);
    EXPECT_EQ(klarna.background.windowLow, 410);
    ASSERT_TRUE(klarna.background.replyCallback);
    klarna.background.replyCallback();
    EXPECT_EQ(calls, 1);
    ASSERT_FALSE(debugLines.empty());
    EXPECT_EQ(debugLines[0], "Klarna Send Background Transaction:\n");
}

TEST_F(GatewaySendTest, DebugTraceMasksCredentialsAndCardTheHostStillGetsThem) {
    DebugCapture capture;
    beginForeground("A+");
    klarna.foreground.request.password = "pw-Secret-1";
    klarna.foreground.request.token = "tok-Secret-2";
    klarna.foreground.request.pan = "4111222233334444";
    klarna.sendTransaction(true);
    ASSERT_TRUE(klarna.background.beginTransaction(xmlNode()));
    klarna.background.request.password = "pw-Secret-1";
    klarna.background.request.token = "tok-Secret-2";
    klarna.sendBackgroundTransaction(100, 110, 110, nullptr);

    const std::string traced = capture.all();
    EXPECT_NE(traced.find("Klarna Send Transaction:\n"), std::string::npos);
    EXPECT_NE(traced.find("Klarna Send Background Transaction:\n"), std::string::npos);
    EXPECT_NE(traced.find("****"), std::string::npos);
    EXPECT_EQ(traced.find("Secret"), std::string::npos);
    EXPECT_EQ(traced.find("4111222233334444"), std::string::npos);
    EXPECT_NE(traced.find("\"pan\":\"****\""), std::string::npos);

    ASSERT_EQ(sends().size(), 2u);
    for (const RecordingHost::Request* sent : sends()) {
        EXPECT_NE(sent->text.find("pw-Secret-1"), std::string::npos);
        EXPECT_NE(sent->text.find("tok-Secret-2"), std::string::npos);
    }
    EXPECT_NE(sends()[0]->text.find("4111222233334444"), std::string::npos);
    EXPECT_EQ(sends()[0]->element().getChildText("Message", ""), toJson(klarna.foreground.request));
}

TEST_F(GatewaySendTest, TidKeepsSevenCharactersAndCyclesTheEighth) {
    randoms = {0, 1, 62, 63, 64, 125, 10, 99};
    beginForeground();
    ASSERT_TRUE(klarna.background.beginTransaction(xmlNode()));
    klarna.background.inProgress = false; // foreground sends go out too
    klarna.background.response.setResponse("00");
    const std::string fixedPart = {tidAlphabet[0], tidAlphabet[1],  tidAlphabet[62], tidAlphabet[0],
                                   tidAlphabet[1], tidAlphabet[62], tidAlphabet[10]};
    for (int send = 0; send < 130; ++send) {
        if (send % 2 == 0) {
            klarna.sendTransaction(true);
        } else {
            klarna.sendBackgroundTransaction(100, 110, 110, nullptr);
        }
        const std::string tid = lastSend().getChildText("TID", "");
        ASSERT_EQ(tid.size(), 8u);
        EXPECT_EQ(tid.substr(0, 7), fixedPart);
        EXPECT_EQ(tid[7], tidAlphabet[static_cast<std::size_t>(send % 64)]) << send;
    }
    EXPECT_EQ(seeds.size(), 1u);
}

TEST_F(GatewaySendTest, RandomSeedIsTimeModuloTick) {
    seconds = 1700000123;
    tick = 1000;
    beginForeground();
    klarna.sendTransaction(true);
    klarna.makeUniqueRef();
    EXPECT_EQ(seeds, std::vector<unsigned>{123});
}

TEST_F(GatewaySendTest, ZeroTickSeedsWithTheTimeInsteadOfDividingByZero) {
    seconds = 1700000123;
    tick = 0;
    beginForeground();
    klarna.sendTransaction(true);
    EXPECT_EQ(seeds, std::vector<unsigned>{1700000123u});
    EXPECT_EQ(klarna.rotatingTid.size(), 8u);
}

} // namespace
