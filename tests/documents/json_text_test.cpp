#include "documents/json_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using json = nlohmann::json;

std::string highBytes() {
    std::string bytes;
    for (int b = 128; b <= 255; ++b) {
        bytes += static_cast<char>(b);
    }
    return bytes;
}

TEST(JsonTextDump, EscapesOnlyQuoteBackslashAndControlBytes) {
    json value = json::object();
    value["k\"ey"] = "q\"b\\s/\b\f\n\r\t\x01\x1f\x7f ~";
    EXPECT_EQ(jsonText::dump(value), R"({"k\"ey":"q\"b\\s/\b\f\n\r\t\u0001\u001f)"
                                     "\x7f"
                                     R"( ~"})");
}

TEST(JsonTextDump, CopiesBytesThatAreNotUtf8) {
    const std::string bytes = highBytes();
    EXPECT_EQ(jsonText::dump(json(bytes)), "\"" + bytes + "\"");
    EXPECT_EQ(jsonText::dump(json(std::string("\0", 1))), "\"\\u0000\"");
}

TEST(JsonTextDump, MatchesTheLibraryOnUtf8Values) {
    const json value = json::parse(R"({"z":[1,-2,3.5,1e100,true,false,null,{}],"a":"\u00e9x",)"
                                   R"("n":18446744073709551615,"m":-9223372036854775808,"e":[]})");
    EXPECT_EQ(jsonText::dump(value), value.dump());
}

TEST(JsonTextParse, AgreesWithTheLibraryOnValidText) {
    const std::vector<std::string> texts = {
        "0",
        "-0",
        "-12",
        "1.5e2",
        "1E-2",
        "18446744073709551615",
        "18446744073709551616",
        "-9223372036854775809",
        "\"a\\\"b\\\\c\\/d\\b\\f\\n\\r\\t\\u0041\\u00e9\\u20ac\\ud83d\\ude00\"",
        " \t\r\n{ \"b\" : [ 1 , { } , [ ] ] , \"a\" : null } ",
        R"({"a":1,"a":2})",
        "true",
        "[false,null]",
        "\xEF\xBB\xBF{\"x\":1}",
    };
    for (const std::string& text : texts) {
        json mine;
        ASSERT_TRUE(jsonText::parse(text, mine)) << text;
        EXPECT_EQ(mine, json::parse(text)) << text;
        EXPECT_EQ(mine.type(), json::parse(text).type()) << text;
    }
}

TEST(JsonTextParse, TakesHighBytesVerbatim) {
    const std::string bytes = highBytes();
    json value;
    ASSERT_TRUE(jsonText::parse("{\"" + bytes + "\":\"" + bytes + "\"}", value));
    EXPECT_EQ(value.at(bytes).get<std::string>(), bytes);
    EXPECT_EQ(jsonText::dump(value), "{\"" + bytes + "\":\"" + bytes + "\"}");
}

TEST(JsonTextParse, RejectsSyntaxErrorsAndKeepsTheTarget) {
    const std::vector<std::string> texts = {
        "",
        "   ",
        "{\"rc\":",
        "{\"a\" 1}",
        "{\"a\":1,}",
        "{,}",
        "{a:1}",
        "[1,]",
        "[1 2]",
        "tru",
        "nul",
        "True",
        "01",
        "1.",
        ".5",
        "-",
        "+1",
        "1e",
        "0x10",
        "\"abc",
        "\"a\x01\"",
        "\"a\nb\"",
        "\"\\x\"",
        "\"\\u12\"",
        "\"\\u12g4\"",
        "\"\\ud800\"",
        "\"\\udc00\"",
        "\"\\ud800\\u0041\"",
        "1 2",
        "{\"a\":1}x",
        "{\"a\":1}}",
        std::string("{\"a\":1}\0", 8),
        "\"\\",
    };
    for (const std::string& text : texts) {
        json value = "kept";
        std::string error;
        EXPECT_FALSE(jsonText::parse(text, value, &error)) << text;
        EXPECT_EQ(value, json("kept")) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(JsonTextParse, LimitsNesting) {
    json value;
    const int depth = jsonText::maxDepth;
    EXPECT_TRUE(jsonText::parse(std::string(depth, '[') + std::string(depth, ']'), value));
    EXPECT_FALSE(jsonText::parse(std::string(depth + 1, '[') + std::string(depth + 1, ']'), value));
    EXPECT_FALSE(jsonText::parse(std::string(200000, '['), value));
    std::string objects;
    for (int i = 0; i <= depth; ++i) {
        objects += "{\"a\":";
    }
    EXPECT_FALSE(jsonText::parse(objects + "1" + std::string(depth + 1, '}'), value));
}

} // namespace
