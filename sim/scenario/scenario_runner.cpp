#include "sim/scenario/scenario_runner.h"

#include "sim/checks/ledger.h"
#include "sim/scenario/expectations.h"
#include "sim/scenario/failure_context.h"
#include "sim/scenario/scenario_run.h"

namespace sim {

namespace {

std::string fieldOr(const FieldList& fields, const std::string& name, const std::string& fallback) {
    for (const auto& field : fields) {
        if (field.first == name) {
            return field.second;
        }
    }
    return fallback;
}

} // namespace

bool ScenarioRun::prepare(RunReport& report) {
    if (!attachStoreFiles(report)) {
        return false;
    }
    beginRecording();
    std::string error;
    const HostSetup& setup = scenario_.setup;
    for (const auto& variable : setup.variables) {
        store_.set(variable.first, variable.second);
    }
    host_.config() = setup.host;
    host_.config().journalPath = settings_.journalPath;
    host_.config().receiptsPath = settings_.receiptsPath;
    host_.config().qrStyle = settings_.qrStyle;
    host_.gateway().config() = setup.gateway;
    host_.gateway().setCalendar(settings_.calendar);
    for (const Fault& fault : setup.faults) {
        host_.gateway().addFault(fault);
    }
    for (const HostSetup::Order& order : setup.orders) {
        host_.gateway().addOrder(order.id, order.amount, order.currency);
    }
    if (setup.gatewayCounter >= 0) {
        host_.gateway().setCounter(setup.gatewayCounter);
    }
    if (!module_.load(error)) {
        report.failures.push_back(plainFailure("module", scenario_.file, error));
        return false;
    }
    module_.followClock(&queue_, settings_.calendar, settings_.seed);
    host_.setModule(&observed_);
    host_.setListener(this);
    return true;
}

void ScenarioRun::schedule() {
    bool explicitStartup = false;
    for (const TimedAction& timed : scenario_.timeline) {
        explicitStartup = explicitStartup || timed.action.kind == ActionKind::startup;
    }
    if (!explicitStartup) {
        queue_.scheduleAt(0, "Startup", [this] { startup({}); });
    }
    for (const TimedAction& timed : scenario_.timeline) {
        const Action action = timed.action;
        queue_.scheduleAfterDue(timed.at, "line " + std::to_string(action.line),
                                [this, action] { perform(action, 0); });
    }
}

void ScenarioRun::loop() {
    std::size_t steps = 0;
    Interactive person(*this, settings_.input != nullptr ? *settings_.input : std::cin, out_,
                       settings_.recordPath.empty() ? nullptr : &recorder_);
    for (;;) {
        if (stopped_) {
            return;
        }
        if (settings_.interactive && person.shouldAsk()) {
            if (!person.ask()) {
                return;
            }
            continue;
        }
        if (!queue_.hasForeground()) {
            return;
        }
        if (queue_.nextTime() > scenario_.runLimit) {
            seen_.endedNaturally = false;
            record_.problems.push_back("the run reached its limit of " +
                                       formatMillis(scenario_.runLimit) +
                                       " with events still due (next: " + queue_.nextLabel() + ")");
            return;
        }
        if (++steps > 200000) {
            seen_.endedNaturally = false;
            record_.problems.push_back("more than 200000 events: the run does not come to an end");
            return;
        }
        queue_.runNext();
    }
}

RunReport ScenarioRun::run() {
    RunReport report;
    transcript_.line(Level::brief, "scenario",
                     (scenario_.name.empty() ? scenario_.file : scenario_.name) + " (" +
                         scenario_.file + ")");
    if (!prepare(report)) {
        return report;
    }
    report.ran = true;
    schedule();
    loop();
    seen_.awaitingPerson = host_.awaitingPerson();
    if (started_) {
        shutdown();
    }
    host_.setModule(nullptr);
    queue_.clear();
    module_.unload();
    module_.followClock(nullptr, settings_.calendar, settings_.seed);
    endRecording(report);
    this->report(report);
    return report;
}

// Everything the finished run is judged by, in the order a reader wants it:
// broken protocol, problems, expectations, invariants, then warnings.
void ScenarioRun::report(RunReport& report) {
    const std::string& file = scenario_.file;
    for (const std::string& violation : record_.violations) {
        report.failures.push_back(
            plainFailure("protocol", file, "the module broke the host protocol at " + violation));
    }
    for (const std::string& text : record_.problems) {
        report.failures.push_back(plainFailure("problem", file, text));
    }
    if (!store_.writeError().empty()) {
        report.failures.push_back(
            plainFailure("output", file, "the variable store: " + store_.writeError()));
    }
    const std::vector<Failure> failed = checkExpectations(scenario_, record_, store_, lines_);
    report.failures.insert(report.failures.end(), failed.begin(), failed.end());
    if (settings_.checkInvariants) {
        for (const std::string& broken : checkInvariants(record_, store_, seen_)) {
            report.failures.push_back(plainFailure("invariant", file, broken));
        }
    }
    if (settings_.checkLedger) {
        for (const std::string& broken : checkLedger(record_, store_.all(), seen_)) {
            report.failures.push_back(plainFailure("ledger", file, broken));
        }
    }
    if (settings_.extraChecks) {
        std::vector<std::string> more;
        settings_.extraChecks(record_, store_, seen_, more);
        for (const std::string& text : more) {
            report.failures.push_back(plainFailure("check", file, text));
        }
    }
    report.warnings = unfiredRules(scenario_, record_);
    if (scenario_.expectations.empty() && !settings_.interactive && !settings_.extraChecks) {
        report.warnings.push_back(plainFailure(
            "expectations", file, "the scenario has no expect lines: it passes whatever happens"));
    }
    report.output.results = record_.results;
    report.output.receipts = record_.receipts;
    report.output.journal = record_.journal;
    report.output.endedAt = queue_.now();
}

void ScenarioRun::startup(const FieldList& options) {
    versionText_ = fieldOr(options, "version", "2.0");
    hostName_ = fieldOr(options, "name", "klarna-sim");
    StartupRecord startupRecord;
    const std::string size = fieldOr(options, "size", "48");
    startupRecord.setU32(0, static_cast<std::uint32_t>(std::strtoul(size.c_str(), nullptr, 10)));
    startupRecord.setU32(
        4, fieldOr(options, "version", "2.0") == "null" ? 0 : addressOf(versionText_.c_str()));
    startupRecord.setU32(16, host_.context());
    startupRecord.setU32(28,
                         fieldOr(options, "name", "") == "null" ? 0 : addressOf(hostName_.c_str()));
    const bool noCallback = fieldOr(options, "callback", "") == "null";
    startupRecord.setU32(32, noCallback ? 0 : addressOf(HostSim::sendCallback()));
    if (!noCallback && startupRecord.u32(32) == 0 && module_.readsRecordAddresses()) {
        record_.problems.push_back(
            "the send callback's address does not fit the 32-bit startup record");
    }
    transcript_.line(Level::normal, "host->module",
                     "Startup (record size " + size + ", interface version " + versionText_ + ")");
    host_.beginStartup();
    const std::int32_t result = module_.startup(startupRecord);
    host_.endStartup();
    StartupCall call;
    call.result = result;
    const std::string written = startupRecord.versionWritten();
    call.versionWritten = written.substr(0, 7);
    call.byteAfterVersionKept = written[7] == '#';
    record_.startups.push_back(call);
    transcript_.line(
        Level::normal, "module",
        "Startup returned " + std::to_string(result) + ", version field \"" +
            (written.substr(0, 7) == "#######" ? std::string("unchanged") : call.versionWritten) +
            "\"");
    started_ = started_ || result == 0;
}

void ScenarioRun::shutdown() {
    const std::int32_t result = module_.shutdown();
    transcript_.line(Level::normal, "module", "Shutdown returned " + std::to_string(result));
    started_ = false;
}

void ScenarioRun::restart() {
    transcript_.line(Level::normal, "host", "restarting: the module is unloaded and loaded again");
    shutdown();
    seen_.restartsAtDelivery.push_back(seen_.deliveries.size());
    seen_.restartsAtRequest.push_back(record_.requests.size());
    seen_.restartsAtGateway.push_back(record_.gateway.size());
    seen_.storeAtRestart.push_back(store_.all());
    host_.setModule(nullptr);
    module_.unload();
    host_.forgetRegistrations();
    std::string error;
    if (!store_.reload(error)) {
        record_.problems.push_back("restart: " + error);
    }
    if (!module_.load(error)) {
        record_.problems.push_back("restart: " + error);
        return;
    }
    host_.setModule(&observed_);
    startup({});
}

RunReport runScenario(const Scenario& scenario, const RunSettings& settings) {
    ScenarioRun run(scenario, settings);
    return run.run();
}

} // namespace sim
