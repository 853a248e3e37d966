#include "sim/host/host_sim.h"

#include <cstring>

#include "sim/cli/text_files.h"

namespace sim {

namespace {

// The host whose module is loaded. The callback finds it through the
// context the module passes back, checked against this host's own.
HostSim* activeHost = nullptr;
std::uint32_t nextContext = 0x4B53494Du;

std::string compact(const XmlElement& element, std::size_t limit = 400) {
    std::string text = toCompactText(element);
    if (text.size() > limit) {
        text = text.substr(0, limit) + " ...";
    }
    return text;
}

// A request or event as one transcript line. A gateway message's text is
// left out (the gateway lines show it once) and the result handed to the POS
// is never cut.
std::string oneLine(const XmlElement& element) {
    if (element.name == "SendHostMessage" || element.name == "HostReceiveEvent") {
        XmlElement shown = element;
        auto& children = shown.children;
        for (auto it = children.begin(); it != children.end();) {
            it = it->name == "Message" || it->name == "Header" ? children.erase(it) : it + 1;
        }
        return compact(shown);
    }
    return compact(element, element.name == "DllEndTransaction" ? std::string::npos : 400);
}

} // namespace

HostSim::HostSim(EventQueue& queue, Transcript& transcript, VariableStore& store, RunRecord& record)
    : queue_(queue), transcript_(transcript), store_(store), record_(record),
      gateway_(queue, [this](const GatewayOutcome& outcome) { gatewayReply(outcome); }) {
    context_ = nextContext++;
    activeHost = this;
    gateway_.setNote(
        [this](const std::string& text) { transcript_.line(Level::normal, "gateway", text); });
}

HostSim::~HostSim() {
    if (activeHost == this) {
        activeHost = nullptr;
    }
}

HostSendCallback HostSim::sendCallback() {
    return &HostSim::onSend;
}

void HostSim::beginStartup() {
    startup_ = ++startupCount_;
}

void HostSim::endStartup() {
    startup_ = 0;
}

void HostSim::forgetRegistrations() {
    entryPoints_.clear();
    intercepts_.clear();
    functionFilters_.clear();
    subscriptions_.clear();
    posRegistered_ = false;
    transactionOpen_ = false;
    queue_.cancel(timerEvent_);
    timerInterval_ = 0;
    session_ = false;
    if (screen_) {
        queue_.cancel(screen_->timeout);
        screen_.reset();
    }
    if (keyWait_) {
        queue_.cancel(keyWait_->timeout);
        keyWait_.reset();
    }
    for (const Interaction& print : prints_) {
        queue_.cancel(print.timeout);
    }
    prints_.clear();
    for (auto& entry : exchanges_) {
        queue_.cancel(entry.second.timeout);
    }
    exchanges_.clear();
}

void HostSim::dropOpenExchanges() {
    for (auto& entry : exchanges_) {
        queue_.cancel(entry.second.timeout);
    }
    exchanges_.clear();
}

void HostSim::outputFailed(const std::string& what, const std::string& path) {
    const std::string text = "cannot write " + what + " to " + path;
    for (const std::string& problem : record_.problems) {
        if (problem == text) {
            return; // told once
        }
    }
    record_.problems.push_back(text);
    transcript_.line(Level::normal, "PROBLEM", text);
}

void HostSim::violation(const std::string& text) {
    record_.violations.push_back(formatMillis(queue_.now()) + ": " + text);
    transcript_.line(Level::brief, "VIOLATION", text);
}

std::int32_t KLARNA_CALL HostSim::onSend(std::uint32_t context, const char* message,
                                         std::int32_t length, char* replyBuffer,
                                         std::int32_t* replyLength) {
    HostSim* host = activeHost;
    if (host == nullptr) {
        return -1;
    }
    if (context != host->context_) {
        host->violation("send callback called with host context " + std::to_string(context) +
                        " instead of " + std::to_string(host->context_));
        return -1;
    }
    try {
        return host->request(message, length, replyBuffer, replyLength);
    } catch (const std::exception& error) {
        host->violation(std::string("the host failed on a request: ") + error.what());
        return -1;
    } catch (...) {
        host->violation("the host failed on a request");
        return -1;
    }
}

std::int32_t HostSim::request(const char* message, std::int32_t length, char* replyBuffer,
                              std::int32_t* replyLength) {
    if (message == nullptr || length < 0 || replyLength == nullptr) {
        violation("send callback called with a null message or reply length");
        return -1;
    }
    if (inCallback_) {
        violation("send callback re-entered");
        return -1;
    }
    if (!inDelivery_ && startup_ == 0) {
        violation("send callback called outside Startup and OnReceive_v2");
    }
    const std::int32_t capacity = *replyLength;
    *replyLength = 0;
    const std::string text(message, static_cast<std::size_t>(length));
    RequestRecord record;
    std::string error;
    if (!readRequest(text, record, error)) {
        violation(error.substr(0, 400));
        return -1;
    }
    record.at = queue_.now();
    record.startup = startup_;
    record.capacity = capacity;
    transcript_.line(Level::normal, "module->host", oneLine(record.element));
    transcript_.block(Level::verbose, text);

    std::int32_t forced = 0;
    if (!record.isEvent && forcedFault(record, MethodFault::Kind::replyTooSmall, forced)) {
        transcript_.line(Level::normal, "host->module", record.name + " answered -181 (fault)");
        record.result = -181;
        record_.requests.push_back(record);
        return -181;
    }
    inCallback_ = true;
    std::string reply;
    std::int32_t result = 0;
    if (record.isEvent) {
        handleEvent(record);
    } else {
        result = handleMethod(record, reply);
    }
    inCallback_ = false;
    if (static_cast<std::int64_t>(reply.size()) > static_cast<std::int64_t>(capacity)) {
        transcript_.line(Level::normal, "host->module",
                         record.name + ": reply of " + std::to_string(reply.size()) +
                             " bytes does not fit " + std::to_string(capacity) + ": -181");
        record.result = -181;
        record_.requests.push_back(record);
        return -181;
    }
    if (!reply.empty()) {
        std::memcpy(replyBuffer, reply.data(), reply.size());
        transcript_.block(Level::verbose, reply);
    }
    *replyLength = static_cast<std::int32_t>(reply.size());
    record.result = result;
    record_.requests.push_back(record);
    if (listener_ != nullptr) {
        listener_->requestSeen(record.name);
    }
    return result;
}

bool HostSim::forcedFault(const RequestRecord& record, MethodFault::Kind kind,
                          std::int32_t& value) {
    for (MethodFault& fault : config_.methodFaults) {
        if (fault.kind != kind || (fault.method != record.name && fault.method != "*") ||
            (!fault.match.empty() &&
             toCompactText(record.element).find(fault.match) == std::string::npos)) {
            continue;
        }
        if (fault.forever && !fault.foreverText.empty()) {
            // The module asking the same again; any other request ends it.
            if (toCompactText(record.element) == fault.foreverText) {
                value = fault.value;
                return true;
            }
            fault.foreverText.clear();
        }
        if (++fault.calls < fault.start) {
            continue;
        }
        if (fault.times != 0 && fault.seen >= fault.times) {
            continue;
        }
        ++fault.seen;
        fault.foreverText = fault.forever ? toCompactText(record.element) : std::string();
        value = fault.value;
        return true;
    }
    return false;
}

std::int32_t HostSim::handleMethod(RequestRecord& record, std::string& replyText) {
    const auto& table = methodTable();
    const auto found = table.find(record.name);
    if (found == table.end()) {
        transcript_.line(Level::normal, "host",
                         "unknown host method " + record.name + ": result -1");
        return -1;
    }
    std::int32_t forced = 0;
    if (forcedFault(record, MethodFault::Kind::refuse, forced)) {
        transcript_.line(Level::normal, "host",
                         record.name + " refused: " + std::to_string(forced) + " (fault)");
        return forced;
    }
    XmlElement reply;
    std::int32_t result = (this->*(found->second))(record.element, record.envelope, reply);
    if (forcedFault(record, MethodFault::Kind::result, forced)) {
        transcript_.line(Level::normal, "host",
                         record.name + " result " + std::to_string(forced) + " (fault)");
        result = forced;
    }
    if (forcedFault(record, MethodFault::Kind::bigReply, forced)) {
        if (reply.name.empty()) {
            reply.name = record.name;
        }
        reply.add("Padding", std::string(static_cast<std::size_t>(forced > 0 ? forced : 0), 'x'));
    }
    if (!reply.name.empty()) {
        XmlElement root{"VORTAXIS_BRIDGE", {}, {}};
        root.add("VORTAXIS_SOURCE", "VORTAXIS_DLL_HANDLER");
        root.add("VORTAXIS_DESTINATION", moduleName_);
        root.add("VORTAXIS_EVENT").children.push_back(reply);
        replyText = toXmlDocument(root);
    }
    return result;
}

void HostSim::handleEvent(RequestRecord& record) {
    const std::string destination = record.envelope.childText("VORTAXIS_DESTINATION");
    if (destination == "JOURNAL_FILE" && record.name == "AddJournal") {
        const std::string entry = record.element.childText("jnl_entry");
        record_.journal.push_back(entry);
        transcript_.line(Level::normal, "journal", entry);
        if (!config_.journalPath.empty() && !appendToFile(config_.journalPath, entry + "\n")) {
            outputFailed("the journal", config_.journalPath);
        }
        return;
    }
    record_.posEvents.push_back(record);
    transcript_.line(Level::normal, "to " + (destination.empty() ? std::string("?") : destination),
                     compact(record.element, 2000));
}

XmlElement HostSim::envelope(const std::string& source, const std::string& container,
                             const XmlElement& message) const {
    XmlElement root{"VORTAXIS_BRIDGE", {}, {}};
    root.add("VORTAXIS_SOURCE", source);
    root.add("VORTAXIS_DESTINATION", moduleName_);
    root.add(container).children.push_back(message);
    return root;
}

void HostSim::deliverEvent(const std::string& source, const XmlElement& event) {
    deliver(event.name, envelope(source, "VORTAXIS_EVENT", event));
}

std::int32_t HostSim::deliver(const std::string& name, const XmlElement& root) {
    if (module_ == nullptr) {
        transcript_.line(Level::normal, "host", "no module loaded; " + name + " not delivered");
        return -1;
    }
    const std::string text = toXmlDocument(root);
    const XmlElement* container = root.find("VORTAXIS_EVENT");
    if (container == nullptr) {
        container = root.find("VORTAXIS_METHOD");
    }
    const XmlElement& shown =
        container != nullptr && !container->children.empty() ? container->children.front() : root;
    transcript_.line(Level::normal, "host->module", oneLine(shown));
    transcript_.block(Level::verbose, text);
    std::string reply;
    inDelivery_ = true;
    const std::int32_t result = module_->deliver(text, config_.offeredReplyCapacity, reply);
    inDelivery_ = false;
    transcript_.line(Level::normal, "module",
                     name + " returned " + std::to_string(result) +
                         (reply.empty() ? std::string() : ", reply: " + reply));
    record_.deliveries.push_back(DeliveryRecord{queue_.now(), name, result, reply});
    return result;
}

} // namespace sim
