#include "cache/EntryMovie.h"

#include <zlib.h>

namespace cache {

namespace {

constexpr std::size_t kRawBlock = std::size_t{64} * 1024;

bool HasMovieSignature(std::string_view start)
{
    return start.size() >= 3 && (start[0] == 'F' || start[0] == 'C' || start[0] == 'Z') && start[1] == 'W'
        && start[2] == 'S';
}

bool Stopping(const std::atomic<bool>* stop) { return stop != nullptr && stop->load(std::memory_order_relaxed); }

// Reads the stored body block by block.
MovieStreamResult ReadBody(const EntryBytes& bytes, const CacheEntry& entry, const std::atomic<bool>* stop,
                           const DecodedSink& block)
{
    std::string buffer;
    for (std::uint64_t at = 0; at < entry.bodyLength; at += buffer.size()) {
        if (Stopping(stop))
            return MovieStreamResult::Stopped;
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(kRawBlock, entry.bodyLength - at));
        if (!bytes.ReadAt(entry.bodyOffset + at, length, buffer))
            return MovieStreamResult::Unreadable;
        if (!block(buffer))
            return MovieStreamResult::Stopped;
    }
    return MovieStreamResult::Done;
}

// Decodes the whole body, handing each decoded piece to `sink`.
MovieStreamResult DecodeBody(const EntryBytes& bytes, const EntryMovie& movie, const std::atomic<bool>* stop,
                             const DecodedSink& sink)
{
    BodyDecoder decoder(movie.codings);
    DecodeResult decoded = DecodeResult::Ok;
    const MovieStreamResult read = ReadBody(bytes, movie.entry, stop, [&](std::string_view block) {
        decoded = decoder.Feed(block, sink);
        return decoded == DecodeResult::Ok;
    });
    if (read == MovieStreamResult::Unreadable || (read == MovieStreamResult::Stopped && decoded == DecodeResult::Ok))
        return read;
    if (decoded == DecodeResult::Ok)
        decoded = decoder.Finish(sink);
    if (decoded == DecodeResult::Stopped)
        return MovieStreamResult::Stopped;
    return decoded == DecodeResult::Ok ? MovieStreamResult::Done : MovieStreamResult::Damaged;
}

// The browsers' own checks of the stored bytes: Firefox's chunk hashes, Chromium's CRC-32 where it kept one.
bool StoredBodyIntact(const EntryBytes& bytes, const CacheEntry& entry, const std::atomic<bool>* stop)
{
    if (!entry.chunkHashes.empty() || entry.hashedLength > 0)
        return FirefoxChunksMatch(bytes, entry);
    if (!entry.bodyCrc32)
        return true;
    uLong crc = ::crc32(0L, Z_NULL, 0);
    const MovieStreamResult read = ReadBody(bytes, entry, stop, [&](std::string_view block) {
        crc = ::crc32_z(crc, reinterpret_cast<const Bytef*>(block.data()), block.size());
        return true;
    });
    return read == MovieStreamResult::Done && (static_cast<std::uint32_t>(crc) == *entry.bodyCrc32 || !kChecksumsCount);
}

} // namespace

std::optional<CacheEntry> ReadCacheEntry(const EntryBytes& bytes, EntryFormat format)
{
    return format == EntryFormat::Firefox ? ReadFirefoxEntry(bytes) : ReadChromiumEntry(bytes);
}

std::optional<EntryMovie> FindEntryMovie(const EntryBytes& bytes, CacheEntry entry, const std::atomic<bool>* stop,
                                         bool checkBody)
{
    if (entry.head.status != 200 || entry.cutShort)
        return std::nullopt;
    if (const auto declared = entry.head.ContentLength(); declared && *declared != entry.bodyLength)
        return std::nullopt;
    std::optional<std::vector<ContentCoding>> codings(std::in_place);
    if (const auto encoding = entry.head.Value("Content-Encoding"))
        codings = ParseContentCodings(*encoding);
    if (!codings)
        return std::nullopt;
    if (checkBody && !StoredBodyIntact(bytes, entry, stop))
        return std::nullopt;
    return FindBodyMovie(bytes, std::move(entry), std::move(*codings), stop);
}

std::optional<EntryMovie> FindBodyMovie(const EntryBytes& bytes, CacheEntry entry, std::vector<ContentCoding> codings,
                                        const std::atomic<bool>* stop)
{
    EntryMovie movie{std::move(entry), std::move(codings), 0};
    const CacheEntry& stored = movie.entry;
    if (movie.codings.empty()) {
        std::string start = stored.bodyStart;
        const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(3, stored.bodyLength));
        if (start.size() < wanted && !bytes.ReadAt(stored.bodyOffset, wanted, start))
            return std::nullopt;
        if (!HasMovieSignature(start) || stored.bodyLength > kMaxMovieSize)
            return std::nullopt;
        movie.size = stored.bodyLength;
        return movie;
    }

    // Decoded to the end for the length; a body that does not start like a movie stops at its first piece.
    std::string start;
    std::uint64_t size = 0;
    // A small raw block can expand a long way: the stop flag is looked at for every decoded piece as well.
    const auto count = [&](std::string_view piece) {
        if (Stopping(stop))
            return false;
        if (start.size() < 3) {
            start.append(piece.substr(0, 3 - start.size()));
            if (start.size() == 3 && !HasMovieSignature(start))
                return false;
        }
        size += piece.size();
        return size <= kMaxMovieSize;
    };
    if (DecodeBody(bytes, movie, stop, count) != MovieStreamResult::Done || !HasMovieSignature(start))
        return std::nullopt;
    movie.size = size;
    return movie;
}

MovieStreamResult StreamEntryMovie(const EntryBytes& bytes, const EntryMovie& movie, const DecodedSink& sink,
                                   const std::atomic<bool>* stop)
{
    std::uint64_t handed = 0;
    const auto counted = [&](std::string_view piece) {
        handed += piece.size();
        return handed <= movie.size && !Stopping(stop) && sink(piece);
    };
    const MovieStreamResult result =
        movie.codings.empty() ? ReadBody(bytes, movie.entry, stop, counted) : DecodeBody(bytes, movie, stop, counted);
    if (handed != movie.size && (result == MovieStreamResult::Done || handed > movie.size))
        return MovieStreamResult::Damaged;
    return result;
}

std::optional<OpenedEntryMovie> OpenEntryMovie(const std::string& path)
{
    const auto format = EntryFileFormat(path);
    if (!format)
        return std::nullopt;
    auto file = EntryFile::Open(path);
    if (!file)
        return std::nullopt;
    auto entry = ReadCacheEntry(*file, *format);
    if (!entry)
        return std::nullopt;
    auto movie = FindEntryMovie(*file, std::move(*entry), nullptr, true);
    if (!movie)
        return std::nullopt;
    return OpenedEntryMovie{std::move(*file), std::move(*movie)};
}

std::optional<std::string> ReadEntryMovie(const std::string& path, std::uint64_t limit)
{
    const auto opened = OpenEntryMovie(path);
    if (!opened || opened->movie.size > limit)
        return std::nullopt;
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(opened->movie.size));
    const MovieStreamResult result = StreamEntryMovie(opened->file, opened->movie, [&](std::string_view piece) {
        bytes.append(piece);
        return true;
    });
    if (result != MovieStreamResult::Done)
        return std::nullopt;
    return bytes;
}

} // namespace cache
