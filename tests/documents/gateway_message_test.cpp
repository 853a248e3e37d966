#include "documents/gateway_message.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

using json = nlohmann::json;

const std::vector<std::string> requestKeys = {
    "mt",        "type",          "trn",        "stan",       "ref",      "uid",
    "agent",     "trackinguid",   "pan",        "pansrc",     "code",     "txref",
    "txid",      "manualorderid", "amt",        "currency",   "totalamt", "txnName",
    "basket",    "sentcount",     "replycount", "timeout",    "username", "password",
    "token",     "countrycode",   "phone",      "paysid",     "hppsid",   "hppstatus",
    "orderid",   "refundid",      "mid",        "brand",      "store",    "lane",
    "pad",       "date",          "time",       "tzd",        "tt",       "ppacq",
    "pptid",     "ppmid",         "posname",    "posversion", "vendorid", "comp",
    "staffcode", "staffname",     "opr"};
const std::vector<std::string> requestIntegers = {"mt",        "stan",       "amt",     "totalamt",
                                                  "sentcount", "replycount", "timeout", "tzd"};

const std::vector<std::string> replyKeys = {
    "mt",        "type",        "trn",     "stan",     "ref",           "agent",
    "token",     "trackinguid", "rc",      "rt",       "hrc",           "hrt",
    "txref",     "paydt",       "amt",     "currency", "paysid",        "hppsid",
    "hppstatus", "redirecturl", "orderid", "refundid", "manualorderid", "mid",
    "brand",     "store",       "lane",    "pad",      "date",          "time",
    "tt"};
const std::vector<std::string> replyIntegers = {"mt", "stan", "amt"};

bool contains(const std::vector<std::string>& list, const std::string& key) {
    for (const std::string& item : list) {
        if (item == key) {
            return true;
        }
    }
    return false;
}

template <class Record, std::size_t Count>
void expectFieldTable(const std::array<GatewayField<Record>, Count>& fields,
                      const std::vector<std::string>& keys,
                      const std::vector<std::string>& integers) {
    ASSERT_EQ(fields.size(), keys.size());
    Record record;
    const char* previous = nullptr;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const GatewayField<Record>& field = fields[i];
        EXPECT_EQ(field.key, keys[i]);
        const bool isInteger = field.kind == GatewayFieldKind::integer;
        EXPECT_EQ(isInteger, contains(integers, keys[i])) << keys[i];
        EXPECT_EQ(isInteger, field.integer != nullptr) << keys[i];
        EXPECT_EQ(isInteger, field.text == nullptr) << keys[i];
        const char* address = isInteger ? reinterpret_cast<const char*>(&(record.*field.integer))
                                        : reinterpret_cast<const char*>(&(record.*field.text));
        if (previous != nullptr) {
            EXPECT_TRUE(std::less<const char*>()(previous, address)) << keys[i] << " out of order";
        }
        previous = address;
    }
}

// A request with every field present and distinct.
GatewayRequest fullRequest() {
    GatewayRequest request;
    int n = 1;
    for (const auto& field : gatewayRequestFields()) {
        if (field.kind == GatewayFieldKind::integer) {
            request.*field.integer = n * 1000 - 7;
        } else if (field.kind == GatewayFieldKind::json) {
            request.*field.text = R"({"items":[{"sku":"A","qty":2}],"note":"x\"y"})";
        } else {
            request.*field.text = std::string(field.key) + "\\v" + std::to_string(n);
        }
        ++n;
    }
    return request;
}

TEST(GatewayMessageFields, RequestFieldsInDeclarationOrder) {
    expectFieldTable(gatewayRequestFields(), requestKeys, requestIntegers);
    EXPECT_EQ(gatewayRequestFields()[18].kind, GatewayFieldKind::json);
}

TEST(GatewayMessageFields, ReplyFieldsInDeclarationOrder) {
    expectFieldTable(gatewayReplyFields(), replyKeys, replyIntegers);
}

TEST(GatewayMessageToJson, WritesOnlyPresentFieldsCompactAndSorted) {
    GatewayRequest request;
    EXPECT_EQ(toJson(request), "{}");
    request.type = "A+";
    request.mt = 100;
    request.stan = 7;
    EXPECT_EQ(toJson(request), R"({"mt":100,"stan":7,"type":"A+"})");
    request.date = "";
    request.tzd = -60;
    EXPECT_EQ(toJson(request), R"({"date":"","mt":100,"stan":7,"type":"A+","tzd":-60})");
}

TEST(GatewayMessageToJson, EveryFieldAppearsOnceInAscendingKeyOrder) {
    const std::string text = toJson(fullRequest());
    const nlohmann::ordered_json ordered = nlohmann::ordered_json::parse(text);
    std::vector<std::string> written;
    for (auto it = ordered.begin(); it != ordered.end(); ++it) {
        written.push_back(it.key());
    }
    std::vector<std::string> sorted = requestKeys;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(written, sorted);
    EXPECT_EQ(text.find(' '), std::string::npos);
    EXPECT_NE(text.find(R"("amt":14993,)"), std::string::npos);
    EXPECT_NE(text.find(R"("basket":{"items":[{"qty":2,"sku":"A"}],"note":"x\"y"},)"),
              std::string::npos);
}

TEST(GatewayMessageToJson, DoublesTheBackslashOfTheAgent) {
    GatewayRequest request;
    request.agent = "Klarna\\1.0.0.0";
    EXPECT_EQ(toJson(request), R"({"agent":"Klarna\\1.0.0.0"})");
}

TEST(GatewayMessageToJson, BasketRules) {
    const struct {
        const char* basket;
        const char* expected;
    } cases[] = {
        {"{}", "{}"},
        {"[]", "{}"},
        {"null", "{}"},
        {" \n{ } ", "{}"},
        {"", "{}"},
        {"not json", "{}"},
        {"{\"a\":", "{}"},
        {"[1]", R"({"basket":[1]})"},
        {"[null]", R"({"basket":[null]})"},
        {"\"text\"", R"({"basket":"text"})"},
        {"12", R"({"basket":12})"},
        {"false", R"({"basket":false})"},
        {R"( {"b" : 2, "a" : [ {} ]} )", R"({"basket":{"a":[{}],"b":2}})"},
    };
    for (const auto& c : cases) {
        GatewayRequest request;
        request.basket = c.basket;
        EXPECT_EQ(toJson(request), c.expected) << c.basket;
    }
}

TEST(GatewayMessageToJson, SendsBytesThatAreNotUtf8Unchanged) {
    std::string name;
    for (int b = 128; b <= 255; ++b) {
        name += static_cast<char>(b);
    }
    GatewayRequest request;
    request.staffname = name;
    request.basket = "{\"n\":\"" + name + "\"}";
    EXPECT_EQ(toJson(request),
              "{\"basket\":{\"n\":\"" + name + "\"},\"staffname\":\"" + name + "\"}");

    GatewayRequest readBack;
    ASSERT_TRUE(fromJson(toJson(request), readBack));
    EXPECT_EQ(readBack.staffname, name);
    EXPECT_EQ(readBack.basket, request.basket);
}

TEST(GatewayMessageRoundTrip, StoredRequestReadsBackFieldForField) {
    GatewayRequest request = fullRequest();
    std::string controls;
    for (int b = 1; b < 32; ++b) {
        controls += static_cast<char>(b);
    }
    request.staffname = controls + "\"\\/" + std::string("\0z", 2);
    GatewayRequest readBack;
    ASSERT_TRUE(fromJson(toJson(request), readBack));
    // The basket comes back in compact form.
    EXPECT_EQ(readBack.basket, R"({"items":[{"qty":2,"sku":"A"}],"note":"x\"y"})");
    readBack.basket = request.basket;
    EXPECT_TRUE(readBack == request);
}

TEST(GatewayMessageFromJson, ReadsKnownMembersAndIgnoresOthers) {
    GatewayReply reply;
    reply.rt = "stale";
    ASSERT_TRUE(
        fromJson(R"({"type":"O","stan":"12","rc":"00","hppsid":"abc","extra":1,"RT":"x"})", reply));
    GatewayReply expected;
    expected.type = "O";
    expected.stan = 12;
    expected.rc = "00";
    expected.hppsid = "abc";
    EXPECT_TRUE(reply == expected);
}

TEST(GatewayMessageFromJson, ReadsEveryReplyField) {
    json text = json::object();
    for (const std::string& key : replyKeys) {
        text[key] = contains(replyIntegers, key) ? json(key.size()) : json(key + "-value");
    }
    GatewayReply reply;
    ASSERT_TRUE(fromJson(text.dump(), reply));
    for (const auto& field : gatewayReplyFields()) {
        const std::string key = field.key;
        if (field.kind == GatewayFieldKind::integer) {
            EXPECT_EQ(reply.*field.integer, static_cast<std::int32_t>(key.size())) << key;
        } else {
            EXPECT_EQ(reply.*field.text, key + "-value") << key;
        }
    }
}

struct IntegerCase {
    const char* member;
    bool ok;
    std::optional<std::int32_t> value;
};

TEST(GatewayMessageFromJson, IntegerFieldTypeRules) {
    const IntegerCase cases[] = {
        {"7", true, 7},
        {"-7", true, -7},
        {"2147483648", true, -2147483647 - 1},
        {"4294967297", true, 1},
        {"-4294967297", true, -1},
        {"18446744073709551615", true, -1},
        {"7.9", true, 7},
        {"-7.9", true, -8},
        {"4294967298.5", true, 2},
        {"true", true, 1},
        {"false", true, 0},
        {"null", true, std::nullopt},
        {R"("12")", true, 12},
        {R"("  -12abc")", true, -12},
        {R"("+5")", true, 5},
        {R"(" \t\n\r\f\u000b3")", true, 3},
        {R"("2147483647")", true, 2147483647},
        {R"("-2147483648")", true, -2147483647 - 1},
        {R"("2147483648")", false, std::nullopt},
        {R"("99999999999999999999")", false, std::nullopt},
        {R"("x12")", false, std::nullopt},
        {R"("")", false, std::nullopt},
        {R"("-")", false, std::nullopt},
        {R"("- 1")", false, std::nullopt},
        {R"({})", false, std::nullopt},
        {R"({"a":1})", false, std::nullopt},
        {R"([1])", false, std::nullopt},
        {"1e300", false, std::nullopt},
        {"-1e300", false, std::nullopt},
    };
    for (const IntegerCase& c : cases) {
        GatewayReply reply;
        reply.rc = "kept";
        const bool ok = fromJson(std::string(R"({"amt":)") + c.member + "}", reply);
        EXPECT_EQ(ok, c.ok) << c.member;
        if (ok) {
            EXPECT_EQ(reply.amt, c.value) << c.member;
            EXPECT_FALSE(reply.rc.has_value()) << c.member;
        } else {
            EXPECT_EQ(reply.rc, "kept") << c.member;
            EXPECT_FALSE(reply.amt.has_value()) << c.member;
        }
    }
}

TEST(GatewayMessageFromJson, IntegerTypeErrorNamesTheType) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {R"({"stan":"x12"})", "type must be number, but is string"},
        {R"({"stan":{}})", "type must be number, but is object"},
        {R"({"mt":[]})", "type must be number, but is array"},
    };
    for (const auto& c : cases) {
        GatewayReply reply;
        std::string error;
        EXPECT_FALSE(fromJson(c.text, reply, &error));
        EXPECT_EQ(error, c.error);
    }
}

TEST(GatewayMessageFromJson, StringFieldTypeRules) {
    const struct {
        const char* member;
        std::optional<std::string> value;
    } cases[] = {
        {R"("abc")", "abc"},
        {R"("")", ""},
        {R"("a\u00e9\n")", "a\xC3\xA9\n"},
        {"true", "true"},
        {"false", "false"},
        {"0", "0"},
        {"-5", "-5"},
        {"4294967297", "1"},
        {"2147483648", "-2147483648"},
        {"12.5", "12.500000"},
        {"-0.1", "-0.100000"},
        {"1e20", "100000000000000000000.000000"},
        {"0.0000004", "0.000000"},
        {"null", std::nullopt},
        {R"({"a":1})", std::nullopt},
        {"[1]", std::nullopt},
    };
    for (const auto& c : cases) {
        GatewayReply reply;
        ASSERT_TRUE(fromJson(std::string(R"({"rc":)") + c.member + "}", reply)) << c.member;
        EXPECT_EQ(reply.rc, c.value) << c.member;
    }
}

TEST(GatewayMessageFromJson, BasketMemberBecomesCompactText) {
    const struct {
        const char* member;
        std::optional<std::string> basket;
    } cases[] = {
        {R"({ "b" : [1, 2], "a" : "x" })", R"({"a":"x","b":[1,2]})"},
        {R"("s")", R"("s")"},
        {"[]", "[]"},
        {"1.5", "1.5"},
        {"null", std::nullopt},
    };
    for (const auto& c : cases) {
        GatewayRequest request;
        ASSERT_TRUE(fromJson(std::string(R"({"basket":)") + c.member + "}", request));
        EXPECT_EQ(request.basket, c.basket) << c.member;
    }
}

TEST(GatewayMessageFromJson, FailureLeavesTheTargetUnchanged) {
    const char* texts[] = {
        R"({"stan":"x12"})",
        R"({"rc":)",
        "",
        "{\"rc\":\"00\"} x",
        R"({"rc":"00","stan":[1]})",
        R"({"amt":"7","mt":{"a":1}})",
    };
    GatewayReply before;
    before.rc = "99";
    before.stan = 5;
    before.redirecturl = "http://x";
    for (const char* text : texts) {
        GatewayReply reply = before;
        std::string error;
        EXPECT_FALSE(fromJson(text, reply, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
        EXPECT_TRUE(reply == before) << text;
    }
    GatewayRequest request;
    request.type = "P-";
    const GatewayRequest requestBefore = request;
    EXPECT_FALSE(fromJson(R"({"type":"N-","mt":"four"})", request));
    EXPECT_TRUE(request == requestBefore);
}

TEST(GatewayMessageFromJson, SuccessReplacesTheWholeRecord) {
    const char* texts[] = {R"({"stan":1})", "[1,2]", R"("text")", "null", "{}"};
    for (const char* text : texts) {
        GatewayReply reply;
        reply.rc = "99";
        reply.token = "t";
        ASSERT_TRUE(fromJson(text, reply)) << text;
        EXPECT_FALSE(reply.rc.has_value()) << text;
        EXPECT_FALSE(reply.token.has_value()) << text;
    }
}

TEST(GatewayMessageFromJson, StoredReversalRecordDropsForeignMembers) {
    GatewayRequest request;
    ASSERT_TRUE(fromJson(R"({"mt":150,"repeat":0,"reply":0,"stan":3,"type":"P-"})", request));
    GatewayRequest expected;
    expected.mt = 150;
    expected.stan = 3;
    expected.type = "P-";
    EXPECT_TRUE(request == expected);
    EXPECT_EQ(toJson(request), R"({"mt":150,"stan":3,"type":"P-"})");
}

} // namespace
