#pragma once
// What a fuzz target does with one input: read it as an entry, and when it holds a movie, list and copy it as
// the program would. Broken promises between the steps stop the run.
#include "cache/EntryMovie.h"
#include "cache/MovieSaveName.h"

#include <cstdlib>

namespace fuzz {

inline void ExerciseEntry(const cache::EntryBytes& bytes, cache::EntryFormat format)
{
    const auto entry = cache::ReadCacheEntry(bytes, format);
    if (!entry)
        return;
    if (!bytes.Holds(entry->bodyOffset, entry->bodyLength) || entry->address.empty())
        std::abort(); // the readers promise a body inside the file and an address
    const std::string name = cache::MovieSaveName(entry->head, entry->address);
    if (name.empty() || name.size() > 255 || name.find('/') != std::string::npos)
        std::abort();
    for (const bool checkBody : {false, true}) {
        const auto movie = cache::FindEntryMovie(bytes, *entry, nullptr, checkBody);
        if (!movie)
            continue;
        std::uint64_t total = 0;
        const auto result = cache::StreamEntryMovie(bytes, *movie, [&](std::string_view piece) {
            total += piece.size();
            return true;
        });
        if (result != cache::MovieStreamResult::Done || total != movie->size)
            std::abort(); // a movie once found streams to the length it was found with
    }
}

} // namespace fuzz
