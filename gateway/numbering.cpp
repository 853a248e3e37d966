#include <cstdint>
#include <string>

#include "config/persisted_records.h"
#include "documents/gateway_message.h"
#include "host/host_methods.h"
#include "host/quen_klarna.h"
#include "platform/platform.h"

namespace {

constexpr std::int64_t stanLimit = 1000000;          // STAN runs 0..999999
constexpr std::int64_t transactionLimit = 100000000; // TXN_NO runs 1..99999999
constexpr std::size_t uniqueRefLength = 24;

// The stored counter plus one, or 1 when the stored text is not a number.
std::int64_t incremented(const std::string& stored) {
    std::int32_t value = 0;
    if (!readLeadingInteger(stored, value)) {
        return 1;
    }
    return static_cast<std::int64_t>(value) + 1;
}

} // namespace

std::int32_t QuenKlarna::nextStan() {
    std::int64_t stan = incremented(getVariable(bridge, recordName::stan, "0"));
    if (stan >= stanLimit) {
        stan = 0;
    }
    setVariable(bridge, recordName::stan, std::to_string(stan));
    return static_cast<std::int32_t>(stan);
}

std::string QuenKlarna::nextTxnNo(std::int32_t width, const std::string& prefix) {
    std::int64_t number = incremented(getVariable(bridge, recordName::transactionNumber, "0"));
    if (number >= transactionLimit) {
        number = 1;
    }
    const std::string decimal = std::to_string(number);
    setVariable(bridge, recordName::transactionNumber, decimal);
    const std::string padded = "00000000" + decimal;
    const std::int64_t room =
        static_cast<std::int64_t>(width) - static_cast<std::int64_t>(prefix.size());
    const std::size_t keep = room > 0 ? static_cast<std::size_t>(room) : 0;
    if (padded.size() <= keep) {
        return prefix + padded;
    }
    return prefix + padded.substr(padded.size() - keep);
}

std::string QuenKlarna::makeUniqueRef() {
    seedRandomOnce();
    // The clock's own 100 ns ticks, so that two references made within one
    // second differ in their clock part too.
    std::string reference = std::to_string(platform::systemTimeTicks());
    while (reference.size() < uniqueRefLength) {
        reference += std::to_string(platform::randomNumber());
    }
    return reference.substr(0, uniqueRefLength);
}

std::string QuenKlarna::makeUuid() {
    return platform::newUuid();
}

void QuenKlarna::seedRandomOnce() {
    if (randomSeeded) {
        return;
    }
    randomSeeded = true;
    const std::int64_t seconds = platform::epochSeconds();
    const std::uint32_t tick = platform::tickCount();
    // The tick count wraps to 0 every 49.7 days; the time alone seeds then.
    const std::int64_t seed = tick == 0 ? seconds : seconds % static_cast<std::int64_t>(tick);
    platform::seedRandom(static_cast<unsigned>(seed));
}
