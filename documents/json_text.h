// Compact JSON text for nlohmann json values, written and read without the
// library's UTF-8 checks.
//
// Texts the extension handles may hold bytes that are not UTF-8 (a POS on a
// Windows code page sends Latin-1 names). The library's dump() throws on such
// bytes and its parser rejects them, so the gateway messages go through this
// writer and reader instead: both copy every byte of 0x80 and above unchanged,
// and neither throws.
#pragma once

#include <nlohmann/json.hpp>

#include <array>
#include <string>

namespace jsonText {

// Deepest nesting of arrays and objects the reader accepts. Gateway messages
// are flat and baskets nest a few levels; anything deeper is hostile input.
constexpr int maxDepth = 64;

// Bytes each input byte takes inside a JSON string as dump() writes it: \"
// \\ \b \f \n \r \t, \u00xx for the other control bytes, else 1 (copied).
constexpr std::array<unsigned char, 256> escapeWidths() {
    std::array<unsigned char, 256> widths{};
    for (std::size_t byte = 0; byte < widths.size(); ++byte) {
        widths[byte] = byte < 0x20 ? 6 : 1;
    }
    for (unsigned char shortForm : {'"', '\\', '\b', '\f', '\n', '\r', '\t'}) {
        widths[shortForm] = 2;
    }
    return widths;
}
inline constexpr std::array<unsigned char, 256> escapeWidth = escapeWidths();

// Writes the escape of a byte whose escapeWidth is not 1; returns the end.
char* writeEscape(char* out, unsigned char byte);

// Compact text: no spaces or line breaks, object members in the value's own
// (ascending key) order. In strings and keys the quotation mark, the
// backslash and control bytes below 0x20 are escaped (\b \f \n \r \t, else
// \u00xx); every other byte is copied. Numbers are written as the library
// writes them.
std::string dump(const nlohmann::json& value);
void appendDump(std::string& out, const nlohmann::json& value);

// Reads one JSON value that makes up the whole text (white space around it
// and a leading UTF-8 byte order mark allowed). Bytes of 0x80 and above inside
// strings are taken verbatim; everything else follows the JSON grammar, so a
// syntax error, a raw control byte in a string, a lone surrogate escape or
// nesting deeper than maxDepth fails. On failure `value` is unchanged and
// `error` (when given) says what and where. Never throws.
bool parse(const std::string& text, nlohmann::json& value, std::string* error = nullptr);

} // namespace jsonText
