// The interactive mode: a person plays the customer and the operator at the
// keyboard, typing the same actions a scenario file holds.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>

#include "sim/cli/line_input.h"
#include "sim/cli/session_recorder.h"
#include "sim/cli/transcript.h"
#include "sim/host/event_queue.h"
#include "sim/host/host_sim.h"
#include "sim/host/variable_store.h"
#include "sim/scenario/scenario.h"

namespace sim {

class ActionPerformer {
  public:
    virtual ~ActionPerformer() = default;
    // False when the action could not be carried out (and was reported).
    virtual bool perform(const Action& action, std::uint64_t target) = 0;
    virtual HostSim& host() = 0;
    virtual EventQueue& queue() = 0;
    virtual Transcript& transcript() = 0;
    virtual VariableStore& store() = 0;
};

class Interactive {
  public:
    // With a recorder, every action carried out is written down with its time.
    Interactive(ActionPerformer& run, std::istream& in, std::ostream& out,
                SessionRecorder* recorder = nullptr)
        : run_(run), out_(out), lines_(in, out), recorder_(recorder) {}

    // True when nothing more happens now without a person: the host waits
    // for an answer, or nothing is due at all.
    bool shouldAsk() const;
    // Reads and carries out one line; false when the person is done.
    bool ask();

  private:
    void describe() const;
    void waitFor(Millis duration);
    void runNext();
    bool quit();
    void act(const std::string& line);
    // interactive_status.cpp: the opening hint, status, what quitting leaves.
    void openingHint() const;
    void status() const;
    std::string openPayment() const;

    ActionPerformer& run_;
    std::ostream& out_;
    LineInput lines_;
    SessionRecorder* recorder_;
    bool hinted_ = false;
    bool warnedOnQuit_ = false;
};

// The help text of the interactive mode.
const char* interactiveHelp();

} // namespace sim
