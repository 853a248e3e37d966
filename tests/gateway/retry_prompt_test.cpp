#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "documents/gateway_message.h"
#include "host/quen_klarna.h"
#include "platform/platform.h"
#include "tests/support/element_fields.h"
#include "tests/support/recording_host.h"

namespace {

// A foreground transaction whose last exchange failed with "X0".
class RetryPromptTest : public ::testing::Test {
  protected:
    RetryPromptTest() {
        host.connect(bridge);
        platform::Seams seams;
        seams.debugSink = [](const std::string&) {};
        platform::setSeams(seams);
        extension.settings.terminalRefNum = "TERM01";
        extension.background.response.setResponse("00");
        extension.foreground.beginTransaction(posRequest);
        extension.foreground.completion = [this] {
            ++completions;
            extension.foreground.inProgress = false;
        };
        extension.foreground.request.type = "O";
        extension.foreground.messageType = 150;
        extension.foreground.windowLow = 160;
        extension.foreground.windowHigh = 160;
        extension.foreground.response.setResponse("X0");
    }
    ~RetryPromptTest() override { platform::setSeams({}); }

    bool offer() {
        xmlNode parameters;
        return extension.offerRetry(parameters);
    }

    const xmlNode& requestOf(const std::string& method) const {
        for (const RecordingHost::Request& request : host.requests()) {
            if (request.methodName() == method) {
                return request.element();
            }
        }
        static const xmlNode none;
        ADD_FAILURE() << "no " << method;
        return none;
    }

    void deliver(const std::string& event, const RecordingHost::Parameters& parameters) {
        RecordingHost::deliver(
            bridge, RecordingHost::eventMessage(RecordingHost::element(event, parameters)));
    }

    RecordingHost host;
    HostBridge bridge;
    QuenKlarna extension{bridge};
    xmlNode posRequest{"<DoTransaction><DialogX>0040</DialogX><DialogType>Modal</DialogType>"
                       "</DoTransaction>"};
    int completions = 0;
};

TEST_F(RetryPromptTest, PromptIsRefusedOnceTheSendCountPassesTheLimit) {
    struct Case {
        std::int32_t limit;
        std::optional<std::int32_t> sent;
        bool offered;
    };
    const std::vector<Case> cases = {
        {0, 1, false}, {5, 5, true}, {5, 6, false}, {2, std::nullopt, true}};
    for (const Case& item : cases) {
        SCOPED_TRACE(item.limit * 100 + item.sent.value_or(-1));
        host.clear();
        extension.settings.retryLimit = item.limit;
        extension.foreground.request.sentcount = item.sent;

        EXPECT_EQ(offer(), item.offered);
        EXPECT_EQ(host.count("WaitForKeyPress"), item.offered ? 1u : 0u);
        EXPECT_EQ(host.requests().empty(), !item.offered);
    }
}

TEST_F(RetryPromptTest, PinpadTransactionAsksOnThePinpadOnly) {
    extension.foreground.request.sentcount = 1;
    ASSERT_TRUE(offer());

    EXPECT_EQ(host.methodNames(), (std::vector<std::string>{"DisplayOnPinpad", "WaitForKeyPress"}));
    const Fields screen = {{"line1", "KLARNA"},
                           {"line2", "X0 NO RESPONSE"},
                           {"line3", " "},
                           {"line4", "RETRY TRANSACTION?  "},
                           {"NumberOfRows", "4"}};
    EXPECT_EQ(fieldsOf(requestOf("DisplayOnPinpad")), screen);
    EXPECT_EQ(fieldsOf(requestOf("WaitForKeyPress")),
              (Fields{{"PinpadKeyMask", "!1010000"}, {"Timeout", "60"}}));
}

TEST_F(RetryPromptTest, PosTransactionAsksOnThePosWithItsDialogFields) {
    extension.origin.posOrigin = true;
    extension.foreground.response.lookupResponse("91", "Gateway down");
    extension.foreground.request.sentcount = 1;
    ASSERT_TRUE(offer());

    EXPECT_EQ(host.methodNames(),
              (std::vector<std::string>{"DisplayOnPinpad", "DisplayOnPos", "WaitForKeyPress"}));
    EXPECT_EQ(requestOf("DisplayOnPinpad").getChildText("line2", ""), "91 Gateway down");
    EXPECT_EQ(requestOf("DisplayOnPinpad").getChildText("line4", ""), " ");
    const Fields pos = {{"line1", "91 Gateway down"}, {"line2", "RETRY TRANSACTION?"},
                        {"SendToPOS", "0"},           {"DialogX", "0040"},
                        {"DialogY", "0000"},          {"DialogTitle", ""},
                        {"DialogTopMost", "1"},       {"DialogType", "Modal"},
                        {"DialogPosition", "MC"}};
    EXPECT_EQ(fieldsOf(requestOf("DisplayOnPos")), pos);
    EXPECT_EQ(fieldsOf(requestOf("WaitForKeyPress")),
              (Fields{{"PosKeyMask", "011000001"}, {"Timeout", "60"}}));
}

TEST_F(RetryPromptTest, OnlyAnAcceptKeyResendsEverythingElseEndsWithX0) {
    struct Case {
        const char* name;
        bool fromPos;
        RecordingHost::Parameters event;
        bool resend;
    };
    const std::vector<Case> cases = {
        {"pinpad enter", false, {{"Result", "00"}, {"PinpadKeyPress", "ENTER"}}, true},
        {"pinpad cancel", false, {{"Result", "00"}, {"PinpadKeyPress", "CANCEL"}}, false},
        {"pinpad timeout", false, {{"Result", "TI"}, {"PinpadKeyPress", "ENTER"}}, false},
        {"pos yes", true, {{"Result", "00"}, {"PosKeyPress", "1"}}, true},
        {"pos no", true, {{"Result", "00"}, {"PosKeyPress", "2"}}, false},
        {"pos without result", true, {{"PosKeyPress", "1"}}, false},
    };
    for (const Case& item : cases) {
        SCOPED_TRACE(item.name);
        completions = 0;
        extension.foreground.inProgress = false;
        extension.foreground.beginTransaction(posRequest);
        extension.foreground.completion = [this] {
            ++completions;
            extension.foreground.inProgress = false;
        };
        extension.foreground.request.type = "O";
        extension.foreground.request.sentcount = 2;
        extension.foreground.messageType = 150;
        extension.foreground.response.setResponse("X0");
        extension.origin.posOrigin = item.fromPos;
        ASSERT_TRUE(offer());
        host.clear();

        deliver("WaitForKeyPressEvent", item.event);

        EXPECT_EQ(host.count("ClosePosDisplay"), item.fromPos ? 1u : 0u);
        if (item.fromPos) {
            EXPECT_EQ(host.methodNames().front(), "ClosePosDisplay");
        }
        EXPECT_EQ(host.count("SendHostMessage"), item.resend ? 1u : 0u);
        EXPECT_EQ(host.count("GetMultiLineFromPinpad"), item.resend ? 1u : 0u);
        EXPECT_EQ(completions, item.resend ? 0 : 1);
        if (item.resend) {
            GatewayRequest sent;
            EXPECT_TRUE(fromJson(requestOf("SendHostMessage").getChildText("Message", ""), sent));
            EXPECT_EQ(sent.sentcount, 3);
            EXPECT_EQ(sent.type, "O");
        } else {
            EXPECT_EQ(extension.foreground.response.code, "X0");
        }
    }
}

// One prompt, one answer: a repeated key event (the host sent it twice, or
// it comes late) neither sends the message again nor ends the resent one.
TEST_F(RetryPromptTest, RepeatedKeyEventIsNotASecondAnswer) {
    extension.foreground.request.sentcount = 1;
    ASSERT_TRUE(offer());
    deliver("WaitForKeyPressEvent", {{"Result", "00"}, {"PinpadKeyPress", "ENTER"}});
    ASSERT_EQ(host.count("SendHostMessage"), 1u);
    deliver("WaitForKeyPressEvent", {{"Result", "00"}, {"PinpadKeyPress", "ENTER"}});
    deliver("WaitForKeyPressEvent", {{"Result", "00"}, {"PinpadKeyPress", "CANCEL"}});
    EXPECT_EQ(host.count("SendHostMessage"), 1u);
    EXPECT_EQ(completions, 0);
    EXPECT_TRUE(extension.foreground.awaitingReply);
}

TEST_F(RetryPromptTest, OperatorAcceptingEveryRetrySendsLimitPlusOneTimes) {
    for (const std::int32_t limit : {0, 5}) {
        SCOPED_TRACE(limit);
        host.clear();
        completions = 0;
        extension.settings.retryLimit = limit;
        extension.foreground.inProgress = false;
        extension.foreground.beginTransaction(posRequest);
        extension.foreground.completion = [this] {
            ++completions;
            extension.foreground.inProgress = false;
        };
        extension.foreground.request.type = "O";
        extension.startForegroundSend(150, 160, 160, -1, true, [this] { return offer(); });

        for (int round = 0; round < 10 && completions == 0; ++round) {
            const std::size_t prompts = host.count("WaitForKeyPress");
            deliver("HostReceiveEvent", {{"Result", "Z0"}});
            if (host.count("WaitForKeyPress") > prompts) {
                deliver("WaitForKeyPressEvent", {{"Result", "00"}, {"PinpadKeyPress", "ENTER"}});
            }
        }

        EXPECT_EQ(host.count("SendHostMessage"), static_cast<std::size_t>(limit) + 1);
        EXPECT_EQ(host.count("WaitForKeyPress"), static_cast<std::size_t>(limit));
        EXPECT_EQ(completions, 1);
        // The refused prompt leaves the failure of the last exchange.
        EXPECT_EQ(extension.foreground.response.code, "Z0");
        EXPECT_EQ(extension.foreground.request.sentcount, limit + 1);
    }
}

} // namespace
