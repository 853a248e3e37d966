// Whole-file reading and appending for scenario files, the journal and the
// printed receipts.
#pragma once

#include <string>

namespace sim {

bool readTextFile(const std::string& path, std::string& text);
bool appendToFile(const std::string& path, const std::string& text);
// Replaces the file's content.
bool writeTextFile(const std::string& path, const std::string& text);

} // namespace sim
