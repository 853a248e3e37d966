// klarna-soak: thousands of mixed transactions through the module in this
// process, checking each result, the registrations and the memory.
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "sim/soak/peak_rss.h"
#include "sim/soak/soak_mix.h"
#include "sim/soak/soak_run.h"

namespace {

struct Options {
    int transactions = 10000;
    int reportEvery = 1000;
    int baselineAt = 1000; // the memory growth is measured from here to the end
    std::uint32_t seed = 1;
    std::int64_t maxGrowthKb = 2048;
    double maxGrowthShare = 0.10;
    bool memoryCheck = true;
    int show = 0; // the transaction whose transcript is written out
};

const char* const usage =
    "usage: klarna-soak [--transactions N] [--report-every N] [--baseline-at N] [--seed N]\n"
    "                   [--max-growth-kb N] [--no-memory-check] [--show N]\n"
    "Runs N mixed transactions (QR and SMS purchases, cancels, declines, refunds,\n"
    "gateway faults leaving a reversal, receipt queries) through the module in this\n"
    "process. Fails when a transaction does not end with exactly one expected result,\n"
    "leaves a registration behind, or when the peak resident memory grows between\n"
    "the baseline and the end by more than the limit (default 2048 kB) or 10 %.\n"
    "--show N writes the transcript of transaction N.\n";

bool readInt(const char* text, long long low, long long& value) {
    char* end = nullptr;
    value = std::strtoll(text, &end, 10);
    return end != text && *end == '\0' && value >= low;
}

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--no-memory-check") {
            options.memoryCheck = false;
            continue;
        }
        long long value = 0;
        if (i + 1 >= argc || !readInt(argv[i + 1], flag == "--max-growth-kb" ? 0 : 1, value)) {
            return false;
        }
        ++i;
        if (flag == "--transactions") {
            options.transactions = static_cast<int>(value);
        } else if (flag == "--report-every") {
            options.reportEvery = static_cast<int>(value);
        } else if (flag == "--baseline-at") {
            options.baselineAt = static_cast<int>(value);
        } else if (flag == "--seed") {
            options.seed = static_cast<std::uint32_t>(value);
        } else if (flag == "--show") {
            options.show = static_cast<int>(value);
        } else if (flag == "--max-growth-kb") {
            options.maxGrowthKb = value;
        } else {
            return false;
        }
    }
    return true;
}

bool memoryFlat(const Options& options, int baselineAt, std::int64_t baseline, std::int64_t end) {
    const std::int64_t growth = end - baseline;
    std::cout << "peak RSS: " << baseline << " kB after " << baselineAt << " transactions, " << end
              << " kB after " << options.transactions << " (growth " << growth << " kB)\n";
    const bool flat =
        growth <= options.maxGrowthKb &&
        static_cast<double>(growth) <= options.maxGrowthShare * static_cast<double>(baseline);
    if (!flat && options.memoryCheck) {
        std::cout << "FAIL: memory grew by more than " << options.maxGrowthKb << " kB or "
                  << options.maxGrowthShare * 100 << " %\n";
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::cerr << usage;
        return 2;
    }
    const int baselineAt =
        options.baselineAt < options.transactions ? options.baselineAt : options.transactions / 5;
    const std::vector<sim::SoakKind> kinds = sim::soakMix(options.transactions, options.seed);
    const auto began = std::chrono::steady_clock::now();
    std::vector<std::string> failures;
    sim::SoakRun soak;
    if (!soak.start(failures)) {
        for (const std::string& text : failures) {
            std::cout << "FAIL: " << text << '\n';
        }
        return 1;
    }
    std::map<sim::SoakKind, int> counts;
    std::int64_t baseline = sim::peakRssKb();
    for (int number = 1; number <= options.transactions; ++number) {
        const sim::SoakKind kind = kinds[static_cast<std::size_t>(number - 1)];
        soak.show(number == options.show ? &std::cout : nullptr);
        soak.run(kind, number, failures);
        ++counts[kind];
        if (number == baselineAt) {
            baseline = sim::peakRssKb();
        }
        if (number % options.reportEvery == 0 || number == options.transactions) {
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
            std::cout << number << " transactions, " << failures.size() << " failures, peak RSS "
                      << sim::peakRssKb() << " kB, heap in use " << sim::heapInUseBytes()
                      << " bytes, " << seconds << " s\n";
        }
    }
    soak.stop();
    for (const auto& entry : counts) {
        std::cout << "  " << sim::soakKindName(entry.first) << ": " << entry.second << '\n';
    }
    const std::size_t shown = failures.size() < 20 ? failures.size() : 20;
    for (std::size_t i = 0; i < shown; ++i) {
        std::cout << "FAIL: " << failures[i] << '\n';
    }
    const bool flat = memoryFlat(options, baselineAt, baseline, sim::peakRssKb());
    if (!failures.empty() || !flat) {
        std::cout << failures.size() << " failures\n";
        return 1;
    }
    std::cout << "soak passed: " << options.transactions << " transactions\n";
    return 0;
}
