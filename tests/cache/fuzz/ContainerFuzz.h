#pragma once
// What the container fuzz targets do with each record a reader hands out: find it again at its locator, and
// when it holds a movie, list and stream it as the program would. Broken promises between the steps stop the
// run.
#include "cache/EntryMovie.h"
#include "cache/MovieSaveName.h"
#include "cache/formats/StoredFormat.h"

#include <cstdlib>
#include <functional>

namespace fuzz {

// The reader's record at a locator, opened as a copy opens it.
using OpenAgain = std::function<cache::Refusable<cache::OpenedResponse>(std::string_view locator)>;

class ExercisedRecords final : public cache::RecordSink {
public:
    // A lookup in a database whose b-tree is damaged can miss a row a scan saw: with `lookupMayMiss`, a record
    // not found again is no fault.
    ExercisedRecords(OpenAgain again, bool lookupMayMiss) : m_again(std::move(again)), m_lookupMayMiss(lookupMayMiss) {}

    bool Response(std::string_view locator, cache::StoredResponse& response, std::int64_t) override
    {
        if (response.address.empty() || !response.body)
            std::abort(); // a response has an address and a body
        const std::string name = cache::MovieSaveName(response.head, response.address);
        if (name.empty() || name.size() > 255 || name.find('/') != std::string::npos)
            std::abort();
        const auto length = response.body->Length();
        auto again = m_again(locator);
        if (again && (again->response.address != response.address || again->response.body->Length() != length))
            std::abort(); // found again: the same
        if (!again && !m_lookupMayMiss && again.Why() == cache::Refusal::Unreadable)
            std::abort(); // a record listed is there to be found again
        Stream(std::move(response), false);
        if (again)
            Stream(std::move(again->response), true);
        return true;
    }
    void Refused(std::string_view locator, cache::Refusal why) override
    {
        if (why == cache::Refusal::Stopped)
            std::abort(); // nothing asked to stop
        const auto again = m_again(locator);
        if (again || (!m_lookupMayMiss && again.Why() != why))
            std::abort(); // refused again, for the same reason
    }
    void NotRead(std::string_view reason) override
    {
        if (reason.empty())
            std::abort(); // a store not read says why
    }

private:
    static void Stream(cache::StoredResponse response, bool checkBody)
    {
        const auto movie = cache::FindEntryMovie(std::move(response), nullptr, checkBody);
        if (!movie)
            return;
        std::uint64_t total = 0;
        const auto result = cache::StreamEntryMovie(*movie, [&](std::string_view piece) {
            total += piece.size();
            return true;
        });
        // Bytes in a database are checked piece by piece as they are read: a later piece may fail its checksum,
        // unless the whole body was checked first.
        if (result == cache::BodyResult::Done ? total != movie->size
                                              : checkBody || result != cache::BodyResult::Damaged)
            std::abort();
    }

    OpenAgain m_again;
    bool m_lookupMayMiss;
};

} // namespace fuzz
