// The context a failure report gives: the transcript lines around what an
// expectation looked at, and the "on" rules of a scenario that never fired.
#pragma once

#include <string>
#include <vector>

#include "sim/cli/transcript.h"
#include "sim/host/run_record.h"
#include "sim/scenario/failure.h"
#include "sim/scenario/scenario.h"

namespace sim {

// The line at that time that holds anchor (else the first line at or after
// that time) with two lines either side; with no time (-1), the run's last
// lines.
std::vector<std::string> contextAround(const std::vector<TranscriptLine>& lines, Millis at,
                                       const std::string& anchor);

// The lines of the screens shown, trimmed, empty ones left out.
std::vector<std::string> screenLines(const std::vector<std::string>& screens);

// One warning per "on" rule that never fired, with what the run did show
// in its place (the screens, the gateway kinds, the requests).
std::vector<Failure> unfiredRules(const Scenario& scenario, const RunRecord& record);

} // namespace sim
