// The tolerant parser of xmlNode. A first pass reads the tokens of a small
// document (or the head of a large one) into a buffer on the stack and
// counts each element's children there, so that the tree is built with
// every child list allocated once at its full size. Past the buffer the
// parser reads tokens as it goes and sizes child lists from the last
// element at the same depth.
#include <cstdint>
#include <cstring>

#include "documents/xml_node.h"
#include "documents/xml_text.h"

namespace {

using xmlText::appendUnescaped;
using xmlText::isTagSpace;

// ---------------------------------------------------------------------------
// Tokenizer

enum class TokenKind : unsigned char {
    endOfInput,
    malformedTag,
    textRun,
    instruction,
    markup,
    endTag,
    emptyTag,
    startTag
};

struct Token {
    TokenKind kind;
    // An "&" somewhere in the tag or the text run; without one the content
    // needs no decoding.
    bool hasReference;
    // Start tags counted by the first pass: whether the end tag was reached,
    // and the child elements seen up to then.
    bool counted;
    std::uint32_t childCount;
    std::size_t start;
    std::size_t length;
    // The position after the token.
    std::size_t next;
};

// Tokens are written in place (returning them by value costs a stalled copy
// per token).
void setToken(Token& out, TokenKind kind, std::size_t start, std::size_t length, std::size_t next,
              bool hasReference) {
    out.kind = kind;
    out.hasReference = hasReference;
    out.counted = false;
    out.childCount = 0;
    out.start = start;
    out.length = length;
    out.next = next;
}

void classifyTag(Token& out, const char* data, std::size_t first, std::size_t last,
                 std::size_t next, bool hasReference) {
    const std::size_t length = last - first;
    if (data[first] == '?' && data[last - 1] == '?') {
        return setToken(out, TokenKind::instruction, first + 1, length >= 2 ? length - 2 : 0, next,
                        hasReference);
    }
    if (data[first] == '!') {
        return setToken(out, TokenKind::markup, first + 1, length - 1, next, hasReference);
    }
    if (data[first] == '/') {
        return setToken(out, TokenKind::endTag, first + 1, length - 1, next, hasReference);
    }
    if (data[last - 1] == '/') {
        return setToken(out, TokenKind::emptyTag, first, length - 1, next, hasReference);
    }
    return setToken(out, TokenKind::startTag, first, length, next, hasReference);
}

// Scanning eight bytes at a time for a stop byte or an "&".
constexpr std::uint64_t everyByte = 0x0101010101010101ULL;
constexpr std::uint64_t highBits = 0x8080808080808080ULL;

// Nonzero when a byte of word equals the byte repeated in pattern.
inline std::uint64_t anyByteEqual(std::uint64_t word, std::uint64_t pattern) {
    const std::uint64_t v = word ^ pattern;
    return (v - everyByte) & ~v & highBits;
}

struct Scan {
    std::size_t stop; // the stop byte's position, or size
    bool hasReference;
};

// Finds the first stop byte at or after position and tells whether an "&"
// comes before it.
Scan scanTo(const char* data, std::size_t size, std::size_t position, char stop) {
    const std::uint64_t stopPattern = everyByte * static_cast<unsigned char>(stop);
    const std::uint64_t ampPattern = everyByte * static_cast<unsigned char>('&');
    std::size_t p = position;
    while (p + 8 <= size) {
        std::uint64_t word;
        std::memcpy(&word, data + p, 8);
        const std::uint64_t found =
            anyByteEqual(word, stopPattern) | anyByteEqual(word, ampPattern);
        if (found != 0) {
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
            // The lowest flagged byte is always a true match (a false flag
            // can only follow a true one), so it is the first in memory.
            p += static_cast<std::size_t>(__builtin_ctzll(found)) / 8;
#endif
            break;
        }
        p += 8;
    }
    for (; p < size; ++p) {
        if (data[p] == stop) {
            return {p, false};
        }
        if (data[p] == '&') {
            const void* found = std::memchr(data + p, stop, size - p);
            const std::size_t at =
                found == nullptr ? size
                                 : static_cast<std::size_t>(static_cast<const char*>(found) - data);
            return {at, true};
        }
    }
    return {size, false};
}

// A tag from the "<" at position to the first ">" after it.
void readTag(Token& out, const char* data, std::size_t size, std::size_t position) {
    const std::size_t open = position;
    const Scan scan = scanTo(data, size, open + 1, '>');
    if (scan.stop >= size) {
        return setToken(out, TokenKind::malformedTag, open, 0, position, false);
    }
    const std::size_t close = scan.stop;
    std::size_t first = open + 1;
    std::size_t last = close;
    while (first < last && isTagSpace(data[first])) {
        ++first;
    }
    while (last > first && isTagSpace(data[last - 1])) {
        --last;
    }
    if (first == last) {
        return setToken(out, TokenKind::malformedTag, open, 0, position, false);
    }
    return classifyTag(out, data, first, last, close + 1, scan.hasReference);
}

void nextToken(Token& out, const char* data, std::size_t size, std::size_t position) {
    while (position < size && isTagSpace(data[position])) {
        ++position;
    }
    if (position >= size) {
        return setToken(out, TokenKind::endOfInput, position, 0, position, false);
    }
    if (data[position] == '<') {
        return readTag(out, data, size, position);
    }
    const Scan scan = scanTo(data, size, position, '<');
    return setToken(out, TokenKind::textRun, position, scan.stop - position, scan.stop,
                    scan.hasReference);
}

// ---------------------------------------------------------------------------
// First pass

// The tokens of the first pass, on the stack.
class TokenBuffer {
  public:
    static constexpr std::size_t capacity = 128;

    bool full() const { return count_ == capacity; }
    std::size_t size() const { return count_; }
    // The next free slot, taken.
    Token& add() { return items_[count_++]; }
    Token& operator[](std::size_t index) { return items_[index]; }
    const Token& operator[](std::size_t index) const { return items_[index]; }

  private:
    Token items_[capacity];
    std::size_t count_ = 0;
};

// Reads tokens as the parser will take them, up to the token at which the
// parser necessarily stops or until the buffer is full, and counts the
// children of each start tag whose element closes within the buffer.
void readAhead(const char* data, std::size_t size, std::size_t position, TokenBuffer& tokens) {
    std::size_t open[xmlNode::maxDepth + 1];
    int depth = 0;
    while (!tokens.full()) {
        const std::size_t index = tokens.size();
        Token& token = tokens.add();
        nextToken(token, data, size, position);
        position = token.next;
        switch (token.kind) {
        case TokenKind::startTag:
        case TokenKind::emptyTag:
            if (depth > 0) {
                if (depth >= xmlNode::maxDepth) {
                    return;
                }
                ++tokens[open[depth - 1]].childCount;
            } else if (token.kind == TokenKind::emptyTag) {
                return;
            }
            if (token.kind == TokenKind::startTag) {
                open[depth++] = index;
            }
            break;
        case TokenKind::endTag:
            if (depth == 0) {
                return;
            }
            tokens[open[--depth]].counted = true;
            if (depth == 0) {
                return;
            }
            break;
        case TokenKind::textRun:
        case TokenKind::markup:
            if (depth == 0) {
                return;
            }
            break;
        case TokenKind::instruction:
            break;
        case TokenKind::endOfInput:
        case TokenKind::malformedTag:
            return;
        }
    }
}

// ---------------------------------------------------------------------------
// Parser

struct ParseState {
    const char* data;
    std::size_t size;
    const TokenBuffer& tokens;
    std::size_t replayed;
    // Children of the last element with children at each depth, the guess
    // for an element whose children were not counted.
    std::uint32_t lastChildCount[xmlNode::maxDepth + 1];
    Token live;

    ParseState(const char* source, std::size_t sourceSize, const TokenBuffer& buffer)
        : data(source), size(sourceSize), tokens(buffer), replayed(0), lastChildCount(), live() {}

    // The next token; valid until the following call.
    const Token& next(std::size_t position) {
        if (replayed < tokens.size()) {
            return tokens[replayed++];
        }
        nextToken(live, data, size, position);
        return live;
    }

    // How many children to make room for in an element opened by tag.
    std::size_t expectedChildren(const Token& tag, int depth) const {
        if (tag.counted) {
            return tag.childCount;
        }
        std::size_t guess = lastChildCount[depth] > 0 ? lastChildCount[depth] : 4;
        return tag.childCount > guess ? tag.childCount : guess;
    }
};

// The element name is the first word of the tag content, decoded.
void setNameFromTag(xmlNode& node, const char* data, const Token& tag) {
    std::size_t length = 0;
    while (length < tag.length && !isTagSpace(data[tag.start + length])) {
        ++length;
    }
    if (tag.hasReference) {
        node.name.clear();
        appendUnescaped(node.name, data + tag.start, length);
    } else {
        node.name = std::string(data + tag.start, length);
    }
}

// Names compared as zero-terminated strings: each ends at its first zero.
bool sameTerminated(const char* a, std::size_t aSize, const char* b, std::size_t bSize) {
    const std::size_t aLength = xmlText::terminatedLength(a, aSize);
    return aLength == xmlText::terminatedLength(b, bSize) && std::memcmp(a, b, aLength) == 0;
}

bool endTagMatches(const std::string& name, const char* data, const Token& tag) {
    const char* content = data + tag.start;
    if (!tag.hasReference) {
        if (tag.length == name.size() && std::memcmp(content, name.data(), tag.length) == 0) {
            return true;
        }
        return sameTerminated(name.data(), name.size(), content, tag.length);
    }
    std::string decoded;
    appendUnescaped(decoded, content, tag.length);
    return sameTerminated(name.data(), name.size(), decoded.data(), decoded.size());
}

void appendText(std::string& text, const char* data, const Token& run) {
    if (run.hasReference) {
        appendUnescaped(text, data + run.start, run.length);
    } else {
        text.append(data + run.start, run.length);
    }
}

void appendCdata(std::string& text, const char* data, const Token& markup) {
    static const char opener[] = "[CDATA[";
    const std::size_t openerLength = sizeof(opener) - 1;
    const char* content = data + markup.start;
    if (markup.length < openerLength + 2 || std::memcmp(content, opener, openerLength) != 0 ||
        content[markup.length - 2] != ']' || content[markup.length - 1] != ']') {
        return; // a comment or a document type
    }
    text.append(content + openerLength, markup.length - openerLength - 2);
}

int parseContent(ParseState& state, xmlNode& node, std::size_t expected, std::size_t& position,
                 int depth);

// Appends the child opened by tag and reads it.
int parseChild(ParseState& state, xmlNode& node, std::size_t expected, const Token& tag,
               std::size_t& position, int depth) {
    if (node.children.empty() && node.children.capacity() < expected) {
        node.children.reserve(expected);
    }
    node.children.emplace_back();
    xmlNode& child = node.children.back();
    setNameFromTag(child, state.data, tag);
    if (tag.kind == TokenKind::emptyTag) {
        return xmlStatus::complete;
    }
    return parseContent(state, child, state.expectedChildren(tag, depth + 1), position, depth + 1);
}

// Reads the content of an opened element up to and including its end tag.
int parseContent(ParseState& state, xmlNode& node, std::size_t expected, std::size_t& position,
                 int depth) {
    for (;;) {
        const std::size_t before = position;
        const Token& token = state.next(position);
        position = token.next;
        switch (token.kind) {
        case TokenKind::startTag:
        case TokenKind::emptyTag: {
            if (depth >= xmlNode::maxDepth) {
                position = before;
                return xmlStatus::tooDeep;
            }
            const int status = parseChild(state, node, expected, token, position, depth);
            if (status < 0) {
                return status;
            }
            break;
        }
        case TokenKind::endTag:
            if (!node.children.empty()) {
                state.lastChildCount[depth] = static_cast<std::uint32_t>(node.children.size());
            }
            return endTagMatches(node.name, state.data, token) ? xmlStatus::complete
                                                               : xmlStatus::endTagMismatch;
        case TokenKind::textRun:
            appendText(node.text, state.data, token);
            break;
        case TokenKind::markup:
            appendCdata(node.text, state.data, token);
            break;
        case TokenKind::instruction:
            break;
        case TokenKind::endOfInput:
            return xmlStatus::endOfInput;
        case TokenKind::malformedTag:
            return xmlStatus::malformedTag;
        }
        if (position == before) {
            return xmlStatus::noProgress;
        }
    }
}

} // namespace

int xmlNode::parse(const std::string& source, std::size_t& position) {
    return parse(source.data(), source.size(), position);
}

int xmlNode::parse(const char* data, std::size_t size, std::size_t& position) {
    clear();
    text.clear();
    if (data == nullptr) {
        size = 0;
    }
    TokenBuffer tokens;
    readAhead(data, size, position, tokens);
    ParseState state(data, size, tokens);
    for (;;) {
        const std::size_t before = position;
        const Token& token = state.next(position);
        position = token.next;
        switch (token.kind) {
        case TokenKind::startTag:
            setNameFromTag(*this, data, token);
            return parseContent(state, *this, state.expectedChildren(token, 1), position, 1);
        case TokenKind::emptyTag:
            setNameFromTag(*this, data, token);
            return xmlStatus::complete;
        case TokenKind::endTag:
            return xmlStatus::endBeforeStart;
        case TokenKind::textRun:
        case TokenKind::markup:
            return xmlStatus::textBeforeStart;
        case TokenKind::instruction:
            break;
        case TokenKind::endOfInput:
            return xmlStatus::endOfInput;
        case TokenKind::malformedTag:
            return xmlStatus::malformedTag;
        }
        if (position == before) {
            return xmlStatus::noProgress;
        }
    }
}
