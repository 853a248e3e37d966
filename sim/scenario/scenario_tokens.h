// Splitting a scenario line into words: blanks separate, "quoted text"
// keeps blanks and knows \" \\ \n \r \t and \xHH, # starts a comment.
// A word may carry one operator outside quotes: key=value or key~value,
// a leading ! (absent) or a trailing ? (present).
#pragma once

#include <string>
#include <vector>

namespace sim {

struct Token {
    std::string text;                   // without quotes and without the ! or ? marks
    std::size_t op = std::string::npos; // position of the operator in text
    char opChar = 0;                    // '=' or '~'
    bool negated = false;               // leading !
    bool presence = false;              // trailing ?
    std::string key() const { return op == std::string::npos ? text : text.substr(0, op); }
    std::string value() const {
        return op == std::string::npos ? std::string() : text.substr(op + 1);
    }
    bool hasOp(char c) const { return op != std::string::npos && opChar == c; }
};

// False with error set for an unterminated quote or a bad escape.
bool tokenizeLine(const std::string& line, std::vector<Token>& tokens, std::string& error);

} // namespace sim
