// The five doors into a Klarna transaction: the payment menu entry and its
// menu, the menu validation, the purchase and refund buttons and the POS's
// DoTransaction request.
#include <string>

#include "documents/ascii_text.h"
#include "host/host_methods.h"
#include "host/quen_klarna.h"
#include "host/startup_registration.h"
#include "platform/platform.h"

namespace {

void writeTitled(const char* title, const xmlDoc& document) {
    platform::debugOutput(title);
    platform::debugOutput(document.toString());
}

// The message's first child element: the request that starts the transaction.
xmlNode firstChild(const xmlNode& message) {
    return message.children.empty() ? xmlNode() : message.children.front();
}

} // namespace

bool QuenKlarna::beginForeground(const xmlNode& message) {
    if (!foreground.beginTransaction(firstChild(message))) {
        return false;
    }
    origin.clearTransactionFlags();
    return true;
}

void QuenKlarna::completeWithResultOnly() {
    foreground.completion = [this] { sendTransactionEvent(); };
}

void QuenKlarna::completeWithReceiptThenResult() {
    foreground.completion = [this] { showResultAndPrint(); };
}

void QuenKlarna::startFlowOfType(const std::string& type) {
    foreground.posRequest.getChild("TxnType").setText(type);
    foreground.posRequest.getChild("Merchant").setText(registration::merchantNumber);
    origin.captureOrigin(foreground.posRequest);
    completeWithReceiptThenResult();
    if (type == "R") {
        startRefund();
    } else {
        startPurchase();
    }
}

std::int32_t QuenKlarna::onPaymentMenuEntry(xmlDoc& document, xmlNode& element, std::string&) {
    writeTitled("Klarna Payment Menu Entry Point:\n", document);
    if (!beginForeground(element)) {
        return 0;
    }
    completeWithResultOnly();
    const std::string type = foreground.posRequest.getChild("TxnType").text;
    if (type == "P" || type == "R") {
        startFlowOfType(type);
        return 1;
    }
    xmlNode menu;
    menu.getChild("Heading").setText("KLARNA");
    menu.getChild("Timeout").setText(60);
    menu.getChild("EnterKeyDefault").setText("1");
    xmlNode& items = menu.getChild("MenuItems");
    items.getChild("1").setText("Purchase");
    items.getChild("2").setText("Refund");
    getButtonMenuFromPinpad(bridge, menu, answerOnce(handler(&QuenKlarna::onPaymentMenuResult)));
    return 1;
}

std::int32_t QuenKlarna::onPaymentMenuResult(xmlDoc&, xmlNode& element, std::string&) {
    // The menu belongs to the transaction that showed it.
    if (!foregroundOpen()) {
        return 0;
    }
    const std::string result = element.getChildText("Result", "");
    if (result != "00") {
        foreground.response.lookupResponse(result,
                                           upperCase(element.getChildText("ResultText", "")));
        foreground.completeTransaction();
        return 1;
    }
    if (childReadsOne(element, "PinpadCancelled") || childReadsOne(element, "PosCancelled")) {
        foreground.response.setResponse("TM");
        foreground.completeTransaction();
        return 1;
    }
    const std::string option = element.getChildText("SelectedOption", "");
    if (option == "1" || option == "2") {
        startFlowOfType(option == "1" ? "P" : "R");
        return 1;
    }
    foreground.response.setResponse("TX");
    foreground.completeTransaction();
    return 1;
}

std::int32_t QuenKlarna::onPaymentMenuValidate(xmlDoc&, xmlNode& element, std::string&) {
    const std::string type = firstChild(element).getChildText("TxnType", "");
    return type.empty() || type == "P" || type == "R" ? 1 : 0;
}

std::int32_t QuenKlarna::onPurchaseEntry(xmlDoc& document, xmlNode& element, std::string&) {
    writeTitled("Klarna Purchase Entry Point:\n", document);
    if (!beginForeground(element)) {
        return 0;
    }
    startFlowOfType("P");
    return 1;
}

std::int32_t QuenKlarna::onRefundEntry(xmlDoc& document, xmlNode& element, std::string&) {
    writeTitled("Klarna Refund Entry Point\n\r", document);
    if (!beginForeground(element)) {
        return 0;
    }
    startFlowOfType("R");
    return 1;
}

std::int32_t QuenKlarna::onPosEntry(xmlDoc& document, xmlNode& element, std::string&) {
    writeTitled("Klarna POS Entry Point:\n", document);
    if (element.getChildText("VORTAXIS_METHOD", "") != "DoTransaction" ||
        !beginForeground(element)) {
        return 0;
    }
    if (!origin.pinpadOnline) {
        foreground.response.setResponse("PF");
        sendTransactionEvent();
        return 1;
    }
    origin.captureOrigin(foreground.posRequest);
    const std::string type = foreground.posRequest.getChildText("TxnType", "");
    if (type == "P" || type == "R") {
        completeWithReceiptThenResult();
        if (type == "P") {
            startPurchase();
        } else {
            startRefund();
        }
        return 1;
    }
    foreground.response.setResponse("XG");
    sendTransactionEvent();
    return 1;
}
