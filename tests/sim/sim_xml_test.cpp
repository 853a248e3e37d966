// The simulator's own XML reading and writing, and the store file format.
#include <gtest/gtest.h>

#include <cstdio>

#include "sim/host/sim_xml.h"
#include "sim/host/variable_store.h"

namespace {

TEST(SimXml, ReadsTheModulesFormatWithEscapedSpacesAndDeclaration) {
    const std::string text =
        "<?xml version=\"1.0\" ?>\r\n<VORTAXIS_BRIDGE>\n <VORTAXIS_METHOD>\n  <Trace>\n"
        "   <TraceData>Updating&#32;Settings&#10;a&lt;b&amp;c</TraceData>\n  </Trace>\n"
        " </VORTAXIS_METHOD>\n</VORTAXIS_BRIDGE>\n";
    const sim::XmlParseResult parsed = sim::parseXml(text);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.root.name, "VORTAXIS_BRIDGE");
    EXPECT_TRUE(parsed.root.text.empty()) << "indentation is layout";
    const sim::XmlElement& trace = parsed.root.find("VORTAXIS_METHOD")->children.at(0);
    EXPECT_EQ(trace.childText("TraceData"), "Updating Settings\na<b&c");
}

TEST(SimXml, WritingAndReadingBackKeepsEveryByte) {
    sim::XmlElement root{"R", {}, {}};
    std::string bytes;
    for (int c = 0; c < 256; ++c) {
        bytes += static_cast<char>(c);
    }
    root.add("All", bytes);
    root.add("Lead", "   SWITCH TO SMS    ");
    root.add("Empty");
    const sim::XmlParseResult parsed = sim::parseXml(sim::toXmlDocument(root));
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.root.childText("All"), bytes);
    EXPECT_EQ(parsed.root.childText("Lead"), "   SWITCH TO SMS    ");
    EXPECT_TRUE(parsed.root.has("Empty"));
}

TEST(SimXml, MalformedTextIsReportedWithItsOffset) {
    for (const char* text :
         {"", "<A>", "<A></B>", "<A><B></A>", "text", "<A", "</A>", "<A><![CDATA[x</A>"}) {
        const sim::XmlParseResult parsed = sim::parseXml(text);
        EXPECT_FALSE(parsed.ok) << text;
        EXPECT_NE(parsed.error.find("at byte"), std::string::npos) << text;
    }
    EXPECT_TRUE(sim::parseXml("<!-- c --><A x=\"1\"><![CDATA[<raw>]]><B/></A>").ok);
}

TEST(SimXml, DeepNestingIsRefusedNotOverflowed) {
    std::string text;
    for (int i = 0; i < 5000; ++i) {
        text += "<a>";
    }
    EXPECT_FALSE(sim::parseXml(text).ok);
}

TEST(VariableStoreFile, LinesKeepAnyBytes) {
    std::string name;
    std::string value;
    const std::string awkward = "a=b\\c\r\nd\te\x01\xE9";
    const std::string line = sim::encodeStoreLine("NAME=X", awkward);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    ASSERT_TRUE(sim::decodeStoreLine(line, name, value));
    EXPECT_EQ(name, "NAME=X");
    EXPECT_EQ(value, awkward);
    for (const char* bad : {"", "=v", "NOVALUE", "N=\\q", "N=\\x4", "N=\\"}) {
        EXPECT_FALSE(sim::decodeStoreLine(bad, name, value)) << bad;
    }
}

TEST(VariableStoreFile, StateSurvivesARestart) {
    const std::string path = "sim_store_test.vars";
    std::remove(path.c_str());
    std::string error;
    {
        sim::VariableStore store;
        ASSERT_TRUE(store.attachFile(path, error)) << error;
        store.set("REVERSAL_DATA", "{\"type\":\"P-\"}");
        store.set("TOKEN", "T1");
        store.erase("TOKEN");
    }
    sim::VariableStore restarted;
    ASSERT_TRUE(restarted.attachFile(path, error)) << error;
    ASSERT_NE(restarted.find("REVERSAL_DATA"), nullptr);
    EXPECT_EQ(*restarted.find("REVERSAL_DATA"), "{\"type\":\"P-\"}");
    EXPECT_FALSE(restarted.has("TOKEN"));
    std::remove(path.c_str());
}

} // namespace
