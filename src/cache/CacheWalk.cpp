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

// Every format of the table that recognises the folder, and the folder's container files.
void NoteStores(const Folder& folder, std::string_view parentPath, std::string_view name, const std::string& path,
                std::vector<FoundStore>* stores)
{
    if (stores == nullptr)
        return;
    const FolderListing& listing = folder.Listing();
    const auto& rows = FolderFormats();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const FolderFacts facts{path, parentPath, name, listing.marks.empty() ? 0 : listing.marks[i]};
        const FolderVerdict verdict = rows[i].folder->Recognise(facts);
        if (verdict.kind == FolderVerdict::Kind::Read)
            stores->push_back({path, rows[i].format, {}});
        else if (verdict.kind == FolderVerdict::Kind::NotRead)
            stores->push_back({path, rows[i].format, std::string(verdict.reason)});
    }
    for (const ContainerFile& container : listing.containers)
        stores->push_back({path + container.name, container.format, {}});
}

void Walk(const Folder& folder, const std::string& path, MovieRowSink& sink, std::vector<FoundStore>* stores)
{
    // Each subfolder is read once: its movies go in before the walk descends into it.
    for (const std::string& name : folder.Listing().subfolders) {
        const auto subfolder = folder.OpenSubfolder(name);
        if (!subfolder)
            continue;
        const std::string subpath = path + name + '/';
        NoteStores(*subfolder, path, name, subpath, stores);
        AddFolderMovies(subpath, subfolder->Listing().movies, 0, sink);
        Walk(*subfolder, subpath, sink, stores);
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

void WalkFolders(const Folder& folder, const std::string& path, MovieRowSink& sink, std::vector<FoundStore>& stores)
{
    if (!path.empty()) {
        const auto [parent, name] = SplitFolderPath(path);
        NoteStores(folder, parent, name, path, &stores);
    }
    Walk(folder, path, sink, &stores);
}

void WalkFolders(const std::string& folder, MovieRowSink& sink)
{
    if (const auto root = OpenDirectory(folder))
        WalkFolders(*root, folder, sink);
}

void WalkFolders(const std::string& folder, MovieRowSink& sink, std::vector<FoundStore>& stores)
{
    if (const auto root = OpenDirectory(folder))
        WalkFolders(*root, folder, sink, stores);
}

std::vector<LocalMovieRow> ListFolderMovies(const std::string& folder)
{
    MovieRowList list;
    WalkFolders(folder, list);
    return list.TakeRows();
}

} // namespace cache
