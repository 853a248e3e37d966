#include "transaction/request_origin.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tests/support/element_fields.h"

namespace {

xmlNode posRequestWith(const Fields& fields) {
    xmlNode request;
    request.name = "DoTransaction";
    for (const auto& field : fields) {
        request.child(request.addChild(field.first)).text = field.second;
    }
    return request;
}

TEST(RequestOriginTest, StartsWithThePinpadPrinterAndThePinpadOffline) {
    const RequestOrigin origin;
    EXPECT_EQ(origin.printerName, "PINPAD");
    EXPECT_FALSE(origin.pinpadOnline);
    EXPECT_FALSE(origin.qrMode);
}

struct PrinterCase {
    Fields fields;
    std::string printer;
};

TEST(RequestOriginTest, ChoosesThePrinter) {
    const PrinterCase cases[] = {
        {{{"PrinterName", "NPT"}, {"ReceiptAutoPrint", "1"}}, "PINPAD"},
        {{{"ReceiptAutoPrint", "1"}}, "AUTO_POS"},
        {{{"PrinterName", "npt"}, {"ReceiptAutoPrint", "1"}}, "AUTO_POS"},
        {{{"PrinterName", "NPT "}, {"ReceiptAutoPrint", "1"}}, "AUTO_POS"},
        {{{"ReceiptAutoPrint", "0"}}, "POS"},
        {{{"ReceiptAutoPrint", "2"}}, "POS"},
        {{{"PrinterName", "EPSON"}}, "POS"},
        {{}, "POS"},
    };
    for (const PrinterCase& c : cases) {
        const xmlNode request = posRequestWith(c.fields);
        EXPECT_EQ(choosePrinter(request), c.printer) << request.toString();
        RequestOrigin origin;
        origin.captureOrigin(request);
        EXPECT_EQ(origin.printerName, c.printer) << request.toString();
    }
}

struct SourceCase {
    std::string source;
    bool pos;
    bool csd;
};

TEST(RequestOriginTest, ReadsTheOriginalSourceExactly) {
    const SourceCase cases[] = {
        {"POS", true, false},   {"CsdReserved3", false, true},  {"pos", false, false},
        {" POS", false, false}, {"csdreserved3", false, false}, {"", false, false},
    };
    for (const SourceCase& c : cases) {
        RequestOrigin origin;
        origin.posOrigin = !c.pos;
        origin.csdOrigin = !c.csd;
        origin.captureOrigin(posRequestWith({{"OriginalSource", c.source}}));
        EXPECT_EQ(origin.posOrigin, c.pos) << c.source;
        EXPECT_EQ(origin.csdOrigin, c.csd) << c.source;
    }
    RequestOrigin origin;
    origin.posOrigin = true;
    origin.captureOrigin(posRequestWith({}));
    EXPECT_FALSE(origin.posOrigin);
}

TEST(RequestOriginTest, CaptureResetsTheTransactionStateButKeepsThePinpadOnline) {
    RequestOrigin origin;
    origin.presale = true;
    origin.receiptPrinted = true;
    origin.reserved = true;
    origin.pinpadOnline = true;
    origin.qrMode = false;
    origin.screenAnswered = true;
    origin.switchToSms = true;
    origin.promptResponse.setResponse("TM");

    origin.captureOrigin(posRequestWith({{"OriginalSource", "POS"}}));

    EXPECT_FALSE(origin.presale);
    EXPECT_FALSE(origin.receiptPrinted);
    EXPECT_FALSE(origin.reserved);
    EXPECT_TRUE(origin.pinpadOnline);
    EXPECT_TRUE(origin.qrMode);
    EXPECT_FALSE(origin.screenAnswered);
    EXPECT_FALSE(origin.switchToSms);
    EXPECT_EQ(origin.promptResponse.code, "");
    EXPECT_EQ(origin.promptResponse.pinpadLine1, "");

    origin.pinpadOnline = false;
    origin.captureOrigin(posRequestWith({}));
    EXPECT_FALSE(origin.pinpadOnline);
}

} // namespace
