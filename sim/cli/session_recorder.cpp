#include "sim/cli/session_recorder.h"

#include <cstdio>

namespace sim {

namespace {

// "12.345s" is what the scenario reader takes back exactly.
std::string timeText(Millis at) {
    return formatMillis(at);
}

bool isExpectLine(const std::string& line) {
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return false;
    }
    for (const char* word : {"expect", "scenario"}) {
        const std::size_t length = std::char_traits<char>::length(word);
        if (line.compare(first, length, word) == 0 &&
            (line.size() == first + length || line[first + length] == ' ' ||
             line[first + length] == '\t')) {
            return true;
        }
    }
    return false;
}

} // namespace

std::string scenarioQuoted(const std::string& text) {
    std::string out = "\"";
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (ch == '\n') {
            out += "\\n";
        } else if (ch == '\r') {
            out += "\\r";
        } else if (ch == '\t') {
            out += "\\t";
        } else if (c < 32 || c == 127) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

void SessionRecorder::begin(const std::map<std::string, std::string>& store,
                            const GatewayState& gateway, const std::string& baseText) {
    setup_.clear();
    lines_.clear();
    if (!store.empty()) {
        setup_ += "# The store the session started from\n";
    }
    for (const auto& variable : store) {
        setup_ += "var " + variable.first + " " + scenarioQuoted(variable.second) + "\n";
    }
    if (!gateway.tokens.empty() || !gateway.orders.empty() || gateway.counter > 0) {
        setup_ += "# What the gateway knew\n";
        setup_ += "gateway counter " + std::to_string(gateway.counter) + "\n";
    }
    for (const std::string& token : gateway.tokens) {
        setup_ += "gateway accept-token " + scenarioQuoted(token) + "\n";
    }
    for (const auto& order : gateway.orders) {
        if (order.second.captured && !order.second.reversed) {
            setup_ += "gateway order " + scenarioQuoted(order.first) + " " +
                      std::to_string(order.second.amount - order.second.refunded) + " " +
                      scenarioQuoted(order.second.currency) + "\n";
        }
    }
    if (!baseText.empty()) {
        setup_ += "# The scenario the session was started with\n";
    }
    std::size_t start = 0;
    while (start < baseText.size()) {
        std::size_t end = baseText.find('\n', start);
        if (end == std::string::npos) {
            end = baseText.size();
        }
        const std::string line = baseText.substr(start, end - start);
        if (!isExpectLine(line)) {
            setup_ += line + "\n";
        }
        start = end + 1;
    }
}

void SessionRecorder::action(Millis at, const std::string& line) {
    lines_.push_back("at " + timeText(at) + " " + line);
}

void SessionRecorder::stop(Millis at) {
    lines_.push_back("at " + timeText(at) + " stop");
}

std::string SessionRecorder::text(const RunRecord& record,
                                  const std::map<std::string, std::string>& storeAtEnd) const {
    std::string out = "# Recorded by klarna-sim --record: replay with klarna-sim -m MODULE FILE\n";
    out += "scenario \"recorded session\"\n";
    out += setup_;
    out += "# What the person did\n";
    for (const std::string& line : lines_) {
        out += line + "\n";
    }
    out += "# What came out\n";
    out += recordedExpectations(record, storeAtEnd);
    return out;
}

} // namespace sim
