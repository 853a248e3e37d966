// The process's memory as the operating system counts it.
#pragma once

#include <cstdint>

namespace sim {

// Peak resident set size of this process so far, in kilobytes (0 where the
// platform does not tell).
std::int64_t peakRssKb();
// Bytes the allocator has handed out and not had back (-1 where the
// platform does not tell).
std::int64_t heapInUseBytes();

} // namespace sim
