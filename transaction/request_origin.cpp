#include "transaction/request_origin.h"

namespace {

constexpr int kNotAnInteger = -1;

bool hasChildWithText(const xmlNode& request, const std::string& name, const std::string& text) {
    const int index = request.findChild(name);
    return index >= 0 && request.child(index).text == text;
}

bool hasChildWithInteger(const xmlNode& request, const std::string& name, int value) {
    const int index = request.findChild(name);
    return index >= 0 && request.child(index).getTextInt(kNotAnInteger) == value;
}

} // namespace

std::string choosePrinter(const xmlNode& request) {
    if (hasChildWithText(request, "PrinterName", "NPT")) {
        return printers::pinpad;
    }
    if (hasChildWithInteger(request, "ReceiptAutoPrint", 1)) {
        return printers::autoPos;
    }
    return printers::pos;
}

void RequestOrigin::clearTransactionFlags() {
    presale = false;
    receiptPrinted = false;
    reserved = false;
}

void RequestOrigin::captureOrigin(const xmlNode& request) {
    clearTransactionFlags();
    screenAnswered = false;
    switchToSms = false;
    promptResponse.clear();

    const std::string source = request.getChildText("OriginalSource", "");
    posOrigin = source == "POS";
    csdOrigin = source == "CsdReserved3";
    printerName = choosePrinter(request);
    qrMode = true;
}
