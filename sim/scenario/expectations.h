// Checks a scenario's expectations against what a run observed.
#pragma once

#include <string>
#include <vector>

#include "sim/host/run_record.h"
#include "sim/host/variable_store.h"
#include "sim/scenario/scenario.h"

namespace sim {

// One message per failed expectation: "file:line: expectation: why".
std::vector<std::string> checkExpectations(const Scenario& scenario, const RunRecord& record,
                                           const VariableStore& store);

// The value at a slash-separated path below an element; false when absent.
bool lookupXml(const XmlElement& element, const std::string& path, std::string& value);
// The same for a JSON value: object members and array indexes.
bool lookupJson(const nlohmann::json& value, const std::string& path, std::string& text);

} // namespace sim
