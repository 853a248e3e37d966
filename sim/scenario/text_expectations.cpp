// The expectations about texts: a receipt's lines, host variables, traces
// and the screens shown.
#include "sim/scenario/expectations.h"
#include "sim/scenario/failure_context.h"
#include "sim/scenario/similar_text.h"
#include "sim/scenario/value_checks.h"

namespace sim {

namespace {

constexpr std::size_t nearestLineLimit = 3;

// Each line of a text, without its line end and trailing blanks.
std::vector<std::string> trimmedLines(const std::string& text) {
    std::vector<std::string> rows;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string row = text.substr(start, end - start);
        while (!row.empty() && (row.back() == '\r' || row.back() == ' ')) {
            row.pop_back();
        }
        rows.push_back(row);
        start = end + 1;
    }
    return rows;
}

// The nearest lines, each in quotes.
std::vector<std::string> nearestLines(const std::string& wanted,
                                      const std::vector<std::string>& lines, bool inside) {
    std::vector<std::string> shown;
    for (const std::string& line : nearestTexts(wanted, lines, nearestLineLimit, inside)) {
        shown.push_back(shownText(line));
    }
    return shown;
}

bool checkReceipt(const Expectation& e, const RunRecord& record, Mismatch& m) {
    m.anchor = "PrintReceipt";
    if (e.countOnly) {
        if (record.receipts.size() == e.count) {
            return true;
        }
        m.expected = "count=" + std::to_string(e.count) + " (receipts)";
        m.got = "count=" + std::to_string(record.receipts.size());
        m.at = record.receipts.empty() ? -1 : record.receipts.back().at;
        return false;
    }
    const std::size_t count = record.receipts.size();
    const std::size_t index = e.index < 0 ? count : static_cast<std::size_t>(e.index);
    if (index == 0 || index > count) {
        m.expected = e.index < 0 ? "the last receipt" : "receipt number " + std::to_string(index);
        m.got = count == 0 ? "no receipt printed" : std::to_string(count) + " printed";
        return false;
    }
    const PrintedReceipt& receipt = record.receipts[index - 1];
    m.at = receipt.at;
    const std::vector<std::string> lines = trimmedLines(receipt.text);
    std::vector<Check> plain;
    bool ok = true;
    for (const Check& check : e.checks) {
        const bool inside = check.op == CheckOp::contains;
        if (check.path != "line" || (check.op != CheckOp::equals && !inside)) {
            plain.push_back(check);
            continue;
        }
        bool found = false;
        for (const std::string& line : lines) {
            found = found ||
                    (inside ? line.find(check.value) != std::string::npos : line == check.value);
        }
        if (!found) {
            appendPart(m.expected, wantedText(check));
            appendPart(m.got, "no such line");
            const std::vector<std::string> near = nearestLines(check.value, lines, inside);
            m.nearest.insert(m.nearest.end(), near.begin(), near.end());
            ok = false;
        }
    }
    const Lookup lookup = [&receipt](const std::string& path, std::string& value) {
        value = path == "text" ? receipt.text : path == "printer" ? receipt.printer : receipt.type;
        return path == "text" || path == "printer" || path == "type";
    };
    ok = evaluateAll(plain, lookup, m.expected, m.got) && ok;
    if (!ok) {
        m.got += " on receipt number " + std::to_string(index);
    }
    return ok;
}

bool checkVariables(const Expectation& e, const VariableStore& store, Mismatch& m) {
    const Lookup lookup = [&store](const std::string& path, std::string& value) {
        const std::string* held = store.find(path);
        value = held != nullptr ? *held : "";
        return held != nullptr;
    };
    if (evaluateAll(e.checks, lookup, m.expected, m.got)) {
        return true;
    }
    std::vector<std::string> names;
    for (const auto& entry : store.all()) {
        names.push_back(entry.first);
    }
    for (const Check& check : e.checks) {
        std::string value;
        if (!passes(check, lookup) && !lookup(check.path, value)) {
            const std::string near = didYouMean(check.path, names);
            if (!near.empty()) {
                m.nearest.push_back("the store holds " + near);
            }
        }
    }
    return false;
}

// Every word must appear among the texts (whole, or inside one of them);
// for one that does not, the nearest of the candidates.
bool checkAmong(const std::vector<std::string>& wanted, const std::vector<std::string>& texts,
                const std::vector<std::string>& candidates, bool inside, const std::string& what,
                Mismatch& m) {
    for (const std::string& word : wanted) {
        bool found = false;
        for (const std::string& text : texts) {
            found = found || (inside ? text.find(word) != std::string::npos : text == word);
        }
        if (!found) {
            m.expected = what + " " + shownText(word);
            m.got = texts.empty() ? "none at all" : "none of the " + std::to_string(texts.size());
            m.nearest = nearestLines(word, candidates, inside);
            return false;
        }
    }
    return true;
}

} // namespace

bool checkTextExpectation(const Expectation& e, const RunRecord& record, const VariableStore& store,
                          Mismatch& m) {
    switch (e.kind) {
    case ExpectKind::receipt:
        return checkReceipt(e, record, m);
    case ExpectKind::variables:
        return checkVariables(e, store, m);
    case ExpectKind::trace:
        m.anchor = "trace";
        return checkAmong(e.words, record.traces, record.traces, false, "a Trace", m);
    case ExpectKind::screen:
        return checkAmong(e.words, record.pinpadScreens, screenLines(record.pinpadScreens), true,
                          "a pinpad screen showing", m);
    case ExpectKind::posScreen:
        return checkAmong(e.words, record.posScreens, screenLines(record.posScreens), true,
                          "a POS screen showing", m);
    default:
        return false;
    }
}

} // namespace sim
