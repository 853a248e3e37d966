// Reading values out of what a run recorded (XML elements, gateway JSON) and
// checking them against the conditions of an expect line.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/host/sim_xml.h"
#include "sim/scenario/scenario.h"

namespace sim {

// The value at a path of one recorded item; false when it is absent.
using Lookup = std::function<bool(const std::string& path, std::string& value)>;

// The value at a slash-separated path below an element; false when absent.
bool lookupXml(const XmlElement& element, const std::string& path, std::string& value);
// The same for a JSON value: object members and array indexes.
bool lookupJson(const nlohmann::json& value, const std::string& path, std::string& text);

// A text as reports show it: in quotes, line ends and quotes escaped.
std::string shownText(const std::string& text);
// What a check asks for: ResponseCode="00", ResponseText~"APPROVED",
// Pan absent, Pan present.
std::string wantedText(const Check& check);
// What the item holds at the check's path: ResponseCode="05" or
// ResponseCode absent.
std::string foundText(const Check& check, const Lookup& lookup);
bool passes(const Check& check, const Lookup& lookup);
// Checks every condition; expected and got receive the failed ones ("; "
// between them).
bool evaluateAll(const std::vector<Check>& checks, const Lookup& lookup, std::string& expected,
                 std::string& got);
// Adds a part to a list of parts written "; " between them.
void appendPart(std::string& list, const std::string& part);
// What every checked path holds on one item, for a list of candidates.
std::string foundAll(const std::vector<Check>& checks, const Lookup& lookup);

} // namespace sim
