// The block-file and SQLite readers against the caches Debian's chromium writes at test time with those two
// backends, whole, copied without some of their files, cut short and damaged.
#include "cache/MovieSaveName.h"
#include "cache/formats/AppCache.h"
#include "cache/formats/BlockFileLayout.h"
#include "cache/formats/ListedEntries.h"
#include "cache/formats/SqlCache.h"
#include "platform/SqliteDatabase.h"
#include "support/Files.h"
#include "support/RealChromiumCaches.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <filesystem>
#include <map>

namespace {

namespace fs = std::filesystem;
using test::ListedEntry;
using test::TempFolder;

const test::ServedMovie& Served(const std::string& saveName)
{
    for (const auto& movie : test::SharedChromiumCaches().Movies()) {
        if (movie.saveName == saveName)
            return movie;
    }
    throw std::runtime_error("no served movie " + saveName);
}

// Names, sizes, times and bytes of every file below `folder`.
std::map<std::string, std::string> Snapshot(const std::string& folder)
{
    std::map<std::string, std::string> files;
    for (const std::string& path : test::FilesBelow(folder)) {
        struct stat info {};
        ::lstat(path.c_str(), &info);
        files[path] = std::to_string(info.st_size) + "@" + std::to_string(info.st_mtim.tv_sec) + "."
            + std::to_string(info.st_mtim.tv_nsec) + ":" + test::ReadFile(path);
    }
    return files;
}

std::string CopyOf(const TempFolder& temp, const std::string& folder, const std::vector<std::string>& leftOut = {})
{
    std::string copy = temp / "Cache_Data/";
    fs::create_directories(copy);
    for (const auto& file : fs::directory_iterator(folder)) {
        const std::string name = file.path().filename().string();
        if (std::find(leftOut.begin(), leftOut.end(), name) == leftOut.end())
            fs::copy_file(file.path(), copy + name);
    }
    return copy;
}

struct Backend {
    const char* name;
    std::vector<ListedEntry> (*list)(const std::string& folder);
    const std::string& (test::RealChromiumCaches::*folder)() const;
};
const Backend kBackends[] = {
    {"blockfile", [](const std::string& folder) { return test::ListBlockFileCache(folder); },
     &test::RealChromiumCaches::BlockFileFolder},
    {"sql", &test::ListSqlCache, &test::RealChromiumCaches::SqlFolder},
};

// Each served movie, whatever its coding, size or name, is one usable entry that streams to the movie; the
// row's name comes out as a browser would propose it; the 404 and the empty body are stored but are no movies.
TEST(ChromiumBackends, EveryServedMovieIsOneEntryThatStreamsToTheMovie)
{
    const auto& caches = test::SharedChromiumCaches();
    for (const Backend& backend : kBackends) {
        SCOPED_TRACE(backend.name);
        const auto before = Snapshot((caches.*backend.folder)());
        const auto entries = backend.list((caches.*backend.folder)());
        EXPECT_EQ(Snapshot((caches.*backend.folder)()), before) << "reading changed the cache";
        for (const auto& served : caches.Movies()) {
            SCOPED_TRACE(served.address);
            const auto found = test::WithAddress(entries, served.address);
            ASSERT_EQ(found.size(), 1u);
            const cache::StoredEntry& stored = found[0]->stored;
            EXPECT_EQ(stored.refusal, cache::EntryRefusal::None) << cache::RefusalText(stored.refusal);
            EXPECT_FALSE(stored.headLost);
            EXPECT_EQ(stored.entry.head.status, 200);
            EXPECT_EQ(found[0]->movie, served.movie);
            EXPECT_EQ(cache::MovieSaveName(stored.entry.head, stored.entry.address), served.saveName);
            EXPECT_GT(stored.written, std::int64_t{1'500'000'000} * 1'000'000'000) << "a time after 2017";
        }
        for (const auto& [address, status] : {std::pair{caches.MissingAddress(), 404}, {caches.EmptyAddress(), 200}}) {
            const auto found = test::WithAddress(entries, address);
            ASSERT_EQ(found.size(), 1u) << address;
            EXPECT_EQ(found[0]->stored.entry.head.status, status);
            EXPECT_EQ(found[0]->movie, std::nullopt);
        }
        std::size_t movies = 0;
        for (const auto& entry : entries)
            movies += entry.movie.has_value();
        EXPECT_EQ(movies, caches.Movies().size()) << "nothing else is a movie";
    }
    const auto blockFiles = test::ListBlockFileCache(caches.BlockFileFolder());
    EXPECT_TRUE(test::WithAddress(blockFiles, Served("large.swf").address).at(0)->stored.bodyFile.starts_with("f_"));
}

// A row's path leads back to its entry, read alone; paths that name no entry lead nowhere.
TEST(ChromiumBackends, EveryEntryIsFoundAgainAtItsLocator)
{
    const auto& caches = test::SharedChromiumCaches();
    const auto blockFiles = cache::OpenBlockFileFolder(caches.BlockFileFolder());
    ASSERT_TRUE(blockFiles.cache);
    const auto listed = test::ListBlockFileCache(caches.BlockFileFolder());
    ASSERT_FALSE(listed.empty());
    for (const auto& entry : listed) {
        const auto path = cache::SplitEntryPath(caches.BlockFileFolder() + cache::EntryPathTail(entry.stored));
        ASSERT_TRUE(path);
        EXPECT_EQ(path->folder, caches.BlockFileFolder());
        const auto again = blockFiles.cache->EntryAt(path->container, path->locator);
        ASSERT_TRUE(again) << path->locator;
        EXPECT_EQ(again->entry.address, entry.stored.entry.address);
        EXPECT_EQ(again->bodyFile, entry.stored.bodyFile);
        EXPECT_EQ(again->entry.bodyOffset, entry.stored.entry.bodyOffset);
        EXPECT_EQ(again->entry.bodyLength, entry.stored.entry.bodyLength);
    }
    const auto& first = listed.front().stored;
    EXPECT_EQ(blockFiles.cache->EntryAt("data_2", first.locator), std::nullopt) << "another block file";
    EXPECT_EQ(blockFiles.cache->EntryAt(first.container, "@0xa0010000"), std::nullopt) << "the statistics block";
    EXPECT_EQ(blockFiles.cache->EntryAt(first.container, "@0x00000000"), std::nullopt);

    for (const std::string& name : cache::SqlCacheShards(caches.SqlFolder())) {
        const auto shard = cache::SqlCacheShard::Open(caches.SqlFolder() + name);
        ASSERT_TRUE(shard.shard);
        const std::atomic<bool> stop{false};
        shard.shard->ForEachEntry(stop, [&](const cache::StoredEntry& stored) {
            const auto again = shard.shard->EntryAt(stored.locator);
            ASSERT_TRUE(again);
            EXPECT_EQ(again->entry.address, stored.entry.address);
            EXPECT_EQ(again->entry.bodyLength, stored.entry.bodyLength);
        });
        EXPECT_EQ(shard.shard->EntryAt("@999999"), std::nullopt);
        EXPECT_EQ(shard.shard->EntryAt("@-1"), std::nullopt);
    }
}

// Caches are often copied without their largest files. Headers over 4 KiB lie in data_3: without it, a
// body that is a movie (plain or gzip) still counts, with its address from the key. A body in a missing file
// leaves its entry out, and a data_1 cut anywhere costs the entries behind the cut and nothing else.
TEST(ChromiumBackends, BlockFilesMissingOrCutShortCostOnlyWhatLayInThem)
{
    const auto& caches = test::SharedChromiumCaches();
    TempFolder temp;
    const auto large = Served("large.swf");
    const std::string largeFile =
        test::WithAddress(test::ListBlockFileCache(caches.BlockFileFolder()), large.address).at(0)->stored.bodyFile;
    const std::string copy = CopyOf(temp, caches.BlockFileFolder(), {"data_3", largeFile});
    const auto entries = test::ListBlockFileCache(copy);
    for (const auto& served : caches.Movies()) {
        SCOPED_TRACE(served.address);
        const auto found = test::WithAddress(entries, served.address);
        ASSERT_EQ(found.size(), 1u);
        const bool heavy = served.saveName.starts_with("heavy");
        EXPECT_EQ(found[0]->stored.headLost, heavy);
        if (served.address == large.address) {
            EXPECT_EQ(found[0]->stored.refusal, cache::EntryRefusal::MissingFile);
            EXPECT_EQ(found[0]->movie, std::nullopt);
        } else {
            EXPECT_EQ(found[0]->movie, served.movie);
        }
    }

    const std::string data1 = test::ReadFile(caches.BlockFileFolder() + "data_1");
    const auto whole = test::ListBlockFileCache(caches.BlockFileFolder());
    for (std::size_t length = 0; length <= data1.size(); length += 256) {
        test::WriteFile(copy + "data_1", data1.substr(0, length));
        const auto cut = test::ListBlockFileCache(copy);
        for (const auto& entry : cut) {
            SCOPED_TRACE(std::to_string(length) + " " + entry.stored.locator);
            if (entry.stored.entry.address.empty()) {
                EXPECT_NE(entry.stored.refusal, cache::EntryRefusal::None) << "a record cut inside its key";
                continue;
            }
            const auto before = test::WithAddress(whole, entry.stored.entry.address);
            ASSERT_EQ(before.size(), 1u);
            EXPECT_EQ(before[0]->stored.locator, entry.stored.locator);
            if (entry.movie) {
                EXPECT_EQ(entry.movie, before[0]->movie);
            }
        }
        if (length >= data1.size()) {
            EXPECT_EQ(cut.size(), whole.size());
        }
    }
}

// One byte of the plain movie's entry record changed at a time, in a copy: the record's own hash and the key's
// hash turn away every change up to the key's terminating NUL, and no change gives a wrong movie or address.
TEST(ChromiumBackends, ADamagedEntryRecordIsNeverMisread)
{
    const auto& caches = test::SharedChromiumCaches();
    const auto& plain = Served("plain.swf");
    const auto whole = test::ListBlockFileCache(caches.BlockFileFolder());
    const ListedEntry* original = test::WithAddress(whole, plain.address).at(0);
    const auto locator = cache::blockfile::ParseEntryLocator(original->stored.locator);
    ASSERT_TRUE(locator);
    TempFolder temp;
    const std::string copy = CopyOf(temp, caches.BlockFileFolder());
    const std::string data1 = test::ReadFile(copy + "data_1");
    const std::size_t record = locator->FileOffset();
    const std::size_t checked = 96 + cache::LittleEndian32(data1, record + 32) + 1; // the key and its NUL
    ASSERT_LT(checked, 256u);
    std::size_t listed = 0;
    for (std::size_t at = record; at < record + 256; ++at) {
        std::string damaged = data1;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x01);
        test::WriteFile(copy + "data_1", damaged);
        for (const auto& entry : test::ListBlockFileCache(copy)) {
            if (entry.stored.locator != original->stored.locator || entry.stored.refusal != cache::EntryRefusal::None)
                continue;
            SCOPED_TRACE(at - record);
            EXPECT_GE(at - record, checked) << "a change the hashes cover went through";
            EXPECT_EQ(entry.stored.entry.address, plain.address);
            EXPECT_EQ(entry.movie, plain.movie);
            listed += entry.movie.has_value();
        }
    }
    EXPECT_EQ(listed, 256 - checked) << "the bytes after the key's end are not checked by the browser either";
}

// The browser holds its SQLite files with an exclusive lock and writes them while it runs. Reading takes no
// lock at all: a writer holding the database is no obstacle, a writer starting while a body is half read is
// not kept waiting, and nothing is written or left beside the files.
TEST(ChromiumBackends, TheSqliteCacheIsReadWithoutALockAndWithoutAWrite)
{
    const auto& caches = test::SharedChromiumCaches();
    const auto before = Snapshot(caches.SqlFolder());
    const auto entries = test::ListSqlCache(caches.SqlFolder());
    EXPECT_EQ(Snapshot(caches.SqlFolder()), before);

    TempFolder temp;
    const std::string copy = CopyOf(temp, caches.SqlFolder());
    const auto& plain = Served("plain.swf");
    const auto stored = test::WithAddress(entries, plain.address).at(0)->stored;
    const std::string shardPath = copy + stored.container;
    platform::SqliteDatabase writer(platform::SqliteFileUri(shardPath, ""), SQLITE_OPEN_READWRITE);
    platform::SqliteStatement(writer, "PRAGMA locking_mode = EXCLUSIVE").Step();
    platform::SqliteStatement(writer, "BEGIN EXCLUSIVE").Step();
    platform::SqliteStatement(writer, "UPDATE meta SET value = value WHERE key = 'version'").Step();

    const auto shard = cache::SqlCacheShard::Open(shardPath);
    ASSERT_TRUE(shard.shard) << "refused while another connection holds the database";
    const auto again = shard.shard->EntryAt(stored.locator);
    ASSERT_TRUE(again);
    const auto body = shard.shard->OpenBody(*again);
    std::string start;
    ASSERT_TRUE(body && body->ReadAt(0, 3, start));
    EXPECT_EQ(start, plain.movie.substr(0, 3));
    platform::SqliteStatement(writer, "COMMIT").Step();
    platform::SqliteStatement(writer, "BEGIN EXCLUSIVE").Step();
    platform::SqliteStatement(writer, "DELETE FROM resources WHERE res_id = -1").Step();
    EXPECT_NO_THROW(platform::SqliteStatement(writer, "COMMIT").Step()) << "the reader kept the writer waiting";
    EXPECT_EQ(test::StreamedMovie(body.get(), *again), plain.movie);
}

// Changes to a copy of a shard as SQL makes them: each check Chromium makes turns the entry away, with its
// reason, and only schemas with checksums are read.
TEST(ChromiumBackends, SqliteRowsThatFailChromiumsChecksAreRefused)
{
    const auto& caches = test::SharedChromiumCaches();
    const auto& plain = Served("plain.swf");
    const auto stored = test::WithAddress(test::ListSqlCache(caches.SqlFolder()), plain.address).at(0)->stored;
    const std::string id = stored.locator.substr(1);
    const struct {
        const char* what;
        std::string change;
        std::optional<cache::EntryRefusal> refusal; // nothing: the entry is usable but is no movie
        cache::CacheRefusal shard = cache::CacheRefusal::None;
    } cases[] = {
        {"a changed byte in the body",
         "UPDATE blobs SET blob = CAST(X'46575300' || substr(blob, 5) AS BLOB) WHERE res_id = " + id, std::nullopt},
        {"a changed byte in the head",
         "UPDATE resources SET head = CAST(substr(head, 1, 40) || X'00' || substr(head, 42) AS BLOB) "
         "WHERE res_id = "
             + id,
         cache::EntryRefusal::Damaged},
        {"a changed key", "UPDATE resources SET cache_key = cache_key || 'x' WHERE res_id = " + id,
         cache::EntryRefusal::Damaged},
        {"doomed", "UPDATE resources SET doomed = 1 WHERE res_id = " + id, cache::EntryRefusal::Doomed},
        {"its last piece gone", "DELETE FROM blobs WHERE res_id = " + id, cache::EntryRefusal::CutShort},
        {"a piece moved", "UPDATE blobs SET start = start + 1, end = end + 1 WHERE res_id = " + id,
         cache::EntryRefusal::Damaged},
        {"a head never written", "UPDATE resources SET head = NULL WHERE res_id = " + id,
         cache::EntryRefusal::CutShort},
        {"schema 6", "UPDATE meta SET value = 6 WHERE key IN ('version', 'last_compatible_version')", std::nullopt,
         cache::CacheRefusal::UnknownVersion},
        {"schema 9 that 8 can read", "UPDATE meta SET value = 9 WHERE key = 'version'", cache::EntryRefusal::None},
        {"schema 9 that 8 cannot read", "UPDATE meta SET value = 9 WHERE key IN ('version', 'last_compatible_version')",
         std::nullopt, cache::CacheRefusal::UnknownVersion},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder temp;
        const std::string path = CopyOf(temp, caches.SqlFolder()) + stored.container;
        {
            platform::SqliteDatabase database(platform::SqliteFileUri(path, ""), SQLITE_OPEN_READWRITE);
            platform::SqliteStatement(database, c.change).Step();
        }
        const auto shard = cache::SqlCacheShard::Open(path);
        EXPECT_EQ(shard.refusal, c.shard);
        if (!shard.shard)
            continue;
        const auto entry = shard.shard->EntryAt(stored.locator);
        ASSERT_TRUE(entry);
        EXPECT_EQ(entry->refusal, c.refusal.value_or(cache::EntryRefusal::None));
        const auto body = shard.shard->OpenBody(*entry);
        const auto movie = test::StreamedMovie(body.get(), *entry);
        EXPECT_EQ(movie, c.refusal == cache::EntryRefusal::None ? std::optional(plain.movie) : std::nullopt);
    }

    // A head of response info version 4, its checksum made again as Chromium makes it (the CRC-32 of the head,
    // then of the key hash the browser stored, in network order): read as a version this reader does not know.
    TempFolder temp;
    const std::string path = CopyOf(temp, caches.SqlFolder()) + stored.container;
    {
        platform::SqliteDatabase database(platform::SqliteFileUri(path, ""), SQLITE_OPEN_READWRITE);
        platform::SqliteStatement row(database, "SELECT head, cache_key_hash FROM resources WHERE res_id = " + id);
        ASSERT_TRUE(row.Step());
        std::string head(row.Blob(0));
        const auto hash = static_cast<std::uint32_t>(row.Int64(1));
        head[4] = 4;
        uLong crc = ::crc32(::crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(head.data()),
                            static_cast<uInt>(head.size()));
        const unsigned char network[4] = {static_cast<unsigned char>(hash >> 24),
                                          static_cast<unsigned char>(hash >> 16), static_cast<unsigned char>(hash >> 8),
                                          static_cast<unsigned char>(hash)};
        crc = ::crc32(crc, network, 4);
        std::string hex;
        for (const unsigned char byte : head) {
            char digits[3];
            std::snprintf(digits, sizeof digits, "%02x", byte);
            hex += digits;
        }
        platform::SqliteStatement(database,
                                  "UPDATE resources SET head = X'" + hex + "', check_sum = "
                                      + std::to_string(static_cast<std::int32_t>(crc)) + " WHERE res_id = " + id)
            .Step();
    }
    const auto shard = cache::SqlCacheShard::Open(path);
    ASSERT_TRUE(shard.shard);
    const auto entry = shard.shard->EntryAt(stored.locator);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->refusal, cache::EntryRefusal::UnknownVersion);
}

} // namespace
