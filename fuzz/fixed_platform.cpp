#include "fuzz/fixed_platform.h"

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace fuzzPlatform {

namespace {
std::uint32_t ticks = 0;
std::uint64_t nanos = 0;
} // namespace

void install() {
    ticks = 1000;
    nanos = 5000000000ULL;
    platform::Seams seams;
    seams.debugSink = [](const std::string&) {};
    seams.tickCount = [] { return ticks += 10; };
    seams.monotonicNanos = [] { return nanos += 10000000ULL; };
    seams.wallClock = [] {
        platform::WallClock clock;
        clock.local = {2026, 12, 8, 11, 53, 19};
        clock.utc = {2026, 12, 8, 0, 53, 19};
        clock.utcOffsetMinutes = 660;
        return clock;
    };
    seams.newUuid = [] { return std::string("8bcf1630-5386-420b-a670-766b640b0a48"); };
    seams.seedRandom = [](unsigned) {};
    seams.randomNumber = [] { return 7; };
    seams.epochSeconds = [] { return std::int64_t{1796644399}; };
    seams.systemTimeTicks = [] { return std::uint64_t{134101179991234567}; };
    platform::setSeams(seams);
}

} // namespace fuzzPlatform
