// What the module registers with the host each time Startup succeeds.
#pragma once

#include "host/host_bridge.h"
#include "host/quen_klarna.h"
#include "klarna_version.h"

// Constants of the registration.
namespace registration {
constexpr const char* extensionName = "Klarna";
constexpr const char* extensionVersion = KLARNA_VERSION_TEXT;
constexpr const char* merchantNumber = "70";
} // namespace registration

// Fall-back handlers, name, payment menu and its two buttons, application
// status, POS direct entry point, PinpadNotify subscription, the four
// intercepted commands, the timer, then the settings load. Results of the
// requests are not examined.
void runStartupRegistration(HostBridge& bridge, QuenKlarna& extension);
