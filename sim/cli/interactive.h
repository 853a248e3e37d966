// The interactive mode: a person plays the customer and the operator at the
// keyboard, typing the same actions a scenario file holds.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>

#include "sim/cli/transcript.h"
#include "sim/host/event_queue.h"
#include "sim/host/host_sim.h"
#include "sim/scenario/scenario.h"

namespace sim {

class ActionPerformer {
  public:
    virtual ~ActionPerformer() = default;
    virtual void perform(const Action& action, std::uint64_t target) = 0;
    virtual HostSim& host() = 0;
    virtual EventQueue& queue() = 0;
    virtual Transcript& transcript() = 0;
};

class Interactive {
  public:
    Interactive(ActionPerformer& run, std::istream& in, std::ostream& out)
        : run_(run), in_(in), out_(out) {}

    // True when nothing more happens now without a person: the host waits
    // for an answer, or nothing is due at all.
    bool shouldAsk() const;
    // Reads and carries out one line; false when the person is done.
    bool ask();

  private:
    void describe() const;
    void waitFor(Millis duration);
    void runNext();

    ActionPerformer& run_;
    std::istream& in_;
    std::ostream& out_;
};

// The help text of the interactive mode.
const char* interactiveHelp();

} // namespace sim
