#include "documents/xml_text.h"

#include <cstdint>
#include <cstring>

namespace xmlText {

namespace {

// ---------------------------------------------------------------------------
// Output escaping

// The escaped form of one byte: "<" and "&" as entities, every byte outside
// 33..126 as a decimal character reference, any other byte as itself.
struct EscapeTable {
    unsigned char length[256];
    char form[256][6];

    constexpr EscapeTable() : length(), form() {
        for (int b = 0; b < 256; ++b) {
            length[b] = static_cast<unsigned char>(fill(form[b], b));
        }
    }

  private:
    static constexpr std::size_t copy(char* out, const char* entity) {
        std::size_t n = 0;
        for (; entity[n] != '\0'; ++n) {
            out[n] = entity[n];
        }
        return n;
    }

    static constexpr std::size_t fill(char* out, int b) {
        if (b == '<') {
            return copy(out, "&lt;");
        }
        if (b == '&') {
            return copy(out, "&amp;");
        }
        std::size_t n = 0;
        if (b >= 33 && b <= 126) {
            out[n++] = static_cast<char>(b);
            return n;
        }
        out[n++] = '&';
        out[n++] = '#';
        if (b >= 100) {
            out[n++] = static_cast<char>('0' + b / 100);
        }
        if (b >= 10) {
            out[n++] = static_cast<char>('0' + (b / 10) % 10);
        }
        out[n++] = static_cast<char>('0' + b % 10);
        out[n++] = ';';
        return n;
    }
};

constexpr EscapeTable escapes{};

// ---------------------------------------------------------------------------
// Input decoding

int digitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The body of a numeric reference read as an integer (white space, sign,
// digits of the base up to the first other byte); its low 8 bits.
char referenceByte(const char* p, const char* end, int base) {
    while (p < end && isNumberSpace(*p)) {
        ++p;
    }
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    std::uint32_t value = 0; // wraps modulo 2^32, which keeps the low 8 bits exact
    for (; p < end; ++p) {
        const int digit = digitValue(*p);
        if (digit < 0 || digit >= base) {
            break;
        }
        value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
    }
    if (negative) {
        value = 0u - value;
    }
    return static_cast<char>(static_cast<unsigned char>(value & 0xFFu));
}

// Decodes "&#...;" or "&#x...;" at data[i] into *out. Returns the bytes
// consumed, or 0 when no semicolon closes the body within its nine bytes.
std::size_t decodeNumericReference(char* out, const char* data, std::size_t size, std::size_t i) {
    std::size_t body = i + 2;
    int base = 10;
    if (body < size && data[body] == 'x') {
        ++body;
        base = 16;
    }
    const std::size_t last = body + 9 < size ? body + 9 : size - 1;
    for (std::size_t j = body + 1; j <= last; ++j) {
        if (data[j] == ';') {
            *out = referenceByte(data + body, data + j, base);
            return j + 1 - i;
        }
    }
    return 0;
}

struct NamedReference {
    char byte;
    std::size_t length;
};

// Named references are told apart by their leading letters only.
NamedReference namedReference(const char* data, std::size_t size, std::size_t i) {
    if (i + 1 >= size) {
        return {'&', 1};
    }
    switch (data[i + 1]) {
    case 'l':
        return {'<', 4};
    case 'g':
        return {'>', 4};
    case 'q':
        return {'"', 6};
    case 'a':
        if (i + 2 < size && data[i + 2] == 'm') {
            return {'&', 5};
        }
        return {'\'', 6};
    default:
        return {'&', 1};
    }
}

// Copies the bytes from data[i] up to the first "&" (or the end) to out and
// returns the position of that "&", or size. A short run (references close
// together) is copied byte by byte; a long one in one piece.
std::size_t copyToReference(char*& out, const char* data, std::size_t size, std::size_t i) {
    constexpr std::size_t shortRun = 16;
    const std::size_t inlineEnd = size - i > shortRun ? i + shortRun : size;
    for (; i < inlineEnd; ++i) {
        if (data[i] == '&') {
            return i;
        }
        *out++ = data[i];
    }
    if (i == size) {
        return size;
    }
    const void* amp = std::memchr(data + i, '&', size - i);
    const std::size_t next =
        amp == nullptr ? size : static_cast<std::size_t>(static_cast<const char*>(amp) - data);
    std::memmove(out, data + i, next - i);
    out += next - i;
    return next;
}

// Decodes the bytes into out, which has room for size bytes (decoding never
// lengthens a text); returns the end of what was written.
char* writeUnescaped(char* out, const char* data, std::size_t size) {
    std::size_t i = 0;
    while (i < size) {
        i = copyToReference(out, data, size, i);
        if (i >= size) {
            break;
        }
        if (i + 1 < size && data[i + 1] == '#') {
            const std::size_t consumed = decodeNumericReference(out, data, size, i);
            if (consumed == 0) {
                *out++ = '&';
                ++i;
            } else {
                ++out;
                i += consumed;
            }
            continue;
        }
        const NamedReference ref = namedReference(data, size, i);
        if (i + ref.length > size) {
            // The reference runs past the end: keep its bytes as they stand.
            std::memcpy(out, data + i, size - i);
            return out + (size - i);
        }
        *out++ = ref.byte;
        i += ref.length;
    }
    return out;
}

} // namespace

std::size_t escapedLength(const char* data, std::size_t size) {
    std::size_t total = 0;
    for (std::size_t i = 0; i < size; ++i) {
        total += escapes.length[static_cast<unsigned char>(data[i])];
    }
    return total;
}

char* writeEscaped(char* out, const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        const std::size_t n = escapes.length[b];
        if (n == 1) {
            *out++ = static_cast<char>(b);
            continue;
        }
        const char* form = escapes.form[b];
        for (std::size_t k = 0; k < n; ++k) {
            out[k] = form[k];
        }
        out += n;
    }
    return out;
}

void appendUnescaped(std::string& out, const char* data, std::size_t size) {
    if (size == 0) {
        return;
    }
    const void* amp = std::memchr(data, '&', size);
    if (amp == nullptr) {
        out.append(data, size);
        return;
    }
    const std::size_t old = out.size();
    out.resize(old + size);
    char* begin = &out[0];
    char* end = writeUnescaped(begin + old, data, size);
    out.resize(static_cast<std::size_t>(end - begin));
}

std::size_t terminatedLength(const char* data, std::size_t size) {
    const void* zero = std::memchr(data, '\0', size);
    return zero == nullptr ? size : static_cast<std::size_t>(static_cast<const char*>(zero) - data);
}

} // namespace xmlText
