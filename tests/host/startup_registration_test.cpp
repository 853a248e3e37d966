#include "host/startup_registration.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/entry_points.h"
#include "host/filter_envelope.h"
#include "tests/support/element_fields.h"
#include "tests/support/recording_host.h"

namespace {

std::vector<std::string> childNames(const xmlNode& element) {
    std::vector<std::string> names;
    for (const xmlNode& child : element.children) {
        names.push_back(child.name);
    }
    return names;
}

const std::vector<std::string> settingKeys = {"TERMINAL_REF_NUM",
                                              "MERCHANT_ID",
                                              "STORE_ID",
                                              "LANE_ID",
                                              "BRAND",
                                              "MIN_CARD_LENGTH",
                                              "MAX_CARD_LENGTH",
                                              "TIMEOUT_RESPONSE",
                                              "REVERSAL_ON_SALE",
                                              "REVERSAL_TIMER",
                                              "INPUT_TIMEOUT",
                                              "HOST_ID",
                                              "PAYMENT_MODE",
                                              "QR_CODE_ERROR_CORRECTION",
                                              "QR_CODE_HEADING",
                                              "QR_CODE_SUBTITLE",
                                              "RETRY_LIMIT"};

std::vector<std::string> registrationRequests() {
    std::vector<std::string> names = {"AddDllEntryPoint",      "AddDllEntryPoint",
                                      "AddDllEntryPoint",      "DllApplicationStatusUpdate",
                                      "GetClientRunTimeDiags", "SendToDLL",
                                      "EventSubscribe",        "InterceptSet",
                                      "InterceptSet",          "InterceptSet",
                                      "InterceptSet",          "SetTimer"};
    names.insert(names.end(), settingKeys.size(), "GetVariable");
    return names;
}

// A host that answers variable reads from a map and names its main
// interface module; every other request gets hostResult.
class StartupRegistrationTest : public ::testing::Test {
  protected:
    StartupRegistrationTest() {
        host.connect(bridge);
        host.respondWith([this](const RecordingHost::Request& request) { return answer(request); });
        // Identifiers present, so no lane-information fallback is asked for.
        variables = {{"MERCHANT_ID", "M1"},
                     {"STORE_ID", "S1"},
                     {"LANE_ID", "001"},
                     {"BRAND", "Shop"},
                     {"HOST_ID", "KLARNA07"}};
    }

    RecordingHost::Answer answer(const RecordingHost::Request& request) const {
        const xmlNode& element = request.element();
        RecordingHost::Parameters parameters;
        if (element.name == "GetVariable") {
            const auto found = variables.find(element.getChildText("VariableName", ""));
            if (found != variables.end()) {
                parameters.emplace_back("Var_result", found->second);
            }
            return {0, RecordingHost::eventReply(element.name, parameters)};
        }
        if (element.name == "GetClientRunTimeDiags" && !guiName.empty()) {
            parameters.emplace_back("MasterGuiName", guiName);
            return {0, RecordingHost::eventReply(element.name, parameters)};
        }
        return {hostResult, ""};
    }

    std::vector<const RecordingHost::Request*> requestsFor(const std::string& method) const {
        std::vector<const RecordingHost::Request*> found;
        for (const RecordingHost::Request& request : host.requests()) {
            if (request.methodName() == method) {
                found.push_back(&request);
            }
        }
        return found;
    }

    RecordingHost::Delivery deliverEvent(const std::string& name,
                                         const RecordingHost::Parameters& parameters) {
        return RecordingHost::deliver(
            bridge, RecordingHost::eventMessage(RecordingHost::element(name, parameters)));
    }

    RecordingHost host;
    HostBridge bridge;
    QuenKlarna extension{bridge};
    std::map<std::string, std::string> variables;
    std::string guiName;
    std::int32_t hostResult = 0;
};

TEST_F(StartupRegistrationTest, SendsEveryRequestInItsFixedOrderWhateverTheHostAnswers) {
    for (const std::int32_t result : {0, -1, 7}) {
        SCOPED_TRACE(result);
        HostBridge freshBridge;
        QuenKlarna freshExtension(freshBridge);
        host.connect(freshBridge);
        host.clear();
        hostResult = result;
        runStartupRegistration(freshBridge, freshExtension);

        EXPECT_EQ(host.methodNames(), registrationRequests());
        for (const RecordingHost::Request& request : host.requests()) {
            EXPECT_EQ(request.document.getChildText("VORTAXIS_SOURCE", ""), "Klarna");
        }
        EXPECT_TRUE(freshBridge.defaultMethodHandler);
        EXPECT_TRUE(freshBridge.defaultEventHandler);
        EXPECT_TRUE(freshBridge.defaultNonStandardHandler);
        EXPECT_EQ(freshExtension.extensionName, "Klarna");
        EXPECT_EQ(freshBridge.handlers.count("PinpadNotify"), 1u);
        EXPECT_EQ(freshBridge.handlers.count("RefreshSettings"), 1u);
    }
}

TEST_F(StartupRegistrationTest, PaymentMenuAndButtonsCarryTheirFieldsInOrder) {
    runStartupRegistration(bridge, extension);
    const std::vector<Fields> expected = {
        {{"Name", "Klarna_PaymentMenuRoot"},
         {"Type", "PaymentMenu"},
         {"AppType", "Menu"},
         {"Merchant", "70"},
         {"PaymentMenuValidate", "Klarna_PaymentMenuValidate"},
         {"MenuHeader", "Klarna"},
         {"DllName", "Klarna"},
         {"AppName", "Klarna"}},
        {{"Name", "Klarna_Purchase"},
         {"Type", "Button"},
         {"AppType", "Payment"},
         {"Owner", "Klarna_PaymentMenuRoot"},
         {"ButtonLabel", "Purchase"},
         {"DllName", "Klarna"},
         {"AppName", "Klarna"}},
        {{"Name", "Klarna_Refund"},
         {"Type", "Button"},
         {"AppType", "Refund"},
         {"Owner", "Klarna_PaymentMenuRoot"},
         {"ButtonLabel", "Refund"},
         {"DllName", "Klarna"},
         {"AppName", "Klarna"}},
    };
    const auto entryPoints = requestsFor("AddDllEntryPoint");
    ASSERT_EQ(entryPoints.size(), expected.size());
    for (std::size_t index = 0; index < expected.size(); ++index) {
        SCOPED_TRACE(index);
        EXPECT_EQ(fieldsOf(entryPoints[index]->element()), expected[index]);
    }
}

// The host calls the method the menu names to validate a choice: it must
// reach the validation, which answers and starts nothing.
TEST_F(StartupRegistrationTest, MenuValidationMethodReachesTheValidationHandler) {
    runStartupRegistration(bridge, extension);
    host.clear();
    const auto validate = [this](const char* type) {
        xmlNode method;
        method.name = "Klarna_PaymentMenuValidate";
        method.children.push_back(RecordingHost::element("DoTransaction", {{"TxnType", type}}));
        return RecordingHost::deliver(bridge, RecordingHost::methodMessage(method)).result;
    };
    EXPECT_EQ(validate("P"), 1);
    EXPECT_EQ(validate("R"), 1);
    EXPECT_EQ(validate("C"), 0);
    EXPECT_TRUE(host.requests().empty());
    EXPECT_FALSE(extension.foreground.inProgress);
}

TEST_F(StartupRegistrationTest, ApplicationStatusPosRegistrationSubscriptionAndTimer) {
    guiName = "VortaxisGui";
    runStartupRegistration(bridge, extension);

    const Fields status = {{"AppName", "Klarna"}, {"Version", "1.0.0.0"}, {"DllName", "Klarna"}};
    EXPECT_EQ(fieldsOf(requestsFor("DllApplicationStatusUpdate").at(0)->element()), status);

    const RecordingHost::Request& pos = *requestsFor("SendToDLL").at(0);
    EXPECT_EQ(pos.document.getChildText("OTHER_DLL_DESTINATION", ""), "VortaxisGui");
    const xmlNode& forwarded = pos.element();
    ASSERT_EQ(childNames(forwarded), std::vector<std::string>{"RegisterForPosDirectEntryPoint"});
    const Fields registration = {{"MerchantNumber", "70"}, {"DllName", "Klarna"}};
    EXPECT_EQ(fieldsOf(forwarded.child(0)), registration);

    const Fields subscription = {{"event_name", "PinpadNotify"}};
    EXPECT_EQ(fieldsOf(requestsFor("EventSubscribe").at(0)->element()), subscription);
    const Fields timer = {{"Interval", "5000"}};
    EXPECT_EQ(fieldsOf(requestsFor("SetTimer").at(0)->element()), timer);
}

TEST_F(StartupRegistrationTest, InterceptsWrapEachCommandInItsFilterContainer) {
    runStartupRegistration(bridge, extension);
    struct Case {
        const char* command;
        const char* container;
    };
    const std::vector<Case> cases = {
        {"DoGetLastTransaction", "VORTAXIS_METHOD"},
        {"DoGetLastReceipt", "VORTAXIS_METHOD"},
        {"DoReprintReceipt", "VORTAXIS_METHOD"},
        {"RefreshSettings", "VORTAXIS_EVENT"},
    };
    const auto intercepts = requestsFor("InterceptSet");
    ASSERT_EQ(intercepts.size(), cases.size());
    for (std::size_t index = 0; index < cases.size(); ++index) {
        const Case& row = cases[index];
        SCOPED_TRACE(row.command);
        const xmlNode& method = intercepts[index]->element();
        ASSERT_EQ(childNames(method), std::vector<std::string>{"VORTAXIS_BRIDGE"});
        const xmlNode& filter = method.child(0);
        const Fields envelope = {
            {"VORTAXIS_SOURCE", ""}, {"VORTAXIS_DESTINATION", ""}, {row.container, ""}};
        EXPECT_EQ(fieldsOf(filter), envelope);
        const xmlNode& container = filter.child(2);
        ASSERT_EQ(childNames(container), std::vector<std::string>{row.command});
        EXPECT_EQ(fieldsOf(container.child(0)), (Fields{{"Merchant", "70"}}));
    }
}

TEST(FilterEnvelope, HoldsSourceDestinationAndADeepCopyOfTheElement) {
    xmlNode element = RecordingHost::element("Probe", {{"Merchant", "70"}});
    element.child(0).getChild("Inner").setText("deep");
    const xmlDoc filter =
        buildFilterEnvelope("PINPAD", "VORTAXIS_DEBUG_HANDLER", filterContainer::event, element);
    element.child(0).getChild("Inner").setText("changed");

    EXPECT_EQ(filter.name, "VORTAXIS_BRIDGE");
    const Fields envelope = {{"VORTAXIS_SOURCE", "PINPAD"},
                             {"VORTAXIS_DESTINATION", "VORTAXIS_DEBUG_HANDLER"},
                             {"VORTAXIS_EVENT", ""}};
    EXPECT_EQ(fieldsOf(filter), envelope);
    const xmlNode& copy = filter.child(2).child(0);
    EXPECT_EQ(copy.name, "Probe");
    EXPECT_EQ(copy.child(0).text, "70");
    EXPECT_EQ(copy.child(0).getChildText("Inner", ""), "deep");
}

TEST_F(StartupRegistrationTest, SettingsAreLoadedLast) {
    runStartupRegistration(bridge, extension);
    const std::vector<RecordingHost::Request>& sent = host.requests();
    ASSERT_GE(sent.size(), settingKeys.size());
    const std::size_t first = sent.size() - settingKeys.size();
    EXPECT_EQ(sent[first - 1].methodName(), "SetTimer");
    for (std::size_t index = 0; index < settingKeys.size(); ++index) {
        const xmlNode& read = sent[first + index].element();
        EXPECT_EQ(read.name, "GetVariable");
        EXPECT_EQ(read.getChildText("VariableName", ""), settingKeys[index]);
    }
    EXPECT_EQ(extension.settings.hostId, "KLARNA07");
    EXPECT_EQ(extension.settings.merchantId, "M1");
    EXPECT_EQ(extension.settings.reversalTimer, 120); // the load default, not the initial 300
}

TEST_F(StartupRegistrationTest, PinpadNotifySetsOrClearsTheOnlineFlagOnlyForOneOrZero) {
    EXPECT_FALSE(extension.origin.pinpadOnline);
    EXPECT_EQ(extension.origin.printerName, "PINPAD");
    runStartupRegistration(bridge, extension);
    struct Case {
        const char* label;
        RecordingHost::Parameters parameters;
        bool online;
    };
    const std::vector<Case> cases = {
        {"2 while offline", {{"PinpadOnline", "2"}}, false},
        {"1", {{"PinpadOnline", "1"}}, true},
        {"2 while online", {{"PinpadOnline", "2"}}, true},
        {"absent", {}, true},
        {"empty", {{"PinpadOnline", ""}}, true},
        {"0 with a leading space", {{"PinpadOnline", " 0"}}, true},
        {"0", {{"PinpadOnline", "0"}}, false},
        {"absent while offline", {{"Other", "1"}}, false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.label);
        host.clear();
        EXPECT_EQ(deliverEvent("PinpadNotify", row.parameters).result, 1);
        EXPECT_EQ(extension.origin.pinpadOnline, row.online);
        EXPECT_TRUE(host.requests().empty());
    }
}

TEST_F(StartupRegistrationTest, RefreshSettingsTracesThenReloads) {
    runStartupRegistration(bridge, extension);
    ASSERT_EQ(extension.settings.hostId, "KLARNA07");
    host.clear();
    variables["HOST_ID"] = "KLARNA09";
    variables["RETRY_LIMIT"] = "3";

    EXPECT_EQ(deliverEvent("RefreshSettings", {{"Merchant", "70"}}).result, 1);

    std::vector<std::string> expected = {"Trace"};
    expected.insert(expected.end(), settingKeys.size(), "GetVariable");
    EXPECT_EQ(host.methodNames(), expected);
    EXPECT_EQ(fieldsOf(host.requests().at(0).element()),
              (Fields{{"TraceData", "Updating Settings"}}));
    EXPECT_EQ(extension.settings.hostId, "KLARNA09");
    EXPECT_EQ(extension.settings.retryLimit, 3);
}

TEST_F(StartupRegistrationTest, StartupAfterShutdownRegistersEverythingAgain) {
    guiName = "VortaxisGui";
    Lifecycle lifecycle;
    StartupFields fields;
    fields.recordSize = 48;
    fields.hostContext = host.context();
    fields.versionText = "2";
    fields.sendCallback = RecordingHost::callback();

    ASSERT_EQ(startupFromFields(bridge, extension, lifecycle, fields), startupOk);
    std::vector<std::string> firstTexts;
    for (const RecordingHost::Request& request : host.requests()) {
        // The main interface module's name is asked once and then remembered.
        if (request.methodName() != "GetClientRunTimeDiags") {
            firstTexts.push_back(request.text);
        }
    }
    EXPECT_EQ(host.methodNames(), registrationRequests());

    deliverEvent("PinpadNotify", {{"PinpadOnline", "1"}});
    shutdown(lifecycle);
    host.clear();
    ASSERT_EQ(startupFromFields(bridge, extension, lifecycle, fields), startupOk);

    std::vector<std::string> secondTexts;
    for (const RecordingHost::Request& request : host.requests()) {
        secondTexts.push_back(request.text);
    }
    EXPECT_EQ(secondTexts, firstTexts);
    // The flag survives the restart, and the handlers registered again serve
    // their events.
    EXPECT_TRUE(extension.origin.pinpadOnline);
    EXPECT_EQ(deliverEvent("PinpadNotify", {{"PinpadOnline", "0"}}).result, 1);
    EXPECT_FALSE(extension.origin.pinpadOnline);
    host.clear();
    EXPECT_EQ(deliverEvent("RefreshSettings", {}).result, 1);
    EXPECT_EQ(host.count("Trace"), 1u);
}

} // namespace
