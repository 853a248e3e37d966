#include "platform/platform.h"
#include "platform/system_services.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

class PlatformSeams : public ::testing::Test {
  protected:
    void TearDown() override { platform::setSeams({}); }
};

TEST_F(PlatformSeams, SetSeamsReplaceEverySystemService) {
    std::vector<std::string> captured;
    unsigned seeded = 0;
    platform::Seams seams;
    seams.debugSink = [&](const std::string& text) { captured.push_back(text); };
    seams.tickCount = [] { return 0u; };
    seams.monotonicNanos = [] { return 42ULL; };
    seams.newUuid = [] { return std::string("fixed-uuid"); };
    seams.seedRandom = [&](unsigned seed) { seeded = seed; };
    seams.randomNumber = [] { return 7; };
    seams.epochSeconds = [] { return std::int64_t{1000}; };
    seams.systemTimeTicks = [] { return std::uint64_t{133457472001234567}; };
    seams.wallClock = [] {
        platform::WallClock clock;
        clock.local.year = 2030;
        clock.utcOffsetMinutes = -300;
        return clock;
    };
    platform::setSeams(seams);

    platform::debugOutput("hello\n");
    platform::seedRandom(99);
    EXPECT_EQ(captured, std::vector<std::string>{"hello\n"});
    EXPECT_EQ(seeded, 99u);
    EXPECT_EQ(platform::tickCount(), 0u);
    EXPECT_EQ(platform::monotonicNanos(), 42ULL);
    EXPECT_EQ(platform::newUuid(), "fixed-uuid");
    EXPECT_EQ(platform::randomNumber(), 7);
    EXPECT_EQ(platform::epochSeconds(), 1000);
    EXPECT_EQ(platform::systemTimeTicks(), 133457472001234567u);
    EXPECT_EQ(platform::wallClock().local.year, 2030);
    EXPECT_EQ(platform::wallClock().utcOffsetMinutes, -300);
}

TEST_F(PlatformSeams, RealServicesGiveWellFormedValues) {
    const std::string uuid = platform::newUuid();
    ASSERT_EQ(uuid.size(), 36u);
    for (std::size_t i = 0; i < uuid.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            EXPECT_EQ(uuid[i], '-') << uuid;
        } else {
            EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(uuid[i]))) << uuid;
        }
    }
    EXPECT_NE(platform::newUuid(), uuid);

    // The system clock in 100 ns ticks since 1601 tells the same time as
    // the seconds since 1970.
    const std::uint64_t ticksPerSecond = 10000000;
    const std::uint64_t epochIn1601Seconds = 11644473600;
    const auto ticks = static_cast<std::int64_t>(platform::systemTimeTicks() / ticksPerSecond -
                                                 epochIn1601Seconds);
    EXPECT_LE(std::abs(ticks - platform::epochSeconds()), 2);

    const std::uint64_t first = platform::monotonicNanos();
    EXPECT_GE(platform::monotonicNanos(), first);

    const platform::WallClock clock = platform::wallClock();
    EXPECT_GE(clock.utc.year, 2020);
    EXPECT_GE(clock.utc.month, 1);
    EXPECT_LE(clock.utc.month, 12);
    EXPECT_LE(clock.utcOffsetMinutes, 14 * 60);
    EXPECT_GE(clock.utcOffsetMinutes, -12 * 60);
}

TEST_F(PlatformSeams, SameSeedGivesSameRandomSequence) {
    platform::seedRandom(1234);
    const int a = platform::randomNumber();
    const int b = platform::randomNumber();
    platform::seedRandom(1234);
    EXPECT_EQ(platform::randomNumber(), a);
    EXPECT_EQ(platform::randomNumber(), b);
}

TEST(CalendarOffset, CountsMinutesAcrossDayMonthAndYearBoundaries) {
    using platform::system::fromBrokenDown;
    using platform::system::minutesBetween;
    // UTC+1 shortly after midnight on New Year: local is already next year.
    EXPECT_EQ(minutesBetween(fromBrokenDown(2027, 1, 1, 0, 30, 0),
                             fromBrokenDown(2026, 12, 31, 23, 30, 0)),
              60);
    // UTC-5:30 across the end of February in a leap year.
    EXPECT_EQ(
        minutesBetween(fromBrokenDown(2028, 2, 29, 20, 0, 0), fromBrokenDown(2028, 3, 1, 1, 30, 0)),
        -330);
    EXPECT_EQ(
        minutesBetween(fromBrokenDown(2026, 6, 1, 12, 0, 0), fromBrokenDown(2026, 6, 1, 12, 0, 0)),
        0);
}

} // namespace
