#include "cache/formats/StoredBody.h"

#include <algorithm>
#include <numeric>

namespace cache {

bool StoredBody::ReadStart(std::size_t count, std::string& out) const
{
    out.clear();
    if (count == 0)
        return true;
    const BodyResult result = Read(
        [&](std::string_view piece) {
            out.append(piece.substr(0, count - out.size()));
            return out.size() < count;
        },
        nullptr);
    return result == BodyResult::Done || (result == BodyResult::Stopped && out.size() == count);
}

BodyResult StoredBody::Verify(const std::atomic<bool>*) const { return BodyResult::Done; }

ExtentBody::ExtentBody(std::vector<Extent> extents, std::string start)
    : m_extents(std::move(extents))
    , m_start(std::move(start))
    , m_length(std::accumulate(m_extents.begin(), m_extents.end(), std::uint64_t{0},
                               [](std::uint64_t sum, const Extent& extent) { return sum + extent.length; }))
{}

ExtentBody::ExtentBody(const EntryBytes& bytes, std::uint64_t offset, std::uint64_t length, std::string start)
    : ExtentBody(std::vector<Extent>{{&bytes, offset, length}}, std::move(start))
{}

bool ExtentBody::ReadStart(std::size_t count, std::string& out) const
{
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(count, m_length));
    if (m_start.size() >= wanted) {
        out.assign(m_start, 0, wanted);
        return true;
    }
    // Exactly the bytes asked for: the movie check asks for a few of bodies of any length.
    out.clear();
    std::string piece;
    for (const Extent& extent : m_extents) {
        if (out.size() == wanted)
            break;
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(extent.length, wanted - out.size()));
        if (!extent.bytes->ReadAt(extent.offset, take, piece))
            return false;
        out.append(piece);
    }
    return true;
}

BodyResult ExtentBody::Read(const BodySink& sink, const std::atomic<bool>* stop) const
{
    for (const Extent& extent : m_extents) {
        if (const BodyResult result = ReadRange(*extent.bytes, extent.offset, extent.length, sink, stop);
            result != BodyResult::Done)
            return result;
    }
    return BodyResult::Done;
}

BodyResult ReadRange(const EntryBytes& bytes, std::uint64_t offset, std::uint64_t length, const BodySink& sink,
                     const std::atomic<bool>* stop)
{
    std::string buffer;
    for (std::uint64_t at = 0; at < length; at += buffer.size()) {
        if (Stopping(stop))
            return BodyResult::Stopped;
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(kBodyPieceSize, length - at));
        if (!bytes.ReadAt(offset + at, piece, buffer))
            return BodyResult::Unreadable;
        if (!sink(buffer))
            return BodyResult::Stopped;
    }
    return BodyResult::Done;
}

} // namespace cache
