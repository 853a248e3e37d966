// The operator's chance to send a failed foreground message again: the
// failure on the pinpad (and the POS for a POS transaction), a yes/no key
// wait, and either the resend or the end of the transaction as "X0".
#include <string>

#include "host/host_methods.h"
#include "host/quen_klarna.h"
#include "platform/platform.h"

namespace {

constexpr const char* retryQuestion = "RETRY TRANSACTION?";
constexpr const char* retryQuestionLine = "RETRY TRANSACTION?  "; // 20 characters
constexpr const char* posRetryKeys = "011000001";
constexpr const char* pinpadRetryKeys = "!1010000";
constexpr int retryKeyTimeoutSeconds = 60;

xmlNode pinpadRetryScreen(const std::string& failure, bool fromPos) {
    xmlNode screen;
    screen.getChild("line1").setText("KLARNA");
    screen.getChild("line2").setText(failure);
    screen.getChild("line3").setText(" ");
    screen.getChild("line4").setText(fromPos ? " " : retryQuestionLine);
    screen.getChild("NumberOfRows").setText(4);
    return screen;
}

xmlNode retryKeyWait(bool fromPos) {
    xmlNode wait;
    if (fromPos) {
        wait.getChild("PosKeyMask").setText(posRetryKeys);
    } else {
        wait.getChild("PinpadKeyMask").setText(pinpadRetryKeys);
    }
    wait.getChild("Timeout").setText(retryKeyTimeoutSeconds);
    return wait;
}

} // namespace

bool QuenKlarna::offerRetry(xmlNode&) {
    if (foreground.request.sentcount.value_or(0) > settings.retryLimit) {
        return false;
    }
    const bool fromPos = origin.posOrigin;
    const std::string failure = foreground.response.code + " " + foreground.response.text;
    displayOnPinpad(bridge, pinpadRetryScreen(failure, fromPos));
    if (fromPos) {
        xmlNode screen;
        screen.getChild("line1").setText(failure);
        screen.getChild("line2").setText(retryQuestion);
        screen.getChild("SendToPOS").setText("0");
        displayOnPos(bridge, screen, foreground.posRequest);
    }
    retryKeyAwaited = true;
    waitForKeyPress(bridge, retryKeyWait(fromPos), answerOnce(handler(&QuenKlarna::onRetryKey)));
    return true;
}

void QuenKlarna::withdrawRetryQuestion() {
    retryKeyAwaited = false;
    cancelCurrentCommand(bridge);
    if (origin.posOrigin) {
        closePosDisplay(bridge);
    }
}

std::int32_t QuenKlarna::onRetryKey(xmlDoc&, xmlNode& element, std::string&) {
    if (!retryKeyAwaited) {
        platform::debugOutput("Klarna retry key after the question was withdrawn, ignored\n");
        return 0;
    }
    retryKeyAwaited = false;
    const std::string result = element.getChildText("Result", "");
    const std::string pinpadKey = element.getChildText("PinpadKeyPress", "");
    const std::string posKey = element.getChildText("PosKeyPress", "");
    if (origin.posOrigin) {
        closePosDisplay(bridge);
    }
    if (result == "00" && (pinpadKey == "ENTER" || posKey == "1")) {
        // The resent request's reply is judged on its own, not on what the
        // failed one left.
        foreground.reply = GatewayReply();
        sendTransaction(false);
        return 1;
    }
    foreground.response.setResponse("X0");
    foreground.completeTransaction();
    return 1;
}
