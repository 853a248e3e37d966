#include "gateway/receipt_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gateway/gateway_transaction.h"

namespace {

// The receipt's lines without their ends; every line must end in CR LF.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "text after the last CR LF: " << text.substr(start);
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::string spaces(std::size_t count) {
    return std::string(count, ' ');
}

TEST(ReceiptBuilder, EveryOperationWritesWholeLinesOfTheWidth) {
    ReceiptBuilder receipt(24);
    receipt.separator();
    receipt.blankLine();
    receipt.line("PURCHASE:");
    receipt.line("TRANSACTION APPROVED 00 AND MORE");
    receipt.twoColumn("Term ID:", "T1");
    receipt.twoColumn("Amount:", "12345678901234567");    // exactly fills the line
    receipt.twoColumn("Ref No:", "REFERENCE-1234567890"); // cut to the room left
    receipt.twoColumn("A label longer than the width", "X");
    receipt.wrapped("");
    receipt.wrapped("0123456789012345678901234567890");
    receipt.centred("*** DUPLICATE COPY ***");
    receipt.centred("ODD");

    const std::vector<std::string> expected = {
        std::string(24, '-'),           spaces(24),
        "PURCHASE:" + spaces(15),       "TRANSACTION APPROVED 00 ",
        "Term ID:" + spaces(14) + "T1", "Amount:12345678901234567",
        "Ref No:REFERENCE-1234567",     "A label longer than the ",
        "012345678901234567890123",     "4567890" + spaces(17),
        " *** DUPLICATE COPY *** ",     spaces(11) + "ODD" + spaces(10),
    };
    EXPECT_EQ(linesOf(receipt.text()), expected);
}

TEST(ReceiptBuilder, WidthIsRaisedToTwentyFourAndKeptBelowTheCeiling) {
    EXPECT_EQ(layoutWidth(20), 24u);
    EXPECT_EQ(layoutWidth(-3), 24u);
    EXPECT_EQ(layoutWidth(24), 24u);
    EXPECT_EQ(layoutWidth(40), 40u);
    EXPECT_EQ(layoutWidth(2000000000), static_cast<std::size_t>(maxReceiptWidth));
}

TEST(ReceiptBuilder, DefaultHeaderIsCentredToTheWidthAsRead) {
    EXPECT_EQ(defaultReceiptHeader(20), spaces(7) + "KLARNA" + spaces(7));
    EXPECT_EQ(defaultReceiptHeader(25), spaces(10) + "KLARNA" + spaces(9));
    // A width from 0 to 5 cuts the name, as centring to that width does; a
    // negative width is no width at all and keeps the name whole.
    EXPECT_EQ(defaultReceiptHeader(6), "KLARNA");
    EXPECT_EQ(defaultReceiptHeader(5), "KLARN");
    EXPECT_EQ(defaultReceiptHeader(3), "KLA");
    EXPECT_EQ(defaultReceiptHeader(0), "");
    EXPECT_EQ(defaultReceiptHeader(-40), "KLARNA");
    EXPECT_EQ(defaultReceiptHeader(2000000000).size(), static_cast<std::size_t>(maxReceiptWidth));
}

TEST(ReceiptBuilder, CardNumbersAreMaskedByLength) {
    const struct {
        const char* pan;
        const char* masked;
    } cases[] = {
        {"4111111111111111", "411111******1111"},
        {"411111111111111", "411111*****1111"},
        {"41111111111111", "41*********111"},
        {"4111111111", "41*****111"},
        {"4111111", "41**111"},
        {"411111", "******"},
        {"41111", "*****"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(maskCardNumber(c.pan), c.masked) << c.pan;
    }
}

TEST(ReceiptBuilder, AmountsAreDollarsWithTwoDecimals) {
    const struct {
        std::int64_t minor;
        const char* text;
    } cases[] = {{7, "$0.07"},         {50, "$0.50"},  {0, "$0.00"},
                 {100, "$1.00"},       {99, "$0.99"},  {1500, "$15.00"},
                 {123456, "$1234.56"}, {-5, "$-0.05"}, {-1500, "$-15.00"}};
    for (const auto& c : cases) {
        EXPECT_EQ(amountText(c.minor), c.text) << c.minor;
    }
}

ReceiptContent fullContent(std::size_t width) {
    ReceiptContent content;
    content.width = width;
    content.header = "KLARNA SHOP";
    content.footer = "THANK YOU";
    content.terminalId = "M1S1001";
    content.reference = "REF42";
    content.maskedPan = "411111******1111";
    content.transactionName = "PURCHASE";
    content.amount = "$15.00";
    content.currency = "AUD";
    content.txref = "TXREF-0123456789-ABCDEFGHIJ";
    content.manualOrderId = "ORDER-7";
    content.paymentDateTime = "2024-01-31T10:00:00";
    content.responseText = "TRANSACTION APPROVED";
    content.responseCode = "00";
    content.hostResponseCode = "A1";
    content.startDateTime = "31/01/24 10:15:30";
    content.stan = "000042";
    return content;
}

TEST(ReceiptLayout, CustomerCopyAtTheNarrowestWidth) {
    const std::vector<std::string> expected = {
        std::string(24, '-'),
        "KLARNA SHOP" + spaces(13),
        "Term ID:" + spaces(9) + "M1S1001",
        "Ref No:" + spaces(12) + "REF42",
        spaces(24),
        "411111******1111" + spaces(8),
        spaces(24),
        "PURCHASE:" + spaces(15),
        "Amount:" + spaces(11) + "$15.00",
        "Currency:" + spaces(12) + "AUD",
        spaces(24),
        "Klarna Reference:" + spaces(7),
        "TXREF-0123456789-ABCDEFG",
        "HIJ" + spaces(21),
        spaces(24),
        "Klarna Order Id:" + spaces(8),
        "ORDER-7" + spaces(17),
        spaces(24),
        "Payment Date Time:" + spaces(6),
        "2024-01-31T10:00:00" + spaces(5),
        spaces(24),
        "TRANSACTION APPROVED 00 ",
        spaces(24),
        "KLA A1" + spaces(18),
        "31/01/24 10:15:30 000042",
        "THANK YOU" + spaces(15),
        std::string(24, '-'),
        spaces(24),
        spaces(24),
        spaces(24),
    };
    EXPECT_EQ(linesOf(layOutReceipt(fullContent(24), false)), expected);
}

TEST(ReceiptLayout, DuplicateDiffersOnlyByItsCentredLine) {
    for (const std::size_t width : {24u, 30u, 40u}) {
        SCOPED_TRACE(width);
        std::vector<std::string> customer = linesOf(layOutReceipt(fullContent(width), false));
        const std::vector<std::string> duplicate = linesOf(layOutReceipt(fullContent(width), true));
        const std::size_t side = (width - 22) / 2;
        customer.insert(customer.begin() + 2,
                        spaces(side) + "*** DUPLICATE COPY ***" + spaces(side));
        EXPECT_EQ(duplicate, customer);
        for (const std::string& line : duplicate) {
            EXPECT_EQ(line.size(), width) << line;
        }
    }
}

TEST(ReceiptLayout, MissingValuesLeaveTheirLinesOut) {
    ReceiptContent content;
    content.transactionName = "REFUND";
    content.responseText = "NO RESPONSE";
    content.responseCode = "X0";
    const std::vector<std::string> lines = linesOf(layOutReceipt(content, false));
    // Separator, Term ID, Ref No, blank, name, result, blank, date, separator, 3 blanks.
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[4], "REFUND:" + spaces(17));
    EXPECT_EQ(lines[5], "NO RESPONSE X0" + spaces(10));
}

TEST(ReceiptContent, ReferenceAndAmountFallBackToThePosRequestAndTheRequest) {
    GatewayTransaction transaction;
    transaction.posRequest.getChild("TxnType").setText("R");
    transaction.posRequest.getChild("TxnRef").setText("POSREF");
    transaction.request.stan = 1234567;
    transaction.request.amt = 250;
    transaction.request.pan = "4111111111";
    ReceiptContent content = receiptContent(transaction, 30, "H", "F", "TERM");
    EXPECT_EQ(content.reference, "POSREF");
    EXPECT_EQ(content.stan, "234567");
    EXPECT_EQ(content.maskedPan, "41*****111");
    EXPECT_EQ(content.transactionName, "REFUND");
    EXPECT_EQ(content.amount, std::optional<std::string>("$2.50"));

    transaction.request.ref = "GWREF";
    transaction.reply.amt = 5;
    content = receiptContent(transaction, 24, "H", "F", "TERM");
    EXPECT_EQ(content.reference, "GWREF");
    EXPECT_EQ(content.amount, std::optional<std::string>("$0.05"));
}

} // namespace
