// The host's store of named variables. With a file it is persisted on every
// change and read back on load, so that state survives a restart of the
// simulator exactly as it survives a restart of a real host.
#pragma once

#include <map>
#include <string>

namespace sim {

class VariableStore {
  public:
    bool has(const std::string& name) const { return values_.count(name) != 0; }
    // The value, or null when the store does not hold the variable.
    const std::string* find(const std::string& name) const;
    void set(const std::string& name, const std::string& value);
    void erase(const std::string& name);
    const std::map<std::string, std::string>& all() const { return values_; }

    // Reads the file when it exists (a missing file is an empty store) and
    // writes it back after every change. False with error set when the file
    // exists but cannot be read, or has a malformed line. A read-only store
    // reads the file once and never writes it: changes live in memory only.
    bool attachFile(const std::string& path, std::string& error, bool readOnly = false);
    // Writes the file now (when one is attached); false when that fails.
    bool save(std::string& error) const;
    // Rereads the attached file, as a restarted host does (a read-only store
    // keeps what it holds).
    bool reload(std::string& error);
    // Why a write after a change failed; empty while every one succeeded.
    const std::string& writeError() const { return writeError_; }

  private:
    std::map<std::string, std::string> values_;
    std::string path_;
    bool readOnly_ = false;
    bool loaded_ = false;
    std::string writeError_;
};

// One line of the store file: NAME=value with \\, \n, \r, \t and \xHH escapes.
std::string encodeStoreLine(const std::string& name, const std::string& value);
bool decodeStoreLine(const std::string& line, std::string& name, std::string& value);

} // namespace sim
