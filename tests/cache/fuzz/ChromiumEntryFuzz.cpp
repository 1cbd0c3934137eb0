// libFuzzer target: Chromium Simple Cache "_0" files, read and, when they hold a movie, listed and copied.
#include "cache/fuzz/EntryFuzz.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const cache::MemoryEntryBytes bytes(std::string_view(reinterpret_cast<const char*>(data), size));
    fuzz::ExerciseEntry(bytes, "Chromium Simple Cache");
    return 0;
}
