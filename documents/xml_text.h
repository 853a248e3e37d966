// Byte-level helpers shared by the XML parser and serialiser: output
// escaping into a sized buffer and input decoding of names and text runs.
#pragma once

#include <cstddef>
#include <string>

namespace xmlText {

// The number of bytes the escaped form of the bytes takes.
std::size_t escapedLength(const char* data, std::size_t size);

// Writes the escaped form of the bytes at out, which has room for
// escapedLength(data, size) bytes; returns the end of what was written.
char* writeEscaped(char* out, const char* data, std::size_t size);

// Appends the decoded form of the bytes (references resolved) to out.
void appendUnescaped(std::string& out, const char* data, std::size_t size);

// White space between and inside tags.
inline bool isTagSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// White space skipped before a number.
inline bool isNumberSpace(char c) {
    return isTagSpace(c) || c == '\f' || c == '\v';
}

// The length of a byte string read as zero-terminated.
std::size_t terminatedLength(const char* data, std::size_t size);

} // namespace xmlText
