#include "sim/scenario/scenario_runner.h"

#include <iostream>

#include "sim/checks/invariants.h"
#include "sim/cli/interactive.h"
#include "sim/host/module_loader.h"
#include "sim/host/run_record.h"
#include "sim/host/variable_store.h"
#include "sim/scenario/expectations.h"

namespace sim {

namespace {

class LibraryModule : public ModuleInstance {
  public:
    explicit LibraryModule(const std::string& path) : path_(path) {}
    bool load(std::string& error) override { return loader_.load(path_, error); }
    void unload() override { loader_.unload(); }
    std::int32_t startup(StartupRecord& record) override { return loader_.startup(record); }
    std::int32_t shutdown() override { return loader_.shutdown(); }
    std::int32_t deliver(const std::string& message, std::int32_t capacity,
                         std::string& reply) override {
        return loader_.onReceive(message, capacity, reply);
    }

  private:
    std::string path_;
    ModuleLoader loader_;
};

std::string fieldOr(const FieldList& fields, const std::string& name, const std::string& fallback) {
    for (const auto& field : fields) {
        if (field.first == name) {
            return field.second;
        }
    }
    return fallback;
}

const char* triggerName(TriggerKind kind) {
    switch (kind) {
    case TriggerKind::screen:
        return "screen";
    case TriggerKind::prompt:
        return "prompt";
    case TriggerKind::qr:
        return "qr";
    case TriggerKind::menu:
        return "menu";
    case TriggerKind::keyWait:
        return "keywait";
    case TriggerKind::print:
        return "print";
    case TriggerKind::gateway:
        return "gateway";
    case TriggerKind::request:
        return "request";
    }
    return "?";
}

bool triggerFits(TriggerKind trigger, InteractionKind kind) {
    switch (trigger) {
    case TriggerKind::screen:
        return kind == InteractionKind::input || kind == InteractionKind::qr ||
               kind == InteractionKind::waiting || kind == InteractionKind::menu;
    case TriggerKind::prompt:
        return kind == InteractionKind::input;
    case TriggerKind::qr:
        return kind == InteractionKind::qr;
    case TriggerKind::menu:
        return kind == InteractionKind::menu;
    case TriggerKind::keyWait:
        return kind == InteractionKind::keyWait;
    case TriggerKind::print:
        return kind == InteractionKind::print;
    default:
        return false;
    }
}

// The module as the host reaches it, with every delivery noted for the
// invariants.
class ObservedModule : public ModulePort {
  public:
    ObservedModule(ModulePort& module, EventQueue& queue, const RunRecord& record,
                   RunObservations& seen)
        : module_(module), queue_(queue), record_(record), seen_(seen) {}
    std::int32_t deliver(const std::string& message, std::int32_t capacity,
                         std::string& reply) override {
        ObservedDelivery delivery;
        delivery.at = queue_.now();
        delivery.text = message;
        delivery.name = messageName(message);
        delivery.requestsBefore = record_.requests.size();
        delivery.gatewayBefore = record_.gateway.size();
        delivery.returned = module_.deliver(message, capacity, reply);
        seen_.deliveries.push_back(delivery);
        return delivery.returned;
    }

  private:
    static std::string messageName(const std::string& message) {
        const XmlParseResult parsed = parseXml(message);
        for (const char* container : {"VORTAXIS_EVENT", "VORTAXIS_METHOD"}) {
            const XmlElement* holder = parsed.root.find(container);
            if (holder != nullptr && !holder->children.empty()) {
                return holder->children.front().name;
            }
        }
        return "raw";
    }

    ModulePort& module_;
    EventQueue& queue_;
    const RunRecord& record_;
    RunObservations& seen_;
};

class ScenarioRun : public HostListener, public ActionPerformer {
  public:
    ScenarioRun(const Scenario& scenario, const RunSettings& settings)
        : scenario_(scenario), settings_(settings),
          out_(settings.out != nullptr ? *settings.out : std::cout),
          transcript_(out_, settings.level), host_(queue_, transcript_, store_, record_),
          library_(settings.modulePath),
          module_(settings.module != nullptr ? *settings.module : library_),
          observed_(module_, queue_, record_, seen_) {
        transcript_.setClock(&queue_);
    }

    ~ScenarioRun() override { queue_.clear(); }

    RunReport run();

    // ActionPerformer
    void perform(const Action& action, std::uint64_t target) override;
    HostSim& host() override { return host_; }
    EventQueue& queue() override { return queue_; }
    Transcript& transcript() override { return transcript_; }

    // HostListener
    void interactionStarted(const Interaction& interaction) override;
    void gatewayMessage(const std::string& kind) override;
    void requestSeen(const std::string& name) override;

  private:
    bool prepare(RunReport& report);
    void schedule();
    void loop();
    void startup(const FieldList& options);
    void shutdown();
    void restart();
    void problem(const Action& action, const std::string& text);
    void fire(Rule& rule, std::uint64_t target);

    Scenario scenario_;
    const RunSettings& settings_;
    std::ostream& out_;
    EventQueue queue_;
    Transcript transcript_;
    VariableStore store_;
    RunRecord record_;
    HostSim host_;
    LibraryModule library_;
    ModuleInstance& module_;
    RunObservations seen_;
    ObservedModule observed_;
    bool started_ = false;
    std::string versionText_;
    std::string hostName_;
};

bool ScenarioRun::prepare(RunReport& report) {
    std::string error;
    if (!settings_.storePath.empty() && !store_.attachFile(settings_.storePath, error)) {
        report.failures.push_back(error);
        return false;
    }
    const HostSetup& setup = scenario_.setup;
    for (const auto& variable : setup.variables) {
        store_.set(variable.first, variable.second);
    }
    host_.config() = setup.host;
    host_.config().journalPath = settings_.journalPath;
    host_.config().receiptsPath = settings_.receiptsPath;
    host_.config().qrStyle = settings_.qrStyle;
    host_.gateway().config() = setup.gateway;
    for (const Fault& fault : setup.faults) {
        host_.gateway().addFault(fault);
    }
    for (const HostSetup::Order& order : setup.orders) {
        host_.gateway().addOrder(order.id, order.amount, order.currency);
    }
    if (!module_.load(error)) {
        report.failures.push_back(error);
        return false;
    }
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
        queue_.scheduleAt(timed.at, "line " + std::to_string(action.line),
                          [this, action] { perform(action, 0); });
    }
}

void ScenarioRun::loop() {
    std::size_t steps = 0;
    Interactive person(*this, settings_.input != nullptr ? *settings_.input : std::cin, out_);
    for (;;) {
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
    transcript_.line(Level::normal, "scenario",
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
    for (const std::string& violation : record_.violations) {
        report.failures.push_back(scenario_.file + ": the module broke the host protocol at " +
                                  violation);
    }
    for (const std::string& text : record_.problems) {
        report.failures.push_back(scenario_.file + ": " + text);
    }
    const std::vector<std::string> failed = checkExpectations(scenario_, record_, store_);
    report.failures.insert(report.failures.end(), failed.begin(), failed.end());
    if (settings_.checkInvariants) {
        for (const std::string& broken : checkInvariants(record_, store_, seen_)) {
            report.failures.push_back(scenario_.file + ": " + broken);
        }
    }
    if (settings_.extraChecks) {
        std::vector<std::string> more;
        settings_.extraChecks(record_, store_, seen_, more);
        for (const std::string& text : more) {
            report.failures.push_back(scenario_.file + ": " + text);
        }
    }
    return report;
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

void ScenarioRun::problem(const Action& action, const std::string& text) {
    if (action.line == 0) {
        out_ << "cannot do that: " << text << '\n'; // typed by a person: told, not counted
        return;
    }
    transcript_.line(Level::normal, "PROBLEM",
                     scenario_.file + ":" + std::to_string(action.line) + ": " + text);
    record_.problems.push_back("line " + std::to_string(action.line) + " at " +
                               formatMillis(queue_.now()) + ": " + text);
}

void ScenarioRun::perform(const Action& action, std::uint64_t target) {
    std::string trouble;
    bool ok = true;
    switch (action.kind) {
    case ActionKind::startup:
        startup(action.fields);
        break;
    case ActionKind::shutdown:
        shutdown();
        break;
    case ActionKind::restart:
        restart();
        break;
    case ActionKind::pinpadOnline:
        ok = host_.pinpadOnline(action.value, trouble);
        break;
    case ActionKind::pos:
        ok = host_.posTransaction(action.fields, trouble);
        break;
    case ActionKind::entry:
        ok = host_.entryPoint(action.name, action.fields, trouble);
        break;
    case ActionKind::function:
        ok = host_.pinpadFunction(action.value, trouble);
        break;
    case ActionKind::command:
        ok = host_.command(action.name, action.fields, trouble);
        break;
    case ActionKind::timer:
        ok = host_.timerNow(trouble);
        break;
    case ActionKind::event:
        host_.rawEvent(action.name, action.fields);
        break;
    case ActionKind::method:
        host_.rawMethod(action.name, action.fields);
        break;
    case ActionKind::raw:
        host_.rawText(action.value);
        break;
    case ActionKind::answer:
        ok = host_.answer(target, action.answer, trouble);
        break;
    case ActionKind::customer:
        transcript_.line(Level::normal, "customer", action.name);
        ok = action.name == "pays"    ? host_.gateway().customerPays(trouble)
             : action.name == "opens" ? host_.gateway().customerOpens(trouble)
                                      : host_.gateway().customerGivesUp(trouble);
        break;
    case ActionKind::setVar:
        store_.set(action.name, action.value);
        break;
    case ActionKind::clearVar:
        store_.erase(action.name);
        break;
    case ActionKind::wait:
        break;
    }
    if (!ok && action.optional) {
        transcript_.line(Level::normal, "note", "skipped: " + trouble);
    } else if (!ok) {
        problem(action, trouble);
    }
}

void ScenarioRun::fire(Rule& rule, std::uint64_t target) {
    rule.fired = true;
    const Action action = rule.action;
    transcript_.line(Level::verbose, "rule",
                     "line " + std::to_string(rule.line) + " (" + triggerName(rule.trigger) +
                         ") acts in " + formatMillis(rule.delay));
    queue_.schedule(rule.delay, "line " + std::to_string(rule.line),
                    [this, action, target] { perform(action, target); });
}

void ScenarioRun::interactionStarted(const Interaction& interaction) {
    bool onceFired = false;
    for (Rule& rule : scenario_.rules) {
        if (!triggerFits(rule.trigger, interaction.kind) ||
            (!rule.every && (rule.fired || onceFired))) {
            continue;
        }
        if (!rule.match.empty() && interaction.text.find(rule.match) == std::string::npos) {
            continue;
        }
        onceFired = onceFired || !rule.every;
        fire(rule, interaction.id);
    }
}

void ScenarioRun::gatewayMessage(const std::string& kind) {
    bool onceFired = false;
    for (Rule& rule : scenario_.rules) {
        if (rule.trigger != TriggerKind::gateway || (!rule.every && (rule.fired || onceFired)) ||
            (rule.match != "*" && rule.match != kind)) {
            continue;
        }
        onceFired = onceFired || !rule.every;
        fire(rule, 0);
    }
}

void ScenarioRun::requestSeen(const std::string& name) {
    bool onceFired = false;
    for (Rule& rule : scenario_.rules) {
        if (rule.trigger != TriggerKind::request || (!rule.every && (rule.fired || onceFired)) ||
            rule.match != name) {
            continue;
        }
        onceFired = onceFired || !rule.every;
        fire(rule, 0);
    }
}

} // namespace

RunReport runScenario(const Scenario& scenario, const RunSettings& settings) {
    ScenarioRun run(scenario, settings);
    return run.run();
}

} // namespace sim
