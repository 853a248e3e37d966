// The trim set used for identifiers, texts and numbers read from text:
// space, tab, line feed, carriage return, form feed, vertical tab.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

inline bool isTrimByte(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// The text without trim-set bytes at either end.
inline std::string trimmed(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isTrimByte(text[begin])) {
        ++begin;
    }
    while (end > begin && isTrimByte(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

// Sets the field to the trimmed value, unless that is empty.
inline void setWhenNotEmpty(std::optional<std::string>& field, const std::string& value) {
    const std::string text = trimmed(value);
    if (!text.empty()) {
        field = text;
    }
}
