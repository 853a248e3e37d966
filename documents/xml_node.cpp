#include "documents/xml_node.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "documents/xml_text.h"

namespace {

// Child lists built by addChild start with room for this many.
constexpr std::size_t firstChildCapacity = 8;

// ---------------------------------------------------------------------------
// Serialisation: the length of an element's text is worked out first, so
// that the output grows once and is then written in place.

const char unnamed[] = " no name ";
constexpr std::size_t unnamedLength = sizeof(unnamed) - 1;

std::size_t nameLength(const std::string& name) {
    return name.empty() ? unnamedLength : xmlText::escapedLength(name.data(), name.size());
}

char* writeName(char* out, const std::string& name) {
    if (name.empty()) {
        std::memcpy(out, unnamed, unnamedLength);
        return out + unnamedLength;
    }
    return xmlText::writeEscaped(out, name.data(), name.size());
}

std::size_t indentOf(int depth) {
    return static_cast<std::size_t>(depth > 0 ? depth : 0);
}

// The element written under the name given (its children under their own).
std::size_t serializedLength(const xmlNode& node, const std::string& nodeName, int depth) {
    const std::size_t indent = indentOf(depth);
    const std::size_t name = nameLength(nodeName);
    if (!node.children.empty()) {
        std::size_t total =
            indent + 1 + name + 1 + xmlText::escapedLength(node.text.data(), node.text.size()) + 1;
        for (const xmlNode& element : node.children) {
            total += serializedLength(element, element.name, depth + 1);
        }
        return total + indent + 2 + name + 2;
    }
    if (!node.text.empty()) {
        return indent + 1 + name + 1 + xmlText::escapedLength(node.text.data(), node.text.size()) +
               2 + name + 2;
    }
    return indent + 1 + name + 3;
}

char* writeIndent(char* out, std::size_t indent) {
    std::memset(out, ' ', indent);
    return out + indent;
}

char* writeEndTag(char* out, const std::string& name) {
    *out++ = '<';
    *out++ = '/';
    out = writeName(out, name);
    *out++ = '>';
    *out++ = '\n';
    return out;
}

char* writeElement(char* out, const xmlNode& node, const std::string& nodeName, int depth) {
    const std::size_t indent = indentOf(depth);
    out = writeIndent(out, indent);
    *out++ = '<';
    out = writeName(out, nodeName);
    if (!node.children.empty()) {
        *out++ = '>';
        out = xmlText::writeEscaped(out, node.text.data(), node.text.size());
        *out++ = '\n';
        for (const xmlNode& element : node.children) {
            out = writeElement(out, element, element.name, depth + 1);
        }
        out = writeIndent(out, indent);
        return writeEndTag(out, nodeName);
    }
    if (!node.text.empty()) {
        *out++ = '>';
        out = xmlText::writeEscaped(out, node.text.data(), node.text.size());
        return writeEndTag(out, nodeName);
    }
    *out++ = '/';
    *out++ = '>';
    *out++ = '\n';
    return out;
}

// Appends the element's text, of the given length, to out. The output is
// written in place: out must not be one of the strings the element is read
// from (see appendElementSafely).
void appendElement(std::string& out, const xmlNode& node, const std::string& nodeName, int depth,
                   std::size_t length) {
    const std::size_t old = out.size();
    out.resize(old + length);
    writeElement(&out[0] + old, node, nodeName, depth);
}

// True when out is the name given or a name or text of the element's tree.
bool readsFrom(const std::string& out, const xmlNode& node, const std::string& nodeName) {
    if (&out == &nodeName || &out == &node.name || &out == &node.text) {
        return true;
    }
    for (const xmlNode& element : node.children) {
        if (readsFrom(out, element, element.name)) {
            return true;
        }
    }
    return false;
}

// appendElement for a caller's string, which may be part of the element
// itself: then the text is built on its own and appended when complete.
void appendElementSafely(std::string& out, const xmlNode& node, const std::string& nodeName,
                         int depth) {
    const std::size_t length = serializedLength(node, nodeName, depth);
    if (!readsFrom(out, node, nodeName)) {
        appendElement(out, node, nodeName, depth, length);
        return;
    }
    std::string built;
    appendElement(built, node, nodeName, depth, length);
    out += built;
}

void appendEscapedBytes(std::string& out, const char* data, std::size_t size) {
    const std::size_t old = out.size();
    out.resize(old + xmlText::escapedLength(data, size));
    xmlText::writeEscaped(&out[0] + old, data, size);
}

} // namespace

std::string escapeText(const std::string& raw) {
    std::string out;
    appendEscapedBytes(out, raw.data(), raw.size());
    return out;
}

void appendEscaped(std::string& out, const std::string& raw) {
    if (&out == &raw) {
        const std::string copy(raw);
        appendEscapedBytes(out, copy.data(), copy.size());
        return;
    }
    appendEscapedBytes(out, raw.data(), raw.size());
}

std::string unescapeText(const char* data, std::size_t length) {
    std::string out;
    if (data != nullptr) {
        xmlText::appendUnescaped(out, data, length);
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

namespace {

int findByName(const std::vector<xmlNode>& children, const char* key, std::size_t keyLength) {
    for (std::size_t i = 0; i < children.size(); ++i) {
        const std::string& candidate = children[i].name;
        if (candidate.size() >= keyLength && std::memcmp(candidate.data(), key, keyLength) == 0 &&
            (candidate.size() == keyLength || candidate[keyLength] == '\0')) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Makes room before the first child is appended.
void prepareToAppend(std::vector<xmlNode>& children) {
    if (children.capacity() < firstChildCapacity) {
        children.reserve(firstChildCapacity);
    }
}

} // namespace

int xmlNode::findChild(const std::string& childName) const {
    return findByName(children, childName.data(),
                      xmlText::terminatedLength(childName.data(), childName.size()));
}

int xmlNode::findChild(const char* childName) const {
    return findByName(children, childName, std::strlen(childName));
}

int xmlNode::addChild(const std::string& childName) {
    prepareToAppend(children);
    children.emplace_back();
    children.back().name = childName;
    return static_cast<int>(children.size() - 1);
}

void appendChild(xmlNode& element, const char* name, const std::string& value) {
    element.child(element.addChild(name)).text = value;
}

bool childReadsOne(const xmlNode& element, const char* name) {
    const int index = element.findChild(name);
    return index >= 0 && element.child(index).getTextInt(0) == 1;
}

int xmlNode::addChild(const char* childName) {
    prepareToAppend(children);
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

xmlNode& xmlNode::getChild(const char* childName) {
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

std::string xmlNode::getChildText(const char* childName, const std::string& fallback) const {
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
    while (i < size && xmlText::isNumberSpace(text[i])) {
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

int xmlNode::serialize(std::string& out, int depth) const {
    appendElementSafely(out, *this, name, depth);
    return 0;
}

std::string xmlNode::toString() const {
    std::string out;
    appendElement(out, *this, name, 0, serializedLength(*this, name, 0));
    return out;
}

void serializeNamed(std::string& out, const xmlNode& element, const std::string& name, int depth) {
    appendElementSafely(out, element, name, depth);
}

// ---------------------------------------------------------------------------
// xmlDoc

xmlDoc::xmlDoc(const std::string& source) {
    std::size_t position = 0;
    parse(source, position);
}

std::string xmlDoc::toString() const {
    static const char opening[] = "<?xml version=\"";
    static const char closing[] = "\" ?>\r\n";
    const std::size_t declaration = sizeof(opening) - 1 + version.size() + sizeof(closing) - 1;
    const std::size_t length = serializedLength(*this, name, 0);
    std::string out;
    out.reserve(declaration + length);
    out.append(opening, sizeof(opening) - 1);
    out += version;
    out.append(closing, sizeof(closing) - 1);
    appendElement(out, *this, name, 0, length);
    return out;
}
