// The expectations a recorded session ends with. What the module takes from
// the wall clock or makes up (dates, times, uid, trackinguid, the TID) and
// anything shaped like a clock time, a date or a UUID is masked: a receipt
// line or a variable that holds one is expected only by its steady parts.
#include <algorithm>
#include <set>

#include "sim/cli/session_recorder.h"

namespace sim {

namespace {

const char mask = '\x01';

bool digit(char c) {
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c) {
    return digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The texts of this run that change from one run to the next.
std::set<std::string> changingValues(const RunRecord& record) {
    std::set<std::string> values;
    auto add = [&values](const std::string& value) {
        if (value.size() >= 4) {
            values.insert(value);
        }
        if (value.size() == 6 && std::all_of(value.begin(), value.end(), digit)) {
            values.insert(value.substr(0, 2) + "/" + value.substr(2, 2) + "/" + value.substr(4));
            values.insert(value.substr(0, 2) + ":" + value.substr(2, 2) + ":" + value.substr(4));
        }
    };
    for (const GatewayMessage& message : record.gateway) {
        add(message.hostRequest.childText("TID"));
        if (!message.json.is_object()) {
            continue;
        }
        for (const char* key : {"date", "time", "tt", "uid", "trackinguid"}) {
            if (message.json.contains(key) && message.json[key].is_string()) {
                add(message.json[key].get<std::string>());
            }
        }
    }
    for (const XmlElement& result : record.results) {
        add(result.childText("Date"));
        add(result.childText("Time"));
    }
    return values;
}

// Replaces "12:34:56", "09/12/26", "2024-01-31" and UUIDs by the mask.
void maskShapes(std::string& text) {
    for (std::size_t i = 0; i + 8 <= text.size(); ++i) {
        const char sep = text[i + 2];
        if ((sep == ':' || sep == '/') && text[i + 5] == sep && digit(text[i]) &&
            digit(text[i + 1]) && digit(text[i + 3]) && digit(text[i + 4]) && digit(text[i + 6]) &&
            digit(text[i + 7])) {
            text.replace(i, 8, 1, mask);
        }
    }
    for (std::size_t i = 0; i + 10 <= text.size(); ++i) {
        const std::string at = text.substr(i, 10);
        if (at[4] == '-' && at[7] == '-' && digit(at[0]) && digit(at[1]) && digit(at[2]) &&
            digit(at[3]) && digit(at[5]) && digit(at[6]) && digit(at[8]) && digit(at[9])) {
            text.replace(i, 10, 1, mask);
        }
    }
    static const std::size_t groups[] = {8, 4, 4, 4, 12};
    for (std::size_t i = 0; i + 36 <= text.size(); ++i) {
        std::size_t at = i;
        bool uuid = true;
        for (std::size_t g = 0; g < 5 && uuid; ++g) {
            for (std::size_t k = 0; k < groups[g] && uuid; ++k) {
                uuid = isHexDigit(text[at++]);
            }
            uuid = uuid && (g == 4 || text[at++] == '-');
        }
        if (uuid) {
            text.replace(i, 36, 1, mask);
        }
    }
}

std::string masked(std::string text, const std::set<std::string>& changing) {
    for (const std::string& value : changing) {
        for (std::size_t at = text.find(value); at != std::string::npos;
             at = text.find(value, at + 1)) {
            text.replace(at, value.size(), 1, mask);
        }
    }
    maskShapes(text);
    return text;
}

// Numbers of four digits or more masked too: in a journal line they are
// dates, times, amounts and the time a transaction took.
std::string withoutNumbers(std::string text) {
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t end = i;
        while (end < text.size() && digit(text[end])) {
            ++end;
        }
        if (end - i >= 4) {
            text.replace(i, end - i, 1, mask);
            ++i;
        } else {
            i = end > i ? end : i + 1;
        }
    }
    return text;
}

// The steady pieces of a masked text with at least `strongest` letters or
// digits, longest first.
std::vector<std::string> steadyPieces(const std::string& maskedText, long strongest = 3) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start <= maskedText.size()) {
        std::size_t end = maskedText.find(mask, start);
        if (end == std::string::npos) {
            end = maskedText.size();
        }
        std::string piece = maskedText.substr(start, end - start);
        const std::size_t first = piece.find_first_not_of(" \r\n\t");
        piece = first == std::string::npos
                    ? std::string()
                    : piece.substr(first, piece.find_last_not_of(" \r\n\t") - first + 1);
        const auto strong = std::count_if(piece.begin(), piece.end(), [](char c) {
            return digit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        });
        if (strong >= strongest) {
            pieces.push_back(piece);
        }
        start = end + 1;
    }
    std::stable_sort(pieces.begin(), pieces.end(), [](const std::string& a, const std::string& b) {
        return a.size() > b.size();
    });
    return pieces;
}

std::string numberText(std::size_t n) {
    return std::to_string(n);
}

std::string resultLine(const XmlElement& result, std::size_t n) {
    std::string line = "expect result#" + numberText(n);
    for (const char* field :
         {"ResponseCode", "ResponseText", "Success", "TxnType", "AmtPurchase", "TxnRef"}) {
        if (result.has(field)) {
            line += std::string(" ") + field + "=" + scenarioQuoted(result.childText(field));
        }
    }
    return line + "\n";
}

std::string receiptLine(const PrintedReceipt& receipt, std::size_t n,
                        const std::set<std::string>& changing) {
    std::string line =
        "expect receipt#" + numberText(n) + " printer=" + scenarioQuoted(receipt.printer);
    std::set<std::string> seen;
    std::size_t start = 0;
    while (start < receipt.text.size()) {
        std::size_t end = receipt.text.find('\n', start);
        if (end == std::string::npos) {
            end = receipt.text.size();
        }
        std::string row = receipt.text.substr(start, end - start);
        while (!row.empty() && (row.back() == '\r' || row.back() == ' ')) {
            row.pop_back();
        }
        start = end + 1;
        const bool steady = masked(row, changing) == row;
        if (steady && steadyPieces(row).size() == 1 && seen.insert(row).second) {
            line += " line=" + scenarioQuoted(row);
        }
    }
    return line + "\n";
}

std::string variableCheck(const std::string& name, const std::string* value,
                          const std::set<std::string>& changing) {
    if (value == nullptr) {
        return "!" + name;
    }
    const std::string hidden = masked(*value, changing);
    if (hidden == *value) {
        return name + "=" + scenarioQuoted(*value);
    }
    const std::vector<std::string> pieces = steadyPieces(hidden);
    return pieces.empty() ? name + "?" : name + "~" + scenarioQuoted(pieces.front());
}

} // namespace

std::string recordedExpectations(const RunRecord& record,
                                 const std::map<std::string, std::string>& storeAtEnd) {
    const std::set<std::string> changing = changingValues(record);
    std::string out;
    if (!record.gateway.empty()) {
        out += "expect gateway-kinds";
        for (const GatewayMessage& message : record.gateway) {
            out += " " + message.kind;
        }
        out += "\n";
    }
    out += "expect result count=" + numberText(record.results.size()) + "\n";
    for (std::size_t i = 0; i < record.results.size(); ++i) {
        out += resultLine(record.results[i], i + 1);
    }
    out += "expect receipt count=" + numberText(record.receipts.size()) + "\n";
    for (std::size_t i = 0; i < record.receipts.size(); ++i) {
        out += receiptLine(record.receipts[i], i + 1, changing);
    }
    out += "expect journal count=" + numberText(record.journal.size()) + "\n";
    for (std::size_t i = 0; i < record.journal.size(); ++i) {
        std::string line = "expect journal#" + numberText(i + 1);
        for (const std::string& piece :
             steadyPieces(withoutNumbers(masked(record.journal[i], changing)), 2)) {
            line += " text~" + scenarioQuoted(piece);
        }
        out += line + "\n";
    }
    std::set<std::string> written;
    for (const RequestRecord& request : record.requests) {
        const std::string name = request.element.childText("VariableName");
        if (request.name == "SetVariable" && !name.empty() && written.insert(name).second) {
            const auto found = storeAtEnd.find(name);
            out += "expect var " +
                   variableCheck(name, found == storeAtEnd.end() ? nullptr : &found->second,
                                 changing) +
                   "\n";
        }
    }
    return out;
}

} // namespace sim
