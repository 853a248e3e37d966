#include "tests/support/recording_host.h"

#include <cstring>

#include "host/dispatch.h"

namespace {

std::map<std::uint32_t, RecordingHost*>& liveHosts() {
    static std::map<std::uint32_t, RecordingHost*> hosts;
    return hosts;
}

std::uint32_t nextContext() {
    static std::uint32_t next = 0x4b000000u;
    return ++next;
}

std::string wrap(const char* container, const xmlNode& element) {
    xmlDoc document;
    document.name = "VORTAXIS_BRIDGE";
    xmlNode& holder = document.getChild(container);
    holder.children.push_back(element);
    return document.toString();
}

} // namespace

const xmlNode& RecordingHost::Request::element() const {
    static const xmlNode none;
    for (const char* container : {"VORTAXIS_METHOD", "VORTAXIS_EVENT"}) {
        const int index = document.findChild(container);
        if (index >= 0 && !document.child(index).children.empty()) {
            return document.child(index).children.front();
        }
    }
    return none;
}

std::vector<std::string> RecordingHost::Request::envelopeKeys() const {
    std::vector<std::string> keys;
    for (const xmlNode& child : document.children) {
        keys.push_back(child.name);
    }
    return keys;
}

RecordingHost::RecordingHost() : contextId(nextContext()) {
    liveHosts()[contextId] = this;
}

RecordingHost::~RecordingHost() {
    liveHosts().erase(contextId);
}

HostSendCallback RecordingHost::callback() {
    return &RecordingHost::receive;
}

void RecordingHost::connect(HostBridge& bridge) const {
    bridge.hostContext = contextId;
    bridge.sendCallback = callback();
}

void RecordingHost::answer(const std::string& methodName, Answer answerGiven) {
    standing[methodName] = std::move(answerGiven);
}

std::vector<std::string> RecordingHost::methodNames() const {
    std::vector<std::string> names;
    for (const Request& request : recorded) {
        names.push_back(request.methodName());
    }
    return names;
}

std::size_t RecordingHost::count(const std::string& methodName) const {
    std::size_t total = 0;
    for (const Request& request : recorded) {
        total += request.methodName() == methodName ? 1 : 0;
    }
    return total;
}

std::int32_t KLARNA_CALL RecordingHost::receive(std::uint32_t hostContext, const char* message,
                                                std::int32_t length, char* replyBuffer,
                                                std::int32_t* replyLength) {
    const auto found = liveHosts().find(hostContext);
    if (found == liveHosts().end() || message == nullptr || length < 0 || replyLength == nullptr) {
        return -1;
    }
    Request request;
    request.hostContext = hostContext;
    request.text.assign(message, static_cast<std::size_t>(length));
    request.capacity = *replyLength;
    request.document = xmlDoc(request.text);
    return found->second->handle(std::move(request), replyBuffer, replyLength);
}

RecordingHost::Answer RecordingHost::choose(const Request& request, bool& fromQueue) const {
    fromQueue = !queued.empty();
    if (fromQueue) {
        return queued.front();
    }
    if (custom) {
        return custom(request);
    }
    const auto found = standing.find(request.methodName());
    return found == standing.end() ? Answer() : found->second;
}

std::int32_t RecordingHost::handle(Request request, char* replyBuffer, std::int32_t* replyLength) {
    bool fromQueue = false;
    const Answer chosen = choose(request, fromQueue);
    const std::int32_t capacity = request.capacity;
    recorded.push_back(std::move(request));
    *replyLength = 0;
    // A reply that does not fit is refused the way a real host refuses it.
    if (chosen.reply.size() > static_cast<std::size_t>(capacity > 0 ? capacity : 0)) {
        return -181;
    }
    if (fromQueue) {
        queued.pop_front();
    }
    if (!chosen.reply.empty()) {
        std::memcpy(replyBuffer, chosen.reply.data(), chosen.reply.size());
        *replyLength = static_cast<std::int32_t>(chosen.reply.size());
    }
    return chosen.result;
}

std::string RecordingHost::eventReply(const xmlNode& element) {
    return wrap("VORTAXIS_EVENT", element);
}

std::string RecordingHost::eventReply(const std::string& name, const Parameters& parameters) {
    return eventReply(element(name, parameters));
}

xmlNode RecordingHost::element(const std::string& name, const Parameters& parameters) {
    xmlNode built;
    built.name = name;
    for (const auto& parameter : parameters) {
        built.child(built.addChild(parameter.first)).setText(parameter.second);
    }
    return built;
}

std::string RecordingHost::eventMessage(const xmlNode& element) {
    return wrap("VORTAXIS_EVENT", element);
}

std::string RecordingHost::methodMessage(const xmlNode& element) {
    return wrap("VORTAXIS_METHOD", element);
}

RecordingHost::Delivery RecordingHost::deliver(HostBridge& bridge, const std::string& message,
                                               std::int32_t capacity) {
    std::vector<char> buffer(static_cast<std::size_t>(capacity > 0 ? capacity : 0) + 1, '\0');
    std::int32_t length = capacity;
    Delivery delivery;
    delivery.result = dispatchMessage(
        bridge, message.data(), static_cast<std::int32_t>(message.size()), buffer.data(), &length);
    delivery.reply.assign(buffer.data(), static_cast<std::size_t>(length > 0 ? length : 0));
    return delivery;
}
