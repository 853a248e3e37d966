// The trim set used for identifiers, texts and numbers read from text:
// space, tab, line feed, carriage return, form feed, vertical tab.
#pragma once

inline bool isTrimByte(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
