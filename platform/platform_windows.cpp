// Windows services: the kernel's debug output and clocks, the RPC runtime's
// UUIDs, the C runtime's random numbers.
#include "platform/system_services.h"

#include <rpc.h>
#include <windows.h>

#include <cstdlib>
#include <ctime>

namespace platform::system {

void debugOutput(const std::string& text) {
    OutputDebugStringA(text.c_str());
}

std::uint32_t tickCount() {
    return static_cast<std::uint32_t>(GetTickCount());
}

std::uint64_t monotonicNanos() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    const auto ticks = static_cast<std::uint64_t>(counter.QuadPart);
    const auto perSecond = static_cast<std::uint64_t>(frequency.QuadPart);
    return (ticks / perSecond) * 1000000000ULL + (ticks % perSecond) * 1000000000ULL / perSecond;
}

namespace {
CalendarTime fromSystemTime(const SYSTEMTIME& t) {
    return fromBrokenDown(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}
} // namespace

WallClock wallClock() {
    SYSTEMTIME utc;
    GetSystemTime(&utc);
    SYSTEMTIME local;
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        local = utc;
    }
    WallClock result;
    result.local = fromSystemTime(local);
    result.utc = fromSystemTime(utc);
    result.utcOffsetMinutes = minutesBetween(result.local, result.utc);
    return result;
}

std::string newUuid() {
    UUID id;
    if (UuidCreate(&id) != RPC_S_OK) {
        return std::string();
    }
    RPC_CSTR text = nullptr;
    if (UuidToStringA(&id, &text) != RPC_S_OK || text == nullptr) {
        return std::string();
    }
    std::string result(reinterpret_cast<const char*>(text));
    RpcStringFreeA(&text);
    return result;
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
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

} // namespace platform::system
