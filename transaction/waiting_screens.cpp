// The screens the customer sees while the gateway waits for the payment (QR
// code, SMS sent, payment in progress), their POS dialogs and their answers.
#include <cstdint>
#include <string>

#include "host/host_methods.h"
#include "host/quen_klarna.h"

namespace {

constexpr const char* switchToSmsButton = "   SWITCH TO SMS    ";

xmlNode dialog(const char* line1, const char* line2) {
    xmlNode lines;
    lines.getChild("line1").setText(line1);
    lines.getChild("line2").setText(line2);
    return lines;
}

xmlNode textLines(const char* line0, const char* line1) {
    xmlNode lines;
    lines.name = "TextLines";
    lines.getChild("0").setText(line0);
    lines.getChild("1").setText(line1);
    return lines;
}

// Heading, subtitle and time-out: the start of every waiting screen.
xmlNode screenStart(const QuenKlarna& klarna, std::int32_t timeoutSeconds) {
    xmlNode screen;
    screen.getChild("Heading").setText(klarna.displayHeading());
    screen.getChild("Subtitle").setText(klarna.displaySubtitle());
    screen.getChild("Timeout").setText(timeoutSeconds);
    return screen;
}

// The SMS-sent and payment-in-progress screens.
xmlNode noticeScreen(const QuenKlarna& klarna, std::int32_t timeoutSeconds, const char* line0,
                     const char* line1) {
    xmlNode screen = screenStart(klarna, timeoutSeconds);
    screen.children.push_back(textLines(line0, line1));
    screen.getChild("CancelOnPOS").setText(1);
    screen.getChild("CancelOnPinpad").setText(klarna.origin.csdOrigin ? 1 : 0);
    return screen;
}

// Common to both answers: true when the customer confirmed or cancelled.
// A time-out changes nothing; a failure is kept and the wait interrupted.
bool answerWaitScreen(QuenKlarna& klarna, const xmlNode& element) {
    klarna.origin.screenAnswered = true;
    const std::string result = element.getChildText("Result", "");
    const bool cancelled =
        childReadsOne(element, "PinpadCancelled") || childReadsOne(element, "PosCancelled");
    if (result != "00" && !cancelled) {
        if (result == "TO") {
            return false;
        }
        klarna.foreground.response.lookupResponse(result, "");
        klarna.origin.promptResponse.lookupResponse(result, "");
    }
    if (!klarna.interruptWait()) {
        klarna.foreground.completeTransaction();
    }
    return result == "00" || cancelled;
}

} // namespace

void QuenKlarna::showOnPos(xmlNode lines) {
    if (!origin.posOrigin) {
        return;
    }
    lines.getChild("SendToPOS").setText("0");
    displayOnPos(bridge, lines, foreground.posRequest);
}

void QuenKlarna::showQrCode(const std::string& qrData) {
    origin.screenAnswered = false;
    origin.switchToSms = false;
    showOnPos(dialog("CUSTOMER", "SCAN QR CODE"));
    xmlNode screen = screenStart(*this, settings.qrWaitTime);
    screen.getChild("QRBCodeData").setText(qrData);
    screen.getChild("IsQRCode").setText(1);
    screen.getChild("QRErrorLvl").setText(settings.qrCodeErrorCorrection);
    screen.getChild("CancelOnPOS").setText(1);
    screen.getChild("CancelOnPinpad").setText(1);
    screen.children.push_back(textLines("SCAN QR FOR PAYMENT", ""));
    screen.getChild("Button1").setText(switchToSmsButton);
    getMultiLineFromPinpad(bridge, screen, answerOnce(handler(&QuenKlarna::onQrScreenResult)));
}

void QuenKlarna::showSmsSent() {
    origin.screenAnswered = false;
    origin.switchToSms = false;
    showOnPos(dialog("SMS SENT TO", " CUSTOMER"));
    getMultiLineFromPinpad(
        bridge,
        noticeScreen(*this, settings.qrWaitTime, "    CHECK PHONE     ", "      FOR SMS       "),
        answerOnce(handler(&QuenKlarna::onWaitScreenResult)));
}

void QuenKlarna::showPaymentInProgress(std::int32_t seconds) {
    origin.screenAnswered = false;
    origin.switchToSms = false;
    showOnPos(dialog("CUSTOMER PAYMENT", "IN PROGRESS"));
    getMultiLineFromPinpad(
        bridge, noticeScreen(*this, seconds, "  CUSTOMER PAYMENT  ", "     IN PROGRESS    "),
        answerOnce(handler(&QuenKlarna::onWaitScreenResult)));
}

std::int32_t QuenKlarna::onQrScreenResult(xmlDoc&, xmlNode& element, std::string&) {
    if (!foregroundOpen()) {
        return 1;
    }
    const bool interrupted = answerWaitScreen(*this, element);
    if (interrupted && element.getChildText("Result", "") == "00" &&
        element.getChildText("SelectedOption", "") == "BUTTON1") {
        origin.switchToSms = true;
    }
    return 1;
}

std::int32_t QuenKlarna::onWaitScreenResult(xmlDoc&, xmlNode& element, std::string&) {
    if (foregroundOpen()) {
        answerWaitScreen(*this, element);
    }
    return 1;
}
