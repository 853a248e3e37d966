#include "sim/scenario/failure_context.h"

#include "sim/scenario/similar_text.h"

namespace sim {

namespace {

constexpr std::size_t contextBefore = 2;
constexpr std::size_t contextAfter = 2;
constexpr std::size_t contextWidth = 160;

std::string clipped(const std::string& text) {
    return text.size() > contextWidth ? text.substr(0, contextWidth) + " ..." : text;
}

const char* triggerWord(TriggerKind kind) {
    switch (kind) {
    case TriggerKind::screen:
        return "screen";
    case TriggerKind::prompt:
        return "prompt";
    case TriggerKind::qr:
        return "qr";
    case TriggerKind::menu:
        return "menu";
    case TriggerKind::keyWait:
        return "keywait";
    case TriggerKind::print:
        return "print";
    case TriggerKind::gateway:
        return "gateway";
    case TriggerKind::request:
        return "request";
    }
    return "?";
}

// What the run showed in place of a rule's trigger.
std::vector<std::string> seenInstead(const Rule& rule, const RunRecord& record) {
    std::vector<std::string> names;
    switch (rule.trigger) {
    case TriggerKind::gateway:
        for (const GatewayMessage& message : record.gateway) {
            names.push_back(message.kind);
        }
        break;
    case TriggerKind::request:
        for (const RequestRecord& request : record.requests) {
            names.push_back(request.name);
        }
        break;
    default:
        if (rule.match.empty()) {
            return {};
        }
        names = screenLines(record.pinpadScreens);
    }
    std::vector<std::string> shown;
    for (const std::string& name : nearestTexts(rule.match, names, 3, !names.empty())) {
        shown.push_back(rule.trigger == TriggerKind::gateway || rule.trigger == TriggerKind::request
                            ? name
                            : "\"" + name + "\"");
    }
    return shown;
}

} // namespace

std::vector<std::string> screenLines(const std::vector<std::string>& screens) {
    std::vector<std::string> lines;
    for (const std::string& screen : screens) {
        std::size_t start = 0;
        while (start < screen.size()) {
            std::size_t end = screen.find('\n', start);
            end = end == std::string::npos ? screen.size() : end;
            const std::string line = screen.substr(start, end - start);
            const std::size_t first = line.find_first_not_of(' ');
            if (first != std::string::npos) {
                lines.push_back(line.substr(first, line.find_last_not_of(' ') - first + 1));
            }
            start = end + 1;
        }
    }
    return lines;
}

Failure plainFailure(const std::string& kind, const std::string& where, const std::string& what) {
    Failure failure;
    failure.kind = kind;
    failure.where = where;
    failure.what = what;
    return failure;
}

std::string Failure::text() const {
    std::string out = headline();
    if (!expected.empty() || !got.empty()) {
        out += "\n    expected  " + expected;
        out += "\n    got       " + got + (at >= 0 ? " (at " + formatMillis(at) + ")" : "");
    }
    for (std::size_t i = 0; i < nearest.size(); ++i) {
        out += std::string(i == 0 ? "\n    nearest   " : "\n              ") + nearest[i];
    }
    if (!context.empty()) {
        out += at >= 0 ? "\n    transcript around " + formatMillis(at) + ":"
                       : std::string("\n    the transcript ends:");
        for (const std::string& line : context) {
            out += "\n      " + line;
        }
    }
    return out;
}

std::vector<std::string> contextAround(const std::vector<TranscriptLine>& lines, Millis at,
                                       const std::string& anchor) {
    std::vector<std::string> context;
    if (lines.empty()) {
        return context;
    }
    std::size_t centre = lines.size() - 1;
    if (at >= 0) {
        std::size_t first = lines.size();
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].at >= at && first == lines.size()) {
                first = i;
            }
            if (lines[i].at == at && !anchor.empty() &&
                lines[i].text.find(anchor) != std::string::npos) {
                first = i;
                break;
            }
        }
        centre = first < lines.size() ? first : lines.size() - 1;
    }
    const std::size_t from = centre > contextBefore ? centre - contextBefore : 0;
    const std::size_t to = at >= 0 ? centre + contextAfter : centre;
    for (std::size_t i = from; i <= to && i < lines.size(); ++i) {
        context.push_back(clipped(lines[i].text));
    }
    return context;
}

std::vector<Failure> unfiredRules(const Scenario& scenario, const RunRecord& record) {
    std::vector<Failure> warnings;
    for (const Rule& rule : scenario.rules) {
        if (rule.every || rule.fired) {
            continue;
        }
        std::string what = std::string("on ") + triggerWord(rule.trigger);
        if (!rule.match.empty()) {
            const bool named =
                rule.trigger == TriggerKind::gateway || rule.trigger == TriggerKind::request;
            what += " " + (named ? rule.match : "\"" + rule.match + "\"");
        }
        Failure warning = plainFailure("rule", scenario.file + ":" + std::to_string(rule.line),
                                       what + " never fired: its action was not taken");
        warning.nearest = seenInstead(rule, record);
        warnings.push_back(warning);
    }
    return warnings;
}

} // namespace sim
