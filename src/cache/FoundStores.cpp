#include "cache/FoundStores.h"

#include "cache/CacheWalk.h"

namespace cache {

namespace {

// Plain movies are not what these walks are for.
class DiscardedRows final : public MovieRowSink {
public:
    void InsertRow(std::size_t, LocalMovieRow) override {}
};

} // namespace

std::vector<FoundStore> FindOutsideCacheStores(const std::string& home)
{
    std::vector<FoundStore> found;
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
