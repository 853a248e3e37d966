#include "host/host_methods.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/debug_capture.h"
#include "tests/support/element_fields.h"
#include "tests/support/recording_host.h"

namespace {

std::vector<std::string> namesOf(const xmlNode& element) {
    std::vector<std::string> names;
    for (const xmlNode& child : element.children) {
        names.push_back(child.name);
    }
    return names;
}

const xmlNode& childNamed(const xmlNode& parent, const std::string& name) {
    const int index = parent.findChild(name);
    EXPECT_GE(index, 0) << "no child " << name;
    static const xmlNode none;
    return index < 0 ? none : parent.child(index);
}

Handler counting(int& calls, std::int32_t result = 1) {
    return [&calls, result](xmlDoc&, xmlNode&, std::string&) {
        ++calls;
        return result;
    };
}

class HostMethodsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host.connect(bridge);
        bridge.sourceName = "Klarna";
    }

    HostBridge bridge;
    RecordingHost host;
};

// --- Request layout -------------------------------------------------------

struct LayoutCase {
    const char* label;
    std::function<void(HostBridge&)> send;
    const char* method;
    Fields parameters;
};

std::vector<LayoutCase> layoutCases() {
    const auto none = Handler();
    return {
        {"StartSession",
         [](HostBridge& b) { startSession(b); },
         "StartSession",
         {{"SessionTimeout", "200"}}},
        {"EndSession", [](HostBridge& b) { endSession(b); }, "EndSession", {}},
        {"CancelCurrentCommand",
         [](HostBridge& b) { cancelCurrentCommand(b); },
         "CancelCurrentCommand",
         {}},
        {"ClosePosDisplay", [](HostBridge& b) { closePosDisplay(b); }, "ClosePosDisplay", {}},
        {"SetTimer",
         [none](HostBridge& b) { setTimer(b, none); },
         "SetTimer",
         {{"Interval", "5000"}}},
        {"GetPinpadDetails", [](HostBridge& b) { getPinpadDetails(b); }, "GetPinpadDetails", {}},
        {"GetClientRunTimeDiags",
         [](HostBridge& b) { getClientRunTimeDiags(b); },
         "GetClientRunTimeDiags",
         {}},
        {"SetVariable",
         [](HostBridge& b) { setVariable(b, "LAST_TXN", "<a> & b"); },
         "SetVariable",
         {{"VariableName", "LAST_TXN"}, {"Value", "<a> & b"}}},
        {"GetVariable",
         [](HostBridge& b) { getVariable(b, "TOKEN", "none"); },
         "GetVariable",
         {{"VariableName", "TOKEN"}, {"Default", "none"}}},
        {"GetLaneInfoVariable",
         [](HostBridge& b) { getLaneInfoVariable(b, "LANE", ""); },
         "GetLaneInfoVariable",
         {{"VariableName", "LANE"}, {"Default", ""}}},
        {"Trace",
         [](HostBridge& b) { trace(b, "Updating Settings"); },
         "Trace",
         {{"TraceData", "Updating Settings"}}},
        {"EventSubscribe",
         [none](HostBridge& b) { eventSubscribe(b, "PinpadNotify", none); },
         "EventSubscribe",
         {{"event_name", "PinpadNotify"}}},
        {"DisplayOnPinpad",
         [](HostBridge& b) {
             displayOnPinpad(b, RecordingHost::element("x", {{"line1", "A"}, {"line2", "B"}}));
         },
         "DisplayOnPinpad",
         {{"line1", "A"}, {"line2", "B"}}},
        {"WaitForKeyPress",
         [none](HostBridge& b) {
             waitForKeyPress(b, RecordingHost::element("x", {{"Timeout", "10"}}), none);
         },
         "WaitForKeyPress",
         {{"Timeout", "10"}}},
        {"PrintReceipt",
         [none](HostBridge& b) {
             printReceipt(b, RecordingHost::element("x", {{"Receipt", "R"}}), none);
         },
         "PrintReceipt",
         {{"Receipt", "R"}}},
        {"GetButtonMenuFromPinpad",
         [none](HostBridge& b) {
             getButtonMenuFromPinpad(b, RecordingHost::element("x", {{"Heading", "H"}}), none);
         },
         "GetButtonMenuFromPinpad",
         {{"Heading", "H"}}},
        {"GetMultiLineFromPinpad",
         [none](HostBridge& b) {
             getMultiLineFromPinpad(b, RecordingHost::element("x", {{"Heading", "H"}}), none);
         },
         "GetMultiLineFromPinpad",
         {{"Heading", "H"}}},
        {"SendHostMessage",
         [none](HostBridge& b) {
             sendHostMessage(b, RecordingHost::element("x", {{"MsgType", "200"}}), none);
         },
         "SendHostMessage",
         {{"MsgType", "200"}}},
        {"DllApplicationStatusUpdate",
         [](HostBridge& b) {
             xmlNode status = RecordingHost::element("s", {{"AppName", "Klarna"}});
             dllApplicationStatusUpdate(b, status);
         },
         "DllApplicationStatusUpdate",
         {{"AppName", "Klarna"}, {"DllName", "Klarna"}}},
    };
}

TEST_F(HostMethodsTest, EachMethodSendsItsEnvelopeAndParametersInOrder) {
    for (const LayoutCase& row : layoutCases()) {
        SCOPED_TRACE(row.label);
        host.clear();
        row.send(bridge);
        ASSERT_EQ(host.requests().size(), 1u);
        const RecordingHost::Request& request = host.last();
        EXPECT_EQ(request.text.rfind("<?xml version=\"1.0\" ?>\r\n<VORTAXIS_BRIDGE>", 0), 0u);
        EXPECT_EQ(request.document.name, "VORTAXIS_BRIDGE");
        EXPECT_EQ(fieldsOf(request.document),
                  (Fields{{"VORTAXIS_SOURCE", "Klarna"},
                          {"VORTAXIS_DESTINATION", "VORTAXIS_DLL_HANDLER"},
                          {"VORTAXIS_METHOD", ""}}));
        EXPECT_EQ(request.document.child(2).children.size(), 1u);
        EXPECT_EQ(request.methodName(), row.method);
        EXPECT_EQ(fieldsOf(request.element()), row.parameters);
        EXPECT_EQ(request.hostContext, host.context());
    }
}

// --- Return events ------------------------------------------------------

struct ReturnEventCase {
    const char* label;
    std::function<void(HostBridge&, Handler)> send;
    const char* event;
    bool registeredBeforeSend;
};

std::vector<ReturnEventCase> returnEventCases() {
    const xmlNode element = RecordingHost::element("x", {{"Name", "Klarna_Purchase"}});
    return {
        {"SetTimer", [](HostBridge& b, Handler h) { setTimer(b, h); }, "TimerTrigger", true},
        {"WaitForKeyPress", [element](HostBridge& b, Handler h) { waitForKeyPress(b, element, h); },
         "WaitForKeyPressEvent", true},
        {"PrintReceipt", [element](HostBridge& b, Handler h) { printReceipt(b, element, h); },
         "PrintReceiptEvent", true},
        {"GetButtonMenuFromPinpad",
         [element](HostBridge& b, Handler h) { getButtonMenuFromPinpad(b, element, h); },
         "GetButtonMenuFromPinpadEvent", true},
        {"GetMultiLineFromPinpad",
         [element](HostBridge& b, Handler h) { getMultiLineFromPinpad(b, element, h); },
         "GetMultiLineFromPinpadEvent", true},
        {"SendHostMessage", [element](HostBridge& b, Handler h) { sendHostMessage(b, element, h); },
         "HostReceiveEvent", true},
        {"EventSubscribe", [](HostBridge& b, Handler h) { eventSubscribe(b, "PinpadNotify", h); },
         "PinpadNotify", false},
        {"DllStartTransaction",
         [element](HostBridge& b, Handler h) {
             xmlNode transaction = element;
             dllStartTransaction(b, transaction, h);
         },
         "DllStartTransactionEvent", false},
        {"RegisterForPosDirectEntryPoint",
         [](HostBridge& b, Handler h) { registerForPosDirectEntryPoint(b, h, "70"); },
         "PosDirectEntryPoint", false},
        {"AddDllEntryPoint",
         [element](HostBridge& b, Handler h) {
             xmlNode entry = element;
             addDllEntryPoint(b, entry, h);
         },
         "Klarna_Purchase", false},
    };
}

TEST_F(HostMethodsTest, ReturnEventHandlersAreRegisteredBeforeOrAfterTheSend) {
    // A request the host refuses is never answered by its event: when that
    // event answers the request itself, the handler gets the failure at once.
    const std::set<std::string> answeredAtOnce = {
        "WaitForKeyPressEvent", "PrintReceiptEvent", "GetButtonMenuFromPinpadEvent",
        "GetMultiLineFromPinpadEvent", "DllStartTransactionEvent"};
    DebugCapture debug;
    for (const ReturnEventCase& row : returnEventCases()) {
        SCOPED_TRACE(row.label);
        bridge.handlers.clear();
        std::vector<bool> registeredDuringSend;
        host.respondWith([&](const RecordingHost::Request&) {
            registeredDuringSend.push_back(bridge.handlers.count(row.event) == 1);
            return RecordingHost::Answer{-5, ""};
        });
        int calls = 0;
        std::vector<std::string> results;
        row.send(bridge, [&](xmlDoc&, xmlNode& event, std::string&) {
            ++calls;
            results.push_back(event.name + " " + event.getChildText("Result", ""));
            return 1;
        });
        ASSERT_FALSE(registeredDuringSend.empty());
        EXPECT_EQ(registeredDuringSend.back(), row.registeredBeforeSend);
        const bool atOnce = answeredAtOnce.count(row.event) == 1;
        EXPECT_EQ(results, atOnce ? std::vector<std::string>{std::string(row.event) + " X2"}
                                  : std::vector<std::string>{});
        EXPECT_EQ(debug.all().find("refused by the host (-5), answered as failed: " +
                                   std::string(row.event)) != std::string::npos,
                  atOnce);
        // Registered whatever the host's result was.
        ASSERT_EQ(bridge.handlers.count(row.event), 1u);
        xmlDoc document;
        xmlNode element;
        std::string reply;
        const int before = calls;
        bridge.handlers[row.event].handler(document, element, reply);
        EXPECT_EQ(calls, before + 1);
    }
}

TEST_F(HostMethodsTest, OperationsWithAHostResultPassItOn) {
    const xmlNode element = RecordingHost::element("x", {});
    const std::vector<std::pair<const char*, std::function<std::int32_t()>>> cases = {
        {"StartSession", [&] { return startSession(bridge); }},
        {"SetTimer", [&] { return setTimer(bridge, Handler()); }},
        {"WaitForKeyPress", [&] { return waitForKeyPress(bridge, element, Handler()); }},
        {"PrintReceipt", [&] { return printReceipt(bridge, element, Handler()); }},
        {"GetButtonMenu", [&] { return getButtonMenuFromPinpad(bridge, element, Handler()); }},
        {"GetMultiLine", [&] { return getMultiLineFromPinpad(bridge, element, Handler()); }},
        {"SendHostMessage", [&] { return sendHostMessage(bridge, element, Handler()); }},
        {"AddJournal", [&] { return addJournal(bridge, "entry"); }},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.first);
        host.queue({42, ""});
        EXPECT_EQ(row.second(), 42);
        host.queue({-3, ""});
        EXPECT_EQ(row.second(), -3);
    }
}

TEST_F(HostMethodsTest, WithoutACallbackNothingIsSentAndRepliesReadEmpty) {
    HostBridge unconnected;
    unconnected.replyBuffer.assign(unconnected.replyBuffer.size(), 'x');
    EXPECT_EQ(startSession(unconnected), hostNotConnected);
    EXPECT_EQ(addJournal(unconnected, "j"), hostNotConnected);
    EXPECT_EQ(getVariable(unconnected, "TOKEN", "fallback"), "fallback");
    EXPECT_TRUE(getPinpadDetails(unconnected).children.empty());
    EXPECT_EQ(getClientRunTimeDiags(unconnected), "");
    EXPECT_EQ(unconnected.replyLength, 0);
    EXPECT_TRUE(host.requests().empty());
}

// --- Replies ------------------------------------------------------------

TEST_F(HostMethodsTest, GetVariableReadsVarResultOrFallsBackToTheDefault) {
    struct Case {
        const char* label;
        std::string reply;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"no Var_result", RecordingHost::eventReply("GetVariable", {{"Other", "x"}}), "dflt"},
        {"empty reply event", RecordingHost::eventReply("GetVariable", {}), "dflt"},
        {"Var_result", RecordingHost::eventReply("GetVariable", {{"Var_result", "abc"}}), "abc"},
        {"empty Var_result", RecordingHost::eventReply("GetVariable", {{"Var_result", ""}}), ""},
        {"no event container", "<VORTAXIS_BRIDGE><X><Var_result>abc</Var_result></X>", "dflt"},
        {"empty event container", "<B><VORTAXIS_EVENT></VORTAXIS_EVENT></B>", "dflt"},
        {"no reply", "", "dflt"},
        {"noise", "\x01\xff<<>>&#;", "dflt"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.label);
        host.queue({0, row.reply});
        EXPECT_EQ(getVariable(bridge, "TOKEN", "dflt"), row.expected);
        host.queue({0, row.reply});
        EXPECT_EQ(getLaneInfoVariable(bridge, "TOKEN", "dflt"), row.expected);
    }
}

TEST_F(HostMethodsTest, PinpadDetailsAreTheReplyEventElement) {
    host.queue({0, RecordingHost::eventReply("GetPinpadDetails", {{"CanShowQR", "1"}})});
    const xmlNode details = getPinpadDetails(bridge);
    EXPECT_EQ(details.name, "GetPinpadDetails");
    EXPECT_EQ(details.getChildText("CanShowQR", ""), "1");
}

TEST_F(HostMethodsTest, MasterGuiNameIsAskedOnceWhenTheHostNamesIt) {
    host.answer("GetClientRunTimeDiags",
                {0, RecordingHost::eventReply("Diags", {{"MasterGuiName", "MainGui"}})});
    EXPECT_EQ(getClientRunTimeDiags(bridge), "MainGui");
    EXPECT_EQ(getClientRunTimeDiags(bridge), "MainGui");
    EXPECT_EQ(host.count("GetClientRunTimeDiags"), 1u);
}

TEST_F(HostMethodsTest, AnEmptyMasterGuiNameIsAskedForAgain) {
    host.answer("GetClientRunTimeDiags", {0, RecordingHost::eventReply("Diags", {})});
    EXPECT_EQ(getClientRunTimeDiags(bridge), "");
    EXPECT_EQ(getClientRunTimeDiags(bridge), "");
    EXPECT_EQ(host.count("GetClientRunTimeDiags"), 2u);
}

// --- Reply buffer growth ------------------------------------------------

TEST_F(HostMethodsTest, TooSmallReplyBufferGrowsAndTheSameTextIsResent) {
    host.queue({-181, ""});
    host.queue({-181, ""});
    host.queue({7, ""});
    EXPECT_EQ(startSession(bridge), 7);
    ASSERT_EQ(host.requests().size(), 3u);
    EXPECT_EQ(host.requests()[0].capacity, 150000);
    EXPECT_EQ(host.requests()[1].capacity, 250000);
    EXPECT_EQ(host.requests()[2].capacity, 350000);
    EXPECT_EQ(host.requests()[1].text, host.requests()[0].text);
    EXPECT_EQ(host.requests()[2].text, host.requests()[0].text);
    EXPECT_EQ(bridge.replyCapacity, 350000);
    EXPECT_EQ(bridge.replyBuffer.size(), 350000u);
    // The grown buffer is kept for the next request.
    startSession(bridge);
    EXPECT_EQ(host.last().capacity, 350000);
}

TEST_F(HostMethodsTest, ALargeReplyIsReadAfterTheBufferGrew) {
    const std::string big(200000, 'v');
    host.answer("GetVariable",
                {0, RecordingHost::eventReply("GetVariable", {{"Var_result", big}})});
    EXPECT_EQ(getVariable(bridge, "LAST_RECEIPT", ""), big);
    ASSERT_EQ(host.requests().size(), 2u);
    EXPECT_EQ(host.requests()[1].capacity, 250000);
}

TEST_F(HostMethodsTest, ReplyBufferGrowthStopsAtItsCeiling) {
    EXPECT_EQ(bridge.replyCapacityLimit, 16 * 1024 * 1024);
    DebugCapture debug;
    bridge.replyCapacityLimit = 520000;
    host.respondWith([](const RecordingHost::Request&) { return RecordingHost::Answer{-181, ""}; });
    EXPECT_EQ(startSession(bridge), hostReplyTooSmall);
    std::vector<std::int32_t> capacities;
    for (const RecordingHost::Request& request : host.requests()) {
        capacities.push_back(request.capacity);
    }
    EXPECT_EQ(capacities, (std::vector<std::int32_t>{150000, 250000, 350000, 450000}));
    EXPECT_EQ(bridge.replyCapacity, 450000);
    EXPECT_EQ(bridge.replyLength, 0);
    EXPECT_NE(debug.all().find("request abandoned"), std::string::npos);
    // A reading operation then sees no reply; the buffer stays usable.
    EXPECT_EQ(getVariable(bridge, "TOKEN", "d"), "d");
    host.respondWith(nullptr);
    host.queue({0, RecordingHost::eventReply("GetVariable", {{"Var_result", "abc"}})});
    EXPECT_EQ(getVariable(bridge, "TOKEN", "d"), "abc");
}

TEST_F(HostMethodsTest, ReplyBufferReachesExactlyItsCeiling) {
    bridge.replyCapacityLimit = 450000;
    host.queue({-181, ""});
    host.queue({-181, ""});
    host.queue({-181, ""});
    EXPECT_EQ(startSession(bridge), 0);
    EXPECT_EQ(host.last().capacity, 450000);
}

// --- Methods with their own rules ---------------------------------------

TEST_F(HostMethodsTest, RegisterForPosDirectEntryPointGoesToTheMainModule) {
    host.answer("GetClientRunTimeDiags",
                {0, RecordingHost::eventReply("Diags", {{"MasterGuiName", "MainGui"}})});
    registerForPosDirectEntryPoint(bridge, Handler(), "70");
    ASSERT_EQ(host.methodNames(), (std::vector<std::string>{"GetClientRunTimeDiags", "SendToDLL"}));
    const RecordingHost::Request& request = host.last();
    EXPECT_EQ(fieldsOf(request.document), (Fields{{"VORTAXIS_SOURCE", "Klarna"},
                                                  {"VORTAXIS_DESTINATION", "VORTAXIS_DLL_HANDLER"},
                                                  {"OTHER_DLL_DESTINATION", "MainGui"},
                                                  {"VORTAXIS_METHOD", ""}}));
    ASSERT_EQ(namesOf(request.element()),
              (std::vector<std::string>{"RegisterForPosDirectEntryPoint"}));
    EXPECT_EQ(fieldsOf(request.element().child(0)),
              (Fields{{"MerchantNumber", "70"}, {"DllName", "Klarna"}}));
}

TEST_F(HostMethodsTest, SendToDllCopiesTheReplyEventIntoTheReplyElement) {
    host.queue({3, RecordingHost::eventReply("Answer", {{"Status", "OK"}})});
    xmlNode reply;
    reply.name = "MyReply";
    EXPECT_EQ(sendToDll(bridge, RecordingHost::element("Ask", {{"Q", "1"}}), reply, "Other"), 3);
    EXPECT_EQ(reply.name, "MyReply");
    EXPECT_EQ(fieldsOf(reply), (Fields{{"Status", "OK"}}));

    xmlNode untouched = RecordingHost::element("Keep", {{"K", "v"}});
    host.queue({0, "<B><X/></B>"});
    sendToDll(bridge, RecordingHost::element("Ask", {}), untouched, "Other");
    EXPECT_EQ(fieldsOf(untouched), (Fields{{"K", "v"}}));
}

TEST_F(HostMethodsTest, DisplayOnPosWritesDialogFieldsOnlyWhenOptionsAreGiven) {
    struct Case {
        const char* label;
        xmlNode options;
        Fields expected;
    };
    const Fields caller = {{"line1", "PROCESSING"}, {"line2", "PLEASE WAIT"}};
    auto with = [&caller](Fields dialog) {
        Fields all = caller;
        all.insert(all.end(), dialog.begin(), dialog.end());
        return all;
    };
    const std::vector<Case> cases = {
        {"no options", xmlNode(), caller},
        {"title only", RecordingHost::element("o", {{"DialogTitle", "X"}}),
         with({{"DialogX", "0000"},
               {"DialogY", "0000"},
               {"DialogTitle", "X"},
               {"DialogTopMost", "1"},
               {"DialogType", "Standard"},
               {"DialogPosition", "MC"}})},
        {"all given",
         RecordingHost::element("o", {{"DialogPosition", "TL"},
                                      {"DialogType", "Big"},
                                      {"EnableTopMost", " 0"},
                                      {"DialogY", "0200"},
                                      {"DialogX", "0100"}}),
         with({{"DialogX", "0100"},
               {"DialogY", "0200"},
               {"DialogTitle", ""},
               {"DialogTopMost", "0"},
               {"DialogType", "Big"},
               {"DialogPosition", "TL"}})},
        {"unreadable top-most", RecordingHost::element("o", {{"EnableTopMost", "yes"}}),
         with({{"DialogX", "0000"},
               {"DialogY", "0000"},
               {"DialogTitle", ""},
               {"DialogTopMost", "1"},
               {"DialogType", "Standard"},
               {"DialogPosition", "MC"}})},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.label);
        xmlNode element = RecordingHost::element("pos", caller);
        displayOnPos(bridge, element, row.options);
        EXPECT_EQ(host.last().methodName(), "DisplayOnPos");
        EXPECT_EQ(fieldsOf(host.last().element()), row.expected);
        EXPECT_EQ(element.name, "DisplayOnPos");
    }
}

TEST_F(HostMethodsTest, AddJournalIsAnEventToTheJournalFile) {
    addJournal(bridge, "Klarna Purchase 10.00");
    const RecordingHost::Request& request = host.last();
    EXPECT_EQ(fieldsOf(request.document), (Fields{{"VORTAXIS_DESTINATION", "JOURNAL_FILE"},
                                                  {"VORTAXIS_SOURCE", "Klarna"},
                                                  {"VORTAXIS_EVENT", ""}}));
    EXPECT_EQ(request.methodName(), "AddJournal");
    EXPECT_EQ(fieldsOf(request.element()),
              (Fields{{"jnl_entry", "Klarna Purchase 10.00"}, {"jnl_toEMS", "1"}}));
}

TEST_F(HostMethodsTest, AddDllEntryPointFillsNamesAndRegistersTheEntryPoint) {
    struct Case {
        const char* label;
        Fields given;
        const char* dllName;
        const char* appName;
    };
    const std::vector<Case> cases = {
        {"neither", {{"Name", "Klarna_Purchase"}}, "Klarna", "Klarna"},
        {"both empty",
         {{"Name", "Klarna_Purchase"}, {"DllName", ""}, {"AppName", ""}},
         "Klarna",
         "Klarna"},
        {"own DllName", {{"Name", "Klarna_Purchase"}, {"DllName", "Other"}}, "Other", "Other"},
        {"own AppName", {{"Name", "Klarna_Purchase"}, {"AppName", "App"}}, "Klarna", "App"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.label);
        bridge.entryPoints.clear();
        int calls = 0;
        xmlNode element = RecordingHost::element("e", row.given);
        element.text = "origin text";
        addDllEntryPoint(bridge, element, counting(calls));
        EXPECT_EQ(host.last().methodName(), "AddDllEntryPoint");
        EXPECT_EQ(host.last().element().getChildText("DllName", "?"), row.dllName);
        EXPECT_EQ(host.last().element().getChildText("AppName", "?"), row.appName);
        ASSERT_EQ(bridge.entryPoints.count("Klarna_Purchase"), 1u);
        EXPECT_EQ(bridge.entryPoints["Klarna_Purchase"].origin, "origin text");
        EXPECT_EQ(bridge.handlers.count("Klarna_Purchase"), 1u);
    }
}

TEST_F(HostMethodsTest, AddDllEntryPointWithAFunctionNumberInterceptsThatPinpadFunction) {
    int calls = 0;
    xmlNode element =
        RecordingHost::element("e", {{"Name", "Klarna_Refund"}, {"FunctionNumber", "7"}});
    element.text = "refund origin";
    addDllEntryPoint(bridge, element, counting(calls));
    ASSERT_EQ(host.methodNames(), (std::vector<std::string>{"InterceptSet", "AddDllEntryPoint"}));
    const xmlNode& intercept = host.requests()[0].element();
    ASSERT_EQ(namesOf(intercept), (std::vector<std::string>{"VORTAXIS_BRIDGE"}));
    const xmlNode& filter = intercept.child(0);
    EXPECT_EQ(fieldsOf(filter), (Fields{{"VORTAXIS_SOURCE", "PINPAD"},
                                        {"VORTAXIS_DESTINATION", "VORTAXIS_DEBUG_HANDLER"},
                                        {"VORTAXIS_EVENT", ""}}));
    const xmlNode& csd = childNamed(childNamed(filter, "VORTAXIS_EVENT"), "CsdReserved3");
    EXPECT_EQ(fieldsOf(csd), (Fields{{"DataField", "FUNCTION=7"}}));
    ASSERT_EQ(bridge.entryPoints.count("FUNCTION=7"), 1u);
    EXPECT_EQ(bridge.entryPoints["FUNCTION=7"].origin, "refund origin");
    EXPECT_EQ(bridge.entryPoints.count("Klarna_Refund"), 1u);
}

TEST_F(HostMethodsTest, AddDllEntryPointWithoutHandlerOrNameRegistersNothing) {
    xmlNode noHandler = RecordingHost::element("e", {{"Name", "A"}, {"FunctionNumber", "3"}});
    addDllEntryPoint(bridge, noHandler, Handler());
    int calls = 0;
    xmlNode noName = RecordingHost::element("e", {{"Name", ""}});
    addDllEntryPoint(bridge, noName, counting(calls));
    EXPECT_EQ(host.count("AddDllEntryPoint"), 2u);
    EXPECT_TRUE(bridge.entryPoints.empty());
    EXPECT_TRUE(bridge.handlers.empty());
}

TEST_F(HostMethodsTest, InterceptSetSendsACopyOfTheFilterRoot) {
    xmlDoc filter;
    filter.name = "VORTAXIS_BRIDGE";
    filter.getChild("VORTAXIS_SOURCE");
    filter.getChild("VORTAXIS_METHOD")
        .getChild("DoReprintReceipt")
        .getChild("Merchant")
        .setText("70");
    interceptSet(bridge, filter);
    const xmlNode& method = host.last().element();
    EXPECT_EQ(host.last().methodName(), "InterceptSet");
    ASSERT_EQ(namesOf(method), (std::vector<std::string>{"VORTAXIS_BRIDGE"}));
    EXPECT_EQ(namesOf(method.child(0)),
              (std::vector<std::string>{"VORTAXIS_SOURCE", "VORTAXIS_METHOD"}));
    const xmlNode& command =
        childNamed(childNamed(method.child(0), "VORTAXIS_METHOD"), "DoReprintReceipt");
    EXPECT_EQ(fieldsOf(command), (Fields{{"Merchant", "70"}}));
}

TEST_F(HostMethodsTest, DllStartTransactionKeepsAnOriginalProcessorItWasGiven) {
    struct Case {
        const char* label;
        Fields given;
        Fields sent;
    };
    const std::vector<Case> cases = {
        {"none given",
         {{"TxnRef", "R1"}, {"AmtPurchase", "1000"}},
         {{"TxnRef", "R1"},
          {"AmtPurchase", "1000"},
          {"OriginalProcessor", "Klarna"},
          {"ReturnEventName", "DllStartTransactionEvent"}}},
        {"own processor",
         {{"OriginalProcessor", "POS"}, {"TxnRef", "R2"}},
         {{"OriginalProcessor", "POS"},
          {"TxnRef", "R2"},
          {"ReturnEventName", "DllStartTransactionEvent"}}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.label);
        xmlNode transaction = RecordingHost::element("Transaction", row.given);
        dllStartTransaction(bridge, transaction, Handler());
        const xmlNode& method = host.last().element();
        EXPECT_EQ(host.last().methodName(), "DllStartTransaction");
        ASSERT_EQ(namesOf(method), (std::vector<std::string>{"Transaction"}));
        EXPECT_EQ(fieldsOf(method.child(0)), row.sent);
        EXPECT_EQ(fieldsOf(transaction), row.sent);
    }
}

TEST_F(HostMethodsTest, DllEndTransactionWrapsTheEventAndOverwritesItsProcessor) {
    xmlNode event = RecordingHost::element("TransactionEvent",
                                           {{"OriginalProcessor", "POS"}, {"ResponseCode", "00"}});
    dllEndTransaction(bridge, event);
    const xmlNode& method = host.last().element();
    EXPECT_EQ(host.last().methodName(), "DllEndTransaction");
    ASSERT_EQ(namesOf(method), (std::vector<std::string>{"VORTAXIS_EVENT"}));
    const xmlNode& sent = childNamed(method.child(0), "TransactionEvent");
    EXPECT_EQ(fieldsOf(sent), (Fields{{"OriginalProcessor", "Klarna"}, {"ResponseCode", "00"}}));
}

TEST_F(HostMethodsTest, TheLatestWaitForKeyPressHandlerServesTheNextEvent) {
    int first = 0;
    int second = 0;
    const xmlNode keys = RecordingHost::element("k", {{"Timeout", "10"}});
    waitForKeyPress(bridge, keys, counting(first, 5));
    waitForKeyPress(bridge, keys, counting(second, 6));
    const auto delivery =
        RecordingHost::deliver(bridge, RecordingHost::eventMessage(RecordingHost::element(
                                           "WaitForKeyPressEvent", {{"Result", "00"}})));
    EXPECT_EQ(delivery.result, 6);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
}

} // namespace
