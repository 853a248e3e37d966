#include "gateway/journal_record.h"

#include "config/settings.h"
#include "gateway/gateway_transaction.h"
#include "gateway/receipt_builder.h"
#include "gateway/result_text.h"
#include "host/host_methods.h"
#include "host/startup_registration.h"

namespace {

constexpr std::size_t amountWidth = 9;
const char* const zeroAmount = "000000000";

// Decimal text of value padded with "0" to width after any sign; longer
// values are written in full.
std::string paddedAmount(std::int32_t value) {
    if (value >= 0) {
        return zeroPadded(value, amountWidth);
    }
    return "-" + zeroPadded(-static_cast<std::int64_t>(value), amountWidth - 1);
}

std::string statusLetter(const std::string& code, JournalKind kind) {
    if (code != "00") {
        return "X";
    }
    return kind == JournalKind::reversal ? "R" : "M";
}

// A request without a type takes the POS request's TxnType, or "P".
const std::string& settleType(GatewayTransaction& transaction) {
    GatewayRequest& request = transaction.request;
    if (!request.type) {
        request.type = transaction.posRequest.getChildText("TxnType", "P");
    }
    return *request.type;
}

std::string elapsedField(std::int64_t elapsedMs) {
    return fitText(std::to_string(elapsedMs / 10), 5, '0');
}

} // namespace

JournalNames klarnaJournalNames(const Settings& settings) {
    return {registration::extensionName, registration::merchantNumber,
            settings.terminalReference()};
}

std::string fitText(const std::string& text, std::size_t width, char fill) {
    if (text.size() >= width) {
        return text.substr(0, width);
    }
    return text + std::string(width - text.size(), fill);
}

std::string buildJournalRecord(GatewayTransaction& transaction, JournalKind kind,
                               const JournalNames& names) {
    const std::string type = settleType(transaction);
    const GatewayRequest& request = transaction.request;
    const std::string date = compactDate(transaction.startTime.local);
    const std::string amount = paddedAmount(request.amt.value_or(0));
    const bool refund = type == "R";

    std::string record = "F00";
    record += statusLetter(transaction.response.code, kind);
    record += "0";
    record += names.merchantNumber;
    record += fitText(std::to_string(request.stan.value_or(0)), 6, ' ');
    record += date;
    record += compactTime(transaction.startTime.local);
    record += transaction.response.code;
    record += fitText(transaction.response.text, 20, ' ');
    record += "00000000";
    record += fitText(names.terminalReference, 15, ' ');
    record += "?";
    record += elapsedField(transaction.elapsedMs);
    record += fitText(request.ref.value_or(""), 16, ' ');
    record += refund ? zeroAmount : amount;
    record += zeroAmount;
    record += refund ? amount : zeroAmount;
    record += zeroAmount;
    // The record is kept and passed on: the card number as the receipt masks it.
    record += fitText(maskCardNumber(request.pan.value_or("")), 32, ' ');
    record += fitText(names.applicationName, 20, ' ');
    record += names.merchantNumber;
    record += "000000";
    record += date;
    record += "?";
    record += type;
    record += "000000";
    record += "01" + request.pansrc.value_or(" ") + "00000";
    return record;
}

std::int32_t writeJournal(HostBridge& bridge, GatewayTransaction& transaction, JournalKind kind,
                          const JournalNames& names) {
    return addJournal(bridge, buildJournalRecord(transaction, kind, names));
}
