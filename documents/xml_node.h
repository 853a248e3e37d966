// The XML element and document used for every host message and for the
// records kept in host variables. Elements know a name, a text and ordered
// children only; attributes are read past and never written.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Byte-by-byte output escaping: "<" and "&" become entities, every byte
// outside 33..126 becomes a decimal character reference.
std::string escapeText(const std::string& raw);
void appendEscaped(std::string& out, const std::string& raw);

// Input decoding of tag names and text runs (not CDATA).
std::string unescapeText(const char* data, std::size_t length);

class xmlNode {
  public:
    std::string name;
    std::string text;
    std::vector<xmlNode> children;

    xmlNode() = default;
    // Parses a zero-terminated text (parsing stops at the first zero byte).
    explicit xmlNode(const char* source);
    // Deep copy: an empty element followed by assign(source).
    xmlNode(const xmlNode& source);
    xmlNode(xmlNode&&) noexcept = default;
    // Plain value copy (takes the source's name as well).
    xmlNode& operator=(const xmlNode& source);
    xmlNode& operator=(xmlNode&&) noexcept = default;
    ~xmlNode() = default;

    // Index of the first child with this name, or -1.
    int findChild(const std::string& childName) const;
    // Appends an empty child and returns its index.
    int addChild(const std::string& childName);
    // The first child with this name, appended when there is none.
    xmlNode& getChild(const std::string& childName);
    xmlNode& child(int index) { return children[static_cast<std::size_t>(index)]; }
    const xmlNode& child(int index) const { return children[static_cast<std::size_t>(index)]; }
    std::string getChildText(const std::string& childName, const std::string& fallback) const;

    // The same lookups for a zero-terminated name, without a string copy of it.
    int findChild(const char* childName) const;
    int addChild(const char* childName);
    xmlNode& getChild(const char* childName);
    std::string getChildText(const char* childName, const std::string& fallback) const;

    void setText(const std::string& value) { text = value; }
    int setText(int value);
    // Base-10 integer with leading white space and sign; the fallback when no
    // digit can be read or the value does not fit 32 bits.
    int getTextInt(int fallback) const;

    // Keeps this element's own name when it has one, takes the source's text
    // and a deep copy of its subtree (and its name when this one is unnamed).
    void assign(const xmlNode& source);
    // Empties the name and drops every child; the text stays.
    void clear();

    // Elements nest at most this deep when parsed; a deeper start tag stops
    // the parse with xmlStatus::tooDeep.
    static constexpr int maxDepth = 256;

    // Parses one element starting at position; returns 0 or a negative status
    // and keeps what was built so far. Name, text and children are replaced.
    int parse(const std::string& source, std::size_t& position);
    int parse(const char* data, std::size_t size, std::size_t& position);
    int serialize(std::string& out, int depth) const;
    std::string toString() const;
};

// Appends a child with this name and text, after any of the same name.
void appendChild(xmlNode& element, const char* name, const std::string& value);

// True when the element has a child of this name whose text reads 1.
bool childReadsOne(const xmlNode& element, const char* name);

// Appends element's text at depth as serialize does, but with name in place
// of the element's own (the text of a copy of element renamed to name).
void serializeNamed(std::string& out, const xmlNode& element, const std::string& name, int depth);

class xmlDoc : public xmlNode {
  public:
    std::string version = "1.0";

    xmlDoc() = default;
    explicit xmlDoc(const std::string& source);
    xmlDoc(const xmlDoc& source) = default;
    xmlDoc(xmlDoc&&) noexcept = default;
    xmlDoc& operator=(const xmlDoc& source) = default;
    xmlDoc& operator=(xmlDoc&&) noexcept = default;

    // The declaration line, then the root element.
    std::string toString() const;
};

// Parse status values.
namespace xmlStatus {
constexpr int complete = 0;
constexpr int malformedTag = -1;
constexpr int endOfInput = -2;
constexpr int textBeforeStart = -3;
constexpr int endBeforeStart = -4;
constexpr int endTagMismatch = -5;
constexpr int noProgress = -6;
constexpr int tooDeep = -7;
} // namespace xmlStatus
