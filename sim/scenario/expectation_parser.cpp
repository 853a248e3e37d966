#include <map>

#include "sim/scenario/scenario_parser.h"

namespace sim {

namespace {

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

} // namespace

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

} // namespace sim
