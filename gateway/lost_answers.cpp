// Answers the host never gives. Every long operation is a request and an
// event; a host that loses the event (or its own time-out for it) would
// leave the transaction waiting for ever and every later sale refused. The
// periodic TimerTrigger, which the host calls at the delay the module asks
// for, measures how long a running transaction has made no progress; past a
// limit well beyond every time-out the module gives the host, the wait is
// ended as the host's time-out would have ended it.
#include <algorithm>
#include <string>

#include "host/host_methods.h"
#include "host/quen_klarna.h"
#include "platform/platform.h"

namespace {

// The events that answer a transaction's host requests (the gateway reply
// is handled through its exchange).
const char* const answerEvents[] = {"DllStartTransactionEvent", "GetButtonMenuFromPinpadEvent",
                                    "GetMultiLineFromPinpadEvent", "PrintReceiptEvent",
                                    "WaitForKeyPressEvent"};

// Never sooner than five minutes, nor than twice the longest time-out.
constexpr std::int64_t shortestLimitMs = 300000;

// The event a host sends when its own wait for the person runs out.
xmlDoc timedOutEvent(const std::string& name) {
    xmlDoc document;
    xmlNode& event = document.getChild("VORTAXIS_EVENT").getChild(name);
    event.getChild("Result").setText("TO");
    return document;
}

} // namespace

std::int64_t QuenKlarna::lostAnswerLimitMs() const {
    const std::int64_t longestSeconds = std::max({settings.timeoutResponse, settings.inputTimeout,
                                                  settings.qrWaitTime, settings.paymentWaitTime});
    return std::max(shortestLimitMs, 2 * longestSeconds * 1000);
}

void QuenKlarna::watchForLostAnswers() {
    const bool running = foreground.inProgress || background.inProgress;
    // The period that ended now counts only when it began after the last
    // progress: the silence is never overstated.
    silentMs = running && progress == progressAtLastTick ? silentMs + lastTimerDelayMs : 0;
    progressAtLastTick = progress;
    if (!running || silentMs < lostAnswerLimitMs()) {
        return;
    }
    trace(bridge, "Klarna: no answer from the host for " + std::to_string(silentMs / 1000) +
                      " s, the wait is ended as timed out");
    silentMs = 0;
    endLostWait();
    progressAtLastTick = progress;
}

void QuenKlarna::endLostWait() {
    for (GatewayTransaction* exchange : {&foreground, &background}) {
        if (exchange->awaitingReply) {
            endUntakenSend(*exchange, "Klarna gateway reply never delivered by the host\n");
            return;
        }
    }
    for (const char* name : answerEvents) {
        const auto found = bridge.handlers.find(name);
        if (found == bridge.handlers.end()) {
            continue;
        }
        // A copy: the handler may replace its own registration.
        const Handler waiting = found->second.handler;
        xmlDoc document = timedOutEvent(name);
        xmlNode& event = document.child(0).child(0);
        std::string reply;
        const std::uint32_t before = progress;
        platform::debugOutput(std::string("Klarna ") + name + " never delivered by the host\n");
        endingLostWait = true;
        waiting(document, event, reply);
        endingLostWait = false;
        if (progress != before) {
            return; // the request that was waited on; one per tick
        }
    }
}
