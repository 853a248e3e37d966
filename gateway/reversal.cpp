// The pending reversal: a gateway request whose outcome the terminal never
// learnt is sent back to the gateway on the background transaction, at the
// start of every purchase or refund and from the periodic timer.
#include <cstdint>
#include <limits>
#include <string>

#include "config/persisted_records.h"
#include "documents/gateway_message.h"
#include "gateway/journal_record.h"
#include "gateway/message_types.h"
#include "host/host_methods.h"
#include "host/quen_klarna.h"

namespace {

// Delay of the next timer check while a payment or refund is running.
constexpr std::int32_t busyRetryMs = 60000;
// Seconds between checks when REVERSAL_TIMER is zero or negative.
constexpr std::int64_t fallbackTimerSeconds = 120;

bool returnsImmediately(const xmlNode& parameters) {
    const int index = parameters.findChild("ReturnImmediate");
    return index >= 0 && parameters.child(index).getTextInt(0) > 0;
}

bool isAccepted(const std::string& code) {
    return code == "00" || code == "0A";
}

// REVERSAL_TIMER seconds as milliseconds for the host. A zero or negative
// setting would make the host fire continuously (or never), so it falls back
// to the default interval; a large one is held at the largest delay the
// 32-bit result can carry.
std::int32_t timerDelayMs(std::int32_t seconds) {
    const std::int64_t chosen = seconds > 0 ? seconds : fallbackTimerSeconds;
    const std::int64_t milliseconds = chosen * 1000;
    const std::int64_t largest = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(milliseconds < largest ? milliseconds : largest);
}

} // namespace

bool QuenKlarna::startReversal(xmlNode& parameters) {
    const bool immediate = returnsImmediately(parameters);
    if (background.beginTransaction(parameters)) {
        background.response.setResponse("00");
        // However the exchange ends (an unreadable or unmatched reply too),
        // a sale waiting for it is sent or refused, never left waiting.
        background.completion = [this] {
            background.inProgress = false;
            releaseDeferredSend();
        };
        std::string record;
        if (!readVariableChecked(bridge, recordName::reversalData, record)) {
            // Whether a reversal is owed cannot be known: no foreground
            // message may go out (refused "TX") until the record can be read.
            background.response.lookupResponse("X2", "");
            background.completeTransaction();
            return immediate ? false : runNextStep();
        }
        // An unreadable record, or one of no reversal type, is left as it
        // is: sent, a record of another type (a purchase "P") would move
        // money outside any sale.
        if (!record.empty() && fromJson(record, background.request) &&
            isReversalType(background.request.type.value_or(""))) {
            if (sendBackgroundTransaction(reversalMessageType, reversalReplyType, reversalReplyType,
                                          [this] { return onReversalReply(); }) <= 0) {
                // Not taken by the host: a failed attempt, like no answer.
                background.response.lookupResponse("X0", "");
                onReversalReply();
            }
            return immediate ? true : runNextStep();
        }
        background.completeTransaction();
    }
    return immediate ? false : runNextStep();
}

bool QuenKlarna::onReversalReply() {
    if (isAccepted(background.response.code)) {
        clearReversal(bridge);
        writeJournal(bridge, background, JournalKind::reversal, klarnaJournalNames(settings));
    } else {
        // The next attempt resends the request with the counts of this one.
        setVariable(bridge, recordName::reversalData, toJson(background.request));
    }
    background.completeTransaction();
    releaseDeferredSend();
    return true;
}

std::int32_t QuenKlarna::onReversalTimer(xmlDoc&, xmlNode&, std::string&) {
    watchForLostAnswers();
    lastTimerDelayMs = busyRetryMs;
    if (foreground.inProgress) {
        return busyRetryMs;
    }
    if (settings.reversalOnSale) {
        xmlNode parameters;
        parameters.name = "Reversal";
        parameters.getChild("ReturnImmediate").setText("1");
        startReversal(parameters);
    }
    lastTimerDelayMs = timerDelayMs(settings.reversalTimer);
    return lastTimerDelayMs;
}
