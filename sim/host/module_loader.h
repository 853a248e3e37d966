// Loads the module as a host client does and calls its three exports. This
// header and its source are the simulator's only operating-system code.
#pragma once

#include <cstdint>
#include <string>

#include "host/module_api.h"

namespace sim {

// A 32-bit address of a host object, or 0 when the address does not fit in
// 32 bits (the startup record carries 32-bit addresses only).
std::uint32_t addressOf(const void* pointer);
std::uint32_t addressOf(HostSendCallback callback);

// The startup record as the host lays it out: 48 bytes, little-endian.
class StartupRecord {
  public:
    static constexpr std::size_t size = 48;
    StartupRecord();
    void setU32(std::size_t offset, std::uint32_t value);
    std::uint32_t u32(std::size_t offset) const;
    // The seven version bytes the module writes at offset 36.
    std::string versionWritten() const;
    unsigned char* bytes() { return bytes_; }

  private:
    unsigned char bytes_[size + 16]; // room past the version text, to see what is overwritten
};

class ModuleLoader {
  public:
    ModuleLoader() = default;
    ~ModuleLoader();
    ModuleLoader(const ModuleLoader&) = delete;
    ModuleLoader& operator=(const ModuleLoader&) = delete;

    // Loads the library and resolves the three exports; false with error
    // set when any step fails.
    bool load(const std::string& path, std::string& error);
    bool loaded() const { return handle_ != nullptr; }
    void unload();

    std::int32_t startup(StartupRecord& record) const;
    std::int32_t shutdown() const;
    // One message; reply receives the module's reply text, at most
    // capacity - 1 bytes as the module fills it.
    std::int32_t onReceive(const std::string& message, std::int32_t capacity,
                           std::string& reply) const;

  private:
    using StartupFn = std::int32_t(KLARNA_CALL*)(void*);
    using ShutdownFn = std::int32_t(KLARNA_CALL*)();
    using OnReceiveFn = std::int32_t(KLARNA_CALL*)(const char*, std::int32_t, char*, std::int32_t*);

    void* handle_ = nullptr;
    StartupFn startup_ = nullptr;
    ShutdownFn shutdown_ = nullptr;
    OnReceiveFn onReceive_ = nullptr;
};

} // namespace sim

namespace sim {

// Whether standard output is a live terminal (colours and QR blocks).
bool outputIsTerminal();
// Whether standard input is a keyboard (not a file or a pipe).
bool inputIsTerminal();
// A file path as the platform's file functions take it (under Wine a Unix
// path is given its drive).
std::string nativePath(const std::string& path);

} // namespace sim
