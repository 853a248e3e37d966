// Exactly one transaction through the module, for callgrind:
//
//   valgrind --tool=callgrind --collect-atstart=no klarna_one_purchase [refund] [--warm-up N]
//   klarna_one_purchase [refund] --max-allocations N
//
// Collection is on only while the module works on the measured transaction
// (Startup, warm-up transactions and the host's own work are left out), so
// the instruction count is the module's and is the same on every run. The
// program also prints the module's heap allocations for that transaction;
// with --max-allocations it fails when they are more than N, so that the
// module's cost cannot creep back unnoticed.
#include <valgrind/callgrind.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/alloc_counter.h"
#include "bench/bench_module.h"

namespace {

bool measuring = false;

void leaveModule() {
    if (measuring) {
        CALLGRIND_TOGGLE_COLLECT;
    }
}

} // namespace

int main(int argc, char** argv) {
    bool refund = false;
    int warmUps = 0;
    long long budget = -1; // no budget
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], "refund") == 0) {
            refund = true;
        } else if (std::strcmp(argv[index], "--warm-up") == 0 && index + 1 < argc) {
            warmUps = std::atoi(argv[++index]);
        } else if (std::strcmp(argv[index], "--max-allocations") == 0 && index + 1 < argc) {
            budget = std::atoll(argv[++index]);
        } else if (std::strcmp(argv[index], "purchase") != 0) {
            std::fprintf(stderr,
                         "usage: %s [purchase|refund] [--warm-up N] [--max-allocations N]\n",
                         argv[0]);
            return 2;
        }
    }
    bool (*const run)(BenchHost&) = refund ? &benchModule::refund : &benchModule::purchase;
    BenchHost* host = benchModule::startedHost();
    if (host == nullptr) {
        std::fprintf(stderr, "Startup failed\n");
        return 1;
    }
    for (int warm = 0; warm < warmUps; ++warm) {
        run(*host);
    }
    // Entering the host turns collection off, leaving it turns it back on.
    BenchHost::onEnter = &leaveModule;
    BenchHost::onLeave = &leaveModule;
    const std::size_t requestsBefore = host->requestCount;
    const allocCounter::Totals start = allocCounter::totals();
    measuring = true;
    CALLGRIND_TOGGLE_COLLECT;
    const bool approved = run(*host);
    CALLGRIND_TOGGLE_COLLECT;
    measuring = false;
    const allocCounter::Totals used = allocCounter::since(start);
    std::printf("%s %s after %d warm-up: %llu allocations, %llu bytes, %llu frees, "
                "%zu host requests\n",
                refund ? "refund" : "purchase", approved ? "approved" : "NOT APPROVED", warmUps,
                static_cast<unsigned long long>(used.allocations),
                static_cast<unsigned long long>(used.bytes),
                static_cast<unsigned long long>(used.frees), host->requestCount - requestsBefore);
    if (budget >= 0 && used.allocations > static_cast<unsigned long long>(budget)) {
        std::printf("over budget: %llu allocations, at most %lld allowed\n",
                    static_cast<unsigned long long>(used.allocations), budget);
        return 1;
    }
    return approved ? 0 : 1;
}
