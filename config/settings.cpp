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

// GetVariable, and when that gives an empty text the lane variable instead.
std::string readWithLaneFallback(HostBridge& bridge, const char* key, const char* laneKey) {
    std::string value = getVariable(bridge, key, "");
    if (value.empty()) {
        value = getLaneInfoVariable(bridge, laneKey, "");
    }
    return value;
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
    terminalRefNum = getVariable(bridge, "TERMINAL_REF_NUM", "");
    merchantId = readWithLaneFallback(bridge, "MERCHANT_ID", "MerchantId");
    storeId = readWithLaneFallback(bridge, "STORE_ID", "StoreId");
    laneId = readWithLaneFallback(bridge, "LANE_ID", "LaneId");
    brand = readWithLaneFallback(bridge, "BRAND", "Brand");
    minCardLength = wholeIntegerOr(getVariable(bridge, "MIN_CARD_LENGTH", ""), 8);
    maxCardLength = wholeIntegerOr(getVariable(bridge, "MAX_CARD_LENGTH", ""), 30);
    timeoutResponse = wholeIntegerOr(getVariable(bridge, "TIMEOUT_RESPONSE", ""), 30);
    reversalOnSale = flagOf(getVariable(bridge, "REVERSAL_ON_SALE", ""));
    reversalTimer = wholeIntegerOr(getVariable(bridge, "REVERSAL_TIMER", ""), 120);
    inputTimeout = leadingIntegerOr(getVariable(bridge, "INPUT_TIMEOUT", ""), 120);
    hostId = getVariable(bridge, "HOST_ID", "KLARNA00");
    paymentMode = getVariable(bridge, "PAYMENT_MODE", "");
    qrCodeErrorCorrection = getVariable(bridge, "QR_CODE_ERROR_CORRECTION", "0");
    qrCodeHeading = getVariable(bridge, "QR_CODE_HEADING", "");
    qrCodeSubtitle = getVariable(bridge, "QR_CODE_SUBTITLE", "");
    retryLimit = wholeIntegerOr(getVariable(bridge, "RETRY_LIMIT", ""), 5);
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
