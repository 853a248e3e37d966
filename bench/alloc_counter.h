// Heap allocation counting for the benchmark programs: linking
// alloc_counter.cpp replaces the global operator new and delete with
// versions that count calls and bytes while counting is on.
#pragma once

#include <cstddef>
#include <cstdint>

namespace allocCounter {

struct Totals {
    std::uint64_t allocations = 0;
    std::uint64_t bytes = 0;
    std::uint64_t frees = 0;
};

// The totals counted so far (only while counting was on).
Totals totals();
Totals since(const Totals& start);

// Counting is on from program start; a Pause turns it off for its lifetime
// (the benchmark host uses one so that only the module's allocations count).
class Pause {
  public:
    Pause();
    ~Pause();
    Pause(const Pause&) = delete;
    Pause& operator=(const Pause&) = delete;
};

} // namespace allocCounter
