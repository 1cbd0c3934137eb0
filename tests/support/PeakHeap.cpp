// The global allocation functions, replaced to count what is in use. Linked only into the binaries that ask.
#include "support/PeakHeap.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> g_inUse{0};
std::atomic<std::size_t> g_peak{0};

void* Counted(void* block)
{
    if (block == nullptr)
        throw std::bad_alloc();
    const std::size_t now = g_inUse += ::malloc_usable_size(block);
    for (std::size_t peak = g_peak.load(); now > peak && !g_peak.compare_exchange_weak(peak, now);) {
    }
    return block;
}

void Released(void* block) noexcept
{
    if (block == nullptr)
        return;
    g_inUse -= ::malloc_usable_size(block);
    std::free(block);
}

void* Aligned(std::size_t size, std::align_val_t alignment)
{
    const auto align = static_cast<std::size_t>(alignment);
    return Counted(std::aligned_alloc(align, (size + align - 1) / align * align));
}

} // namespace

namespace test {

std::size_t HeapInUse() { return g_inUse.load(); }
std::size_t PeakHeap() { return g_peak.load(); }
void ResetPeakHeap() { g_peak = g_inUse.load(); }

} // namespace test

void* operator new(std::size_t size) { return Counted(std::malloc(size == 0 ? 1 : size)); }
void* operator new[](std::size_t size) { return Counted(std::malloc(size == 0 ? 1 : size)); }
void* operator new(std::size_t size, std::align_val_t alignment) { return Aligned(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return Aligned(size, alignment); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return operator new[](size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* block) noexcept { Released(block); }
void operator delete[](void* block) noexcept { Released(block); }
void operator delete(void* block, std::size_t) noexcept { Released(block); }
void operator delete[](void* block, std::size_t) noexcept { Released(block); }
void operator delete(void* block, std::align_val_t) noexcept { Released(block); }
void operator delete[](void* block, std::align_val_t) noexcept { Released(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { Released(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { Released(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Released(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Released(block); }
