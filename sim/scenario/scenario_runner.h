// Runs one scenario against the module: loads it as a host does, plays the
// host, the devices, the gateway and the people, and checks what came out.
#pragma once

#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "sim/checks/invariants.h"
#include "sim/cli/transcript.h"
#include "sim/host/host_sim.h"
#include "sim/host/module_loader.h"
#include "sim/host/qr_render.h"
#include "sim/host/virtual_calendar.h"
#include "sim/scenario/failure.h"
#include "sim/scenario/scenario.h"

namespace sim {

// The module as a run drives it. A run loads the library named by
// RunSettings::modulePath unless it is given another instance.
class ModuleInstance : public ModulePort {
  public:
    virtual bool load(std::string& error) = 0;
    virtual void unload() = 0;
    virtual std::int32_t startup(StartupRecord& record) = 0;
    virtual std::int32_t shutdown() = 0;
    // Whether Startup reads the host's addresses from the 32-bit record (an
    // in-process module is given them directly).
    virtual bool readsRecordAddresses() const { return true; }
    // Has the module's clocks, UUIDs and random numbers follow the run's
    // virtual clock, calendar and seed where that can be done (a module in
    // this process); null clock: back to the machine's. A loaded library
    // keeps the machine's.
    virtual void followClock(const EventQueue* /*clock*/, const VirtualCalendar& /*calendar*/,
                             unsigned /*seed*/) {}
};

struct RunSettings {
    std::string modulePath;
    Level level = Level::normal;
    bool interactive = false;      // a person types the actions
    std::istream* input = nullptr; // where the person types (interactive mode)
    std::ostream* out = nullptr;
    std::string storePath;      // variable store file; empty: in memory only
    bool readOnlyStore = false; // read the store and the gateway's file, never write them
    std::string recordPath;     // interactive mode: write what the person did as a scenario
    std::string journalPath;
    std::string receiptsPath;
    QrStyle qrStyle = QrStyle::plain;
    ModuleInstance* module = nullptr; // null: the library at modulePath
    // What virtual time 0 is on the calendar (the gateway's payment times,
    // an in-process module's clock), and the seed of an in-process module's
    // UUIDs and random numbers.
    VirtualCalendar calendar;
    unsigned seed = 1;
    // The reversal and result invariants; off only for stand-in modules
    // that keep no reversal records.
    bool checkInvariants = true;
    // The ledger (sim/checks/ledger.h), after every run; off only for
    // stand-in modules that keep no records, receipts or journal.
    bool checkLedger = true;
    // More checks of the finished run (the fault matrix's own); each failure
    // is added to the report.
    std::function<void(const RunRecord&, const VariableStore&, const RunObservations&,
                       std::vector<std::string>&)>
        extraChecks;
};

// What a run produced for the POS, the printer and the journal.
struct RunOutput {
    std::vector<XmlElement> results; // the TransactionEvents
    std::vector<PrintedReceipt> receipts;
    std::vector<std::string> journal;
    Millis endedAt = 0; // the virtual time when the run ended
};

struct RunReport {
    bool ran = false;              // false: the module or a file could not be used
    bool badInput = false;         // the store or the gateway's file is malformed
    std::vector<Failure> failures; // failed expectations, violations, problems
    std::vector<Failure> warnings; // rules that never fired, a scenario that checks nothing
    RunOutput output;
    bool passed() const { return ran && failures.empty(); }
};

RunReport runScenario(const Scenario& scenario, const RunSettings& settings);

} // namespace sim
