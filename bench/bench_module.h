// The module as the host client sees it, driven in-process: Startup from
// its fields, then messages through the exported OnReceive_v2.
#pragma once

#include <cstdint>
#include <string>

#include "bench/bench_host.h"

namespace benchModule {

// Fixed platform services (clock, UUIDs, random numbers, no debug output),
// so that every run sends the same texts; then Startup with the host's
// callback and the pinpad reported online. False when Startup fails.
bool start(BenchHost& host);
// The one host of the program, started on first use (the module's state
// is program-wide); null when Startup failed.
BenchHost* startedHost();

// One message through OnReceive_v2 with a reply buffer of 4096 bytes.
std::int32_t deliver(const std::string& text, std::string* reply = nullptr);
// Delivers the host's queued events until none is left.
void drain(BenchHost& host);

// A whole QR purchase of $12.50 from the POS (order, wait, purchase,
// receipt, result); true when the result event says approved.
bool purchase(BenchHost& host);
// A refund of that purchase named by its RFN tag.
bool refund(BenchHost& host);

} // namespace benchModule
