#include "sim/host/in_process_module.h"

#include <new>

#include "host/entry_points.h"
#include "host/module_state.h"

extern "C" std::int32_t KLARNA_CALL OnReceive_v2(const char* message, std::int32_t length,
                                                 char* replyBuffer, std::int32_t* replyLength);
extern "C" std::int32_t KLARNA_CALL Shutdown();

namespace sim {

InProcessModule::InProcessModule(HostSendCallback callback) : callback_(callback) {}

InProcessModule::InProcessModule(HostSendCallback callback, std::uint32_t hostContext)
    : callback_(callback), fixedContext_(true), hostContext_(hostContext) {}

bool InProcessModule::load(std::string& /*error*/) {
    resetInProcessModule();
    return true;
}

std::int32_t InProcessModule::startup(StartupRecord& record) {
    StartupFields fields;
    fields.recordSize = record.u32(startupRecord::sizeOffset);
    fields.hostContext =
        fixedContext_ ? hostContext_ : record.u32(startupRecord::hostContextOffset);
    fields.versionText = versionText_.c_str();
    fields.hostName = hostName_.c_str();
    fields.sendCallback = callback_;
    fields.versionBuffer =
        reinterpret_cast<char*>(record.bytes() + startupRecord::versionBufferOffset);
    ModuleState& module = moduleState();
    return startupFromFields(module.bridge, module.extension, module.lifecycle, fields);
}

std::int32_t InProcessModule::shutdown() {
    return Shutdown();
}

std::int32_t InProcessModule::deliver(const std::string& message, std::int32_t capacity,
                                      std::string& reply) {
    std::string buffer(static_cast<std::size_t>(capacity > 0 ? capacity : 1), '\0');
    std::int32_t length = capacity;
    const std::int32_t result = OnReceive_v2(
        message.data(), static_cast<std::int32_t>(message.size()), &buffer[0], &length);
    if (length < 0 || length > capacity) {
        reply = "<reply length " + std::to_string(length) + " outside the buffer>";
    } else {
        reply.assign(buffer.data(), static_cast<std::size_t>(length));
    }
    return result;
}

void resetInProcessModule() {
    // The extension refers to the bridge: it goes first and comes back last.
    ModuleState& module = moduleState();
    module.extension.~QuenKlarna();
    module.bridge.~HostBridge();
    new (&module.bridge) HostBridge();
    new (&module.extension) QuenKlarna(module.bridge);
    module.lifecycle = Lifecycle{};
}

} // namespace sim
