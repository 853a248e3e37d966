#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "config/persisted_records.h"
#include "documents/ascii_text.h"
#include "documents/gateway_message.h"
#include "host/quen_klarna.h"
#include "platform/platform.h"

namespace {

constexpr std::uint64_t nanosPerMilli = 1000000;

template <class T> bool sameField(const std::optional<T>& left, const std::optional<T>& right) {
    return left.has_value() == right.has_value() && (!left || *left == *right);
}

void noteElapsed(GatewayTransaction& transaction) {
    const std::uint64_t now = platform::monotonicNanos();
    const std::uint64_t spent = now > transaction.sentAt ? now - transaction.sentAt : 0;
    transaction.elapsedMs = static_cast<std::int64_t>(spent / nanosPerMilli);
}

// The reply callback decides whether the flow goes on; without one, or when
// it declines, the exchange is over.
void handBackToFlow(GatewayTransaction& transaction) {
    transaction.awaitingReply = false;
    const ReplyCallback callback = transaction.replyCallback;
    if (!callback || !callback()) {
        transaction.completeTransaction();
    }
}

// The host could not deliver the message or got no answer.
void recordHostFailure(GatewayTransaction& transaction, const xmlNode& event) {
    const std::string code = event.getChildText("Result", std::string());
    const std::string text = upperCase(event.getChildText("ResultText", std::string()));
    transaction.response.lookupResponse(code.empty() ? "X2" : code, text);
    handBackToFlow(transaction);
}

// The MTYPE of the event's Header element, 0 when there is none.
std::int32_t replyMessageType(const xmlNode& event) {
    const std::string headerText = event.getChildText("Header", std::string());
    xmlNode header;
    std::size_t position = 0;
    header.parse(headerText, position); // a partial header still names its MTYPE
    const int index = header.findChild("MTYPE");
    return index < 0 ? 0 : header.child(index).getTextInt(0);
}

bool inWindowRange(const GatewayTransaction& transaction, std::int32_t messageType) {
    return transaction.windowLow <= messageType && messageType <= transaction.windowHigh;
}

bool inWindow(const GatewayTransaction& transaction, std::int32_t messageType) {
    return transaction.awaitingReply && inWindowRange(transaction, messageType);
}

// The gateway's reply the event carries, when it is readable and answers the
// transaction's message.
bool answersRequest(const GatewayTransaction& transaction, const xmlNode& event,
                    GatewayReply& parsed) {
    return fromJson(event.getChildText("Message", std::string()), parsed) &&
           sameField(parsed.type, transaction.request.type) &&
           sameField(parsed.stan, transaction.request.stan);
}

// Reads the gateway's reply into the transaction; false when it is
// unreadable or answers another message.
bool readMatchingReply(GatewayTransaction& transaction, const xmlNode& event) {
    GatewayReply parsed;
    if (!answersRequest(transaction, event, parsed)) {
        transaction.reply = GatewayReply();
        return false;
    }
    transaction.reply = parsed;
    return true;
}

// A reply to the transaction's message that comes after its wait was ended
// (the host's time-out, or the module's own): the gateway did act.
bool answersEndedWait(const GatewayTransaction& transaction, std::int32_t messageType,
                      const xmlNode& event, GatewayReply& parsed) {
    return transaction.inProgress && !transaction.awaitingReply &&
           inWindowRange(transaction, messageType) && answersRequest(transaction, event, parsed);
}

// That late reply approves a refund whose result step has begun with a
// failure (the retry question, if any, is over too). The result is not sent
// yet; the gateway has paid the customer back and a refund has no reversal,
// so the result must tell the POS so.
bool approvesRefundAfterItsFailure(const GatewayTransaction& transaction,
                                   const GatewayReply& late) {
    return transaction.finished && transaction.response.code != "00" &&
           transaction.request.type == std::string("R") && late.rc == std::string("00");
}

// The code of a sale the host's variable store let down.
constexpr const char* systemError = "X2";

} // namespace

void QuenKlarna::endUntakenSend(GatewayTransaction& transaction, const char* why,
                                const char* code) {
    platform::debugOutput(why);
    if (!transaction.awaitingReply) {
        return; // its outcome has already been recorded
    }
    transaction.response.lookupResponse(code, "");
    handBackToFlow(transaction);
}

std::int32_t QuenKlarna::onHostReceive(xmlDoc& document, xmlNode& element, std::string&) {
    platform::debugOutput("Klarna On RX EftServer:\n");
    platform::debugOutput(document.toString());
    if (foreground.awaitingReply) {
        noteElapsed(foreground);
    } else if (background.awaitingReply) {
        noteElapsed(background);
    }
    if (foreground.awaitingReply || background.awaitingReply) {
        ++progress;
    }

    if (element.getChildText("Result", std::string()) != "00") {
        if (foreground.awaitingReply) {
            recordHostFailure(foreground, element);
        }
        if (background.awaitingReply) {
            recordHostFailure(background, element);
        }
        return 0;
    }

    const std::int32_t messageType = replyMessageType(element);
    GatewayReply late;
    const bool answersEnded = answersEndedWait(foreground, messageType, element, late);
    if (answersEnded && approvesRefundAfterItsFailure(foreground, late)) {
        platform::debugOutput("Klarna refund approved after its failure was shown: the result "
                              "step runs again with the approval\n");
        foreground.reply = late;
        foreground.response.lookupResponse("00", upperCase(late.rt.value_or("")));
        foreground.resultChanged = true;
        noteElapsed(foreground);
        ++progress;
        return 1;
    }
    if (answersEnded && retryKeyAwaited) {
        // The operator is asked whether to send the message again: the
        // question is taken down and the reply handled as if awaited.
        withdrawRetryQuestion();
        foreground.awaitingReply = true;
        noteElapsed(foreground);
        ++progress;
    }
    const bool isForeground = inWindow(foreground, messageType);
    if (isForeground || inWindow(background, messageType)) {
        GatewayTransaction& transaction = isForeground ? foreground : background;
        transaction.awaitingReply = false;
        transaction.response.setResponse("XC");
        if (!readMatchingReply(transaction, element)) {
            transaction.completeTransaction();
            return 1;
        }
        if (!isForeground) {
            transaction.request.replycount =
                transaction.request.replycount ? *transaction.request.replycount + 1 : 1;
        }
        const std::optional<std::string>& code = transaction.reply.rc;
        if (!code || code->empty()) {
            transaction.completeTransaction();
            return 1;
        }
        transaction.response.lookupResponse(*code, upperCase(transaction.reply.rt.value_or("")));
        if (isForeground && transaction.reversalStored && !clearReversal(bridge) &&
            transaction.response.code == "00") {
            // The record stays and will reverse what was just approved: the
            // sale must not be reported approved.
            platform::debugOutput("Klarna reversal record not cleared after an approval\n");
            transaction.response.setResponse(systemError);
        }
        handBackToFlow(transaction);
        return 1;
    }

    // A reply that belongs to nobody ends whatever waits. The exchange it
    // waited for stops waiting too: its own reply, if it still comes, must
    // not resume a flow that has ended, nor clear the reversal record that
    // now covers the message. A deferred send ends with it.
    if (foreground.awaitingReply || foregroundDeferred) {
        foreground.awaitingReply = false;
        foregroundDeferred = false;
        foreground.response.setResponse("Z1");
        foreground.completeTransaction();
    }
    if (background.awaitingReply) {
        background.awaitingReply = false;
        background.response.setResponse("Z1");
        background.completeTransaction();
    }
    return 0;
}
