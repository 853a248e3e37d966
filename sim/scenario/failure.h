// What a run reports when something did not come out as its scenario said:
// a failed expectation (what was expected, what was found, the nearest
// things the run did show, when, and the transcript lines around it), a
// broken invariant or host protocol rule, or an action that could not be
// carried out. Warnings have the same shape.
#pragma once

#include <string>
#include <vector>

#include "sim/host/event_queue.h"

namespace sim {

struct Failure {
    // expectation, protocol, problem, invariant, ledger, check (the fault
    // matrix's), output, file, module; for warnings rule or expectations
    std::string kind;
    std::string where;    // FILE:LINE, or FILE for the run as a whole
    std::string what;     // the expectation as written, or what went wrong
    std::string expected; // empty when nothing was compared
    std::string got;
    std::vector<std::string> nearest; // the closest things the run did show
    Millis at = -1;                   // virtual time of what was looked at; -1: none
    std::vector<std::string> context; // transcript lines around that time

    // "where: what", then expected, got, nearest and the context on
    // indented lines.
    std::string text() const;
    // The first line only.
    std::string headline() const { return where.empty() ? what : where + ": " + what; }
};

// A failure of that kind with no comparison behind it.
Failure plainFailure(const std::string& kind, const std::string& where, const std::string& what);

} // namespace sim
