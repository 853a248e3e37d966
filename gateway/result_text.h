// Small texts shared by the transaction result, the receipt and the queries:
// the six-digit STAN, the start-time formats and the transaction name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"

// The STAN (0 when absent) behind "000000", last six characters.
std::string stanText(const std::optional<std::int32_t>& stan);

// "%d%m%y", "%H%M%S" and "%d/%m/%y %H:%M:%S" of a calendar time.
std::string compactDate(const platform::CalendarTime& time);
std::string compactTime(const platform::CalendarTime& time);
std::string receiptDateTime(const platform::CalendarTime& time);

// "PURCHASE" for a transaction type beginning with "P", "REFUND" for one
// beginning with "R", else "".
std::string transactionName(const std::string& txnType);

// The decimal text of value, left-padded with "0" to width; never cut.
std::string zeroPadded(std::int64_t value, std::size_t width);

// The last count characters of text (all of it when shorter).
std::string lastCharacters(const std::string& text, std::size_t count);
