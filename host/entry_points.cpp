#include "host/entry_points.h"

#include <cstring>
#include <string>

#include "host/startup_registration.h"
#include "platform/platform.h"

namespace {

std::uint32_t readUint32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

// An interface version of "2" or above (first byte compared as signed char).
bool versionTakesCallback(const char* versionText) {
    return versionText != nullptr && versionText[0] != '\0' &&
           static_cast<signed char>(versionText[0]) >= '2';
}

void registerWithHost(HostBridge& bridge, QuenKlarna& extension) {
    try {
        runStartupRegistration(bridge, extension);
    } catch (...) {
        // Registration never makes Startup fail.
        platform::debugOutput("Klarna start-up registration failed\n");
    }
}

} // namespace

const char* hostAddressToText(std::uint32_t address) {
    if constexpr (sizeof(void*) == 4) {
        return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(address));
    } else {
        static_cast<void>(address);
        return nullptr;
    }
}

HostSendCallback hostAddressToCallback(std::uint32_t address) {
    if constexpr (sizeof(void*) == 4) {
        return reinterpret_cast<HostSendCallback>(static_cast<std::uintptr_t>(address));
    } else {
        static_cast<void>(address);
        return nullptr;
    }
}

std::int32_t startupFromFields(HostBridge& bridge, QuenKlarna& extension, Lifecycle& lifecycle,
                               const StartupFields& fields) {
    if (lifecycle.started) {
        return startupAlreadyStarted;
    }
    bridge.hostContext = fields.hostContext;
    std::string hostName;
    if (fields.recordSize >= startupRecord::fullSize) {
        if (fields.hostName != nullptr) {
            hostName = fields.hostName;
        }
        if (versionTakesCallback(fields.versionText) && fields.sendCallback != nullptr) {
            bridge.sendCallback = fields.sendCallback;
        }
    }
    if (bridge.sendCallback == nullptr) {
        return startupNoCallback;
    }
    extension.hostGivenName = hostName;
    registerWithHost(bridge, extension);
    if (fields.versionBuffer != nullptr) {
        std::memcpy(fields.versionBuffer, moduleVersion, sizeof(moduleVersion) - 1);
    }
    lifecycle.started = true;
    return startupOk;
}

std::int32_t startupFromRecord(HostBridge& bridge, QuenKlarna& extension, Lifecycle& lifecycle,
                               unsigned char* record) {
    if (lifecycle.started) {
        return startupAlreadyStarted;
    }
    if (record == nullptr) {
        return startupNoCallback;
    }
    StartupFields fields;
    fields.recordSize = readUint32(record + startupRecord::sizeOffset);
    fields.hostContext = readUint32(record + startupRecord::hostContextOffset);
    if (fields.recordSize >= startupRecord::fullSize) {
        fields.versionText =
            hostAddressToText(readUint32(record + startupRecord::versionTextOffset));
        fields.hostName = hostAddressToText(readUint32(record + startupRecord::hostNameOffset));
        fields.sendCallback =
            hostAddressToCallback(readUint32(record + startupRecord::callbackOffset));
    }
    // The version is written only into a record that declares room for it.
    if (fields.recordSize >= startupRecord::versionBufferOffset + sizeof(moduleVersion) - 1) {
        fields.versionBuffer = reinterpret_cast<char*>(record + startupRecord::versionBufferOffset);
    }
    return startupFromFields(bridge, extension, lifecycle, fields);
}

std::int32_t shutdown(Lifecycle& lifecycle) {
    lifecycle.started = false;
    return 0;
}
