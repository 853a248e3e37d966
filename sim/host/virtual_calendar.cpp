#include "sim/host/virtual_calendar.h"

#include <cstdio>
#include <ctime>

namespace sim {

namespace {

// Whole days and the seconds into the day, rounding towards the past.
std::int64_t floorDiv(std::int64_t value, std::int64_t by) {
    return value / by - (value % by < 0 ? 1 : 0);
}

std::int64_t daysFromCivil(int year, int month, int day) {
    const std::int64_t y = year - (month <= 2 ? 1 : 0);
    const std::int64_t era = floorDiv(y, 400);
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

} // namespace

CalendarFields calendarFields(std::int64_t epochSeconds) {
    const std::int64_t days = floorDiv(epochSeconds, 86400);
    const std::int64_t secondOfDay = epochSeconds - days * 86400;
    const std::int64_t z = days + 719468;
    const std::int64_t era = floorDiv(z, 146097);
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    CalendarFields fields;
    fields.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    fields.month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    fields.year = static_cast<int>(yearOfEra + era * 400 + (fields.month <= 2 ? 1 : 0));
    fields.hour = static_cast<int>(secondOfDay / 3600);
    fields.minute = static_cast<int>(secondOfDay / 60 % 60);
    fields.second = static_cast<int>(secondOfDay % 60);
    return fields;
}

VirtualCalendar VirtualCalendar::machineNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    std::tm utc{};
    if (const std::tm* l = std::localtime(&now)) {
        local = *l;
    }
    if (const std::tm* u = std::gmtime(&now)) {
        utc = *u;
    }
    const auto minutes = [](const std::tm& t) {
        return daysFromCivil(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday) * 1440 + t.tm_hour * 60 +
               t.tm_min;
    };
    return VirtualCalendar(static_cast<std::int64_t>(now),
                           static_cast<int>(minutes(local) - minutes(utc)));
}

CalendarFields VirtualCalendar::utc(Millis at) const {
    return calendarFields(epochSeconds(at));
}

CalendarFields VirtualCalendar::local(Millis at) const {
    return calendarFields(epochSeconds(at) + static_cast<std::int64_t>(offsetMinutes_) * 60);
}

std::string VirtualCalendar::text(Millis at) const {
    const CalendarFields t = local(at);
    char out[48];
    std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return out;
}

} // namespace sim
