#pragma once
// How much the program has allocated with new, now and at most since the last reset: a test binary that
// links PeakHeap.cpp counts every allocation of its own and of the core.
#include <cstddef>

namespace test {

std::size_t HeapInUse();
std::size_t PeakHeap();
// Starts a new peak from what is in use now.
void ResetPeakHeap();

} // namespace test
