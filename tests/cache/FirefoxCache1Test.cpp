// Firefox's first cache, read from real caches: ../shared/data/caches/firefox-cache1, whose inventory.tsv an
// independent reader made. No Debian browser writes this cache any more, so movies are placed into copies of
// the real caches by test::FirefoxCache1Writer, which follows the browser's own source.
#include "cache/formats/FirefoxCache1.h"
#include "cache/EntryMovie.h"
#include "support/Files.h"
#include "support/FirefoxCache1Writer.h"
#include "support/SharedData.h"
#include "support/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace {

using cache::FirefoxCache1;
using cache::FirefoxCache1Entry;
using cache::Refusal;
using Place = cache::Cache1Body::Place;

constexpr std::string_view kSet = "caches/firefox-cache1";
constexpr std::uint32_t kMaxBlockBody = 16 * 1024;

struct InventoryRow {
    std::string url, status, contentType, contentEncoding, storedLength, decodedLength, note;
};

std::vector<InventoryRow> ReadInventory(const std::string& path)
{
    std::ifstream in(path);
    std::vector<InventoryRow> rows;
    std::string line;
    std::getline(in, line); // the column names
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');)
            fields.push_back(cell);
        fields.resize(11);
        rows.push_back(InventoryRow{fields[2], fields[3], fields[4], fields[5], fields[6], fields[7], fields[10]});
    }
    return rows;
}

std::vector<FirefoxCache1Entry> EntriesOf(const FirefoxCache1& cache)
{
    std::vector<FirefoxCache1Entry> entries;
    cache.Enumerate([&](FirefoxCache1Entry entry) { entries.push_back(std::move(entry)); });
    return entries;
}

const FirefoxCache1Entry* ByAddress(const std::vector<FirefoxCache1Entry>& entries, std::string_view address)
{
    for (const FirefoxCache1Entry& entry : entries) {
        if (entry.address == address && entry.refusal != Refusal::Superseded)
            return &entry;
    }
    return nullptr;
}

std::optional<std::string> DecodedBody(const FirefoxCache1& cache, const FirefoxCache1Entry& entry)
{
    std::string body;
    const auto result = cache.StreamBody(entry, [&](std::string_view piece) {
        body.append(piece);
        return true;
    });
    if (result != cache::DecodeResult::Ok)
        return std::nullopt;
    return body;
}

// The movie the Local Files list would find in the entry, as it decides it for today's caches.
std::optional<cache::EntryMovie> MovieOf(const FirefoxCache1& cache, const FirefoxCache1Entry& entry)
{
    auto response = cache.ResponseOf(entry);
    if (!response || entry.refusal)
        return std::nullopt;
    auto movie = cache::FindEntryMovie(std::move(*response), nullptr, true);
    if (!movie)
        return std::nullopt;
    return std::move(*movie);
}

std::string CopiedMovie(const cache::EntryMovie& movie)
{
    std::string bytes;
    const auto result = cache::StreamEntryMovie(movie, [&](std::string_view piece) {
        bytes.append(piece);
        return true;
    });
    EXPECT_EQ(result, cache::BodyResult::Done);
    return bytes;
}

std::string Gzipped(const std::string& bytes)
{
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&stream, bytes.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// The elements of a real entry with the response head of a movie: the real request and the server's other
// headers kept, the status, type, length and coding of the movie.
test::Cache1Elements MovieElements(const test::Cache1Elements& real, std::size_t storedLength, std::string_view coding)
{
    test::Cache1Elements elements;
    for (const auto& [name, value] : real) {
        if (name != "response-head") {
            elements.emplace_back(name, value);
            continue;
        }
        std::string head = "HTTP/1.1 200 OK\r\n";
        std::stringstream lines(value);
        std::string statusLine;
        std::getline(lines, statusLine);
        for (std::string line; std::getline(lines, line);) {
            const std::string header = line.substr(0, line.find(':'));
            if (header == line || header == "Content-Type" || header == "Content-Length"
                || header == "Content-Encoding")
                continue;
            head += line + "\n";
        }
        head +=
            "Content-Type: application/x-shockwave-flash\r\nContent-Length: " + std::to_string(storedLength) + "\r\n";
        if (!coding.empty())
            head += "Content-Encoding: " + std::string(coding) + "\r\n";
        elements.emplace_back(name, head);
    }
    return elements;
}

// A scratch copy of one of the real caches.
struct CacheCopy {
    explicit CacheCopy(const std::string& source)
    {
        std::filesystem::copy(source, folder, std::filesystem::copy_options::recursive);
        for (const auto& item : std::filesystem::recursive_directory_iterator(folder))
            std::filesystem::permissions(item.path(), std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add);
    }
    test::TempFolder scratch;
    std::string folder = scratch / "Cache";
};

class FirefoxCache1Real : public testing::Test {
protected:
    void SetUp() override
    {
        const auto found = test::SharedDataFolder(kSet);
        if (!found)
            GTEST_SKIP() << test::MissingSharedData(kSet);
        m_set = *found;
    }
    std::string Source(std::string_view name) const { return m_set + "/" + std::string(name); }
    // A real movie of the set "swf" (movies of Ruffle's tests), by its path there.
    static std::string RealMovie(const std::string& swf, std::string_view relative)
    {
        return test::ReadFile(swf + "/" + std::string(relative));
    }

    std::string m_set;
};

TEST_F(FirefoxCache1Real, EveryEntryAgreesWithTheInventory)
{
    // The versions and map states, as the files' headers show them (see the set's SOURCES.md).
    const std::map<std::string, std::pair<std::uint32_t, bool>> sources = {{"kompozer-gecko1.8", {0x00010008, true}},
                                                                           {"dtformats", {0x00010013, false}},
                                                                           {"plaso-firefox3", {0x0001000B, false}}};
    for (const auto& [source, expected] : sources) {
        SCOPED_TRACE(source);
        const auto cache = FirefoxCache1::Open(Source(source) + "/Cache");
        ASSERT_TRUE(cache);
        EXPECT_EQ(cache->Version(), expected.first);
        EXPECT_EQ(cache->MapTrusted(), expected.second);
        const auto rows = ReadInventory(Source(source) + "/inventory.tsv");
        const auto entries = EntriesOf(*cache);
        // Two records of plaso's _CACHE_003_, checked by hand, that the inventory leaves out: at blocks 18 and
        // 20 (offsets 77824 and 86016, after the 4 KiB bitmap of a 1.11 block file), two blocks each, for
        // metadata of 4.2 KiB (the size CalculateFileIndex sends to the 4 KiB blocks).
        const std::set<std::string> beyondInventory = std::string_view(source) == "plaso-firefox3"
            ? std::set<std::string>{"HTTP:https://ssl.google-analytics.com/ga.js",
                                    "HTTP:https://www.google-analytics.com/plugins/ga/inpage_linkid.js"}
            : std::set<std::string>{};
        ASSERT_EQ(entries.size(), rows.size() + beyondInventory.size());
        for (const FirefoxCache1Entry& entry : entries) {
            if (beyondInventory.contains(entry.key)) {
                EXPECT_EQ(entry.container, "_CACHE_003_");
                EXPECT_EQ(entry.refusal, Refusal::BodyNotFound);
            }
        }
        for (const InventoryRow& row : rows) {
            SCOPED_TRACE(row.url);
            const auto found = std::find_if(entries.begin(), entries.end(),
                                            [&](const FirefoxCache1Entry& e) { return e.key == "HTTP:" + row.url; });
            ASSERT_NE(found, entries.end());
            const FirefoxCache1Entry& entry = *found;
            ASSERT_TRUE(entry.head);
            EXPECT_EQ(std::to_string(entry.head->status), row.status);
            EXPECT_EQ(entry.head->Value("Content-Type").value_or(""), row.contentType);
            EXPECT_EQ(entry.head->Value("Content-Encoding").value_or(""), row.contentEncoding);
            EXPECT_EQ(std::to_string(entry.body.length), row.storedLength);
            EXPECT_EQ(entry.inMap, row.note.find("not-in-map") == std::string::npos);
            // The inventory keeps the key's request part ("id=<post id>&uri="); the browser's
            // nsHttpChannel::GenerateCacheKey puts it before the address, which is what follows "uri=".
            const std::size_t uri = row.url.find("&uri=");
            EXPECT_EQ(entry.address, uri == std::string::npos ? row.url : row.url.substr(uri + 5));
            if (const std::size_t at = row.note.find("data@"); at != std::string::npos) {
                const std::string where = row.note.substr(at + 5, row.note.find_first_of("(;", at) - at - 5);
                if (where.starts_with("_CACHE_00"))
                    EXPECT_EQ(entry.body.blockFile, where[9] - '0');
                else
                    EXPECT_EQ(entry.body.separateFile, where);
            }
            if (!row.decodedLength.empty()) {
                EXPECT_FALSE(entry.refusal) << cache::RefusalText(*entry.refusal);
                const auto body = DecodedBody(*cache, entry);
                ASSERT_TRUE(body);
                EXPECT_EQ(std::to_string(body->size()), row.decodedLength);
            } else {
                // A crashed browser's map says nothing of bodies in the block files; a body over 16 KiB had a
                // file of its own, which this copy lacks.
                ASSERT_TRUE(entry.refusal);
                EXPECT_EQ(*entry.refusal,
                          entry.body.length > kMaxBlockBody ? Refusal::MissingFile : Refusal::BodyNotFound);
            }
            EXPECT_FALSE(MovieOf(*cache, entry));
        }
    }
}

TEST_F(FirefoxCache1Real, EveryEntryOpensAtItsRowPath)
{
    for (const char* source : {"kompozer-gecko1.8", "dtformats", "plaso-firefox3"}) {
        SCOPED_TRACE(source);
        const std::string folder = Source(source) + "/Cache";
        const auto cache = FirefoxCache1::Open(folder);
        ASSERT_TRUE(cache);
        const auto entries = EntriesOf(*cache);
        std::set<std::pair<std::string, std::uint32_t>> starts;
        for (const FirefoxCache1Entry& entry : entries)
            starts.emplace(entry.container, entry.block);
        for (const FirefoxCache1Entry& entry : entries) {
            const std::string path = cache->RowPath(entry);
            SCOPED_TRACE(path);
            const auto row = cache::ParseCache1RowPath(path);
            ASSERT_TRUE(row);
            EXPECT_EQ(row->folder, folder + "/");
            EXPECT_EQ(row->container, entry.container);
            EXPECT_EQ(row->block, entry.block);
            const auto again = cache->EntryAt(entry.container, entry.block);
            ASSERT_TRUE(again);
            EXPECT_EQ(again->key, entry.key);
            EXPECT_EQ(again->refusal, entry.refusal);
            EXPECT_EQ(again->body.place, entry.body.place);
            EXPECT_EQ(again->body.separateFile, entry.body.separateFile);
            const auto opened = cache::OpenCache1Row(path);
            EXPECT_EQ(static_cast<bool>(opened), !entry.refusal);
            if (entry.refusal) {
                EXPECT_EQ(opened.Why(), *entry.refusal);
            }
            // A block inside a record is no place an entry starts.
            if (!starts.contains({entry.container, entry.block + 1})) {
                EXPECT_FALSE(cache->EntryAt(entry.container, entry.block + 1));
            }
        }
    }
}

TEST_F(FirefoxCache1Real, MoviesPlacedUnderACleanMapAreListedAndCopied)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(swf, "swf");
    CacheCopy copy(Source("kompozer-gecko1.8") + "/Cache");
    auto writer = test::FirefoxCache1Writer::Open(copy.folder);
    const auto real = writer.RecordAt(1, 0);
    ASSERT_TRUE(real);
    const std::string small = RealMovie(swf, "010-mcl-target-jpg/test.swf");   // a CWS movie, in the block files
    const std::string medium = RealMovie(swf, "015-stylesheet-load/test.swf"); // served gzip-encoded
    const std::string large =
        RealMovie(swf, "045-zws-loadbytes-invalid-png/test.swf"); // a ZWS movie in a file of its own
    const std::string gzip = Gzipped(medium);
    writer.Add("HTTP:http://games.example/small.swf", MovieElements(real->elements, small.size(), ""), small);
    writer.Add("HTTP:http://games.example/medium", MovieElements(real->elements, gzip.size(), "gzip"), gzip);
    const auto placedLarge =
        writer.Add("HTTP:http://games.example/large.swf", MovieElements(real->elements, large.size(), ""), large);
    // A record over 16 KiB (a long certificate chain) goes to a file of its own, flat in the folder in 1.8.
    auto secure = MovieElements(real->elements, small.size(), "");
    secure.emplace_back("security-info", std::string(17 * 1024, 'A'));
    const auto placedSecure = writer.Add("HTTP:https://games.example/secure.swf", secure, small);
    ASSERT_FALSE(placedSecure.separateRecord.empty());
    const auto evicted =
        writer.Add("HTTP:http://games.example/evicted.swf", MovieElements(real->elements, small.size(), ""), small);
    writer.Evict(evicted); // its record stays in freed blocks
    writer.Write(true, false);
    EXPECT_FALSE(placedLarge.separateFile.empty());

    const auto cache = FirefoxCache1::Open(copy.folder);
    ASSERT_TRUE(cache);
    EXPECT_TRUE(cache->MapTrusted());
    const auto entries = EntriesOf(*cache);
    EXPECT_EQ(entries.size(), 12u);
    EXPECT_FALSE(ByAddress(entries, "http://games.example/evicted.swf"));
    EXPECT_EQ(ByAddress(entries, "https://games.example/secure.swf")->container, placedSecure.separateRecord);
    const std::map<std::string, std::string> movies = {{"http://games.example/small.swf", small},
                                                       {"http://games.example/medium", medium},
                                                       {"http://games.example/large.swf", large},
                                                       {"https://games.example/secure.swf", small}};
    for (const FirefoxCache1Entry& entry : entries) {
        SCOPED_TRACE(entry.address);
        const auto movie = MovieOf(*cache, entry);
        const auto expected = movies.find(entry.address);
        ASSERT_EQ(movie.has_value(), expected != movies.end());
        if (!movie)
            continue;
        EXPECT_TRUE(entry.inMap);
        EXPECT_EQ(movie->size, expected->second.size());
        EXPECT_EQ(CopiedMovie(*movie), expected->second);
        const auto opened = cache::OpenCache1Row(cache->RowPath(entry));
        ASSERT_TRUE(opened);
        const auto reopened = MovieOf(opened->cache, opened->entry);
        ASSERT_TRUE(reopened);
        EXPECT_EQ(CopiedMovie(*reopened), expected->second);
    }
    EXPECT_EQ(ByAddress(entries, "http://games.example/large.swf")->body.separateFile, placedLarge.separateFile);
}

TEST_F(FirefoxCache1Real, MoviesOfACrashedBrowserAreFoundByTheirRecords)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(swf, "swf");
    CacheCopy copy(Source("dtformats") + "/Cache");
    auto writer = test::FirefoxCache1Writer::Open(copy.folder);
    const auto real = writer.RecordAt(1, 8); // the Google search page, its body in a separate file
    ASSERT_TRUE(real);
    ASSERT_THAT(real->key, testing::StartsWith("HTTP:http://www.google.com/search"));
    const std::string small = RealMovie(swf, "010-mcl-target-jpg/test.swf");
    const std::string large = RealMovie(swf, "045-zws-loadbytes-invalid-png/test.swf");
    // Mapped at the last clean close; the browser started again, wrote the others and crashed.
    writer.Add("HTTP:http://games.example/mapped.swf", MovieElements(real->elements, small.size(), ""), small);
    const auto reused =
        writer.Add("HTTP:http://games.example/reused.swf", MovieElements(real->elements, small.size(), ""), small);
    writer.Write(true, true);
    const test::FirefoxCache1Writer::Options unmapped{false, 0, 1};
    writer.Add("HTTP:http://games.example/unmapped.swf", MovieElements(real->elements, small.size(), ""), small,
               unmapped);
    const auto placedLarge = writer.Add("HTTP:http://games.example/large.swf",
                                        MovieElements(real->elements, large.size(), ""), large, unmapped);
    // The body of "reused" let go, and its first blocks given to the record of a new entry.
    writer.Evict(reused);
    const auto taker = writer.Add("HTTP:http://games.example/taker.swf",
                                  MovieElements(real->elements, large.size(), ""), large, unmapped);
    ASSERT_EQ(taker.metaFile, reused.dataFile);
    ASSERT_EQ(taker.metaBlock, reused.dataBlock);
    auto secure = MovieElements(real->elements, large.size(), "");
    secure.emplace_back("security-info", std::string(17 * 1024, 'A'));
    const auto placedSecure = writer.Add("HTTP:https://games.example/secure.swf", secure, large, unmapped);
    writer.Write(false, true);

    const auto cache = FirefoxCache1::Open(copy.folder);
    ASSERT_TRUE(cache);
    EXPECT_FALSE(cache->MapTrusted());
    const auto entries = EntriesOf(*cache);
    EXPECT_EQ(entries.size(), 13u + 6u);
    const auto* found = ByAddress(entries, "http://games.example/mapped.swf");
    ASSERT_TRUE(found);
    EXPECT_TRUE(found->inMap); // the map's record of its body still fits
    ASSERT_TRUE(MovieOf(*cache, *found));
    EXPECT_EQ(CopiedMovie(*MovieOf(*cache, *found)), small);
    found = ByAddress(entries, "http://games.example/large.swf");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->body.separateFile, placedLarge.separateFile); // found by the key's hash
    ASSERT_TRUE(MovieOf(*cache, *found));
    EXPECT_EQ(CopiedMovie(*MovieOf(*cache, *found)), large);
    EXPECT_TRUE(MovieOf(*cache, *ByAddress(entries, "http://games.example/taker.swf")));
    // A record of its own file, in 1.19's subfolders, found by walking them; its body shares its generation.
    found = ByAddress(entries, "https://games.example/secure.swf");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->container, placedSecure.separateRecord);
    EXPECT_EQ(found->body.separateFile, placedSecure.separateFile);
    ASSERT_TRUE(MovieOf(*cache, *found));
    EXPECT_TRUE(cache::OpenCache1Row(cache->RowPath(*found)));
    // No record says where these small bodies lie any more.
    for (const char* address : {"http://games.example/unmapped.swf", "http://games.example/reused.swf"}) {
        found = ByAddress(entries, address);
        ASSERT_TRUE(found) << address;
        EXPECT_EQ(found->refusal, Refusal::BodyNotFound) << address;
        EXPECT_EQ(cache::OpenCache1Row(cache->RowPath(*found)).Why(), Refusal::BodyNotFound) << address;
    }
}

TEST_F(FirefoxCache1Real, DamageIsReportedPerEntry)
{
    const std::string source = Source("kompozer-gecko1.8") + "/Cache";
    const auto refusals = [](const std::string& folder) {
        std::map<std::string, std::optional<Refusal>> found;
        const auto cache = FirefoxCache1::Open(folder);
        EXPECT_TRUE(cache);
        if (cache) {
            for (const FirefoxCache1Entry& entry : EntriesOf(*cache))
                found[entry.container + "/" + entry.Locator()] = entry.refusal;
        }
        return found;
    };
    {
        // Every body of this cache lies in _CACHE_002_, which copies of caches often lack.
        CacheCopy copy(source);
        std::filesystem::remove(copy.folder + "/_CACHE_002_");
        const auto found = refusals(copy.folder);
        EXPECT_EQ(found.size(), 8u);
        for (const auto& [where, refusal] : found)
            EXPECT_EQ(refusal, Refusal::MissingFile) << where;
    }
    {
        CacheCopy copy(source);
        std::filesystem::resize_file(copy.folder + "/_CACHE_002_", 4096 + 8 * 1024);
        const auto found = refusals(copy.folder);
        std::size_t cut = 0;
        for (const auto& [where, refusal] : found)
            cut += refusal == Refusal::CutShort ? 1 : 0;
        EXPECT_GT(cut, 0u);
        EXPECT_LT(cut, found.size());
    }
    {
        // Map version 1.8 keeps its bitmaps in the writer's byte order, little-endian on a PC: the first byte
        // holds blocks 0 to 7. The browser reads no block its bitmap calls free.
        CacheCopy copy(source);
        std::string blocks = test::ReadFile(copy.folder + "/_CACHE_001_");
        blocks[0] = '\0';
        test::WriteFile(copy.folder + "/_CACHE_001_", blocks);
        const auto found = refusals(copy.folder);
        for (const auto& [where, refusal] : found) {
            const std::uint32_t block = static_cast<std::uint32_t>(std::stoul(where.substr(where.find('@') + 1)));
            EXPECT_EQ(refusal == Refusal::Damaged, block < 8) << where;
        }
    }
    {
        // A map the browser did not close is searched; its records still give the bodies where they fit.
        CacheCopy copy(source);
        std::string map = test::ReadFile(copy.folder + "/_CACHE_MAP_");
        map[15] = '\1';
        test::WriteFile(copy.folder + "/_CACHE_MAP_", map);
        const auto cache = FirefoxCache1::Open(copy.folder);
        ASSERT_TRUE(cache);
        EXPECT_FALSE(cache->MapTrusted());
        const auto entries = EntriesOf(*cache);
        EXPECT_EQ(entries.size(), 8u);
        for (const FirefoxCache1Entry& entry : entries) {
            EXPECT_FALSE(entry.refusal) << entry.address;
            EXPECT_TRUE(entry.inMap) << entry.address;
        }
    }
    {
        CacheCopy copy(source);
        std::filesystem::remove(copy.folder + "/_CACHE_MAP_");
        const auto cache = FirefoxCache1::Open(copy.folder);
        ASSERT_TRUE(cache);
        EXPECT_EQ(cache->Version(), 0x00010008u); // told by the records
        const auto entries = EntriesOf(*cache);
        EXPECT_EQ(entries.size(), 8u);
        for (const FirefoxCache1Entry& entry : entries)
            EXPECT_EQ(entry.refusal, Refusal::BodyNotFound) << entry.address;
    }
    {
        CacheCopy copy(source);
        std::string map = test::ReadFile(copy.folder + "/_CACHE_MAP_");
        map[1] = '\2'; // version 2.8
        test::WriteFile(copy.folder + "/_CACHE_MAP_", map);
        const auto cache = FirefoxCache1::Open(copy.folder);
        ASSERT_TRUE(cache);
        EXPECT_EQ(cache->FolderRefusal(), Refusal::UnknownVersion);
        EXPECT_TRUE(EntriesOf(*cache).empty());
    }
}

TEST_F(FirefoxCache1Real, TheLaterOfTwoRecordsOfAKeyWins)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(swf, "swf");
    CacheCopy copy(Source("dtformats") + "/Cache");
    auto writer = test::FirefoxCache1Writer::Open(copy.folder);
    const auto real = writer.RecordAt(1, 8);
    ASSERT_TRUE(real);
    const std::string large = RealMovie(swf, "045-zws-loadbytes-invalid-png/test.swf");
    const std::string other = RealMovie(swf, "058-font-registerfont/font.swf");
    const std::string key = "HTTP:http://games.example/twice.swf";
    writer.Add(key, MovieElements(real->elements, large.size(), ""), large, {false, 1337000000, 1});
    writer.Add(key, MovieElements(real->elements, other.size(), ""), other, {false, 1337000500, 2});
    writer.Write(false, true);

    const auto cache = FirefoxCache1::Open(copy.folder);
    ASSERT_TRUE(cache);
    std::vector<FirefoxCache1Entry> copies;
    for (FirefoxCache1Entry& entry : EntriesOf(*cache)) {
        if (entry.key == key)
            copies.push_back(std::move(entry));
    }
    ASSERT_EQ(copies.size(), 2u);
    const auto later = copies[0].lastFetched > copies[1].lastFetched ? 0 : 1;
    EXPECT_EQ(copies[1 - later].refusal, Refusal::Superseded);
    EXPECT_FALSE(copies[later].refusal);
    // Both bodies were written under the same hash: generations 1 and 2 tell them apart by their lengths.
    const auto movie = MovieOf(*cache, copies[later]);
    ASSERT_TRUE(movie);
    EXPECT_EQ(CopiedMovie(*movie), other);
}

} // namespace
