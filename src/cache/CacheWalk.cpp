#include "cache/CacheWalk.h"

#include "cache/MovieRowList.h"

#include <charconv>

namespace cache {

namespace {
std::string DecimalText(std::uint64_t value)
{
    char digits[20];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return std::string(digits, end);
}
} // namespace

void AddFolderMovies(const std::string& folder, const std::vector<MovieFile>& movies, std::size_t firstRow,
                     MovieRowSink& sink)
{
    std::size_t row = firstRow;
    for (const MovieFile& movie : movies)
        sink.InsertRow(row++, LocalMovieRow{movie.name, DecimalText(movie.size), folder + movie.name, {}});
}

namespace {

void NoteBrowserCache(const Folder& folder, std::string_view parentPath, std::string_view name, const std::string& path,
                      std::vector<BrowserCacheFolder>* browserCaches)
{
    if (browserCaches == nullptr)
        return;
    if (IsFirefoxEntriesFolder(parentPath, name))
        browserCaches->push_back({path, EntryFormat::Firefox});
    else if (folder.Listing().holdsChromiumEntries)
        browserCaches->push_back({path, EntryFormat::Chromium});
}

void Walk(const Folder& folder, const std::string& path, MovieRowSink& sink,
          std::vector<BrowserCacheFolder>* browserCaches)
{
    // Each subfolder is read once: its movies go in before the walk descends into it.
    for (const std::string& name : folder.Listing().subfolders) {
        const auto subfolder = folder.OpenSubfolder(name);
        if (!subfolder)
            continue;
        const std::string subpath = path + name + '/';
        NoteBrowserCache(*subfolder, path, name, subpath, browserCaches);
        AddFolderMovies(subpath, subfolder->Listing().movies, 0, sink);
        Walk(*subfolder, subpath, sink, browserCaches);
    }
}

// The parent's path and the name of the folder at `path`, which ends in "/".
std::pair<std::string_view, std::string_view> SplitFolderPath(std::string_view path)
{
    path.remove_suffix(1);
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return {{}, path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

} // namespace

void WalkFolders(const Folder& folder, const std::string& path, MovieRowSink& sink)
{
    Walk(folder, path, sink, nullptr);
}

void WalkFolders(const Folder& folder, const std::string& path, MovieRowSink& sink,
                 std::vector<BrowserCacheFolder>& browserCaches)
{
    if (!path.empty()) {
        const auto [parent, name] = SplitFolderPath(path);
        NoteBrowserCache(folder, parent, name, path, &browserCaches);
    }
    Walk(folder, path, sink, &browserCaches);
}

void WalkFolders(const std::string& folder, MovieRowSink& sink)
{
    if (const auto root = OpenDirectory(folder))
        WalkFolders(*root, folder, sink);
}

void WalkFolders(const std::string& folder, MovieRowSink& sink, std::vector<BrowserCacheFolder>& browserCaches)
{
    if (const auto root = OpenDirectory(folder))
        WalkFolders(*root, folder, sink, browserCaches);
}

std::vector<LocalMovieRow> ListFolderMovies(const std::string& folder)
{
    MovieRowList list;
    WalkFolders(folder, list);
    return list.TakeRows();
}

} // namespace cache
