// The end of a payment or refund: the result shown on the pinpad and the
// POS, the receipt stored and printed, a key wait, then the journal record
// and the TransactionEvent.
#include <string>

#include "config/persisted_records.h"
#include "gateway/journal_record.h"
#include "gateway/receipt_builder.h"
#include "gateway/response_info.h"
#include "host/host_methods.h"
#include "host/quen_klarna.h"
#include "host/startup_registration.h"

namespace {

const char* const applicationName = "Klarna";
constexpr std::size_t resultLineWidth = 20;

void addText(xmlNode& element, const char* name, const std::string& value) {
    element.getChild(name).setText(value);
}

} // namespace

void QuenKlarna::showResultAndPrint() {
    const ResponseInfo& response = foreground.response;
    xmlNode screen;
    addText(screen, "Heading", displayHeading());
    xmlNode& lines = screen.getChild("TextLines");
    if (response.code != "00") {
        addText(lines, "0", "TRANSACTION DECLINED");
        addText(lines, "1", "");
    }
    addText(lines, "2", centre16(response.pinpadLine1, resultLineWidth));
    addText(lines, "3", centre16(response.pinpadLine2, resultLineWidth));
    addText(screen, "DisplayOnly", "1");
    getMultiLineFromPinpad(bridge, screen, Handler());

    if (origin.posOrigin) {
        xmlNode display;
        addText(display, "line1", response.posLine1);
        addText(display, "line2", response.posLine2);
        displayOnPos(bridge, display, foreground.posRequest);
    }

    const std::int32_t widthAsRead = Settings::receiptWidth(bridge);
    const std::string header =
        getVariable(bridge, settingKey::receiptHeader, defaultReceiptHeader(widthAsRead));
    const std::string footer = getVariable(bridge, settingKey::receiptFooter, "");
    const ReceiptContent content = receiptContent(foreground, layoutWidth(widthAsRead), header,
                                                  footer, settings.terminalReference());
    const std::string customerCopy = layOutReceipt(content, false);
    storeLastReceipt(bridge, customerCopy);
    storeDuplicateReceipt(bridge, layOutReceipt(content, true));

    xmlNode print;
    addText(print, "Receipt", customerCopy);
    addText(print, "Printer", origin.printerName);
    addText(print, "ReceiptType", "C");
    printReceipt(bridge, print,
                 answerOnce(handler(&QuenKlarna::onReceiptPrinted),
                            handler(&QuenKlarna::onLateReceiptPrinted)));
}

// The step's next answer (its print or its key) finds the outcome changed: the
// step runs again, so that the screens, the stored and printed receipt, the
// journal and the POS all tell the new one. The receipt printed before is
// not this result's receipt.
bool QuenKlarna::repeatResultStepIfChanged() {
    if (!foreground.resultChanged) {
        return false;
    }
    foreground.resultChanged = false;
    origin.receiptPrinted = false;
    showResultAndPrint();
    return true;
}

// Only the receipt of a transaction whose result step has run is answered;
// a stray or repeated event finds the transaction ended and does nothing.
std::int32_t QuenKlarna::onReceiptPrinted(xmlDoc&, xmlNode& element, std::string&) {
    if (!foreground.inProgress || !foreground.finished) {
        return 0;
    }
    if (repeatResultStepIfChanged()) {
        return 1;
    }
    if (element.getChildText("Result", "") == "00") {
        origin.receiptPrinted = true;
    }
    xmlNode wait;
    addText(wait, "PosKeyMask", "000001001");
    if (origin.csdOrigin) {
        addText(wait, "PinpadKeyMask", "!1110000");
    }
    addText(wait, "Timeout", "10");
    waitForKeyPress(bridge, wait, answerOnce(handler(&QuenKlarna::onResultKeyPress)));
    return 1;
}

// The result step has gone on to its key wait; the result is not sent yet,
// so it can still tell that the receipt was printed.
std::int32_t QuenKlarna::onLateReceiptPrinted(xmlDoc&, xmlNode& element, std::string&) {
    if (foreground.inProgress && foreground.finished &&
        element.getChildText("Result", "") == "00") {
        origin.receiptPrinted = true;
    }
    return 0;
}

std::int32_t QuenKlarna::onResultKeyPress(xmlDoc&, xmlNode&, std::string&) {
    if (!foreground.inProgress || !foreground.finished) {
        return 0;
    }
    if (repeatResultStepIfChanged()) {
        return 1;
    }
    closePosDisplay(bridge);
    endSession(bridge);
    writeJournal(
        bridge, foreground, JournalKind::transaction,
        JournalNames{applicationName, registration::merchantNumber, settings.terminalReference()});
    sendTransactionEvent();
    return 1;
}
