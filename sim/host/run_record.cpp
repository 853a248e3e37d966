#include "sim/host/run_record.h"

#include "sim/gateway/gateway_sim.h"

namespace sim {

bool readRequest(const std::string& text, RequestRecord& record, std::string& error) {
    const XmlParseResult parsed = parseXml(text);
    if (!parsed.ok) {
        error = "unreadable request: " + parsed.error;
        return false;
    }
    record.envelope = parsed.root;
    const XmlElement* container = parsed.root.find("VORTAXIS_METHOD");
    record.isEvent = false;
    if (container == nullptr) {
        container = parsed.root.find("VORTAXIS_EVENT");
        record.isEvent = container != nullptr;
    }
    if (container == nullptr || container->children.empty()) {
        error = "request without a method or event: " + toCompactText(parsed.root);
        return false;
    }
    record.element = container->children.front();
    record.name = record.element.name;
    return true;
}

GatewayMessage gatewayMessageOf(const XmlElement& sendHostMessage, Millis at) {
    GatewayMessage message;
    message.at = at;
    message.hostRequest = sendHostMessage;
    message.json = parseGatewayText(sendHostMessage.childText("Message"));
    const bool readable = message.json.is_object() && message.json.contains("type") &&
                          message.json["type"].is_string();
    message.kind = readable ? message.json["type"].get<std::string>() : "?";
    if (message.json.is_discarded()) {
        message.json = nullptr;
    }
    return message;
}

std::string deliveredName(const std::string& message) {
    const XmlParseResult parsed = parseXml(message);
    for (const char* container : {"VORTAXIS_EVENT", "VORTAXIS_METHOD"}) {
        const XmlElement* holder = parsed.root.find(container);
        if (holder != nullptr && !holder->children.empty()) {
            return holder->children.front().name;
        }
    }
    return "raw";
}

} // namespace sim
