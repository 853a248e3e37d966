// What a person sees of a run: every host message and gateway message in
// both directions, the screens, the receipts and notes, stamped with the
// virtual time. The brief level keeps the payment's story only: screens,
// gateway message kinds, the customer and the operator, receipts, results
// and problems.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "sim/host/event_queue.h"

namespace sim {

enum class Level { quiet = 0, brief = 1, normal = 2, verbose = 3 };

// A stamped line as the transcript writes it at the normal level.
struct TranscriptLine {
    Millis at = 0;
    std::string text;
};

class Transcript {
  public:
    Transcript(std::ostream& out, Level level) : out_(out), level_(level) {}

    void setClock(const EventQueue* clock) { clock_ = clock; }
    Level level() const { return level_; }
    bool shows(Level atLeast) const { return level_ >= atLeast; }

    // One stamped line: "[  12.345s] tag  text".
    void line(Level atLeast, const std::string& tag, const std::string& text);
    // Several lines, each indented under the stamp.
    void block(Level atLeast, const std::string& text);
    // Always shown, whatever the level.
    void always(const std::string& text);
    // Keeps every stamped line of the normal level in lines, whatever the
    // level shown, so that a failure can quote the lines around it.
    void keepLines(std::vector<TranscriptLine>* lines) { kept_ = lines; }

  private:
    std::ostream& out_;
    Level level_;
    const EventQueue* clock_ = nullptr;
    std::vector<TranscriptLine>* kept_ = nullptr;
};

} // namespace sim
