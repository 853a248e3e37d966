// The configuration record. Every value lives in the host client's variable
// store; load() reads them all (at start-up and on RefreshSettings) and the
// rest of the extension reads the fields directly.
#pragma once

#include <cstdint>
#include <string>

class HostBridge;

// Configuration keys read on demand by their users (not held in Settings).
namespace settingKey {
constexpr const char* receiptWidth = "RECEIPT_WIDTH";
constexpr const char* receiptHeader = "RECEIPT_HEADER";
constexpr const char* receiptFooter = "RECEIPT_FOOTER";
constexpr const char* countryCode = "COUNTRY_CODE";
constexpr const char* username = "USERNAME";
constexpr const char* password = "PASSWORD";
} // namespace settingKey

// Receipt width used when RECEIPT_WIDTH cannot be read as a whole number.
constexpr std::int32_t defaultReceiptWidth = 24;

// Reads text as a base-10 integer with leading white space and a sign. The
// whole text must be the number; false (value unchanged) when no digit was
// read, the number does not fit 32 bits or anything follows it.
bool parseWholeInteger(const std::string& text, std::int32_t& value);

class Settings {
  public:
    // Values before the first load; two of them differ from the load
    // defaults (reversalTimer and inputTimeout).
    std::string terminalRefNum;
    std::string merchantId;
    std::string storeId;
    std::string laneId;
    std::string brand;
    std::int32_t minCardLength = 8;
    std::int32_t maxCardLength = 30;
    std::int32_t timeoutResponse = 30;
    bool reversalOnSale = false;
    std::int32_t reversalTimer = 300;
    std::int32_t inputTimeout = 180;
    std::string hostId = "KLARNA00";
    std::string paymentMode;
    std::string qrCodeErrorCorrection = "0";
    std::string qrCodeHeading;
    std::string qrCodeSubtitle;
    std::int32_t retryLimit = 5;

    // Fixed, never read from the host.
    std::int32_t qrWaitTime = 70;
    std::int32_t paymentWaitTime = 130;

    // Reads the 17 settings from the host in their fixed order and replaces
    // every field (an unreadable value gives its default). A field whose
    // read the host failed keeps its value.
    void load(HostBridge& bridge);

    // TERMINAL_REF_NUM when set, else a reference of at most 15 characters
    // built from the trimmed merchant, store and lane ids; empty when one
    // of those is empty. Computed afresh on every call.
    std::string terminalReference() const;

    // RECEIPT_WIDTH read from the host now; 24 when it is not a whole number.
    static std::int32_t receiptWidth(HostBridge& bridge);
};
