#include "cache/RowPath.h"

#include "platform/Overloaded.h"

#include <sys/stat.h>

#include <cerrno>

namespace cache {

namespace {

RowTarget FileTarget(const std::string& path, const struct stat& info)
{
    if (!S_ISREG(info.st_mode))
        return {};
    if (const EntryFilesFormat* format = EntryFilesFormatOf(path))
        return {RowTarget::Kind::EntryFile, format, path, {}};
    return {RowTarget::Kind::PlainFile, Format{}, path, {}};
}

} // namespace

RowTarget ResolveRowPath(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        return FileTarget(path, info);
    // Only a regular file standing where a folder should makes the path "not a folder".
    if (errno != ENOTDIR)
        return {};
    for (std::size_t slash = path.rfind('/'); slash != std::string::npos && slash > 0;
         slash = path.rfind('/', slash - 1)) {
        const std::string leading = path.substr(0, slash);
        if (::stat(leading.c_str(), &info) != 0) {
            if (errno == ENOTDIR)
                continue;
            return {};
        }
        const Format format = ContainerFormatOf(leading);
        if (!S_ISREG(info.st_mode) || !HoldsFormat(format) || slash + 1 == path.size())
            return {};
        return {RowTarget::Kind::Record, format, leading, path.substr(slash + 1)};
    }
    return {};
}

std::string RecordRowPath(std::string_view anchor, std::string_view locator)
{
    std::string path;
    path.reserve(anchor.size() + 1 + locator.size());
    return path.append(anchor).append(1, '/').append(locator);
}

Refusable<OpenedResponse> OpenRowResponse(const RowTarget& target)
{
    switch (target.kind) {
    case RowTarget::Kind::Missing:
        return Refusal::Unreadable;
    case RowTarget::Kind::PlainFile:
        return Refusal::NotAResponse;
    case RowTarget::Kind::EntryFile: {
        const auto* format = std::get<const EntryFilesFormat*>(target.format);
        auto file = EntryFile::Open(target.file);
        if (!file)
            return Refusal::Unreadable;
        auto held = std::make_shared<const EntryFile>(std::move(*file));
        auto response = format->ReadEntry(*held);
        if (!response)
            return response.Why();
        return OpenedResponse{held, std::move(*response), {held->Identity()}};
    }
    case RowTarget::Kind::Record:
        break;
    }
    return std::visit(platform::Overloaded{
                          [&](const ContainerFolderFormat* format) -> Refusable<OpenedResponse> {
                              return format->OpenRecord(target.file, target.locator);
                          },
                          [&](const ContainerFileFormat* format) -> Refusable<OpenedResponse> {
                              return format->OpenRecord(target.file, target.locator);
                          },
                          [](const EntryFilesFormat*) -> Refusable<OpenedResponse> { return Refusal::NotAResponse; },
                          [](const AddressIndexFormat*) -> Refusable<OpenedResponse> { return Refusal::NotAResponse; },
                      },
                      target.format);
}

Refusable<OpenedMovie> OpenRowMovie(const RowTarget& target, const std::atomic<bool>* stop)
{
    auto record = OpenRowResponse(target);
    if (!record)
        return record.Why();
    OpenedResponse opened = std::move(*record);
    auto movie = FindEntryMovie(std::move(opened.response), stop, true);
    if (!movie)
        return movie.Why();
    return OpenedMovie{std::move(opened.source), std::move(*movie), std::move(opened.files)};
}

std::optional<std::string> ReadRowMovie(const RowTarget& target, std::uint64_t limit, const std::atomic<bool>* stop)
{
    const auto opened = OpenRowMovie(target, stop);
    if (!opened || opened->movie.size > limit)
        return std::nullopt;
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(opened->movie.size));
    const BodyResult result = StreamEntryMovie(
        opened->movie,
        [&](std::string_view piece) {
            bytes.append(piece);
            return true;
        },
        stop);
    if (result != BodyResult::Done)
        return std::nullopt;
    return bytes;
}

} // namespace cache
