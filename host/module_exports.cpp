// The three functions the host client calls. No exception leaves them.
#include <cstdint>

#include "host/dispatch.h"
#include "host/entry_points.h"
#include "host/module_api.h"
#include "host/module_state.h"

extern "C" {

KLARNA_EXPORT std::int32_t KLARNA_CALL Startup(void* record) {
    try {
        ModuleState& module = moduleState();
        return startupFromRecord(module.bridge, module.extension, module.lifecycle,
                                 static_cast<unsigned char*>(record));
    } catch (...) {
        return startupNoCallback;
    }
}

KLARNA_EXPORT std::int32_t KLARNA_CALL Shutdown() {
    try {
        return shutdown(moduleState().lifecycle);
    } catch (...) {
        return 0;
    }
}

KLARNA_EXPORT std::int32_t KLARNA_CALL OnReceive_v2(const char* message, std::int32_t length,
                                                    char* replyBuffer, std::int32_t* replyLength) {
    try {
        return dispatchMessage(moduleState().bridge, message, length, replyBuffer, replyLength);
    } catch (...) {
        return -1;
    }
}

} // extern "C"
