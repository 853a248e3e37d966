#include "sim/soak/soak_mix.h"

namespace sim {

namespace {

struct Share {
    SoakKind kind;
    std::uint32_t weight;
};

// Out of 100.
constexpr Share shares[] = {
    {SoakKind::qrPurchase, 34},   {SoakKind::smsPurchase, 14}, {SoakKind::customerCancel, 10},
    {SoakKind::declined, 10},     {SoakKind::refund, 12},      {SoakKind::faultReversal, 8},
    {SoakKind::receiptQuery, 12},
};

std::uint32_t nextRandom(std::uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

SoakKind pick(std::uint32_t value) {
    std::uint32_t slot = value % 100u;
    for (const Share& share : shares) {
        if (slot < share.weight) {
            return share.kind;
        }
        slot -= share.weight;
    }
    return SoakKind::qrPurchase;
}

} // namespace

const char* soakKindName(SoakKind kind) {
    switch (kind) {
    case SoakKind::qrPurchase:
        return "QR purchase";
    case SoakKind::smsPurchase:
        return "SMS purchase";
    case SoakKind::customerCancel:
        return "customer cancel";
    case SoakKind::declined:
        return "declined purchase";
    case SoakKind::refund:
        return "refund";
    case SoakKind::faultReversal:
        return "gateway fault leaving a reversal";
    case SoakKind::receiptQuery:
        return "receipt query";
    }
    return "?";
}

std::string expectedResponse(SoakKind kind) {
    switch (kind) {
    case SoakKind::qrPurchase:
    case SoakKind::smsPurchase:
    case SoakKind::refund:
        return "00";
    case SoakKind::customerCancel:
        return "TM";
    case SoakKind::declined:
        return "05";
    case SoakKind::faultReversal:
        return "X0";
    case SoakKind::receiptQuery:
        return "";
    }
    return "";
}

std::vector<SoakKind> soakMix(int count, std::uint32_t seed) {
    std::vector<SoakKind> kinds;
    std::uint32_t state = seed;
    for (int i = 0; i < count; ++i) {
        kinds.push_back(i == 0 ? SoakKind::qrPurchase : pick(nextRandom(state)));
    }
    return kinds;
}

} // namespace sim
