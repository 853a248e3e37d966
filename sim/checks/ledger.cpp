#include "sim/checks/ledger.h"

#include <cstdlib>

#include "sim/checks/ledger_parts.h"
#include "sim/gateway/gateway_sim.h"

namespace sim {

namespace ledger {

const XmlElement* transactionEventOf(const RequestRecord& request) {
    const XmlElement* holder = request.element.find("VORTAXIS_EVENT");
    if (holder == nullptr || holder->children.empty()) {
        return nullptr;
    }
    return &holder->children.front();
}

const TransactionSpan* ownerOf(const Books& books, std::size_t request) {
    for (const TransactionSpan& span : books.spans) {
        if (request >= span.requestFrom && request < span.requestTo) {
            return &span;
        }
    }
    return nullptr;
}

std::string ownerName(const Books& books, std::size_t request) {
    const TransactionSpan* span = ownerOf(books, request);
    return span != nullptr ? span->name() : "outside any transaction";
}

const ObservedDelivery* causeOf(const Books& books, std::size_t request) {
    if (request < books.record.requests.size() && books.record.requests[request].startup != 0) {
        return nullptr;
    }
    const ObservedDelivery* cause = nullptr;
    for (const ObservedDelivery& delivery : books.seen.deliveries) {
        if (delivery.requestsBefore > request) {
            break;
        }
        cause = &delivery;
    }
    return cause;
}

std::int64_t wholeNumber(const std::string& text) {
    return std::strtoll(text.c_str(), nullptr, 10);
}

std::string variableSet(const RequestRecord& request) {
    return request.name == "SetVariable" ? request.element.childText("VariableName") : "";
}

} // namespace ledger

namespace {

using ledger::Books;

const char* moveName(MoneyMove::Kind kind) {
    switch (kind) {
    case MoneyMove::Kind::capture:
        return "captured";
    case MoneyMove::Kind::refund:
        return "refunded";
    default:
        return "reversed";
    }
}

std::string money(std::int64_t amount, const std::string& currency) {
    return std::to_string(amount) + " " + (currency.empty() ? "(no currency)" : currency);
}

const TransactionSpan* spanOfMessage(const Books& books, std::size_t message) {
    for (const TransactionSpan& span : books.spans) {
        if (message >= span.gatewayFrom && message < span.gatewayTo) {
            return &span;
        }
    }
    return nullptr;
}

// The first result of the span, or null.
const XmlElement* firstResult(const Books& books, const TransactionSpan& span) {
    return span.results.empty()
               ? nullptr
               : ledger::transactionEventOf(books.record.requests[span.results.front()]);
}

bool undoneLater(const Books& books, std::size_t move) {
    const MoneyMove& taken = books.record.money[move];
    for (std::size_t later = move + 1; later < books.record.money.size(); ++later) {
        const MoneyMove& other = books.record.money[later];
        if (other.kind == MoneyMove::Kind::reversal && other.orderid == taken.orderid &&
            (other.stan == taken.stan || other.stan < 0 || taken.stan < 0)) {
            return true;
        }
    }
    return false;
}

bool coveredAtEnd(const Books& books, const std::map<std::string, std::string>& store,
                  std::size_t message) {
    const auto found = store.find("REVERSAL_DATA");
    if (found == store.end() || found->second.empty()) {
        return false;
    }
    const GatewayMessage& original = books.record.gateway[message];
    return undoes(parseGatewayText(found->second), original.kind, original.json);
}

// A refund whose approval never reached the terminal before the refund's
// result (no reply came, or only after the result): there is no way back for
// a refund (no "R-" reversal exists in the protocol), only the operator's
// retry of the same request, so its outcome stays unknown to the terminal. A
// refund the terminal learnt was paid, even after a time-out, must be
// reported approved.
bool unlearntRefund(const Books& books, const MoneyMove& move, const TransactionSpan* span) {
    if (move.kind != MoneyMove::Kind::refund) {
        return false;
    }
    const std::size_t before = span != nullptr && !span->results.empty()
                                   ? span->results.front()
                                   : books.record.requests.size();
    return approvalDelivered(books.record, books.seen, move.message, before) == nullptr;
}

// Every capture and refund the gateway made reaches the POS as approved by
// the transaction that asked for it, or is undone, or is still owed a
// reversal; a refund is paid once per transaction.
void checkMovesReported(const Books& books, const std::map<std::string, std::string>& store,
                        std::vector<std::string>& failures) {
    std::map<const TransactionSpan*, int> refundsPaid;
    for (std::size_t m = 0; m < books.record.money.size(); ++m) {
        const MoneyMove& move = books.record.money[m];
        if (move.kind == MoneyMove::Kind::reversal || move.message >= books.record.gateway.size()) {
            continue;
        }
        const TransactionSpan* span = spanOfMessage(books, move.message);
        const std::string which = span != nullptr ? span->name() : "outside any transaction";
        const std::string what = "the gateway " + std::string(moveName(move.kind)) + " " +
                                 money(move.amount, move.currency) + " of order " + move.orderid;
        if (span != nullptr && move.kind == MoneyMove::Kind::refund && ++refundsPaid[span] == 2) {
            failures.push_back("ledger: " + which + ": money: " + what +
                               " a second time for one refund");
        }
        const XmlElement* result = span != nullptr ? firstResult(books, *span) : nullptr;
        const bool reported = result != nullptr && result->childText("ResponseCode") == "00";
        if (reported || undoneLater(books, m) || coveredAtEnd(books, store, move.message) ||
            reversedLater(books.record, books.seen, move.message)) {
            continue;
        }
        const bool open = span != nullptr && !span->finished && span->results.empty();
        if (open || unlearntRefund(books, move, span)) {
            continue; // the run stopped before the transaction could end
        }
        failures.push_back("ledger: " + which + ": money: " + what + " (message #" +
                           std::to_string(move.message + 1) + "), but the POS was told " +
                           (result != nullptr ? result->childText("ResponseCode") : "nothing") +
                           ", it was not reversed and REVERSAL_DATA does not hold it");
    }
}

// A result told approved has the money of that amount and currency at the
// gateway, taken by its own transaction and not given back.
void checkApprovedHasMoney(const Books& books, const TransactionSpan& span,
                           std::vector<std::string>& failures) {
    const XmlElement* result = firstResult(books, span);
    if (result == nullptr || result->childText("ResponseCode") != "00") {
        return;
    }
    const bool refund = result->childText("TxnType") == "R";
    const MoneyMove::Kind wanted = refund ? MoneyMove::Kind::refund : MoneyMove::Kind::capture;
    const std::int64_t amount = ledger::wholeNumber(result->childText("AmtPurchase"));
    const std::string currency = result->childText("CurrencyCode");
    std::string found;
    for (std::size_t m = 0; m < books.record.money.size(); ++m) {
        const MoneyMove& move = books.record.money[m];
        if (move.kind != wanted || move.message < span.gatewayFrom ||
            move.message >= span.gatewayTo) {
            continue;
        }
        if (move.amount != amount || move.currency != currency) {
            found = "the gateway " + std::string(moveName(move.kind)) + " " +
                    money(move.amount, move.currency);
        } else if (undoneLater(books, m)) {
            found = "the gateway reversed order " + move.orderid + " afterwards";
        } else {
            return;
        }
    }
    failures.push_back("ledger: " + span.name() + ": money: the POS was told " +
                       (refund ? "refund" : "purchase") + " approved (00) for " +
                       money(amount, currency) + ", but " +
                       (found.empty() ? "the gateway holds no such money for it" : found));
}

// The variables the module wrote during the run: a record the host was
// given to start with is the scenario's, not the module's.
std::map<std::string, std::string>
writtenByModule(const RunRecord& record, const std::map<std::string, std::string>& store) {
    std::map<std::string, std::string> written;
    for (const RequestRecord& request : record.requests) {
        const std::string name = ledger::variableSet(request);
        const auto found = store.find(name);
        if (!name.empty() && found != store.end()) {
            written.insert(*found);
        }
    }
    return written;
}

} // namespace

void checkStoredRecords(const std::map<std::string, std::string>& variables,
                        const std::string& when, std::vector<std::string>& failures) {
    const std::string prefix = "ledger: nothing lost: ";
    const auto reversal = variables.find("REVERSAL_DATA");
    if (reversal != variables.end() && !reversal->second.empty()) {
        const nlohmann::json record = parseGatewayText(reversal->second);
        const bool typed = record.is_object() && record.contains("type") &&
                           record["type"].is_string() &&
                           !record["type"].get<std::string>().empty() &&
                           record["type"].get<std::string>().back() == '-';
        if (!typed || !record.contains("stan")) {
            failures.push_back(prefix + "REVERSAL_DATA " + when +
                               " is not a reversal record: " + reversal->second);
        }
    }
    const auto last = variables.find("LAST_TXN");
    if (last != variables.end() && !last->second.empty()) {
        const XmlParseResult parsed = parseXml(last->second);
        if (!parsed.ok || parsed.root.name != "TransactionEvent" ||
            !parsed.root.has("ResponseCode")) {
            failures.push_back(prefix + "LAST_TXN " + when + " is not a TransactionEvent");
        }
    }
    for (const char* name : {"LAST_RECEIPT", "RECEIPT_DUPLICATE"}) {
        const auto receipt = variables.find(name);
        if (receipt != variables.end() && !receipt->second.empty() &&
            receipt->second.find("\r\n") == std::string::npos) {
            failures.push_back(prefix + name + " " + when + " is not a receipt text");
        }
    }
}

std::vector<std::string> checkLedger(const RunRecord& record,
                                     const std::map<std::string, std::string>& store,
                                     const RunObservations& seen) {
    const std::vector<TransactionSpan> spans = transactionsOf(record, seen);
    const Books books{record, seen, spans};
    std::vector<std::string> failures;
    checkMovesReported(books, store, failures);
    for (const TransactionSpan& span : spans) {
        checkApprovedHasMoney(books, span, failures);
        ledger::checkOneStory(books, span, failures);
    }
    ledger::checkBrackets(books, failures);
    ledger::checkNothingLost(books, failures);
    checkStoredRecords(writtenByModule(record, store), "at the end", failures);
    for (std::size_t r = 0; r < seen.storeAtRestart.size(); ++r) {
        checkStoredRecords(writtenByModule(record, seen.storeAtRestart[r]),
                           "at restart #" + std::to_string(r + 1), failures);
    }
    return failures;
}

} // namespace sim
