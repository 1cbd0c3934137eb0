#pragma once
// Chromium's SQLite cache backend (net/disk_cache/sql), which Chrome is moving to: "sqldb0", "sqldb1", ...
// in the cache folder beside a stand-in "index" that starts with "SQLCache". Each shard keeps a row in
// `resources` per entry (key, pickled response info, body length, checksums) and the body in pieces in
// `blobs`. Read with no lock and no write: a browser holding the database never notices.
#include "cache/formats/BlockFileCache.h"
#include "cache/formats/StoredEntry.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class SqliteDatabase;
} // namespace platform

namespace cache {

// Whether `folder` holds a SQLite cache: its stand-in index says so.
bool IsSqlCacheFolder(const std::string& folder);

// The shard files of the SQLite cache in `folder`, "sqldb0" first, in number order.
std::vector<std::string> SqlCacheShards(const std::string& folder);

struct SqlShardOpened;

class SqlCacheShard {
public:
    // The shard file at `path`, its container name being the file's name. NotThisFormat when it is no SQLite
    // cache shard; UnknownVersion when its schema is older or newer than the versions with checksums (7, 8).
    static SqlShardOpened Open(const std::string& path);
    // A shard's bytes in memory, for the fuzz targets; `image` must outlive the shard and what it hands out.
    static SqlShardOpened OpenImage(std::string_view image, std::string container);

    int Version() const { return m_version; }

    // Every row of `resources` in row order, usable or refused, to `found`. `stop` is looked at between rows.
    void ForEachEntry(const std::atomic<bool>& stop, const std::function<void(StoredEntry)>& found) const;

    // The entry at `locator` ("@<row id>"); nothing when the shard has no such row.
    std::optional<StoredEntry> EntryAt(std::string_view locator) const;

    // The entry's body, read from its pieces, each checked against its checksum as it is read: offset 0 is the
    // body's first byte. nullptr for a refused entry.
    std::shared_ptr<const EntryBytes> OpenBody(const StoredEntry& stored) const;

private:
    SqlCacheShard(std::shared_ptr<platform::SqliteDatabase> database, std::string container, int version);
    static SqlShardOpened Check(std::shared_ptr<platform::SqliteDatabase> database, std::string container);

    std::shared_ptr<platform::SqliteDatabase> m_database;
    std::string m_container;
    int m_version = 0;
};

struct SqlShardOpened {
    std::optional<SqlCacheShard> shard;
    CacheRefusal refusal = CacheRefusal::None;
};

} // namespace cache
