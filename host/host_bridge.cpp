#include "host/host_bridge.h"

#include <algorithm>
#include <utility>

HostBridge::HostBridge() : replyBuffer(static_cast<std::size_t>(initialReplyCapacity)) {}

std::string HostBridge::replyText() const {
    if (replyLength <= 0) {
        return std::string();
    }
    const std::size_t length = std::min(static_cast<std::size_t>(replyLength), replyBuffer.size());
    return std::string(replyBuffer.data(), length);
}

void HostBridge::resizeReplyBuffer(std::int32_t capacity) {
    // Release the old buffer first, then take a new one of the full size.
    std::vector<char>().swap(replyBuffer);
    replyBuffer.resize(static_cast<std::size_t>(capacity));
    replyCapacity = capacity;
}

void registerHandler(HostBridge& bridge, const std::string& name, Handler handler) {
    bridge.handlers.erase(name);
    if (handler) {
        bridge.handlers[name] = HandlerEntry{std::move(handler), std::string()};
    }
}

void registerEntryPoint(HostBridge& bridge, const std::string& key, Handler handler,
                        const std::string& origin) {
    bridge.entryPoints.erase(key);
    if (handler) {
        bridge.entryPoints[key] = HandlerEntry{std::move(handler), origin};
    }
}
