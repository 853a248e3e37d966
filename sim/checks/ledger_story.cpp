// One story per transaction: what the POS was told (the TransactionEvent) is
// what LAST_TXN, the journal record, the printed receipt and the last result
// screen say.
#include "sim/checks/ledger_parts.h"

namespace sim {
namespace ledger {

namespace {

// The fixed layout of a journal record of a payment or refund: its status
// letter, response code and the purchase and refund amount fields.
constexpr std::size_t journalLength = 210;
constexpr std::size_t journalCodeAt = 25;
constexpr std::size_t journalPurchaseAt = 92;
constexpr std::size_t journalRefundAt = 110;
constexpr std::size_t journalAmountWidth = 9;
// The longest tag list a result's PurchaseAnalysisData holds (after its
// three-digit length).
constexpr std::size_t tagListMaxLength = 999;

struct Told {
    std::string code;
    std::string text;
    std::int64_t amount = 0;
    bool refund = false;
};

std::string trimmedRight(std::string text) {
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos;
         at = text.find("\r\n", from)) {
        lines.push_back(text.substr(from, at - from));
        from = at + 2;
    }
    lines.push_back(text.substr(from));
    return lines;
}

// "$12.50" as the receipt writes minor units.
std::string receiptAmount(std::int64_t minor) {
    const bool negative = minor < 0;
    std::string digits = std::to_string(negative ? -minor : minor);
    digits.insert(0, digits.size() < 3 ? 3 - digits.size() : 0, '0');
    return std::string("$") + (negative ? "-" : "") + digits.substr(0, digits.size() - 2) + "." +
           digits.substr(digits.size() - 2);
}

// Capitals and spaces, then a space and a two-character code ("TRANSACTION
// APPROVED 00"); not the host code line ("KLA 00").
bool looksLikeResultLine(const std::string& line) {
    if (line.size() < 4 || line[line.size() - 3] != ' ' || line.rfind("KLA ", 0) == 0) {
        return false;
    }
    for (std::size_t i = 0; i + 3 < line.size(); ++i) {
        if (!(line[i] == ' ' || (line[i] >= 'A' && line[i] <= 'Z'))) {
            return false;
        }
    }
    return true;
}

void differs(const TransactionSpan& span, const std::string& where, const std::string& what,
             const std::string& says, const std::string& told, std::vector<std::string>& failures) {
    failures.push_back("ledger: " + span.name() + ": one story: " + where + " says " + what + " " +
                       says + ", the TransactionEvent " + told);
}

void checkLastTxn(const Books& books, const TransactionSpan& span, std::size_t result,
                  const Told& told, std::vector<std::string>& failures) {
    for (std::size_t r = result; r-- > span.requestFrom;) {
        const RequestRecord& request = books.record.requests[r];
        if (variableSet(request) != "LAST_TXN") {
            continue;
        }
        const XmlParseResult stored = parseXml(request.element.childText("Value"));
        const std::string code = stored.root.childText("ResponseCode");
        if (code != told.code) {
            differs(span, "LAST_TXN", "response code", code, told.code, failures);
        }
        const std::int64_t amount = wholeNumber(stored.root.childText("AmtPurchase"));
        if (amount != told.amount) {
            differs(span, "LAST_TXN", "amount", std::to_string(amount), std::to_string(told.amount),
                    failures);
        }
        return;
    }
    failures.push_back("ledger: " + span.name() +
                       ": one story: no LAST_TXN was written with the result " + told.code);
}

void checkJournal(const Books& books, const TransactionSpan& span, std::size_t result,
                  const Told& told, std::vector<std::string>& failures) {
    for (std::size_t r = result; r-- > span.requestFrom;) {
        const RequestRecord& request = books.record.requests[r];
        const std::string entry = request.element.childText("jnl_entry");
        if (request.name != "AddJournal" || entry.size() <= journalCodeAt + 1 ||
            (entry[3] != 'M' && entry[3] != 'X')) {
            continue; // not a journal record, or a reversal's
        }
        const std::string code = entry.substr(journalCodeAt, 2);
        if (code != told.code) {
            differs(span, "the journal record", "response code", code, told.code, failures);
        }
        if (entry.size() == journalLength) {
            const std::size_t at = told.refund ? journalRefundAt : journalPurchaseAt;
            const std::int64_t amount = wholeNumber(entry.substr(at, journalAmountWidth));
            // 0 is the amount of a gateway request that never got one (a sale
            // that ended before it was built): only a declined one may say so.
            if (amount != told.amount && (amount != 0 || told.code == "00")) {
                differs(span, "the journal record", "amount", std::to_string(amount),
                        std::to_string(told.amount), failures);
            }
        }
        return;
    }
}

// The receipt of the result step: its result line is the response text and
// code as the POS was told them, fitted to the receipt's width; its amount is
// the amount told.
void checkReceipt(const std::string& receipt, const TransactionSpan& span, const Told& told,
                  std::vector<std::string>& failures) {
    const std::vector<std::string> lines = linesOf(receipt);
    const std::size_t width = lines.front().size();
    std::string expected = told.text + " " + told.code;
    expected = trimmedRight(expected.substr(0, width));
    bool found = false;
    std::string resultLine;
    for (const std::string& line : lines) {
        const std::string trimmed = trimmedRight(line);
        found = found || trimmed == expected;
        if (looksLikeResultLine(trimmed)) {
            resultLine = trimmed;
        }
        if (trimmed.rfind("Amount:", 0) == 0) {
            const std::string value = trimmed.substr(trimmed.find_last_of(' ') + 1);
            if (value != receiptAmount(told.amount)) {
                differs(span, "the receipt", "amount", value, receiptAmount(told.amount), failures);
            }
        }
    }
    if (!found) {
        differs(span, "the receipt", "result",
                "\"" + (resultLine.empty() ? std::string("(no result line)") : resultLine) + "\"",
                "\"" + expected + "\"", failures);
    }
}

bool saysDeclined(const XmlElement& screen) {
    const XmlElement* lines = screen.find("TextLines");
    if (lines == nullptr) {
        return false;
    }
    for (const XmlElement& line : lines->children) {
        if (line.text.find("TRANSACTION DECLINED") != std::string::npos) {
            return true;
        }
    }
    return false;
}

// The result says its receipt was printed (CsdReservedString1, second
// flag) exactly when this transaction's receipt print was answered "00": the
// first PrintReceiptEvent after it, delivered before the result (one that
// came later, or in the next transaction, cannot have been its answer). A
// print the host refused is answered by no event.
void checkPrintedFlag(const Books& books, const TransactionSpan& span, std::size_t print,
                      std::size_t result, const XmlElement& event,
                      std::vector<std::string>& failures) {
    const std::string flags = event.childText("CsdReservedString1");
    if (flags.size() < 2) {
        return;
    }
    bool printed = false;
    const bool refused = print < span.requestTo && books.record.requests[print].result < 0;
    for (const ObservedDelivery& delivery : books.seen.deliveries) {
        if (print < span.requestTo && !refused && delivery.requestsBefore > print &&
            delivery.requestsBefore <= result && delivery.name == "PrintReceiptEvent") {
            const XmlParseResult parsed = parseXml(delivery.text);
            const XmlElement* holder = parsed.root.find("VORTAXIS_EVENT");
            const XmlElement* answer =
                holder != nullptr ? holder->find("PrintReceiptEvent") : nullptr;
            printed = answer != nullptr && answer->childText("Result") == "00";
            break;
        }
    }
    if ((flags[1] == '1') != printed) {
        failures.push_back("ledger: " + span.name() +
                           ": one story: the TransactionEvent says CsdReservedString1 " + flags +
                           (printed ? " (receipt not printed), but its receipt was printed"
                                    : " (receipt printed), but no receipt of it was printed"));
    }
}

// The value of a tag in a result's PurchaseAnalysisData (three digits of
// length, then TAG, three digits, value, ...); false when it is not there.
bool tagValue(const std::string& data, const std::string& tag, std::string& value) {
    std::size_t at = 3;
    while (at + 6 <= data.size()) {
        const std::size_t length = static_cast<std::size_t>(wholeNumber(data.substr(at + 3, 3)));
        if (data.compare(at, 3, tag) == 0) {
            value = data.substr(at + 6, length);
            return true;
        }
        at += 6 + length;
    }
    return false;
}

// The gateway's answer the result rests on: the last answer the module took
// before the result (the HostReceiveEvent it answered 1, "taken in a
// window"; a reply that comes after the module stopped waiting is answered
// 0), when it answers the purchase or refund itself (not a session, status or
// reversal message). Null when there is none.
const ObservedDelivery* answerOfResult(const Books& books, const TransactionSpan& span,
                                       std::size_t result) {
    for (std::size_t g = span.gatewayTo; g-- > span.gatewayFrom;) {
        std::string rc;
        const ObservedDelivery* answer = answerTo(books.record, books.seen, g, rc);
        if (answer == nullptr || answer->requestsBefore > result || answer->returned != 1) {
            continue;
        }
        return isMoneyStep(books.record.gateway[g]) ? answer : nullptr;
    }
    return nullptr;
}

// What the gateway's answer said of the money (its currency and its
// reference) reaches the POS with the result, whatever the response code:
// a declined or failed purchase or refund is still reconciled by them.
void checkAnswerCarried(const Books& books, const TransactionSpan& span, std::size_t result,
                        const XmlElement& event, std::vector<std::string>& failures) {
    const ObservedDelivery* answer = answerOfResult(books, span, result);
    if (answer == nullptr) {
        return;
    }
    const nlohmann::json reply = replyCarried(*answer);
    const std::string currency = textMember(reply, "currency");
    if (!currency.empty() && event.childText("CurrencyCode") != currency) {
        failures.push_back("ledger: " + span.name() +
                           ": one story: the gateway's answer says currency " + currency +
                           ", the TransactionEvent " +
                           (event.has("CurrencyCode") ? event.childText("CurrencyCode")
                                                      : std::string("has none")));
    }
    const std::string data = event.childText("PurchaseAnalysisData");
    const std::string reference = textMember(reply, "txref");
    std::string told;
    // A reference left out because the tags were full is told by the trace.
    const bool fits = data.size() + 6 + reference.size() <= 3 + tagListMaxLength;
    if (!reference.empty() && (tagValue(data, "REF", told) ? told != reference : fits)) {
        failures.push_back("ledger: " + span.name() +
                           ": one story: the gateway's answer says txref " + reference +
                           ", the TransactionEvent's REF tag " +
                           (told.empty() ? std::string("is missing") : told));
    }
}

} // namespace

void checkOneStory(const Books& books, const TransactionSpan& span,
                   std::vector<std::string>& failures) {
    if (span.results.empty()) {
        return;
    }
    const std::size_t result = span.results.front();
    const XmlElement* event = transactionEventOf(books.record.requests[result]);
    if (event == nullptr) {
        return;
    }
    Told told;
    told.code = event->childText("ResponseCode");
    told.text = event->childText("ResponseText");
    told.amount = wholeNumber(event->childText("AmtPurchase"));
    told.refund = event->childText("TxnType") == "R";
    checkLastTxn(books, span, result, told, failures);
    checkAnswerCarried(books, span, result, *event, failures);
    checkJournal(books, span, result, told, failures);
    // The receipt of the result step, and the screens drawn after the
    // result step began.
    std::size_t printed = result;
    for (std::size_t r = result; r-- > span.requestFrom;) {
        if (books.record.requests[r].name == "PrintReceipt") {
            printed = r;
            break;
        }
    }
    checkPrintedFlag(books, span, printed < result ? printed : span.requestTo, result, *event,
                     failures);
    if (printed == result) {
        return;
    }
    checkReceipt(books.record.requests[printed].element.childText("Receipt"), span, told, failures);
    for (std::size_t r = result; r-- > span.requestFrom;) {
        const RequestRecord& request = books.record.requests[r];
        if (request.name != "GetMultiLineFromPinpad" ||
            request.element.childText("DisplayOnly") != "1") {
            continue;
        }
        const bool declined = saysDeclined(request.element);
        if (declined != (told.code != "00")) {
            differs(span, "the last result screen",
                    declined ? "TRANSACTION DECLINED" : "no decline", "", told.code, failures);
        }
        break;
    }
}

} // namespace ledger
} // namespace sim
