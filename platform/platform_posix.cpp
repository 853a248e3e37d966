// Linux services. Debug output has no system sink here: it is silent unless
// a test or the simulator sets the capture seam.
#include "platform/system_services.h"

#include <cstdlib>
#include <ctime>
#include <uuid/uuid.h>

namespace platform::system {

void debugOutput(const std::string&) {}

namespace {
std::uint64_t clockNanos(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000ULL +
           static_cast<std::uint64_t>(now.tv_nsec);
}

CalendarTime fromTm(const std::tm& t) {
    return fromBrokenDown(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
}
} // namespace

std::uint32_t tickCount() {
    return static_cast<std::uint32_t>(clockNanos(CLOCK_MONOTONIC) / 1000000ULL);
}

std::uint64_t monotonicNanos() {
    return clockNanos(CLOCK_MONOTONIC);
}

WallClock wallClock() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    std::tm utc{};
    localtime_r(&now, &local);
    gmtime_r(&now, &utc);
    WallClock result;
    result.local = fromTm(local);
    result.utc = fromTm(utc);
    result.utcOffsetMinutes = minutesBetween(result.local, result.utc);
    return result;
}

std::string newUuid() {
    uuid_t id;
    uuid_generate_random(id);
    char text[37] = {};
    uuid_unparse_lower(id, text);
    return std::string(text);
}

void seedRandom(unsigned seed) {
    std::srand(seed);
}

int randomNumber() {
    return std::rand();
}

std::int64_t epochSeconds() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

std::uint64_t systemTimeTicks() {
    // The real-time clock counts from 1970; a file time from 1601.
    constexpr std::uint64_t ticksFrom1601To1970 = 116444736000000000ULL;
    return clockNanos(CLOCK_REALTIME) / 100ULL + ticksFrom1601To1970;
}

} // namespace platform::system
