#include <cstdio>

#include "sim/cli/reports.h"
#include "sim/cli/text_files.h"

namespace sim {

namespace {

// Every line of text after the first one indented as well.
std::string indented(const std::string& text, const std::string& indent) {
    std::string out;
    for (const char c : text) {
        out += c;
        if (c == '\n') {
            out += indent;
        }
    }
    return out;
}

std::string counted(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

std::string summaryLine(const std::vector<CaseReport>& cases) {
    std::size_t passed = 0;
    std::size_t failed = 0;
    std::size_t errors = 0;
    std::size_t warnings = 0;
    for (const CaseReport& one : cases) {
        passed += one.outcome == CaseReport::Outcome::passed ? 1 : 0;
        failed += one.outcome == CaseReport::Outcome::failed ? 1 : 0;
        errors += one.outcome == CaseReport::Outcome::error ? 1 : 0;
        warnings += one.warnings.size();
    }
    std::string line = std::to_string(passed) + " passed";
    if (failed > 0) {
        line += ", " + std::to_string(failed) + " failed";
    }
    if (errors > 0) {
        line += ", " + counted(errors, "error", "errors");
    }
    if (warnings > 0) {
        line += ", " + counted(warnings, "warning", "warnings");
    }
    return line;
}

int exitStatus(const std::vector<CaseReport>& cases) {
    int status = 0;
    for (const CaseReport& one : cases) {
        const int own = one.unloadable                               ? 3
                        : one.outcome == CaseReport::Outcome::error  ? 2
                        : one.outcome == CaseReport::Outcome::failed ? 1
                                                                     : 0;
        status = own > status ? own : status;
    }
    return status;
}

void Reporter::caseDone(const CaseReport& report) {
    for (const Failure& warning : report.warnings) {
        out_ << "  warning: " << indented(warning.text(), "  ") << '\n';
    }
    for (const Failure& failure : report.failures) {
        out_ << "  " << indented(failure.text(), "  ") << '\n';
    }
    const char* verdict = report.outcome == CaseReport::Outcome::passed   ? "PASS  "
                          : report.outcome == CaseReport::Outcome::failed ? "FAIL  "
                                                                          : "ERROR ";
    out_ << verdict << report.file << (report.name == report.file ? "" : " - " + report.name);
    if (options_.showTimes) {
        char time[32];
        std::snprintf(time, sizeof time, " (%.2fs)", report.seconds);
        out_ << time;
    }
    out_ << '\n';
    out_.flush();
    cases_.push_back(report);
}

int Reporter::finish(std::ostream& err) {
    out_ << summaryLine(cases_) << '\n';
    int status = exitStatus(cases_);
    const std::pair<const std::string*,
                    std::string (*)(const std::vector<CaseReport>&, const ReportContext&)>
        files[] = {{&options_.junitPath, junitReport}, {&options_.jsonPath, jsonReport}};
    for (const auto& file : files) {
        std::string error;
        if (!file.first->empty() &&
            !writeTextFile(*file.first, file.second(cases_, options_.context), error)) {
            err << "klarna-sim: " << error << '\n';
            status = status > 2 ? status : 2;
        }
    }
    return status;
}

} // namespace sim
