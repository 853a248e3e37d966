#include "documents/json_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "config/persisted_records.h"
#include "documents/json_text.h"
#include "tests/config/host_variable_store.h"

namespace {

using json = nlohmann::json;

// The text the request used to be written as: the JSON object, then dumped.
std::string objectPath(const GatewayRequest& request, const std::vector<JsonMember>& extras = {}) {
    json object = toJsonValue(request);
    for (const JsonMember& extra : extras) {
        if (extra.isInteger) {
            object[extra.key] = extra.integer;
        } else {
            object[extra.key] = std::string(extra.text);
        }
    }
    return jsonText::dump(object);
}

std::string directPath(const GatewayRequest& request, const std::vector<JsonMember>& extras = {}) {
    return writeRequestJson(request, extras.data(), extras.size());
}

// Fixed-seed generator of requests whose texts hold every kind of byte.
class RequestGenerator {
  public:
    explicit RequestGenerator(std::uint32_t seed) : random_(seed) {}

    GatewayRequest request(double presence) {
        GatewayRequest request;
        for (const GatewayField<GatewayRequest>& field : gatewayRequestFields()) {
            if (!chance(presence)) {
                continue;
            }
            if (field.kind == GatewayFieldKind::integer) {
                request.*field.integer = integer();
            } else if (field.kind == GatewayFieldKind::text) {
                request.*field.text = text();
            } else {
                request.*field.text = basket();
            }
        }
        return request;
    }

    std::vector<JsonMember> extras(std::vector<std::string>& texts) {
        static const char* const keys[] = {"type", "repeat", "reply",   "password", "token",
                                           "",     "a",      "zzz",     "basket",   "mt",
                                           "opr",  "ref",    "txnName", "Z",        "tzd"};
        std::vector<JsonMember> extras;
        const int count = pick(0, 5);
        texts.reserve(count); // the members point into these texts
        for (int i = 0; i < count; ++i) {
            const char* key = keys[pick(0, sizeof keys / sizeof keys[0] - 1)];
            if (chance(0.5)) {
                extras.push_back(JsonMember::number(key, integer()));
            } else {
                texts.push_back(text());
                extras.push_back(JsonMember::string(key, texts.back()));
            }
        }
        return extras;
    }

    double presence() {
        static const double levels[] = {0.0, 0.05, 0.3, 0.5, 0.8, 1.0};
        return levels[pick(0, 5)];
    }

  private:
    std::mt19937 random_;

    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
    bool chance(double p) { return std::bernoulli_distribution(p)(random_); }

    std::int32_t integer() {
        static const std::int32_t edges[] = {std::numeric_limits<std::int32_t>::min(),
                                             std::numeric_limits<std::int32_t>::max(),
                                             0,
                                             -1,
                                             1,
                                             9,
                                             10,
                                             -10,
                                             1000000000};
        if (chance(0.5)) {
            return edges[pick(0, sizeof edges / sizeof edges[0] - 1)];
        }
        return static_cast<std::int32_t>(random_());
    }

    std::string piece() {
        static const char* const pieces[] = {"\"",
                                             "\\",
                                             "/",
                                             "\b",
                                             "\f",
                                             "\n",
                                             "\r",
                                             "\t",
                                             "\x7f",
                                             "\xc3\xa9",
                                             "\xe2\x82\xac",     // é €
                                             "\xf0\x9f\x98\x80", // emoji
                                             "\x80",
                                             "\xbf",
                                             "\xc0\xaf",
                                             "\xe2\x82",
                                             "\xed\xa0\x80", // invalid
                                             "\xf8\x88\x80\x80\x80",
                                             "\xff",
                                             "\xfe",
                                             "\\u0041",
                                             "Klarna\\1.0",
                                             "{\"a\":1}",
                                             "null",
                                             " ",
                                             "0123456789",
                                             "AUD"};
        switch (pick(0, 4)) {
        case 0:
            return std::string(1, static_cast<char>(pick(0, 0x1f))); // control bytes, NUL too
        case 1:
            return std::string(1, static_cast<char>(pick(0x80, 0xff)));
        case 2:
            return std::string(1, static_cast<char>(pick(0x20, 0x7e)));
        default:
            return pieces[pick(0, sizeof pieces / sizeof pieces[0] - 1)];
        }
    }

    std::string text() {
        std::string text;
        const int pieces = chance(0.1) ? 0 : pick(1, chance(0.1) ? 200 : 12);
        for (int i = 0; i < pieces; ++i) {
            text += piece();
        }
        return text;
    }

    std::string number() {
        static const char* const numbers[] = {"0",
                                              "-0",
                                              "7",
                                              "-12",
                                              "1.5",
                                              "1e3",
                                              "-2.5E-3",
                                              "1E+2",
                                              "0.1",
                                              "1e400",
                                              "123456789012345678901234567890",
                                              "18446744073709551615",
                                              "-9223372036854775808",
                                              "9223372036854775807",
                                              "3.0"};
        return numbers[pick(0, sizeof numbers / sizeof numbers[0] - 1)];
    }

    std::string space() {
        static const char* const spaces[] = {"", "", "", " ", "\n", "\t ", "\r\n"};
        return spaces[pick(0, sizeof spaces / sizeof spaces[0] - 1)];
    }

    std::string stringValue() {
        static const char* const escapes[] = {
            "\\\"",    "\\\\",           "\\/",    "\\b", "\\f", "\\n", "\\r", "\\t", "\\u00e9",
            "\\u001F", "\\ud83d\\ude00", "\\u0000"};
        std::string value = "\"";
        for (int i = pick(0, 6); i > 0; --i) {
            if (chance(0.3)) {
                value += escapes[pick(0, sizeof escapes / sizeof escapes[0] - 1)];
            } else if (chance(0.3)) {
                value += static_cast<char>(pick(0x80, 0xff));
            } else {
                value += static_cast<char>(pick('a', 'e'));
            }
        }
        return value + "\"";
    }

    std::string value(int depth) {
        const int kind = depth > 3 ? pick(0, 3) : pick(0, 5);
        switch (kind) {
        case 0:
            return number();
        case 1:
            return stringValue();
        case 2: {
            static const char* const literals[] = {"true", "false", "null"};
            return literals[pick(0, 2)];
        }
        case 3:
            return chance(0.5) ? "{}" : "[]";
        case 4: {
            std::string object = "{" + space();
            for (int i = pick(0, 4); i > 0; --i) {
                object += stringValue() + space() + ":" + space() + value(depth + 1);
                object += i > 1 ? "," + space() : space();
            }
            return object + "}";
        }
        default: {
            std::string array = "[" + space();
            for (int i = pick(0, 4); i > 0; --i) {
                array += value(depth + 1) + (i > 1 ? "," : "") + space();
            }
            return array + "]";
        }
        }
    }

    std::string basket() {
        switch (pick(0, 9)) {
        case 0: {
            static const char* const empties[] = {"null",           "{}", "[]", " [ ] ",
                                                  "\xEF\xBB\xBF{}", "",   "   "};
            return empties[pick(0, sizeof empties / sizeof empties[0] - 1)];
        }
        case 1: // not JSON
            return text();
        case 2: { // a break somewhere in valid text
            std::string broken = value(0);
            broken.resize(static_cast<std::size_t>(pick(0, static_cast<int>(broken.size()))));
            return broken + (chance(0.5) ? "" : ",");
        }
        case 3: // nesting at and past the reader's limit
            return std::string(static_cast<std::size_t>(jsonText::maxDepth + pick(-1, 1)), '[') +
                   std::string(static_cast<std::size_t>(jsonText::maxDepth + pick(-1, 1)), ']');
        case 4:
            return "\xEF\xBB\xBF" + space() + value(0) + space();
        default:
            return space() + value(0) + space();
        }
    }
};

TEST(JsonWriterTest, GeneratedRequestsMatchTheObjectPathByteForByte) {
    RequestGenerator generate(20261208);
    int written = 0;
    int leftOut = 0;
    for (int i = 0; i < 4000; ++i) {
        const GatewayRequest request = generate.request(generate.presence());
        const std::string expected = objectPath(request);
        ASSERT_EQ(directPath(request), expected) << "record " << i;
        ASSERT_EQ(toJson(request), expected) << "record " << i;
        if (request.basket) {
            ++(expected.find("\"basket\":") != std::string::npos ? written : leftOut);
        }
    }
    // The generated baskets reach both outcomes.
    EXPECT_GT(written, 300);
    EXPECT_GT(leftOut, 300);
}

TEST(JsonWriterTest, GeneratedExtraMembersMatchSettingThemOnTheObject) {
    RequestGenerator generate(17300);
    for (int i = 0; i < 2000; ++i) {
        const GatewayRequest request = generate.request(generate.presence());
        std::vector<std::string> texts;
        const std::vector<JsonMember> extras = generate.extras(texts);
        ASSERT_EQ(directPath(request, extras), objectPath(request, extras)) << "record " << i;
    }
}

TEST(JsonWriterTest, PresenceEdgesMatchTheObjectPath) {
    RequestGenerator generate(42);
    const GatewayRequest full = generate.request(1.0);
    EXPECT_EQ(directPath(GatewayRequest()), "{}");
    EXPECT_EQ(directPath(full), objectPath(full));
    // Each field alone, then every field but one.
    for (const GatewayField<GatewayRequest>& field : gatewayRequestFields()) {
        GatewayRequest alone;
        GatewayRequest allButOne = full;
        if (field.kind == GatewayFieldKind::integer) {
            alone.*field.integer = full.*field.integer;
            (allButOne.*field.integer).reset();
        } else {
            alone.*field.text = field.kind == GatewayFieldKind::json ? "[1]" : "x\"\x01\xff";
            (allButOne.*field.text).reset();
        }
        EXPECT_EQ(directPath(alone), objectPath(alone)) << field.key;
        EXPECT_EQ(directPath(allButOne), objectPath(allButOne)) << field.key;
    }
}

TEST(JsonWriterTest, ExtrasTakeTheirKeysPlaceAndTheLastOfOneKeyWins) {
    GatewayRequest request;
    request.mt = 150;
    request.type = "P";
    request.tt = "20240131235959";
    const std::string first = "first";
    const std::string last = "last";
    EXPECT_EQ(
        writeRequestJson(request, {JsonMember::string("type", first), JsonMember::number("a", -5),
                                   JsonMember::number("zz", 1), JsonMember::string("type", last)}),
        R"({"a":-5,"mt":150,"tt":"20240131235959","type":"last","zz":1})");
    EXPECT_EQ(writeRequestJson(request, {JsonMember::number("stan", 3)}),
              R"({"mt":150,"stan":3,"tt":"20240131235959","type":"P"})");
}

// What storeReversal wrote before: the object with the marked type and the
// two counters set on it.
std::string reversalByObject(const GatewayRequest& request) {
    json record = toJsonValue(request);
    record["type"] = request.type.value_or("") + "-";
    record["repeat"] = 0;
    record["reply"] = 0;
    return jsonText::dump(record);
}

TEST(JsonWriterTest, StoredReversalRecordMatchesTheObjectPath) {
    RequestGenerator generate(5150);
    HostVariableStore store;
    for (int i = 0; i < 600; ++i) {
        GatewayRequest request = generate.request(generate.presence());
        static const char* const types[] = {"P", "N", "D"};
        request.type = types[i % 3];
        ASSERT_EQ(storeReversal(store.bridge, request), ReversalRecord::stored);
        ASSERT_EQ(store.variables["REVERSAL_DATA"], reversalByObject(request)) << "record " << i;
        store.host.clear();
    }
}

} // namespace
