#include "cache/BrowserCacheFolders.h"

#include "cache/CacheWalk.h"

#include <algorithm>

namespace cache {

namespace {

bool IsHexDigits(std::string_view text, bool upperCase)
{
    return std::all_of(text.begin(), text.end(), [upperCase](char c) {
        return (c >= '0' && c <= '9') || (upperCase ? (c >= 'A' && c <= 'F') : (c >= 'a' && c <= 'f'));
    });
}

// The last component of a path, with or without a "/" at its end.
std::string_view LastComponent(std::string_view path)
{
    if (!path.empty() && path.back() == '/')
        path.remove_suffix(1);
    return path.substr(path.rfind('/') + 1);
}

// Plain movies are not what these walks are for.
class DiscardedRows final : public MovieRowSink {
public:
    void InsertRow(std::size_t, LocalMovieRow) override {}
};

} // namespace

bool IsFirefoxEntriesFolder(std::string_view parentPath, std::string_view name)
{
    return name == "entries" && LastComponent(parentPath) == "cache2";
}

bool IsFirefoxEntryName(std::string_view name) { return name.size() == 40 && IsHexDigits(name, true); }

bool IsChromiumEntryName(std::string_view name)
{
    return name.size() == 18 && name.ends_with("_0") && IsHexDigits(name.substr(0, 16), false);
}

std::optional<EntryFormat> EntryFileFormat(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    const std::string_view name = path.substr(slash + 1);
    if (IsChromiumEntryName(name))
        return EntryFormat::Chromium;
    if (slash == std::string_view::npos || !IsFirefoxEntryName(name))
        return std::nullopt;
    const std::string_view folder = path.substr(0, slash);
    const std::size_t parentEnd = folder.rfind('/');
    if (parentEnd == std::string_view::npos)
        return std::nullopt;
    if (!IsFirefoxEntriesFolder(folder.substr(0, parentEnd + 1), folder.substr(parentEnd + 1)))
        return std::nullopt;
    return EntryFormat::Firefox;
}

std::vector<BrowserCacheFolder> FindOutsideCacheFolders(const std::string& home)
{
    std::vector<BrowserCacheFolder> found;
    if (home.empty())
        return found;
    const std::string base = home.back() == '/' ? home : home + '/';
    const struct {
        const char* programs;  // one folder per program below it
        const char* cacheHome; // its cache home inside the program's folder
    } homes[] = {{"snap/", "/common/.cache/"}, {".var/app/", "/cache/"}};
    for (const auto& kind : homes) {
        const std::string programs = base + kind.programs;
        const auto folder = OpenDirectory(programs);
        if (!folder)
            continue;
        for (const std::string& name : folder->Listing().subfolders) {
            DiscardedRows rows;
            WalkFolders(programs + name + kind.cacheHome, rows, found);
        }
    }
    return found;
}

} // namespace cache
