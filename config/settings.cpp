#include "config/settings.h"
#include "documents/trim_set.h"

#include <cstddef>
#include <cstdint>
#include <limits>

#include "host/host_bridge.h"
#include "host/host_methods.h"

namespace {

// Reads white space, a sign and the digits that follow from the start of
// text. Returns false when no digit was read or the value leaves 32 bits;
// otherwise `end` is the position after the last digit.
bool readInteger(const std::string& text, std::int32_t& value, std::size_t& end) {
    std::size_t position = 0;
    while (position < text.size() && isTrimByte(text[position])) {
        ++position;
    }
    bool negative = false;
    if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
        negative = text[position] == '-';
        ++position;
    }
    // Accumulate the magnitude; stop counting once it cannot fit any more.
    const std::int64_t limit =
        static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1;
    std::int64_t magnitude = 0;
    const std::size_t firstDigit = position;
    while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
        if (magnitude <= limit) {
            magnitude = magnitude * 10 + (text[position] - '0');
        }
        ++position;
    }
    if (position == firstDigit) {
        return false;
    }
    const std::int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<std::int32_t>::max() ||
        signedValue < std::numeric_limits<std::int32_t>::min()) {
        return false;
    }
    value = static_cast<std::int32_t>(signedValue);
    end = position;
    return true;
}

std::int32_t wholeIntegerOr(const std::string& text, std::int32_t fallback) {
    std::int32_t value = 0;
    return parseWholeInteger(text, value) ? value : fallback;
}

// As wholeIntegerOr, but text after the number is allowed.
std::int32_t leadingIntegerOr(const std::string& text, std::int32_t fallback) {
    std::int32_t value = 0;
    std::size_t end = 0;
    return readInteger(text, value, end) ? value : fallback;
}

// A set flag is any text whose first byte is not the digit 0.
bool flagOf(const std::string& text) {
    return !text.empty() && text[0] != '0';
}

// The load reads each setting once. A read the host failed (a negative
// result, or no reply at all) tells nothing about the value, so the field
// keeps the one it had; a reply without a value gives the default.

// The text of key, the default when the reply has none; false when the host
// failed the read.
bool readSetting(HostBridge& bridge, const char* key, const char* fallback, std::string& text) {
    text = fallback;
    return readVariableChecked(bridge, key, text);
}

void loadText(HostBridge& bridge, const char* key, const char* fallback, std::string& field) {
    std::string text;
    if (readSetting(bridge, key, fallback, text)) {
        field = text;
    }
}

// GetVariable, and when that gives an empty text the lane variable instead.
void loadIdentifier(HostBridge& bridge, const char* key, const char* laneKey, std::string& field) {
    std::string text;
    if (!readSetting(bridge, key, "", text) ||
        (text.empty() && !readLaneInfoVariableChecked(bridge, laneKey, text))) {
        return;
    }
    field = text;
}

using Conversion = std::int32_t (*)(const std::string&, std::int32_t);

void loadNumber(HostBridge& bridge, const char* key, Conversion convert, std::int32_t fallback,
                std::int32_t& field) {
    std::string text;
    if (readSetting(bridge, key, "", text)) {
        field = convert(text, fallback);
    }
}

std::string firstChars(const std::string& text, std::size_t count) {
    return text.substr(0, count);
}

std::string lastChars(const std::string& text, std::size_t count) {
    return text.size() <= count ? text : text.substr(text.size() - count);
}

// Tries the separated form, then the plain one, then shortens merchant and
// store so the whole fits 15 characters.
std::string composeReference(const std::string& merchant, const std::string& store,
                             const std::string& lane) {
    const std::size_t maxLength = 15;
    std::string reference = merchant + "_" + store + "_" + lane;
    if (reference.size() <= maxLength) {
        return reference;
    }
    reference = merchant + store + lane;
    if (reference.size() <= maxLength) {
        return reference;
    }
    if (store.size() <= 6) {
        return firstChars(merchant, 12 - store.size()) + store + lane;
    }
    return firstChars(merchant, 6) + lastChars(store, 6) + lane;
}

} // namespace

bool parseWholeInteger(const std::string& text, std::int32_t& value) {
    std::int32_t read = 0;
    std::size_t end = 0;
    if (!readInteger(text, read, end) || end != text.size()) {
        return false;
    }
    value = read;
    return true;
}

void Settings::load(HostBridge& bridge) {
    loadText(bridge, "TERMINAL_REF_NUM", "", terminalRefNum);
    loadIdentifier(bridge, "MERCHANT_ID", "MerchantId", merchantId);
    loadIdentifier(bridge, "STORE_ID", "StoreId", storeId);
    loadIdentifier(bridge, "LANE_ID", "LaneId", laneId);
    loadIdentifier(bridge, "BRAND", "Brand", brand);
    loadNumber(bridge, "MIN_CARD_LENGTH", wholeIntegerOr, 8, minCardLength);
    loadNumber(bridge, "MAX_CARD_LENGTH", wholeIntegerOr, 30, maxCardLength);
    loadNumber(bridge, "TIMEOUT_RESPONSE", wholeIntegerOr, 30, timeoutResponse);
    std::string flag;
    if (readSetting(bridge, "REVERSAL_ON_SALE", "", flag)) {
        reversalOnSale = flagOf(flag);
    }
    loadNumber(bridge, "REVERSAL_TIMER", wholeIntegerOr, 120, reversalTimer);
    loadNumber(bridge, "INPUT_TIMEOUT", leadingIntegerOr, 120, inputTimeout);
    loadText(bridge, "HOST_ID", "KLARNA00", hostId);
    loadText(bridge, "PAYMENT_MODE", "", paymentMode);
    loadText(bridge, "QR_CODE_ERROR_CORRECTION", "0", qrCodeErrorCorrection);
    loadText(bridge, "QR_CODE_HEADING", "", qrCodeHeading);
    loadText(bridge, "QR_CODE_SUBTITLE", "", qrCodeSubtitle);
    loadNumber(bridge, "RETRY_LIMIT", wholeIntegerOr, 5, retryLimit);
}

std::string Settings::terminalReference() const {
    if (!terminalRefNum.empty()) {
        return terminalRefNum;
    }
    const std::string merchant = trimmed(merchantId);
    const std::string store = trimmed(storeId);
    std::string lane = trimmed(laneId);
    if (merchant.empty() || store.empty() || lane.empty()) {
        return "";
    }
    if (lane.size() != 3) {
        lane = lastChars("000" + lane, 3);
    }
    return composeReference(merchant, store, lane);
}

std::int32_t Settings::receiptWidth(HostBridge& bridge) {
    return wholeIntegerOr(getVariable(bridge, settingKey::receiptWidth, ""), defaultReceiptWidth);
}
