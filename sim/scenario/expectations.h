// Checks a scenario's expectations against what a run observed.
#pragma once

#include <string>
#include <vector>

#include "sim/cli/transcript.h"
#include "sim/host/run_record.h"
#include "sim/host/variable_store.h"
#include "sim/scenario/failure.h"
#include "sim/scenario/scenario.h"
#include "sim/scenario/value_checks.h"

namespace sim {

// What a failed expectation found.
struct Mismatch {
    std::string expected;
    std::string got;
    std::vector<std::string> nearest; // the closest things the run did show
    Millis at = -1;                   // when the item looked at came about; -1: none
    std::string anchor;               // a word of that item's transcript line
};

// False when the expectation does not hold, with what was found instead.
bool checkExpectation(const Expectation& e, const RunRecord& record, const VariableStore& store,
                      Mismatch& found);
// The same for the expectations about texts: receipts, variables, traces
// and screens (text_expectations.cpp).
bool checkTextExpectation(const Expectation& e, const RunRecord& record, const VariableStore& store,
                          Mismatch& found);

// One failure per expectation that does not hold, with the transcript
// lines around what it looked at.
std::vector<Failure> checkExpectations(const Scenario& scenario, const RunRecord& record,
                                       const VariableStore& store,
                                       const std::vector<TranscriptLine>& transcript);

} // namespace sim
