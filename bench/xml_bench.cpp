// The XML model against pugixml on the same inputs: parse, lookups by child
// name over the whole tree, and serialisation.
#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <string>
#include <vector>

#include "bench/bench_inputs.h"
#include "documents/xml_node.h"

namespace {

constexpr std::size_t largeSize = 1024 * 1024;

struct StringWriter : pugi::xml_writer {
    std::string out;
    void write(const void* data, std::size_t size) override {
        out.append(static_cast<const char*>(data), size);
    }
};

// Every element's children looked up by their own names, in the whole tree.
std::size_t lookUpAll(const xmlNode& node) {
    std::size_t found = 0;
    for (const xmlNode& child : node.children) {
        found += node.findChild(child.name) >= 0 ? 1 : 0;
        found += lookUpAll(child);
    }
    return found;
}

std::size_t lookUpAll(const pugi::xml_node& node) {
    std::size_t found = 0;
    for (const pugi::xml_node& child : node.children()) {
        if (child.type() != pugi::node_element) {
            continue;
        }
        found += node.child(child.name()) ? 1 : 0;
        found += lookUpAll(child);
    }
    return found;
}

bool oursParses(const std::string& text) {
    const xmlDoc document(text);
    return document.name == "VORTAXIS_BRIDGE";
}

bool pugiParses(pugi::xml_document& document, const std::string& text) {
    return document.load_buffer(text.data(), text.size()) && document.child("VORTAXIS_BRIDGE");
}

void parseOurs(benchmark::State& state, const std::string& text) {
    if (!oursParses(text)) {
        state.SkipWithError("input not parsed");
        return;
    }
    for (auto _ : state) {
        xmlDoc document(text);
        benchmark::DoNotOptimize(document.children.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void parsePugi(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        pugi::xml_document document;
        if (!pugiParses(document, text)) {
            state.SkipWithError("input not parsed");
            return;
        }
        benchmark::DoNotOptimize(document.first_child().internal_object());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void lookupOurs(benchmark::State& state, const std::string& text) {
    const xmlDoc document(text);
    std::size_t found = 0;
    for (auto _ : state) {
        found = lookUpAll(document);
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * found));
}

void lookupPugi(benchmark::State& state, const std::string& text) {
    pugi::xml_document document;
    pugiParses(document, text);
    std::size_t found = 0;
    for (auto _ : state) {
        found = lookUpAll(document.document_element());
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * found));
}

void serializeOurs(benchmark::State& state, const std::string& text) {
    const xmlDoc document(text);
    std::size_t written = 0;
    for (auto _ : state) {
        const std::string out = document.toString();
        written = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * written));
}

void serializePugi(benchmark::State& state, const std::string& text) {
    pugi::xml_document document;
    pugiParses(document, text);
    std::size_t written = 0;
    for (auto _ : state) {
        StringWriter writer;
        document.save(writer, " ", pugi::format_default, pugi::encoding_utf8);
        written = writer.out.size();
        benchmark::DoNotOptimize(writer.out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * written));
}

using Body = void (*)(benchmark::State&, const std::string&);

void registerPair(const char* group, Body ours, Body pugi, const char* input,
                  const std::string& text) {
    benchmark::RegisterBenchmark((std::string(group) + "/ours/" + input).c_str(), ours, text);
    benchmark::RegisterBenchmark((std::string(group) + "/pugixml/" + input).c_str(), pugi, text);
}

const bool registered = [] {
    std::vector<benchInputs::NamedText> inputs = benchInputs::hostMessages();
    inputs.push_back({"large_1MB", benchInputs::largeDocument(largeSize)});
    for (const auto& input : inputs) {
        registerPair("xml_parse", parseOurs, parsePugi, input.name, input.text);
        registerPair("xml_lookup", lookupOurs, lookupPugi, input.name, input.text);
        registerPair("xml_serialize", serializeOurs, serializePugi, input.name, input.text);
    }
    return true;
}();

} // namespace
