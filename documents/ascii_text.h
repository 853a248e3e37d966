// Case mapping of ASCII letters only: the same bytes whatever locale the host
// process has set, and other bytes (UTF-8 sequences among them) left alone.
#pragma once

#include <string>

inline std::string upperCase(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}
