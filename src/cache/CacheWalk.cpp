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
        sink.InsertRow(row++, LocalMovieRow{movie.name, DecimalText(movie.size), folder + movie.name});
}

void WalkFolders(const Folder& folder, const std::string& path, MovieRowSink& sink)
{
    // Each subfolder is read once: its movies go in before the walk descends into it.
    for (const std::string& name : folder.Listing().subfolders) {
        const auto subfolder = folder.OpenSubfolder(name);
        if (!subfolder)
            continue;
        const std::string subpath = path + name + '/';
        AddFolderMovies(subpath, subfolder->Listing().movies, 0, sink);
        WalkFolders(*subfolder, subpath, sink);
    }
}

void WalkFolders(const std::string& folder, MovieRowSink& sink)
{
    if (const auto root = OpenDirectory(folder))
        WalkFolders(*root, folder, sink);
}

std::vector<LocalMovieRow> ListFolderMovies(const std::string& folder)
{
    MovieRowList list;
    WalkFolders(folder, list);
    return list.TakeRows();
}

} // namespace cache
