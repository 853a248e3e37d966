#include "sim/scenario/expectations.h"

#include <functional>

#include "sim/scenario/failure_context.h"
#include "sim/scenario/similar_text.h"

namespace sim {

namespace {

constexpr std::size_t nearestItemLimit = 5;

std::string stamp(Millis at) {
    return at < 0 ? std::string() : " at " + formatMillis(at);
}

std::string indexText(int index, const std::string& noun) {
    return index < 0 ? "the last " + noun : noun + " number " + std::to_string(index);
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

template <typename T> std::vector<const T*> all(const std::vector<T>& items) {
    return filter(items, [](const T&) { return true; });
}

// The items an expectation picks from, and how to read and place one.
template <typename T> struct ItemList {
    std::vector<const T*> items;
    std::string noun; // "TransactionEvent", "P gateway message"
    std::function<Lookup(const T&)> lookupFor;
    std::function<Millis(const T&)> timeOf; // null: not known
    std::string anchor;                     // a word of an item's transcript line

    Millis time(const T& item) const { return timeOf ? timeOf(item) : -1; }
};

// Every item but the one picked, with what the checked paths hold on it.
template <typename T>
std::vector<std::string> others(const Expectation& e, const ItemList<T>& list, const T* picked) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < list.items.size() && out.size() < nearestItemLimit; ++i) {
        const T& item = *list.items[i];
        if (&item == picked) {
            continue;
        }
        std::string line = list.noun + " number " + std::to_string(i + 1) + stamp(list.time(item));
        if (list.lookupFor && !e.checks.empty()) {
            const Lookup lookup = list.lookupFor(item);
            std::string expected;
            std::string got;
            line += ": " + foundAll(e.checks, lookup) +
                    (evaluateAll(e.checks, lookup, expected, got) ? " (every check holds)" : "");
        }
        out.push_back(line);
    }
    return out;
}

// Counting the items, or picking one and checking it.
template <typename T> bool checkList(const Expectation& e, const ItemList<T>& list, Mismatch& m) {
    m.anchor = list.anchor;
    if (e.countOnly) {
        if (list.items.size() == e.count) {
            return true;
        }
        m.expected = "count=" + std::to_string(e.count) + " (" + list.noun + ")";
        m.got = "count=" + std::to_string(list.items.size());
        m.nearest = others(e, list, static_cast<const T*>(nullptr));
        m.at = list.items.empty() ? -1 : list.time(*list.items.back());
        return false;
    }
    const T* item = pick(list.items, e.index);
    if (item == nullptr) {
        m.expected = indexText(e.index, list.noun);
        m.got = list.items.empty() ? "none" : std::to_string(list.items.size()) + " in all";
        m.nearest = others(e, list, item);
        return false;
    }
    m.at = list.time(*item);
    if (evaluateAll(e.checks, list.lookupFor(*item), m.expected, m.got)) {
        return true;
    }
    m.got += " on " + indexText(e.index, list.noun);
    m.nearest = others(e, list, item);
    return false;
}

std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words) {
        out += (out.empty() ? "" : " ") + w;
    }
    return out.empty() ? "(none)" : out;
}

// The names (each once) that a slip in typing name could have come from.
std::vector<std::string> closeNames(const std::string& name,
                                    const std::vector<std::string>& names) {
    std::vector<std::string> close;
    for (const std::string& other : nearestTexts(name, names, 3)) {
        if (editDistance(name, other) <= name.size() / 3 + 1) {
            close.push_back(other);
        }
    }
    return close;
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

// Exactly these names (exact), or these among others in this order.
bool checkSequence(const std::vector<std::string>& expected,
                   const std::vector<const RequestRecord*>& requests,
                   const std::vector<std::string>& names, bool exact, Mismatch& m) {
    const auto matches = [&](const std::string& item, std::size_t i) {
        return requests.empty() ? names[i] == item : requestMatches(item, *requests[i]);
    };
    m.expected = joined(expected) + (exact ? "" : " (in this order, others between)");
    if (exact) {
        bool same = expected.size() == names.size();
        for (std::size_t i = 0; same && i < expected.size(); ++i) {
            same = matches(expected[i], i);
        }
        m.got = joined(names);
        return same;
    }
    std::size_t at = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (at < expected.size() && matches(expected[at], i)) {
            ++at;
            m.at = requests.empty() ? m.at : requests[i]->at;
        }
    }
    if (at == expected.size()) {
        return true;
    }
    m.got = expected[at] + " (item " + std::to_string(at + 1) + ") not found" +
            (at == 0 ? "" : " after " + expected[at - 1]);
    m.anchor = at == 0 ? std::string() : expected[at - 1].substr(0, expected[at - 1].find(':'));
    m.nearest = closeNames(expected[at].substr(0, expected[at].find(':')), names);
    return false;
}

bool checkRequests(const Expectation& e, const std::vector<const RequestRecord*>& requests,
                   bool exact, Mismatch& m) {
    std::vector<std::string> names;
    for (const RequestRecord* r : requests) {
        names.push_back(r->name);
    }
    return checkSequence(e.words, requests, names, exact, m);
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

ItemList<RequestRecord> requestList(const std::vector<RequestRecord>& records,
                                    const std::string& name, const std::string& noun) {
    ItemList<RequestRecord> list;
    list.items = filter(records, [&name](const RequestRecord& r) { return r.name == name; });
    list.noun = noun;
    list.lookupFor = requestLookup;
    list.timeOf = [](const RequestRecord& r) { return r.at; };
    list.anchor = name;
    return list;
}

// A request name nobody sent: the names that were sent and look like it.
void nameNotSeen(const std::string& name, const std::vector<RequestRecord>& records, Mismatch& m) {
    std::vector<std::string> names;
    for (const RequestRecord& r : records) {
        names.push_back(r.name);
    }
    for (const std::string& other : closeNames(name, names)) {
        m.nearest.push_back("a request named " + other + " was sent");
    }
}

// The times of the requests of that name, in order (for records kept apart
// from their requests: results and journal lines).
std::vector<Millis> requestTimes(const RunRecord& record, const std::string& name) {
    std::vector<Millis> times;
    for (const RequestRecord& r : record.requests) {
        if (r.name == name && (name != "DllEndTransaction" || r.element.find("VORTAXIS_EVENT"))) {
            times.push_back(r.at);
        }
    }
    return times;
}

template <typename T>
std::function<Millis(const T&)> timeByPosition(const std::vector<T>& items,
                                               std::vector<Millis> times) {
    if (times.size() != items.size()) {
        return nullptr;
    }
    return [&items, times](const T& item) { return times[&item - items.data()]; };
}

} // namespace

bool checkExpectation(const Expectation& e, const RunRecord& record, const VariableStore& store,
                      Mismatch& m) {
    switch (e.kind) {
    case ExpectKind::startup: {
        ItemList<StartupCall> list;
        list.items = all(record.startups);
        list.noun = "Startup call";
        list.anchor = "Startup";
        list.lookupFor = [](const StartupCall& call) -> Lookup {
            return [&call](const std::string& path, std::string& value) {
                value = path == "result"    ? std::to_string(call.result)
                        : path == "version" ? call.versionWritten
                                            : (call.byteAfterVersionKept ? "kept" : "overwritten");
                return path == "result" || path == "version" || path == "byte43";
            };
        };
        return checkList(e, list, m);
    }
    case ExpectKind::startupRequests: {
        int last = 0;
        for (const RequestRecord& r : record.requests) {
            last = r.startup > last ? r.startup : last;
        }
        return checkRequests(
            e,
            filter(record.requests,
                   [last](const RequestRecord& r) { return last != 0 && r.startup == last; }),
            true, m);
    }
    case ExpectKind::requestOrder:
        return checkRequests(e, all(record.requests), false, m);
    case ExpectKind::request: {
        const ItemList<RequestRecord> list =
            requestList(record.requests, e.subject, e.subject + " request");
        const bool ok = checkList(e, list, m);
        if (!ok && list.items.empty()) {
            nameNotSeen(e.subject, record.requests, m);
        }
        return ok;
    }
    case ExpectKind::posEvent:
        return checkList(e, requestList(record.posEvents, e.subject, e.subject), m);
    case ExpectKind::delivered: {
        ItemList<DeliveryRecord> list;
        list.items = filter(record.deliveries,
                            [&e](const DeliveryRecord& d) { return d.name == e.subject; });
        list.noun = "delivery of " + e.subject;
        list.anchor = e.subject;
        list.timeOf = [](const DeliveryRecord& d) { return d.at; };
        list.lookupFor = [](const DeliveryRecord& d) -> Lookup {
            return [&d](const std::string& path, std::string& value) {
                value = path == "returned" ? std::to_string(d.returned) : d.reply;
                return path == "returned" || path == "reply";
            };
        };
        return checkList(e, list, m);
    }
    case ExpectKind::result: {
        ItemList<XmlElement> list;
        list.items = all(record.results);
        list.noun = "TransactionEvent";
        list.anchor = "DllEndTransaction";
        list.timeOf = timeByPosition(record.results, requestTimes(record, "DllEndTransaction"));
        list.lookupFor = [](const XmlElement& r) -> Lookup {
            return [&r](const std::string& p, std::string& v) { return lookupXml(r, p, v); };
        };
        return checkList(e, list, m);
    }
    case ExpectKind::gatewayKinds: {
        std::vector<std::string> kinds;
        for (const GatewayMessage& message : record.gateway) {
            kinds.push_back(message.kind);
        }
        m.anchor = "to gateway";
        return checkSequence(e.words, {}, kinds, true, m);
    }
    case ExpectKind::gateway: {
        ItemList<GatewayMessage> list;
        list.items = filter(record.gateway, [&e](const GatewayMessage& message) {
            return e.subject == "*" || message.kind == e.subject;
        });
        list.noun = e.subject + " gateway message";
        list.anchor = "to gateway";
        list.timeOf = [](const GatewayMessage& message) { return message.at; };
        list.lookupFor = [](const GatewayMessage& message) -> Lookup {
            return [&message](const std::string& path, std::string& value) {
                if (!path.empty() && path[0] == '@') {
                    return lookupXml(message.hostRequest, path.substr(1), value);
                }
                return lookupJson(message.json, path, value);
            };
        };
        return checkList(e, list, m);
    }
    case ExpectKind::journal: {
        ItemList<std::string> list;
        list.items = all(record.journal);
        list.noun = "journal line";
        list.anchor = "journal";
        list.timeOf = timeByPosition(record.journal, requestTimes(record, "AddJournal"));
        list.lookupFor = [](const std::string& line) -> Lookup {
            return [&line](const std::string& path, std::string& value) {
                value = line;
                return path == "text";
            };
        };
        return checkList(e, list, m);
    }
    default:
        return checkTextExpectation(e, record, store, m);
    }
}

std::vector<Failure> checkExpectations(const Scenario& scenario, const RunRecord& record,
                                       const VariableStore& store,
                                       const std::vector<TranscriptLine>& transcript) {
    std::vector<Failure> failures;
    for (const Expectation& e : scenario.expectations) {
        Mismatch found;
        if (checkExpectation(e, record, store, found)) {
            continue;
        }
        Failure failure;
        failure.kind = "expectation";
        failure.where = scenario.file + ":" + std::to_string(e.line);
        failure.what = e.text;
        failure.expected = found.expected;
        failure.got = found.got;
        failure.nearest = found.nearest;
        failure.at = found.at;
        failure.context = contextAround(transcript, found.at, found.anchor);
        failures.push_back(failure);
    }
    return failures;
}

} // namespace sim
