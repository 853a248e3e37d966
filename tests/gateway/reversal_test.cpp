#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/persisted_records.h"
#include "documents/json_text.h"
#include "host/quen_klarna.h"
#include "host/startup_registration.h"
#include "platform/platform.h"
#include "tests/support/recording_host.h"

namespace {

using Json = nlohmann::json;

// The purchase whose outcome was never learnt: stored as the pending
// reversal exactly as the foreground send stores it.
GatewayRequest lostPurchase() {
    GatewayRequest request;
    request.mt = 200;
    request.type = "P";
    request.stan = 7;
    request.amt = 1250;
    request.sentcount = 1;
    request.tt = "20240307080502";
    return request;
}

class ReversalTest : public ::testing::Test {
  protected:
    ReversalTest() {
        platform::Seams seams;
        seams.debugSink = [](const std::string&) {};
        seams.tickCount = [] { return 5000u; };
        seams.monotonicNanos = [this] { return nanos += 25000000; };
        seams.wallClock = [] {
            platform::WallClock clock;
            clock.local = {2024, 3, 7, 9, 5, 2};
            clock.utc = {2024, 3, 7, 8, 5, 2};
            return clock;
        };
        seams.newUuid = [] { return std::string("00000000-0000-0000-0000-000000000000"); };
        seams.seedRandom = [](unsigned) {};
        seams.randomNumber = [] { return 1; };
        seams.epochSeconds = [] { return std::int64_t{1709798702}; };
        platform::setSeams(seams);

        host.connect(bridge);
        bridge.sourceName = "Klarna";
        host.respondWith([this](const RecordingHost::Request& request) { return answer(request); });
        extension.settings.timeoutResponse = 45;
        extension.settings.reversalTimer = 120;
    }
    ~ReversalTest() override { platform::setSeams({}); }

    RecordingHost::Answer answer(const RecordingHost::Request& request) {
        const xmlNode& element = request.element();
        const std::string name = element.getChildText("VariableName", "");
        if (element.name == "SetVariable") {
            variables[name] = element.getChildText("Value", "");
            if (name == recordName::reversalData) {
                reversalWrites.push_back(variables[name]);
            }
            return {};
        }
        if (element.name == "GetVariable") {
            RecordingHost::Parameters parameters;
            const auto found = variables.find(name);
            if (found != variables.end()) {
                parameters.emplace_back("Var_result", found->second);
            }
            return {0, RecordingHost::eventReply(element.name, parameters)};
        }
        return {};
    }

    // Back to a module with no exchange running and an empty variable store.
    void resetState() {
        variables.clear();
        reversalWrites.clear();
        purchaseSteps = 0;
        host.clear();
        extension.background = GatewayTransaction();
        extension.foreground = GatewayTransaction();
        extension.foregroundDeferred = false;
        extension.settings.reversalOnSale = false;
    }

    void storePendingReversal() {
        ASSERT_EQ(storeReversal(bridge, lostPurchase()), ReversalRecord::stored);
        reversalWrites.clear();
        host.clear();
    }

    // A purchase whose steps are the reversal check and then its own
    // gateway send ("P", MsgType 200).
    void startPurchase() {
        xmlNode posRequest = RecordingHost::element("DoTransaction", {{"TxnType", "P"}});
        ASSERT_TRUE(extension.foreground.beginTransaction(posRequest));
        extension.clearSteps();
        extension.addStep(
            xmlNode(), [this](xmlNode& parameters) { return extension.startReversal(parameters); });
        extension.addStep(xmlNode(), [this](xmlNode&) { return sendPurchase(); });
    }

    bool sendPurchase() {
        ++purchaseSteps;
        extension.foreground.request.type = purchaseType;
        extension.foreground.request.stan = 8;
        extension.startForegroundSend(200, 210, 210, -1, false, [] { return false; });
        return true;
    }

    std::vector<const RecordingHost::Request*> sends() const {
        std::vector<const RecordingHost::Request*> found;
        for (const RecordingHost::Request& request : host.requests()) {
            if (request.methodName() == "SendHostMessage") {
                found.push_back(&request);
            }
        }
        return found;
    }

    std::vector<std::string> journal() const {
        std::vector<std::string> entries;
        for (const RecordingHost::Request& request : host.requests()) {
            if (request.methodName() == "AddJournal") {
                entries.push_back(request.element().getChildText("jnl_entry", ""));
            }
        }
        return entries;
    }

    static Json messageOf(const RecordingHost::Request& send) {
        Json value;
        EXPECT_TRUE(jsonText::parse(send.element().getChildText("Message", ""), value));
        return value;
    }

    static Json recordOf(const std::string& text) {
        Json value;
        EXPECT_TRUE(jsonText::parse(text, value)) << text;
        return value;
    }

    RecordingHost::Delivery deliver(const RecordingHost::Parameters& parameters) {
        return RecordingHost::deliver(bridge, RecordingHost::eventMessage(RecordingHost::element(
                                                  "HostReceiveEvent", parameters)));
    }

    // The gateway's answer to the reversal, repeating its type and stan.
    RecordingHost::Delivery replyToReversal(const std::string& rc) {
        const Json reply = {{"type", "P-"}, {"stan", 7}, {"rc", rc}, {"rt", "done"}};
        return deliver({{"Result", "00"},
                        {"Header", "<Header><MTYPE>410</MTYPE></Header>"},
                        {"Message", jsonText::dump(reply)}});
    }

    RecordingHost::Delivery hostFailure() {
        return deliver({{"Result", "X0"}, {"ResultText", "no response"}});
    }

    std::int32_t timerTick() {
        xmlDoc document;
        xmlNode element;
        std::string reply;
        return extension.onReversalTimer(document, element, reply);
    }

    std::uint64_t nanos = 0;
    RecordingHost host;
    HostBridge bridge;
    QuenKlarna extension{bridge};
    std::map<std::string, std::string> variables;
    std::vector<std::string> reversalWrites;
    int purchaseSteps = 0;
    std::string purchaseType = "P";
};

TEST_F(ReversalTest, PendingReversalGoesFirstAndHoldsThePurchaseUntilItIsAccepted) {
    struct Case {
        const char* rc;
        const char* journalStart; // only "00" is journalled as "R"
    };
    for (const Case& row : {Case{"00", "F00R"}, Case{"0A", "F00X"}}) {
        SCOPED_TRACE(row.rc);
        resetState();
        storePendingReversal();
        startPurchase();
        EXPECT_TRUE(extension.runNextStep());

        auto sent = sends();
        ASSERT_EQ(sent.size(), 1u);
        const xmlNode& reversal = sent[0]->element();
        EXPECT_EQ(reversal.getChildText("MsgType", ""), "400");
        EXPECT_EQ(reversal.getChildText("Timeout", ""), "45");
        const Json message = messageOf(*sent[0]);
        EXPECT_EQ(message.value("type", ""), "P-");
        EXPECT_EQ(message.value("mt", 0), 400);
        EXPECT_EQ(message.value("sentcount", 0), 2);
        EXPECT_EQ(message.value("stan", 0), 7);
        EXPECT_FALSE(message.contains("repeat"));
        EXPECT_FALSE(message.contains("reply"));
        // The purchase step ran, but its send waits for the reversal.
        EXPECT_EQ(purchaseSteps, 1);
        EXPECT_TRUE(extension.foregroundDeferred);

        EXPECT_EQ(replyToReversal(row.rc).result, 1);

        ASSERT_FALSE(reversalWrites.empty());
        EXPECT_EQ(reversalWrites[0], ""); // cleared before the purchase stores its own record
        const auto entries = journal();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].substr(0, 4), row.journalStart);
        EXPECT_NE(entries[0].find("?P-000000"), std::string::npos);
        sent = sends();
        ASSERT_EQ(sent.size(), 2u);
        EXPECT_EQ(sent[1]->element().getChildText("MsgType", ""), "200");
        EXPECT_EQ(messageOf(*sent[1]).value("type", ""), "P");
        EXPECT_FALSE(extension.background.inProgress);
        EXPECT_FALSE(extension.foregroundDeferred);
    }
}

TEST_F(ReversalTest, RefusedReversalKeepsItsRecordWithCountsAndBlocksForegroundSends) {
    struct Case {
        const char* label;
        bool hostFails;
        bool counted; // a readable reply increments replycount
    };
    const std::vector<Case> cases = {{"host failure", true, false},
                                     {"declined reply", false, true}};
    for (const Case& row : cases) {
        SCOPED_TRACE(row.label);
        resetState();
        storePendingReversal();
        startPurchase();
        extension.runNextStep();
        if (row.hostFails) {
            hostFailure();
        } else {
            replyToReversal("05");
        }

        ASSERT_EQ(reversalWrites.size(), 1u);
        const Json record = recordOf(reversalWrites[0]);
        EXPECT_EQ(record.value("type", ""), "P-");
        EXPECT_EQ(record.value("mt", 0), 400);
        EXPECT_EQ(record.value("sentcount", 0), 2);
        EXPECT_EQ(record.value("amt", 0), 1250);
        EXPECT_EQ(record.contains("replycount"), row.counted);
        EXPECT_FALSE(record.contains("repeat"));
        EXPECT_FALSE(record.contains("reply"));
        EXPECT_TRUE(journal().empty());

        // The deferred purchase send is refused.
        EXPECT_EQ(sends().size(), 1u);
        EXPECT_EQ(extension.foreground.response.code, "TX");
        EXPECT_FALSE(extension.foreground.inProgress);
        EXPECT_FALSE(extension.background.inProgress);

        // So is a later foreground send while no reversal has been accepted.
        ASSERT_TRUE(extension.foreground.beginTransaction(xmlNode()));
        sendPurchase();
        EXPECT_EQ(sends().size(), 1u);
        EXPECT_EQ(extension.foreground.response.code, "TX");

        // The next attempt resends the record with its counts.
        extension.settings.reversalOnSale = true;
        timerTick();
        ASSERT_EQ(sends().size(), 2u);
        const Json again = messageOf(*sends()[1]);
        EXPECT_EQ(again.value("sentcount", 0), 3);
        EXPECT_EQ(again.contains("replycount"), row.counted);
    }
}

// A reversal reply the module cannot match (unreadable, another stan or
// type, no rc) ends the reversal; the sale that waited for it must then be
// refused, not left waiting for ever.
TEST_F(ReversalTest, UnmatchedReversalReplyReleasesTheWaitingSale) {
    const std::vector<std::string> replies = {
        "{\"rc\":\"00\",\"type\":", R"({"type":"P-","stan":8,"rc":"00"})",
        R"({"type":"X","stan":7,"rc":"00"})", R"({"type":"P-","stan":7})"};
    for (const std::string& reply : replies) {
        SCOPED_TRACE(reply);
        resetState();
        storePendingReversal();
        startPurchase();
        extension.runNextStep();
        ASSERT_TRUE(extension.foregroundDeferred);
        deliver({{"Result", "00"},
                 {"Header", "<Header><MTYPE>410</MTYPE></Header>"},
                 {"Message", reply}});
        EXPECT_FALSE(extension.background.inProgress);
        EXPECT_FALSE(extension.foregroundDeferred);
        EXPECT_EQ(sends().size(), 1u); // the sale's own message is not sent
        EXPECT_EQ(extension.foreground.response.code, "TX");
        EXPECT_FALSE(extension.foreground.inProgress);
        EXPECT_TRUE(journal().empty());
    }
}

// A reversal reply in nobody's window ends the sale waiting behind the
// reversal with "Z1", once: the end of the reversal must not send the ended
// sale's message, redraw the processing screen or overwrite its code.
TEST_F(ReversalTest, ReplyInNobodysWindowEndsTheWaitingSaleOnce) {
    storePendingReversal();
    startPurchase();
    int completions = 0;
    extension.foreground.completion = [this, &completions] {
        ++completions;
        extension.foreground.inProgress = false;
    };
    extension.runNextStep();
    ASSERT_TRUE(extension.foregroundDeferred);
    const std::size_t before = host.requests().size();

    deliver({{"Result", "00"},
             {"Header", "<Header><MTYPE>999</MTYPE></Header>"},
             {"Message", R"({"type":"P-","stan":7,"rc":"00"})"}});

    EXPECT_EQ(completions, 1);
    EXPECT_EQ(extension.foreground.response.code, "Z1");
    EXPECT_FALSE(extension.foregroundDeferred);
    EXPECT_FALSE(extension.background.inProgress);
    EXPECT_EQ(host.requests().size(), before); // no send, no processing screen
    EXPECT_EQ(sends().size(), 1u);
}

// A record of a purchase "P" itself (not one this module writes) would be a
// purchase sent outside any sale.
TEST_F(ReversalTest, RecordThatIsNoReversalIsLeftInPlaceAndDoesNotBlock) {
    const std::vector<std::string> records = {
        "not json",
        R"({"stan":7})",
        R"({"type":""})",
        R"(["P-"])",
        R"({"amt":1250,"mt":200,"stan":3,"type":"P","orderid":"ORD1"})",
        R"({"type":"-"})"};
    purchaseType = "O"; // a send that stores no record of its own
    for (const std::string& text : records) {
        SCOPED_TRACE(text);
        resetState();
        variables[recordName::reversalData] = text;
        startPurchase();

        EXPECT_TRUE(extension.runNextStep());

        EXPECT_TRUE(reversalWrites.empty());
        EXPECT_EQ(variables[recordName::reversalData], text);
        EXPECT_FALSE(extension.background.inProgress);
        EXPECT_EQ(extension.background.response.code, "00");
        EXPECT_EQ(purchaseSteps, 1);
        const auto sent = sends();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0]->element().getChildText("MsgType", ""), "200");
    }
}

TEST_F(ReversalTest, ReturnImmediateSkipsTheStepList) {
    startPurchase();
    xmlNode timerCall;
    timerCall.getChild("ReturnImmediate").setText("1");

    // Nothing pending: false, and the steps are left alone.
    EXPECT_FALSE(extension.startReversal(timerCall));
    EXPECT_EQ(extension.steps.nextIndex(), 0u);
    EXPECT_TRUE(sends().empty());

    storePendingReversal();
    EXPECT_TRUE(extension.startReversal(timerCall));
    EXPECT_EQ(extension.steps.nextIndex(), 0u);
    EXPECT_EQ(sends().size(), 1u);

    // A background exchange already running: false, nothing more sent.
    EXPECT_FALSE(extension.startReversal(timerCall));
    EXPECT_EQ(sends().size(), 1u);
    EXPECT_EQ(purchaseSteps, 0);
}

TEST_F(ReversalTest, TimerWaitsForARunningTransactionAndHonoursReversalOnSale) {
    storePendingReversal();

    extension.settings.reversalOnSale = true;
    ASSERT_TRUE(extension.foreground.beginTransaction(xmlNode()));
    EXPECT_EQ(timerTick(), 60000);
    EXPECT_TRUE(host.requests().empty());
    extension.foreground.completeTransaction();

    extension.settings.reversalOnSale = false;
    EXPECT_EQ(timerTick(), 120000);
    EXPECT_TRUE(host.requests().empty());

    extension.settings.reversalOnSale = true;
    EXPECT_EQ(timerTick(), 120000);
    ASSERT_EQ(sends().size(), 1u);
    EXPECT_EQ(sends()[0]->element().getChildText("MsgType", ""), "400");
    EXPECT_FALSE(extension.foreground.inProgress);
}

TEST_F(ReversalTest, TimerDelayIsClampedToAPositive32BitValue) {
    constexpr std::int32_t largest = std::numeric_limits<std::int32_t>::max();
    struct Case {
        std::int32_t seconds;
        std::int32_t delay;
    };
    const std::vector<Case> cases = {
        {120, 120000},         {1, 1000},
        {2147483, 2147483000}, {2147484, largest},
        {largest, largest},    {0, 120000},
        {-5, 120000},          {std::numeric_limits<std::int32_t>::min(), 120000},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.seconds);
        extension.settings.reversalTimer = row.seconds;
        EXPECT_EQ(timerTick(), row.delay);
    }
}

TEST_F(ReversalTest, StartupRegistersTheTimerHandlerForTimerTrigger) {
    runStartupRegistration(bridge, extension);
    extension.settings.reversalTimer = 30;
    const RecordingHost::Delivery delivery = RecordingHost::deliver(
        bridge, RecordingHost::eventMessage(RecordingHost::element("TimerTrigger", {})));
    EXPECT_EQ(delivery.result, 30000);
}

} // namespace
