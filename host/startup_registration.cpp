#include "host/startup_registration.h"

#include "host/host_methods.h"

namespace {

const char* const extensionName = "Klarna";
const char* const extensionVersion = "1.0.0.0";

void installFallbackHandlers(HostBridge& bridge, QuenKlarna& extension) {
    bridge.defaultMethodHandler = extension.handler(&QuenKlarna::onDefaultMethod);
    bridge.defaultEventHandler = extension.handler(&QuenKlarna::onDefaultEvent);
    bridge.defaultNonStandardHandler = extension.handler(&QuenKlarna::onDefaultNonStandard);
}

void nameExtension(HostBridge& bridge, QuenKlarna& extension) {
    extension.extensionName = extensionName;
    bridge.sourceName = extensionName;
}

void announceApplicationStatus(HostBridge& bridge, QuenKlarna& extension) {
    extension.applicationStatus.getChild("AppName").setText(extensionName);
    extension.applicationStatus.getChild("Version").setText(extensionVersion);
    dllApplicationStatusUpdate(bridge, extension.applicationStatus);
}

} // namespace

// Each step sends its requests through the bridge; their results are not
// examined, and a rejected registration leaves the module running without it.
void runStartupRegistration(HostBridge& bridge, QuenKlarna& extension) {
    installFallbackHandlers(bridge, extension);
    nameExtension(bridge, extension);
    // Payment menu, purchase button and refund button entry points go here,
    // in that order.
    announceApplicationStatus(bridge, extension);
    // Then: POS direct entry point, PinpadNotify subscription, the four
    // intercepted commands, the timer, and the settings load.
}
