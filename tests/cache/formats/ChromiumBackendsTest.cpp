// The block-file and SQLite formats against the caches Debian's chromium writes at test time with those two
// backends, whole, copied without some of their files, cut short and damaged.
#include "cache/MovieSaveName.h"
#include "cache/formats/BlockFileLayout.h"
#include "cache/formats/ListedEntries.h"
#include "platform/SqliteDatabase.h"
#include "support/Files.h"
#include "support/RealChromiumCaches.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
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

// The names of the files of `folder` that an opened record reads from.
std::vector<std::string> FilesReadFrom(const cache::OpenedResponse& opened, const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& file : fs::directory_iterator(folder)) {
        struct stat info {};
        if (::stat(file.path().c_str(), &info) == 0
            && std::find(opened.files.begin(), opened.files.end(), cache::FileIdentity{info.st_dev, info.st_ino})
                != opened.files.end())
            names.push_back(file.path().filename().string());
    }
    return names;
}

const ListedEntry& OnlyEntry(const std::vector<ListedEntry>& entries, const std::string& address)
{
    const auto found = test::WithAddress(entries, address);
    if (found.size() != 1)
        throw std::runtime_error(std::to_string(found.size()) + " entries of " + address);
    return *found[0];
}

const ListedEntry* AtLocator(const std::vector<ListedEntry>& entries, const std::string& locator)
{
    const auto found =
        std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.locator == locator; });
    return found == entries.end() ? nullptr : &*found;
}

struct Backend {
    const char* name;
    const cache::ContainerFolderFormat& (*format)();
    const std::string& (test::RealChromiumCaches::*folder)() const;
};
const Backend kBackends[] = {
    {"blockfile", &test::BlockFileFormat, &test::RealChromiumCaches::BlockFileFolder},
    {"sql", &test::SqlFormat, &test::RealChromiumCaches::SqlFolder},
};

// Each served movie, whatever its coding, size or name, is one response that streams to the movie; the row's
// name comes out as a browser would propose it; the 404 and the empty body are stored but are no movies.
TEST(ChromiumBackends, EveryServedMovieIsOneEntryThatStreamsToTheMovie)
{
    const auto& caches = test::SharedChromiumCaches();
    for (const Backend& backend : kBackends) {
        SCOPED_TRACE(backend.name);
        const std::string& folder = (caches.*backend.folder)();
        const auto before = Snapshot(folder);
        const auto listed = test::ListFolder(backend.format(), folder);
        EXPECT_EQ(Snapshot(folder), before) << "reading changed the cache";
        EXPECT_TRUE(listed.notRead.empty());
        for (const auto& served : caches.Movies()) {
            SCOPED_TRACE(served.address);
            const auto found = test::WithAddress(listed.entries, served.address);
            ASSERT_EQ(found.size(), 1u);
            const ListedEntry& entry = *found[0];
            EXPECT_FALSE(entry.headLost);
            EXPECT_EQ(entry.head.status, 200);
            EXPECT_EQ(entry.movie, served.movie);
            EXPECT_EQ(cache::MovieSaveName(entry.head, entry.address), served.saveName);
            EXPECT_GT(entry.written, std::int64_t{1'500'000'000} * 1'000'000'000) << "a time after 2017";
        }
        for (const auto& [address, status] : {std::pair{caches.MissingAddress(), 404}, {caches.EmptyAddress(), 200}}) {
            const auto found = test::WithAddress(listed.entries, address);
            ASSERT_EQ(found.size(), 1u) << address;
            EXPECT_EQ(found[0]->head.status, status);
            EXPECT_EQ(found[0]->movie, std::nullopt);
            EXPECT_EQ(found[0]->notAMovie, cache::Refusal::NotAMovie);
        }
        std::size_t movies = 0;
        for (const auto& entry : listed.entries)
            movies += entry.movie.has_value();
        EXPECT_EQ(movies, caches.Movies().size()) << "nothing else is a movie";
    }
    // Over 16 KiB, the body has a file of its own; a small one lies in the block files.
    const std::string& folder = caches.BlockFileFolder();
    const auto entries = test::ListBlockFileCache(folder);
    const auto names = [&](const std::string& saveName) {
        const auto opened =
            test::OpenRecord(test::BlockFileFormat(), folder, OnlyEntry(entries, Served(saveName).address).locator);
        EXPECT_TRUE(opened) << cache::RefusalText(opened.Why());
        return opened ? FilesReadFrom(*opened, folder) : std::vector<std::string>{};
    };
    const auto isSeparate = [](const std::string& name) { return name.starts_with("f_"); };
    const auto large = names("large.swf");
    EXPECT_EQ(std::count_if(large.begin(), large.end(), isSeparate), 1);
    const auto plain = names("plain.swf");
    EXPECT_EQ(std::count_if(plain.begin(), plain.end(), isSeparate), 0);
    EXPECT_NE(std::find(plain.begin(), plain.end(), "data_1"), plain.end());
}

// A row's path leads back to its entry, opened alone as a copy opens it; locators that name no entry lead
// nowhere.
TEST(ChromiumBackends, EveryEntryIsFoundAgainAtItsLocator)
{
    const auto& caches = test::SharedChromiumCaches();
    for (const Backend& backend : kBackends) {
        SCOPED_TRACE(backend.name);
        const std::string& folder = (caches.*backend.folder)();
        const auto listed = test::ListFolder(backend.format(), folder).entries;
        ASSERT_FALSE(listed.empty());
        for (const auto& entry : listed) {
            SCOPED_TRACE(entry.locator);
            auto again = test::OpenRecord(backend.format(), folder, entry.locator);
            if (entry.refused) {
                EXPECT_FALSE(again);
                EXPECT_EQ(again.Why(), *entry.refused);
                continue;
            }
            ASSERT_TRUE(again) << cache::RefusalText(again.Why());
            EXPECT_EQ(again->response.address, entry.address);
            EXPECT_EQ(again->response.body->Length(), entry.storedLength);
            EXPECT_EQ(test::StreamedMovie(std::move(again->response), true), entry.movie);
        }
    }

    const std::string& blockFiles = caches.BlockFileFolder();
    const auto first = cache::blockfile::ParseEntryLocator(test::ListBlockFileCache(blockFiles).front().locator);
    ASSERT_TRUE(first);
    const auto elsewhere =
        cache::blockfile::EntryLocator(cache::blockfile::Address((first->Value() & ~0x00FF0000u) | (2u << 16)));
    for (const std::string& locator :
         {elsewhere, std::string("@0xa0010000"), std::string("@0x00000000"), std::string("@17")}) {
        SCOPED_TRACE(locator);
        EXPECT_FALSE(test::OpenRecord(test::BlockFileFormat(), blockFiles, locator)) << "no entry record lies there";
    }
    for (const std::string locator : {"sqldb0@999999", "sqldb0@-1", "sqldb9@1", "@1", "sqldb0@"}) {
        SCOPED_TRACE(locator);
        EXPECT_FALSE(test::OpenRecord(test::SqlFormat(), caches.SqlFolder(), locator));
    }
}

// Caches are often copied without their largest files. Headers over 4 KiB lie in data_3: without it, a body
// that is a movie (plain or gzip) still counts, with its address from the key. A body in a missing file leaves
// its entry out, and a data_1 cut anywhere costs the entries behind the cut and nothing else.
TEST(ChromiumBackends, BlockFilesMissingOrCutShortCostOnlyWhatLayInThem)
{
    const auto& caches = test::SharedChromiumCaches();
    const std::string& folder = caches.BlockFileFolder();
    const auto whole = test::ListBlockFileCache(folder);
    const std::string largeLocator = OnlyEntry(whole, Served("large.swf").address).locator;
    const auto largeOpened = test::OpenRecord(test::BlockFileFormat(), folder, largeLocator);
    ASSERT_TRUE(largeOpened);
    std::vector<std::string> leftOut{"data_3"};
    for (const std::string& name : FilesReadFrom(*largeOpened, folder)) {
        if (name.starts_with("f_"))
            leftOut.push_back(name);
    }
    ASSERT_EQ(leftOut.size(), 2u);

    TempFolder temp;
    const std::string copy = CopyOf(temp, folder, leftOut);
    const auto entries = test::ListBlockFileCache(copy);
    for (const auto& served : caches.Movies()) {
        SCOPED_TRACE(served.address);
        if (served.saveName == "large.swf") {
            const ListedEntry* large = AtLocator(entries, largeLocator);
            ASSERT_NE(large, nullptr);
            EXPECT_EQ(large->refused, cache::Refusal::MissingFile);
            continue;
        }
        const auto found = test::WithAddress(entries, served.address);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0]->headLost, served.saveName.starts_with("heavy"));
        EXPECT_EQ(found[0]->movie, served.movie);
    }

    const std::string data1 = test::ReadFile(folder + "data_1");
    for (std::size_t length = 0; length <= data1.size(); length += 256) {
        test::WriteFile(copy + "data_1", data1.substr(0, length));
        const auto cut = test::ListBlockFileCache(copy);
        for (const auto& entry : cut) {
            SCOPED_TRACE(std::to_string(length) + " " + entry.locator);
            const ListedEntry* before = AtLocator(whole, entry.locator);
            ASSERT_NE(before, nullptr) << "an entry the whole cache does not have";
            if (entry.refused)
                continue;
            EXPECT_EQ(entry.address, before->address);
            if (entry.movie) {
                EXPECT_EQ(entry.movie, before->movie);
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
    const std::string original = OnlyEntry(test::ListBlockFileCache(caches.BlockFileFolder()), plain.address).locator;
    const auto locator = cache::blockfile::ParseEntryLocator(original);
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
            if (entry.locator != original || entry.refused)
                continue;
            SCOPED_TRACE(at - record);
            EXPECT_GE(at - record, checked) << "a change the hashes cover went through";
            EXPECT_EQ(entry.address, plain.address);
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
    const std::string locator = OnlyEntry(entries, plain.address).locator;
    const std::string shardPath = copy + locator.substr(0, locator.find('@'));
    platform::SqliteDatabase writer(platform::SqliteFileUri(shardPath, ""), SQLITE_OPEN_READWRITE);
    platform::SqliteStatement(writer, "PRAGMA locking_mode = EXCLUSIVE").Step();
    platform::SqliteStatement(writer, "BEGIN EXCLUSIVE").Step();
    platform::SqliteStatement(writer, "UPDATE meta SET value = value WHERE key = 'version'").Step();

    auto opened = test::OpenRecord(test::SqlFormat(), copy, locator);
    ASSERT_TRUE(opened) << "refused while another connection holds the database: " << cache::RefusalText(opened.Why());
    std::string start;
    ASSERT_TRUE(opened->response.body->ReadStart(3, start));
    EXPECT_EQ(start, plain.movie.substr(0, 3));
    platform::SqliteStatement(writer, "COMMIT").Step();
    platform::SqliteStatement(writer, "BEGIN EXCLUSIVE").Step();
    platform::SqliteStatement(writer, "DELETE FROM resources WHERE res_id = -1").Step();
    EXPECT_NO_THROW(platform::SqliteStatement(writer, "COMMIT").Step()) << "the reader kept the writer waiting";
    EXPECT_EQ(test::StreamedMovie(std::move(opened->response), true), plain.movie);
}

// Changes to a copy of a shard as SQL makes them: each check Chromium makes turns the entry away, with its
// reason, when it is listed or when it is copied, and only schemas with checksums are read.
TEST(ChromiumBackends, SqliteRowsThatFailChromiumsChecksAreRefused)
{
    const auto& caches = test::SharedChromiumCaches();
    const auto& plain = Served("plain.swf");
    const std::string locator = OnlyEntry(test::ListSqlCache(caches.SqlFolder()), plain.address).locator;
    const std::string shard = locator.substr(0, locator.find('@'));
    const std::string id = locator.substr(locator.find('@') + 1);
    const struct {
        const char* what;
        std::string change;
        std::optional<cache::Refusal> refusal; // nothing: the plain movie comes out
        bool refusedWhenListed = true;         // else only the copy's check of the whole body finds it
        std::string notRead = {};              // what the listing says of the folder
    } cases[] = {
        {"a changed byte in the body",
         "UPDATE blobs SET blob = CAST(X'46575300' || substr(blob, 5) AS BLOB) WHERE res_id = " + id,
         cache::Refusal::Damaged, false},
        {"a changed byte in the head",
         "UPDATE resources SET head = CAST(substr(head, 1, 40) || X'00' || substr(head, 42) AS BLOB) "
         "WHERE res_id = "
             + id,
         cache::Refusal::Damaged},
        {"a changed key", "UPDATE resources SET cache_key = cache_key || 'x' WHERE res_id = " + id,
         cache::Refusal::Damaged},
        {"doomed", "UPDATE resources SET doomed = 1 WHERE res_id = " + id, cache::Refusal::Dropped},
        {"its last piece gone", "DELETE FROM blobs WHERE res_id = " + id, cache::Refusal::CutShort},
        {"a piece moved", "UPDATE blobs SET start = start + 1, end = end + 1 WHERE res_id = " + id,
         cache::Refusal::Damaged},
        {"a head never written", "UPDATE resources SET head = NULL WHERE res_id = " + id, cache::Refusal::CutShort},
        {"schema 6", "UPDATE meta SET value = 6 WHERE key IN ('version', 'last_compatible_version')",
         cache::Refusal::UnknownVersion, true, "shards of schema version 6"},
        {"schema 9 that 8 can read", "UPDATE meta SET value = 9 WHERE key = 'version'", std::nullopt},
        {"schema 9 that 8 cannot read", "UPDATE meta SET value = 9 WHERE key IN ('version', 'last_compatible_version')",
         cache::Refusal::UnknownVersion, true, "shards of schema version 9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder temp;
        const std::string copy = CopyOf(temp, caches.SqlFolder());
        {
            platform::SqliteDatabase database(platform::SqliteFileUri(copy + shard, ""), SQLITE_OPEN_READWRITE);
            platform::SqliteStatement(database, c.change).Step();
        }
        const auto listed = test::ListFolder(test::SqlFormat(), copy);
        const ListedEntry* entry = AtLocator(listed.entries, locator);
        EXPECT_EQ(listed.notRead, c.notRead.empty() ? std::vector<std::string>{} : std::vector{c.notRead});
        if (!c.notRead.empty()) {
            EXPECT_EQ(entry, nullptr) << "a shard of a schema not read is not listed";
        } else {
            ASSERT_NE(entry, nullptr);
            if (c.refusal && c.refusedWhenListed) {
                EXPECT_EQ(entry->refused, c.refusal);
            } else {
                EXPECT_EQ(entry->refused, std::nullopt);
            }
        }
        auto opened = test::OpenRecord(test::SqlFormat(), copy, locator);
        std::optional<cache::Refusal> why = opened ? std::nullopt : std::optional(opened.Why());
        std::optional<std::string> movie;
        if (opened)
            movie = test::StreamedMovie(std::move(opened->response), true, &why);
        EXPECT_EQ(why, c.refusal);
        EXPECT_EQ(movie, c.refusal ? std::nullopt : std::optional(plain.movie));
    }

    // A head of response info version 4, its checksum made again as Chromium makes it (the CRC-32 of the head,
    // then of the key hash the browser stored, in network order): read as a version this reader does not know.
    TempFolder temp;
    const std::string copy = CopyOf(temp, caches.SqlFolder());
    {
        platform::SqliteDatabase database(platform::SqliteFileUri(copy + shard, ""), SQLITE_OPEN_READWRITE);
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
    const auto listed = test::ListSqlCache(copy);
    const ListedEntry* entry = AtLocator(listed, locator);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->refused, cache::Refusal::UnknownVersion);
    const auto opened = test::OpenRecord(test::SqlFormat(), copy, locator);
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.Why(), cache::Refusal::UnknownVersion);
}

} // namespace
