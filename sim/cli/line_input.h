// Reading the person's lines: with line editing and a history (kept in
// ~/.klarna-sim_history) when the Linux build has libedit and the keyboard
// is a terminal; plain lines otherwise (Win32, piped input, tests).
#pragma once

#include <istream>
#include <ostream>
#include <string>

namespace sim {

class LineInput {
  public:
    LineInput(std::istream& in, std::ostream& out);
    ~LineInput();
    LineInput(const LineInput&) = delete;
    LineInput& operator=(const LineInput&) = delete;

    // Shows the prompt and reads one line; false at the end of the input.
    bool read(const std::string& prompt, std::string& line);

  private:
    std::istream& in_;
    std::ostream& out_;
    [[maybe_unused]] bool editing_ = false; // read only where libedit is built in
    bool echo_ = false;                     // lines read from a file are shown after the prompt
    std::string historyFile_;
};

} // namespace sim
