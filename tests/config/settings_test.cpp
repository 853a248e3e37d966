#include "config/settings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/config/host_variable_store.h"

namespace {

using Call = HostVariableStore::Call;

class SettingsTest : public ::testing::Test {
  protected:
    Settings loaded() {
        Settings settings;
        settings.load(store.bridge);
        return settings;
    }

    HostVariableStore store;
};

// --- Order and shape of the reads ------------------------------------------

TEST_F(SettingsTest, LoadReadsEveryKeyInOrderWithItsDefault) {
    store.variables = {{"MERCHANT_ID", "M"}, {"STORE_ID", "S"}, {"LANE_ID", "L"}, {"BRAND", "B"}};
    loaded();
    const std::vector<Call> expected = {
        {"GetVariable", "TERMINAL_REF_NUM", ""},
        {"GetVariable", "MERCHANT_ID", ""},
        {"GetVariable", "STORE_ID", ""},
        {"GetVariable", "LANE_ID", ""},
        {"GetVariable", "BRAND", ""},
        {"GetVariable", "MIN_CARD_LENGTH", ""},
        {"GetVariable", "MAX_CARD_LENGTH", ""},
        {"GetVariable", "TIMEOUT_RESPONSE", ""},
        {"GetVariable", "REVERSAL_ON_SALE", ""},
        {"GetVariable", "REVERSAL_TIMER", ""},
        {"GetVariable", "INPUT_TIMEOUT", ""},
        {"GetVariable", "HOST_ID", "KLARNA00"},
        {"GetVariable", "PAYMENT_MODE", ""},
        {"GetVariable", "QR_CODE_ERROR_CORRECTION", "0"},
        {"GetVariable", "QR_CODE_HEADING", ""},
        {"GetVariable", "QR_CODE_SUBTITLE", ""},
        {"GetVariable", "RETRY_LIMIT", ""},
    };
    EXPECT_EQ(store.calls(), expected);
}

TEST_F(SettingsTest, EmptyIdentifiersAskTheLaneInformationAtOnce) {
    store.variables = {{"STORE_ID", "S"}};
    loaded();
    const std::vector<Call> calls = store.calls();
    ASSERT_GE(calls.size(), 8u);
    const std::vector<Call> head(calls.begin(), calls.begin() + 8);
    const std::vector<Call> expected = {
        {"GetVariable", "TERMINAL_REF_NUM", ""},
        {"GetVariable", "MERCHANT_ID", ""},
        {"GetLaneInfoVariable", "MerchantId", ""},
        {"GetVariable", "STORE_ID", ""},
        {"GetVariable", "LANE_ID", ""},
        {"GetLaneInfoVariable", "LaneId", ""},
        {"GetVariable", "BRAND", ""},
        {"GetLaneInfoVariable", "Brand", ""},
    };
    EXPECT_EQ(head, expected);
    EXPECT_EQ(calls.size(), 20u);
}

// --- Lane fall-backs --------------------------------------------------------

TEST_F(SettingsTest, LaneInformationFillsOnlyEmptyIdentifiers) {
    store.variables = {{"MERCHANT_ID", ""}, {"STORE_ID", " "}, {"BRAND", "Own"}};
    store.laneInfo = {
        {"MerchantId", "777"}, {"StoreId", "lane-store"}, {"LaneId", ""}, {"Brand", "LaneBrand"}};
    const Settings settings = loaded();
    EXPECT_EQ(settings.merchantId, "777");
    EXPECT_EQ(settings.storeId, " "); // not empty, so the host's own value stands
    EXPECT_EQ(settings.laneId, "");
    EXPECT_EQ(settings.brand, "Own");
    EXPECT_EQ(settings.terminalReference(), "");
}

// --- Conversions ------------------------------------------------------------

struct ConversionCase {
    const char* key;
    const char* text;
    std::int32_t expected;
};

std::int32_t integerField(const Settings& settings, const std::string& key) {
    if (key == "MIN_CARD_LENGTH") {
        return settings.minCardLength;
    }
    if (key == "MAX_CARD_LENGTH") {
        return settings.maxCardLength;
    }
    if (key == "TIMEOUT_RESPONSE") {
        return settings.timeoutResponse;
    }
    if (key == "REVERSAL_TIMER") {
        return settings.reversalTimer;
    }
    if (key == "INPUT_TIMEOUT") {
        return settings.inputTimeout;
    }
    if (key == "RETRY_LIMIT") {
        return settings.retryLimit;
    }
    ADD_FAILURE() << "no integer setting " << key;
    return 0;
}

TEST_F(SettingsTest, IntegerSettingsFollowTheirConversionRule) {
    const ConversionCase cases[] = {
        // Whole text: white space and sign before the digits only.
        {"RETRY_LIMIT", " 45", 45},
        {"RETRY_LIMIT", "\t\n\r\f\v3", 3},
        {"RETRY_LIMIT", "3 ", 5},
        {"RETRY_LIMIT", "45s", 5},
        {"RETRY_LIMIT", "", 5},
        {"RETRY_LIMIT", "+7", 7},
        {"RETRY_LIMIT", "-2", -2},
        {"RETRY_LIMIT", "-", 5},
        {"RETRY_LIMIT", "+ 7", 5},
        {"RETRY_LIMIT", "0x10", 5},
        {"MIN_CARD_LENGTH", "2147483647", 2147483647},
        {"MIN_CARD_LENGTH", "2147483648", 8},
        {"MIN_CARD_LENGTH", "-2147483648", INT32_MIN},
        {"MIN_CARD_LENGTH", "-2147483649", 8},
        {"MAX_CARD_LENGTH", "99999999999999999999999", 30},
        {"MAX_CARD_LENGTH", "0019", 19},
        {"TIMEOUT_RESPONSE", "45", 45},
        {"TIMEOUT_RESPONSE", "4 5", 30},
        {"REVERSAL_TIMER", "60", 60},
        {"REVERSAL_TIMER", "abc", 120},
        // Leading digits: text after the number is allowed.
        {"INPUT_TIMEOUT", "45s", 45},
        {"INPUT_TIMEOUT", "60 seconds", 60},
        {"INPUT_TIMEOUT", " -5x", -5},
        {"INPUT_TIMEOUT", "", 120},
        {"INPUT_TIMEOUT", "s45", 120},
        {"INPUT_TIMEOUT", "2147483648s", 120},
    };
    for (const ConversionCase& c : cases) {
        store.variables = {{c.key, c.text}};
        EXPECT_EQ(integerField(loaded(), c.key), c.expected) << c.key << " = \"" << c.text << "\"";
    }
}

TEST_F(SettingsTest, ReversalOnSaleIsSetByAnyTextNotStartingWithZero) {
    const struct {
        const char* text;
        bool expected;
    } cases[] = {{"1", true}, {"Y", true},  {"N", true},   {" 0", true},
                 {"", false}, {"0", false}, {"00", false}, {"0Y", false}};
    for (const auto& c : cases) {
        store.variables = {{"REVERSAL_ON_SALE", c.text}};
        EXPECT_EQ(loaded().reversalOnSale, c.expected) << '"' << c.text << '"';
    }
}

TEST_F(SettingsTest, StringsAreStoredUnchanged) {
    store.variables = {{"TERMINAL_REF_NUM", " T1 "},
                       {"MERCHANT_ID", "  M123 "},
                       {"HOST_ID", "HOST9"},
                       {"PAYMENT_MODE", "sms"},
                       {"QR_CODE_HEADING", "Pay"},
                       {"QR_CODE_SUBTITLE", "\tSub\n"},
                       {"QR_CODE_ERROR_CORRECTION", "3"}};
    const Settings settings = loaded();
    EXPECT_EQ(settings.terminalRefNum, " T1 ");
    EXPECT_EQ(settings.merchantId, "  M123 ");
    EXPECT_EQ(settings.hostId, "HOST9");
    EXPECT_EQ(settings.paymentMode, "sms");
    EXPECT_EQ(settings.qrCodeHeading, "Pay");
    EXPECT_EQ(settings.qrCodeSubtitle, "\tSub\n");
    EXPECT_EQ(settings.qrCodeErrorCorrection, "3");
}

TEST_F(SettingsTest, InitialValuesDifferFromLoadDefaultsForTwoTimers) {
    const Settings initial;
    EXPECT_EQ(initial.reversalTimer, 300);
    EXPECT_EQ(initial.inputTimeout, 180);
    EXPECT_EQ(initial.hostId, "KLARNA00");
    EXPECT_EQ(initial.qrCodeErrorCorrection, "0");
    EXPECT_EQ(initial.qrWaitTime, 70);
    EXPECT_EQ(initial.paymentWaitTime, 130);
}

TEST_F(SettingsTest, ReloadFromAnEmptyHostGivesTheLoadDefaults) {
    store.variables = {{"TERMINAL_REF_NUM", "T"},
                       {"MERCHANT_ID", "M"},
                       {"BRAND", "B"},
                       {"MIN_CARD_LENGTH", "1"},
                       {"MAX_CARD_LENGTH", "2"},
                       {"TIMEOUT_RESPONSE", "3"},
                       {"REVERSAL_ON_SALE", "1"},
                       {"REVERSAL_TIMER", "4"},
                       {"INPUT_TIMEOUT", "5"},
                       {"HOST_ID", "H"},
                       {"PAYMENT_MODE", "SMS"},
                       {"QR_CODE_HEADING", "X"},
                       {"QR_CODE_ERROR_CORRECTION", "2"},
                       {"RETRY_LIMIT", "9"}};
    Settings settings;
    settings.load(store.bridge);
    ASSERT_EQ(settings.retryLimit, 9);
    store.variables.clear();
    settings.load(store.bridge);
    EXPECT_EQ(settings.terminalRefNum, "");
    EXPECT_EQ(settings.merchantId, "");
    EXPECT_EQ(settings.brand, "");
    EXPECT_EQ(settings.minCardLength, 8);
    EXPECT_EQ(settings.maxCardLength, 30);
    EXPECT_EQ(settings.timeoutResponse, 30);
    EXPECT_FALSE(settings.reversalOnSale);
    EXPECT_EQ(settings.reversalTimer, 120);
    EXPECT_EQ(settings.inputTimeout, 120);
    EXPECT_EQ(settings.hostId, "KLARNA00");
    EXPECT_EQ(settings.paymentMode, "");
    EXPECT_EQ(settings.qrCodeErrorCorrection, "0");
    EXPECT_EQ(settings.qrCodeHeading, "");
    EXPECT_EQ(settings.retryLimit, 5);
}

// --- Terminal reference -----------------------------------------------------

struct TerminalRefCase {
    const char* terminalRefNum;
    const char* merchant;
    const char* store;
    const char* lane;
    const char* expected;
};

TEST(TerminalReference, IsDerivedFromTheIdentifiers) {
    const TerminalRefCase cases[] = {
        {"", "M123", "S1", "7", "M123_S1_007"},
        {"", "MERCHANT1234", "STORE5", "12", "MERCHASTORE5012"},
        {"", "ABCDEFGHIJ", "1234567", "001", "ABCDEF234567001"},
        {"", " \tM123\r\n", "\fS1\v", " 7 ", "M123_S1_007"},
        {"", "M", "S", "1234", "M_S_234"},
        {"", "M", "S", "", ""},
        {"", "M", "S", "   ", ""},
        {"", "", "S", "1", ""},
        {"", "M", "", "1", ""},
        // Exactly 15 with separators, exactly 15 without.
        {"", "ABCDE", "FGHIJ", "001", "ABCDE_FGHIJ_001"},
        {"", "ABCDEF", "GHIJKL", "001", "ABCDEFGHIJKL001"},
        // A short store keeps more of the merchant.
        {"", "MERCHANTNAME1234", "S1", "007", "MERCHANTNAS1007"},
        // Parts shorter than the count asked for are taken whole.
        {"", "AB", "ABCDEFGHIJKLM", "001", "ABHIJKLM001"},
        // An explicit reference wins, untrimmed and of any length.
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "M", "S", "1", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
        {" R ", "", "", "", " R "},
    };
    for (const TerminalRefCase& c : cases) {
        Settings settings;
        settings.terminalRefNum = c.terminalRefNum;
        settings.merchantId = c.merchant;
        settings.storeId = c.store;
        settings.laneId = c.lane;
        EXPECT_EQ(settings.terminalReference(), c.expected)
            << "merchant \"" << c.merchant << "\" store \"" << c.store << "\" lane \"" << c.lane
            << '"';
    }
}

TEST_F(SettingsTest, ReferenceUsesLaneInformationAndKeepsStoredIdentifiersUntrimmed) {
    store.variables = {{"MERCHANT_ID", " M123 "}, {"STORE_ID", "S1"}};
    store.laneInfo = {{"LaneId", "7"}};
    const Settings settings = loaded();
    EXPECT_EQ(settings.merchantId, " M123 ");
    EXPECT_EQ(settings.laneId, "7");
    EXPECT_EQ(settings.terminalReference(), "M123_S1_007");
}

// --- Receipt width ----------------------------------------------------------

TEST_F(SettingsTest, ReceiptWidthIsReadOnEveryCall) {
    const struct {
        bool present;
        const char* text;
        std::int32_t expected;
    } cases[] = {{true, "32", 32},  {true, "12", 12}, {true, " 40", 40}, {true, "40 ", 24},
                 {true, "abc", 24}, {true, "", 24},   {false, "", 24}};
    for (const auto& c : cases) {
        store.variables.clear();
        if (c.present) {
            store.variables["RECEIPT_WIDTH"] = c.text;
        }
        store.host.clear();
        EXPECT_EQ(Settings::receiptWidth(store.bridge), c.expected) << '"' << c.text << '"';
        EXPECT_EQ(store.calls(), std::vector<Call>({{"GetVariable", "RECEIPT_WIDTH", ""}}));
    }
}

} // namespace
