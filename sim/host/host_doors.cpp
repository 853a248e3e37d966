// The doors through which the POS, the pinpad, the host's own commands and
// the timer reach the module.
#include "sim/host/host_sim.h"

namespace sim {

namespace {

void addFields(XmlElement& element,
               const std::vector<std::pair<std::string, std::string>>& fields) {
    for (const auto& field : fields) {
        XmlElement* at = &element;
        std::size_t start = 0;
        const std::string& path = field.first;
        for (std::size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', start)) {
            at = &at->child(path.substr(start, slash - start));
            start = slash + 1;
        }
        at->child(path.substr(start)).text = field.second;
    }
}

bool hasField(const std::vector<std::pair<std::string, std::string>>& fields,
              const std::string& name) {
    for (const auto& field : fields) {
        if (field.first == name) {
            return true;
        }
    }
    return false;
}

} // namespace

bool HostSim::posTransaction(const Fields& fields, std::string& problem) {
    if (!posRegistered_) {
        problem = "the module has not registered for POS requests (RegisterForPosDirectEntryPoint)";
        return false;
    }
    XmlElement request{"DoTransaction", {}, {}};
    if (!hasField(fields, "OriginalSource")) {
        request.add("OriginalSource", "POS");
    }
    addFields(request, fields);
    XmlElement event{"PosDirectEntryPoint", {}, {}};
    event.children.push_back(request);
    event.add("VORTAXIS_METHOD", "DoTransaction");
    deliverEvent("POS", event);
    releaseLateAnswers();
    return true;
}

bool HostSim::entryPoint(const std::string& name, const Fields& fields, std::string& problem) {
    if (entryPoints_.count(name) == 0) {
        problem = "no entry point " + name + " was added by the module";
        return false;
    }
    XmlElement request{"DoTransaction", {}, {}};
    if (!hasField(fields, "OriginalSource")) {
        request.add("OriginalSource", "PINPAD");
    }
    addFields(request, fields);
    XmlElement event{"EntryPointEvent", {}, {}};
    event.children.push_back(request);
    event.add("Name", name);
    deliverEvent("VORTAXIS_DLL_HANDLER", event);
    releaseLateAnswers();
    return true;
}

bool HostSim::pinpadFunction(const std::string& number, std::string& problem) {
    if (functionFilters_.count(number) == 0) {
        problem = "the module intercepts no pinpad function " + number;
        return false;
    }
    XmlElement event{"CsdReserved3", {}, {}};
    event.add("DataField", "FUNCTION=" + number);
    deliverEvent("PINPAD", event);
    return true;
}

bool HostSim::command(const std::string& name, const Fields& fields, std::string& problem) {
    const auto found = intercepts_.find(name);
    if (found == intercepts_.end()) {
        problem = "the module does not intercept " + name + "; the host would answer it itself";
        return false;
    }
    XmlElement element{name, {}, {}};
    addFields(element, fields);
    deliver(name, envelope("POS", found->second, element));
    return true;
}

bool HostSim::pinpadOnline(const std::string& value, std::string& problem) {
    if (subscriptions_.count("PinpadNotify") == 0) {
        problem = "the module has not subscribed to PinpadNotify";
        return false;
    }
    pinpadOnline_ = value;
    XmlElement event{"PinpadNotify", {}, {}};
    event.add("PinpadOnline", value);
    deliverEvent("PINPAD", event);
    return true;
}

bool HostSim::timerNow(std::string& problem) {
    if (timerInterval_ <= 0) {
        problem = "the module has set no timer";
        return false;
    }
    queue_.cancel(timerEvent_);
    timerTrigger();
    return true;
}

void HostSim::timerTrigger() {
    XmlElement event{"TimerTrigger", {}, {}};
    const std::int32_t next =
        deliver(event.name, envelope("VORTAXIS_DLL_HANDLER", "VORTAXIS_EVENT", event));
    const Millis delay = next > 0 ? next : timerInterval_;
    timerEvent_ = queue_.schedule(
        delay, "TimerTrigger", [this] { timerTrigger(); }, true);
}

void HostSim::rawEvent(const std::string& name, const Fields& fields) {
    XmlElement event{name, {}, {}};
    addFields(event, fields);
    deliverEvent("VORTAXIS_DLL_HANDLER", event);
}

void HostSim::rawMethod(const std::string& name, const Fields& fields) {
    XmlElement method{name, {}, {}};
    addFields(method, fields);
    deliver(name, envelope("VORTAXIS_DLL_HANDLER", "VORTAXIS_METHOD", method));
}

void HostSim::rawText(const std::string& text) {
    if (module_ == nullptr) {
        return;
    }
    transcript_.line(Level::normal, "host->module",
                     "raw text of " + std::to_string(text.size()) + " bytes");
    transcript_.block(Level::verbose, text);
    std::string reply;
    inDelivery_ = true;
    const std::int32_t result = module_->deliver(text, config_.offeredReplyCapacity, reply);
    inDelivery_ = false;
    transcript_.line(Level::normal, "module", "raw text returned " + std::to_string(result));
    record_.deliveries.push_back(DeliveryRecord{queue_.now(), "raw", result, reply});
}

} // namespace sim
