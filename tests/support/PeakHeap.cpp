// The global operator new and delete (and the sized delete), replaced to count what is in use: arrays and
// nothrow forms go through them. Linked only into the binaries that ask.
#include "support/PeakHeap.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::size_t> g_inUse{0};
std::atomic<std::size_t> g_peak{0};
} // namespace

namespace test {
std::size_t HeapInUse() { return g_inUse.load(); }
std::size_t PeakHeap() { return g_peak.load(); }
void ResetPeakHeap() { g_peak = g_inUse.load(); }
} // namespace test

void* operator new(std::size_t size)
{
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr)
        throw std::bad_alloc();
    const std::size_t now = g_inUse += ::malloc_usable_size(block);
    for (std::size_t peak = g_peak.load(); now > peak && !g_peak.compare_exchange_weak(peak, now);) {
    }
    return block;
}

void operator delete(void* block) noexcept
{
    if (block != nullptr)
        g_inUse -= ::malloc_usable_size(block);
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept { operator delete(block); }
