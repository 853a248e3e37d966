// Misbehaviour of the host itself on purpose: the event that answers one of
// the module's requests (a screen, a key wait, a print, DllStartTransaction,
// a gateway message) lost, replaced by a failure, delivered twice or held
// until the next transaction has begun.
#pragma once

#include <string>
#include <vector>

namespace sim {

struct EventFault {
    enum class Mode {
        lose,  // never delivered, not even as the host's own time-out
        fail,  // the host answers at once with a failure Result instead
        twice, // delivered, and a copy a second later
        late,  // held, and delivered just after the next transaction began
    };
    std::string event; // the answer event: GetMultiLineFromPinpadEvent, HostReceiveEvent...
    Mode mode = Mode::lose;
    std::string code;  // fail: the Result
    std::string match; // text the request must contain; for HostReceiveEvent the gateway
                       // message kind; empty: any request
    int start = 1;     // the first matching request it applies to
    int times = 1;     // 0 = every matching request from then on
    int calls = 0;     // matching requests so far
    int seen = 0;      // requests it applied to
    int line = 0;
};

// The fault one request carries, decided when the request is made.
struct ArmedFault {
    bool armed = false;
    EventFault::Mode mode = EventFault::Mode::lose;
    std::string code;
};

// The events a fault may name, in the order --help-scenario lists them.
const std::vector<std::string>& faultableEvents();
bool parseEventFaultMode(const std::string& word, EventFault::Mode& mode);
const char* eventFaultModeName(EventFault::Mode mode);

// The fault for a request answered by event: the first fault for that event
// whose match the request text holds (for HostReceiveEvent: equals), counting
// the request against every such fault.
ArmedFault armEventFault(std::vector<EventFault>& faults, const std::string& event,
                         const std::string& requestText);

} // namespace sim
