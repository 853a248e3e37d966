#include "documents/xml_node.h"

#include <cstdint>
#include <cstring>
#include <utility>

namespace {

// White space between and inside tags.
bool isTagSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// White space skipped before a number.
bool isNumberSpace(char c) {
    return isTagSpace(c) || c == '\f' || c == '\v';
}

// ---------------------------------------------------------------------------
// Output escaping

bool isPlainByte(unsigned char b) {
    return b >= 33 && b <= 126 && b != '<' && b != '&';
}

void appendCharacterReference(std::string& out, unsigned char b) {
    char buffer[6];
    std::size_t length = 0;
    buffer[length++] = '&';
    buffer[length++] = '#';
    if (b >= 100) {
        buffer[length++] = static_cast<char>('0' + b / 100);
    }
    if (b >= 10) {
        buffer[length++] = static_cast<char>('0' + (b / 10) % 10);
    }
    buffer[length++] = static_cast<char>('0' + b % 10);
    buffer[length++] = ';';
    out.append(buffer, length);
}

void appendEscapedBytes(std::string& out, const char* data, std::size_t size) {
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        if (isPlainByte(b)) {
            continue;
        }
        out.append(data + runStart, i - runStart);
        if (b == '<') {
            out.append("&lt;", 4);
        } else if (b == '&') {
            out.append("&amp;", 5);
        } else {
            appendCharacterReference(out, b);
        }
        runStart = i + 1;
    }
    out.append(data + runStart, size - runStart);
}

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

// Decodes "&#...;" or "&#x...;" at data[i]. Returns the bytes consumed, or 0
// when no semicolon closes the body within its nine bytes.
std::size_t decodeNumericReference(std::string& out, const char* data, std::size_t size,
                                   std::size_t i) {
    std::size_t body = i + 2;
    int base = 10;
    if (body < size && data[body] == 'x') {
        ++body;
        base = 16;
    }
    const std::size_t last = body + 9 < size ? body + 9 : size - 1;
    for (std::size_t j = body + 1; j <= last; ++j) {
        if (data[j] == ';') {
            out += referenceByte(data + body, data + j, base);
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

void appendUnescaped(std::string& out, const char* data, std::size_t size) {
    std::size_t i = 0;
    while (i < size) {
        const void* found = std::memchr(data + i, '&', size - i);
        if (found == nullptr) {
            out.append(data + i, size - i);
            return;
        }
        const auto amp = static_cast<std::size_t>(static_cast<const char*>(found) - data);
        out.append(data + i, amp - i);
        i = amp;
        if (i + 1 < size && data[i + 1] == '#') {
            const std::size_t consumed = decodeNumericReference(out, data, size, i);
            if (consumed == 0) {
                out += '&';
                ++i;
            } else {
                i += consumed;
            }
            continue;
        }
        const NamedReference ref = namedReference(data, size, i);
        if (i + ref.length > size) {
            // The reference runs past the end: keep its bytes as they stand.
            out.append(data + i, size - i);
            return;
        }
        out += ref.byte;
        i += ref.length;
    }
}

// Byte strings compared as zero-terminated strings: each ends at its first
// zero byte.
std::size_t terminatedLength(const char* data, std::size_t size) {
    const void* zero = std::memchr(data, '\0', size);
    return zero == nullptr ? size : static_cast<std::size_t>(static_cast<const char*>(zero) - data);
}

bool sameTerminated(const char* a, std::size_t aSize, const char* b, std::size_t bSize) {
    const std::size_t aLength = terminatedLength(a, aSize);
    return aLength == terminatedLength(b, bSize) && std::memcmp(a, b, aLength) == 0;
}

// ---------------------------------------------------------------------------
// Tokenizer

enum class TokenKind {
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
    std::size_t start;
    std::size_t length;
};

Token classifyTag(const char* data, std::size_t first, std::size_t last) {
    const std::size_t length = last - first;
    if (data[first] == '?' && data[last - 1] == '?') {
        return {TokenKind::instruction, first + 1, length >= 2 ? length - 2 : 0};
    }
    if (data[first] == '!') {
        return {TokenKind::markup, first + 1, length - 1};
    }
    if (data[first] == '/') {
        return {TokenKind::endTag, first + 1, length - 1};
    }
    if (data[last - 1] == '/') {
        return {TokenKind::emptyTag, first, length - 1};
    }
    return {TokenKind::startTag, first, length};
}

Token readTag(const char* data, std::size_t size, std::size_t& position) {
    const std::size_t open = position;
    const void* found =
        open + 1 < size ? std::memchr(data + open + 1, '>', size - open - 1) : nullptr;
    if (found == nullptr) {
        return {TokenKind::malformedTag, open, 0};
    }
    const auto close = static_cast<std::size_t>(static_cast<const char*>(found) - data);
    std::size_t first = open + 1;
    std::size_t last = close;
    while (first < last && isTagSpace(data[first])) {
        ++first;
    }
    while (last > first && isTagSpace(data[last - 1])) {
        --last;
    }
    if (first == last) {
        return {TokenKind::malformedTag, open, 0};
    }
    position = close + 1;
    return classifyTag(data, first, last);
}

Token nextToken(const char* data, std::size_t size, std::size_t& position) {
    while (position < size && isTagSpace(data[position])) {
        ++position;
    }
    if (position >= size) {
        return {TokenKind::endOfInput, position, 0};
    }
    if (data[position] == '<') {
        return readTag(data, size, position);
    }
    const std::size_t start = position;
    const void* found = std::memchr(data + start, '<', size - start);
    position =
        found == nullptr ? size : static_cast<std::size_t>(static_cast<const char*>(found) - data);
    return {TokenKind::textRun, start, position - start};
}

// ---------------------------------------------------------------------------
// Parser

// The element name is the first word of the tag content, decoded.
void setNameFromTag(xmlNode& node, const char* data, const Token& tag) {
    std::size_t length = 0;
    while (length < tag.length && !isTagSpace(data[tag.start + length])) {
        ++length;
    }
    node.name.clear();
    appendUnescaped(node.name, data + tag.start, length);
}

bool endTagMatches(const std::string& name, const char* data, const Token& tag) {
    const char* content = data + tag.start;
    if (std::memchr(content, '&', tag.length) == nullptr) {
        return sameTerminated(name.data(), name.size(), content, tag.length);
    }
    std::string decoded;
    appendUnescaped(decoded, content, tag.length);
    return sameTerminated(name.data(), name.size(), decoded.data(), decoded.size());
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

// Reads the content of an opened element up to and including its end tag.
int parseContent(xmlNode& node, const char* data, std::size_t size, std::size_t& position,
                 int depth) {
    for (;;) {
        const std::size_t before = position;
        const Token token = nextToken(data, size, position);
        switch (token.kind) {
        case TokenKind::startTag:
        case TokenKind::emptyTag: {
            if (depth >= xmlNode::maxDepth) {
                position = before;
                return xmlStatus::tooDeep;
            }
            if (node.children.empty()) {
                node.children.reserve(4);
            }
            node.children.emplace_back();
            xmlNode& child = node.children.back();
            setNameFromTag(child, data, token);
            if (token.kind == TokenKind::startTag) {
                const int status = parseContent(child, data, size, position, depth + 1);
                if (status < 0) {
                    return status;
                }
            }
            break;
        }
        case TokenKind::endTag:
            return endTagMatches(node.name, data, token) ? xmlStatus::complete
                                                         : xmlStatus::endTagMismatch;
        case TokenKind::textRun:
            appendUnescaped(node.text, data + token.start, token.length);
            break;
        case TokenKind::markup:
            appendCdata(node.text, data, token);
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

std::string escapeText(const std::string& raw) {
    std::string out;
    out.reserve(raw.size());
    appendEscapedBytes(out, raw.data(), raw.size());
    return out;
}

void appendEscaped(std::string& out, const std::string& raw) {
    appendEscapedBytes(out, raw.data(), raw.size());
}

std::string unescapeText(const char* data, std::size_t length) {
    std::string out;
    if (data != nullptr) {
        out.reserve(length);
        appendUnescaped(out, data, length);
    }
    return out;
}

// ---------------------------------------------------------------------------
// xmlNode

xmlNode::xmlNode(const char* source) {
    if (source != nullptr) {
        std::size_t position = 0;
        parse(source, std::strlen(source), position);
    }
}

xmlNode::xmlNode(const xmlNode& source)
    : name(source.name), text(source.text), children(source.children) {}

xmlNode& xmlNode::operator=(const xmlNode& source) {
    // Copy first: the source may be this element or lie inside its subtree.
    xmlNode copy(source);
    *this = std::move(copy);
    return *this;
}

int xmlNode::findChild(const std::string& childName) const {
    const std::size_t keyLength = terminatedLength(childName.data(), childName.size());
    const char* key = childName.data();
    for (std::size_t i = 0; i < children.size(); ++i) {
        const std::string& candidate = children[i].name;
        if (candidate.size() >= keyLength && std::memcmp(candidate.data(), key, keyLength) == 0 &&
            (candidate.size() == keyLength || candidate[keyLength] == '\0')) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int xmlNode::addChild(const std::string& childName) {
    children.emplace_back();
    children.back().name = childName;
    return static_cast<int>(children.size() - 1);
}

xmlNode& xmlNode::getChild(const std::string& childName) {
    int index = findChild(childName);
    if (index < 0) {
        index = addChild(childName);
    }
    return child(index);
}

std::string xmlNode::getChildText(const std::string& childName, const std::string& fallback) const {
    const int index = findChild(childName);
    return index < 0 ? fallback : child(index).text;
}

int xmlNode::setText(int value) {
    text = std::to_string(value);
    return value;
}

int xmlNode::getTextInt(int fallback) const {
    std::size_t i = 0;
    const std::size_t size = text.size();
    while (i < size && isNumberSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < size && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t value = 0;
    bool anyDigit = false;
    for (; i < size && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) {
            return fallback;
        }
        anyDigit = true;
    }
    if (!anyDigit) {
        return fallback;
    }
    return static_cast<int>(negative ? -value : value);
}

void xmlNode::assign(const xmlNode& source) {
    // The new content is built before the old is dropped, so the source may
    // be this element or one of its descendants.
    std::vector<xmlNode> copiedChildren(source.children);
    std::string copiedText(source.text);
    if (name.empty()) {
        name = source.name;
    }
    text = std::move(copiedText);
    children = std::move(copiedChildren);
}

void xmlNode::clear() {
    name.clear();
    children.clear();
}

int xmlNode::parse(const std::string& source, std::size_t& position) {
    return parse(source.data(), source.size(), position);
}

int xmlNode::parse(const char* data, std::size_t size, std::size_t& position) {
    clear();
    text.clear();
    if (data == nullptr) {
        size = 0;
    }
    for (;;) {
        const std::size_t before = position;
        const Token token = nextToken(data, size, position);
        switch (token.kind) {
        case TokenKind::startTag:
            setNameFromTag(*this, data, token);
            return parseContent(*this, data, size, position, 1);
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

namespace {

void appendName(std::string& out, const std::string& name) {
    if (name.empty()) {
        out.append(" no name ", 9);
    } else {
        appendEscapedBytes(out, name.data(), name.size());
    }
}

} // namespace

int xmlNode::serialize(std::string& out, int depth) const {
    const auto indent = static_cast<std::size_t>(depth > 0 ? depth : 0);
    out.append(indent, ' ');
    out += '<';
    appendName(out, name);
    if (!children.empty()) {
        out += '>';
        appendEscapedBytes(out, text.data(), text.size());
        out += '\n';
        for (const xmlNode& element : children) {
            element.serialize(out, depth + 1);
        }
        out.append(indent, ' ');
        out.append("</", 2);
        appendName(out, name);
        out.append(">\n", 2);
    } else if (!text.empty()) {
        out += '>';
        appendEscapedBytes(out, text.data(), text.size());
        out.append("</", 2);
        appendName(out, name);
        out.append(">\n", 2);
    } else {
        out.append("/>\n", 3);
    }
    return 0;
}

std::string xmlNode::toString() const {
    std::string out;
    serialize(out, 0);
    return out;
}

// ---------------------------------------------------------------------------
// xmlDoc

xmlDoc::xmlDoc(const std::string& source) {
    std::size_t position = 0;
    parse(source, position);
}

std::string xmlDoc::toString() const {
    std::string out;
    out.reserve(32 + text.size());
    out.append("<?xml version=\"", 15);
    out += version;
    out.append("\" ?>\r\n", 6);
    serialize(out, 0);
    return out;
}
