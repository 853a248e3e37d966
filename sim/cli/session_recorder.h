// --record FILE: what a person did in the interactive mode, written as a
// scenario that plays it again: the set-up the session started from (the
// store's variables, what the gateway knew, the scenario given), each action
// at the virtual time it was typed, and expectations of what came out.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "sim/gateway/gateway_state.h"
#include "sim/host/event_queue.h"
#include "sim/host/run_record.h"

namespace sim {

class SessionRecorder {
  public:
    // The state the session starts from and the scenario text it was given
    // (its expectations are left out: the recording makes its own).
    void begin(const std::map<std::string, std::string>& store, const GatewayState& gateway,
               const std::string& baseText);
    // An action line the person typed and that was carried out at that time.
    void action(Millis at, const std::string& line);
    // The person quit while more was due: the replay stops there too.
    void stop(Millis at);

    // The scenario text, with expectations of what the run left behind.
    std::string text(const RunRecord& record,
                     const std::map<std::string, std::string>& storeAtEnd) const;

  private:
    std::string setup_;
    std::vector<std::string> lines_;
};

// A text in scenario quotes, escaped so that the scenario reader gives it
// back byte for byte.
std::string scenarioQuoted(const std::string& text);

// Expectations of a finished run that hold on every replay: the values that
// follow the wall clock or chance (dates, times, ids the module makes up)
// are left out of them (recorded_expectations.cpp).
std::string recordedExpectations(const RunRecord& record,
                                 const std::map<std::string, std::string>& storeAtEnd);

} // namespace sim
