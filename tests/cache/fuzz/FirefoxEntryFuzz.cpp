// libFuzzer target: Firefox cache2 entries, read and, when they hold a movie, listed and copied.
#include "cache/fuzz/EntryFuzz.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const cache::MemoryEntryBytes bytes(std::string_view(reinterpret_cast<const char*>(data), size));
    fuzz::ExerciseEntry(bytes, "Firefox cache2");
    return 0;
}
