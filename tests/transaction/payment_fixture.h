// A QuenKlarna wired to a fake host that keeps variables and answers
// GetPinpadDetails, with the platform services scripted: the ground of the
// payment flow, prompt and customer exchange tests.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <vector>

#include "host/quen_klarna.h"
#include "platform/platform.h"
#include "tests/support/recording_host.h"

class PaymentFixture : public ::testing::Test {
  protected:
    using Parameters = RecordingHost::Parameters;

    RecordingHost host;
    HostBridge bridge;
    QuenKlarna klarna{bridge};
    std::map<std::string, std::string> variables{{"TOKEN", "T1"}};
    xmlNode pinpadDetails = RecordingHost::element(
        "GetPinpadDetails", {{"Acquirer", " ACQ "}, {"TID", "TID9"}, {"QR_code", "1"}});
    int completions = 0;
    std::string completedCode; // the response code when the transaction completed
    std::string debug;

    PaymentFixture() {
        host.connect(bridge);
        bridge.sourceName = "Klarna";
        host.respondWith([this](const RecordingHost::Request& request) { return answer(request); });
        platform::Seams seams;
        seams.debugSink = [this](const std::string& text) { debug += text; };
        seams.tickCount = [] { return 1000u; };
        seams.monotonicNanos = [] { return 5000000000ULL; };
        seams.wallClock = [] {
            platform::WallClock clock;
            clock.local = {2024, 3, 5, 18, 8, 9};
            clock.utc = {2024, 3, 5, 7, 8, 9};
            clock.utcOffsetMinutes = 660;
            return clock;
        };
        seams.newUuid = [] { return std::string("uuid-1"); };
        seams.seedRandom = [](unsigned) {};
        seams.randomNumber = [] { return 7; };
        seams.epochSeconds = [] { return std::int64_t{1700000000}; };
        platform::setSeams(seams);
        klarna.settings.terminalRefNum = "TERM0001";
        klarna.settings.timeoutResponse = 45;
        klarna.origin.pinpadOnline = true;
    }
    ~PaymentFixture() override { platform::setSeams({}); }

    static Parameters posPurchase(const Parameters& extra = {}) {
        Parameters fields = {{"TxnType", "P"},
                             {"AmtPurchase", "1250"},
                             {"CurrencyCode", "AUD"},
                             {"TxnRef", "POSREF1"},
                             {"OriginalSource", "POS"}};
        fields.insert(fields.end(), extra.begin(), extra.end());
        return fields;
    }

    // Begins the foreground transaction as an entry point would, with a
    // completion that records the outcome.
    void begin(const Parameters& fields) {
        ASSERT_TRUE(
            klarna.foreground.beginTransaction(RecordingHost::element("DoTransaction", fields)));
        klarna.origin.captureOrigin(klarna.foreground.posRequest);
        klarna.foreground.completion = [this] {
            ++completions;
            completedCode = klarna.foreground.response.code;
            klarna.foreground.inProgress = false;
        };
    }

    // Forgets the previous transaction of a table-driven test.
    void reset() {
        klarna.foreground = GatewayTransaction();
        klarna.background = GatewayTransaction();
        klarna.origin.promptResponse.clear();
        variables.erase("REVERSAL_DATA");
        completions = 0;
        completedCode.clear();
        host.clear();
    }

    // A purchase or refund started and its DllStartTransactionEvent answered.
    void startAndConfirm(const Parameters& fields, bool refund = false) {
        begin(fields);
        refund ? klarna.startRefund() : klarna.startPurchase();
        confirmStart();
    }

    void deliver(const xmlNode& event) {
        RecordingHost::deliver(bridge, RecordingHost::eventMessage(event));
    }

    // The host's answer to DllStartTransaction: the request it was given.
    void confirmStart() {
        const auto found = requestsOf("DllStartTransaction");
        ASSERT_FALSE(found.empty());
        xmlNode event;
        event.name = "DllStartTransactionEvent";
        event.children.push_back(found.back()->element().children.front());
        deliver(event);
    }

    void answerScreen(const Parameters& fields) {
        deliver(RecordingHost::element("GetMultiLineFromPinpadEvent", fields));
    }

    // A gateway reply to the last message that is not an interrupt ("Q"
    // is answered through the wait it interrupts): its type and stan, the
    // given code and members, under MTYPE = message type + 10.
    void reply(const std::string& rc, nlohmann::json members = nlohmann::json::object()) {
        nlohmann::json answered;
        int replyType = 0;
        for (const auto* request : requestsOf("SendHostMessage")) {
            const nlohmann::json message =
                nlohmann::json::parse(request->element().getChildText("Message", "{}"));
            if (message.value("type", "") != "Q") {
                answered = message;
                replyType = request->element()
                                .child(request->element().findChild("MsgType"))
                                .getTextInt(0) +
                            10;
            }
        }
        members["type"] = answered["type"];
        members["stan"] = answered["stan"];
        if (!rc.empty()) {
            members["rc"] = rc;
        }
        deliver(RecordingHost::element(
            "HostReceiveEvent",
            {{"Result", "00"},
             {"Header", "<Header><MTYPE>" + std::to_string(replyType) + "</MTYPE></Header>"},
             {"Message", members.dump()}}));
    }

    void hostFailure(const std::string& result) {
        deliver(RecordingHost::element("HostReceiveEvent",
                                       {{"Result", result}, {"ResultText", "no answer"}}));
    }

    std::vector<const RecordingHost::Request*> requestsOf(const std::string& method) const {
        std::vector<const RecordingHost::Request*> found;
        for (const RecordingHost::Request& request : host.requests()) {
            if (request.methodName() == method) {
                found.push_back(&request);
            }
        }
        return found;
    }

    std::string lastSendField(const std::string& name) const {
        return requestsOf("SendHostMessage").back()->element().getChildText(name, "?");
    }
    nlohmann::json lastMessage() const { return nlohmann::json::parse(lastSendField("Message")); }
    // Each expected member with its value in the last message sent.
    void expectMembers(const nlohmann::json& expected) const {
        const nlohmann::json sent = lastMessage();
        for (const auto& member : expected.items()) {
            EXPECT_EQ(sent.value(member.key(), nlohmann::json()), member.value()) << member.key();
        }
    }
    // The `type` of every message sent, in order.
    std::string sentTypes() const {
        std::string types;
        for (const auto* request : requestsOf("SendHostMessage")) {
            types += nlohmann::json::parse(request->element().getChildText("Message", "{}"))
                         .value("type", "?");
        }
        return types;
    }
    const xmlNode& lastScreen() const {
        return requestsOf("GetMultiLineFromPinpad").back()->element();
    }
    static std::string textLine(const xmlNode& screen, const char* line) {
        const int index = screen.findChild("TextLines");
        return index < 0 ? "?" : screen.child(index).getChildText(line, "?");
    }
    // The stored reversal's type, "" when there is none.
    std::string reversalType() const {
        const auto found = variables.find("REVERSAL_DATA");
        if (found == variables.end() || found->second.empty()) {
            return "";
        }
        return nlohmann::json::parse(found->second).value("type", "?");
    }

  private:
    RecordingHost::Answer answer(const RecordingHost::Request& request) {
        const xmlNode& element = request.element();
        const std::string name = element.getChildText("VariableName", "");
        if (element.name == "SetVariable") {
            variables[name] = element.getChildText("Value", "");
            return {};
        }
        if (element.name == "GetPinpadDetails") {
            return {0, RecordingHost::eventReply(pinpadDetails)};
        }
        if (element.name != "GetVariable") {
            return {};
        }
        const auto found = variables.find(name);
        Parameters parameters;
        if (found != variables.end()) {
            parameters.emplace_back("Var_result", found->second);
        }
        return {0, RecordingHost::eventReply(element.name, parameters)};
    }
};
