// What the module registers with the host each time Startup succeeds.
#pragma once

#include "host/host_bridge.h"
#include "host/quen_klarna.h"

void runStartupRegistration(HostBridge& bridge, QuenKlarna& extension);
