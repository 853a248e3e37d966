#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/gateway/gateway_fixture.h"

namespace {

using DisplayTextTest = GatewayFixture;

TEST_F(DisplayTextTest, HeadingIsTheSettingOrKlarna) {
    EXPECT_EQ(klarna.displayHeading(), "KLARNA");
    klarna.settings.qrCodeHeading = "MY SHOP";
    EXPECT_EQ(klarna.displayHeading(), "MY SHOP");
}

struct SubtitleCase {
    std::optional<std::string> txnType;
    std::optional<std::int32_t> requestAmount;
    std::optional<std::int32_t> replyAmount;
    std::string expected;
};

TEST_F(DisplayTextTest, SubtitleIsTypeLeftAndAmountRight) {
    const SubtitleCase cases[] = {
        {"P", 1250, std::nullopt, "PURCHASE      $12.50"},
        {"p", 5, std::nullopt, "PURCHASE       $0.05"},
        {"R", 100, std::nullopt, "REFUND         $1.00"},
        {"R", 0, std::nullopt, "REFUND         $0.00"},
        {"P", 1250, 99, "PURCHASE       $0.99"},                   // the reply's amount wins
        {"P", std::nullopt, std::nullopt, "PURCHASE            "}, // padded all the same
        {std::nullopt, 123456789, std::nullopt, "TXN      $1234567.89"},
        {"Balance", 20, std::nullopt, "BALANCE        $0.20"},
        {"A VERY LONG TYPE TEXT", 20, std::nullopt, "A VERY LONG TYPE TEXT$0.20"},
    };
    for (const SubtitleCase& row : cases) {
        SCOPED_TRACE(row.expected);
        xmlNode request;
        request.name = "DoTransaction";
        if (row.txnType) {
            request.getChild("TxnType").setText(*row.txnType);
        }
        klarna.foreground.inProgress = false;
        ASSERT_TRUE(klarna.foreground.beginTransaction(request));
        klarna.foreground.request.amt = row.requestAmount;
        klarna.foreground.reply.amt = row.replyAmount;
        EXPECT_EQ(klarna.displaySubtitle(), row.expected);
    }
}

TEST_F(DisplayTextTest, SubtitleSettingIsUsedUnchanged) {
    klarna.settings.qrCodeSubtitle = " Scan to pay ";
    klarna.foreground.request.amt = 1250;
    EXPECT_EQ(klarna.displaySubtitle(), " Scan to pay ");
}

} // namespace
