// The simulated host against a scripted stand-in for the module: replies,
// -181, registrations, and events that arrive only through the event loop.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "sim/host/host_sim.h"

namespace {

using sim::XmlElement;

// Plays the module: records what it is given and, while handling a message,
// may send requests through the host's callback as the module does.
class ScriptedModule : public sim::ModulePort {
  public:
    std::int32_t deliver(const std::string& message, std::int32_t, std::string&) override {
        received.push_back(message);
        inside = true;
        const std::int32_t result = onMessage ? onMessage(message) : 0;
        inside = false;
        return result;
    }

    std::vector<std::string> received;
    std::function<std::int32_t(const std::string&)> onMessage;
    bool inside = false;
};

std::string methodText(const std::string& name,
                       const std::vector<std::pair<std::string, std::string>>& fields,
                       const std::string& extraRoot = "") {
    std::string text =
        "<?xml version=\"1.0\" ?>\r\n<VORTAXIS_BRIDGE><VORTAXIS_SOURCE>Klarna</VORTAXIS_SOURCE>" +
        extraRoot + "<VORTAXIS_METHOD><" + name + ">";
    for (const auto& f : fields) {
        text += "<" + f.first + ">" + f.second + "</" + f.first + ">";
    }
    return text + "</" + name + "></VORTAXIS_METHOD></VORTAXIS_BRIDGE>";
}

class HostTest : public ::testing::Test {
  protected:
    HostTest() : transcript(log, sim::Level::quiet), host(queue, transcript, store, record) {
        host.setModule(&module);
        host.gateway().config().latency = 200;
    }

    // Sends a request as the module would during Startup.
    std::int32_t call(const std::string& text, std::int32_t capacity = 150000) {
        buffer.assign(static_cast<std::size_t>(capacity), '\0');
        replyLength = capacity;
        host.beginStartup();
        const std::int32_t result =
            host.sendCallback()(host.context(), text.data(), static_cast<std::int32_t>(text.size()),
                                buffer.data(), &replyLength);
        host.endStartup();
        return result;
    }

    std::string reply() const {
        return std::string(buffer.data(), static_cast<std::size_t>(replyLength));
    }

    XmlElement replyElement() const {
        const sim::XmlParseResult parsed = sim::parseXml(reply());
        EXPECT_TRUE(parsed.ok) << parsed.error;
        const XmlElement* event = parsed.root.find("VORTAXIS_EVENT");
        return event != nullptr && !event->children.empty() ? event->children.front()
                                                            : XmlElement{};
    }

    XmlElement lastDelivered() const {
        const sim::XmlParseResult parsed = sim::parseXml(module.received.back());
        const XmlElement* event = parsed.root.find("VORTAXIS_EVENT");
        return event != nullptr && !event->children.empty() ? event->children.front()
                                                            : XmlElement{};
    }

    void runAll() {
        while (queue.hasForeground()) {
            queue.runNext();
        }
    }

    std::ostringstream log;
    sim::EventQueue queue;
    sim::Transcript transcript;
    sim::VariableStore store;
    sim::RunRecord record;
    sim::HostSim host;
    ScriptedModule module;
    std::vector<char> buffer;
    std::int32_t replyLength = 0;
};

TEST_F(HostTest, GetVariableAnswersStoredValuesAndLeavesOutUnknownOnes) {
    store.set("TOKEN", "abc");
    EXPECT_EQ(call(methodText("GetVariable", {{"VariableName", "TOKEN"}, {"Default", ""}})), 0);
    EXPECT_EQ(replyElement().childText("Var_result", "(none)"), "abc");
    EXPECT_EQ(
        call(methodText("GetVariable", {{"VariableName", "HOST_ID"}, {"Default", "KLARNA00"}})), 0);
    EXPECT_FALSE(replyElement().has("Var_result"));
    host.config().unknownVariableGivesDefault = true;
    call(methodText("GetVariable", {{"VariableName", "HOST_ID"}, {"Default", "KLARNA00"}}));
    EXPECT_EQ(replyElement().childText("Var_result"), "KLARNA00");
}

TEST_F(HostTest, ReplyThatDoesNotFitIsAnsweredMinus181AndFitsInALargerBuffer) {
    store.set("LAST_RECEIPT", std::string(300, 'r'));
    const std::string request = methodText("GetVariable", {{"VariableName", "LAST_RECEIPT"}});
    EXPECT_EQ(call(request, 200), -181);
    EXPECT_EQ(replyLength, 0);
    EXPECT_EQ(call(request, 150000), 0);
    EXPECT_EQ(replyElement().childText("Var_result"), std::string(300, 'r'));
    ASSERT_EQ(record.requests.size(), 2u);
    EXPECT_EQ(record.requests[0].result, -181);
    EXPECT_EQ(record.requests[0].capacity, 200);
}

TEST_F(HostTest, ForcedMinus181HappensBeforeTheRequestTakesEffect) {
    sim::MethodFault fault;
    fault.method = "SetVariable";
    fault.times = 2;
    host.config().methodFaults.push_back(fault);
    const std::string request =
        methodText("SetVariable", {{"VariableName", "STAN"}, {"Value", "7"}});
    EXPECT_EQ(call(request), -181);
    EXPECT_FALSE(store.has("STAN"));
    EXPECT_EQ(call(request), -181);
    EXPECT_EQ(call(request), 0);
    EXPECT_EQ(*store.find("STAN"), "7");
}

TEST_F(HostTest, BigReplyPaddingMakesTheRealSizeCheckAnswerMinus181) {
    sim::MethodFault fault;
    fault.method = "GetClientRunTimeDiags";
    fault.kind = sim::MethodFault::Kind::bigReply;
    fault.value = 200000;
    host.config().methodFaults.push_back(fault);
    EXPECT_EQ(call(methodText("GetClientRunTimeDiags", {}), 150000), -181);
    EXPECT_EQ(call(methodText("GetClientRunTimeDiags", {}), 150000), 0);
    EXPECT_EQ(replyElement().childText("MasterGuiName"), "VortaxisMasterGui");
}

TEST_F(HostTest, ProtocolBreachesAreRecordedAsViolations) {
    const std::string request = methodText("Trace", {{"TraceData", "x"}});
    std::int32_t length = 100;
    char small[100];
    EXPECT_EQ(host.sendCallback()(host.context() + 1, request.data(),
                                  static_cast<std::int32_t>(request.size()), small, &length),
              -1);
    EXPECT_EQ(host.sendCallback()(host.context(), request.data(),
                                  static_cast<std::int32_t>(request.size()), small, &length),
              0)
        << "outside Startup and OnReceive_v2 the request is still served";
    EXPECT_EQ(call("<VORTAXIS_BRIDGE><VORTAXIS_METHOD>"), -1);
    ASSERT_EQ(record.violations.size(), 3u);
    EXPECT_NE(record.violations[0].find("host context"), std::string::npos);
    EXPECT_NE(record.violations[1].find("outside Startup"), std::string::npos);
    EXPECT_NE(record.violations[2].find("unreadable request"), std::string::npos);
}

TEST_F(HostTest, KeyWaitTimesOutOnTheVirtualClockAndNeverFromInsideTheCallback) {
    call(methodText("WaitForKeyPress", {{"PosKeyMask", "000001001"}, {"Timeout", "10"}}));
    EXPECT_TRUE(module.received.empty());
    runAll();
    ASSERT_EQ(module.received.size(), 1u);
    EXPECT_EQ(queue.now(), 10000);
    const XmlElement event = lastDelivered();
    EXPECT_EQ(event.name, "WaitForKeyPressEvent");
    EXPECT_EQ(event.childText("Result"), "TO");
}

TEST_F(HostTest, AnswersRespectWhatTheScreenAllows) {
    call(methodText("GetMultiLineFromPinpad", {{"Timeout", "120"},
                                               {"CancelOnPOS", "0"},
                                               {"CancelOnPinpad", "1"},
                                               {"InputMode", "1"},
                                               {"Minimum", "10"},
                                               {"Maximum", "11"}}));
    std::string problem;
    sim::Answer answer;
    answer.kind = sim::Answer::Kind::input;
    answer.text = "04123";
    EXPECT_FALSE(host.answer(0, answer, problem));
    EXPECT_EQ(problem, "the pinpad takes 10 to 11 characters, not 5");
    answer.kind = sim::Answer::Kind::cancel;
    answer.where = "pos";
    EXPECT_FALSE(host.answer(0, answer, problem));
    EXPECT_EQ(problem, "this screen cannot be cancelled on the pos");
    EXPECT_TRUE(module.received.empty());

    answer.kind = sim::Answer::Kind::input;
    answer.text = "0412345678";
    ASSERT_TRUE(host.answer(0, answer, problem)) << problem;
    const XmlElement event = lastDelivered();
    EXPECT_EQ(event.name, "GetMultiLineFromPinpadEvent");
    EXPECT_EQ(event.childText("Result"), "00");
    EXPECT_EQ(event.childText("InputData"), "0412345678");
    runAll();
    EXPECT_EQ(module.received.size(), 1u) << "an answered prompt does not time out later";
}

TEST_F(HostTest, CancelledScreenReportsWhereItWasCancelled) {
    call(methodText("GetMultiLineFromPinpad",
                    {{"Timeout", "70"}, {"IsQRCode", "1"}, {"QRBCodeData", "https://x"}}));
    std::string problem;
    sim::Answer answer;
    answer.kind = sim::Answer::Kind::cancel;
    ASSERT_TRUE(host.answer(0, answer, problem));
    const XmlElement event = lastDelivered();
    EXPECT_EQ(event.childText("Result"), "TM");
    EXPECT_EQ(event.childText("PinpadCancelled"), "1");
    EXPECT_EQ(event.childText("PosCancelled"), "0");
    EXPECT_FALSE(host.answer(0, answer, problem)) << "nothing is waiting any more";
}

TEST_F(HostTest, DisplayOnlyScreensAndCancelCurrentCommandSendNoEvent) {
    call(methodText("GetMultiLineFromPinpad", {{"Timeout", "70"}}));
    call(methodText("CancelCurrentCommand", {}));
    call(methodText("GetMultiLineFromPinpad", {{"DisplayOnly", "1"}, {"Timeout", "5"}}));
    runAll();
    EXPECT_TRUE(module.received.empty());
    EXPECT_FALSE(host.awaitingPerson());
}

TEST_F(HostTest, GatewayReplyArrivesAsHostReceiveEventWithHeaderAndMessage) {
    host.gateway().config().issuedToken = "T1";
    const std::string logon =
        R"({"mt":100,"password":"p","stan":4,"trn":"M1","type":"A+","username":"u"})";
    call(methodText("SendHostMessage", {{"MsgType", "100"},
                                        {"HostId", "KLARNA00"},
                                        {"Timeout", "30"},
                                        {"Message", logon},
                                        {"IsXML", "1"}}));
    ASSERT_EQ(record.gateway.size(), 1u);
    EXPECT_EQ(record.gateway[0].kind, "A+");
    EXPECT_TRUE(module.received.empty());
    runAll();
    ASSERT_EQ(module.received.size(), 1u);
    EXPECT_EQ(queue.now(), 200);
    const XmlElement event = lastDelivered();
    EXPECT_EQ(event.name, "HostReceiveEvent");
    EXPECT_EQ(event.childText("Result"), "00");
    const sim::XmlParseResult header = sim::parseXml(event.childText("Header"));
    ASSERT_TRUE(header.ok);
    EXPECT_EQ(header.root.childText("MTYPE"), "110");
    const nlohmann::json message = nlohmann::json::parse(event.childText("Message"));
    EXPECT_EQ(message.at("token"), "T1");
    EXPECT_EQ(message.at("stan"), 4);
}

TEST_F(HostTest, NoGatewayReplyEndsInTheHostTimeoutAndALateReplyIsDropped) {
    sim::Fault late;
    late.kind = "A+";
    late.mode = sim::FaultMode::late;
    late.delay = 40000;
    host.gateway().addFault(late);
    const std::string logon =
        R"({"mt":100,"password":"p","stan":4,"trn":"M1","type":"A+","username":"u"})";
    call(
        methodText("SendHostMessage", {{"MsgType", "100"}, {"Timeout", "30"}, {"Message", logon}}));
    runAll();
    ASSERT_EQ(module.received.size(), 1u);
    const XmlElement event = lastDelivered();
    EXPECT_EQ(event.childText("Result"), "X0");
    EXPECT_EQ(event.childText("ResultText"), "NO RESPONSE");
    EXPECT_FALSE(event.has("Message"));
    EXPECT_EQ(queue.now(), 40200) << "the late reply came and was dropped";
}

TEST_F(HostTest, RegistrationsOpenTheDoors) {
    std::string problem;
    EXPECT_FALSE(host.command("RefreshSettings", {}, problem));
    EXPECT_FALSE(host.pinpadOnline("1", problem));
    EXPECT_FALSE(host.posTransaction({}, problem));
    call(methodText("InterceptSet", {{"VORTAXIS_BRIDGE",
                                      "<VORTAXIS_SOURCE/><VORTAXIS_DESTINATION/><VORTAXIS_EVENT>"
                                      "<RefreshSettings><Merchant>70</Merchant></RefreshSettings>"
                                      "</VORTAXIS_EVENT>"}}));
    call(methodText("EventSubscribe", {{"event_name", "PinpadNotify"}}));
    call(methodText("GetClientRunTimeDiags", {}));
    call(methodText("SendToDLL",
                    {{"RegisterForPosDirectEntryPoint",
                      "<MerchantNumber>70</MerchantNumber><DllName>Klarna</DllName>"}},
                    "<OTHER_DLL_DESTINATION>VortaxisMasterGui</OTHER_DLL_DESTINATION>"));
    EXPECT_EQ(replyElement().childText("Result"), "00");

    EXPECT_TRUE(host.command("RefreshSettings", {}, problem)) << problem;
    const sim::XmlParseResult refresh = sim::parseXml(module.received.back());
    EXPECT_TRUE(refresh.root.has("VORTAXIS_EVENT")) << "delivered in the container of its filter";
    EXPECT_TRUE(host.pinpadOnline("1", problem)) << problem;
    EXPECT_EQ(lastDelivered().childText("PinpadOnline"), "1");
    EXPECT_TRUE(host.posTransaction({{"TxnType", "P"}, {"AmtPurchase", "1250"}}, problem))
        << problem;
    const XmlElement pos = lastDelivered();
    EXPECT_EQ(pos.name, "PosDirectEntryPoint");
    ASSERT_FALSE(pos.children.empty());
    EXPECT_EQ(pos.children.front().name, "DoTransaction");
    EXPECT_EQ(pos.children.front().childText("OriginalSource"), "POS");
    EXPECT_EQ(pos.childText("VORTAXIS_METHOD"), "DoTransaction");
}

TEST_F(HostTest, TimerFollowsTheDelayTheHandlerReturns) {
    std::vector<sim::Millis> triggers;
    module.onMessage = [&](const std::string&) {
        triggers.push_back(queue.now());
        return triggers.size() == 1 ? 60000 : 0;
    };
    call(methodText("SetTimer", {{"Interval", "5000"}}));
    EXPECT_FALSE(queue.hasForeground()) << "the timer alone does not keep a run going";
    for (int i = 0; i < 3; ++i) {
        queue.runNext();
    }
    EXPECT_EQ(triggers, (std::vector<sim::Millis>{5000, 65000, 70000}));
}

TEST_F(HostTest, JournalEntriesAndAnswersToThePosAreEventsNotMethods) {
    call("<VORTAXIS_BRIDGE><VORTAXIS_DESTINATION>JOURNAL_FILE</"
         "VORTAXIS_DESTINATION><VORTAXIS_SOURCE>Klarna"
         "</VORTAXIS_SOURCE><VORTAXIS_EVENT><AddJournal><jnl_entry>F00M070</"
         "jnl_entry><jnl_toEMS>1</jnl_toEMS>"
         "</AddJournal></VORTAXIS_EVENT></VORTAXIS_BRIDGE>");
    call("<VORTAXIS_BRIDGE><VORTAXIS_SOURCE>Klarna</VORTAXIS_SOURCE><VORTAXIS_DESTINATION>POS"
         "</VORTAXIS_DESTINATION><VORTAXIS_EVENT><GetLastReceiptEvent><ResponseCode>E1</"
         "ResponseCode>"
         "</GetLastReceiptEvent></VORTAXIS_EVENT></VORTAXIS_BRIDGE>");
    ASSERT_EQ(record.journal.size(), 1u);
    EXPECT_EQ(record.journal[0], "F00M070");
    ASSERT_EQ(record.posEvents.size(), 1u);
    EXPECT_EQ(record.posEvents[0].name, "GetLastReceiptEvent");
    EXPECT_TRUE(record.violations.empty());
}

TEST_F(HostTest, StartTransactionEventEchoesTheTransactionFirst) {
    call(methodText(
        "DllStartTransaction",
        {{"DoTransaction",
          "<TxnRef>R1</TxnRef><ReturnEventName>DllStartTransactionEvent</ReturnEventName>"}}));
    EXPECT_TRUE(module.received.empty());
    runAll();
    const XmlElement event = lastDelivered();
    EXPECT_EQ(event.name, "DllStartTransactionEvent");
    ASSERT_FALSE(event.children.empty());
    EXPECT_EQ(event.children.front().name, "DoTransaction");
    EXPECT_EQ(event.children.front().childText("TxnRef"), "R1");
}

} // namespace
