#include <cstdlib>
#include <map>

#include "sim/scenario/scenario_parser.h"

namespace sim {

bool parseInteger(const std::string& text, std::int64_t& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0') {
        return false;
    }
    value = parsed;
    return true;
}

std::string joinFrom(const Tokens& tokens, std::size_t from) {
    std::string out;
    for (std::size_t i = from; i < tokens.size(); ++i) {
        out += (i == from ? "" : " ") + tokens[i].text;
    }
    return out;
}

// Words after the verb that are all key=value pairs.
bool fieldsFrom(const Tokens& tokens, std::size_t from, FieldList& fields, std::string& error) {
    for (std::size_t i = from; i < tokens.size(); ++i) {
        if (!tokens[i].hasOp('=') || tokens[i].op == 0 || tokens[i].negated) {
            error = "\"" + tokens[i].text + "\" is not a FIELD=value pair";
            return false;
        }
        fields.emplace_back(tokens[i].key(), tokens[i].value());
    }
    return true;
}

bool needWords(const Tokens& tokens, std::size_t count, const char* usage, std::string& error) {
    if (tokens.size() < count) {
        error = std::string("usage: ") + usage;
        return false;
    }
    return true;
}

namespace {

bool parseAnswer(const Tokens& tokens, Action& action, std::string& error) {
    const std::string& verb = tokens[0].text;
    Answer& answer = action.answer;
    action.kind = ActionKind::answer;
    if (verb == "input") {
        answer.kind = Answer::Kind::input;
        if (!needWords(tokens, 2, "input \"TEXT\"", error)) {
            return false;
        }
        answer.text = tokens[1].text;
        return fieldsFrom(tokens, 2, answer.fields, error);
    }
    if (verb == "confirm" || verb == "timeout") {
        answer.kind = verb == "confirm" ? Answer::Kind::confirm : Answer::Kind::timeout;
        return fieldsFrom(tokens, 1, answer.fields, error);
    }
    if (verb == "select" || verb == "result") {
        answer.kind = verb == "select" ? Answer::Kind::select : Answer::Kind::result;
        if (!needWords(tokens, 2,
                       verb == "select" ? "select OPTION" : "result CODE [FIELD=value...]",
                       error)) {
            return false;
        }
        answer.text = tokens[1].text;
        return fieldsFrom(tokens, 2, answer.fields, error);
    }
    if (verb == "cancel") {
        answer.kind = Answer::Kind::cancel;
        std::size_t next = 1;
        if (tokens.size() > 1 && !tokens[1].hasOp('=')) {
            answer.where = tokens[1].text;
            next = 2;
        }
        if (answer.where != "pinpad" && answer.where != "pos") {
            error = "cancel on pinpad or pos, not \"" + answer.where + "\"";
            return false;
        }
        return fieldsFrom(tokens, next, answer.fields, error);
    }
    // key pinpad|pos KEY
    answer.kind = Answer::Kind::key;
    if (!needWords(tokens, 3, "key pinpad|pos KEY", error)) {
        return false;
    }
    answer.where = tokens[1].text;
    answer.text = tokens[2].text;
    if (answer.where != "pinpad" && answer.where != "pos") {
        error = "key on pinpad or pos, not \"" + answer.where + "\"";
        return false;
    }
    return fieldsFrom(tokens, 3, answer.fields, error);
}

} // namespace

bool parseAction(const Tokens& tokens, Action& action, std::string& error) {
    if (tokens.empty()) {
        error = "an action is missing";
        return false;
    }
    static const std::map<std::string, ActionKind> simple{
        {"startup", ActionKind::startup}, {"shutdown", ActionKind::shutdown},
        {"restart", ActionKind::restart}, {"timer", ActionKind::timer},
        {"wait", ActionKind::wait},       {"pos", ActionKind::pos},
        {"stop", ActionKind::stop},
    };
    if (tokens[0].text == "try") {
        action.optional = true;
        return parseAction(Tokens(tokens.begin() + 1, tokens.end()), action, error);
    }
    const std::string& verb = tokens[0].text;
    const auto found = simple.find(verb);
    if (found != simple.end()) {
        action.kind = found->second;
        return fieldsFrom(tokens, 1, action.fields, error);
    }
    if (verb == "input" || verb == "confirm" || verb == "timeout" || verb == "select" ||
        verb == "result" || verb == "cancel" || verb == "key") {
        return parseAnswer(tokens, action, error);
    }
    if (verb == "entry" || verb == "command" || verb == "event" || verb == "method") {
        action.kind = verb == "entry"     ? ActionKind::entry
                      : verb == "command" ? ActionKind::command
                      : verb == "event"   ? ActionKind::event
                                          : ActionKind::method;
        if (!needWords(tokens, 2, (verb + " NAME [FIELD=value...]").c_str(), error)) {
            return false;
        }
        action.name = tokens[1].text;
        return fieldsFrom(tokens, 2, action.fields, error);
    }
    if (verb == "pinpad-online" || verb == "function" || verb == "raw") {
        action.kind = verb == "pinpad-online" ? ActionKind::pinpadOnline
                      : verb == "function"    ? ActionKind::function
                                              : ActionKind::raw;
        if (tokens.size() != 2) {
            error = "usage: " + verb +
                    (verb == "raw"        ? " \"TEXT\""
                     : verb == "function" ? " NUMBER"
                                          : " 0|1");
            return false;
        }
        action.value = tokens[1].text;
        return true;
    }
    if (verb == "refresh-settings") {
        action.kind = ActionKind::command;
        action.name = "RefreshSettings";
        return fieldsFrom(tokens, 1, action.fields, error);
    }
    if (verb == "fault") {
        action.kind = ActionKind::fault;
        if (tokens.size() == 2 && tokens[1].text == "clear") {
            action.name = "clear";
            return true;
        }
        return ScenarioParser::faultFrom(tokens, action.fault, error);
    }
    if (verb == "customer") {
        action.kind = ActionKind::customer;
        if (tokens.size() != 2 || (tokens[1].text != "pays" && tokens[1].text != "opens" &&
                                   tokens[1].text != "gives-up")) {
            error = "usage: customer pays|opens|gives-up";
            return false;
        }
        action.name = tokens[1].text;
        return true;
    }
    if (verb == "set-var" || verb == "clear-var") {
        action.kind = verb == "set-var" ? ActionKind::setVar : ActionKind::clearVar;
        if (tokens.size() != (verb == "set-var" ? 3u : 2u)) {
            error = verb == "set-var" ? "usage: set-var NAME \"value\"" : "usage: clear-var NAME";
            return false;
        }
        action.name = tokens[1].text;
        action.value = verb == "set-var" ? tokens[2].text : "";
        return true;
    }
    error = "unknown action \"" + verb + "\"";
    return false;
}

bool parseActionLine(const std::string& text, Action& action, std::string& error) {
    Tokens tokens;
    if (!tokenizeLine(text, tokens, error)) {
        return false;
    }
    return parseAction(tokens, action, error);
}

bool parseDuration(const std::string& text, Millis& value) {
    if (text.empty()) {
        return false;
    }
    double scale = 1000.0;
    std::string number = text;
    if (number.size() > 2 && number.compare(number.size() - 2, 2, "ms") == 0) {
        scale = 1.0;
        number.resize(number.size() - 2);
    } else if (number.back() == 's') {
        number.pop_back();
    } else if (number.back() == 'm') {
        scale = 60000.0;
        number.pop_back();
    } else if (number.back() == 'h') {
        scale = 3600000.0;
        number.pop_back();
    }
    char* end = nullptr;
    const double parsed = std::strtod(number.c_str(), &end);
    if (number.empty() || *end != '\0' || parsed < 0 || parsed > 1e9) {
        return false;
    }
    value = static_cast<Millis>(parsed * scale + 0.5);
    return true;
}

} // namespace sim
