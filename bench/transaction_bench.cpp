// Whole transactions and single event dispatches through OnReceive_v2, with
// the in-process host answering at once: time per call, and the module's
// heap allocations and bytes per call (the host's own are not counted).
#include <benchmark/benchmark.h>

#include <string>

#include "bench/alloc_counter.h"
#include "bench/bench_module.h"

namespace {

using Counter = benchmark::Counter;

void reportCosts(benchmark::State& state, const allocCounter::Totals& used,
                 std::size_t hostRequests) {
    const double calls = static_cast<double>(state.iterations());
    state.counters["allocs"] = Counter(static_cast<double>(used.allocations) / calls);
    state.counters["bytes"] = Counter(static_cast<double>(used.bytes) / calls);
    state.counters["host_requests"] = Counter(static_cast<double>(hostRequests) / calls);
}

void transaction(benchmark::State& state, bool (*run)(BenchHost&)) {
    BenchHost* host = benchModule::startedHost();
    if (host == nullptr || !run(*host)) { // the first one also warms up
        state.SkipWithError("transaction not approved");
        return;
    }
    const std::size_t requestsBefore = host->requestCount;
    const allocCounter::Totals start = allocCounter::totals();
    for (auto _ : state) {
        if (!run(*host)) {
            state.SkipWithError("transaction not approved");
            return;
        }
    }
    reportCosts(state, allocCounter::since(start), host->requestCount - requestsBefore);
}

void dispatch(benchmark::State& state, const std::string& text) {
    BenchHost* host = benchModule::startedHost();
    if (host == nullptr) {
        state.SkipWithError("module not started");
        return;
    }
    benchModule::deliver(text);
    benchModule::drain(*host);
    const std::size_t requestsBefore = host->requestCount;
    const allocCounter::Totals start = allocCounter::totals();
    for (auto _ : state) {
        benchmark::DoNotOptimize(benchModule::deliver(text));
        benchModule::drain(*host);
    }
    reportCosts(state, allocCounter::since(start), host->requestCount - requestsBefore);
}

const bool registered = [] {
    benchmark::RegisterBenchmark("transaction/qr_purchase", transaction, &benchModule::purchase)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("transaction/refund", transaction, &benchModule::refund)
        ->Unit(benchmark::kMicrosecond);
    const struct {
        const char* name;
        std::string text;
    } events[] = {
        {"PinpadNotify", BenchHost::eventText("PinpadNotify", {{"PinpadOnline", "1"}}, "PINPAD")},
        {"TimerTrigger", BenchHost::eventText("TimerTrigger", {}, "VORTAXIS_DLL_HANDLER")},
        {"unhandled_event",
         BenchHost::eventText("PrintReceiptEvent", {{"Result", "00"}}, "PINPAD")},
        {"DoGetLastTransaction",
         BenchHost::methodText("DoGetLastTransaction", {{"Merchant", "70"}}, "POS")},
    };
    for (const auto& event : events) {
        benchmark::RegisterBenchmark((std::string("dispatch/") + event.name).c_str(), dispatch,
                                     event.text);
    }
    return true;
}();

} // namespace
