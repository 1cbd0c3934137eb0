#pragma once
// Chromium's SQLite cache backend (net/disk_cache/sql), which Chrome is moving to: "sqldb0", "sqldb1", ...
// in the cache folder beside a stand-in "index" that starts with "SQLCache". Each shard keeps a row in
// `resources` per entry (key, pickled response info, body length, checksums) and the body in pieces in
// `blobs`. Read with no lock and no write: a browser holding the database never notices.
#include "cache/formats/StoredFormat.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {
class SqliteDatabase;
} // namespace platform

namespace cache {

// Whether `folder` holds a SQLite cache: its stand-in index says so.
bool IsSqlCacheFolder(const std::string& folder);

// "sqldb0", "sqldb1", ...: the name of a shard file.
bool IsSqlShardName(std::string_view name);

// The shard files of the SQLite cache in `folder`, "sqldb0" first, in number order.
std::vector<std::string> SqlCacheShards(const std::string& folder);

// A row's locator: the shard's name and the entry's row, "sqldb1@17".
std::string SqlLocator(std::string_view shard, std::int64_t resId);
std::optional<std::pair<std::string, std::int64_t>> ParseSqlLocator(std::string_view locator);

struct SqlShardOpened;

class SqlCacheShard {
public:
    // The shard file at `path`, named by the file's name. Refused when it is no SQLite cache shard, and as
    // UnknownVersion when its schema is older or newer than the versions with checksums (7, 8).
    static SqlShardOpened Open(const std::string& path);
    // A shard's bytes in memory, for the fuzz targets; `image` must outlive the shard and what it hands out.
    static SqlShardOpened OpenImage(std::string_view image, std::string name);

    int Version() const { return m_version; }
    const std::string& Name() const { return m_name; }

    // Every row of `resources` in row order, to `sink`: a response for each entry that holds one, with the time
    // it was last used, a refusal for the others. `stop` is looked at between rows. False when the sink asked
    // to stop.
    bool ReadEntries(const std::atomic<bool>& stop, RecordSink& sink) const;

    // The entry of the row `resId`, with the shard's file; Unreadable when the shard has no such row.
    Refusable<OpenedResponse> OpenEntry(std::int64_t resId) const;

private:
    SqlCacheShard(std::shared_ptr<platform::SqliteDatabase> database, std::string name, int version,
                  std::vector<FileIdentity> files);
    static SqlShardOpened Check(std::shared_ptr<platform::SqliteDatabase> database, std::string name,
                                std::vector<FileIdentity> files);

    std::shared_ptr<platform::SqliteDatabase> m_database;
    std::string m_name;
    int m_version = 0;
    std::vector<FileIdentity> m_files; // the shard's file, when it has one
};

struct SqlShardOpened {
    std::optional<SqlCacheShard> shard;
    Refusal why = Refusal::Damaged;
    std::string notRead; // for UnknownVersion: which schema, in a few words ("schema version 9")
};

} // namespace cache
