#include "documents/xml_node.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// name{text}[children...], independent of the serialiser.
std::string shape(const xmlNode& node) {
    std::string out = node.name + "{" + node.text + "}";
    if (!node.children.empty()) {
        out += "[";
        for (const xmlNode& child : node.children) {
            out += shape(child);
        }
        out += "]";
    }
    return out;
}

// Parses from an exactly sized heap buffer so that any read past the end is
// caught by the address sanitizer.
int parseExact(xmlNode& node, const std::string& source, std::size_t& position) {
    const std::vector<char> buffer(source.begin(), source.end());
    return node.parse(buffer.data(), buffer.size(), position);
}

int depthOf(const xmlNode& node) {
    int depth = 1;
    for (const xmlNode* cursor = &node; !cursor->children.empty(); ++depth) {
        cursor = &cursor->children.front();
    }
    return depth;
}

struct XmlParseCase {
    std::string source;
    int status;
    std::string tree;
};

TEST(XmlNodeParse, StatusAndTree) {
    const std::vector<XmlParseCase> cases = {
        {"<a/>", 0, "a{}"},
        {"<a x='1' y='2'>v</a>", 0, "a{v}"},
        {"<a>  v  </a>", 0, "a{v  }"},
        {"<a>\n <b/>\n</a>", 0, "a{}[b{}]"},
        {"<a>x<b/>y</a>", 0, "a{xy}[b{}]"},
        {"<a>&lt;&#65;&#x42;&amp;</a>", 0, "a{<AB&}"},
        {"<a><![CDATA[&lt; x ]]></a>", 0, "a{&lt; x }"},
        {"<a><![CDATA[]]></a>", 0, "a{}"},
        {"<a>1<!-- note -->2</a>", 0, "a{12}"},
        {"<a><!-- x > y --></a>", 0, "a{y -->}"},
        {"<?xml version='1.0'?><a/>", 0, "a{}"},
        {"<a><?pi x?>t</a>", 0, "a{t}"},
        {"<a ><b\tk='v' /></a >", 0, "a{}[b{}]"},
        {"<a>t</a>trailing<junk", 0, "a{t}"},
        {"<a&#66;>x</aB>", 0, "aB{x}"},
        {std::string("<a&#0;b>x</a>"), 0, std::string("a\0b{x}", 6)},
        {"<a></b>", -5, "a{}"},
        {"<a></ a>", -5, "a{}"},
        {"<a><b>1</b><c>2</a>", -5, "a{}[b{1}c{2}]"},
        {"<a>", -2, "a{}"},
        {"", -2, "{}"},
        {" \r\n\t", -2, "{}"},
        {"</a>", -4, "{}"},
        {"text<a/>", -3, "{}"},
        {"<!DOCTYPE a><a/>", -3, "{}"},
        {"<a", -1, "{}"},
        {"<", -1, "{}"},
        {"< >", -1, "{}"},
        {"<a>x<", -1, "a{x}"},
    };
    for (const XmlParseCase& c : cases) {
        xmlNode node;
        std::size_t position = 0;
        EXPECT_EQ(parseExact(node, c.source, position), c.status) << c.source;
        EXPECT_EQ(shape(node), c.tree) << c.source;
    }
}

TEST(XmlNodeParse, PositionEndsAfterTheElement) {
    const std::string source = "<a/>  <b>x</b><c";
    xmlNode node;
    std::size_t position = 0;
    ASSERT_EQ(node.parse(source, position), 0);
    EXPECT_EQ(position, 4u);
    ASSERT_EQ(node.parse(source, position), 0);
    EXPECT_EQ(shape(node), "b{x}");
    EXPECT_EQ(position, 14u);
    EXPECT_EQ(node.parse(source, position), xmlStatus::malformedTag);
}

TEST(XmlNodeParse, ReplacesPreviousContent) {
    xmlNode node;
    node.text = "stale";
    node.addChild("old");
    std::size_t position = 0;
    ASSERT_EQ(node.parse("<a>new</a>", position), 0);
    EXPECT_EQ(shape(node), "a{new}");
}

TEST(XmlNodeParse, NestingDepthIsLimited) {
    auto nested = [](int levels) {
        std::string s;
        for (int i = 0; i < levels; ++i) {
            s += "<a>";
        }
        for (int i = 0; i < levels; ++i) {
            s += "</a>";
        }
        return s;
    };
    xmlNode node;
    std::size_t position = 0;
    EXPECT_EQ(node.parse(nested(xmlNode::maxDepth), position), 0);
    EXPECT_EQ(depthOf(node), xmlNode::maxDepth);
    position = 0;
    EXPECT_EQ(node.parse(nested(xmlNode::maxDepth + 1), position), xmlStatus::tooDeep);
    EXPECT_EQ(depthOf(node), xmlNode::maxDepth);
    position = 0;
    std::string hostile;
    for (int i = 0; i < 100000; ++i) {
        hostile += "<a>";
    }
    EXPECT_EQ(node.parse(hostile, position), xmlStatus::tooDeep);
}

TEST(XmlNodeParse, SurvivesTruncationAndNoise) {
    const std::string valid = "<?xml version=\"1.0\" ?>\r\n<R><A>1&#32;&amp;&lt</A><!-- c -->"
                              "<B k='v'><![CDATA[x]]></B><C/>&#x4a;</R>";
    for (std::size_t length = 0; length < valid.size(); ++length) {
        xmlNode node;
        std::size_t position = 0;
        EXPECT_LT(parseExact(node, valid.substr(0, length), position), 0) << length;
    }
    std::uint32_t seed = 12345;
    auto nextByte = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<char>((seed >> 16) & 0xFF);
    };
    const std::string alphabet("<>/!?&#;x[]CDATA a\0l", 20);
    for (int round = 0; round < 3000; ++round) {
        std::string noise;
        const int length = static_cast<unsigned char>(nextByte()) % 64;
        for (int i = 0; i < length; ++i) {
            const char b = nextByte();
            noise += (b & 1) ? b : alphabet[static_cast<unsigned char>(b) % alphabet.size()];
        }
        xmlNode node;
        std::size_t position = 0;
        const int status = parseExact(node, noise, position);
        EXPECT_TRUE(status <= 0 && status >= xmlStatus::tooDeep) << status;
        EXPECT_LE(position, noise.size());
    }
}

struct TextCase {
    std::string in;
    std::string out;
};

TEST(XmlText, Unescape) {
    const std::vector<TextCase> cases = {
        {"plain text", "plain text"},
        {"&lt;&gt;&quot;&apos;&amp;", "<>\"'&"},
        {"&lxyz", "<z"},
        {"&gtt", ">"},
        {"&qxxxx!", "\"!"},
        {"&amxx!", "&!"},
        {"&axxxx!", "'!"},
        {"&z;", "&z;"},
        {"&", "&"},
        {"x&l", "x&l"},
        {"&am", "&am"},
        {"&a&lt", "&a&lt"},
        {"&#65;&#x4a;&#x1fF;", "AJ\xff"},
        {"&# 65;&#+66;&#-191;&#321;", "ABAA"},
        {"&#6x5;", "\x06"},
        {"&#x0x41;", std::string(1, '\0')},
        {"&#;", "&#;"},
        {"&#x;", "&#x;"},
        {"&#;&#x;", std::string(1, '\0')},
        {"&#123456789;", "\x15"},
        {"&#1234567890;", "&#1234567890;"},
        {"&#x123456789;", "\x89"},
        {"&#", "&#"},
        {"&#65", "&#65"},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(unescapeText(c.in.data(), c.in.size()), c.out) << c.in;
    }
}

// Runs of plain bytes of every length between references, and references at
// every offset within an eight-byte word: the scanning and copying of long
// and short runs must agree with a byte-by-byte reading.
TEST(XmlText, RunsOfEveryLengthAroundReferences) {
    for (std::size_t before = 0; before <= 40; ++before) {
        for (std::size_t after = 0; after <= 20; after += 5) {
            const std::string lead(before, 'a');
            const std::string tail(after, 'b');
            const std::string in = lead + "&lt;" + tail + "&#65;" + lead + "&";
            const std::string out = lead + "<" + tail + "A" + lead + "&";
            EXPECT_EQ(unescapeText(in.data(), in.size()), out) << in;

            xmlNode node;
            std::size_t position = 0;
            const std::string element = "<R" + lead + ">" + in + "</R" + lead + ">";
            ASSERT_EQ(node.parse(element, position), 0) << element;
            EXPECT_EQ(node.name, "R" + lead);
            EXPECT_EQ(node.text, out);
            EXPECT_EQ(position, element.size());
        }
    }
}

TEST(XmlText, Escape) {
    const std::vector<TextCase> cases = {
        {"a b", "a&#32;b"},
        {"\xe9\xff\x7f", "&#233;&#255;&#127;"},
        {"<>&\"'", "&lt;>&amp;\"'"},
        {"\t\r\n", "&#9;&#13;&#10;"},
        {std::string(1, '\0'), "&#0;"},
        {"!~azAZ09", "!~azAZ09"},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(escapeText(c.in), c.out) << c.in;
        std::string appended = "x";
        appendEscaped(appended, c.in);
        EXPECT_EQ(appended, "x" + c.out);
    }
}

TEST(XmlNodeSerialize, DocumentFormat) {
    xmlDoc doc;
    doc.name = "R";
    doc.getChild("A").setText("1");
    doc.getChild("B");
    EXPECT_EQ(doc.toString(), "<?xml version=\"1.0\" ?>\r\n<R>\n <A>1</A>\n <B/>\n</R>\n");
}

TEST(XmlNodeSerialize, IndentationNamesAndMixedContent) {
    xmlNode unnamed;
    EXPECT_EQ(unnamed.toString(), "< no name />\n");
    unnamed.text = "t";
    EXPECT_EQ(unnamed.toString(), "< no name >t</ no name >\n");

    xmlNode a;
    a.name = "a b";
    a.text = "t";
    a.getChild("c").setText("u v");
    std::string out = "prefix";
    EXPECT_EQ(a.serialize(out, 2), 0);
    EXPECT_EQ(out, "prefix  <a&#32;b>t\n   <c>u&#32;v</c>\n  </a&#32;b>\n");
}

// The output string may be one the element is read from: its own text, a
// child's name, or the text being escaped. What is appended is the element
// as it stood before the call.
TEST(XmlNodeSerialize, IntoItsOwnStrings) {
    xmlNode a;
    a.name = "a";
    a.text = "x y";
    a.getChild("c").setText("u v");
    a.serialize(a.text, 0);
    EXPECT_EQ(a.text, "x y<a>x&#32;y\n <c>u&#32;v</c>\n</a>\n");

    xmlNode b;
    b.name = "b";
    b.getChild("c").setText("long enough to move the buffer");
    serializeNamed(b.child(0).name, b, "n", 1);
    EXPECT_EQ(b.child(0).name,
              "c <n>\n  <c>long&#32;enough&#32;to&#32;move&#32;the&#32;buffer</c>\n "
              "</n>\n");

    std::string s = "a <b> & c";
    appendEscaped(s, s);
    EXPECT_EQ(s, "a <b> & ca&#32;&lt;b>&#32;&amp;&#32;c");
}

TEST(XmlNodeSerialize, RoundTripKeepsTheTree) {
    std::string allBytes;
    for (int b = 0; b < 256; ++b) {
        allBytes += static_cast<char>(b);
    }
    xmlDoc doc;
    doc.name = "R<&"; // a ">" in a name is written as is and would end the tag
    doc.getChild("text").text = allBytes;
    doc.getChild("nested").getChild("x y").setText(-12);
    doc.getChild("empty");
    const xmlDoc back(doc.toString());
    EXPECT_EQ(shape(back), shape(doc));

    xmlNode mixed;
    mixed.name = "m";
    mixed.text = "t";
    mixed.addChild("c");
    EXPECT_EQ(xmlNode(mixed.toString().c_str()).text, "t\n ");
}

TEST(XmlNodeLookup, FindAddGet) {
    xmlNode node;
    EXPECT_EQ(node.findChild("K"), -1);
    EXPECT_EQ(node.addChild("K"), 0);
    EXPECT_EQ(node.addChild("K"), 1);
    node.child(0).text = "first";
    node.child(1).text = "second";
    EXPECT_EQ(node.findChild("K"), 0);
    EXPECT_EQ(node.addChild("L"), 2);
    EXPECT_EQ(node.findChild("L"), 2);
    EXPECT_EQ(node.findChild("k"), -1);
    EXPECT_EQ(node.getChildText("K", "none"), "first");
    EXPECT_EQ(node.getChildText("M", "none"), "none");
    node.getChild("M").text = "m";
    node.getChild("M").text += "!";
    EXPECT_EQ(node.children.size(), 4u);
    EXPECT_EQ(node.getChildText("M", ""), "m!");
}

TEST(XmlNodeLookup, NamesEndAtTheFirstZeroByte) {
    xmlNode node;
    node.addChild("Kx");
    node.addChild(std::string("K\0x", 3));
    EXPECT_EQ(node.findChild("K"), 1);
    EXPECT_EQ(node.findChild(std::string("K\0y", 3)), 1);
    EXPECT_EQ(node.findChild(std::string("Kx\0", 3)), 0);
}

TEST(XmlNodeCopy, AssignKeepsOwnNameAndCopiesDeeply) {
    xmlNode source;
    source.name = "X";
    source.text = "t";
    source.getChild("c").getChild("d").text = "deep";
    xmlNode named;
    named.name = "Y";
    named.addChild("old");
    named.assign(source);
    EXPECT_EQ(shape(named), "Y{t}[c{}[d{deep}]]");
    xmlNode unnamed;
    unnamed.assign(source);
    EXPECT_EQ(shape(unnamed), "X{t}[c{}[d{deep}]]");
    unnamed.child(0).child(0).text = "changed";
    EXPECT_EQ(source.child(0).child(0).text, "deep");
    const xmlNode copy(source);
    EXPECT_EQ(shape(copy), shape(source));
}

TEST(XmlNodeCopy, SourceInsideTheTarget) {
    xmlNode node("<a>t<b>u<c>v</c></b></a>");
    node.assign(node);
    EXPECT_EQ(shape(node), "a{t}[b{u}[c{v}]]");
    node.assign(node.child(0));
    EXPECT_EQ(shape(node), "a{u}[c{v}]");
    node = node.child(0);
    EXPECT_EQ(shape(node), "c{v}");
    xmlNode wide("<a><b><c/><d/><e/></b><x/></a>");
    wide.assign(wide.child(0));
    EXPECT_EQ(shape(wide), "a{}[c{}d{}e{}]");
}

TEST(XmlNodeCopy, ClearKeepsText) {
    xmlNode node("<a>t<b/></a>");
    node.clear();
    EXPECT_EQ(shape(node), "{t}");
}

TEST(XmlNodeText, IntegerReadAndWrite) {
    const std::vector<std::pair<std::string, int>> reads = {
        {"42", 42},
        {" -7", -7},
        {"12ab", 12},
        {"ab", 5},
        {"99999999999", 5},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"2147483648", 5},
        {"-2147483649", 5},
        {"+8", 8},
        {"\f\v\t 3", 3},
        {"", 5},
        {"-", 5},
        {"- 1", 5},
        {"000000000000000000012", 12},
    };
    for (const auto& r : reads) {
        xmlNode node;
        node.text = r.first;
        EXPECT_EQ(node.getTextInt(5), r.second) << r.first;
    }
    for (const int value : {-12, 0, 7, INT_MIN, INT_MAX}) {
        xmlNode node;
        EXPECT_EQ(node.setText(value), value);
        EXPECT_EQ(node.text, std::to_string(value));
        EXPECT_EQ(node.getTextInt(5), value);
    }
}

TEST(XmlDocument, ConstructorsAndVersion) {
    const xmlDoc doc("<?xml version='2.0'?><a>x</a>");
    EXPECT_EQ(doc.version, "1.0");
    EXPECT_EQ(shape(doc), "a{x}");
    xmlDoc other = doc;
    other.version = "1.1";
    const xmlDoc copy(other);
    EXPECT_EQ(copy.version, "1.1");
    EXPECT_EQ(copy.toString(), "<?xml version=\"1.1\" ?>\r\n<a>x</a>\n");
    EXPECT_EQ(shape(xmlDoc(std::string("<a>x\0y</a>", 11))), std::string("a{x\0y}", 6));
    EXPECT_EQ(shape(xmlNode("<a>x\0y</a>")), "a{x}");
    EXPECT_EQ(shape(xmlNode(static_cast<const char*>(nullptr))), "{}");
}

} // namespace

TEST(XmlNodeSerialize, NamedWritesWhatARenamedCopyWrites) {
    xmlNode element;
    element.name = "Own";
    element.text = "a b";
    element.getChild("Child").setText("<&\x01");
    element.getChild("Empty");
    for (const std::string& name : {std::string("Other"), std::string(), std::string("x y")}) {
        for (int depth : {-1, 0, 2}) {
            xmlNode renamed = element;
            renamed.name = name;
            std::string expected = "prefix";
            renamed.serialize(expected, depth);
            std::string written = "prefix";
            serializeNamed(written, element, name, depth);
            EXPECT_EQ(written, expected) << name << " at " << depth;
        }
    }
}

TEST(XmlNodeLookup, LiteralNamesMatchStringNames) {
    xmlNode node;
    node.addChild(std::string("K\0tail", 6));
    node.addChild("LongerThanFifteenBytes");
    EXPECT_EQ(node.findChild("K"), node.findChild(std::string("K")));
    EXPECT_EQ(node.findChild("K"), 0);
    EXPECT_EQ(node.findChild("LongerThanFifteenBytes"), 1);
    EXPECT_EQ(node.findChild("Missing"), -1);
    EXPECT_EQ(&node.getChild("LongerThanFifteenBytes"), &node.child(1));
    EXPECT_EQ(node.getChildText("Missing", "dflt"), "dflt");
    EXPECT_EQ(node.addChild("K"), 2);
}

TEST(XmlNodeParse, LongDocumentsParseWhole) {
    // More tokens than the parser's first pass holds, siblings of one shape.
    std::string source = "<R>";
    for (int i = 0; i < 300; ++i) {
        source += "<E><A>" + std::to_string(i) + "</A><B>x&#32;y</B></E>";
    }
    source += "</R>";
    xmlNode node;
    std::size_t position = 0;
    ASSERT_EQ(parseExact(node, source, position), 0);
    EXPECT_EQ(position, source.size());
    ASSERT_EQ(node.children.size(), 300u);
    EXPECT_EQ(node.children[299].getChildText("A", ""), "299");
    EXPECT_EQ(node.children[150].getChildText("B", ""), "x y");
}
