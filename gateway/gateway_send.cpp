#include <cstdint>
#include <string>
#include <utility>

#include "config/persisted_records.h"
#include "documents/gateway_message.h"
#include "documents/json_writer.h"
#include "host/host_methods.h"
#include "host/quen_klarna.h"
#include "platform/platform.h"

namespace {

// The characters of the rotating terminal id.
constexpr const char tidAlphabet[] =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz@_";
constexpr std::size_t tidLength = 8;
constexpr std::size_t tidRotatingIndex = 7;
// What the debug trace shows instead of a credential.
constexpr const char* maskedSecret = "****";

std::string twoDigits(int value) {
    std::string text = std::to_string(value);
    return text.size() < 2 ? "0" + text : text;
}

// "%Y%m%d%H%M%S".
std::string compactTimestamp(const platform::CalendarTime& time) {
    std::string year = std::to_string(time.year);
    if (year.size() < 4) {
        year.insert(0, 4 - year.size(), '0');
    }
    return year + twoDigits(time.month) + twoDigits(time.day) + twoDigits(time.hour) +
           twoDigits(time.minute) + twoDigits(time.second);
}

void stampRequest(GatewayRequest& request, std::int32_t messageType) {
    request.mt = messageType;
    request.sentcount = request.sentcount ? *request.sentcount + 1 : 1;
    request.tt = compactTimestamp(platform::wallClock().utc);
}

// The request's text as the debug output may show it: credentials and the
// card number masked.
std::string maskedForTrace(const GatewayRequest& request) {
    JsonMember replaced[3] = {};
    std::size_t count = 0;
    if (request.pan) {
        replaced[count++] = JsonMember::string("pan", maskedSecret);
    }
    if (request.password) {
        replaced[count++] = JsonMember::string("password", maskedSecret);
    }
    if (request.token) {
        replaced[count++] = JsonMember::string("token", maskedSecret);
    }
    return writeRequestJson(request, replaced, count);
}

void addText(xmlNode& parent, const std::string& name, const std::string& text) {
    parent.getChild(name).setText(text);
}

} // namespace

std::int32_t QuenKlarna::startForegroundSend(std::int32_t messageType, std::int32_t windowLow,
                                             std::int32_t windowHigh, std::int32_t timeoutSeconds,
                                             bool skipDisplay, ReplyCallback callback) {
    foreground.messageType = messageType;
    foreground.windowLow = windowLow;
    foreground.windowHigh = windowHigh;
    foreground.timeout = timeoutSeconds;
    if (callback) {
        foreground.replyCallback = std::move(callback);
    }
    return sendTransaction(skipDisplay);
}

std::int32_t QuenKlarna::sendTransaction(bool skipDisplay) {
    if (!skipDisplay) {
        showProcessingScreen();
    }
    foregroundDeferred = false;
    if (background.inProgress) {
        // The end of the background exchange sends it.
        foregroundDeferred = true;
        return 0;
    }
    const std::string& gate = background.response.code;
    if (gate != "00" && gate != "0A") {
        foreground.response.setResponse("TX");
        foreground.completeTransaction();
        return 1;
    }
    const std::int32_t timeoutSeconds =
        foreground.timeout >= 0 ? foreground.timeout : settings.timeoutResponse;
    const HandOver handed =
        handOver(foreground, timeoutSeconds, "Klarna Send Transaction:\n", true);
    if (handed == HandOver::notTaken) {
        endUntakenSend(foreground);
    } else if (handed == HandOver::notSent) {
        endUntakenSend(foreground, "Klarna reversal record not stored, message not sent\n", "X2");
    }
    return 1;
}

void QuenKlarna::releaseDeferredSend() {
    if (!foregroundDeferred) {
        return;
    }
    if (foreground.inProgress && !foreground.finished) {
        sendTransaction(false);
        return;
    }
    foregroundDeferred = false;
}

std::int32_t QuenKlarna::sendBackgroundTransaction(std::int32_t messageType, std::int32_t windowLow,
                                                   std::int32_t windowHigh,
                                                   ReplyCallback callback) {
    background.messageType = messageType;
    background.windowLow = windowLow;
    background.windowHigh = windowHigh;
    background.replyCallback = std::move(callback);
    if (handOver(background, settings.timeoutResponse, "Klarna Send Background Transaction:\n",
                 false) != HandOver::taken) {
        background.awaitingReply = false;
        return 0;
    }
    return 1;
}

QuenKlarna::HandOver QuenKlarna::handOver(GatewayTransaction& transaction,
                                          std::int32_t timeoutSeconds, const char* traceLabel,
                                          bool storeReversalData) {
    stampRequest(transaction.request, transaction.messageType);
    rotateTid();

    xmlNode message;
    message.name = "SendHostMessage";
    message.getChild("MsgType").setText(transaction.messageType);
    addText(message, "MID", settings.terminalReference());
    addText(message, "TID", rotatingTid);
    addText(message, "HostId", settings.hostId);
    message.getChild("Timeout").setText(timeoutSeconds);
    message.getChild("Message").text = toJson(transaction.request);
    message.getChild("IsXML").setText(1);

    // The trace shows the message with the masked request, swapped in for
    // the serialisation rather than written into a copy of the element.
    std::string masked = maskedForTrace(transaction.request);
    xmlNode& sentText = message.getChild("Message");
    sentText.text.swap(masked);
    platform::debugOutput(traceLabel);
    platform::debugOutput(message.toString());
    sentText.text.swap(masked);

    // A message sent while an earlier one still awaits its reply (the
    // interrupt of a wait) leaves that one's record in place, so the awaited
    // reply must still be able to clear it.
    const bool earlierRecordPending = transaction.reversalStored && transaction.awaitingReply;
    transaction.sentAt = platform::monotonicNanos();
    ++progress;
    // Set before the hand-over so that a reply delivered while the host
    // still holds the request finds the transaction waiting for it.
    transaction.awaitingReply = true;
    if (storeReversalData) {
        const ReversalRecord record = storeReversal(bridge, transaction.request);
        if (record == ReversalRecord::refused) {
            return HandOver::notSent;
        }
        transaction.reversalStored = record == ReversalRecord::stored || earlierRecordPending;
    }
    // A host that refuses the message (a negative result, -181 given up
    // included) will deliver no reply for it, nor its own time-out.
    const bool taken = sendHostMessage(bridge, message, handler(&QuenKlarna::onHostReceive)) >= 0;
    return taken ? HandOver::taken : HandOver::notTaken;
}

void QuenKlarna::rotateTid() {
    if (rotatingTid.empty()) {
        seedRandomOnce();
        for (std::size_t i = 0; i < tidLength; ++i) {
            const int pick = platform::randomNumber() % 63;
            rotatingTid += tidAlphabet[pick < 0 ? -pick : pick];
        }
    }
    rotatingTid[tidRotatingIndex] = tidAlphabet[tidCounter & 63];
    ++tidCounter;
}

void QuenKlarna::showProcessingScreen() {
    xmlNode screen;
    addText(screen, "Heading", displayHeading());
    addText(screen, "Subtitle", displaySubtitle());
    xmlNode& lines = screen.getChild("TextLines");
    addText(lines, "0", "");
    addText(lines, "1", "     PROCESSING     ");
    addText(lines, "2", "    PLEASE  WAIT    ");
    addText(lines, "3", "");
    screen.getChild("NumberOfRows").setText(4);
    addText(screen, "DisplayOnly", "1");
    getMultiLineFromPinpad(bridge, screen, Handler());

    if (origin.posOrigin) {
        xmlNode display;
        addText(display, "line1", "PROCESSING");
        addText(display, "line2", "PLEASE WAIT");
        displayOnPos(bridge, display, foreground.posRequest);
    }
}
