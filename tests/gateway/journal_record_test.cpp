#include "gateway/journal_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "gateway/gateway_transaction.h"
#include "tests/support/recording_host.h"

namespace {

const JournalNames journalNames{"Klarna", "70", "M1S1L001"};

// An approved purchase started on 7 March 2024 at 09:05:02 local time (the
// UTC time differs, so a record taken from it would show).
GatewayTransaction approvedPurchase() {
    GatewayTransaction transaction;
    transaction.startTime.local = {2024, 3, 7, 9, 5, 2};
    transaction.startTime.utc = {2024, 3, 6, 23, 5, 2};
    transaction.request.type = "P";
    transaction.request.stan = 42;
    transaction.request.ref = "KLA700000042";
    transaction.request.amt = 1250;
    transaction.request.pan = "4111";
    transaction.request.pansrc = "K";
    transaction.response.setResponse("00");
    transaction.elapsedMs = 1234;
    return transaction;
}

// The record cut into its 27 fields; the response code (8), the type (25)
// and the last field take the widths the transaction gives them.
std::vector<std::string> fieldsOf(const std::string& record, std::size_t codeWidth,
                                  std::size_t typeWidth) {
    const std::vector<std::size_t> widths = {3,  1,  1, 2, 6,  6, 6,         codeWidth, 20,
                                             8,  15, 1, 5, 16, 9, 9,         9,         9,
                                             32, 20, 2, 6, 6,  1, typeWidth, 6};
    std::vector<std::string> fields;
    std::size_t position = 0;
    for (const std::size_t width : widths) {
        fields.push_back(record.substr(std::min(position, record.size()), width));
        position += width;
    }
    fields.push_back(record.substr(std::min(position, record.size())));
    return fields;
}

std::vector<std::string> fieldsOf(GatewayTransaction& transaction, JournalKind kind) {
    const std::string record = buildJournalRecord(transaction, kind, journalNames);
    return fieldsOf(record, transaction.response.code.size(),
                    transaction.request.type.value_or("").size());
}

// Field numbers as the layout counts them, from 1.
const std::string& field(const std::vector<std::string>& fields, std::size_t number) {
    return fields.at(number - 1);
}

TEST(JournalRecord, ApprovedPurchaseIsTheFixedLayoutInOrder) {
    GatewayTransaction transaction = approvedPurchase();
    const std::string expected =
        std::string("F00M070") + "42    " + "070324" + "090502" + "00" + "TRANSACTION APPROVED" +
        "00000000" + "M1S1L001       " + "?" + "12300" + "KLA700000042    " + "000001250" +
        "000000000" + "000000000" + "000000000" + "****" + std::string(28, ' ') +
        "Klarna              " + "70" + "000000" + "070324" + "?" + "P" + "000000" + "01K00000";
    EXPECT_EQ(buildJournalRecord(transaction, JournalKind::transaction, journalNames), expected);
}

TEST(JournalRecord, StatusLetterFollowsCodeAndKind) {
    struct Case {
        const char* code;
        JournalKind kind;
        const char* status;
    };
    const std::vector<Case> cases = {
        {"00", JournalKind::transaction, "M"}, {"00", JournalKind::reversal, "R"},
        {"0A", JournalKind::reversal, "X"},    {"0A", JournalKind::transaction, "X"},
        {"X0", JournalKind::transaction, "X"}, {"TX", JournalKind::reversal, "X"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.code);
        GatewayTransaction transaction = approvedPurchase();
        transaction.response.setResponse(row.code);
        EXPECT_EQ(field(fieldsOf(transaction, row.kind), 2), row.status);
    }
}

TEST(JournalRecord, DeclinedTransactionCarriesItsCodeAndPaddedText) {
    GatewayTransaction transaction = approvedPurchase();
    transaction.response.setResponse("X0");
    const auto fields = fieldsOf(transaction, JournalKind::transaction);
    EXPECT_EQ(field(fields, 8), "X0");
    EXPECT_EQ(field(fields, 9), "NO RESPONSE" + std::string(9, ' '));
}

TEST(JournalRecord, ElapsedTimeIsHundredthsFilledWithZerosOnTheRight) {
    struct Case {
        std::int64_t elapsedMs;
        const char* text;
    };
    const std::vector<Case> cases = {
        {1234, "12300"}, {0, "00000"}, {9, "00000"}, {1234567, "12345"}, {99999999, "99999"}};
    for (const Case& row : cases) {
        SCOPED_TRACE(row.elapsedMs);
        GatewayTransaction transaction = approvedPurchase();
        transaction.elapsedMs = row.elapsedMs;
        EXPECT_EQ(field(fieldsOf(transaction, JournalKind::transaction), 13), row.text);
    }
}

TEST(JournalRecord, AmountGoesToThePurchaseOrTheRefundField) {
    struct Case {
        const char* type;
        std::int32_t amount;
        const char* purchase;
        const char* refund;
    };
    const std::vector<Case> cases = {
        {"P", 1250, "000001250", "000000000"},        {"R", 1250, "000000000", "000001250"},
        {"P-", 77, "000000077", "000000000"},         {"P", 1234567890, "1234567890", "000000000"},
        {"R", 2147483647, "000000000", "2147483647"}, {"P", -5, "-00000005", "000000000"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(std::string(row.type) + " " + std::to_string(row.amount));
        GatewayTransaction transaction = approvedPurchase();
        transaction.request.type = row.type;
        transaction.request.amt = row.amount;
        const std::string record =
            buildJournalRecord(transaction, JournalKind::transaction, journalNames);
        // The amounts follow the reference field (offset 92) without a cut.
        const std::size_t purchaseLength = std::string(row.purchase).size();
        const std::size_t refundLength = std::string(row.refund).size();
        EXPECT_EQ(record.substr(92, purchaseLength), row.purchase);
        EXPECT_EQ(record.substr(92 + purchaseLength, 9), "000000000");
        EXPECT_EQ(record.substr(101 + purchaseLength, refundLength), row.refund);
        EXPECT_EQ(record.substr(101 + purchaseLength + refundLength, 9), "000000000");
        EXPECT_EQ(record.substr(110 + purchaseLength + refundLength, 4), "****"); // the card
    }
}

TEST(JournalRecord, AcceptedReversalIsStatusRWithItsAmountAsAPurchase) {
    GatewayTransaction transaction = approvedPurchase();
    transaction.request.type = "P-";
    const auto fields = fieldsOf(transaction, JournalKind::reversal);
    EXPECT_EQ(field(fields, 2), "R");
    EXPECT_EQ(field(fields, 15), "000001250");
    EXPECT_EQ(field(fields, 17), "000000000");
    EXPECT_EQ(field(fields, 25), "P-");
}

TEST(JournalRecord, AbsentFieldsGiveTheirDefaults) {
    GatewayTransaction transaction;
    ASSERT_TRUE(fromJson(R"({"type":"P"})", transaction.request));
    transaction.response.setResponse("00");
    const auto fields = fieldsOf(transaction, JournalKind::transaction);
    EXPECT_EQ(field(fields, 5), "0     ");
    EXPECT_EQ(field(fields, 14), std::string(16, ' '));
    EXPECT_EQ(field(fields, 15), "000000000");
    EXPECT_EQ(field(fields, 19), std::string(32, ' '));
    EXPECT_EQ(field(fields, 27), "01 00000");
}

// The record is kept and sent on to the host's management system: the card
// number in it is masked as on the receipt, in the same 32 columns.
TEST(JournalRecord, CardNumberIsMaskedAsOnTheReceipt) {
    GatewayTransaction transaction = approvedPurchase();
    transaction.request.pan = "4111222233334444";
    EXPECT_EQ(field(fieldsOf(transaction, JournalKind::transaction), 19),
              "411122******4444" + std::string(16, ' '));
    transaction.request.pan = "4111222233";
    EXPECT_EQ(field(fieldsOf(transaction, JournalKind::reversal), 19),
              "41*****233" + std::string(22, ' '));
    EXPECT_EQ(
        buildJournalRecord(transaction, JournalKind::transaction, journalNames).find("4111222233"),
        std::string::npos);
}

TEST(JournalRecord, LongTextsAreCutToTheirWidths) {
    GatewayTransaction transaction = approvedPurchase();
    transaction.request.stan = 12345678;
    transaction.request.ref = std::string(20, 'r');
    transaction.request.pan = std::string(40, '9');
    const JournalNames longNames{"A very long application", "70", "TERMINAL-REF-0123456789"};
    const std::string record = buildJournalRecord(transaction, JournalKind::transaction, longNames);
    const auto fields = fieldsOf(record, 2, 1);
    EXPECT_EQ(field(fields, 5), "123456");
    EXPECT_EQ(field(fields, 11), "TERMINAL-REF-01");
    EXPECT_EQ(field(fields, 14), std::string(16, 'r'));
    EXPECT_EQ(field(fields, 19), "999999" + std::string(26, '*'));
    EXPECT_EQ(field(fields, 20), "A very long applicat");
    EXPECT_EQ(field(fields, 21), "70");
}

TEST(JournalRecord, MissingTypeIsTakenFromThePosRequestAndWrittenBack) {
    struct Case {
        const char* label;
        RecordingHost::Parameters posRequest;
        const char* type;
    };
    const std::vector<Case> cases = {
        {"refund", {{"TxnType", "R"}}, "R"},
        {"no TxnType", {{"AmtPurchase", "100"}}, "P"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.label);
        GatewayTransaction transaction = approvedPurchase();
        transaction.request.type.reset();
        transaction.posRequest = RecordingHost::element("DoTransaction", row.posRequest);
        const auto fields =
            fieldsOf(buildJournalRecord(transaction, JournalKind::transaction, journalNames), 2,
                     std::string(row.type).size());
        EXPECT_EQ(transaction.request.type, std::optional<std::string>(row.type));
        EXPECT_EQ(field(fields, 25), row.type);
        const bool refund = std::string(row.type) == "R";
        EXPECT_EQ(field(fields, 15), refund ? "000000000" : "000001250");
        EXPECT_EQ(field(fields, 17), refund ? "000001250" : "000000000");
    }
}

TEST(JournalRecord, WriteJournalHandsTheRecordToAddJournal) {
    RecordingHost host;
    HostBridge bridge;
    host.connect(bridge);
    bridge.sourceName = "Klarna";
    GatewayTransaction transaction = approvedPurchase();
    const std::string expected =
        buildJournalRecord(transaction, JournalKind::transaction, journalNames);

    writeJournal(bridge, transaction, JournalKind::transaction, journalNames);

    ASSERT_EQ(host.methodNames(), std::vector<std::string>{"AddJournal"});
    EXPECT_EQ(host.last().element().getChildText("jnl_entry", ""), expected);
}

} // namespace
