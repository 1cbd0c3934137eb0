#include "cache/RowSummary.h"

#include "cache/EntryMovie.h"
#include "cache/RowPath.h"
#include "platform/FileDescriptor.h"

#include <fcntl.h>
#include <unistd.h>

namespace cache {

namespace {

std::optional<std::string> PlainFileStart(const std::string& path)
{
    const platform::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!file.IsOpen())
        return std::nullopt;
    std::string start(kSummaryStart, '\0');
    const ssize_t got = ::pread(file.Get(), start.data(), start.size(), 0);
    if (got < 0)
        return std::nullopt;
    start.resize(static_cast<std::size_t>(got));
    return start;
}

std::optional<std::string> StoredMovieStart(const RowTarget& target, const std::atomic<bool>* stop)
{
    auto opened = OpenRowResponse(target);
    if (!opened)
        return std::nullopt;
    // The format's own check of the whole body is the copy's to make: the tooltip reads the start alone.
    auto movie = FindEntryMovie(std::move(opened->response), stop, false);
    if (!movie)
        return std::nullopt;
    std::string start;
    StreamEntryMovie(
        *movie,
        [&](std::string_view piece) {
            start.append(piece.substr(0, kSummaryStart - start.size()));
            return start.size() < kSummaryStart;
        },
        stop);
    return start;
}

} // namespace

std::optional<swf::MovieSummary> ReadRowSummary(const std::string& path, const std::atomic<bool>* stop)
{
    const RowTarget target = ResolveRowPath(path);
    std::optional<std::string> start;
    switch (target.kind) {
    case RowTarget::Kind::Missing:
        return std::nullopt;
    case RowTarget::Kind::PlainFile:
        start = PlainFileStart(path);
        break;
    case RowTarget::Kind::EntryFile:
    case RowTarget::Kind::Record:
        start = StoredMovieStart(target, stop);
        break;
    }
    if (!start || Stopping(stop))
        return std::nullopt;
    return swf::ReadMovieSummary(*start);
}

} // namespace cache
