#include "sim/scenario/expectations.h"

#include <cstdlib>
#include <functional>

namespace sim {

namespace {

using Lookup = std::function<bool(const std::string& path, std::string& value)>;

std::vector<std::string> splitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = path.find('/', start);
        parts.push_back(path.substr(start, slash - start));
        if (slash == std::string::npos) {
            return parts;
        }
        start = slash + 1;
    }
}

std::string shownText(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '"') {
            out += "\\\"";
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// Checks one condition; why receives what was found instead.
bool evaluate(const Check& check, const Lookup& lookup, std::string& why) {
    std::string value;
    const bool present = lookup(check.path, value);
    switch (check.op) {
    case CheckOp::absent:
        if (present) {
            why = check.path + " is present (" + shownText(value) + ")";
        }
        return !present;
    case CheckOp::present:
        if (!present) {
            why = check.path + " is absent";
        }
        return present;
    case CheckOp::equals:
        if (!present || value != check.value) {
            why = check.path + (present ? " is " + shownText(value) : std::string(" is absent")) +
                  ", expected " + shownText(check.value);
            return false;
        }
        return true;
    case CheckOp::contains:
        if (!present || value.find(check.value) == std::string::npos) {
            why = check.path + (present ? " is " + shownText(value) : std::string(" is absent")) +
                  ", expected to contain " + shownText(check.value);
            return false;
        }
        return true;
    }
    return false;
}

bool evaluateAll(const std::vector<Check>& checks, const Lookup& lookup, std::string& why) {
    bool ok = true;
    for (const Check& check : checks) {
        std::string reason;
        if (!evaluate(check, lookup, reason)) {
            why += (why.empty() ? "" : "; ") + reason;
            ok = false;
        }
    }
    return ok;
}

template <typename T> const T* pick(const std::vector<const T*>& items, int index) {
    if (items.empty()) {
        return nullptr;
    }
    if (index < 0) {
        return items.back();
    }
    return static_cast<std::size_t>(index) <= items.size()
               ? items[static_cast<std::size_t>(index) - 1]
               : nullptr;
}

template <typename T, typename Keep>
std::vector<const T*> filter(const std::vector<T>& items, Keep keep) {
    std::vector<const T*> kept;
    for (const T& item : items) {
        if (keep(item)) {
            kept.push_back(&item);
        }
    }
    return kept;
}

std::string indexText(int index) {
    return index < 0 ? "the last" : "number " + std::to_string(index);
}

// Counting or picking one item and checking it; why explains a failure.
template <typename T>
bool checkList(const Expectation& e, const std::vector<const T*>& items, const std::string& what,
               std::function<Lookup(const T&)> lookupFor, std::string& why) {
    if (e.countOnly) {
        if (items.size() != e.count) {
            why = std::to_string(items.size()) + " " + what + " seen, expected " +
                  std::to_string(e.count);
            return false;
        }
        return true;
    }
    const T* item = pick(items, e.index);
    if (item == nullptr) {
        why = "no " + what + " " + indexText(e.index) + " (" + std::to_string(items.size()) +
              " seen)";
        return false;
    }
    return evaluateAll(e.checks, lookupFor(*item), why);
}

std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words) {
        out += (out.empty() ? "" : " ") + w;
    }
    return out.empty() ? "(none)" : out;
}

using ItemMatch = std::function<bool(const std::string& expected, std::size_t actualIndex)>;

bool checkSequence(const std::vector<std::string>& expected, const std::vector<std::string>& actual,
                   bool exact, std::string& why, const ItemMatch& matches) {
    if (exact) {
        bool same = expected.size() == actual.size();
        for (std::size_t i = 0; same && i < expected.size(); ++i) {
            same = matches(expected[i], i);
        }
        if (!same) {
            why = "saw " + joined(actual);
        }
        return same;
    }
    std::size_t at = 0;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        if (at < expected.size() && matches(expected[at], i)) {
            ++at;
        }
    }
    if (at != expected.size()) {
        why = expected[at] + " (item " + std::to_string(at + 1) + ") not found in order; saw " +
              joined(actual);
        return false;
    }
    return true;
}

bool checkSequence(const std::vector<std::string>& expected, const std::vector<std::string>& actual,
                   bool exact, std::string& why) {
    return checkSequence(
        expected, actual, exact, why,
        [&actual](const std::string& item, std::size_t i) { return actual[i] == item; });
}

// NAME, or NAME:FIELD=VALUE (the request's FIELD must read VALUE).
bool requestMatches(const std::string& item, const RequestRecord& request) {
    const std::size_t colon = item.find(':');
    if (item.substr(0, colon) != request.name) {
        return false;
    }
    if (colon == std::string::npos) {
        return true;
    }
    const std::string check = item.substr(colon + 1);
    const std::size_t eq = check.find('=');
    std::string value;
    return eq != std::string::npos && lookupXml(request.element, check.substr(0, eq), value) &&
           value == check.substr(eq + 1);
}

bool checkRequestSequence(const std::vector<std::string>& expected,
                          const std::vector<const RequestRecord*>& requests, bool exact,
                          std::string& why) {
    std::vector<std::string> names;
    for (const RequestRecord* r : requests) {
        names.push_back(r->name);
    }
    return checkSequence(expected, names, exact, why,
                         [&requests](const std::string& item, std::size_t i) {
                             return requestMatches(item, *requests[i]);
                         });
}

Lookup requestLookup(const RequestRecord& request) {
    return [&request](const std::string& path, std::string& value) {
        if (path == "$result" || path == "$capacity") {
            value = std::to_string(path == "$result" ? request.result : request.capacity);
            return true;
        }
        if (!path.empty() && path[0] == '@') {
            return lookupXml(request.envelope, path.substr(1), value);
        }
        return lookupXml(request.element, path, value);
    };
}

bool trimmedLineIn(const std::string& text, const std::string& wanted, bool contains) {
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
        if (contains ? row.find(wanted) != std::string::npos : row == wanted) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

bool checkReceipt(const Expectation& e, const RunRecord& record, std::string& why) {
    const auto items = filter(record.receipts, [](const PrintedReceipt&) { return true; });
    if (e.countOnly) {
        return checkList<PrintedReceipt>(e, items, "receipts", nullptr, why);
    }
    const PrintedReceipt* receipt = pick(items, e.index);
    if (receipt == nullptr) {
        why =
            "no receipt " + indexText(e.index) + " (" + std::to_string(items.size()) + " printed)";
        return false;
    }
    bool ok = true;
    std::vector<Check> plain;
    for (const Check& check : e.checks) {
        if (check.path == "line" &&
            (check.op == CheckOp::equals || check.op == CheckOp::contains)) {
            if (!trimmedLineIn(receipt->text, check.value, check.op == CheckOp::contains)) {
                why += (why.empty() ? "" : "; ") + std::string("no line ") +
                       (check.op == CheckOp::contains ? "containing " : "reading ") +
                       shownText(check.value);
                ok = false;
            }
        } else {
            plain.push_back(check);
        }
    }
    std::string more;
    const bool rest = evaluateAll(
        plain,
        [receipt](const std::string& path, std::string& value) {
            value = path == "text"      ? receipt->text
                    : path == "printer" ? receipt->printer
                                        : receipt->type;
            return path == "text" || path == "printer" || path == "type";
        },
        more);
    if (!rest) {
        why += (why.empty() ? "" : "; ") + more;
    }
    return ok && rest;
}

bool anyContains(const std::vector<std::string>& texts, const std::string& wanted) {
    for (const std::string& text : texts) {
        if (text.find(wanted) != std::string::npos) {
            return true;
        }
    }
    return false;
}

bool checkOne(const Expectation& e, const RunRecord& record, const VariableStore& store,
              std::string& why) {
    switch (e.kind) {
    case ExpectKind::startup: {
        const auto items = filter(record.startups, [](const StartupCall&) { return true; });
        return checkList<StartupCall>(
            e, items, "Startup calls",
            [](const StartupCall& call) -> Lookup {
                return [&call](const std::string& path, std::string& value) {
                    value = path == "result" ? std::to_string(call.result)
                            : path == "version"
                                ? call.versionWritten
                                : (call.byteAfterVersionKept ? "kept" : "overwritten");
                    return path == "result" || path == "version" || path == "byte43";
                };
            },
            why);
    }
    case ExpectKind::startupRequests: {
        int last = 0;
        for (const RequestRecord& r : record.requests) {
            last = r.startup > last ? r.startup : last;
        }
        const auto during = filter(record.requests, [last](const RequestRecord& r) {
            return last != 0 && r.startup == last;
        });
        return checkRequestSequence(e.words, during, true, why);
    }
    case ExpectKind::requestOrder:
        return checkRequestSequence(
            e.words, filter(record.requests, [](const RequestRecord&) { return true; }), false,
            why);
    case ExpectKind::request:
        return checkList<RequestRecord>(
            e,
            filter(record.requests, [&e](const RequestRecord& r) { return r.name == e.subject; }),
            e.subject + " requests", requestLookup, why);
    case ExpectKind::posEvent:
        return checkList<RequestRecord>(
            e,
            filter(record.posEvents, [&e](const RequestRecord& r) { return r.name == e.subject; }),
            e.subject + " events", requestLookup, why);
    case ExpectKind::delivered:
        return checkList<DeliveryRecord>(
            e,
            filter(record.deliveries,
                   [&e](const DeliveryRecord& d) { return d.name == e.subject; }),
            "deliveries of " + e.subject,
            [](const DeliveryRecord& d) -> Lookup {
                return [&d](const std::string& path, std::string& value) {
                    value = path == "returned" ? std::to_string(d.returned) : d.reply;
                    return path == "returned" || path == "reply";
                };
            },
            why);
    case ExpectKind::result:
        return checkList<XmlElement>(
            e, filter(record.results, [](const XmlElement&) { return true; }), "TransactionEvents",
            [](const XmlElement& r) -> Lookup {
                return [&r](const std::string& p, std::string& v) { return lookupXml(r, p, v); };
            },
            why);
    case ExpectKind::gatewayKinds: {
        std::vector<std::string> kinds;
        for (const GatewayMessage& m : record.gateway) {
            kinds.push_back(m.kind);
        }
        return checkSequence(e.words, kinds, true, why);
    }
    case ExpectKind::gateway:
        return checkList<GatewayMessage>(
            e,
            filter(
                record.gateway,
                [&e](const GatewayMessage& m) { return e.subject == "*" || m.kind == e.subject; }),
            e.subject + " gateway messages",
            [](const GatewayMessage& m) -> Lookup {
                return [&m](const std::string& path, std::string& value) {
                    if (!path.empty() && path[0] == '@') {
                        return lookupXml(m.hostRequest, path.substr(1), value);
                    }
                    return lookupJson(m.json, path, value);
                };
            },
            why);
    case ExpectKind::receipt:
        return checkReceipt(e, record, why);
    case ExpectKind::journal:
        return checkList<std::string>(
            e, filter(record.journal, [](const std::string&) { return true; }), "journal lines",
            [](const std::string& line) -> Lookup {
                return [&line](const std::string& path, std::string& value) {
                    value = line;
                    return path == "text";
                };
            },
            why);
    case ExpectKind::variables:
        return evaluateAll(
            e.checks,
            [&store](const std::string& path, std::string& value) {
                const std::string* held = store.find(path);
                value = held != nullptr ? *held : "";
                return held != nullptr;
            },
            why);
    case ExpectKind::trace:
        for (const std::string& wanted : e.words) {
            bool found = false;
            for (const std::string& trace : record.traces) {
                found = found || trace == wanted;
            }
            if (!found) {
                why = "no Trace " + shownText(wanted) + "; traces: " + joined(record.traces);
                return false;
            }
        }
        return true;
    case ExpectKind::screen:
    case ExpectKind::posScreen: {
        const auto& screens =
            e.kind == ExpectKind::screen ? record.pinpadScreens : record.posScreens;
        for (const std::string& wanted : e.words) {
            if (!anyContains(screens, wanted)) {
                why = "no " + std::string(e.kind == ExpectKind::screen ? "pinpad" : "POS") +
                      " screen showed " + shownText(wanted);
                return false;
            }
        }
        return true;
    }
    }
    return false;
}

} // namespace

bool lookupXml(const XmlElement& element, const std::string& path, std::string& value) {
    const XmlElement* at = &element;
    for (const std::string& part : splitPath(path)) {
        at = at->find(part);
        if (at == nullptr) {
            return false;
        }
    }
    value = at->text;
    return true;
}

bool lookupJson(const nlohmann::json& root, const std::string& path, std::string& text) {
    const nlohmann::json* at = &root;
    for (const std::string& part : splitPath(path)) {
        if (at->is_object() && at->contains(part)) {
            at = &(*at)[part];
        } else if (at->is_array() && !part.empty() &&
                   part.find_first_not_of("0123456789") == std::string::npos &&
                   std::strtoul(part.c_str(), nullptr, 10) < at->size()) {
            at = &(*at)[std::strtoul(part.c_str(), nullptr, 10)];
        } else {
            return false;
        }
    }
    text = at->is_string() ? at->get<std::string>()
                           : at->dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return true;
}

std::vector<std::string> checkExpectations(const Scenario& scenario, const RunRecord& record,
                                           const VariableStore& store) {
    std::vector<std::string> failures;
    for (const Expectation& e : scenario.expectations) {
        std::string why;
        if (!checkOne(e, record, store, why)) {
            failures.push_back(scenario.file + ":" + std::to_string(e.line) + ": " + e.text +
                               "\n    " + why);
        }
    }
    return failures;
}

} // namespace sim
