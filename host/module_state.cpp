#include "host/module_state.h"

namespace {
// Constructed when the module is loaded: the bridge first, then the
// extension object; destroyed in the opposite order at unload.
ModuleState theModuleState;
} // namespace

ModuleState& moduleState() {
    return theModuleState;
}
