// The outcome of a transaction as the rest of the system shows it: a
// two-character response code turned into the POS response text and the
// pinpad and POS display lines.
#pragma once

#include <array>
#include <cstddef>
#include <string>

// One row of the response table. Pinpad lines are exactly 16 characters.
struct ResponseRow {
    const char* code;
    const char* text;
    const char* pinpadLine1;
    const char* pinpadLine2;
    const char* posLine1;
    const char* posLine2;
};

constexpr std::size_t kResponseTableSize = 29;
const std::array<ResponseRow, kResponseTableSize>& responseTable();

// Width of the response table's pinpad lines.
constexpr std::size_t kPinpadLineWidth = 16;

// Trims space, tab, line feed, carriage return, form feed and vertical tab
// at both ends, then centres the text in `width` columns (the extra space,
// when the padding is odd, goes on the left) or cuts it to `width`.
std::string centre16(const std::string& text, std::size_t width = kPinpadLineWidth);

struct ResponseInfo {
    std::string code;
    std::string text;
    std::string pinpadLine1;
    std::string pinpadLine2;
    std::string posLine1;
    std::string posLine2;

    // Fills all six strings from the table row of `code`. A code outside the
    // table keeps its own code and is shown as a system error, carrying
    // `hostText` (the gateway's or host's words) when it is not empty. Both
    // are taken by value, so this response's own strings may be passed. A
    // code that is not two letters or digits is taken as "X2".
    void lookupResponse(std::string responseCode, std::string hostText);
    // lookupResponse with an empty text.
    void setResponse(const std::string& responseCode);
    // Empties all six strings.
    void clear();
};
