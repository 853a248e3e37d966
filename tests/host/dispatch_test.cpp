#include "host/dispatch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/host_bridge.h"
#include "host/quen_klarna.h"
#include "host/startup_registration.h"
#include "tests/support/debug_capture.h"
#include "tests/support/recording_host.h"

namespace {

struct HandlerCall {
    std::string handler;
    xmlNode element;
};

class DispatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        registerHandler(bridge, "Known", recorder("Known", 11));
        bridge.defaultMethodHandler = recorder("defaultMethod", 20);
        bridge.defaultEventHandler = recorder("defaultEvent", 21);
        bridge.defaultNonStandardHandler = recorder("defaultNonStandard", 22);
    }

    Handler recorder(const std::string& label, std::int32_t result, std::string reply = "") {
        return [this, label, result, reply](xmlDoc&, xmlNode& element, std::string& out) {
            calls.push_back({label, element});
            out = reply;
            return result;
        };
    }

    std::vector<std::string> handlerNames() const {
        std::vector<std::string> names;
        for (const HandlerCall& call : calls) {
            names.push_back(call.handler);
        }
        return names;
    }

    HostBridge bridge;
    std::vector<HandlerCall> calls;
};

using Names = std::vector<std::string>;

TEST_F(DispatchTest, MessagesAreRoutedByContainerAndName) {
    struct Case {
        const char* label;
        std::string message;
        std::int32_t result;
        Names called;
    };
    const std::vector<Case> cases = {
        {"registered event", "<R><VORTAXIS_EVENT><Known/></VORTAXIS_EVENT></R>", 11, {"Known"}},
        {"registered method", "<R><VORTAXIS_METHOD><Known/></VORTAXIS_METHOD></R>", 11, {"Known"}},
        {"unknown event", "<R><VORTAXIS_EVENT><Other/></VORTAXIS_EVENT></R>", 21, {"defaultEvent"}},
        {"unknown method",
         "<R><VORTAXIS_METHOD><Other/></VORTAXIS_METHOD></R>",
         20,
         {"defaultMethod"}},
        {"both containers: the event wins",
         "<R><VORTAXIS_METHOD><Known/></VORTAXIS_METHOD><VORTAXIS_EVENT><Other/></VORTAXIS_EVENT>"
         "</R>",
         21,
         {"defaultEvent"}},
        {"only the first element is routed",
         "<R><VORTAXIS_EVENT><Other/><Known/></VORTAXIS_EVENT></R>",
         21,
         {"defaultEvent"}},
        {"neither container",
         "<R><VORTAXIS_SOURCE>POS</VORTAXIS_SOURCE></R>",
         22,
         {"defaultNonStandard"}},
        {"entry-point event with unknown key is routed by name",
         "<R><VORTAXIS_EVENT><CsdReserved3><DataField>FUNCTION=9</DataField></CsdReserved3>"
         "</VORTAXIS_EVENT></R>",
         21,
         {"defaultEvent"}},
        {"empty event container", "<R><VORTAXIS_EVENT></VORTAXIS_EVENT></R>", -1, {}},
        {"empty method container", "<R><VORTAXIS_METHOD/></R>", -1, {}},
        {"root without children", "<R/>", -1, {}},
        {"empty text", "", -1, {}},
        {"truncated text is routed on what was read", "<R><VORTAXIS_EVENT><Known>", 11, {"Known"}},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.label);
        calls.clear();
        EXPECT_EQ(RecordingHost::deliver(bridge, row.message).result, row.result);
        EXPECT_EQ(handlerNames(), row.called);
    }
}

TEST_F(DispatchTest, HandlersReceiveTheMessageElement) {
    RecordingHost::deliver(bridge, RecordingHost::eventMessage(
                                       RecordingHost::element("Known", {{"PinpadOnline", "1"}})));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].element.name, "Known");
    EXPECT_EQ(calls[0].element.getChildText("PinpadOnline", ""), "1");
}

TEST_F(DispatchTest, EmptyFallbackSlotsAnswerMinusOneWithoutACall) {
    HostBridge bare;
    for (const char* message : {"<R><VORTAXIS_EVENT><X/></VORTAXIS_EVENT></R>",
                                "<R><VORTAXIS_METHOD><X/></VORTAXIS_METHOD></R>", "<R><A/></R>"}) {
        SCOPED_TRACE(message);
        EXPECT_EQ(RecordingHost::deliver(bare, message).result, -1);
    }
}

TEST_F(DispatchTest, CsdReserved3CallsTheEntryPointWithItsOrigin) {
    registerEntryPoint(bridge, "FUNCTION=7", recorder("function7", 3), "entry origin");
    const std::string message =
        "<R><VORTAXIS_EVENT><CsdReserved3>ignored<DataField>FUNCTION=7</DataField>"
        "<Name>Known</Name></CsdReserved3></VORTAXIS_EVENT></R>";
    EXPECT_EQ(RecordingHost::deliver(bridge, message).result, 3);
    ASSERT_EQ(handlerNames(), Names{"function7"});
    const xmlNode& element = calls[0].element;
    EXPECT_EQ(element.name, "EntryPointEvent");
    EXPECT_EQ(element.text, "entry origin");
    ASSERT_EQ(element.children.size(), 1u);
    EXPECT_EQ(element.child(0).name, "Origin");
    EXPECT_EQ(element.child(0).text, "CsdReserved3");
}

TEST_F(DispatchTest, EntryPointEventCallsTheEntryPointNamedByName) {
    registerEntryPoint(bridge, "Klarna_Purchase", recorder("purchase", 4), "unused origin");
    const std::string message =
        "<R><VORTAXIS_EVENT><EntryPointEvent>text<DataField></DataField>"
        "<Name>Klarna_Purchase</Name><Amount>100</Amount></EntryPointEvent></VORTAXIS_EVENT></R>";
    EXPECT_EQ(RecordingHost::deliver(bridge, message).result, 4);
    ASSERT_EQ(handlerNames(), Names{"purchase"});
    const xmlNode& element = calls[0].element;
    EXPECT_EQ(element.name, "EntryPointEvent");
    EXPECT_EQ(element.text, "text");
    EXPECT_EQ(element.getChildText("Name", ""), "Klarna_Purchase");
    EXPECT_EQ(element.getChildText("Amount", ""), "100");
    EXPECT_EQ(element.getChildText("Origin", ""), "EntryPointEvent");
}

TEST_F(DispatchTest, DataFieldTakesPrecedenceOverName) {
    registerEntryPoint(bridge, "FUNCTION=2", recorder("byDataField", 5), "");
    registerEntryPoint(bridge, "Klarna_Refund", recorder("byName", 6), "");
    const std::string message =
        "<R><VORTAXIS_EVENT><EntryPointEvent><Name>Klarna_Refund</Name>"
        "<DataField>FUNCTION=2</DataField></EntryPointEvent></VORTAXIS_EVENT></R>";
    EXPECT_EQ(RecordingHost::deliver(bridge, message).result, 5);
    EXPECT_EQ(handlerNames(), Names{"byDataField"});
}

TEST_F(DispatchTest, ReplyIsCopiedOnlyWhenShorterThanTheOfferedCapacity) {
    registerHandler(bridge, "Reply", recorder("Reply", 9, "0123456789"));
    const std::string message = "<R><VORTAXIS_METHOD><Reply/></VORTAXIS_METHOD></R>";
    struct Case {
        std::int32_t capacity;
        std::string reply;
    };
    for (const Case& row : {Case{10, ""}, Case{11, "0123456789"}, Case{0, ""}, Case{-5, ""}}) {
        SCOPED_TRACE(row.capacity);
        const auto delivery = RecordingHost::deliver(bridge, message, row.capacity);
        EXPECT_EQ(delivery.result, 9);
        EXPECT_EQ(delivery.reply, row.reply);
        EXPECT_EQ(bridge.incomingReplyCapacity, row.capacity);
    }
}

TEST_F(DispatchTest, MissingReplyPointersAreTolerated) {
    registerHandler(bridge, "Reply", recorder("Reply", 9, "abc"));
    const std::string message = "<R><VORTAXIS_METHOD><Reply/></VORTAXIS_METHOD></R>";
    std::int32_t length = 100;
    EXPECT_EQ(dispatchMessage(bridge, message.data(), static_cast<std::int32_t>(message.size()),
                              nullptr, &length),
              9);
    EXPECT_EQ(length, 0);
    char buffer[16] = {};
    EXPECT_EQ(dispatchMessage(bridge, message.data(), static_cast<std::int32_t>(message.size()),
                              buffer, nullptr),
              9);
    EXPECT_EQ(buffer[0], '\0');
}

TEST_F(DispatchTest, AHandlerMayReplaceItsOwnRegistrationWhileItRuns) {
    int runs = 0;
    registerHandler(bridge, "Once", [this, &runs](xmlDoc&, xmlNode&, std::string&) {
        ++runs;
        registerHandler(bridge, "Once", Handler());
        return 1;
    });
    const std::string message = "<R><VORTAXIS_EVENT><Once/></VORTAXIS_EVENT></R>";
    EXPECT_EQ(RecordingHost::deliver(bridge, message).result, 1);
    EXPECT_EQ(RecordingHost::deliver(bridge, message).result, 21);
    EXPECT_EQ(runs, 1);
}

TEST_F(DispatchTest, AThrowingHandlerIsAnsweredWithMinusOne) {
    registerHandler(bridge, "Throws", [](xmlDoc&, xmlNode&, std::string& reply) -> std::int32_t {
        reply = "partial";
        throw std::runtime_error("handler failed");
    });
    const auto delivery =
        RecordingHost::deliver(bridge, "<R><VORTAXIS_EVENT><Throws/></VORTAXIS_EVENT></R>");
    EXPECT_EQ(delivery.result, -1);
    EXPECT_EQ(delivery.reply, "");
}

TEST_F(DispatchTest, ReadsExactlyTheGivenLength) {
    // The bytes after the given length would name a registered handler.
    const std::string full = "<R><VORTAXIS_METHOD><Known/></VORTAXIS_METHOD></R>";
    const std::size_t cut = full.find("<Known");
    std::vector<char> exact(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
    std::int32_t length = 64;
    char reply[64];
    EXPECT_EQ(dispatchMessage(bridge, exact.data(), static_cast<std::int32_t>(exact.size()), reply,
                              &length),
              -1);
    EXPECT_TRUE(calls.empty());
}

TEST_F(DispatchTest, DegenerateMessagePointersAndLengths) {
    const char text[] = "<R><VORTAXIS_EVENT><Known/></VORTAXIS_EVENT></R>";
    std::int32_t length = 10;
    char reply[10];
    EXPECT_EQ(dispatchMessage(bridge, nullptr, 0, reply, &length), -1);
    EXPECT_EQ(dispatchMessage(bridge, nullptr, 50, reply, &length), -1);
    EXPECT_EQ(dispatchMessage(bridge, text, 0, reply, &length), -1);
    EXPECT_EQ(dispatchMessage(bridge, text, -1, reply, &length), -1);
    EXPECT_EQ(dispatchMessage(bridge, nullptr, 0, nullptr, nullptr), -1);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(length, 0);
}

TEST_F(DispatchTest, BinaryNoiseNeverReachesOutsideTheMessage) {
    std::mt19937 random(20240611u);
    const char alphabetBytes[] = "<>/!?[]&#;x VORTAXIS_EVENTMETHOD\0\x01\xff";
    const std::string alphabet(alphabetBytes, sizeof(alphabetBytes) - 1);
    for (int round = 0; round < 500; ++round) {
        const std::size_t size = random() % 200;
        std::vector<char> message(size);
        for (char& byte : message) {
            byte = (random() % 2 == 0) ? static_cast<char>(random() % 256)
                                       : alphabet[random() % alphabet.size()];
        }
        std::int32_t length = 32;
        char reply[32];
        const std::int32_t result = dispatchMessage(
            bridge, message.data(), static_cast<std::int32_t>(size), reply, &length);
        EXPECT_TRUE(result == -1 || result == 11 || result == 20 || result == 21 || result == 22)
            << result;
        EXPECT_EQ(length, 0);
    }
}

// The fall-back handlers installed at start-up.
TEST(FallbackHandlers, WriteTheirLabelAndTheDocumentAndAnswer) {
    HostBridge bridge;
    QuenKlarna extension(bridge);
    RecordingHost host;
    host.connect(bridge);
    runStartupRegistration(bridge, extension);
    struct Case {
        std::string message;
        const char* label;
        std::int32_t result;
    };
    const std::vector<Case> cases = {
        {"<R><VORTAXIS_METHOD><Nobody/></VORTAXIS_METHOD></R>", "Klarna On RX default Method:\n",
         0},
        {"<R><VORTAXIS_EVENT><Nobody/></VORTAXIS_EVENT></R>", "Klarna On RX default Event:\n", -1},
        {"<R><Something>x</Something></R>", "Klarna On RX default Non-Standard Event:\n", -1},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.label);
        DebugCapture debug;
        EXPECT_EQ(RecordingHost::deliver(bridge, row.message).result, row.result);
        ASSERT_EQ(debug.lines.size(), 2u);
        EXPECT_EQ(debug.lines[0], row.label);
        EXPECT_EQ(debug.lines[1], xmlDoc(row.message).toString());
    }
}

} // namespace
