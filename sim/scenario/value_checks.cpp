#include "sim/scenario/value_checks.h"

#include <cstdlib>

namespace sim {

namespace {

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

} // namespace

void appendPart(std::string& list, const std::string& part) {
    list += (list.empty() ? "" : "; ") + part;
}

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

std::string wantedText(const Check& check) {
    switch (check.op) {
    case CheckOp::absent:
        return check.path + " absent";
    case CheckOp::present:
        return check.path + " present";
    case CheckOp::equals:
        return check.path + "=" + shownText(check.value);
    case CheckOp::contains:
        return check.path + "~" + shownText(check.value);
    }
    return check.path;
}

std::string foundText(const Check& check, const Lookup& lookup) {
    std::string value;
    return lookup(check.path, value) ? check.path + "=" + shownText(value) : check.path + " absent";
}

bool passes(const Check& check, const Lookup& lookup) {
    std::string value;
    const bool present = lookup(check.path, value);
    switch (check.op) {
    case CheckOp::absent:
        return !present;
    case CheckOp::present:
        return present;
    case CheckOp::equals:
        return present && value == check.value;
    case CheckOp::contains:
        return present && value.find(check.value) != std::string::npos;
    }
    return false;
}

bool evaluateAll(const std::vector<Check>& checks, const Lookup& lookup, std::string& expected,
                 std::string& got) {
    bool ok = true;
    for (const Check& check : checks) {
        if (!passes(check, lookup)) {
            appendPart(expected, wantedText(check));
            appendPart(got, foundText(check, lookup));
            ok = false;
        }
    }
    return ok;
}

std::string foundAll(const std::vector<Check>& checks, const Lookup& lookup) {
    std::string all;
    for (const Check& check : checks) {
        const std::string found = foundText(check, lookup);
        if (all.find(found) == std::string::npos) {
            all += (all.empty() ? "" : " ") + found;
        }
    }
    return all;
}

} // namespace sim
