// The module-wide objects, constructed when the module is loaded in this
// order: the host bridge, then the extension object. Only the exported entry
// points use them; everything else takes references.
#pragma once

#include "host/entry_points.h"
#include "host/host_bridge.h"
#include "host/quen_klarna.h"

struct ModuleState {
    HostBridge bridge;
    QuenKlarna extension{bridge};
    Lifecycle lifecycle;
};

ModuleState& moduleState();
