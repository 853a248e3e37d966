// Writing the simulator's XML elements: the host's messages, indented, and
// the one-line form of the transcripts.
#include "sim/host/sim_xml.h"

namespace sim {

namespace {

void escapeInto(std::string& out, const std::string& text) {
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (ch == '<') {
            out += "&lt;";
        } else if (ch == '&') {
            out += "&amp;";
        } else if (c < 33 || c > 126) {
            out += "&#" + std::to_string(c) + ';';
        } else {
            out += ch;
        }
    }
}

} // namespace

std::string toXml(const XmlElement& element, int depth) {
    const std::string indent(static_cast<std::size_t>(depth), ' ');
    std::string name;
    escapeInto(name, element.name);
    std::string out = indent + "<" + name;
    if (element.children.empty() && element.text.empty()) {
        return out + "/>\n";
    }
    out += '>';
    escapeInto(out, element.text);
    if (element.children.empty()) {
        return out + "</" + name + ">\n";
    }
    out += '\n';
    for (const XmlElement& c : element.children) {
        out += toXml(c, depth + 1);
    }
    return out + indent + "</" + name + ">\n";
}

std::string toXmlDocument(const XmlElement& root) {
    return "<?xml version=\"1.0\" ?>\r\n" + toXml(root);
}

namespace {

std::string printable(const std::string& text) {
    std::string out;
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (ch == '\n') {
            out += "\\n";
        } else if (ch == '\r') {
            out += "\\r";
        } else if (c < 32 || c == 127) {
            out += "\\x" + std::string(1, "0123456789abcdef"[c >> 4]) + "0123456789abcdef"[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

} // namespace

std::string toCompactText(const XmlElement& element) {
    std::string out = element.name;
    if (element.children.empty()) {
        return out + "=\"" + printable(element.text) + "\"";
    }
    out += '{';
    if (!element.text.empty()) {
        out += "\"" + printable(element.text) + "\" ";
    }
    for (std::size_t i = 0; i < element.children.size(); ++i) {
        out += (i == 0 ? "" : ", ") + toCompactText(element.children[i]);
    }
    return out + '}';
}

} // namespace sim
