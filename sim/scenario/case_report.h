// One case of a report: a scenario file or a generated fault-matrix case,
// as the summary, the JUnit file and the JSON file show it. Scenario files
// and matrix cases reach the reports through the same sink.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "sim/scenario/failure.h"
#include "sim/scenario/scenario_runner.h"

namespace sim {

struct CaseReport {
    enum class Outcome { passed, failed, error };

    std::string suite; // "scenarios" or "fault-matrix"
    std::string name;  // the scenario's title (the file when it has none), or the case's name
    std::string file;  // the scenario file, or the case's name
    Outcome outcome = Outcome::passed;
    bool unloadable = false;       // the module could not be used (exit status 3)
    double seconds = 0;            // wall-clock time the case took
    std::vector<Failure> failures; // for an error: why the case could not run
    std::vector<Failure> warnings;
    std::vector<RunOutput> runs; // one per run (a simulator restart makes two)
};

// Receives every case when it is done.
class CaseSink {
  public:
    virtual ~CaseSink() = default;
    virtual void caseDone(const CaseReport& report) = 0;
};

// A case made of runs; failed when any of them failed, an error when one
// could not be run at all.
CaseReport caseFromRuns(const std::string& suite, const std::string& name, const std::string& file,
                        const std::vector<RunReport>& runs, double seconds);
// A case that could not be run: an unreadable or malformed file.
CaseReport errorCase(const std::string& suite, const std::string& name, const std::string& file,
                     const std::vector<Failure>& why);

// Whether a case is picked by --filter: the text (any case) inside its name
// or its file; an empty filter picks every case.
bool caseSelected(const std::string& filter, const std::string& name, const std::string& file);

// Wall-clock seconds since it was made.
class Stopwatch {
  public:
    double seconds() const;

  private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

} // namespace sim
