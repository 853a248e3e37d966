#include "sim/scenario/scenario_parser.h"
#include "sim/scenario/field_names.h"

namespace sim {

void ScenarioParser::line(int number, const std::string& text) {
    line_ = number;
    Tokens tokens;
    std::string error;
    if (!tokenizeLine(text, tokens, error)) {
        fail(error);
        return;
    }
    if (tokens.empty()) {
        return;
    }
    if (!directive(tokens, text, error)) {
        fail(error);
    }
}

bool ScenarioParser::directive(const Tokens& tokens, const std::string& text, std::string& error) {
    const std::string& word = tokens[0].text;
    if (word == "scenario") {
        scenario_.name = joinFrom(tokens, 1);
        return true;
    }
    if (word == "var") {
        return variable(tokens, error);
    }
    if (word == "lane") {
        if (tokens.size() != 3) {
            error = "usage: lane NAME \"value\"";
            return false;
        }
        scenario_.setup.host.laneVariables[tokens[1].text] = tokens[2].text;
        return true;
    }
    if (word == "pinpad") {
        FieldList fields;
        if (!fieldsFrom(tokens, 1, fields, error)) {
            return false;
        }
        for (const auto& field : fields) {
            scenario_.setup.host.pinpadDetails[field.first] = field.second;
        }
        return true;
    }
    if (word == "host") {
        return hostSetting(tokens, error);
    }
    if (word == "gateway") {
        return gatewaySetting(tokens, error);
    }
    if (word == "fault") {
        return fault(tokens, error);
    }
    if (word == "run-limit") {
        return tokens.size() == 2 && parseDuration(tokens[1].text, scenario_.runLimit)
                   ? true
                   : (error = "usage: run-limit DURATION", false);
    }
    if (word == "at") {
        return timed(tokens, error);
    }
    if (word == "on" || word == "each") {
        return rule(tokens, word == "each", error);
    }
    if (word == "expect") {
        return expectation(tokens, text, error);
    }
    error = "unknown directive \"" + word + "\" (see klarna-sim --help-scenario)";
    return false;
}

bool ScenarioParser::timed(const Tokens& tokens, std::string& error) {
    TimedAction timed;
    if (tokens.size() < 3 || !parseDuration(tokens[1].text, timed.at)) {
        error = "usage: at TIME ACTION (TIME like 0, 2s, 1.5s, 500ms, 2m)";
        return false;
    }
    timed.action.line = line_;
    if (!parseAction(Tokens(tokens.begin() + 2, tokens.end()), timed.action, error)) {
        return false;
    }
    scenario_.timeline.push_back(timed);
    return true;
}

bool ScenarioParser::rule(const Tokens& tokens, bool every, std::string& error) {
    static const std::map<std::string, TriggerKind> triggers{
        {"screen", TriggerKind::screen},   {"prompt", TriggerKind::prompt},
        {"qr", TriggerKind::qr},           {"menu", TriggerKind::menu},
        {"keywait", TriggerKind::keyWait}, {"print", TriggerKind::print},
        {"gateway", TriggerKind::gateway}, {"request", TriggerKind::request},
    };
    Rule rule;
    rule.line = line_;
    rule.every = every;
    const auto trigger = tokens.size() > 1 ? triggers.find(tokens[1].text) : triggers.end();
    if (trigger == triggers.end()) {
        error = "usage: on|each screen|prompt|qr|menu|keywait|print|gateway|request [MATCH] "
                "[after DURATION] ACTION";
        return false;
    }
    rule.trigger = trigger->second;
    std::size_t next = 2;
    const bool needsMatch =
        rule.trigger == TriggerKind::gateway || rule.trigger == TriggerKind::request;
    const bool mayMatch = rule.trigger == TriggerKind::screen ||
                          rule.trigger == TriggerKind::prompt || rule.trigger == TriggerKind::menu;
    if (needsMatch || (mayMatch && next < tokens.size() && tokens[next].text != "after" &&
                       isQuotedLike(tokens[next]))) {
        if (next >= tokens.size()) {
            error = tokens[1].text + " needs what to match";
            return false;
        }
        rule.match = tokens[next++].text;
    }
    if (next < tokens.size() && tokens[next].text == "after") {
        if (next + 1 >= tokens.size() || !parseDuration(tokens[next + 1].text, rule.delay)) {
            error = "after needs a DURATION";
            return false;
        }
        next += 2;
    }
    rule.action.line = line_;
    if (!parseAction(Tokens(tokens.begin() + static_cast<std::ptrdiff_t>(next), tokens.end()),
                     rule.action, error)) {
        return false;
    }
    scenario_.rules.push_back(rule);
    return true;
}

// A screen match is written in quotes (or is a word that is no action).
bool ScenarioParser::isQuotedLike(const Token& token) const {
    static const char* const verbs[] = {
        "input", "confirm",  "timeout", "select",    "result",        "cancel",
        "key",   "customer", "pos",     "entry",     "function",      "command",
        "event", "method",   "raw",     "startup",   "shutdown",      "restart",
        "timer", "wait",     "set-var", "clear-var", "pinpad-online", "refresh-settings",
        "try",   "fault",    "stop"};
    for (const char* verb : verbs) {
        if (token.text == verb) {
            return false;
        }
    }
    return true;
}

bool parseScenario(const std::string& file, const std::string& text, Scenario& scenario,
                   std::vector<ParseError>& errors) {
    scenario.file = file;
    const std::size_t before = errors.size();
    ScenarioParser parser(file, scenario, errors);
    int number = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        parser.line(++number, text.substr(start, end - start));
        start = end + 1;
    }
    checkNames(scenario, errors);
    return errors.size() == before;
}

} // namespace sim
