// Where the current transaction request came from, how its receipt is
// printed, and the flags the waiting screens leave for the payment flow.
#pragma once

#include <string>

#include "documents/xml_node.h"
#include "gateway/response_info.h"

namespace printers {
constexpr const char* pinpad = "PINPAD";
constexpr const char* autoPos = "AUTO_POS";
constexpr const char* pos = "POS";
} // namespace printers

// The printer a request's receipt goes to: "PINPAD" when its PrinterName is
// exactly "NPT", else "AUTO_POS" when its ReceiptAutoPrint reads as 1, else
// "POS".
std::string choosePrinter(const xmlNode& request);

struct RequestOrigin {
    bool presale = false;
    bool receiptPrinted = false;
    bool reserved = false;
    bool posOrigin = false;
    bool csdOrigin = false;
    bool pinpadOnline = false;
    std::string printerName = printers::pinpad;
    bool qrMode = false;
    bool screenAnswered = false;
    bool switchToSms = false;
    ResponseInfo promptResponse;

    // Clears the flags of one transaction (presale, receipt printed,
    // reserved): done when any transaction begins, so that a result built
    // before the flow starts does not report the previous transaction's.
    void clearTransactionFlags();
    // Refills the record from a POS request copy at the start of a
    // transaction. The pinpad-online flag is kept.
    void captureOrigin(const xmlNode& request);
};
