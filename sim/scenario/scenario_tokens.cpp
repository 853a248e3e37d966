#include "sim/scenario/scenario_tokens.h"

namespace sim {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// Reads one escape after a backslash inside quotes; i is at the backslash.
bool readEscape(const std::string& line, std::size_t& i, std::string& out, std::string& error) {
    if (i + 1 >= line.size()) {
        error = "backslash at the end of the line";
        return false;
    }
    const char c = line[++i];
    switch (c) {
    case '"':
        out += '"';
        return true;
    case '\\':
        out += '\\';
        return true;
    case 'n':
        out += '\n';
        return true;
    case 'r':
        out += '\r';
        return true;
    case 't':
        out += '\t';
        return true;
    case 'x': {
        const int high = i + 1 < line.size() ? hexDigit(line[i + 1]) : -1;
        const int low = i + 2 < line.size() ? hexDigit(line[i + 2]) : -1;
        if (high < 0 || low < 0) {
            error = "\\x needs two hexadecimal digits";
            return false;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
        return true;
    }
    default:
        error = std::string("unknown escape \\") + c;
        return false;
    }
}

} // namespace

bool tokenizeLine(const std::string& line, std::vector<Token>& tokens, std::string& error) {
    tokens.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i])) {
            ++i;
        }
        if (i >= line.size() || line[i] == '#') {
            return true;
        }
        Token token;
        bool quoted = false;
        bool lastWasQuoted = false;
        if (line[i] == '!') {
            token.negated = true;
            ++i;
        }
        for (; i < line.size() && (quoted || !isBlank(line[i])); ++i) {
            const char c = line[i];
            if (c == '"') {
                quoted = !quoted;
                lastWasQuoted = true;
            } else if (quoted && c == '\\') {
                if (!readEscape(line, i, token.text, error)) {
                    return false;
                }
            } else {
                if (!quoted && (c == '=' || c == '~') && token.op == std::string::npos) {
                    token.op = token.text.size();
                    token.opChar = c;
                }
                token.text += c;
                lastWasQuoted = quoted;
            }
        }
        if (quoted) {
            error = "unterminated quote";
            return false;
        }
        if (!lastWasQuoted && token.op == std::string::npos && !token.text.empty() &&
            token.text.back() == '?') {
            token.text.pop_back();
            token.presence = true;
        }
        tokens.push_back(token);
    }
    return true;
}

} // namespace sim
