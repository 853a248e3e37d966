// The calendar the virtual clock runs on: the date and time at virtual time
// 0 and the time zone. The gateway's payment times follow it, and so do the
// dates and times of a module run in the simulator's own process, so that
// both tell the same time and two runs tell the same times.
#pragma once

#include <cstdint>
#include <string>

#include "sim/host/event_queue.h"

namespace sim {

struct CalendarFields {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

class VirtualCalendar {
  public:
    // 2024-01-01 10:00:00 at virtual time 0, in a zone at UTC.
    VirtualCalendar() = default;
    VirtualCalendar(std::int64_t startEpochSeconds, int utcOffsetMinutes)
        : start_(startEpochSeconds), offsetMinutes_(utcOffsetMinutes) {}
    // The machine's clock and time zone now: what a module loaded from its
    // library reads too.
    static VirtualCalendar machineNow();

    std::int64_t epochSeconds(Millis at) const { return start_ + at / 1000; }
    int utcOffsetMinutes() const { return offsetMinutes_; }
    CalendarFields utc(Millis at) const;
    CalendarFields local(Millis at) const;
    // "2024-01-01 10:00:07", local time.
    std::string text(Millis at) const;

  private:
    std::int64_t start_ = 1704103200; // 2024-01-01 10:00:00 UTC
    int offsetMinutes_ = 0;
};

// The calendar fields of a time in seconds since 1970-01-01 00:00:00.
CalendarFields calendarFields(std::int64_t epochSeconds);

} // namespace sim
