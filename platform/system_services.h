// The real operating-system services behind the seams of platform.h.
// Implemented once per operating system.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <string>

namespace platform::system {

void debugOutput(const std::string& text);
std::uint32_t tickCount();
std::uint64_t monotonicNanos();
WallClock wallClock();
std::string newUuid();
void seedRandom(unsigned seed);
int randomNumber();
std::int64_t epochSeconds();
std::uint64_t systemTimeTicks();

// Shared by both systems: calendar fields from a C broken-down time, and
// the offset between two calendar times in minutes.
CalendarTime fromBrokenDown(int year, int month, int day, int hour, int minute, int second);
int minutesBetween(const CalendarTime& later, const CalendarTime& earlier);

} // namespace platform::system
