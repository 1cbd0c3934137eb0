// libFuzzer target: web archives (WARC, ARC, plain or gzip) read as streams; each movie found is read again
// from its place, and must come back with the length and digests it was found with. The same bytes read for
// what their pages and movies name and they do not hold.
#include "cache/ArchiveMovies.h"
#include "capture/ArchiveGaps.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    cache::ArchiveInput input(cache::MemorySource(bytes));
    cache::ArchiveMovieScan scan;
    scan.Scan(input, "fuzz", [&](const cache::ArchiveMovie& movie) {
        cache::ArchiveInput again(cache::MemorySource(bytes));
        cache::PayloadDigest digest;
        std::uint64_t length = 0;
        const auto read = cache::StreamArchiveMovie(again, movie.payloadPosition, [&](std::string_view piece) {
            if (piece.size() > cache::kDecodedPieceSize)
                std::abort(); // pieces stay within their promised size
            length += piece.size();
            digest.Update(piece);
            return true;
        });
        const auto values = digest.Finish();
        if (read != cache::BodyResult::Done || length != movie.size || values.sha256 != movie.digests.sha256
            || values.sha1 != movie.digests.sha1)
            std::abort(); // a movie once found reads back the same from its place
        return true;
    });

    cache::ArchiveInput pages(cache::MemorySource(bytes));
    capture::ArchiveGaps gaps;
    gaps.ReadRecords(pages, "fuzz");
    for (const capture::ArchiveGap& gap : gaps.Gaps()) {
        if (gap.address.empty() || gap.how.empty())
            std::abort(); // every gap is an address named some way
    }
    return 0;
}
