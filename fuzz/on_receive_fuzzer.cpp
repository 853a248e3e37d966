// OnReceive_v2 as the host calls it, on the module-wide state, with
// arbitrary message bytes and a reply buffer of a size taken from the input.
// No crash, no exception, and the reply length the module reports stays
// within the buffer (the buffer is exactly that long, so AddressSanitizer
// also catches a write past it). After each message the host answers
// whatever the module asked for (as time-outs), so that the module is idle
// again for the next input.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/fixed_platform.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_host.h"
#include "host/entry_points.h"
#include "host/module_state.h"

extern "C" std::int32_t KLARNA_CALL OnReceive_v2(const char* message, std::int32_t length,
                                                 char* replyBuffer, std::int32_t* replyLength);

namespace {

constexpr std::size_t maxDrain = 200;

std::int32_t deliver(const std::string& text, std::int32_t capacity) {
    const std::unique_ptr<char[]> buffer(new char[static_cast<std::size_t>(capacity)]);
    std::int32_t length = capacity;
    const std::int32_t result =
        OnReceive_v2(text.data(), static_cast<std::int32_t>(text.size()), buffer.get(), &length);
    FUZZ_CHECK(length >= 0 && length < capacity, "reply length stays within the buffer");
    return result;
}

void drain(FuzzHost& host) {
    for (std::size_t i = 0; i < maxDrain && !host.owed.empty(); ++i) {
        const FuzzHost::Owed next = host.owed.front();
        host.owed.erase(host.owed.begin());
        deliver(FuzzHost::timeoutAnswer(next), 4096);
    }
    host.owed.clear();
}

FuzzHost& startedHost() {
    static FuzzHost host;
    static const bool started = [] {
        fuzzPlatform::install();
        host.variables["TERMINAL_REF_NUM"] = "TERM0001";
        host.variables["TOKEN"] = "TOK7";
        char versionBuffer[16] = {};
        const StartupFields fields = FuzzHost::startupFields(versionBuffer);
        ModuleState& module = moduleState();
        const std::int32_t status =
            startupFromFields(module.bridge, module.extension, module.lifecycle, fields);
        deliver(FuzzHost::eventText("PinpadNotify", {{"PinpadOnline", "1"}}, "PINPAD"), 4096);
        drain(host);
        return status == startupOk;
    }();
    FUZZ_CHECK(started, "module starts");
    return host;
}

// Sizes from a one-byte buffer to a few kilobytes, most of them large
// enough for the module's answers.
std::int32_t capacityFor(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 1;
    }
    const unsigned pick = data[size - 1];
    return pick < 16 ? static_cast<std::int32_t>(pick + 1) : 4096;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzHost& host = startedHost();
    const std::string message(reinterpret_cast<const char*>(data), size);
    deliver(message, capacityFor(data, size));
    drain(host);
    return 0;
}
