#include "cache/LocalListing.h"

#include "cache/CacheFolder.h"
#include "cache/CacheWalk.h"
#include "cache/MovieRowList.h"
#include "platform/Overloaded.h"

#include <cstdlib>
#include <utility>

namespace cache {

std::optional<LocalListSource> LocalListSourceFor(const std::optional<std::string>& chosenFolder)
{
    if (chosenFolder) {
        if (chosenFolder->empty())
            return std::nullopt;
        std::string folder = *chosenFolder;
        if (folder.back() != '/')
            folder += '/';
        return LocalListSource{std::move(folder), false};
    }
    auto folder = LookUpCacheFolder();
    if (!folder)
        return std::nullopt;
    return LocalListSource{std::move(*folder), true};
}

LocalWalk WalkLocalFolder(const LocalListSource& source)
{
    LocalWalk walk;
    MovieRowList rows;
    WalkFolders(source.folder, rows, walk.stores);
    walk.plainRows = rows.TakeRows();
    return walk;
}

void ReadLocalEntries(const LocalListSource& source, const LocalWalk& walk, const std::atomic<bool>& stop,
                      const FindingSink& found)
{
    std::vector<FoundStore> stores = walk.stores;
    if (source.outsideCaches) {
        const char* home = std::getenv("HOME");
        for (auto& outside : FindOutsideCacheStores(home != nullptr ? home : ""))
            stores.push_back(std::move(outside));
    }
    ReadStores(stores, stop, found);
}

LocalList ListLocalMovies(const LocalListSource& source)
{
    LocalWalk walk = WalkLocalFolder(source);
    std::vector<EntryMovieRow> entries;
    std::vector<PlainFileAddress> addresses;
    LocalList list;
    const std::atomic<bool> never{false};
    ReadLocalEntries(source, walk, never, [&](StoreFinding finding) {
        std::visit(platform::Overloaded{
                       [&](EntryMovieRow& row) { entries.push_back(std::move(row)); },
                       [&](PlainFileAddress& address) { addresses.push_back(std::move(address)); },
                       [&](UnreadStore& unread) { list.unread.push_back(std::move(unread)); },
                   },
                   finding);
    });
    list.rows = LocalListRows(std::move(entries), std::move(walk.plainRows), addresses);
    return list;
}

} // namespace cache
