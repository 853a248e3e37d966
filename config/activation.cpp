// The terminal's logon with the gateway: the activation check at the start
// of every payment flow, the "A+" logon on the background transaction, its
// reply and the token step that puts the access token into the payment
// request.
#include <cstdio>
#include <optional>
#include <string>

#include "config/persisted_records.h"
#include "config/settings.h"
#include "documents/trim_set.h"
#include "gateway/message_types.h"
#include "host/host_methods.h"
#include "host/quen_klarna.h"
#include "klarna_version.h"
#include "platform/platform.h"

namespace {

namespace status {
constexpr const char* configRequired = "CONFIG REQUIRED";
constexpr const char* laneConfigRequired = "LANE CONFIG REQUIRED";
constexpr const char* modemError = "MODEM ERROR";
constexpr const char* ok = "OK";
constexpr const char* failed = "FAILED";
constexpr const char* invalidHostResponse = "INVALID HOST RESPONSE";
} // namespace status

// The decimal fields of a calendar time, each zero-padded to its width.
std::string digits(int first, int firstWidth, int second, int third, int thirdWidth) {
    char text[32];
    std::snprintf(text, sizeof text, "%0*d%02d%0*d", firstWidth, first, second, thirdWidth, third);
    return text;
}

// "%d%m%Y" and "%H%M%S".
std::string dayMonthYear(const platform::CalendarTime& time) {
    return digits(time.day, 2, time.month, time.year, 4);
}

std::string hourMinuteSecond(const platform::CalendarTime& time) {
    return digits(time.hour, 2, time.minute, time.second, 2);
}

// AppName and Version of the application status, each with its start-up
// value when absent.
std::string agentText(const xmlNode& applicationStatus) {
    return applicationStatus.getChildText("AppName", "Klarna") + "\\" +
           applicationStatus.getChildText("Version", KLARNA_VERSION_TEXT);
}

void fillPinpadDetails(GatewayRequest& request, const xmlNode& details) {
    setWhenNotEmpty(request.ppacq, details.getChildText("Acquirer", ""));
    setWhenNotEmpty(request.pptid, details.getChildText("TID", ""));
    setWhenNotEmpty(request.ppmid, details.getChildText("MID", ""));
}

void fillStartTime(GatewayRequest& request, const platform::WallClock& startTime) {
    request.date = dayMonthYear(startTime.local);
    request.time = hourMinuteSecond(startTime.local);
    request.tzd = startTime.utcOffsetMinutes;
}

} // namespace

bool QuenKlarna::isActivated() {
    return !readToken(bridge).empty() && !settings.terminalReference().empty();
}

bool QuenKlarna::activationCheck() {
    if (isActivated()) {
        return runNextStep();
    }
    if (startLogon()) {
        resumeAfterLogon = true;
        xmlNode screen;
        screen.getChild("line1").setText("PROCESSING");
        screen.getChild("line2").setText("PLEASE WAIT");
        displayOnPos(bridge, screen, foreground.posRequest);
        return true;
    }
    foreground.response.setResponse("H0");
    foreground.completeTransaction();
    return false;
}

bool QuenKlarna::startLogon() {
    if (!background.beginTransaction(xmlNode())) {
        return false;
    }
    background.response.setResponse("00");
    background.completion = nullptr;
    const auto abandon = [this](const char* outcome) {
        storeActivationStatus(bridge, outcome);
        background.completeTransaction();
        return false;
    };

    GatewayRequest& request = background.request;
    request.username = getVariable(bridge, settingKey::username, "");
    request.password = getVariable(bridge, settingKey::password, "");
    if (request.username->empty() || request.password->empty()) {
        return abandon(status::configRequired);
    }
    request.trn = trimmed(settings.terminalReference());
    if (request.trn->empty()) {
        return abandon(status::laneConfigRequired);
    }
    request.agent = agentText(applicationStatus);
    fillPinpadDetails(request, getPinpadDetails(bridge));
    fillStartTime(request, background.startTime);
    request.type = "A+";

    if (sendBackgroundTransaction(logonMessageType, logonReplyType, logonReplyType,
                                  [this] { return onLogonReply(); }) <= 0) {
        return abandon(status::modemError);
    }
    // An exchange that ends without reaching the reply callback (a reply
    // that does not match the logon, or one in nobody's window) still has
    // to record its outcome and release the flow waiting for it.
    background.completion = [this] {
        background.inProgress = false;
        storeActivationStatus(bridge, background.response.text);
        continueAfterLogon();
    };
    return true;
}

bool QuenKlarna::onLogonReply() {
    recordLogonOutcome();
    background.completion = nullptr;
    background.completeTransaction();
    continueAfterLogon();
    return true;
}

void QuenKlarna::recordLogonOutcome() {
    if (background.response.code != "00") {
        storeActivationStatus(bridge, background.response.text);
        return;
    }
    if (!background.reply.token) {
        storeActivationStatus(bridge, status::invalidHostResponse);
        return;
    }
    setVariable(bridge, recordName::token, *background.reply.token);
    if (!isActivated()) {
        storeActivationStatus(bridge, status::failed);
        return;
    }
    storeActivationStatus(bridge, status::ok);
    setVariable(bridge, settingKey::username, "");
    setVariable(bridge, settingKey::password, "");
}

void QuenKlarna::continueAfterLogon() {
    // A foreground transaction that was ended meanwhile (for example by a
    // reply in nobody's window) is neither sent nor resumed.
    const bool foregroundOpen = foreground.inProgress && !foreground.finished;
    releaseDeferredSend();
    if (resumeAfterLogon) {
        if (foregroundOpen) {
            xmlNode parameters;
            tokenStep(parameters);
        } else {
            resumeAfterLogon = false;
        }
    }
}

bool QuenKlarna::tokenStep(xmlNode&) {
    resumeAfterLogon = false;
    const std::string token = readToken(bridge);
    if (token.empty() || settings.terminalReference().empty()) {
        foreground.response.setResponse("H1");
        foreground.completeTransaction();
        return false;
    }
    foreground.request.token = token;
    foreground.request.countrycode = getVariable(bridge, settingKey::countryCode, "AU");
    return runNextStep();
}
