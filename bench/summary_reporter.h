// The console report, plus a summary after the run: our figures next to the
// reference library's on the same input, with their ratio, and the cost of
// one transaction.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <ostream>
#include <string>

class SummaryReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override;
    void printSummary(std::ostream& out) const;

  private:
    struct Figures {
        double realNanos = 0;
        std::map<std::string, double> counters;
    };
    // By run name; a median run replaces the single-run figures.
    std::map<std::string, Figures> figures;

    void printComparison(std::ostream& out, const std::string& group, const char* reference,
                         const char* counter, double scale, const char* unit) const;
    void printTransactions(std::ostream& out) const;
};
