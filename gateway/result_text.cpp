#include "gateway/result_text.h"

namespace {

// Two digits of a calendar field (its value modulo 100).
std::string lastTwoDigits(int value) {
    const int cut = ((value % 100) + 100) % 100;
    return std::string(1, static_cast<char>('0' + cut / 10)) + static_cast<char>('0' + cut % 10);
}

} // namespace

std::string lastCharacters(const std::string& text, std::size_t count) {
    return text.size() <= count ? text : text.substr(text.size() - count);
}

std::string stanText(const std::optional<std::int32_t>& stan) {
    return lastCharacters("000000" + std::to_string(stan.value_or(0)), 6);
}

std::string compactDate(const platform::CalendarTime& time) {
    return lastTwoDigits(time.day) + lastTwoDigits(time.month) + lastTwoDigits(time.year);
}

std::string compactTime(const platform::CalendarTime& time) {
    return lastTwoDigits(time.hour) + lastTwoDigits(time.minute) + lastTwoDigits(time.second);
}

std::string receiptDateTime(const platform::CalendarTime& time) {
    return lastTwoDigits(time.day) + "/" + lastTwoDigits(time.month) + "/" +
           lastTwoDigits(time.year) + " " + lastTwoDigits(time.hour) + ":" +
           lastTwoDigits(time.minute) + ":" + lastTwoDigits(time.second);
}

std::string transactionName(const std::string& txnType) {
    if (txnType.empty()) {
        return std::string();
    }
    if (txnType[0] == 'P') {
        return "PURCHASE";
    }
    if (txnType[0] == 'R') {
        return "REFUND";
    }
    return std::string();
}

std::string zeroPadded(std::int64_t value, std::size_t width) {
    const std::string digits = std::to_string(value);
    return digits.size() >= width ? digits : std::string(width - digits.size(), '0') + digits;
}
