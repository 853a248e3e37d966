// Startup, Shutdown and OnReceive_v2 written against explicit state, so
// that tests can drive fresh instances; module_exports.cpp binds them to the
// module-wide objects.
#pragma once

#include <cstdint>

#include "host/host_bridge.h"
#include "host/module_api.h"
#include "host/quen_klarna.h"
#include "klarna_version.h"

// The record sizes and offsets of the startup record (32-bit fields).
namespace startupRecord {
constexpr std::uint32_t fullSize = 48;
constexpr unsigned sizeOffset = 0;
constexpr unsigned versionTextOffset = 4;
constexpr unsigned hostContextOffset = 16;
constexpr unsigned hostNameOffset = 28;
constexpr unsigned callbackOffset = 32;
constexpr unsigned versionBufferOffset = 36;
} // namespace startupRecord

// The module's own version, written into the startup record.
constexpr char moduleVersion[] = KLARNA_VERSION_TEXT;
static_assert(sizeof(moduleVersion) - 1 == 7,
              "the startup record has room for seven version bytes (offsets 36 to 42)");

// Startup results.
constexpr std::int32_t startupOk = 0;
constexpr std::int32_t startupAlreadyStarted = -1;
constexpr std::int32_t startupNoCallback = -9;

// The fields Startup reads, already taken from the record.
struct StartupFields {
    std::uint32_t recordSize = 0;
    std::uint32_t hostContext = 0;
    const char* versionText = nullptr; // zero-terminated, may be null
    const char* hostName = nullptr;    // zero-terminated, may be null
    HostSendCallback sendCallback = nullptr;
    char* versionBuffer = nullptr; // receives "1.0.0.0" (7 bytes) on success
};

struct Lifecycle {
    bool started = false;
};

// Startup from fields: the callback is taken only when the record is full
// size and the version text begins with "2" or above.
std::int32_t startupFromFields(HostBridge& bridge, QuenKlarna& extension, Lifecycle& lifecycle,
                               const StartupFields& fields);
// Startup from the host's 32-bit record, read byte by byte.
std::int32_t startupFromRecord(HostBridge& bridge, QuenKlarna& extension, Lifecycle& lifecycle,
                               unsigned char* record);
std::int32_t shutdown(Lifecycle& lifecycle);

// A 32-bit host address as a pointer; null where pointers are wider than
// 32 bits (the address cannot belong to this process there).
const char* hostAddressToText(std::uint32_t address);
HostSendCallback hostAddressToCallback(std::uint32_t address);
