// What klarna-sim tells about the cases it ran: a line per case and a true
// summary on the terminal, and the same as a JUnit XML file and a JSON file
// for CI systems. Scenario files and fault-matrix cases come through the
// same reporter.
#pragma once

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "sim/scenario/case_report.h"

namespace sim {

struct ReportContext {
    std::string timestamp; // when the run began, local time "YYYY-MM-DDTHH:MM:SS"
    std::vector<std::pair<std::string, std::string>> properties; // the module, the seed...
};

// The JUnit XML text: a testsuite per suite, a testcase per case with its
// time, a failure per failed expectation (expected and got in its message),
// an error for a case that could not run, warnings in its system-out.
std::string junitReport(const std::vector<CaseReport>& cases, const ReportContext& context);
// The same as JSON, with each run's results, receipts and journal lines.
std::string jsonReport(const std::vector<CaseReport>& cases, const ReportContext& context);
// Text made fit for a report: valid UTF-8 is kept, any other byte is read
// as Latin-1 (as a POS's staff name may be), control bytes become '?'.
std::string asUtf8(const std::string& text);
// "3 passed, 1 failed, 1 error, 2 warnings".
std::string summaryLine(const std::vector<CaseReport>& cases);
// 0 all passed, 1 a case failed, 2 a case could not be read, 3 the module
// could not be loaded.
int exitStatus(const std::vector<CaseReport>& cases);

struct ReportOptions {
    bool showTimes = true; // wall-clock times on the terminal (off when runs are to be diffed)
    std::string junitPath;
    std::string jsonPath;
    ReportContext context;
};

class Reporter : public CaseSink {
  public:
    Reporter(std::ostream& out, ReportOptions options) : out_(out), options_(std::move(options)) {}

    // Prints the case (warnings, failures, then PASS, FAIL or ERROR) and
    // keeps it for the summary and the report files.
    void caseDone(const CaseReport& report) override;
    // Prints the summary and writes the report files; the exit status (2
    // when a report file cannot be written, told on err).
    int finish(std::ostream& err);
    const std::vector<CaseReport>& cases() const { return cases_; }

  private:
    std::ostream& out_;
    ReportOptions options_;
    std::vector<CaseReport> cases_;
};

} // namespace sim
