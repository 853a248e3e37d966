// One long run of the module in this process: the simulated host, gateway and
// customer play transaction after transaction, and after each one the run
// checks its single result and that nothing of it is left behind.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "sim/checks/invariants.h"
#include "sim/cli/transcript.h"
#include "sim/host/event_queue.h"
#include "sim/host/host_sim.h"
#include "sim/host/in_process_module.h"
#include "sim/host/run_record.h"
#include "sim/host/variable_store.h"
#include "sim/scenario/scenario_run.h"
#include "sim/soak/soak_mix.h"

namespace sim {

// What is registered with the host, and the names in the module's own
// handler maps.
struct Registrations {
    std::set<std::string> entryPoints;
    std::map<std::string, std::string> intercepts;
    std::set<std::string> subscriptions;
    bool posRegistered = false;
    std::set<std::string> moduleHandlers; // return events and registered names
    std::set<std::string> moduleEntryPoints;
};

class SoakRun : public HostListener {
  public:
    SoakRun();
    ~SoakRun() override;
    SoakRun(const SoakRun&) = delete;
    SoakRun& operator=(const SoakRun&) = delete;

    // Startup and the pinpad coming online; false with failures when the
    // module does not start.
    bool start(std::vector<std::string>& failures);
    // One transaction of that kind, numbered from 1; what went wrong is
    // appended to failures, prefixed with the number.
    void run(SoakKind kind, int number, std::vector<std::string>& failures);
    void stop();
    // Whether the transcript of what follows is written to out (null: not).
    void show(std::ostream* out);
    HostSim& host() { return host_; }
    VariableStore& store() { return store_; }

    void interactionStarted(const Interaction& interaction) override;

  private:
    struct LastSale {
        std::string ref;
        std::string code;
    };

    void begin(SoakKind kind, int number);
    void beginQuery(int number);
    void drain(std::vector<std::string>& failures);
    void later(Millis delay, const std::string& label, std::function<bool(std::string&)> action);
    Registrations snapshot() const;

    // Checks (soak_checks.cpp); each appends what it finds to failures.
    void checkSale(std::vector<std::string>& failures);
    void checkQuery(std::vector<std::string>& failures);
    void checkReversal(std::vector<std::string>& failures);
    void checkNothingLeft(std::vector<std::string>& failures);
    void checkRegistrations(std::vector<std::string>& failures);
    void checkBooks(std::vector<std::string>& failures);
    std::string variable(const std::string& name) const;

    std::ostream silent_;
    EventQueue queue_;
    Transcript transcript_;
    VariableStore store_;
    RunRecord record_;
    HostSim host_;
    InProcessModule module_;
    RunObservations seen_;    // what the module was handed, for the ledger
    ObservedModule observed_; // the module as the host reaches it
    bool started_ = false;

    SoakKind kind_ = SoakKind::qrPurchase;
    std::string ref_;
    std::string query_;            // the command of a receipt query
    int queryTurn_ = 0;            // which query comes next
    bool reversalPending_ = false; // a reversal record waits for the next sale
    bool reversalWasPending_ = false;
    LastSale last_;
    std::vector<std::string> actionProblems_;
    Registrations baseline_;
    std::set<SoakKind> kindsSeen_; // module handler names may be added in a kind's first run
};

} // namespace sim
