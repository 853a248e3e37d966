#include "sim/scenario/case_report.h"

namespace sim {

namespace {

std::string lowered(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

} // namespace

CaseReport caseFromRuns(const std::string& suite, const std::string& name, const std::string& file,
                        const std::vector<RunReport>& runs, double seconds) {
    CaseReport report;
    report.suite = suite;
    report.name = name.empty() ? file : name;
    report.file = file;
    report.seconds = seconds;
    bool badInput = false;
    for (const RunReport& run : runs) {
        report.failures.insert(report.failures.end(), run.failures.begin(), run.failures.end());
        report.warnings.insert(report.warnings.end(), run.warnings.begin(), run.warnings.end());
        report.runs.push_back(run.output);
        // A malformed store or gateway file is bad input (exit 2), not a
        // module that cannot be loaded (exit 3).
        report.unloadable = report.unloadable || (!run.ran && !run.badInput);
        badInput = badInput || run.badInput;
    }
    report.outcome = report.unloadable || badInput ? CaseReport::Outcome::error
                     : report.failures.empty()     ? CaseReport::Outcome::passed
                                                   : CaseReport::Outcome::failed;
    return report;
}

CaseReport errorCase(const std::string& suite, const std::string& name, const std::string& file,
                     const std::vector<Failure>& why) {
    CaseReport report;
    report.suite = suite;
    report.name = name.empty() ? file : name;
    report.file = file;
    report.outcome = CaseReport::Outcome::error;
    report.failures = why;
    return report;
}

bool caseSelected(const std::string& filter, const std::string& name, const std::string& file) {
    const std::string wanted = lowered(filter);
    return lowered(name).find(wanted) != std::string::npos ||
           lowered(file).find(wanted) != std::string::npos;
}

double Stopwatch::seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

} // namespace sim
