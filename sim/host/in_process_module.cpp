#include "sim/host/in_process_module.h"

#include <new>

#include "host/entry_points.h"
#include "host/module_state.h"

extern "C" std::int32_t KLARNA_CALL OnReceive_v2(const char* message, std::int32_t length,
                                                 char* replyBuffer, std::int32_t* replyLength);
extern "C" std::int32_t KLARNA_CALL Shutdown();

namespace sim {

InProcessModule::InProcessModule(HostSendCallback callback) : callback_(callback) {}

InProcessModule::InProcessModule(HostSendCallback callback, std::uint32_t hostContext)
    : callback_(callback), fixedContext_(true), hostContext_(hostContext) {}

bool InProcessModule::load(std::string& /*error*/) {
    resetInProcessModule();
    return true;
}

std::int32_t InProcessModule::startup(StartupRecord& record) {
    StartupFields fields;
    fields.recordSize = record.u32(startupRecord::sizeOffset);
    fields.hostContext =
        fixedContext_ ? hostContext_ : record.u32(startupRecord::hostContextOffset);
    fields.versionText = versionText_.c_str();
    fields.hostName = hostName_.c_str();
    fields.sendCallback = callback_;
    fields.versionBuffer =
        reinterpret_cast<char*>(record.bytes() + startupRecord::versionBufferOffset);
    ModuleState& module = moduleState();
    return startupFromFields(module.bridge, module.extension, module.lifecycle, fields);
}

std::int32_t InProcessModule::shutdown() {
    return Shutdown();
}

std::int32_t InProcessModule::deliver(const std::string& message, std::int32_t capacity,
                                      std::string& reply) {
    std::string buffer(static_cast<std::size_t>(capacity > 0 ? capacity : 1), '\0');
    std::int32_t length = capacity;
    const std::int32_t result = OnReceive_v2(
        message.data(), static_cast<std::int32_t>(message.size()), &buffer[0], &length);
    if (length < 0 || length > capacity) {
        reply = "<reply length " + std::to_string(length) + " outside the buffer>";
    } else {
        reply.assign(buffer.data(), static_cast<std::size_t>(length));
    }
    return result;
}

namespace {

// The virtual machine was started an hour before virtual time 0.
constexpr Millis bootMillis = 3600 * 1000;

platform::CalendarTime platformTime(const CalendarFields& fields) {
    platform::CalendarTime time;
    time.year = fields.year;
    time.month = fields.month;
    time.day = fields.day;
    time.hour = fields.hour;
    time.minute = fields.minute;
    time.second = fields.second;
    return time;
}

} // namespace

void InProcessModule::followClock(const EventQueue* clock, const VirtualCalendar& calendar,
                                  unsigned seed) {
    if (clock == nullptr) {
        if (following_) {
            platform::setSeams(saved_);
            following_ = false;
        }
        return;
    }
    if (!following_) {
        saved_ = platform::seams();
        following_ = true;
    }
    clock_ = clock;
    calendar_ = calendar;
    seed_ = seed;
    uuids_.seed(seed);
    random_ = seed;
    platform::Seams seams = saved_;
    seams.wallClock = [this] {
        platform::WallClock now;
        now.local = platformTime(calendar_.local(clock_->now()));
        now.utc = platformTime(calendar_.utc(clock_->now()));
        now.utcOffsetMinutes = calendar_.utcOffsetMinutes();
        return now;
    };
    seams.tickCount = [this] { return static_cast<std::uint32_t>(bootMillis + clock_->now()); };
    seams.monotonicNanos = [this] {
        return static_cast<std::uint64_t>(bootMillis + clock_->now()) * 1000000ULL;
    };
    seams.epochSeconds = [this] { return calendar_.epochSeconds(clock_->now()); };
    seams.newUuid = [this] { return nextUuid(); };
    seams.seedRandom = [this](unsigned value) { random_ = value ^ seed_; };
    // The runtime's linear generator, the same on every system.
    seams.randomNumber = [this] {
        random_ = random_ * 214013u + 2531011u;
        return static_cast<int>((random_ >> 16) & 0x7FFFu);
    };
    platform::setSeams(seams);
}

std::string InProcessModule::nextUuid() {
    unsigned char bytes[16];
    for (int i = 0; i < 16; i += 4) {
        const std::uint32_t word = static_cast<std::uint32_t>(uuids_());
        for (int k = 0; k < 4; ++k) {
            bytes[i + k] = static_cast<unsigned char>(word >> (8 * k));
        }
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += '-';
        }
        text += hex[bytes[i] >> 4];
        text += hex[bytes[i] & 15];
    }
    return text;
}

void resetInProcessModule() {
    // The extension refers to the bridge: it goes first and comes back last.
    ModuleState& module = moduleState();
    module.extension.~QuenKlarna();
    module.bridge.~HostBridge();
    new (&module.bridge) HostBridge();
    new (&module.extension) QuenKlarna(module.bridge);
    module.lifecycle = Lifecycle{};
}

} // namespace sim
