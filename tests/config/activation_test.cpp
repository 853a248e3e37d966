#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "documents/gateway_message.h"
#include "host/quen_klarna.h"
#include "platform/platform.h"
#include "tests/support/recording_host.h"

namespace {

using Writes = std::vector<std::pair<std::string, std::string>>;

// A payment flow reduced to what the logon touches: the activation check
// at the end of its first step, the token step, and a step standing for the
// first payment message, which records what the request carried.
class ActivationTest : public ::testing::Test {
  protected:
    ActivationTest() {
        host.connect(bridge);
        host.respondWith([this](const RecordingHost::Request& request) { return answer(request); });
        platform::Seams seams;
        seams.debugSink = [](const std::string&) {};
        seams.wallClock = [this] { return clock; };
        platform::setSeams(seams);
        clock.local = {2024, 3, 5, 9, 7, 3};
        clock.utcOffsetMinutes = 600;
        extension.settings.terminalRefNum = "TERM01";
        variables = {{"USERNAME", "user1"}, {"PASSWORD", "secret"}};
    }
    ~ActivationTest() override { platform::setSeams({}); }

    RecordingHost::Answer answer(const RecordingHost::Request& request) {
        const xmlNode& element = request.element();
        const std::string name = element.getChildText("VariableName", "");
        RecordingHost::Parameters parameters;
        if (element.name == "SetVariable") {
            variables[name] = element.getChildText("Value", "");
        } else if (element.name == "GetVariable") {
            const auto found = variables.find(name);
            if (found != variables.end()) {
                parameters.emplace_back("Var_result", found->second);
            }
        } else if (element.name == "GetPinpadDetails") {
            parameters = pinpadDetails;
        } else {
            return {};
        }
        return {0, RecordingHost::eventReply(element.name, parameters)};
    }

    void startPurchase() {
        extension.foreground.beginTransaction(posRequest);
        extension.foreground.completion = [this] {
            ++completions;
            extension.foreground.inProgress = false;
        };
        extension.clearSteps();
        extension.addStep(xmlNode(), [this](xmlNode&) { return extension.activationCheck(); });
        extension.addStep(xmlNode(), [this](xmlNode& step) { return extension.tokenStep(step); });
        extension.addStep(xmlNode(), [this](xmlNode&) {
            paymentRequests.push_back(extension.foreground.request);
            return true;
        });
        extension.runNextStep();
    }

    void deliverHostEvent(const RecordingHost::Parameters& parameters) {
        RecordingHost::deliver(bridge, RecordingHost::eventMessage(
                                           RecordingHost::element("HostReceiveEvent", parameters)));
    }
    void deliverLogonReply(const std::string& json, const std::string& messageType = "110") {
        deliverHostEvent({{"Result", "00"},
                          {"Header", "<Header><MTYPE>" + messageType + "</MTYPE></Header>"},
                          {"Message", json}});
    }

    Writes variableWrites() const {
        Writes writes;
        for (const RecordingHost::Request& request : host.requests()) {
            if (request.methodName() == "SetVariable") {
                writes.emplace_back(request.element().getChildText("VariableName", ""),
                                    request.element().getChildText("Value", ""));
            }
        }
        return writes;
    }

    // The gateway message of the only SendHostMessage sent.
    GatewayRequest logonMessage() const {
        GatewayRequest message;
        EXPECT_EQ(host.count("SendHostMessage"), 1u);
        for (const RecordingHost::Request& request : host.requests()) {
            if (request.methodName() == "SendHostMessage") {
                EXPECT_EQ(request.element().getChildText("MsgType", ""), "100");
                EXPECT_TRUE(fromJson(request.element().getChildText("Message", ""), message));
            }
        }
        return message;
    }

    RecordingHost host;
    HostBridge bridge;
    QuenKlarna extension{bridge};
    std::map<std::string, std::string> variables;
    RecordingHost::Parameters pinpadDetails;
    platform::WallClock clock;
    xmlNode posRequest{"<DoTransaction><TxnType>P</TxnType><DialogX>0120</DialogX>"
                       "<DialogTitle>Till</DialogTitle></DoTransaction>"};
    int completions = 0;
    std::vector<GatewayRequest> paymentRequests;
};

TEST_F(ActivationTest, FirstPurchaseLogsOnStoresTheTokenAndContinuesWithIt) {
    variables["COUNTRY_CODE"] = "NZ";
    startPurchase();

    EXPECT_EQ(logonMessage().type, "A+");
    EXPECT_TRUE(extension.resumeAfterLogon);
    ASSERT_EQ(host.count("DisplayOnPos"), 1u);
    const RecordingHost::Request* display = nullptr;
    for (const RecordingHost::Request& request : host.requests()) {
        display = request.methodName() == "DisplayOnPos" ? &request : display;
    }
    EXPECT_EQ(display->element().getChildText("line1", ""), "PROCESSING");
    EXPECT_EQ(display->element().getChildText("line2", ""), "PLEASE WAIT");
    EXPECT_EQ(display->element().getChildText("DialogX", ""), "0120");
    EXPECT_EQ(display->element().getChildText("DialogTitle", ""), "Till");
    EXPECT_TRUE(paymentRequests.empty());
    EXPECT_EQ(completions, 0);

    deliverLogonReply(R"({"type":"A+","rc":"00","rt":"APPROVED","token":"T1"})");

    const Writes expected = {
        {"TOKEN", "T1"}, {"ACTIVATION_STATUS", "OK"}, {"USERNAME", ""}, {"PASSWORD", ""}};
    EXPECT_EQ(variableWrites(), expected);
    ASSERT_EQ(paymentRequests.size(), 1u);
    EXPECT_EQ(paymentRequests[0].token, "T1");
    EXPECT_EQ(paymentRequests[0].countrycode, "NZ");
    EXPECT_FALSE(extension.resumeAfterLogon);
    EXPECT_FALSE(extension.background.inProgress);
    EXPECT_EQ(completions, 0);
}

TEST_F(ActivationTest, LogonMessageCarriesCredentialsTerminalAgentPinpadAndStartTime) {
    struct Case {
        platform::CalendarTime local;
        int offset;
        RecordingHost::Parameters pinpad;
        std::string date, time;
        std::optional<std::string> acquirer, tid, mid;
    };
    const std::vector<Case> cases = {
        {{2024, 3, 5, 9, 7, 3},
         600,
         {{"Acquirer", " ACQ1\t"}, {"TID", "  "}},
         "05032024",
         "090703",
         "ACQ1",
         std::nullopt,
         std::nullopt},
        {{1999, 12, 31, 23, 59, 59},
         -330,
         {{"Acquirer", ""}, {"TID", "T0000007"}, {"MID", "\nM42 "}},
         "31121999",
         "235959",
         std::nullopt,
         "T0000007",
         "M42"},
    };
    for (const Case& item : cases) {
        SCOPED_TRACE(item.date);
        HostBridge freshBridge;
        host.connect(freshBridge);
        QuenKlarna fresh(freshBridge);
        fresh.settings.terminalRefNum = "  TERM01 ";
        host.clear();
        clock.local = item.local;
        clock.utcOffsetMinutes = item.offset;
        pinpadDetails = item.pinpad;

        EXPECT_TRUE(fresh.startLogon());
        const GatewayRequest message = logonMessage();
        EXPECT_EQ(message.username, "user1");
        EXPECT_EQ(message.password, "secret");
        EXPECT_EQ(message.trn, "TERM01");
        EXPECT_EQ(message.agent, "Klarna\\1.0.0.0");
        EXPECT_EQ(message.ppacq, item.acquirer);
        EXPECT_EQ(message.pptid, item.tid);
        EXPECT_EQ(message.ppmid, item.mid);
        EXPECT_EQ(message.date, item.date);
        EXPECT_EQ(message.time, item.time);
        EXPECT_EQ(message.tzd, item.offset);
        EXPECT_EQ(message.sentcount, 1);
        EXPECT_TRUE(fresh.background.inProgress);
        EXPECT_EQ(fresh.background.response.code, "00");
    }
}

TEST_F(ActivationTest, AgentComesFromTheApplicationStatus) {
    extension.applicationStatus.getChild("AppName").setText("KlarnaPay");
    extension.applicationStatus.getChild("Version").setText("2.1.0.7");
    EXPECT_TRUE(extension.startLogon());
    EXPECT_EQ(logonMessage().agent, "KlarnaPay\\2.1.0.7");
}

TEST_F(ActivationTest, LogonThatCannotBeSentEndsThePurchaseWithH0) {
    struct Case {
        const char* name;
        std::map<std::string, std::string> variables;
        std::string terminalRefNum;
        std::string status; // empty: no status written at all
    };
    const std::vector<Case> cases = {
        {"no password", {{"USERNAME", "user1"}, {"PASSWORD", ""}}, "TERM01", "CONFIG REQUIRED"},
        {"no user name", {{"PASSWORD", "secret"}}, "TERM01", "CONFIG REQUIRED"},
        {"token but no terminal",
         {{"USERNAME", "user1"}, {"PASSWORD", "secret"}, {"TOKEN", "OLD"}},
         "",
         "LANE CONFIG REQUIRED"},
        {"blank terminal reference",
         {{"USERNAME", "user1"}, {"PASSWORD", "secret"}},
         " \t ",
         "LANE CONFIG REQUIRED"},
    };
    for (const Case& item : cases) {
        SCOPED_TRACE(item.name);
        host.clear();
        completions = 0;
        variables = item.variables;
        extension.settings.terminalRefNum = item.terminalRefNum;

        startPurchase();

        EXPECT_EQ(host.count("SendHostMessage"), 0u);
        EXPECT_EQ(host.count("DisplayOnPos"), 0u);
        EXPECT_EQ(variableWrites(), (Writes{{"ACTIVATION_STATUS", item.status}}));
        EXPECT_EQ(extension.foreground.response.code, "H0");
        EXPECT_EQ(completions, 1);
        EXPECT_TRUE(paymentRequests.empty());
        EXPECT_FALSE(extension.resumeAfterLogon);
        EXPECT_FALSE(extension.background.inProgress);
    }
}

TEST_F(ActivationTest, BusyBackgroundRefusesTheLogonWithoutAnyMessage) {
    extension.background.beginTransaction(xmlNode());
    EXPECT_FALSE(extension.startLogon());
    EXPECT_EQ(host.count("SendHostMessage"), 0u);

    startPurchase();
    EXPECT_EQ(host.count("SendHostMessage"), 0u);
    EXPECT_TRUE(variableWrites().empty());
    EXPECT_EQ(extension.foreground.response.code, "H0");
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(extension.background.inProgress);
}

TEST_F(ActivationTest, EveryLogonOutcomeIsRecordedAndAFailureEndsThePurchaseWithH1) {
    struct Case {
        const char* name;
        RecordingHost::Parameters event;
        std::string status;
        bool tokenWritten;
    };
    const auto reply = [](const std::string& json, const std::string& type = "110") {
        return RecordingHost::Parameters{{"Result", "00"},
                                         {"Header", "<Header><MTYPE>" + type + "</MTYPE></Header>"},
                                         {"Message", json}};
    };
    const std::vector<Case> cases = {
        {"empty token", reply(R"({"type":"A+","rc":"00","token":""})"), "FAILED", true},
        {"no token", reply(R"({"type":"A+","rc":"00"})"), "INVALID HOST RESPONSE", false},
        // Only "00" is a successful logon; "0A" (cleared) is not.
        {"cleared", reply(R"({"type":"A+","rc":"0A","token":"T1"})"), "TRANSACTION CLEARED ",
         false},
        {"declined", reply(R"({"type":"A+","rc":"91","rt":"bad login"})"), "BAD LOGIN", false},
        {"no response", {{"Result", "X0"}}, "NO RESPONSE", false},
        // Replies the exchange rejects before the logon handler sees them
        // still record why and release the purchase.
        {"other message", reply(R"({"type":"A-","rc":"00","token":"T1"})"), "INVALID HOST MSG",
         false},
        {"nobody's window", reply(R"({"type":"A+","rc":"00","token":"T1"})", "999"),
         "MESSAGE TYPE ERROR", false},
    };
    for (const Case& item : cases) {
        SCOPED_TRACE(item.name);
        variables = {{"USERNAME", "user1"}, {"PASSWORD", "secret"}};
        completions = 0;
        startPurchase();
        host.clear();

        deliverHostEvent(item.event);

        Writes expected;
        if (item.tokenWritten) {
            expected.emplace_back("TOKEN", "");
        }
        expected.emplace_back("ACTIVATION_STATUS", item.status);
        EXPECT_EQ(variableWrites(), expected);
        EXPECT_EQ(variables["USERNAME"], "user1");
        EXPECT_EQ(variables["PASSWORD"], "secret");
        EXPECT_EQ(extension.foreground.response.code, "H1");
        EXPECT_EQ(completions, 1);
        EXPECT_TRUE(paymentRequests.empty());
        EXPECT_FALSE(extension.resumeAfterLogon);
        EXPECT_FALSE(extension.background.inProgress);
    }
}

TEST_F(ActivationTest, TokenStoredButTerminalGoneMeanwhileIsAFailedLogon) {
    startPurchase();
    extension.settings.terminalRefNum.clear();
    deliverLogonReply(R"({"type":"A+","rc":"00","token":"T1"})");

    EXPECT_EQ(variableWrites(), (Writes{{"TOKEN", "T1"}, {"ACTIVATION_STATUS", "FAILED"}}));
    EXPECT_EQ(extension.foreground.response.code, "H1");
    EXPECT_EQ(completions, 1);
}

TEST_F(ActivationTest, ActivatedTerminalGoesStraightOnWithTokenAndDefaultCountry) {
    variables["TOKEN"] = "T9";
    startPurchase();

    EXPECT_EQ(host.count("SendHostMessage"), 0u);
    EXPECT_EQ(host.count("DisplayOnPos"), 0u);
    ASSERT_EQ(paymentRequests.size(), 1u);
    EXPECT_EQ(paymentRequests[0].token, "T9");
    EXPECT_EQ(paymentRequests[0].countrycode, "AU");
    EXPECT_TRUE(variableWrites().empty());
}

TEST_F(ActivationTest, ForegroundSendDeferredByTheLogonGoesOutWhenItEnds) {
    ASSERT_TRUE(extension.startLogon());
    extension.foreground.beginTransaction(posRequest);
    extension.foreground.request.type = "O";
    EXPECT_EQ(extension.startForegroundSend(150, 160, 160, -1, true, [] { return true; }), 0);
    EXPECT_TRUE(extension.foregroundDeferred);
    EXPECT_EQ(host.count("SendHostMessage"), 1u);

    deliverLogonReply(R"({"type":"A+","rc":"00","token":"T1"})");

    EXPECT_EQ(host.count("SendHostMessage"), 2u);
    EXPECT_EQ(host.last().element().getChildText("MsgType", ""), "150");
    EXPECT_FALSE(extension.foregroundDeferred);
    EXPECT_TRUE(extension.foreground.awaitingReply);
}

TEST_F(ActivationTest, DeferredSendOfAForegroundEndedMeanwhileIsDropped) {
    ASSERT_TRUE(extension.startLogon());
    extension.foreground.beginTransaction(posRequest);
    extension.foreground.request.type = "O";
    extension.startForegroundSend(150, 160, 160, -1, true, [] { return true; });

    // In nobody's window: the deferred foreground ends with "Z1", then the logon.
    deliverLogonReply(R"({"type":"A+","rc":"00","token":"T1"})", "999");

    EXPECT_EQ(host.count("SendHostMessage"), 1u);
    EXPECT_EQ(extension.foreground.response.code, "Z1");
    EXPECT_FALSE(extension.foregroundDeferred);
    EXPECT_FALSE(extension.background.inProgress);
}

} // namespace
