#include "sim/scenario/scenario_run.h"

namespace sim {

namespace {

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

} // namespace

void ScenarioRun::problem(const Action& action, const std::string& text) {
    if (action.line == 0) {
        out_ << "cannot do that: " << text << '\n'; // typed by a person: told, not counted
        return;
    }
    transcript_.line(Level::brief, "PROBLEM",
                     scenario_.file + ":" + std::to_string(action.line) + ": " + text);
    record_.problems.push_back("line " + std::to_string(action.line) + " at " +
                               formatMillis(queue_.now()) + ": " + text);
}

bool ScenarioRun::perform(const Action& action, std::uint64_t target) {
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
        transcript_.line(Level::brief, "customer", action.name);
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
    case ActionKind::fault:
        changeFaults(action);
        break;
    case ActionKind::stop:
        transcript_.line(Level::brief, "host", "the run stops here");
        stopped_ = true;
        queue_.clear();
        break;
    }
    if (!ok && action.optional) {
        transcript_.line(Level::normal, "note", "skipped: " + trouble);
    } else if (!ok) {
        problem(action, trouble);
    }
    return ok;
}

void ScenarioRun::changeFaults(const Action& action) {
    if (action.name == "clear") {
        host_.gateway().clearFaults();
        transcript_.line(Level::brief, "gateway", "faults cleared: it behaves from now on");
        return;
    }
    Fault fault = action.fault;
    fault.line = action.line;
    host_.gateway().addFault(fault);
    transcript_.line(Level::brief, "gateway",
                     "fault from now on: " + fault.kind + " " + faultModeName(fault.mode));
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

} // namespace sim
