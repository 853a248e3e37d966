// The records the extension keeps in host variables across transactions,
// restarts and reprints. Each value is a byte string; an empty value means
// there is no record.
#pragma once

#include <string>

struct GatewayRequest;
class HostBridge;

// Names of the host variables holding the records.
namespace recordName {
constexpr const char* token = "TOKEN";
constexpr const char* activationStatus = "ACTIVATION_STATUS";
constexpr const char* lastTransaction = "LAST_TXN";
constexpr const char* lastReceipt = "LAST_RECEIPT";
constexpr const char* receiptDuplicate = "RECEIPT_DUPLICATE";
constexpr const char* reversalData = "REVERSAL_DATA";
constexpr const char* stan = "STAN";
constexpr const char* transactionNumber = "TXN_NO";
} // namespace recordName

// The access token from the last successful logon; empty when none.
std::string readToken(HostBridge& bridge);
void storeActivationStatus(HostBridge& bridge, const std::string& status);
// XML text of the last TransactionEvent; "" empties the record.
void storeLastTransaction(HostBridge& bridge, const std::string& text);
// Customer copy of the last receipt; "" empties the record.
void storeLastReceipt(HostBridge& bridge, const std::string& text);
void storeDuplicateReceipt(HostBridge& bridge, const std::string& text);

enum class ReversalRecord { notNeeded, stored, refused };
// Stores a request about to be sent as the pending reversal when it is of a
// kind that could take money ("N", "D" or "P"): its JSON with `type` marked
// by a trailing "-" and the counters `repeat` and `reply` set to 0. Writes
// nothing for every other kind (notNeeded); refused when the host did not
// write it.
ReversalRecord storeReversal(HostBridge& bridge, const GatewayRequest& request);
// A type storeReversal writes: "N-", "D-" or "P-".
bool isReversalType(const std::string& type);
// Empties the pending reversal; false when the host did not.
bool clearReversal(HostBridge& bridge);
