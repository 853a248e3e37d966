// The command line of klarna-sim and its help texts.
#pragma once

#include <string>
#include <vector>

#include "sim/scenario/scenario_runner.h"

namespace sim {

struct CliOptions {
    RunSettings run;
    std::vector<std::string> scenarios;
    bool checkOnly = false;
    bool help = false;
    bool helpScenario = false;
    bool version = false;
    bool noQr = false;
    bool faultMatrix = false; // run the generated fault and restart scenarios
    bool listOnly = false;    // with either matrix: only name the cases
    // The host's own faults: the parts asked for (events, doors, requests);
    // empty: not asked for.
    std::vector<std::string> hostFaultMatrix;
    bool inProcess = false; // the module built into klarna-sim, on the virtual clock
    bool seedGiven = false;
    std::string filter;    // run only the cases whose name or file holds it
    std::string junitPath; // reports for CI systems
    std::string jsonPath;
};

// False with error set for an unknown or incomplete option.
bool parseCommandLine(int argc, const char* const* argv, CliOptions& options, std::string& error);
const char* usageText();
const char* scenarioLanguageText();
// What runs when no scenario file is named: start-up, the pinpad coming
// online, a settings refresh and the last-transaction query.
const char* demoScenarioText();

} // namespace sim
