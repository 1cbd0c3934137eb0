#include "cache/EntryMovieRows.h"

#include "cache/EntryMovie.h"
#include "cache/MovieSaveName.h"
#include "platform/FileDescriptor.h"

#include <dirent.h>
#include <fcntl.h>

#include <algorithm>
#include <set>
#include <utility>

namespace cache {

namespace {

std::optional<EntryMovieRow> RowOf(const EntryFile& file, EntryFormat format, std::string path,
                                   const std::atomic<bool>* stop)
{
    auto entry = ReadCacheEntry(file, format);
    if (!entry)
        return std::nullopt;
    auto movie = FindEntryMovie(file, std::move(*entry), stop);
    if (!movie)
        return std::nullopt;
    const struct stat& info = file.Info();
    EntryMovieRow row;
    row.row.name = MovieSaveName(movie->entry.head, movie->entry.address);
    row.row.size = std::to_string(movie->size);
    row.row.path = std::move(path);
    row.row.address = std::move(movie->entry.address);
    row.written = std::int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
    return row;
}

bool IsEntryName(EntryFormat format, std::string_view name)
{
    return format == EntryFormat::Firefox ? IsFirefoxEntryName(name) : IsChromiumEntryName(name);
}

void ReadFolder(int folderFd, const BrowserCacheFolder& folder, const std::atomic<bool>& stop,
                const std::function<void(EntryMovieRow)>& found)
{
    std::vector<char> buffer(std::size_t{64} * 1024);
    for (;;) {
        const ssize_t filled = ::getdents64(folderFd, buffer.data(), buffer.size());
        if (filled <= 0)
            return;
        for (ssize_t at = 0; at < filled;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer.data() + at);
            at += entry->d_reclen;
            if ((entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN) || !IsEntryName(folder.format, entry->d_name))
                continue;
            if (stop.load(std::memory_order_relaxed))
                return;
            // OpenAt refuses anything but a regular file, so an unknown type needs no look of its own.
            const auto file = EntryFile::OpenAt(folderFd, entry->d_name);
            if (!file)
                continue;
            if (auto row = RowOf(*file, folder.format, folder.path + entry->d_name, &stop))
                found(std::move(*row));
        }
    }
}

} // namespace

std::optional<EntryMovieRow> ReadEntryMovieRow(const std::string& path)
{
    const auto format = EntryFileFormat(path);
    if (!format)
        return std::nullopt;
    const auto file = EntryFile::Open(path);
    if (!file)
        return std::nullopt;
    return RowOf(*file, *format, path, nullptr);
}

void ReadEntryMovies(const std::vector<BrowserCacheFolder>& folders, const std::atomic<bool>& stop,
                     const std::function<void(EntryMovieRow)>& found)
{
    std::set<std::pair<dev_t, ino_t>> read;
    for (const BrowserCacheFolder& folder : folders) {
        if (stop.load(std::memory_order_relaxed))
            return;
        platform::FileDescriptor fd(::open(folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat info {};
        if (!fd.IsOpen() || ::fstat(fd.Get(), &info) != 0 || !read.emplace(info.st_dev, info.st_ino).second)
            continue;
        ReadFolder(fd.Get(), folder, stop, found);
    }
}

bool ListsBefore(const EntryMovieRow& a, const EntryMovieRow& b)
{
    if (a.written != b.written)
        return a.written > b.written;
    return a.row.path < b.row.path; // std::string compares bytes as unsigned
}

std::size_t EntryRowIndex(const std::vector<EntryMovieRow>& shown, const EntryMovieRow& row)
{
    return static_cast<std::size_t>(std::upper_bound(shown.begin(), shown.end(), row, ListsBefore) - shown.begin());
}

std::vector<LocalMovieRow> LocalListRows(std::vector<EntryMovieRow> entries, std::vector<LocalMovieRow> plain)
{
    std::sort(entries.begin(), entries.end(), ListsBefore);
    std::vector<LocalMovieRow> rows;
    rows.reserve(entries.size() + plain.size());
    for (EntryMovieRow& entry : entries)
        rows.push_back(std::move(entry.row));
    std::move(plain.begin(), plain.end(), std::back_inserter(rows));
    return rows;
}

} // namespace cache
