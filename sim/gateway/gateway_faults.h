// Misbehaviour of the gateway on purpose, per message kind: what a real
// gateway or network does on a bad day.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/host/event_queue.h"

namespace sim {

enum class FaultMode {
    hostFailure, // the host reports a failure Result (with ResultText) instead of a reply
    noReply,     // nothing comes back; the host's time-out decides
    late,        // the reply comes after an extra delay
    wrongStan,   // the reply's stan is not the request's
    wrongType,   // the reply's type is not the request's
    wrongMtype,  // the reply comes under another MTYPE
    badJson,     // the reply text is not JSON
    dropField,   // a member is left out of the reply (for instance rc)
    setField,    // a member of the reply is replaced or added
    decline,     // the gateway declines with a code and a text
    duplicate,   // the reply is delivered twice, the copy after an extra delay
};

struct Fault {
    std::string kind = "*"; // A+, O, D, N, Q, P, R, REV (any reversal) or * (every message)
    FaultMode mode = FaultMode::noReply;
    std::string code;              // host failure Result, or decline rc
    std::string text;              // host failure ResultText, or decline rt
    std::string field;             // dropField / setField member
    std::string value;             // setField value (JSON when it parses as JSON, else a string)
    Millis delay = 0;              // late; duplicate: the copy's delay (0: 1s)
    bool keepAfterTimeout = false; // late: the host delivers it even after its time-out
    int from = 1;                  // the first message of the kind it applies to (1-based)
    int times = 1;                 // how many messages it applies to; 0 = all from then on
    int line = 0;                  // where the scenario declared it
    int seen = 0;                  // messages of the kind seen so far
};

// The reply as the host will deliver it (or not).
struct GatewayOutcome {
    std::uint64_t exchange = 0;
    std::string kind;    // kind of the request answered
    bool deliver = true; // false: no reply at all
    Millis delay = 0;
    bool keepAfterTimeout = false;
    std::string result = "00"; // host Result
    std::string resultText;
    std::int32_t mtype = 0; // MTYPE of the reply header
    bool hasMessage = true;
    std::string message;             // reply text (JSON unless broken on purpose)
    std::vector<std::string> faults; // descriptions of the faults applied
    Millis copyAfter = -1;           // >= 0: the host delivers the reply again that much later
};

const char* faultModeName(FaultMode mode);
// The faults that apply to the next message of kind, counting it.
std::vector<Fault> takeMatchingFaults(std::vector<Fault>& faults, const std::string& kind);
// Applies one fault to the reply outcome.
void applyFault(const Fault& fault, GatewayOutcome& outcome);
// A reversal kind is any type ending in "-".
std::string faultKindOf(const std::string& type, std::int32_t msgType);

} // namespace sim
