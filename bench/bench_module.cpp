#include "bench/bench_module.h"

#include <vector>

#include "bench/alloc_counter.h"
#include "host/entry_points.h"
#include "host/module_state.h"
#include "platform/platform.h"

extern "C" std::int32_t KLARNA_CALL OnReceive_v2(const char* message, std::int32_t length,
                                                 char* replyBuffer, std::int32_t* replyLength);

namespace benchModule {

namespace {

platform::Seams fixedServices() {
    platform::Seams seams;
    seams.debugSink = [](const std::string&) {};
    seams.tickCount = [] {
        static std::uint32_t ticks = 1000;
        return ticks += 10;
    };
    seams.monotonicNanos = [] {
        static std::uint64_t nanos = 5000000000ULL;
        return nanos += 10000000ULL;
    };
    seams.wallClock = [] {
        platform::WallClock clock;
        clock.local = {2026, 12, 8, 11, 53, 19};
        clock.utc = {2026, 12, 8, 0, 53, 19};
        clock.utcOffsetMinutes = 660;
        return clock;
    };
    seams.newUuid = [] { return std::string("8bcf1630-5386-420b-a670-766b640b0a48"); };
    seams.seedRandom = [](unsigned) {};
    seams.randomNumber = [] { return 7; };
    seams.epochSeconds = [] { return std::int64_t{1796644399}; };
    seams.systemTimeTicks = [] { return std::uint64_t{134101179991234567}; };
    return seams;
}

bool run(BenchHost& host, const BenchHost::Fields& fields) {
    host.transactionEnded = false;
    host.lastResult.clear();
    std::string request;
    {
        const allocCounter::Pause pause; // the host builds the request
        BenchHost::onEnter();
        request = BenchHost::posTransaction(fields);
        BenchHost::onLeave();
    }
    deliver(request);
    drain(host);
    return host.transactionEnded && host.lastResult == "00";
}

} // namespace

bool start(BenchHost& host) {
    platform::setSeams(fixedServices());
    host.variables["TERMINAL_REF_NUM"] = "TERM0001";
    host.variables["TOKEN"] = "TOK7";
    char versionBuffer[16] = {};
    StartupFields fields;
    fields.recordSize = startupRecord::fullSize;
    fields.hostContext = 1;
    fields.versionText = "2.0";
    fields.hostName = "VORTAXIS_DLL_HANDLER";
    fields.sendCallback = BenchHost::callback();
    fields.versionBuffer = versionBuffer;
    ModuleState& module = moduleState();
    if (startupFromFields(module.bridge, module.extension, module.lifecycle, fields) != startupOk) {
        return false;
    }
    deliver(BenchHost::eventText("PinpadNotify", {{"PinpadOnline", "1"}}, "PINPAD"));
    drain(host);
    return true;
}

BenchHost* startedHost() {
    static BenchHost host;
    static const bool started = start(host);
    return started ? &host : nullptr;
}

std::int32_t deliver(const std::string& text, std::string* reply) {
    static std::vector<char> buffer(4096);
    std::int32_t length = static_cast<std::int32_t>(buffer.size());
    const std::int32_t result =
        OnReceive_v2(text.data(), static_cast<std::int32_t>(text.size()), buffer.data(), &length);
    if (reply != nullptr) {
        reply->assign(buffer.data(), static_cast<std::size_t>(length > 0 ? length : 0));
    }
    return result;
}

void drain(BenchHost& host) {
    while (!host.pending.empty()) {
        const std::string text = std::move(host.pending.front());
        host.pending.pop_front();
        deliver(text);
    }
}

bool purchase(BenchHost& host) {
    return run(host, {{"TxnType", "P"},
                      {"AmtPurchase", "1250"},
                      {"CurrencyCode", "AUD"},
                      {"TxnRef", "POS0201"},
                      {"OriginalSource", "POS"}});
}

bool refund(BenchHost& host) {
    return run(host,
               {{"TxnType", "R"},
                {"AmtPurchase", "1250"},
                {"CurrencyCode", "AUD"},
                {"TxnRef", "POS0202"},
                {"OriginalSource", "POS"},
                {"PurchaseAnalysisData", R"(RFN039{"merchant":"70","orderid":"ORD000002"})"}});
}

} // namespace benchModule
