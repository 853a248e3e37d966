#include "host/dispatch.h"

#include <cstring>
#include <string>

namespace {

constexpr std::int32_t notRouted = -1;

struct Routing {
    HostBridge& bridge;
    xmlDoc& document;
    std::string& reply;
};

// Handlers run through a copy of the stored callable, so they may replace or
// remove their own registration while they run.
std::int32_t call(Handler handler, Routing& routing, xmlNode& element) {
    if (!handler) {
        return notRouted;
    }
    return handler(routing.document, element, routing.reply);
}

std::string entryPointKey(const xmlNode& element) {
    const std::string dataField = element.getChildText("DataField", std::string());
    if (!dataField.empty()) {
        return dataField;
    }
    return element.getChildText("Name", std::string());
}

bool isEntryPointEvent(const std::string& name) {
    return name == "CsdReserved3" || name == "EntryPointEvent";
}

// Calls the entry point the element's key names; false when there is none.
bool callEntryPoint(Routing& routing, const xmlNode& element, std::int32_t& result) {
    const auto found = routing.bridge.entryPoints.find(entryPointKey(element));
    if (found == routing.bridge.entryPoints.end()) {
        return false;
    }
    const HandlerEntry entry = found->second;
    xmlNode callElement;
    if (element.name == "EntryPointEvent") {
        callElement = element;
    } else {
        callElement.text = entry.origin;
    }
    callElement.name = "EntryPointEvent";
    callElement.getChild("Origin").setText(element.name);
    result = call(entry.handler, routing, callElement);
    return true;
}

std::int32_t routeMessage(Routing& routing, xmlNode& element, bool isEvent) {
    std::int32_t result = notRouted;
    if (isEntryPointEvent(element.name) && callEntryPoint(routing, element, result)) {
        return result;
    }
    const auto found = routing.bridge.handlers.find(element.name);
    if (found != routing.bridge.handlers.end()) {
        return call(found->second.handler, routing, element);
    }
    return call(isEvent ? routing.bridge.defaultEventHandler : routing.bridge.defaultMethodHandler,
                routing, element);
}

std::int32_t route(Routing& routing) {
    xmlDoc& document = routing.document;
    int container = document.findChild("VORTAXIS_EVENT");
    const bool isEvent = container >= 0;
    if (!isEvent) {
        container = document.findChild("VORTAXIS_METHOD");
    }
    if (container < 0) {
        // Nothing at all to route on: answer without calling a handler.
        if (document.children.empty()) {
            return notRouted;
        }
        xmlNode empty;
        return call(routing.bridge.defaultNonStandardHandler, routing, empty);
    }
    if (document.child(container).children.empty()) {
        return notRouted;
    }
    return routeMessage(routing, document.child(container).children.front(), isEvent);
}

std::string messageText(const char* message, std::int32_t length) {
    if (message == nullptr || length <= 0) {
        return std::string();
    }
    return std::string(message, static_cast<std::size_t>(length));
}

void copyReply(const std::string& reply, std::int32_t capacity, char* replyBuffer,
               std::int32_t* replyLength) {
    if (reply.empty() || replyBuffer == nullptr || replyLength == nullptr || capacity <= 0 ||
        reply.size() >= static_cast<std::size_t>(capacity)) {
        return;
    }
    std::memcpy(replyBuffer, reply.data(), reply.size());
    *replyLength = static_cast<std::int32_t>(reply.size());
}

} // namespace

std::int32_t dispatchMessage(HostBridge& bridge, const char* message, std::int32_t length,
                             char* replyBuffer, std::int32_t* replyLength) {
    std::int32_t capacity = 0;
    if (replyLength != nullptr) {
        capacity = *replyLength;
        *replyLength = 0;
    }
    try {
        xmlDoc document(messageText(message, length));
        bridge.incomingReplyCapacity = capacity;
        std::string reply;
        Routing routing{bridge, document, reply};
        const std::int32_t result = route(routing);
        copyReply(reply, capacity, replyBuffer, replyLength);
        return result;
    } catch (...) {
        // A failing handler must not take the host down with it.
        return notRouted;
    }
}
