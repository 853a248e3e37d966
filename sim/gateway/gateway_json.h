// Reading and writing the members of gateway messages, shared by the
// gateway's files.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include <nlohmann/json.hpp>

namespace sim {
namespace gw {

// The member's text; empty when it is absent or no string.
std::string textOf(const nlohmann::json& object, const char* key);
bool integerOf(const nlohmann::json& object, const char* key, std::int64_t& value);
// The first of the keys that is absent or empty, or null.
const char* firstMissing(const nlohmann::json& request, std::initializer_list<const char*> keys);
std::string upper(std::string text);
// PREFIX followed by n in six digits.
std::string numbered(const char* prefix, int n);

} // namespace gw
} // namespace sim
