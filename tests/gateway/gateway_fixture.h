// A QuenKlarna wired to a fake host with a variable store, and every
// platform service (clocks, random numbers, UUIDs, debug output) scripted.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "host/quen_klarna.h"
#include "platform/platform.h"
#include "tests/config/host_variable_store.h"
#include "tests/support/recording_host.h"

class GatewayFixture : public ::testing::Test {
  protected:
    HostVariableStore store;
    QuenKlarna klarna{store.bridge};

    std::vector<std::string> debugLines;
    std::uint32_t tick = 1000;
    std::uint64_t nanos = 5000000000ULL;
    std::int64_t seconds = 1700000000;
    std::uint64_t systemTicks = 133457472001234567ULL; // 100 ns ticks since 1601
    platform::WallClock clock;
    std::vector<unsigned> seeds;
    std::deque<int> randoms; // served in order, then 0
    std::string uuid = "0f8fad5b-d9cb-469f-a165-70867728950e";

    GatewayFixture() {
        store.bridge.sourceName = "Klarna";
        clock.utc = {2024, 3, 5, 7, 8, 9};
        clock.local = {2024, 3, 5, 18, 8, 9};
        clock.utcOffsetMinutes = 660;
        platform::Seams seams;
        seams.debugSink = [this](const std::string& text) { debugLines.push_back(text); };
        seams.tickCount = [this] { return tick; };
        seams.monotonicNanos = [this] { return nanos; };
        seams.wallClock = [this] { return clock; };
        seams.newUuid = [this] { return uuid; };
        seams.seedRandom = [this](unsigned seed) { seeds.push_back(seed); };
        seams.randomNumber = [this] {
            if (randoms.empty()) {
                return 0;
            }
            const int value = randoms.front();
            randoms.pop_front();
            return value;
        };
        seams.epochSeconds = [this] { return seconds; };
        seams.systemTimeTicks = [this] { return systemTicks; };
        platform::setSeams(seams);

        klarna.settings.terminalRefNum = "TERM0001";
        klarna.settings.hostId = "KLARNA07";
        klarna.settings.timeoutResponse = 45;
    }
    ~GatewayFixture() override { platform::setSeams({}); }

    // A POS request copy as the entry points hand it over.
    static xmlNode posRequest(const std::string& source = "POS") {
        return RecordingHost::element("DoTransaction", {{"TxnType", "P"},
                                                        {"AmtPurchase", "1250"},
                                                        {"OriginalSource", source},
                                                        {"DialogTitle", "Klarna"}});
    }

    // The foreground transaction begun, with a payment-session request, and
    // the background transaction's last exchange accepted.
    void beginForeground(const std::string& type = "O", std::int32_t stan = 12) {
        ASSERT_TRUE(klarna.foreground.beginTransaction(posRequest()));
        klarna.origin.captureOrigin(klarna.foreground.posRequest);
        klarna.foreground.request.type = type;
        klarna.foreground.request.stan = stan;
        klarna.background.response.setResponse("00");
    }

    std::vector<const RecordingHost::Request*> sends() const {
        std::vector<const RecordingHost::Request*> found;
        for (const RecordingHost::Request& request : store.host.requests()) {
            if (request.methodName() == "SendHostMessage") {
                found.push_back(&request);
            }
        }
        return found;
    }

    const xmlNode& lastSend() const {
        const auto all = sends();
        static const xmlNode none;
        return all.empty() ? none : all.back()->element();
    }

    // A HostReceiveEvent delivered through the bridge.
    std::int32_t receive(const RecordingHost::Parameters& parameters) {
        const xmlNode event = RecordingHost::element("HostReceiveEvent", parameters);
        return RecordingHost::deliver(store.bridge, RecordingHost::eventMessage(event)).result;
    }

    static std::string header(std::int32_t messageType) {
        return "<Header><MTYPE>" + std::to_string(messageType) + "</MTYPE></Header>";
    }

    // A successful host delivery of a gateway reply under messageType.
    std::int32_t receiveReply(std::int32_t messageType, const std::string& json) {
        return receive({{"Result", "00"}, {"Header", header(messageType)}, {"Message", json}});
    }

    std::string allDebug() const {
        std::string joined;
        for (const std::string& line : debugLines) {
            joined += line;
        }
        return joined;
    }
};
