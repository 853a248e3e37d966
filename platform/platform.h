// The only door to the operating system: debug output, clocks, UUIDs and the
// runtime's pseudo-random numbers. Every service has a seam that tests (and
// the simulator) set to make runs deterministic.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// Broken-down calendar time.
struct CalendarTime {
    int year = 1970; // full year
    int month = 1;   // 1..12
    int day = 1;     // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

struct WallClock {
    CalendarTime local;
    CalendarTime utc;
    int utcOffsetMinutes = 0; // positive east of Greenwich
};

// Writes text to the operating system's debug output (OutputDebugStringA on
// Windows). On Linux it goes to the capture sink when one is set, else nowhere.
void debugOutput(const std::string& text);

// Milliseconds since the system started; wraps every 49.7 days.
std::uint32_t tickCount();
// Monotonic clock in nanoseconds.
std::uint64_t monotonicNanos();
// The wall clock now, local and UTC.
WallClock wallClock();
// A new random UUID in its 36-character lower-case text form.
std::string newUuid();
// The runtime's pseudo-random numbers (srand/rand).
void seedRandom(unsigned seed);
int randomNumber();
// Seconds since the epoch, as time() gives them (used for seeding).
std::int64_t epochSeconds();
// The system clock in 100-nanosecond ticks since 1 January 1601 UTC, the
// form of a Windows file time.
std::uint64_t systemTimeTicks();

// Seams. An empty function means "use the operating system".
struct Seams {
    std::function<void(const std::string&)> debugSink;
    std::function<std::uint32_t()> tickCount;
    std::function<std::uint64_t()> monotonicNanos;
    std::function<WallClock()> wallClock;
    std::function<std::string()> newUuid;
    std::function<void(unsigned)> seedRandom;
    std::function<int()> randomNumber;
    std::function<std::int64_t()> epochSeconds;
    std::function<std::uint64_t()> systemTimeTicks;
};

// Replaces every seam at once; pass Seams{} to restore the real services.
void setSeams(Seams seams);
Seams& seams();

} // namespace platform
