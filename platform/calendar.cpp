#include "platform/system_services.h"

namespace platform::system {

CalendarTime fromBrokenDown(int year, int month, int day, int hour, int minute, int second) {
    CalendarTime result;
    result.year = year;
    result.month = month;
    result.day = day;
    result.hour = hour;
    result.minute = minute;
    result.second = second;
    return result;
}

namespace {
// Days since 1970-01-01 of a proleptic Gregorian date.
long long daysFromCivil(int year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153LL * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

long long minutesSinceEpoch(const CalendarTime& t) {
    return daysFromCivil(t.year, t.month, t.day) * 1440LL + t.hour * 60LL + t.minute;
}
} // namespace

int minutesBetween(const CalendarTime& later, const CalendarTime& earlier) {
    return static_cast<int>(minutesSinceEpoch(later) - minutesSinceEpoch(earlier));
}

} // namespace platform::system
