#pragma once
// What a fuzz target does with one input: read it as an entry of a format, and when it holds a movie, list and
// copy it as the program would. Broken promises between the steps stop the run.
#include "cache/EntryMovie.h"
#include "cache/MovieSaveName.h"
#include "cache/formats/Formats.h"

#include <cstdlib>

namespace fuzz {

inline void ExerciseEntry(const cache::EntryBytes& bytes, std::string_view formatName)
{
    const auto* format = cache::FormatNamed<cache::EntryFilesFormat>(formatName);
    if (format == nullptr)
        std::abort();
    auto entry = format->ReadEntry(bytes);
    // In memory every read inside the entry succeeds: unreadable means the reader reached outside it. Nothing
    // was asked to stop.
    if (!entry) {
        if (entry.Why() == cache::Refusal::Unreadable || entry.Why() == cache::Refusal::Stopped)
            std::abort();
        return;
    }
    const auto length = entry->body->Length();
    if ((length && *length > bytes.Size()) || entry->address.empty())
        std::abort(); // the readers promise a body inside the file and an address
    const std::string name = cache::MovieSaveName(entry->head, entry->address);
    if (name.empty() || name.size() > 255 || name.find('/') != std::string::npos)
        std::abort();
    for (const bool checkBody : {false, true}) {
        auto again = format->ReadEntry(bytes);
        const auto movie = cache::FindEntryMovie(std::move(*again), nullptr, checkBody);
        if (!movie) {
            if (movie.Why() == cache::Refusal::Unreadable || movie.Why() == cache::Refusal::Stopped)
                std::abort(); // the body, too, lies inside the entry
            continue;
        }
        std::uint64_t total = 0;
        const auto result = cache::StreamEntryMovie(*movie, [&](std::string_view piece) {
            total += piece.size();
            return true;
        });
        if (result != cache::BodyResult::Done || total != movie->size)
            std::abort(); // a movie once found streams to the length it was found with
    }
}

} // namespace fuzz
