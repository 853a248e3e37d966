#include "host/host_bridge.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

Handler returning(std::int32_t result) {
    return [result](xmlDoc&, xmlNode&, std::string&) { return result; };
}

std::int32_t run(const HandlerEntry& entry) {
    xmlDoc document;
    xmlNode element;
    std::string reply;
    return entry.handler(document, element, reply);
}

TEST(HostBridge, RegisteringReplacesAndAnEmptyHandlerRemoves) {
    HostBridge bridge;
    registerHandler(bridge, "Event", returning(1));
    registerHandler(bridge, "Event", returning(2));
    ASSERT_EQ(bridge.handlers.size(), 1u);
    EXPECT_EQ(run(bridge.handlers["Event"]), 2);
    EXPECT_EQ(bridge.handlers["Event"].origin, "");
    registerHandler(bridge, "Event", Handler());
    EXPECT_TRUE(bridge.handlers.empty());
}

TEST(HostBridge, EntryPointsKeepTheirOriginAndAreReplacedByKey) {
    HostBridge bridge;
    registerEntryPoint(bridge, "FUNCTION=7", returning(1), "first");
    registerEntryPoint(bridge, "FUNCTION=7", returning(2), "second");
    ASSERT_EQ(bridge.entryPoints.size(), 1u);
    EXPECT_EQ(run(bridge.entryPoints["FUNCTION=7"]), 2);
    EXPECT_EQ(bridge.entryPoints["FUNCTION=7"].origin, "second");
    registerEntryPoint(bridge, "FUNCTION=7", Handler(), "third");
    EXPECT_TRUE(bridge.entryPoints.empty());
}

TEST(HostBridge, ReplyTextIsBoundedByTheBuffer) {
    HostBridge bridge;
    bridge.resizeReplyBuffer(4);
    std::memcpy(bridge.replyBuffer.data(), "abcd", 4);
    bridge.replyLength = 2;
    EXPECT_EQ(bridge.replyText(), "ab");
    bridge.replyLength = 99;
    EXPECT_EQ(bridge.replyText(), "abcd");
    bridge.replyLength = -1;
    EXPECT_EQ(bridge.replyText(), "");
}

} // namespace
