#include "sim/host/module_loader.h"

#include <cstdio>
#include <cstring>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace sim {

std::uint32_t addressOf(const void* pointer) {
    const auto value = reinterpret_cast<std::uintptr_t>(pointer);
    return value > 0xFFFFFFFFu ? 0u : static_cast<std::uint32_t>(value);
}

std::uint32_t addressOf(HostSendCallback callback) {
    const auto value = reinterpret_cast<std::uintptr_t>(callback);
    return value > 0xFFFFFFFFu ? 0u : static_cast<std::uint32_t>(value);
}

StartupRecord::StartupRecord() {
    std::memset(bytes_, 0, sizeof bytes_);
    std::memset(bytes_ + 36, '#', sizeof bytes_ - 36);
    setU32(0, static_cast<std::uint32_t>(size));
}

void StartupRecord::setU32(std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes_[offset + i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

std::uint32_t StartupRecord::u32(std::size_t offset) const {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(bytes_[offset + i]) << (8 * i);
    }
    return value;
}

std::string StartupRecord::versionWritten() const {
    return std::string(reinterpret_cast<const char*>(bytes_ + 36), 8);
}

namespace {

#if defined(_WIN32)
void* openLibrary(const std::string& path, std::string& error) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) {
        error = "LoadLibraryA failed with error " + std::to_string(GetLastError());
    }
    return reinterpret_cast<void*>(module);
}

template <typename Fn> bool resolve(void* handle, const char* name, Fn& fn, std::string& error) {
    FARPROC address = GetProcAddress(reinterpret_cast<HMODULE>(handle), name);
    if (address == nullptr) {
        error = std::string("export ") + name + " not found";
        return false;
    }
    fn = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(address));
    return true;
}

void closeLibrary(void* handle) {
    FreeLibrary(reinterpret_cast<HMODULE>(handle));
}
#else
void* openLibrary(const std::string& path, std::string& error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* text = dlerror();
        error = text != nullptr ? text : "dlopen failed";
    }
    return handle;
}

template <typename Fn> bool resolve(void* handle, const char* name, Fn& fn, std::string& error) {
    void* address = dlsym(handle, name);
    if (address == nullptr) {
        error = std::string("export ") + name + " not found";
        return false;
    }
    static_assert(sizeof(Fn) == sizeof(void*), "function and object pointers differ in size");
    std::memcpy(&fn, &address, sizeof fn);
    return true;
}

void closeLibrary(void* handle) {
    dlclose(handle);
}
#endif

} // namespace

ModuleLoader::~ModuleLoader() {
    unload();
}

bool ModuleLoader::load(const std::string& path, std::string& error) {
    unload();
    handle_ = openLibrary(nativePath(path), error);
    if (handle_ == nullptr) {
        error = "cannot load " + path + ": " + error;
        return false;
    }
    if (!resolve(handle_, "Startup", startup_, error) ||
        !resolve(handle_, "Shutdown", shutdown_, error) ||
        !resolve(handle_, "OnReceive_v2", onReceive_, error)) {
        error = path + ": " + error;
        unload();
        return false;
    }
    return true;
}

void ModuleLoader::unload() {
    if (handle_ != nullptr) {
        closeLibrary(handle_);
    }
    handle_ = nullptr;
    startup_ = nullptr;
    shutdown_ = nullptr;
    onReceive_ = nullptr;
}

std::int32_t ModuleLoader::startup(StartupRecord& record) const {
    return startup_(record.bytes());
}

std::int32_t ModuleLoader::shutdown() const {
    return shutdown_();
}

std::int32_t ModuleLoader::onReceive(const std::string& message, std::int32_t capacity,
                                     std::string& reply) const {
    std::vector<char> buffer(static_cast<std::size_t>(capacity > 0 ? capacity : 1));
    std::int32_t length = capacity;
    const std::int32_t result = onReceive_(
        message.data(), static_cast<std::int32_t>(message.size()), buffer.data(), &length);
    if (length < 0 || length > capacity) {
        reply = "<reply length " + std::to_string(length) + " outside the buffer>";
    } else {
        reply.assign(buffer.data(), static_cast<std::size_t>(length));
    }
    return result;
}

#if defined(_WIN32)
bool outputIsTerminal() {
    return _isatty(_fileno(stdout)) != 0;
}

bool inputIsTerminal() {
    return _isatty(_fileno(stdin)) != 0;
}

std::string nativePath(const std::string& path) {
    if (path.empty() || path[0] != '/') {
        return path;
    }
    std::string converted = "Z:" + path;
    for (char& c : converted) {
        if (c == '/') {
            c = '\\';
        }
    }
    return converted;
}
#else
bool outputIsTerminal() {
    return isatty(STDOUT_FILENO) != 0;
}

bool inputIsTerminal() {
    return isatty(STDIN_FILENO) != 0;
}

std::string nativePath(const std::string& path) {
    return path;
}
#endif

} // namespace sim
