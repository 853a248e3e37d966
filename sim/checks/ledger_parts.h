// The pieces the ledger's rules share: which requests belong to which
// transaction, and the records read out of a request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/checks/invariants.h"
#include "sim/host/run_record.h"

namespace sim {
namespace ledger {

struct Books {
    const RunRecord& record;
    const RunObservations& seen;
    const std::vector<TransactionSpan>& spans;
};

// The TransactionEvent a DllEndTransaction request hands over, or null.
const XmlElement* transactionEventOf(const RequestRecord& request);
// "TRANSACTION #n (...)" of the span holding request r, or "outside any
// transaction".
std::string ownerName(const Books& books, std::size_t request);
// The transaction whose requests include r, or null.
const TransactionSpan* ownerOf(const Books& books, std::size_t request);
// The delivery during which request r was made, or null (a request of
// Startup, or none).
const ObservedDelivery* causeOf(const Books& books, std::size_t request);
// The whole number at the start of text (0 when none).
std::int64_t wholeNumber(const std::string& text);
// "LAST_TXN" for a SetVariable of it, else "".
std::string variableSet(const RequestRecord& request);

// The rules; each appends one line per broken rule.
void checkOneStory(const Books& books, const TransactionSpan& span,
                   std::vector<std::string>& failures);
void checkBrackets(const Books& books, std::vector<std::string>& failures);
void checkNothingLost(const Books& books, std::vector<std::string>& failures);

} // namespace ledger
} // namespace sim
