#include "gateway/response_info.h"

#include <gtest/gtest.h>

#include <set>

namespace {

struct CentreCase {
    std::string input;
    std::size_t width;
    std::string expected;
};

TEST(Centre16Test, TrimsPadsAndCuts) {
    const CentreCase cases[] = {
        {"ABC", 16, "       ABC      "},
        {"ABCD", 16, "      ABCD      "},
        {" \t\r\n\f\vABC\v\f\n\r\t ", 16, "       ABC      "},
        {"", 16, std::string(16, ' ')},
        {"   ", 16, std::string(16, ' ')},
        {"EXACTLY SIXTEEN!", 16, "EXACTLY SIXTEEN!"},
        {"SEVENTEEN CHARS!!", 16, "SEVENTEEN CHARS!"},
        {"  TRIMMED BEFORE THE CUT  ", 16, "TRIMMED BEFORE T"},
        {"TRANSACTION", 20, "     TRANSACTION    "},
        {"  SYSTEM ERROR  ", 20, "    SYSTEM ERROR    "},
        {"TWENTY ONE CHARACTERS", 20, "TWENTY ONE CHARACTER"},
        {"A B", 20, "         A B        "},
    };
    for (const CentreCase& c : cases) {
        EXPECT_EQ(centre16(c.input, c.width), c.expected) << '"' << c.input << "\" at " << c.width;
    }
}

TEST(ResponseTableTest, RowsAreWellFormed) {
    std::set<std::string> codes;
    for (const ResponseRow& row : responseTable()) {
        const std::string code = row.code;
        EXPECT_EQ(code.size(), 2u) << code;
        EXPECT_TRUE(codes.insert(code).second) << "duplicate " << code;
        EXPECT_EQ(std::string(row.pinpadLine1).size(), 16u) << code;
        EXPECT_EQ(std::string(row.pinpadLine2).size(), 16u) << code;
        EXPECT_LE(std::string(row.text).size(), 20u) << code;
        const bool approved = code == "00" || code == "0A";
        EXPECT_EQ(std::string(row.posLine1), approved ? "TRANSACTION" : "DECLINED") << code;
        if (!approved && code != "F0") {
            EXPECT_EQ(std::string(row.posLine2), std::string(row.text)) << code;
        }
    }
    EXPECT_EQ(codes.size(), 29u);
}

TEST(ResponseInfoTest, TableCodesIgnoreTheHostText) {
    const ResponseInfo expected[] = {
        {"00", "TRANSACTION APPROVED", "  TRANSACTION   ", "    APPROVED    ", "TRANSACTION",
         "APPROVED"},
        {"0A", "TRANSACTION CLEARED ", "  TRANSACTION   ", "    CLEARED     ", "TRANSACTION",
         "CLEARED"},
        {"H1", "ACTIVATION REQUIRED", "ACTIVATION REQ. ", std::string(16, ' '), "DECLINED",
         "ACTIVATION REQUIRED"},
        {"XF", "INVALID TXN", "  INVALID  TXN  ", std::string(16, ' '), "DECLINED", "INVALID TXN"},
        {"F0", "REQ FIELD MISSING", "   TRANSACTION  ", "  FIELD MISSING ", "DECLINED",
         "FIELD MISSING"},
        {"Z1", "MESSAGE TYPE ERROR", "  MESSAGE TYPE  ", "     ERROR      ", "DECLINED",
         "MESSAGE TYPE ERROR"},
    };
    for (const ResponseInfo& want : expected) {
        for (const std::string hostText : {"", "SOMETHING THE GATEWAY SAID"}) {
            ResponseInfo info;
            info.lookupResponse(want.code, hostText);
            EXPECT_EQ(info.code, want.code);
            EXPECT_EQ(info.text, want.text) << want.code;
            EXPECT_EQ(info.pinpadLine1, want.pinpadLine1) << want.code;
            EXPECT_EQ(info.pinpadLine2, want.pinpadLine2) << want.code;
            EXPECT_EQ(info.posLine1, want.posLine1) << want.code;
            EXPECT_EQ(info.posLine2, want.posLine2) << want.code;
        }
    }
}

struct UnknownCase {
    std::string code;
    std::string hostText;
    std::string text;
    std::string pinpadLine1;
    std::string pinpadLine2;
};

TEST(ResponseInfoTest, UnknownCodesShowASystemErrorOrTheHostWords) {
    const UnknownCase cases[] = {
        // No host text: the code joins the system error text.
        {"ZZ", "", "SYSTEM ERROR ZZ", " SYSTEM ERROR ZZ", ""},
        // Matching is exact and case-sensitive.
        {"0a", "", "SYSTEM ERROR 0a", " SYSTEM ERROR 0a", ""},
        // A short text fits on the first line.
        {"99", "DECLINED BY BANK", "DECLINED BY BANK", "DECLINED BY BANK", ""},
        // The remainder after the last space of the first line fits line 2.
        {"99", "CARD EXPIRED TODAY", "CARD EXPIRED TODAY", "  CARD EXPIRED  ", "      TODAY     "},
        // The remainder does not fit: hard split after 16 characters.
        {"99", "PAYMENT REJECTED BY PROVIDER", "PAYMENT REJECTED BY PROVIDER", "PAYMENT REJECTED",
         "   BY PROVIDER  "},
        // No space at position 1 or later within the first line.
        {"99", "ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNOP",
         "      QRST      "},
        {"99", " ABCDEFGHIJKLMNOPQRST", " ABCDEFGHIJKLMNOPQRST", " ABCDEFGHIJKLMNO",
         "      PQRST     "},
        // A space at position 16 lies outside the first line.
        {"99", "ABCDEFGHIJKLMNOP QRS", "ABCDEFGHIJKLMNOP QRS", "ABCDEFGHIJKLMNOP",
         "       QRS      "},
        // A long remainder is cut to the line width.
        {"99", "A BCDEFGHIJKLMNOPQRSTUVWXYZ0123456789", "A BCDEFGHIJKLMNOPQRSTUVWXYZ0123456789",
         "A BCDEFGHIJKLMNO", "PQRSTUVWXYZ01234"},
    };
    for (const UnknownCase& c : cases) {
        ResponseInfo info;
        info.lookupResponse(c.code, c.hostText);
        EXPECT_EQ(info.code, c.code);
        EXPECT_EQ(info.text, c.text) << c.hostText;
        EXPECT_EQ(info.pinpadLine1, c.pinpadLine1) << c.hostText;
        EXPECT_EQ(info.pinpadLine2, c.pinpadLine2) << c.hostText;
        EXPECT_EQ(info.posLine1, "DECLINED") << c.hostText;
        EXPECT_EQ(info.posLine2, c.text) << c.hostText;
    }
}

// A host result or gateway rc that is not two letters or digits fits no
// record (the journal keeps two characters): a system error everywhere.
TEST(ResponseInfoTest, CodesNotTwoLettersOrDigitsAreASystemError) {
    for (const char* code : {"", "0", "TIMEOUT", "0 ", "\xF2\xF2"}) {
        ResponseInfo info;
        info.lookupResponse(code, "HOST WORDS");
        EXPECT_EQ(info.code + " " + info.text, "X2 SYSTEM ERROR") << code;
    }
}

TEST(ResponseInfoTest, EachLookupReplacesTheWholeResponse) {
    ResponseInfo info;
    info.lookupResponse("99", "CARD EXPIRED TODAY");
    info.setResponse("ZZ");
    EXPECT_EQ(info.text, "SYSTEM ERROR ZZ");
    EXPECT_EQ(info.pinpadLine2, "");

    info.setResponse("TL");
    EXPECT_EQ(info.pinpadLine2, "    DECLINED    ");
    info.lookupResponse("99", "CARD EXPIRED TODAY");
    info.lookupResponse(info.code, info.text);
    EXPECT_EQ(info.code, "99");
    EXPECT_EQ(info.posLine2, "CARD EXPIRED TODAY");
    EXPECT_EQ(info.pinpadLine2, "      TODAY     ");

    info.clear();
    for (const std::string* field : {&info.code, &info.text, &info.pinpadLine1, &info.pinpadLine2,
                                     &info.posLine1, &info.posLine2}) {
        EXPECT_EQ(*field, "");
    }
}

} // namespace
