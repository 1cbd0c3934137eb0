#pragma once
// What the container fuzz targets do with each entry a reader hands out: find it again at its locator, and
// when it holds a movie, stream it as a copy would. Broken promises between the steps stop the run.
#include "cache/formats/StoredEntry.h"

#include <cstdlib>
#include <memory>

namespace fuzz {

// `again` is the reader's entry at the same locator; `body` what its body is read from. A lookup in a database
// whose b-tree is damaged can miss a row a scan saw: with `lookupMayMiss`, a missing `again` is no fault.
inline void ExerciseStoredEntry(const cache::StoredEntry& stored, const std::optional<cache::StoredEntry>& again,
                                const std::shared_ptr<const cache::EntryBytes>& body, bool lookupMayMiss = false)
{
    if (!again && !lookupMayMiss)
        std::abort(); // an entry listed is found again
    if (again
        && (again->entry.address != stored.entry.address || again->refusal != stored.refusal
            || again->entry.bodyLength != stored.entry.bodyLength))
        std::abort(); // ... the same
    if (stored.refusal != cache::EntryRefusal::None)
        return;
    if (stored.entry.address.empty() || !body || !body->Holds(stored.entry.bodyOffset, stored.entry.bodyLength))
        std::abort(); // a usable entry has an address and a body inside what it is read from
    const auto movie = cache::FindStoredMovie(*body, stored);
    if (!movie)
        return;
    std::uint64_t total = 0;
    const auto result = cache::StreamEntryMovie(*body, *movie, [&](std::string_view piece) {
        total += piece.size();
        return true;
    });
    // Bytes in a database are checked piece by piece as they are read: a later piece may fail its checksum.
    if (result == cache::MovieStreamResult::Done ? total != movie->size
                                                 : result != cache::MovieStreamResult::Unreadable)
        std::abort();
}

} // namespace fuzz
