// The host's own faults: each request that the host answers with an event
// is given its fault (if any) when it is made; the answer then goes through
// answerRequest, which loses, doubles or holds it.
#include "sim/host/host_faults.h"

#include "sim/host/host_sim.h"

namespace sim {

namespace {

// How long after a transaction door a held answer arrives: the new
// transaction has begun and waits for its first gateway reply.
constexpr Millis lateAfterDoor = 200;
constexpr Millis copyAfter = 1000;
constexpr Millis failAfter = 100;

} // namespace

const std::vector<std::string>& faultableEvents() {
    static const std::vector<std::string> events{
        "DllStartTransactionEvent", "GetButtonMenuFromPinpadEvent", "GetMultiLineFromPinpadEvent",
        "PrintReceiptEvent",        "WaitForKeyPressEvent",         "HostReceiveEvent"};
    return events;
}

bool parseEventFaultMode(const std::string& word, EventFault::Mode& mode) {
    static const EventFault::Mode modes[] = {EventFault::Mode::lose, EventFault::Mode::fail,
                                             EventFault::Mode::twice, EventFault::Mode::late};
    for (const EventFault::Mode candidate : modes) {
        if (word == eventFaultModeName(candidate)) {
            mode = candidate;
            return true;
        }
    }
    return false;
}

const char* eventFaultModeName(EventFault::Mode mode) {
    switch (mode) {
    case EventFault::Mode::lose:
        return "lose";
    case EventFault::Mode::fail:
        return "fail";
    case EventFault::Mode::twice:
        return "twice";
    case EventFault::Mode::late:
        return "late";
    }
    return "?";
}

ArmedFault armEventFault(std::vector<EventFault>& faults, const std::string& event,
                         const std::string& requestText) {
    ArmedFault armed;
    const bool byKind = event == "HostReceiveEvent";
    for (EventFault& fault : faults) {
        const bool matches =
            fault.match.empty() || (byKind ? requestText == fault.match
                                           : requestText.find(fault.match) != std::string::npos);
        if (fault.event != event || !matches) {
            continue;
        }
        ++fault.calls;
        if (armed.armed || fault.calls < fault.start ||
            (fault.times != 0 && fault.seen >= fault.times)) {
            continue;
        }
        ++fault.seen;
        armed.armed = true;
        armed.mode = fault.mode;
        armed.code = fault.code;
    }
    return armed;
}

ArmedFault HostSim::armFault(const std::string& event, const std::string& requestText) {
    ArmedFault armed = armEventFault(config_.eventFaults, event, requestText);
    if (armed.armed) {
        transcript_.line(Level::normal, "host fault",
                         std::string("the answer of this request will be ") +
                             eventFaultModeName(armed.mode) + ": " + event);
    }
    return armed;
}

void HostSim::answerRequest(const ArmedFault& fault, const std::string& source,
                            const XmlElement& event) {
    if (!fault.armed || fault.mode == EventFault::Mode::fail) {
        deliverEvent(source, event);
        return;
    }
    switch (fault.mode) {
    case EventFault::Mode::lose:
        transcript_.line(Level::normal, "host fault",
                         event.name + " lost: " + toCompactText(event));
        return;
    case EventFault::Mode::twice:
        deliverEvent(source, event);
        queue_.schedule(copyAfter, "second " + event.name,
                        [this, source, event] { deliverEvent(source, event); });
        return;
    case EventFault::Mode::late:
        transcript_.line(Level::normal, "host fault",
                         event.name + " held until the next transaction: " + toCompactText(event));
        lateAnswers_.emplace_back(source, event);
        return;
    case EventFault::Mode::fail:
        return;
    }
}

void HostSim::failSoon(std::uint64_t interaction, const ArmedFault& fault) {
    if (!fault.armed || fault.mode != EventFault::Mode::fail) {
        return;
    }
    const std::string code = fault.code;
    queue_.schedule(failAfter, "host failure", [this, interaction, code] {
        Interaction* waiting = findInteraction(interaction, Answer{});
        if (waiting == nullptr) {
            return;
        }
        XmlElement event{waiting->eventName, {}, {}};
        event.add("Result", code);
        transcript_.line(Level::normal, "host fault",
                         waiting->eventName + " answered with the failure " + code);
        finishInteraction(interaction, event);
    });
}

void HostSim::failExchangeSoon(std::uint64_t exchange, const std::string& code) {
    queue_.schedule(failAfter, "host failure", [this, exchange, code] {
        const auto found = exchanges_.find(exchange);
        if (found == exchanges_.end()) {
            return;
        }
        queue_.cancel(found->second.timeout);
        transcript_.line(Level::normal, "host fault",
                         found->second.kind + " exchange ended with the failure " + code);
        exchanges_.erase(found);
        XmlElement event{"HostReceiveEvent", {}, {}};
        event.add("Result", code);
        event.add("ResultText", "HOST FAILURE");
        deliverEvent("VORTAXIS_DLL_HANDLER", event);
    });
}

void HostSim::releaseLateAnswers() {
    for (const auto& held : lateAnswers_) {
        const std::string source = held.first;
        const XmlElement event = held.second;
        queue_.schedule(lateAfterDoor, "late " + event.name,
                        [this, source, event] { deliverEvent(source, event); });
    }
    lateAnswers_.clear();
}

} // namespace sim
