#include <cstdlib>
#include <map>

#include "sim/scenario.h"
#include "sim/scenario_tokens.h"

namespace sim {

namespace {

using Tokens = std::vector<Token>;

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

bool parseAction(const Tokens& tokens, Action& action, std::string& error) {
    if (tokens.empty()) {
        error = "an action is missing";
        return false;
    }
    static const std::map<std::string, ActionKind> simple{
        {"startup", ActionKind::startup}, {"shutdown", ActionKind::shutdown},
        {"restart", ActionKind::restart}, {"timer", ActionKind::timer},
        {"wait", ActionKind::wait},       {"pos", ActionKind::pos},
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

class ScenarioParser {
  public:
    ScenarioParser(const std::string& file, Scenario& scenario, std::vector<ParseError>& errors)
        : file_(file), scenario_(scenario), errors_(errors) {}

    void line(int number, const std::string& text) {
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

  private:
    void fail(const std::string& message) { errors_.push_back(ParseError{file_, line_, message}); }

    bool directive(const Tokens& tokens, const std::string& text, std::string& error) {
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

    bool variable(const Tokens& tokens, std::string& error) {
        if (tokens.size() == 3 && !tokens[1].hasOp('=')) {
            scenario_.setup.variables.emplace_back(tokens[1].text, tokens[2].text);
            return true;
        }
        if (tokens.size() == 2 && tokens[1].hasOp('=') && tokens[1].op > 0) {
            scenario_.setup.variables.emplace_back(tokens[1].key(), tokens[1].value());
            return true;
        }
        error = "usage: var NAME \"value\"  (or var NAME=value)";
        return false;
    }

    bool repeatOptions(const Tokens& tokens, std::size_t from, int& start, int& times,
                       std::string& error) {
        for (std::size_t i = from; i < tokens.size(); ++i) {
            std::int64_t n = 0;
            if (tokens[i].text == "always") {
                times = 0;
            } else if (tokens[i].hasOp('=') && tokens[i].key() == "times" &&
                       parseInteger(tokens[i].value(), n) && n > 0) {
                times = static_cast<int>(n);
            } else if (tokens[i].hasOp('=') && tokens[i].key() == "from" &&
                       parseInteger(tokens[i].value(), n) && n > 0) {
                start = static_cast<int>(n);
            } else {
                error = "\"" + tokens[i].text + "\": expected times=N, from=N or always";
                return false;
            }
        }
        return true;
    }

    bool methodFault(const Tokens& tokens, MethodFault::Kind kind, std::string& error) {
        MethodFault fault;
        fault.kind = kind;
        fault.line = line_;
        std::size_t next = 3;
        if (tokens.size() < 3) {
            error = "usage: host " + tokens[1].text + " METHOD" +
                    (kind == MethodFault::Kind::replyTooSmall ? "" : " VALUE") +
                    " [from=N] [times=N|always]";
            return false;
        }
        fault.method = tokens[2].text;
        if (kind != MethodFault::Kind::replyTooSmall) {
            std::int64_t value = 0;
            if (tokens.size() < 4 || !parseInteger(tokens[3].text, value)) {
                error = "host " + tokens[1].text + " needs a number after the method";
                return false;
            }
            fault.value = static_cast<std::int32_t>(value);
            next = 4;
        }
        if (!repeatOptions(tokens, next, fault.start, fault.times, error)) {
            return false;
        }
        scenario_.setup.host.methodFaults.push_back(fault);
        return true;
    }

    bool hostSetting(const Tokens& tokens, std::string& error) {
        HostConfig& host = scenario_.setup.host;
        const std::string what = tokens.size() > 1 ? tokens[1].text : "";
        std::int64_t number = 0;
        if (what == "reply-too-small") {
            return methodFault(tokens, MethodFault::Kind::replyTooSmall, error);
        }
        if (what == "result") {
            return methodFault(tokens, MethodFault::Kind::result, error);
        }
        if (what == "big-reply") {
            return methodFault(tokens, MethodFault::Kind::bigReply, error);
        }
        if (tokens.size() < 3) {
            error = "usage: host SETTING VALUE (see klarna-sim --help-scenario)";
            return false;
        }
        const std::string& value = tokens[2].text;
        if (what == "master-gui" && tokens.size() == 3) {
            host.masterGuiName = value;
        } else if (what == "reply-capacity" && tokens.size() == 3 && parseInteger(value, number) &&
                   number >= 0) {
            host.offeredReplyCapacity = static_cast<std::int32_t>(number);
        } else if (what == "unknown-variables" && tokens.size() == 3 &&
                   (value == "default" || value == "absent")) {
            host.unknownVariableGivesDefault = value == "default";
        } else if (what == "timeout-result" && tokens.size() <= 4) {
            host.timeoutResult = value;
            host.timeoutText = tokens.size() == 4 ? tokens[3].text : "";
        } else if (what == "print-delay" && tokens.size() == 3 &&
                   parseDuration(value, host.printDelay)) {
        } else if (what == "print-result" && tokens.size() == 3) {
            host.printResult = value;
        } else if (what == "start-delay" && tokens.size() == 3 &&
                   parseDuration(value, host.startTransactionDelay)) {
        } else {
            error = "unknown or malformed host setting \"" + joinFrom(tokens, 1) + "\"";
            return false;
        }
        return true;
    }

    bool gatewaySetting(const Tokens& tokens, std::string& error) {
        GatewayConfig& gateway = scenario_.setup.gateway;
        const std::string what = tokens.size() > 1 ? tokens[1].text : "";
        std::int64_t number = 0;
        if (what == "latency" && tokens.size() == 3 &&
            parseDuration(tokens[2].text, gateway.latency)) {
            scenario_.setup.gatewayLatencySet = true;
        } else if (what == "credentials" && tokens.size() == 4) {
            gateway.username = tokens[2].text;
            gateway.password = tokens[3].text;
        } else if (what == "token" && tokens.size() == 3) {
            gateway.issuedToken = tokens[2].text;
            gateway.acceptedTokens.push_back(tokens[2].text);
        } else if (what == "accept-token" && tokens.size() == 3) {
            gateway.acceptedTokens.push_back(tokens[2].text);
        } else if (what == "order" && (tokens.size() == 4 || tokens.size() == 5) &&
                   parseInteger(tokens[3].text, number)) {
            scenario_.setup.orders.push_back(HostSetup::Order{
                tokens[2].text, number, tokens.size() == 5 ? tokens[4].text : "AUD"});
        } else if ((what == "wait-expiry" || what == "give-up") &&
                   (tokens.size() == 3 || tokens.size() == 4)) {
            (what == "wait-expiry" ? gateway.expiryCode : gateway.giveUpCode) = tokens[2].text;
            (what == "wait-expiry" ? gateway.expiryText : gateway.giveUpText) =
                tokens.size() == 4 ? tokens[3].text : "";
        } else {
            error = "unknown or malformed gateway setting \"" + joinFrom(tokens, 1) + "\"";
            return false;
        }
        return true;
    }

    bool fault(const Tokens& tokens, std::string& error) {
        static const std::map<std::string, FaultMode> modes{
            {"host-failure", FaultMode::hostFailure},
            {"no-reply", FaultMode::noReply},
            {"late", FaultMode::late},
            {"wrong-stan", FaultMode::wrongStan},
            {"wrong-type", FaultMode::wrongType},
            {"wrong-mtype", FaultMode::wrongMtype},
            {"bad-json", FaultMode::badJson},
            {"drop", FaultMode::dropField},
            {"set", FaultMode::setField},
            {"decline", FaultMode::decline},
            {"duplicate", FaultMode::duplicate},
        };
        if (tokens.size() < 3) {
            error = "usage: fault KIND MODE [ARGUMENTS] [from=N] [times=N|always]";
            return false;
        }
        static const char* const kinds[] = {"A+", "O", "D", "N", "Q", "P", "R", "REV", "*"};
        Fault fault;
        fault.kind = tokens[1].text;
        bool knownKind = false;
        for (const char* kind : kinds) {
            knownKind = knownKind || fault.kind == kind;
        }
        const auto mode = modes.find(tokens[2].text);
        if (!knownKind || mode == modes.end()) {
            error = !knownKind
                        ? "unknown message kind \"" + fault.kind + "\" (A+ O D N Q P R REV or *)"
                        : "unknown fault \"" + tokens[2].text + "\"";
            return false;
        }
        fault.mode = mode->second;
        fault.line = line_;
        std::size_t next = 3;
        if (!faultArguments(tokens, fault, next, error)) {
            return false;
        }
        if (!repeatOptions(tokens, next, fault.from, fault.times, error)) {
            return false;
        }
        scenario_.setup.faults.push_back(fault);
        return true;
    }

    static bool isOption(const Token& token) {
        return token.text == "always" ||
               (token.hasOp('=') && (token.key() == "times" || token.key() == "from"));
    }

    bool faultArguments(const Tokens& tokens, Fault& fault, std::size_t& next, std::string& error) {
        auto argument = [&](std::string& into) {
            if (next < tokens.size() && !isOption(tokens[next])) {
                into = tokens[next++].text;
                return true;
            }
            return false;
        };
        switch (fault.mode) {
        case FaultMode::hostFailure:
        case FaultMode::decline:
            if (!argument(fault.code)) {
                error = std::string(faultModeName(fault.mode)) + " needs a CODE";
                return false;
            }
            argument(fault.text);
            return true;
        case FaultMode::duplicate: {
            std::string duration;
            if (argument(duration) && !parseDuration(duration, fault.delay)) {
                error = "duplicate takes an optional DURATION";
                return false;
            }
            return true;
        }
        case FaultMode::late: {
            std::string duration;
            if (!argument(duration) || !parseDuration(duration, fault.delay)) {
                error = "late needs a DURATION";
                return false;
            }
            if (next < tokens.size() && tokens[next].text == "keep") {
                fault.keepAfterTimeout = true;
                ++next;
            }
            return true;
        }
        case FaultMode::dropField:
            if (!argument(fault.field)) {
                error = "drop needs a FIELD";
                return false;
            }
            return true;
        case FaultMode::setField:
            if (next >= tokens.size() || !tokens[next].hasOp('=') || isOption(tokens[next])) {
                error = "set needs FIELD=value";
                return false;
            }
            fault.field = tokens[next].key();
            fault.value = tokens[next].value();
            ++next;
            return true;
        default:
            return true;
        }
    }

    bool timed(const Tokens& tokens, std::string& error) {
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

    bool rule(const Tokens& tokens, bool every, std::string& error) {
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
                              rule.trigger == TriggerKind::prompt ||
                              rule.trigger == TriggerKind::menu;
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
    bool isQuotedLike(const Token& token) const {
        static const char* const verbs[] = {
            "input", "confirm",  "timeout", "select",    "result",        "cancel",
            "key",   "customer", "pos",     "entry",     "function",      "command",
            "event", "method",   "raw",     "startup",   "shutdown",      "restart",
            "timer", "wait",     "set-var", "clear-var", "pinpad-online", "refresh-settings",
            "try"};
        for (const char* verb : verbs) {
            if (token.text == verb) {
                return false;
            }
        }
        return true;
    }

    bool expectation(const Tokens& tokens, const std::string& text, std::string& error);

    const std::string& file_;
    Scenario& scenario_;
    std::vector<ParseError>& errors_;
    int line_ = 0;
};

bool selector(const std::string& text, std::string& name, int& index, std::string& error) {
    const std::size_t hash = text.find('#');
    name = text.substr(0, hash);
    index = 1;
    if (hash == std::string::npos) {
        return true;
    }
    const std::string which = text.substr(hash + 1);
    std::int64_t n = 0;
    if (which == "last") {
        index = -1;
    } else if (parseInteger(which, n) && n > 0) {
        index = static_cast<int>(n);
    } else {
        error = "\"" + text + "\": expected NAME#N or NAME#last";
        return false;
    }
    return true;
}

bool checksFrom(const Tokens& tokens, std::size_t from, Expectation& expectation,
                std::string& error) {
    for (std::size_t i = from; i < tokens.size(); ++i) {
        const Token& token = tokens[i];
        Check check;
        std::int64_t n = 0;
        if (token.hasOp('=') && token.key() == "count" && !token.negated) {
            if (!parseInteger(token.value(), n) || n < 0) {
                error = "count needs a number";
                return false;
            }
            expectation.countOnly = true;
            expectation.count = static_cast<std::size_t>(n);
            continue;
        }
        if (token.negated && token.op == std::string::npos) {
            check.op = CheckOp::absent;
            check.path = token.text;
        } else if (token.presence) {
            check.op = CheckOp::present;
            check.path = token.text;
        } else if (token.op != std::string::npos && token.op > 0 && !token.negated) {
            check.op = token.opChar == '=' ? CheckOp::equals : CheckOp::contains;
            check.path = token.key();
            check.value = token.value();
        } else {
            error = "\"" + token.text +
                    "\" is not a check (FIELD=value, FIELD~text, !FIELD, FIELD? or count=N)";
            return false;
        }
        expectation.checks.push_back(check);
    }
    if (expectation.countOnly && !expectation.checks.empty()) {
        error = "count=N cannot be combined with other checks";
        return false;
    }
    return true;
}

bool ScenarioParser::expectation(const Tokens& tokens, const std::string& text,
                                 std::string& error) {
    static const std::map<std::string, ExpectKind> kinds{
        {"startup", ExpectKind::startup},
        {"startup-requests", ExpectKind::startupRequests},
        {"request-order", ExpectKind::requestOrder},
        {"request", ExpectKind::request},
        {"delivered", ExpectKind::delivered},
        {"result", ExpectKind::result},
        {"pos-event", ExpectKind::posEvent},
        {"gateway-kinds", ExpectKind::gatewayKinds},
        {"gateway", ExpectKind::gateway},
        {"receipt", ExpectKind::receipt},
        {"journal", ExpectKind::journal},
        {"var", ExpectKind::variables},
        {"trace", ExpectKind::trace},
        {"screen", ExpectKind::screen},
        {"pos-screen", ExpectKind::posScreen},
    };
    Expectation expectation;
    expectation.line = line_;
    const std::size_t first = text.find_first_not_of(" \t");
    expectation.text = first == std::string::npos ? text : text.substr(first);
    if (tokens.size() < 2) {
        error = "usage: expect WHAT ... (see klarna-sim --help-scenario)";
        return false;
    }
    std::string base;
    if (!selector(tokens[1].text, base, expectation.index, error)) {
        return false;
    }
    const auto kind = kinds.find(base);
    if (kind == kinds.end()) {
        error = "unknown expectation \"" + base + "\"";
        return false;
    }
    expectation.kind = kind->second;
    std::size_t next = 2;
    switch (expectation.kind) {
    case ExpectKind::startupRequests:
    case ExpectKind::requestOrder:
    case ExpectKind::gatewayKinds:
    case ExpectKind::trace:
    case ExpectKind::screen:
    case ExpectKind::posScreen:
        for (std::size_t i = next; i < tokens.size(); ++i) {
            expectation.words.push_back(tokens[i].text);
        }
        if (expectation.words.empty() && expectation.kind != ExpectKind::gatewayKinds) {
            error = "expect " + base + " needs at least one word";
            return false;
        }
        break;
    case ExpectKind::request:
    case ExpectKind::delivered:
    case ExpectKind::posEvent:
    case ExpectKind::gateway:
        if (tokens.size() < 3 ||
            !selector(tokens[2].text, expectation.subject, expectation.index, error)) {
            error = error.empty() ? "expect " + base + " needs a NAME[#N]" : error;
            return false;
        }
        next = 3;
        if (!checksFrom(tokens, next, expectation, error)) {
            return false;
        }
        break;
    default:
        if (!checksFrom(tokens, next, expectation, error)) {
            return false;
        }
    }
    if (!expectation.countOnly && expectation.checks.empty() && expectation.words.empty() &&
        expectation.kind != ExpectKind::gatewayKinds &&
        expectation.kind != ExpectKind::startupRequests) {
        error = "expect " + base + " checks nothing; add FIELD=value checks or count=N";
        return false;
    }
    scenario_.expectations.push_back(expectation);
    return true;
}

} // namespace

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

bool parseActionLine(const std::string& text, Action& action, std::string& error) {
    Tokens tokens;
    if (!tokenizeLine(text, tokens, error)) {
        return false;
    }
    return parseAction(tokens, action, error);
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
    return errors.size() == before;
}

} // namespace sim
