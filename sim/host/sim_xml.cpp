#include "sim/host/sim_xml.h"

#include <cstdlib>

namespace sim {

const XmlElement* XmlElement::find(const std::string& childName) const {
    for (const XmlElement& c : children) {
        if (c.name == childName) {
            return &c;
        }
    }
    return nullptr;
}

XmlElement* XmlElement::find(const std::string& childName) {
    for (XmlElement& c : children) {
        if (c.name == childName) {
            return &c;
        }
    }
    return nullptr;
}

std::string XmlElement::childText(const std::string& childName, const std::string& fallback) const {
    const XmlElement* c = find(childName);
    return c != nullptr ? c->text : fallback;
}

XmlElement& XmlElement::add(const std::string& childName, const std::string& childText) {
    children.push_back(XmlElement{childName, childText, {}});
    return children.back();
}

XmlElement& XmlElement::child(const std::string& childName) {
    XmlElement* c = find(childName);
    return c != nullptr ? *c : add(childName);
}

bool XmlElement::attribute(const std::string& attributeName, std::string& value) const {
    for (const auto& a : attributes) {
        if (a.first == attributeName) {
            value = a.second;
            return true;
        }
    }
    return false;
}

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool decodeNumeric(const std::string& body, std::string& out) {
    if (body.empty()) {
        return false;
    }
    const bool hex = body[0] == 'x' || body[0] == 'X';
    const std::string digits = hex ? body.substr(1) : body;
    if (digits.empty()) {
        return false;
    }
    char* end = nullptr;
    const long value = std::strtol(digits.c_str(), &end, hex ? 16 : 10);
    if (*end != '\0' || value < 0 || value > 255) {
        return false;
    }
    out += static_cast<char>(value);
    return true;
}

// Decodes entity and character references; an unknown one stays as written.
std::string unescape(const std::string& raw) {
    std::string out;
    std::size_t i = 0;
    while (i < raw.size()) {
        const std::size_t semi = raw[i] == '&' ? raw.find(';', i) : std::string::npos;
        if (semi == std::string::npos || semi - i > 10) {
            out += raw[i++];
            continue;
        }
        const std::string body = raw.substr(i + 1, semi - i - 1);
        bool known = true;
        if (body == "lt") {
            out += '<';
        } else if (body == "gt") {
            out += '>';
        } else if (body == "amp") {
            out += '&';
        } else if (body == "quot") {
            out += '"';
        } else if (body == "apos") {
            out += '\'';
        } else if (!body.empty() && body[0] == '#') {
            known = decodeNumeric(body.substr(1), out);
        } else {
            known = false;
        }
        if (known) {
            i = semi + 1;
        } else {
            out += raw[i++];
        }
    }
    return out;
}

class Parser {
  public:
    explicit Parser(const std::string& text) : text_(text) {}

    XmlParseResult run() {
        XmlParseResult result;
        if (!skipProlog()) {
            result.error = error_;
            return result;
        }
        if (!element(result.root, 0)) {
            result.error = error_;
            return result;
        }
        result.ok = true;
        return result;
    }

  private:
    bool fail(const std::string& what) {
        if (error_.empty()) {
            error_ = what + " at byte " + std::to_string(pos_);
        }
        return false;
    }

    void skipSpace() {
        while (pos_ < text_.size() && isSpace(text_[pos_])) {
            ++pos_;
        }
    }

    bool startsWith(const char* s) const {
        return text_.compare(pos_, std::char_traits<char>::length(s), s) == 0;
    }

    bool skipPast(const char* terminator) {
        const std::size_t at = text_.find(terminator, pos_);
        if (at == std::string::npos) {
            return fail(std::string("missing \"") + terminator + "\"");
        }
        pos_ = at + std::char_traits<char>::length(terminator);
        return true;
    }

    // Declaration, processing instructions, comments and a document type.
    bool skipProlog() {
        for (;;) {
            skipSpace();
            if (startsWith("<?")) {
                if (!skipPast("?>")) {
                    return false;
                }
            } else if (startsWith("<!--")) {
                if (!skipPast("-->")) {
                    return false;
                }
            } else if (startsWith("<!")) {
                if (!skipPast(">")) {
                    return false;
                }
            } else {
                return true;
            }
        }
    }

    bool readName(std::string& name) {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && !isSpace(text_[pos_]) && text_[pos_] != '>' &&
               text_[pos_] != '/') {
            ++pos_;
        }
        if (pos_ == start) {
            return fail("element name expected");
        }
        name = unescape(text_.substr(start, pos_ - start));
        return true;
    }

    // After the name: the attributes and the end of the start tag. What is
    // not a quoted attribute is skipped up to the tag's end.
    bool finishStartTag(XmlElement& into, bool& empty) {
        for (;;) {
            skipSpace();
            if (startsWith("/>") || startsWith(">")) {
                empty = text_[pos_] == '/';
                pos_ += empty ? 2 : 1;
                return true;
            }
            if (!attribute(into)) {
                break;
            }
        }
        const std::size_t close = text_.find('>', pos_);
        if (close == std::string::npos) {
            return fail("unterminated start tag");
        }
        empty = close > pos_ && text_[close - 1] == '/';
        pos_ = close + 1;
        return true;
    }

    // name="value" or name='value'; false (nothing read) for anything else.
    bool attribute(XmlElement& into) {
        std::size_t at = pos_;
        while (at < text_.size() && !isSpace(text_[at]) && text_[at] != '=' && text_[at] != '>' &&
               text_[at] != '/') {
            ++at;
        }
        const std::string name = text_.substr(pos_, at - pos_);
        while (at < text_.size() && isSpace(text_[at])) {
            ++at;
        }
        if (name.empty() || at >= text_.size() || text_[at] != '=') {
            return false;
        }
        ++at;
        while (at < text_.size() && isSpace(text_[at])) {
            ++at;
        }
        const char quote = at < text_.size() ? text_[at] : '\0';
        const std::size_t close =
            quote == '"' || quote == '\'' ? text_.find(quote, at + 1) : std::string::npos;
        if (close == std::string::npos) {
            return false;
        }
        into.attributes.emplace_back(unescape(name),
                                     unescape(text_.substr(at + 1, close - at - 1)));
        pos_ = close + 1;
        return true;
    }

    bool element(XmlElement& into, int depth) {
        if (depth > 200) {
            return fail("elements nested too deeply");
        }
        skipSpace();
        if (!startsWith("<") || startsWith("</")) {
            return fail("start tag expected");
        }
        ++pos_;
        bool empty = false;
        if (!readName(into.name) || !finishStartTag(into, empty)) {
            return false;
        }
        return empty || content(into, depth);
    }

    bool content(XmlElement& into, int depth) {
        std::string raw;
        for (;;) {
            if (pos_ >= text_.size()) {
                return fail("end of text inside <" + into.name + ">");
            }
            if (startsWith("</")) {
                return endTag(into, raw);
            }
            if (!contentItem(into, raw, depth)) {
                return false;
            }
        }
    }

    bool contentItem(XmlElement& into, std::string& raw, int depth) {
        if (startsWith("<![CDATA[")) {
            const std::size_t end = text_.find("]]>", pos_);
            if (end == std::string::npos) {
                return fail("unterminated CDATA section");
            }
            into.text += unescape(raw);
            raw.clear();
            into.text += text_.substr(pos_ + 9, end - pos_ - 9);
            pos_ = end + 3;
            return true;
        }
        if (startsWith("<!--")) {
            return skipPast("-->");
        }
        if (startsWith("<?")) {
            return skipPast("?>");
        }
        if (startsWith("<")) {
            into.text += unescape(raw);
            raw.clear();
            into.children.emplace_back();
            return element(into.children.back(), depth + 1);
        }
        const std::size_t next = text_.find('<', pos_);
        const std::size_t end = next == std::string::npos ? text_.size() : next;
        raw += text_.substr(pos_, end - pos_);
        pos_ = end;
        return true;
    }

    bool endTag(XmlElement& into, std::string& raw) {
        pos_ += 2;
        std::string name;
        if (!readName(name)) {
            return false;
        }
        skipSpace();
        if (pos_ >= text_.size() || text_[pos_] != '>') {
            return fail("unterminated end tag");
        }
        ++pos_;
        if (name != into.name) {
            return fail("</" + name + "> closes <" + into.name + ">");
        }
        into.text += unescape(raw);
        trimLayout(into);
        return true;
    }

    // Text that is only the indentation around child elements is layout.
    static void trimLayout(XmlElement& e) {
        if (!e.children.empty() && e.text.find_first_not_of(" \t\r\n") == std::string::npos) {
            e.text.clear();
        }
    }

    const std::string& text_;
    std::size_t pos_ = 0;
    std::string error_;
};

} // namespace

XmlParseResult parseXml(const std::string& text) {
    return Parser(text).run();
}

} // namespace sim
