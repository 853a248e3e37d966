// The transactions of a soak: which kinds, in what order, and what each one
// must end with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

enum class SoakKind {
    qrPurchase,     // QR code shown, the customer pays
    smsPurchase,    // SMS link (PMD tag), phone entered, the customer pays
    customerCancel, // cancelled on the QR screen
    declined,       // the gateway declines the purchase message
    refund,         // refund of an earlier order by its RFN tag
    faultReversal,  // the purchase message fails at the host: a reversal is left
    receiptQuery,   // last transaction, last receipt or reprint
};

constexpr int soakKindCount = 7;

const char* soakKindName(SoakKind kind);

// The response code a transaction of that kind ends with ("" for queries,
// whose answer depends on the transaction before).
std::string expectedResponse(SoakKind kind);

// A fixed, mixed order of kinds for count transactions: the same seed gives
// the same order. The first transaction is always a QR purchase, so that the
// queries have something to answer from.
std::vector<SoakKind> soakMix(int count, std::uint32_t seed);

} // namespace sim
