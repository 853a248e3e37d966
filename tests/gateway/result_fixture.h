// A foreground transaction at its end, wired to a fake host that keeps host
// variables: the common ground of the result, receipt and query tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "host/quen_klarna.h"
#include "platform/platform.h"
#include "tests/config/host_variable_store.h"
#include "tests/support/element_fields.h"
#include "tests/support/recording_host.h"

class ResultFixture : public ::testing::Test {
  protected:
    ResultFixture() {
        platform::Seams seams;
        seams.wallClock = [] {
            platform::WallClock clock;
            clock.local = {2024, 1, 31, 10, 15, 30};
            clock.utc = {2024, 1, 31, 0, 15, 30};
            return clock;
        };
        seams.tickCount = [] { return 5000u; };
        seams.debugSink = [this](const std::string& text) { debug += text; };
        platform::setSeams(seams);
        store.bridge.sourceName = "Klarna";
        extension.settings.terminalRefNum = "TERM0001";
    }
    ~ResultFixture() override { platform::setSeams({}); }

    // A POS purchase request as the entry point has copied it.
    static xmlNode posPurchase() {
        return RecordingHost::element("DoTransaction", {{"TxnType", "P"},
                                                        {"AmtPurchase", "1500"},
                                                        {"CurrencyCode", "AUD"},
                                                        {"TxnRef", "POSREF1"},
                                                        {"OriginalSource", "POS"},
                                                        {"Merchant", "70"},
                                                        {"m_Klarna", "Payment"}});
    }

    // Begins the foreground transaction and captures its origin.
    void begin(const xmlNode& request) {
        ASSERT_TRUE(extension.foreground.beginTransaction(request));
        extension.origin.captureOrigin(extension.foreground.posRequest);
    }

    // An approved purchase with a gateway reply.
    void approvedPurchase() {
        begin(posPurchase());
        GatewayTransaction& foreground = extension.foreground;
        foreground.request.type = "P";
        foreground.request.stan = 42;
        foreground.request.amt = 1500;
        foreground.request.trackinguid = "UID-1";
        foreground.reply.mt = 210;
        foreground.reply.amt = 1500;
        foreground.reply.currency = "AUD";
        foreground.reply.orderid = "ORD-9";
        foreground.response.lookupResponse("00", "");
    }

    // The requests of one method, in order.
    std::vector<const RecordingHost::Request*> requestsFor(const std::string& method) const {
        std::vector<const RecordingHost::Request*> found;
        for (const RecordingHost::Request& request : store.host.requests()) {
            if (request.methodName() == method) {
                found.push_back(&request);
            }
        }
        return found;
    }

    RecordingHost::Delivery deliverEvent(const std::string& name,
                                         const RecordingHost::Parameters& parameters) {
        return RecordingHost::deliver(
            store.bridge, RecordingHost::eventMessage(RecordingHost::element(name, parameters)));
    }

    HostVariableStore store;
    QuenKlarna extension{store.bridge};
    std::string debug;
};
