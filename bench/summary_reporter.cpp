#include "bench/summary_reporter.h"

#include <cstdio>
#include <set>

namespace {

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string padded(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

} // namespace

void SummaryReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        if (run.error_occurred) {
            continue;
        }
        const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        if (run.run_type == Run::RT_Aggregate && !median) {
            continue;
        }
        Figures& kept = figures[run.run_name.str()];
        kept.realNanos =
            run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
        for (const auto& counter : run.counters) {
            kept.counters[counter.first] = counter.second.value;
        }
    }
    ConsoleReporter::ReportRuns(runs);
}

// Rows "group/ours/<input>" against "group/<reference>/<input>".
void SummaryReporter::printComparison(std::ostream& out, const std::string& group,
                                      const char* reference, const char* counter, double scale,
                                      const char* unit) const {
    const std::string oursPrefix = group + "/ours/";
    std::set<std::string> inputs;
    for (const auto& entry : figures) {
        if (entry.first.compare(0, oursPrefix.size(), oursPrefix) == 0) {
            inputs.insert(entry.first.substr(oursPrefix.size()));
        }
    }
    if (inputs.empty()) {
        return;
    }
    out << padded(group, 22) << padded(std::string("ours ") + unit, 14)
        << padded(std::string(reference) + " " + unit, 18) << "ours/" << reference << "\n";
    for (const std::string& input : inputs) {
        const auto ours = figures.find(oursPrefix + input);
        const auto theirs = figures.find(group + "/" + reference + "/" + input);
        if (theirs == figures.end()) {
            continue;
        }
        const auto oursValue = ours->second.counters.find(counter);
        const auto theirValue = theirs->second.counters.find(counter);
        if (oursValue == ours->second.counters.end() ||
            theirValue == theirs->second.counters.end() || theirValue->second <= 0) {
            continue;
        }
        out << "  " << padded(input, 20) << padded(format("%.1f", oursValue->second / scale), 14)
            << padded(format("%.1f", theirValue->second / scale), 18)
            << format("%.2f", oursValue->second / theirValue->second) << "\n";
    }
}

void SummaryReporter::printTransactions(std::ostream& out) const {
    bool heading = false;
    for (const auto& entry : figures) {
        const auto allocations = entry.second.counters.find("allocs");
        if (allocations == entry.second.counters.end()) {
            continue;
        }
        if (!heading) {
            out << padded("per call", 34) << padded("time us", 10) << padded("allocs", 10)
                << padded("bytes", 12) << "host requests\n";
            heading = true;
        }
        const auto counterOf = [&entry](const char* name) {
            const auto found = entry.second.counters.find(name);
            return found == entry.second.counters.end() ? 0.0 : found->second;
        };
        out << "  " << padded(entry.first, 32)
            << padded(format("%.1f", entry.second.realNanos / 1000.0), 10)
            << padded(format("%.0f", allocations->second), 10)
            << padded(format("%.0f", counterOf("bytes")), 12)
            << format("%.0f", counterOf("host_requests")) << "\n";
    }
}

void SummaryReporter::printSummary(std::ostream& out) const {
    constexpr double mega = 1024.0 * 1024.0;
    out << "\n=== Summary (MB/s = MiB per second; ratio above 1 means ours is faster) ===\n";
    printComparison(out, "xml_parse", "pugixml", "bytes_per_second", mega, "MB/s");
    printComparison(out, "xml_serialize", "pugixml", "bytes_per_second", mega, "MB/s");
    printComparison(out, "xml_lookup", "pugixml", "items_per_second", 1e6, "M/s");
    printComparison(out, "json_read", "nlohmann", "bytes_per_second", mega, "MB/s");
    printComparison(out, "json_write", "nlohmann", "bytes_per_second", mega, "MB/s");
    printTransactions(out);
}
