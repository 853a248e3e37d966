#include "documents/json_text.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

namespace jsonText {

namespace {

using json = nlohmann::json;

const char hexDigits[] = "0123456789abcdef";

void appendEscapedByte(std::string& out, unsigned char byte) {
    if (escapeWidth[byte] == 1) {
        out += static_cast<char>(byte);
        return;
    }
    char escape[6];
    out.append(escape, static_cast<std::size_t>(writeEscape(escape, byte) - escape));
}

void appendString(std::string& out, const std::string& text) {
    out += '"';
    for (char c : text) {
        appendEscapedByte(out, static_cast<unsigned char>(c));
    }
    out += '"';
}

void appendObject(std::string& out, const json& value) {
    out += '{';
    bool first = true;
    for (auto it = value.cbegin(); it != value.cend(); ++it) {
        if (!first) {
            out += ',';
        }
        first = false;
        appendString(out, it.key());
        out += ':';
        appendDump(out, it.value());
    }
    out += '}';
}

void appendArray(std::string& out, const json& value) {
    out += '[';
    bool first = true;
    for (const json& element : value) {
        if (!first) {
            out += ',';
        }
        first = false;
        appendDump(out, element);
    }
    out += ']';
}

// Recursive-descent reader over the whole text.
class Reader {
  public:
    explicit Reader(const std::string& text) : text_(text) {}

    bool readDocument(json& value) {
        skipByteOrderMark();
        skipWhitespace();
        if (!readValue(value)) {
            return false;
        }
        skipWhitespace();
        return atEnd() || fail("unexpected text after the value");
    }

    const std::string& error() const { return error_; }

  private:
    const std::string& text_;
    std::size_t pos_ = 0;
    int depth_ = 0;
    std::string error_;

    bool atEnd() const { return pos_ >= text_.size(); }
    unsigned char peek() const { return static_cast<unsigned char>(text_[pos_]); }

    bool fail(const char* what) {
        error_ = "syntax error at byte " + std::to_string(pos_) + ": " + what;
        return false;
    }

    void skipByteOrderMark() {
        if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            pos_ = 3;
        }
    }

    void skipWhitespace() {
        while (!atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) {
            ++pos_;
        }
    }

    bool readValue(json& value) {
        if (atEnd()) {
            return fail("unexpected end of input");
        }
        switch (peek()) {
        case '{':
            return readObject(value);
        case '[':
            return readArray(value);
        case '"': {
            std::string text;
            if (!readString(text)) {
                return false;
            }
            value = std::move(text);
            return true;
        }
        case 't':
            return readLiteral("true", json(true), value);
        case 'f':
            return readLiteral("false", json(false), value);
        case 'n':
            return readLiteral("null", json(nullptr), value);
        default:
            return readNumber(value);
        }
    }

    bool enter() {
        if (++depth_ > maxDepth) {
            return fail("nesting too deep");
        }
        ++pos_;
        skipWhitespace();
        return true;
    }

    bool readObject(json& value) {
        if (!enter()) {
            return false;
        }
        json object = json::object();
        if (!atEnd() && peek() == '}') {
            return leave(object, value);
        }
        for (;;) {
            if (!readMember(object)) {
                return false;
            }
            skipWhitespace();
            if (atEnd()) {
                return fail("unexpected end of input in an object");
            }
            if (peek() == '}') {
                return leave(object, value);
            }
            if (peek() != ',') {
                return fail("expected ',' or '}'");
            }
            ++pos_;
            skipWhitespace();
        }
    }

    bool readMember(json& object) {
        if (atEnd() || peek() != '"') {
            return fail("expected a member name");
        }
        std::string key;
        if (!readString(key)) {
            return false;
        }
        skipWhitespace();
        if (atEnd() || peek() != ':') {
            return fail("expected ':'");
        }
        ++pos_;
        skipWhitespace();
        json member;
        if (!readValue(member)) {
            return false;
        }
        object[key] = std::move(member); // a repeated name keeps the last value
        return true;
    }

    bool readArray(json& value) {
        if (!enter()) {
            return false;
        }
        json array = json::array();
        if (!atEnd() && peek() == ']') {
            return leave(array, value);
        }
        for (;;) {
            json element;
            if (!readValue(element)) {
                return false;
            }
            array.push_back(std::move(element));
            skipWhitespace();
            if (atEnd()) {
                return fail("unexpected end of input in an array");
            }
            if (peek() == ']') {
                return leave(array, value);
            }
            if (peek() != ',') {
                return fail("expected ',' or ']'");
            }
            ++pos_;
            skipWhitespace();
        }
    }

    bool leave(json& built, json& value) {
        ++pos_;
        --depth_;
        value = std::move(built);
        return true;
    }

    bool readLiteral(const char* word, json literal, json& value) {
        const std::string expected(word);
        if (text_.compare(pos_, expected.size(), expected) != 0) {
            return fail("invalid literal");
        }
        pos_ += expected.size();
        value = std::move(literal);
        return true;
    }

    bool readString(std::string& out) {
        ++pos_; // opening quotation mark
        for (;;) {
            if (atEnd()) {
                return fail("unterminated string");
            }
            const unsigned char byte = peek();
            if (byte == '"') {
                ++pos_;
                return true;
            }
            if (byte < 0x20) {
                return fail("control character in a string must be escaped");
            }
            if (byte == '\\') {
                if (!readEscape(out)) {
                    return false;
                }
                continue;
            }
            out += static_cast<char>(byte); // bytes of 0x80 and above are kept as they are
            ++pos_;
        }
    }

    bool readEscape(std::string& out) {
        ++pos_; // backslash
        if (atEnd()) {
            return fail("unterminated escape");
        }
        const char code = static_cast<char>(peek());
        ++pos_;
        switch (code) {
        case '"':
            out += '"';
            return true;
        case '\\':
            out += '\\';
            return true;
        case '/':
            out += '/';
            return true;
        case 'b':
            out += '\b';
            return true;
        case 'f':
            out += '\f';
            return true;
        case 'n':
            out += '\n';
            return true;
        case 'r':
            out += '\r';
            return true;
        case 't':
            out += '\t';
            return true;
        case 'u':
            return readUnicodeEscape(out);
        default:
            --pos_;
            return fail("invalid escape");
        }
    }

    bool readHex4(std::uint32_t& code) {
        if (text_.size() - pos_ < 4) {
            return fail("truncated \\u escape");
        }
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const unsigned char c = peek();
            std::uint32_t digit = 0;
            if (c >= '0' && c <= '9') {
                digit = c - '0';
            } else if (c >= 'a' && c <= 'f') {
                digit = c - 'a' + 10;
            } else if (c >= 'A' && c <= 'F') {
                digit = c - 'A' + 10;
            } else {
                return fail("invalid hex digit in \\u escape");
            }
            code = code * 16 + digit;
            ++pos_;
        }
        return true;
    }

    bool readUnicodeEscape(std::string& out) {
        std::uint32_t code = 0;
        if (!readHex4(code)) {
            return false;
        }
        if (code >= 0xDC00 && code <= 0xDFFF) {
            return fail("low surrogate without a high surrogate");
        }
        if (code >= 0xD800 && code <= 0xDBFF) {
            std::uint32_t low = 0;
            if (text_.compare(pos_, 2, "\\u") != 0) {
                return fail("high surrogate without a low surrogate");
            }
            pos_ += 2;
            if (!readHex4(low)) {
                return false;
            }
            if (low < 0xDC00 || low > 0xDFFF) {
                return fail("high surrogate without a low surrogate");
            }
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        appendUtf8(out, code);
        return true;
    }

    static void appendUtf8(std::string& out, std::uint32_t code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    bool isDigit() const { return !atEnd() && peek() >= '0' && peek() <= '9'; }

    bool skipDigits() {
        if (!isDigit()) {
            return false;
        }
        while (isDigit()) {
            ++pos_;
        }
        return true;
    }

    // Checks the JSON number grammar here; the library then converts the
    // (plain ASCII) number text, so integers, unsigned values and floating
    // point numbers come out exactly as its own parser makes them.
    bool readNumber(json& value) {
        const std::size_t start = pos_;
        if (peek() == '-') {
            ++pos_;
        }
        if (!atEnd() && peek() == '0') {
            ++pos_;
        } else if (!skipDigits()) {
            return fail("invalid value");
        }
        if (!atEnd() && peek() == '.') {
            ++pos_;
            if (!skipDigits()) {
                return fail("expected a digit after '.'");
            }
        }
        if (!atEnd() && (peek() == 'e' || peek() == 'E')) {
            ++pos_;
            if (!atEnd() && (peek() == '+' || peek() == '-')) {
                ++pos_;
            }
            if (!skipDigits()) {
                return fail("expected a digit in the exponent");
            }
        }
        const char* first = text_.data() + start;
        json number = json::parse(first, text_.data() + pos_, nullptr, false);
        if (number.is_discarded()) {
            return fail("invalid number");
        }
        value = std::move(number);
        return true;
    }
};

} // namespace

char* writeEscape(char* out, unsigned char byte) {
    char code = 0;
    switch (byte) {
    case '"':
        code = '"';
        break;
    case '\\':
        code = '\\';
        break;
    case '\b':
        code = 'b';
        break;
    case '\f':
        code = 'f';
        break;
    case '\n':
        code = 'n';
        break;
    case '\r':
        code = 'r';
        break;
    case '\t':
        code = 't';
        break;
    default: {
        const char escape[] = {'\\', 'u', '0', '0', hexDigits[byte >> 4], hexDigits[byte & 0x0F]};
        std::memcpy(out, escape, sizeof escape);
        return out + sizeof escape;
    }
    }
    out[0] = '\\';
    out[1] = code;
    return out + 2;
}

void appendDump(std::string& out, const nlohmann::json& value) {
    switch (value.type()) {
    case json::value_t::object:
        appendObject(out, value);
        return;
    case json::value_t::array:
        appendArray(out, value);
        return;
    case json::value_t::string:
        appendString(out, value.get_ref<const std::string&>());
        return;
    case json::value_t::boolean:
        out += value.get<bool>() ? "true" : "false";
        return;
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
    case json::value_t::number_float:
        out += value.dump(); // plain ASCII: the library cannot fail here
        return;
    default:
        out += "null";
        return;
    }
}

std::string dump(const nlohmann::json& value) {
    std::string out;
    try {
        appendDump(out, value);
    } catch (...) {
        out.clear(); // only an allocation failure can land here
    }
    return out;
}

bool parse(const std::string& text, nlohmann::json& value, std::string* error) {
    try {
        Reader reader(text);
        json result;
        if (!reader.readDocument(result)) {
            if (error != nullptr) {
                *error = reader.error();
            }
            return false;
        }
        value = std::move(result);
        return true;
    } catch (const std::exception& e) {
        if (error != nullptr) {
            *error = e.what();
        }
    } catch (...) {
        if (error != nullptr) {
            *error = "unknown error";
        }
    }
    return false;
}

} // namespace jsonText
