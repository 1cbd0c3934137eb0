#include "cache/formats/AppCache.h"

#include "platform/SqliteDatabase.h"

#include <sys/stat.h>

#include <charconv>
#include <memory>

namespace cache {

namespace {

constexpr std::string_view kCacheFolder = "Application Cache/Cache/";

std::string WithSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

bool IsRegularFile(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// base::Int64ToString of a response id: decimal digits alone.
std::optional<std::int64_t> ResponseId(std::string_view key)
{
    std::int64_t id = 0;
    const auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), id);
    if (key.empty() || key.front() == '-' || error != std::errc() || end != key.data() + key.size())
        return std::nullopt;
    return id;
}

} // namespace

std::optional<std::map<std::int64_t, std::string>> ReadAppCacheIndex(const std::string& indexPath)
{
    if (!IsRegularFile(indexPath))
        return std::nullopt;
    try {
        return platform::ReadForeignDatabase(indexPath, [](platform::SqliteDatabase& database) {
            std::map<std::int64_t, std::string> addresses;
            platform::SqliteStatement entries(database, "SELECT response_id, url FROM Entries");
            while (entries.Step()) {
                if (!entries.IsNull(0) && !entries.IsNull(1))
                    addresses.emplace(entries.Int64(0), entries.Text(1));
            }
            return addresses;
        });
    } catch (const platform::SqliteError&) {
        return std::nullopt;
    }
}

BlockFileOpened OpenAppCache(const std::string& folder)
{
    const std::string base = WithSlash(folder);
    auto index = ReadAppCacheIndex(base + "Index");
    if (!index)
        return {std::nullopt, Refusal::MissingFile, {}};
    auto addresses = std::make_shared<const std::map<std::int64_t, std::string>>(std::move(*index));
    return BlockFileCache::Open(base + "Cache/", [addresses](std::string_view key) -> Refusable<std::string> {
        const auto id = ResponseId(key);
        if (!id)
            return Refusal::NotAResponse;
        // A response the Index does not know: the two files of the cache disagree.
        const auto found = addresses->find(*id);
        if (found == addresses->end() || found->second.empty())
            return Refusal::Damaged;
        return found->second;
    });
}

BlockFileOpened OpenBlockFileFolder(const std::string& folder)
{
    const std::string base = WithSlash(folder);
    if (base.ends_with(kCacheFolder)
        && (base.size() == kCacheFolder.size() || base[base.size() - kCacheFolder.size() - 1] == '/')) {
        const std::string appCache = base.substr(0, base.size() - std::string_view("Cache/").size());
        if (IsRegularFile(appCache + "Index"))
            return OpenAppCache(appCache);
    }
    return BlockFileCache::Open(base);
}

} // namespace cache
