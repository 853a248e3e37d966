#include <map>

#include "sim/scenario/field_names.h"
#include "sim/scenario/scenario_parser.h"

namespace sim {

bool ScenarioParser::variable(const Tokens& tokens, std::string& error) {
    if (tokens.size() == 3 && !tokens[1].hasOp('=')) {
        scenario_.setup.variables.emplace_back(tokens[1].text, tokens[2].text);
    } else if (tokens.size() == 2 && tokens[1].hasOp('=') && tokens[1].op > 0) {
        scenario_.setup.variables.emplace_back(tokens[1].key(), tokens[1].value());
    } else {
        error = "usage: var NAME \"value\"  (or var NAME=value)";
        return false;
    }
    error = unknownVariableError(scenario_.setup.variables.back().first);
    return error.empty();
}

bool ScenarioParser::repeatOptions(const Tokens& tokens, std::size_t from, int& start, int& times,
                                   std::string& error, std::string* match) {
    for (std::size_t i = from; i < tokens.size(); ++i) {
        std::int64_t n = 0;
        if (match != nullptr && tokens[i].hasOp('=') && tokens[i].key() == "match") {
            *match = tokens[i].value();
        } else if (tokens[i].text == "always") {
            times = 0;
        } else if (tokens[i].hasOp('=') && tokens[i].key() == "times" &&
                   parseInteger(tokens[i].value(), n) && n > 0) {
            times = static_cast<int>(n);
        } else if (tokens[i].hasOp('=') && tokens[i].key() == "from" &&
                   parseInteger(tokens[i].value(), n) && n > 0) {
            start = static_cast<int>(n);
        } else {
            error = "\"" + tokens[i].text + "\": expected " +
                    (match != nullptr ? "match=TEXT, " : "") + "times=N, from=N or always";
            return false;
        }
    }
    return true;
}

bool ScenarioParser::methodFault(const Tokens& tokens, MethodFault::Kind kind, std::string& error) {
    MethodFault fault;
    fault.kind = kind;
    fault.line = line_;
    std::size_t next = 3;
    const bool tooSmall = kind == MethodFault::Kind::replyTooSmall;
    if (tokens.size() < 3) {
        error = "usage: host " + tokens[1].text + " METHOD" + (tooSmall ? "" : " VALUE") +
                " [match=TEXT] [from=N] [times=N|always]" + (tooSmall ? " [forever]" : "");
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
    Tokens options(tokens.begin() + static_cast<std::ptrdiff_t>(next), tokens.end());
    for (auto it = options.begin(); tooSmall && it != options.end(); ++it) {
        if (it->text == "forever" && !it->hasOp('=')) {
            fault.forever = true;
            options.erase(it);
            break;
        }
    }
    if (!repeatOptions(options, 0, fault.start, fault.times, error, &fault.match)) {
        return false;
    }
    scenario_.setup.host.methodFaults.push_back(fault);
    return true;
}

bool ScenarioParser::eventFault(const Tokens& tokens, std::string& error) {
    EventFault fault;
    fault.line = line_;
    const char* const usage = "usage: host event EVENT lose|fail CODE|twice|late [match=TEXT] "
                              "[from=N] [times=N|always]";
    if (tokens.size() < 4) {
        error = usage;
        return false;
    }
    fault.event = tokens[2].text;
    bool known = false;
    std::string names;
    for (const std::string& name : faultableEvents()) {
        known = known || name == fault.event;
        names += " " + name;
    }
    if (!known) {
        error = "host event: \"" + fault.event + "\" is not an answer event the host gives (" +
                names.substr(1) + ")";
        return false;
    }
    if (!parseEventFaultMode(tokens[3].text, fault.mode)) {
        error =
            "host event: unknown fault \"" + tokens[3].text + "\" (lose, fail CODE, twice, late)";
        return false;
    }
    std::size_t next = 4;
    if (fault.mode == EventFault::Mode::fail) {
        if (tokens.size() < 5 || tokens[4].hasOp('=') || tokens[4].text == "always") {
            error = "host event " + fault.event + " fail needs the Result CODE it answers with";
            return false;
        }
        fault.code = tokens[4].text;
        next = 5;
    }
    if (!repeatOptions(tokens, next, fault.start, fault.times, error, &fault.match)) {
        return false;
    }
    scenario_.setup.host.eventFaults.push_back(fault);
    return true;
}

bool ScenarioParser::hostSetting(const Tokens& tokens, std::string& error) {
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
    if (what == "refuse") {
        return methodFault(tokens, MethodFault::Kind::refuse, error);
    }
    if (what == "event") {
        return eventFault(tokens, error);
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

bool ScenarioParser::gatewaySetting(const Tokens& tokens, std::string& error) {
    GatewayConfig& gateway = scenario_.setup.gateway;
    const std::string what = tokens.size() > 1 ? tokens[1].text : "";
    std::int64_t number = 0;
    if (what == "latency" && tokens.size() == 3 && parseDuration(tokens[2].text, gateway.latency)) {
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
        scenario_.setup.orders.push_back(
            HostSetup::Order{tokens[2].text, number, tokens.size() == 5 ? tokens[4].text : "AUD"});
    } else if (what == "counter" && tokens.size() == 3 && parseInteger(tokens[2].text, number) &&
               number >= 0 && number < 1000000) {
        scenario_.setup.gatewayCounter = static_cast<int>(number);
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

bool ScenarioParser::fault(const Tokens& tokens, std::string& error) {
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
        error = !knownKind ? "unknown message kind \"" + fault.kind + "\" (A+ O D N Q P R REV or *)"
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

bool ScenarioParser::faultFrom(const Tokens& tokens, Fault& fault, std::string& error) {
    const std::string file;
    Scenario holder;
    std::vector<ParseError> errors;
    ScenarioParser parser(file, holder, errors);
    if (!parser.fault(tokens, error)) {
        return false;
    }
    fault = holder.setup.faults.front();
    return true;
}

bool ScenarioParser::isOption(const Token& token) {
    return token.text == "always" ||
           (token.hasOp('=') && (token.key() == "times" || token.key() == "from"));
}

bool ScenarioParser::faultArguments(const Tokens& tokens, Fault& fault, std::size_t& next,
                                    std::string& error) {
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

} // namespace sim
