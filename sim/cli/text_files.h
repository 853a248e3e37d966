// Whole-file reading, writing and appending for scenario files, reports,
// the journal and the printed receipts.
#pragma once

#include <string>

namespace sim {

bool readTextFile(const std::string& path, std::string& text);
bool appendToFile(const std::string& path, const std::string& text);
// Replaces the file's content; false with error ("cannot write FILE: why").
bool writeTextFile(const std::string& path, const std::string& text, std::string& error);
// Whether the file can be written to: it is made when missing, and what it
// holds is kept. False with error as above.
bool checkWritable(const std::string& path, std::string& error);

} // namespace sim
