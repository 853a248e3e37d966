// Seam dispatch shared by every operating system: a set seam wins, otherwise
// the system service of platform_posix.cpp or platform_windows.cpp runs.
#include "platform/platform.h"

#include "platform/system_services.h"

#include <utility>

namespace platform {

namespace {
Seams& seamStorage() {
    static Seams storage;
    return storage;
}
} // namespace

void setSeams(Seams replacement) {
    seamStorage() = std::move(replacement);
}
Seams& seams() {
    return seamStorage();
}

void debugOutput(const std::string& text) {
    if (seams().debugSink) {
        seams().debugSink(text);
        return;
    }
    system::debugOutput(text);
}

std::uint32_t tickCount() {
    return seams().tickCount ? seams().tickCount() : system::tickCount();
}

std::uint64_t monotonicNanos() {
    return seams().monotonicNanos ? seams().monotonicNanos() : system::monotonicNanos();
}

WallClock wallClock() {
    return seams().wallClock ? seams().wallClock() : system::wallClock();
}

std::string newUuid() {
    return seams().newUuid ? seams().newUuid() : system::newUuid();
}

void seedRandom(unsigned seed) {
    if (seams().seedRandom) {
        seams().seedRandom(seed);
        return;
    }
    system::seedRandom(seed);
}

int randomNumber() {
    return seams().randomNumber ? seams().randomNumber() : system::randomNumber();
}

std::int64_t epochSeconds() {
    return seams().epochSeconds ? seams().epochSeconds() : system::epochSeconds();
}

std::uint64_t systemTimeTicks() {
    return seams().systemTimeTicks ? seams().systemTimeTicks() : system::systemTimeTicks();
}

} // namespace platform
