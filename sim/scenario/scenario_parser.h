// The scenario file reader, in four files: scenario_parser.cpp (lines,
// directives, timed actions and rules), setup_parser.cpp (var, host, gateway
// and fault set-up lines), expectation_parser.cpp (expect lines) and
// action_parser.cpp (actions, durations and the word helpers shared by all).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/scenario/scenario.h"
#include "sim/scenario/scenario_tokens.h"

namespace sim {

using Tokens = std::vector<Token>;

// Word helpers shared by the parsers.
bool parseInteger(const std::string& text, std::int64_t& value);
std::string joinFrom(const Tokens& tokens, std::size_t from);
// Words after the verb that are all key=value pairs.
bool fieldsFrom(const Tokens& tokens, std::size_t from, FieldList& fields, std::string& error);
bool needWords(const Tokens& tokens, std::size_t count, const char* usage, std::string& error);
bool parseAction(const Tokens& tokens, Action& action, std::string& error);

class ScenarioParser {
  public:
    ScenarioParser(const std::string& file, Scenario& scenario, std::vector<ParseError>& errors)
        : file_(file), scenario_(scenario), errors_(errors) {}

    void line(int number, const std::string& text);
    // A fault line's words ("fault KIND MODE ..."), as a set-up line reads them.
    static bool faultFrom(const Tokens& tokens, Fault& fault, std::string& error);

  private:
    void fail(const std::string& message) { errors_.push_back(ParseError{file_, line_, message}); }
    bool directive(const Tokens& tokens, const std::string& text, std::string& error);

    // Set-up lines.
    bool variable(const Tokens& tokens, std::string& error);
    // [from=N] [times=N|always], and [match=TEXT] when match is given.
    bool repeatOptions(const Tokens& tokens, std::size_t from, int& start, int& times,
                       std::string& error, std::string* match = nullptr);
    bool methodFault(const Tokens& tokens, MethodFault::Kind kind, std::string& error);
    bool eventFault(const Tokens& tokens, std::string& error);
    bool hostSetting(const Tokens& tokens, std::string& error);
    bool gatewaySetting(const Tokens& tokens, std::string& error);
    bool fault(const Tokens& tokens, std::string& error);
    static bool isOption(const Token& token);
    bool faultArguments(const Tokens& tokens, Fault& fault, std::size_t& next, std::string& error);

    // Timed actions and rules.
    bool timed(const Tokens& tokens, std::string& error);
    bool rule(const Tokens& tokens, bool every, std::string& error);
    bool isQuotedLike(const Token& token) const;

    bool expectation(const Tokens& tokens, const std::string& text, std::string& error);

    const std::string& file_;
    Scenario& scenario_;
    std::vector<ParseError>& errors_;
    int line_ = 0;
};

} // namespace sim
