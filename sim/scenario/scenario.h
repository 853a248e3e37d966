// A scenario: the host's configuration, what happens and when (timed
// actions and reactions to screens and messages), and what must come out.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sim/gateway/gateway_faults.h"
#include "sim/host/event_queue.h"
#include "sim/host/host_sim.h"

namespace sim {

using FieldList = std::vector<std::pair<std::string, std::string>>;

enum class ActionKind {
    startup,
    shutdown,
    restart,
    pinpadOnline,
    pos,
    entry,
    function,
    command,
    timer,
    event,
    method,
    raw,
    answer,
    customer,
    setVar,
    clearVar,
    wait,
    fault, // a gateway fault from now on ("fault clear": none any more)
    stop   // the run ends here, as when a person quits
};

struct Action {
    int line = 0;
    ActionKind kind = ActionKind::wait;
    std::string name;      // entry point, command, event or method name; customer verb; variable
    std::string value;     // raw text, variable value, pinpad-online value, function number
    FieldList fields;      // message fields, or startup options
    Answer answer;         // for ActionKind::answer
    Fault fault;           // for ActionKind::fault
    bool optional = false; // "try ACTION": a door that is not there is only noted
};

enum class TriggerKind { screen, prompt, qr, menu, keyWait, print, gateway, request };

struct Rule {
    int line = 0;
    bool every = false; // "each": fires on every occurrence
    TriggerKind trigger = TriggerKind::screen;
    std::string match; // screen text, gateway kind or request name
    Millis delay = 0;
    Action action;
    bool fired = false;
};

struct TimedAction {
    Millis at = 0;
    Action action;
};

enum class CheckOp { equals, contains, absent, present };

struct Check {
    std::string path;
    CheckOp op = CheckOp::equals;
    std::string value;
};

enum class ExpectKind {
    startup,
    startupRequests,
    requestOrder,
    request,
    delivered,
    result,
    posEvent,
    gatewayKinds,
    gateway,
    receipt,
    journal,
    variables,
    trace,
    screen,
    posScreen
};

struct Expectation {
    int line = 0;
    ExpectKind kind = ExpectKind::request;
    std::string text;    // the expectation as written, for reports
    std::string subject; // request name, event name, gateway kind...
    int index = 1;       // 1-based; -1 = the last one
    bool countOnly = false;
    std::size_t count = 0;
    std::vector<std::string> words; // sequences, texts
    std::vector<Check> checks;
};

struct HostSetup {
    std::vector<std::pair<std::string, std::string>> variables;
    HostConfig host;
    GatewayConfig gateway;
    bool gatewayLatencySet = false;
    std::vector<Fault> faults;
    struct Order {
        std::string id;
        std::int64_t amount = 0;
        std::string currency;
    };
    std::vector<Order> orders;
    int gatewayCounter = -1; // "gateway counter N"; -1: as the gateway's file has it
};

struct Scenario {
    std::string file;
    std::string name;
    HostSetup setup;
    std::vector<TimedAction> timeline;
    std::vector<Rule> rules;
    std::vector<Expectation> expectations;
    Millis runLimit = 24LL * 3600 * 1000;
};

struct ParseError {
    std::string file;
    int line = 0;
    std::string message;
    std::string text() const { return file + ":" + std::to_string(line) + ": " + message; }
};

// Parses a whole scenario text; every malformed line is reported, none
// throws. True when there are no errors.
bool parseScenario(const std::string& file, const std::string& text, Scenario& scenario,
                   std::vector<ParseError>& errors);
// One action line (as typed in the interactive mode).
bool parseActionLine(const std::string& text, Action& action, std::string& error);
// "20s", "1.5s", "500ms", "2m", or a plain number of seconds.
bool parseDuration(const std::string& text, Millis& value);

} // namespace sim
