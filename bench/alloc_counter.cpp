#include "bench/alloc_counter.h"

#include <cstdlib>
#include <new>

namespace {

// Plain counters: the benchmarks run on one thread.
std::uint64_t allocationCount = 0;
std::uint64_t allocatedBytes = 0;
std::uint64_t freeCount = 0;
int pauseDepth = 0;

void* allocate(std::size_t size) {
    if (pauseDepth == 0) {
        ++allocationCount;
        allocatedBytes += size;
    }
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}

void* allocateAligned(std::size_t size, std::align_val_t alignment) {
    const std::size_t align = static_cast<std::size_t>(alignment);
    if (pauseDepth == 0) {
        ++allocationCount;
        allocatedBytes += size;
    }
    const std::size_t rounded = (size + align - 1) / align * align;
    void* memory = std::aligned_alloc(align, rounded == 0 ? align : rounded);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}

void release(void* memory) noexcept {
    if (memory == nullptr) {
        return;
    }
    if (pauseDepth == 0) {
        ++freeCount;
    }
    std::free(memory);
}

} // namespace

namespace allocCounter {

Totals totals() {
    return Totals{allocationCount, allocatedBytes, freeCount};
}

Totals since(const Totals& start) {
    const Totals now = totals();
    return Totals{now.allocations - start.allocations, now.bytes - start.bytes,
                  now.frees - start.frees};
}

Pause::Pause() {
    ++pauseDepth;
}

Pause::~Pause() {
    --pauseDepth;
}

} // namespace allocCounter

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return allocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return allocateAligned(size, alignment);
}
void operator delete(void* memory) noexcept {
    release(memory);
}
void operator delete[](void* memory) noexcept {
    release(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    release(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    release(memory);
}
void operator delete(void* memory, std::align_val_t) noexcept {
    release(memory);
}
void operator delete[](void* memory, std::align_val_t) noexcept {
    release(memory);
}
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept {
    release(memory);
}
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept {
    release(memory);
}
