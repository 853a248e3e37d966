#include "documents/tag_list.h"

#include "documents/xml_node.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries entriesOf(const TagList& list) {
    Entries out;
    for (const TagList::Entry& entry : list.entries()) {
        out.emplace_back(entry.tag, entry.value);
    }
    return out;
}

// One entry in text form, for values shorter than 1000 bytes.
std::string entry(const std::string& tag, const std::string& value) {
    char length[8];
    std::snprintf(length, sizeof length, "%03u", static_cast<unsigned>(value.size()));
    return tag + length + value;
}

// A list body with its 3-digit header, for bodies shorter than 1000 bytes.
std::string withHeader(const std::string& body) {
    char count[8];
    std::snprintf(count, sizeof count, "%03u", static_cast<unsigned>(body.size()));
    return count + body;
}

struct TagParseCase {
    std::string text;
    bool headerForm;
    bool ok;
    Entries entries;
};

TEST(TagListParse, BothFormsAndEveryFailureShape) {
    const TagParseCase cases[] = {
        {"SKU003ABCRFN005X1234", false, true, {{"SKU", "ABC"}, {"RFN", "X1234"}}},
        {"020SKU003ABCRFN005X1234", true, true, {{"SKU", "ABC"}, {"RFN", "X1234"}}},
        {"SKU003ABC", true, false, {}},
        {"099SKU003ABC", true, true, {{"SKU", "ABC"}}},
        {"009SKU003ABCQQQ", true, true, {{"SKU", "ABC"}}},
        {"  9SKU003ABC", true, true, {{"SKU", "ABC"}}},
        {" 9SKU003ABC", true, false, {}},
        {"+09SKU003ABC", true, true, {{"SKU", "ABC"}}},
        {"9  SKU003ABC", true, false, {}},
        {"-01SKU003ABC", true, false, {}},
        {"000", true, true, {}},
        {"000SKU003ABC", true, true, {}},
        {"12", true, false, {}},
        {"5", true, false, {}},
        {"", true, false, {}},
        {"", false, true, {}},
        {"SKU 05ABCDE", false, true, {{"SKU", "ABCDE"}}},
        {"SKU05 ABCDE", false, false, {}},
        {"SKU-01ABCDE", false, false, {}},
        {"SKU0x3ABC", false, false, {}},
        {"SKU   ABC", false, false, {}},
        {"PCM000", false, true, {{"PCM", ""}}},
        {"PCM000SKU003ABC", false, true, {{"PCM", ""}, {"SKU", "ABC"}}},
        {"SKU003ABCQQ", false, false, {{"SKU", "ABC"}}},
        {"SKU003AB", false, false, {}},
        {"SKU003ABCRFN009X12", false, false, {{"SKU", "ABC"}}},
        {"099SKU010ABC", true, false, {}},
        {"008SKU003ABC", true, false, {}},
        {"012SKU003ABCRFN001X", true, false, {{"SKU", "ABC"}}},
        {std::string("S\0U003A\0C", 9),
         false,
         true,
         {{std::string("S\0U", 3), std::string("A\0C", 3)}}},
        {std::string("SKU0\x00"
                     "3ABC",
                     9),
         false,
         false,
         {}},
    };
    for (const TagParseCase& c : cases) {
        TagList list;
        list.set("OLD", "x");
        EXPECT_EQ(list.parse(c.text, c.headerForm), c.ok) << c.text << " header " << c.headerForm;
        EXPECT_EQ(entriesOf(list), c.entries) << c.text << " header " << c.headerForm;
    }
}

TEST(TagListParse, TextConstructorTriesHeaderThenPlain) {
    const std::pair<std::string, Entries> cases[] = {
        {"020SKU003ABCRFN005X1234", {{"SKU", "ABC"}, {"RFN", "X1234"}}},
        {"SKU003ABC", {{"SKU", "ABC"}}},
        {"SKU003ABCQQ", {{"SKU", "ABC"}}},
        {"003SKU003ABC", {}}, // header form runs out, plain form reads tag "003"
        {"100003abc", {{"100", "abc"}}},
        {"", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(entriesOf(TagList(c.first)), c.second) << c.first;
    }
}

TEST(TagListText, WritesBothForms) {
    TagList list;
    EXPECT_EQ(list.toString(false), "");
    EXPECT_EQ(list.toString(true), "000");
    list.set("SKU", "ABC");
    EXPECT_EQ(list.toString(false), "SKU003ABC");
    EXPECT_EQ(list.toString(true), "009SKU003ABC");
    list.set("AB", "");
    list.set("ABCD", "v");
    list.set("", "1234567890");
    EXPECT_EQ(list.toString(false), "SKU003ABCAB 000ABC001v   0101234567890");
    EXPECT_EQ(TagList(list.toString(true)).toString(true), list.toString(true));
}

TEST(TagListText, NeverWritesALengthThatDoesNotFit) {
    const std::string longest(999, 'a');
    const std::string tooLong(1000, 'b');
    TagList list;
    list.set("AAA", longest);
    list.set("BBB", tooLong);
    list.set("CCC", "c");

    std::vector<std::string> leftOut;
    const std::string plain = list.toString(false, leftOut);
    EXPECT_EQ(plain, "AAA999" + longest + "CCC001c");
    EXPECT_EQ(leftOut, std::vector<std::string>{"BBB"});

    leftOut.clear();
    // With header the body may hold 999 bytes: AAA alone is 1005.
    EXPECT_EQ(list.toString(true, leftOut), "007CCC001c");
    EXPECT_EQ(leftOut, (std::vector<std::string>{"AAA", "BBB"}));
}

TEST(TagListText, HeaderBodyFillsUpTo999Bytes) {
    TagList list;
    list.set("AAA", std::string(987, 'a')); // 993 bytes
    list.set("BBB", "xy");                  // 8 more: 1001, left out
    list.set("CCC", "");                    // 6 more: 999
    std::vector<std::string> leftOut;
    const std::string text = list.toString(true, leftOut);
    EXPECT_EQ(text.substr(0, 3), "999");
    EXPECT_EQ(text.size(), 1002u);
    EXPECT_EQ(leftOut, std::vector<std::string>{"BBB"});
    TagList readBack;
    ASSERT_TRUE(readBack.parse(text, true));
    EXPECT_EQ(entriesOf(readBack), (Entries{{"AAA", std::string(987, 'a')}, {"CCC", ""}}));
}

TEST(TagListEntries, LookupsActOnTheFirstMatch) {
    TagList list("SKU001aREF001bSKU001c");
    EXPECT_TRUE(list.contains("SKU"));
    EXPECT_FALSE(list.contains("sku"));
    EXPECT_EQ(list.get("SKU"), "a");
    EXPECT_EQ(list.get("XYZ"), "");

    list.getOrAdd("SKU").value = "A";
    list.set("NEW", "n");
    EXPECT_EQ(entriesOf(list), (Entries{{"SKU", "A"}, {"REF", "b"}, {"SKU", "c"}, {"NEW", "n"}}));

    list.remove("XYZ");
    list.remove("SKU");
    EXPECT_EQ(entriesOf(list), (Entries{{"REF", "b"}, {"SKU", "c"}, {"NEW", "n"}}));
    list.remove("REF");
    list.remove("SKU");
    list.remove("NEW");
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.getOrAdd("PCM").value, "");
    EXPECT_FALSE(list.empty());
}

// Purchase analysis mapping -------------------------------------------------

class PurchaseAnalysisMapping : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Seams seams;
        seams.newUuid = [] { return std::string("00000000-1111-2222-3333-444444444444"); };
        platform::setSeams(seams);
    }
    void TearDown() override { platform::setSeams({}); }

    PurchaseAnalysisOutcome map(const std::string& text) {
        tags = TagList(text);
        return mapPurchaseAnalysis(tags, request);
    }

    TagList tags;
    GatewayRequest request;
};

TEST_F(PurchaseAnalysisMapping, MapsEveryTagAndKeepsTheRestForPad) {
    const PurchaseAnalysisOutcome outcome =
        map(entry("PCM", "abc") + entry("OPR", "17|OPNAME") + entry("UID", "u-1") +
            entry("VND", "v1") + entry("NME", "pos") + entry("VER", "9.1") + entry("PAN", "4111") +
            entry("SKU", "ABC") + entry("RFN", "ord") + entry("REF", "ref1") +
            entry("AMT", "1250") + entry("PMD", "SMS") + entry("PHN", "0700") + entry("XYZ", "z"));
    EXPECT_TRUE(outcome.smsRequested);
    EXPECT_FALSE(outcome.orderIdUnreadable);
    EXPECT_TRUE(outcome.tagsLeftOut.empty());

    GatewayRequest expected;
    expected.opr = "17|OPNAME";
    expected.staffcode = "17";
    expected.staffname = "OPNAME";
    expected.trackinguid = "u-1";
    expected.vendorid = "v1";
    expected.posname = "pos";
    expected.posversion = "9.1";
    expected.pan = "4111";
    expected.orderid = "ord";
    expected.txref = "ref1";
    expected.totalamt = 1250;
    expected.phone = "0700";
    expected.pad = "SKU003ABCXYZ001z";
    EXPECT_TRUE(request == expected) << toJson(request);
    EXPECT_EQ(entriesOf(tags), (Entries{{"SKU", "ABC"}, {"XYZ", "z"}}));
}

TEST_F(PurchaseAnalysisMapping, OperatorPieces) {
    const struct {
        const char* opr;
        std::optional<std::string> code;
        std::optional<std::string> name;
    } cases[] = {
        {"17|OPNAME", "17", "OPNAME"},
        {"17", "17", std::nullopt},
        {"17|A|B", "17", "A"},
        {"|N", "", "N"},
        {"17|", "17", ""},
        {"", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        request = GatewayRequest();
        map(entry("OPR", c.opr));
        EXPECT_EQ(request.opr, c.opr);
        EXPECT_EQ(request.staffcode, c.code) << c.opr;
        EXPECT_EQ(request.staffname, c.name) << c.opr;
    }
}

TEST_F(PurchaseAnalysisMapping, LatinOneStaffNameTravelsUnchanged) {
    std::string name;
    for (int b = 128; b <= 255; ++b) {
        name += static_cast<char>(b);
    }
    map(entry("OPR", "7|" + name));
    EXPECT_EQ(request.staffname, name);
    EXPECT_NE(toJson(request).find("\"staffname\":\"" + name + "\""), std::string::npos);
}

TEST_F(PurchaseAnalysisMapping, MissingUidGetsANewUuid) {
    map(entry("SKU", "A"));
    EXPECT_EQ(request.trackinguid, "00000000-1111-2222-3333-444444444444");
    map(entry("UID", ""));
    EXPECT_EQ(request.trackinguid, "");
}

TEST_F(PurchaseAnalysisMapping, OrderIdFromRfnOrRef) {
    const struct {
        std::string tags;
        bool unreadable;
        std::optional<std::string> orderid;
        std::optional<std::string> txref;
    } cases[] = {
        {entry("RFN", R"({"merchant":"70","orderid":"abc"})"), false, "abc", std::nullopt},
        {entry("RFN", "abc") + entry("REF", "r"), false, "abc", "r"},
        {entry("RFN", ""), false, "", std::nullopt},
        {entry("RFN", R"(["x"])"), false, R"(["x"])", std::nullopt},
        {entry("RFN", " {}"), false, " {}", std::nullopt},
        {entry("REF", "r") + entry("RFN", "abc"), false, "abc", "r"},
        {entry("REF", "r"), false, "r", std::nullopt},
        {entry("RFN", "{"), true, std::nullopt, std::nullopt},
        {entry("RFN", R"({"orderid":5})") + entry("REF", "r"), true, std::nullopt, "r"},
        {entry("RFN", R"({"merchant":"70"})"), true, std::nullopt, std::nullopt},
        {entry("RFN", R"({"orderid":"a"} x)"), true, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        request = GatewayRequest();
        const PurchaseAnalysisOutcome outcome = map(c.tags);
        EXPECT_EQ(outcome.orderIdUnreadable, c.unreadable) << c.tags;
        EXPECT_EQ(outcome.orderIdError.empty(), !c.unreadable) << c.tags;
        EXPECT_EQ(request.orderid, c.orderid) << c.tags;
        EXPECT_EQ(request.txref, c.txref) << c.tags;
        EXPECT_FALSE(request.pad.has_value()) << c.tags;
        EXPECT_TRUE(request.trackinguid.has_value()) << c.tags;
    }
}

TEST_F(PurchaseAnalysisMapping, AmountAboveZeroOnlyAndAlwaysTakenOut) {
    const struct {
        const char* amt;
        std::optional<std::int32_t> totalamt;
    } cases[] = {
        {"1250", 1250},
        {" 12abc", 12},
        {"0", std::nullopt},
        {"-5", std::nullopt},
        {"x", std::nullopt},
        {"", std::nullopt},
        {"99999999999", std::nullopt},
    };
    for (const auto& c : cases) {
        request = GatewayRequest();
        map(entry("AMT", c.amt));
        EXPECT_EQ(request.totalamt, c.totalamt) << c.amt;
        EXPECT_FALSE(tags.contains("AMT")) << c.amt;
        EXPECT_FALSE(request.pad.has_value()) << c.amt;
    }
}

TEST_F(PurchaseAnalysisMapping, PaymentModeSmsIsExact) {
    EXPECT_TRUE(map(entry("PMD", "SMS")).smsRequested);
    EXPECT_FALSE(map(entry("PMD", "sms")).smsRequested);
    EXPECT_FALSE(map(entry("PMD", "SMS ")).smsRequested);
    EXPECT_FALSE(tags.contains("PMD"));
    EXPECT_FALSE(map(entry("SKU", "A")).smsRequested);
}

TEST_F(PurchaseAnalysisMapping, PadOnlyForRemainingEntries) {
    const std::string known = entry("PCM", "") + entry("OPR", "1") + entry("UID", "u") +
                              entry("VND", "v") + entry("NME", "n") + entry("VER", "1") +
                              entry("AMT", "5");
    map(known);
    EXPECT_FALSE(request.pad.has_value());

    request = GatewayRequest();
    map(known + entry("SKU", "ABC"));
    EXPECT_EQ(request.pad, "SKU003ABC");

    // A tag list read with header goes on in the plain form.
    request = GatewayRequest();
    const std::string body = entry("SKU", "ABC") + entry("AMT", "5");
    map(withHeader(body));
    EXPECT_EQ(request.pad, "SKU003ABC");
}

TEST_F(PurchaseAnalysisMapping, OversizedRemainingEntryIsReported) {
    tags = TagList(entry("SKU", "ABC"));
    tags.set("BIG", std::string(1000, 'x'));
    PurchaseAnalysisOutcome outcome = mapPurchaseAnalysis(tags, request);
    EXPECT_EQ(request.pad, "SKU003ABC");
    EXPECT_EQ(outcome.tagsLeftOut, std::vector<std::string>{"BIG"});

    request = GatewayRequest();
    tags = TagList();
    tags.set("BIG", std::string(1000, 'x'));
    outcome = mapPurchaseAnalysis(tags, request);
    EXPECT_FALSE(request.pad.has_value());
    EXPECT_EQ(outcome.tagsLeftOut, std::vector<std::string>{"BIG"});
}

xmlNode posRequest(const std::string& analysisData) {
    xmlNode node;
    node.name = "DoTransaction";
    node.addChild("TxnType");
    node.child(0).text = "P";
    const int index = node.addChild("PurchaseAnalysisData");
    node.child(index).text = analysisData;
    return node;
}

TEST_F(PurchaseAnalysisMapping, ReadsThePosRequestField) {
    const std::string body = entry("VND", "v") + entry("SKU", "A");
    const PurchaseAnalysisOutcome outcome = mapPurchaseAnalysis(posRequest(body), request);
    EXPECT_FALSE(outcome.orderIdUnreadable);
    EXPECT_EQ(request.vendorid, "v");
    EXPECT_EQ(request.pad, "SKU001A");

    GatewayRequest headed;
    mapPurchaseAnalysis(posRequest(withHeader(body)), headed);
    EXPECT_EQ(headed.vendorid, "v");
    EXPECT_EQ(headed.pad, "SKU001A");

    xmlNode bare;
    bare.name = "DoTransaction";
    GatewayRequest none;
    mapPurchaseAnalysis(bare, none);
    EXPECT_EQ(none.trackinguid, "00000000-1111-2222-3333-444444444444");
    EXPECT_FALSE(none.pad.has_value());
}

// Result tags ---------------------------------------------------------------

TEST(ResultTags, NothingToReturnGivesAnEmptyList) {
    EXPECT_TRUE(resultTags(GatewayReply(), GatewayRequest(), "00", "P").empty());
}

TEST(ResultTags, ApprovedPurchaseInFull) {
    GatewayReply reply;
    reply.pad = withHeader(entry("REF", "old") + entry("XYZ", "keep"));
    reply.hrc = "00";
    reply.hrt = "APPROVED";
    reply.txref = "tx9";
    reply.orderid = "ord\"1";
    reply.trackinguid = "t-reply";
    reply.amt = 1500;
    GatewayRequest request;
    request.trackinguid = "t-request";
    const TagList tags = resultTags(reply, request, "00", "P");
    const std::string rfn = R"({"merchant":"70","orderid":"ord\"1"})";
    EXPECT_EQ(entriesOf(tags), (Entries{{"REF", "tx9"},
                                        {"XYZ", "keep"},
                                        {"HRC", "00"},
                                        {"HRT", "APPROVED"},
                                        {"RFN", rfn},
                                        {"UID", "t-reply"},
                                        {"AMT", "1500"}}));
    const std::string body = entry("REF", "tx9") + entry("XYZ", "keep") + entry("HRC", "00") +
                             entry("HRT", "APPROVED") + entry("RFN", rfn) +
                             entry("UID", "t-reply") + entry("AMT", "1500");
    EXPECT_EQ(tags.toString(true), withHeader(body));
}

TEST(ResultTags, RefundReferenceOnlyForApprovedPurchases) {
    GatewayReply reply;
    reply.orderid = "o";
    EXPECT_TRUE(resultTags(reply, GatewayRequest(), "00", "P").contains("RFN"));
    EXPECT_FALSE(resultTags(reply, GatewayRequest(), "00", "R").contains("RFN"));
    EXPECT_FALSE(resultTags(reply, GatewayRequest(), "05", "P").contains("RFN"));
    EXPECT_FALSE(resultTags(GatewayReply(), GatewayRequest(), "00", "P").contains("RFN"));
}

TEST(ResultTags, PadInPlainFormAndKeptReference) {
    GatewayReply reply;
    reply.pad = entry("REF", "old") + entry("SKU", "A");
    reply.amt = -5;
    const TagList tags = resultTags(reply, GatewayRequest(), "00", "P");
    EXPECT_EQ(entriesOf(tags), (Entries{{"REF", "old"}, {"SKU", "A"}, {"AMT", "-5"}}));
}

TEST(ResultTags, TrackingIdFromReplyElseRequest) {
    GatewayRequest request;
    request.trackinguid = "req";
    EXPECT_EQ(resultTags(GatewayReply(), request, "05", "P").get("UID"), "req");
    GatewayReply reply;
    reply.trackinguid = "";
    EXPECT_EQ(entriesOf(resultTags(reply, request, "05", "P")), (Entries{{"UID", ""}}));
}

// Basket ----------------------------------------------------------------------

xmlNode withBasket(const char* basketJson) {
    xmlNode node;
    node.name = "DoTransaction";
    const int basket = node.addChild("BasketData");
    if (basketJson != nullptr) {
        const int child = node.child(basket).addChild("json");
        node.child(basket).child(child).text = basketJson;
    }
    return node;
}

TEST(Basket, TakesValidJsonTextUnchanged) {
    GatewayRequest request;
    const BasketOutcome outcome = takeBasket(withBasket(R"( {"items": [1, 2]} )"), request);
    EXPECT_EQ(outcome.status, BasketStatus::taken);
    EXPECT_EQ(request.basket, R"( {"items": [1, 2]} )");
    EXPECT_EQ(toJson(request), R"({"basket":{"items":[1,2]}})");
}

TEST(Basket, LeavesOutWhatCannotBeSent) {
    const struct {
        const char* json;
        BasketStatus status;
    } cases[] = {
        {nullptr, BasketStatus::noJsonChild},
        {"", BasketStatus::notJson},
        {"{\"items\":", BasketStatus::notJson},
        {"items", BasketStatus::notJson},
    };
    for (const auto& c : cases) {
        GatewayRequest request;
        request.basket = "[1]";
        const BasketOutcome outcome = takeBasket(withBasket(c.json), request);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(outcome.error.empty(), c.status != BasketStatus::notJson);
        EXPECT_FALSE(request.basket.has_value());
        EXPECT_EQ(toJson(request), "{}");
    }
}

TEST(Basket, RequestWithoutBasketDataIsUntouched) {
    xmlNode node;
    node.name = "DoTransaction";
    GatewayRequest request;
    request.basket = "[1]";
    EXPECT_EQ(takeBasket(node, request).status, BasketStatus::none);
    EXPECT_EQ(request.basket, "[1]");
}

} // namespace
