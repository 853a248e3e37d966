// Instructions per XML parse, ours and pugixml's, for callgrind:
//
//   valgrind --tool=callgrind --collect-atstart=no klarna_parse_count INPUT ours|pugixml
//
// INPUT is a host message name of the benchmarks (printReceiptEvent, ...) or
// large_1MB. Collection is on only around the parses (1000 of a host message,
// 5 of the large document); the program prints the count, so the
// instructions per parse are callgrind's "Collected" divided by it. Unlike
// MB/s on a shared machine, the figure is the same on every run.
#include <valgrind/callgrind.h>

#include <pugixml.hpp>

#include <cstdio>
#include <cstring>
#include <string>

#include "bench/bench_inputs.h"
#include "documents/xml_node.h"

namespace {

std::size_t parseOurs(const std::string& text, int times) {
    std::size_t elements = 0;
    for (int i = 0; i < times; ++i) {
        const xmlDoc document(text);
        elements += document.children.size();
    }
    return elements;
}

std::size_t parsePugi(const std::string& text, int times) {
    std::size_t elements = 0;
    for (int i = 0; i < times; ++i) {
        pugi::xml_document document;
        elements += document.load_buffer(text.data(), text.size()) ? 1 : 0;
    }
    return elements;
}

bool inputNamed(const char* name, std::string& text) {
    if (std::strcmp(name, "large_1MB") == 0) {
        text = benchInputs::largeDocument(1024 * 1024);
        return true;
    }
    for (const benchInputs::NamedText& message : benchInputs::hostMessages()) {
        if (std::strcmp(name, message.name) == 0) {
            text = message.text;
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    std::string text;
    const bool ours = argc == 3 && std::strcmp(argv[2], "ours") == 0;
    if (argc != 3 || !inputNamed(argv[1], text) ||
        (!ours && std::strcmp(argv[2], "pugixml") != 0)) {
        std::fprintf(stderr, "usage: %s INPUT ours|pugixml\n", argv[0]);
        return 2;
    }
    const int times = text.size() > 100000 ? 5 : 1000;
    CALLGRIND_TOGGLE_COLLECT;
    const std::size_t result = ours ? parseOurs(text, times) : parsePugi(text, times);
    CALLGRIND_TOGGLE_COLLECT;
    std::printf("%d parses of %s (%zu bytes) by %s (%zu)\n", times, argv[1], text.size(), argv[2],
                result);
    return 0;
}
