// The simulator's own small XML element: enough to read what the module
// sends and to write what a host answers. It is deliberately independent of
// the module's XML code, so that a fault there cannot hide itself here.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace sim {

struct XmlElement {
    std::string name;
    std::string text;
    std::vector<XmlElement> children;
    std::vector<std::pair<std::string, std::string>> attributes{}; // in document order

    // The first child of that name, or null.
    const XmlElement* find(const std::string& childName) const;
    XmlElement* find(const std::string& childName);
    // The text of the first child of that name, or fallback when absent.
    std::string childText(const std::string& childName, const std::string& fallback = {}) const;
    bool has(const std::string& childName) const { return find(childName) != nullptr; }
    // Appends a child and returns it.
    XmlElement& add(const std::string& childName, const std::string& childText = {});
    // The first child of that name, appended when absent.
    XmlElement& child(const std::string& childName);
    // The value of the attribute of that name; false when absent.
    bool attribute(const std::string& attributeName, std::string& value) const;
};

struct XmlParseResult {
    bool ok = false;
    XmlElement root;
    std::string error; // what went wrong, with the byte offset
};

// Parses one element tree; a declaration, comments and CDATA are accepted,
// quoted attributes are kept (anything else in a start tag is skipped).
// Never throws.
XmlParseResult parseXml(const std::string& text);

// Indented text of the element (no declaration). Every byte outside 33..126
// is written as a numeric reference, as the module itself writes.
std::string toXml(const XmlElement& element, int depth = 0);
// The declaration and the element, as a host message.
std::string toXmlDocument(const XmlElement& root);

// One-line readable form: Name{Key=value, Child{...}}; for transcripts.
std::string toCompactText(const XmlElement& element);

} // namespace sim
