#include "host/startup_registration.h"

#include <string>
#include <utility>

#include "host/filter_envelope.h"
#include "host/host_methods.h"

namespace {

using namespace registration;

const char* const paymentMenuName = "Klarna_PaymentMenuRoot";
const char* const paymentMenuValidateName = "Klarna_PaymentMenuValidate";

void installFallbackHandlers(HostBridge& bridge, QuenKlarna& extension) {
    bridge.defaultMethodHandler = extension.handler(&QuenKlarna::onDefaultMethod);
    bridge.defaultEventHandler = extension.handler(&QuenKlarna::onDefaultEvent);
    bridge.defaultNonStandardHandler = extension.handler(&QuenKlarna::onDefaultNonStandard);
}

void nameExtension(HostBridge& bridge, QuenKlarna& extension) {
    extension.extensionName = extensionName;
    bridge.sourceName = extensionName;
}

void addField(xmlNode& element, const char* name, const char* value) {
    element.getChild(name).setText(value);
}

// The menu's validation method is registered before the host learns its
// name with the menu element.
void addPaymentMenu(HostBridge& bridge, QuenKlarna& extension) {
    xmlNode menu;
    addField(menu, "Name", paymentMenuName);
    addField(menu, "Type", "PaymentMenu");
    addField(menu, "AppType", "Menu");
    addField(menu, "Merchant", merchantNumber);
    registerHandler(bridge, paymentMenuValidateName,
                    extension.handler(&QuenKlarna::onPaymentMenuValidate));
    addField(menu, "PaymentMenuValidate", paymentMenuValidateName);
    addField(menu, "MenuHeader", extensionName);
    addDllEntryPoint(bridge, menu, extension.handler(&QuenKlarna::onPaymentMenuEntry));
}

void addMenuButton(HostBridge& bridge, const char* name, const char* appType, const char* label,
                   Handler handler) {
    xmlNode button;
    addField(button, "Name", name);
    addField(button, "Type", "Button");
    addField(button, "AppType", appType);
    addField(button, "Owner", paymentMenuName);
    addField(button, "ButtonLabel", label);
    addDllEntryPoint(bridge, button, std::move(handler));
}

void addButtons(HostBridge& bridge, QuenKlarna& extension) {
    addMenuButton(bridge, "Klarna_Purchase", "Payment", "Purchase",
                  extension.handler(&QuenKlarna::onPurchaseEntry));
    addMenuButton(bridge, "Klarna_Refund", "Refund", "Refund",
                  extension.handler(&QuenKlarna::onRefundEntry));
}

void announceApplicationStatus(HostBridge& bridge, QuenKlarna& extension) {
    extension.applicationStatus.getChild("AppName").setText(extensionName);
    extension.applicationStatus.getChild("Version").setText(extensionVersion);
    dllApplicationStatusUpdate(bridge, extension.applicationStatus);
}

void registerForPosRequests(HostBridge& bridge, QuenKlarna& extension) {
    registerForPosDirectEntryPoint(bridge, extension.handler(&QuenKlarna::onPosEntry),
                                   merchantNumber);
}

void subscribeToPinpadNotifications(HostBridge& bridge, QuenKlarna& extension) {
    eventSubscribe(bridge, "PinpadNotify", extension.handler(&QuenKlarna::onPinpadNotify));
}

// Asks the host to pass its command to this module, then registers the
// handler that serves it under the command's name.
void intercept(HostBridge& bridge, const char* command, const char* container, Handler handler) {
    xmlNode element;
    element.name = command;
    addField(element, "Merchant", merchantNumber);
    interceptSet(bridge, buildFilterEnvelope(std::string(), std::string(), container, element));
    registerHandler(bridge, command, std::move(handler));
}

void interceptHostCommands(HostBridge& bridge, QuenKlarna& extension) {
    intercept(bridge, "DoGetLastTransaction", filterContainer::method,
              extension.handler(&QuenKlarna::DoGetLastTransaction));
    intercept(bridge, "DoGetLastReceipt", filterContainer::method,
              extension.handler(&QuenKlarna::DoGetLastReceipt));
    intercept(bridge, "DoReprintReceipt", filterContainer::method,
              extension.handler(&QuenKlarna::DoReprintReceipt));
    intercept(bridge, "RefreshSettings", filterContainer::event,
              extension.handler(&QuenKlarna::onRefreshSettings));
}

void startTimer(HostBridge& bridge, QuenKlarna& extension) {
    setTimer(bridge, extension.handler(&QuenKlarna::onReversalTimer));
}

} // namespace

// Each step sends its requests through the bridge; their results are not
// examined, and a rejected registration leaves the module running without it.
void runStartupRegistration(HostBridge& bridge, QuenKlarna& extension) {
    installFallbackHandlers(bridge, extension);
    nameExtension(bridge, extension);
    addPaymentMenu(bridge, extension);
    addButtons(bridge, extension);
    announceApplicationStatus(bridge, extension);
    registerForPosRequests(bridge, extension);
    subscribeToPinpadNotifications(bridge, extension);
    interceptHostCommands(bridge, extension);
    startTimer(bridge, extension);
    extension.settings.load(bridge);
}
