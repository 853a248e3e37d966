#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/gateway/gateway_fixture.h"

namespace {

using NumberingTest = GatewayFixture;

struct CounterCase {
    std::optional<std::string> stored; // nothing: the variable does not exist
    std::int32_t expected;
};

TEST_F(NumberingTest, StanCountsUpAndWrapsToZero) {
    const CounterCase cases[] = {{std::nullopt, 1},  {"0", 1},      {"41", 42},
                                 {"999998", 999999}, {"999999", 0}, {"not a number", 1},
                                 {" 7", 8}};
    for (const CounterCase& row : cases) {
        SCOPED_TRACE(row.stored.value_or("(none)"));
        store.variables.erase("STAN");
        if (row.stored) {
            store.variables["STAN"] = *row.stored;
        }
        EXPECT_EQ(klarna.nextStan(), row.expected);
        EXPECT_EQ(store.variables["STAN"], std::to_string(row.expected));
    }
}

struct TxnCase {
    std::string stored;
    std::int32_t width;
    std::string prefix;
    std::string storedAfter;
    std::string expected;
};

TEST_F(NumberingTest, TransactionNumberIsPaddedBehindThePrefix) {
    const TxnCase cases[] = {
        {"41", 12, "KLA70", "42", "KLA700000042"},
        {"99999999", 12, "KLA70", "1", "KLA700000001"},
        {"abc", 12, "KLA70", "1", "KLA700000001"},
        {"12345677", 12, "KLA70", "12345678", "KLA702345678"},
        {"41", 20, "X", "42", "X0000000042"}, // room for more than the padded text
        {"41", 3, "KLA70", "42", "KLA70"},    // no room for digits at all
    };
    for (const TxnCase& row : cases) {
        SCOPED_TRACE(row.stored + " " + std::to_string(row.width));
        store.variables["TXN_NO"] = row.stored;
        EXPECT_EQ(klarna.nextTxnNo(row.width, row.prefix), row.expected);
        EXPECT_EQ(store.variables["TXN_NO"], row.storedAfter);
    }
}

TEST_F(NumberingTest, UniqueRefIsClockTicksFilledWithRandomDigits) {
    randoms = {123, 456, 789};
    // 18 digits of 100 ns ticks, sub-second digits included, then random
    // numbers up to 24 characters.
    EXPECT_EQ(klarna.makeUniqueRef(), "133457472001234567123456");
    EXPECT_EQ(seeds.size(), 1u);
    systemTicks += 1; // 100 ns later
    randoms = {5, 5, 5, 5, 5, 5, 5};
    EXPECT_EQ(klarna.makeUniqueRef(), "133457472001234568555555");
    EXPECT_EQ(seeds.size(), 1u); // seeded once
}

TEST_F(NumberingTest, UuidComesFromThePlatform) {
    EXPECT_EQ(klarna.makeUuid(), uuid);
}

} // namespace
