// Brackets (sessions and host transactions pair up, nothing of a transaction
// after its result) and nothing lost (the last records are emptied only by a
// transaction that goes on to replace them).
#include <algorithm>

#include "sim/checks/ledger_parts.h"

namespace sim {
namespace ledger {

namespace {

// Deliveries that are requests of their own, not answers to something a
// transaction asked for: what the module does for them is not the work of
// an ended transaction.
bool isOwnRequest(const std::string& delivery) {
    static const char* const names[] = {
        "PosDirectEntryPoint",  "EntryPointEvent", "DoReprintReceipt", "DoGetLastReceipt",
        "DoGetLastTransaction", "RefreshSettings", "TimerTrigger",     "PinpadNotify"};
    return std::find(std::begin(names), std::end(names), delivery) != std::end(names);
}

// What a transaction does for the customer, the POS or the gateway. A
// reversal (MsgType 400) protects money whenever it goes.
bool isTransactionWork(const RequestRecord& request) {
    static const char* const names[] = {
        "StartSession",    "DllStartTransaction",     "PrintReceipt", "GetMultiLineFromPinpad",
        "DisplayOnPinpad", "GetButtonMenuFromPinpad", "DisplayOnPos", "WaitForKeyPress"};
    if (request.name == "SendHostMessage") {
        return request.element.childText("MsgType") != "400";
    }
    return std::find(std::begin(names), std::end(names), request.name) != std::end(names);
}

bool isLastRecord(const std::string& variable) {
    return variable == "LAST_TXN" || variable == "LAST_RECEIPT";
}

// The request index of the first result of the span, or requestTo.
std::size_t resultAt(const TransactionSpan& span) {
    return span.results.empty() ? span.requestTo : span.results.front();
}

bool restartAt(const Books& books, std::size_t request) {
    const std::vector<std::size_t>& at = books.seen.restartsAtRequest;
    return std::find(at.begin(), at.end(), request) != at.end();
}

struct Open {
    bool open = false;
    std::size_t request = 0;
};

std::string opened(const Books& books, const char* what, const Open& open) {
    return std::string(what) + " at " + formatMillis(books.record.requests[open.request].at);
}

// Whether the run went on long enough after request r for an open bracket
// to have to close: the transaction holding it finished.
bool mustHaveClosed(const Books& books, std::size_t request) {
    const TransactionSpan* span = ownerOf(books, request);
    if (span != nullptr) {
        return span->finished;
    }
    return !books.spans.empty() || (books.seen.endedNaturally && !books.seen.awaitingPerson);
}

void closeAtEnd(const Books& books, const char* what, const char* closer, const Open& open,
                std::vector<std::string>& failures) {
    if (open.open && mustHaveClosed(books, open.request)) {
        failures.push_back("ledger: " + ownerName(books, open.request) +
                           ": brackets: " + opened(books, what, open) + " has no " + closer);
    }
}

} // namespace

void checkBrackets(const Books& books, std::vector<std::string>& failures) {
    Open session;
    Open host;
    const std::vector<RequestRecord>& requests = books.record.requests;
    for (std::size_t r = 0; r < requests.size(); ++r) {
        if (restartAt(books, r)) {
            session = Open{};
            host = Open{};
        }
        const RequestRecord& request = requests[r];
        const TransactionSpan* span = ownerOf(books, r);
        const ObservedDelivery* cause = causeOf(books, r);
        if (isTransactionWork(request) && cause != nullptr && !isOwnRequest(cause->name) &&
            (span == nullptr || r > resultAt(*span))) {
            failures.push_back("ledger: " + ownerName(books, r) + ": brackets: " + request.name +
                               " at " + formatMillis(request.at) + " (taking " + cause->name +
                               ") " +
                               (span == nullptr ? "belongs to no transaction"
                                                : "comes after the transaction's result"));
        }
        if (askedAgain(books.record, r)) {
            // The host took nothing: the module sends the same request again.
            // The last -181 of a request the module gave up is a refusal
            // like any other.
        } else if (request.name == "StartSession") {
            if (session.open) {
                failures.push_back("ledger: " + ownerName(books, r) +
                                   ": brackets: StartSession at " + formatMillis(request.at) +
                                   " while the " + opened(books, "session begun", session) +
                                   " is open");
            }
            session = Open{true, r};
        } else if (request.name == "EndSession") {
            session = Open{};
        } else if (request.name == "DllStartTransaction") {
            if (host.open) {
                failures.push_back("ledger: " + ownerName(books, r) +
                                   ": brackets: DllStartTransaction at " +
                                   formatMillis(request.at) + " while the " +
                                   opened(books, "one", host) + " has no DllEndTransaction");
            }
            host = Open{true, r};
        } else if (request.name == "DllEndTransaction") {
            if (session.open && ownerOf(books, session.request) == span) {
                failures.push_back("ledger: " + ownerName(books, r) + ": brackets: the result at " +
                                   formatMillis(request.at) + " leaves the " +
                                   opened(books, "session begun", session) + " open");
                session = Open{};
            }
            host = Open{};
        }
        const bool spanEnds = span != nullptr && r + 1 == span->requestTo;
        if (spanEnds || r + 1 == requests.size() || restartAt(books, r + 1)) {
            closeAtEnd(books, "StartSession", "EndSession", session, failures);
            closeAtEnd(books, "DllStartTransaction", "DllEndTransaction", host, failures);
            session = Open{};
            host = Open{};
        }
    }
}

// A card number the module was given, kept whole in the journal (a record
// passed on and kept) or in a trace.
void checkCardNumbers(const Books& books, std::vector<std::string>& failures) {
    std::vector<std::string> cards;
    for (const GatewayMessage& message : books.record.gateway) {
        if (message.json.is_object() && message.json.contains("pan") &&
            message.json["pan"].is_string() && message.json["pan"].get<std::string>().size() >= 8) {
            cards.push_back(message.json["pan"].get<std::string>());
        }
    }
    const std::vector<RequestRecord>& requests = books.record.requests;
    for (std::size_t r = 0; r < requests.size() && !cards.empty(); ++r) {
        const std::string kept =
            requests[r].name == "AddJournal"
                ? requests[r].element.childText("jnl_entry")
                : (requests[r].name == "Trace" ? requests[r].element.childText("TraceData")
                                               : std::string());
        for (const std::string& card : cards) {
            if (kept.find(card) != std::string::npos) {
                failures.push_back("ledger: " + ownerName(books, r) + ": nothing lost: the " +
                                   requests[r].name + " at " + formatMillis(requests[r].at) +
                                   " keeps the card number whole");
            }
        }
    }
}

void checkNothingLost(const Books& books, std::vector<std::string>& failures) {
    checkCardNumbers(books, failures);
    const std::vector<RequestRecord>& requests = books.record.requests;
    for (std::size_t r = 0; r < requests.size(); ++r) {
        const std::string variable = variableSet(requests[r]);
        if (!isLastRecord(variable) || !requests[r].element.childText("Value").empty()) {
            continue;
        }
        const TransactionSpan* span = ownerOf(books, r);
        const std::string emptied = variable + " emptied at " + formatMillis(requests[r].at);
        if (span == nullptr || r > resultAt(*span)) {
            const ObservedDelivery* cause = causeOf(books, r);
            failures.push_back(
                "ledger: " + ownerName(books, r) + ": nothing lost: " + emptied +
                (cause != nullptr ? " (taking " + cause->name + ")" : "") +
                (span == nullptr ? " outside any transaction" : " after the transaction's result"));
            continue;
        }
        if (!span->results.empty() || !span->finished) {
            continue;
        }
        bool replaced = false;
        for (std::size_t later = r + 1; later < span->requestTo; ++later) {
            replaced = replaced || (variableSet(requests[later]) == variable &&
                                    !requests[later].element.childText("Value").empty());
        }
        if (!replaced) {
            failures.push_back("ledger: " + span->name() + ": nothing lost: " + emptied +
                               ", and the transaction wrote no new one and gave no result");
        }
    }
}

} // namespace ledger
} // namespace sim
