// The XML model on arbitrary bytes: parsing never reads outside the input;
// a tree that parsed completely serialises to a text that parses back to the
// same tree, within what the fixed output format can carry:
//   - names: the serialiser writes ">" , "/", "?" and "!" unchanged, so a
//     name holding ">", beginning with "/", "!" or "?" or ending with "/"
//     (all only reachable through character references) does not come back;
//   - an element with both text and children gains, on re-parsing, the line
//     feed and the indentation written after its text.
// Copies and assignment (also from a descendant of the target) keep trees.
#include <cstddef>
#include <cstdint>
#include <string>

#include "documents/xml_node.h"
#include "fuzz/fuzz_check.h"

namespace {

bool nameComesBack(const std::string& name) {
    if (name.empty() || name.find('>') != std::string::npos) {
        return false;
    }
    const char first = name.front();
    return first != '/' && first != '!' && first != '?' && name.back() != '/';
}

bool namesComeBack(const xmlNode& node) {
    if (!nameComesBack(node.name)) {
        return false;
    }
    for (const xmlNode& child : node.children) {
        if (!namesComeBack(child)) {
            return false;
        }
    }
    return true;
}

bool sameTree(const xmlNode& a, const xmlNode& b) {
    if (a.name != b.name || a.text != b.text || a.children.size() != b.children.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.children.size(); ++i) {
        if (!sameTree(a.children[i], b.children[i])) {
            return false;
        }
    }
    return true;
}

// The text an element comes back with after one serialise and parse.
std::string textAfterRoundTrip(const xmlNode& node, int depth) {
    if (node.children.empty() || node.text.empty()) {
        return node.text;
    }
    return node.text + "\n" + std::string(static_cast<std::size_t>(depth + 1), ' ');
}

bool sameAfterRoundTrip(const xmlNode& original, const xmlNode& reread, int depth) {
    if (original.name != reread.name || reread.text != textAfterRoundTrip(original, depth) ||
        original.children.size() != reread.children.size()) {
        return false;
    }
    for (std::size_t i = 0; i < original.children.size(); ++i) {
        if (!sameAfterRoundTrip(original.children[i], reread.children[i], depth + 1)) {
            return false;
        }
    }
    return true;
}

bool textOrChildrenOnly(const xmlNode& node) {
    if (!node.text.empty() && !node.children.empty()) {
        return false;
    }
    for (const xmlNode& child : node.children) {
        if (!textOrChildrenOnly(child)) {
            return false;
        }
    }
    return true;
}

void checkRoundTrip(const xmlNode& first) {
    const std::string once = first.toString();
    xmlNode again;
    std::size_t position = 0;
    FUZZ_CHECK(again.parse(once, position) == xmlStatus::complete, "serialised tree parses");
    FUZZ_CHECK(sameAfterRoundTrip(first, again, 0), "re-parsed tree equals the first");
    if (textOrChildrenOnly(first)) {
        FUZZ_CHECK(again.toString() == once, "second serialisation equals the first");
    }

    xmlDoc document;
    document.assign(first);
    xmlDoc reread(document.toString());
    FUZZ_CHECK(sameAfterRoundTrip(first, reread, 0), "document text parses back");
}

void checkCopies(const xmlNode& first) {
    xmlNode copy(first);
    FUZZ_CHECK(sameTree(copy, first), "copy construction");
    xmlNode& alias = copy;
    copy = alias;
    FUZZ_CHECK(sameTree(copy, first), "assignment to itself");
    if (!copy.children.empty()) {
        const xmlNode expected = first.children.back();
        copy.assign(copy.children.back());
        FUZZ_CHECK(copy.name == first.name, "assign keeps the own name");
        FUZZ_CHECK(copy.text == expected.text && copy.children.size() == expected.children.size(),
                   "assign from a descendant");
        if (!copy.children.empty()) {
            copy = copy.children.front();
            FUZZ_CHECK(sameTree(copy, expected.children.front()), "assignment from a descendant");
        }
    }
}

void checkLookups(const xmlNode& first) {
    for (const xmlNode& child : first.children) {
        const int index = first.findChild(child.name);
        FUZZ_CHECK(index >= 0 && static_cast<std::size_t>(index) < first.children.size(),
                   "findChild finds a present name");
        (void)first.getChildText(child.name, "x");
        (void)child.getTextInt(-1);
    }
    FUZZ_CHECK(xmlNode().findChild(first.name) == -1, "findChild without children is -1");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);

    xmlNode first;
    std::size_t position = 0;
    const int status = first.parse(input, position);
    FUZZ_CHECK(position <= input.size(), "position stays inside the input");
    FUZZ_CHECK(status <= 0 && status >= xmlStatus::tooDeep, "status is a known value");

    const xmlNode terminated(input.c_str());
    (void)terminated.toString();

    checkLookups(first);
    checkCopies(first);
    if (status == xmlStatus::complete && namesComeBack(first)) {
        checkRoundTrip(first);
    }
    return 0;
}
