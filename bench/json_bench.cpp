// toJson/fromJson on the gateway messages of a purchase and a refund, against
// plain nlohmann parse and dump of the same texts.
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>

#include <string>

#include "bench/bench_inputs.h"
#include "documents/gateway_message.h"

namespace {

template <class Record> void readOurs(benchmark::State& state, const std::string& text) {
    Record record;
    if (!fromJson(text, record)) {
        state.SkipWithError("message not read");
        return;
    }
    for (auto _ : state) {
        Record read;
        benchmark::DoNotOptimize(fromJson(text, read));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void readNlohmann(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        nlohmann::json value = nlohmann::json::parse(text, nullptr, false);
        benchmark::DoNotOptimize(value.is_discarded());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void writeOurs(benchmark::State& state, const std::string& text) {
    GatewayRequest request;
    if (!fromJson(text, request)) {
        state.SkipWithError("message not read");
        return;
    }
    std::size_t written = 0;
    for (auto _ : state) {
        const std::string out = toJson(request);
        written = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * written));
}

void writeNlohmann(benchmark::State& state, const std::string& text) {
    const nlohmann::json value = nlohmann::json::parse(text);
    std::size_t written = 0;
    for (auto _ : state) {
        const std::string out = value.dump();
        written = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * written));
}

void registerPair(const std::string& group, const std::string& input,
                  void (*ours)(benchmark::State&, const std::string&),
                  void (*reference)(benchmark::State&, const std::string&),
                  const std::string& text) {
    benchmark::RegisterBenchmark((group + "/ours/" + input).c_str(), ours, text);
    benchmark::RegisterBenchmark((group + "/nlohmann/" + input).c_str(), reference, text);
}

const bool registered = [] {
    for (const auto& reply : benchInputs::gatewayReplies()) {
        registerPair("json_read", std::string("reply_") + reply.name, readOurs<GatewayReply>,
                     readNlohmann, reply.text);
    }
    for (const auto& request : benchInputs::gatewayRequests()) {
        registerPair("json_read", std::string("request_") + request.name, readOurs<GatewayRequest>,
                     readNlohmann, request.text);
        registerPair("json_write", std::string("request_") + request.name, writeOurs, writeNlohmann,
                     request.text);
    }
    return true;
}();

} // namespace
