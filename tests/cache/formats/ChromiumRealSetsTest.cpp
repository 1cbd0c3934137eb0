// The Chromium readers on real caches from other people's machines (../shared/data/caches): every entry read
// without a crash and as an independent record of it says: the inventory an independent reader made, or the
// application cache's own Index.
#include "cache/CacheEntry.h"
#include "cache/EntryMovie.h"
#include "cache/MovieSaveName.h"
#include "cache/formats/ListedEntries.h"
#include "platform/SqliteDatabase.h"
#include "support/Files.h"
#include "support/SharedData.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// inventory.tsv: a header row naming the columns, then one row per entry.
std::vector<std::map<std::string, std::string>> Inventory(const std::string& path)
{
    std::istringstream text(test::ReadFile(path));
    const auto fields = [](const std::string& line) {
        std::vector<std::string> out;
        std::istringstream row(line);
        for (std::string field; std::getline(row, field, '\t');)
            out.push_back(field);
        if (!line.empty() && line.back() == '\t')
            out.emplace_back();
        return out;
    };
    std::string line;
    std::getline(text, line);
    const auto names = fields(line);
    std::vector<std::map<std::string, std::string>> rows;
    while (std::getline(text, line)) {
        const auto values = fields(line);
        auto& row = rows.emplace_back();
        for (std::size_t i = 0; i < names.size(); ++i)
            row[names[i]] = i < values.size() ? values[i] : "";
    }
    return rows;
}

// The inventory reads a key from its record's first block alone: a key that runs on into the next blocks
// (Chromium reads all key_len bytes of it, EntryImpl::GetKey) comes out cut at 160 bytes.
const test::ListedEntry* EntryOfRow(const std::vector<test::ListedEntry>& entries, const std::string& url)
{
    const auto exact = test::WithAddress(entries, url);
    if (exact.size() == 1)
        return exact[0];
    const test::ListedEntry* longer = nullptr;
    for (const auto& entry : entries) {
        const std::string& address = entry.stored.entry.address;
        if (url.size() == 160 && address.size() > url.size() && address.starts_with(url)) {
            EXPECT_EQ(longer, nullptr) << "two entries continue " << url;
            longer = &entry;
        }
    }
    return longer;
}

TEST(ChromiumRealSets, TheBlockFileCacheReadsAsItsInventorySays)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(sets, "caches/chromium-blockfile");
    for (const auto& set : fs::directory_iterator(sets)) {
        SCOPED_TRACE(set.path().filename().string());
        const auto rows = Inventory(set.path() / "inventory.tsv");
        const auto entries = test::ListBlockFileCache(set.path() / "Cache/");
        ASSERT_EQ(entries.size(), rows.size());
        for (const auto& row : rows) {
            SCOPED_TRACE(row.at("url"));
            const test::ListedEntry* entry = EntryOfRow(entries, row.at("url"));
            ASSERT_NE(entry, nullptr);
            const cache::StoredEntry& stored = entry->stored;
            const std::string& note = row.at("note");
            EXPECT_EQ(stored.headLost, note.find("headers:missing") != std::string::npos);
            if (!stored.headLost) {
                EXPECT_EQ(std::to_string(stored.entry.head.status), row.at("status"));
                EXPECT_EQ(stored.entry.head.Value("Content-Encoding").value_or(""), row.at("content_encoding"));
            }
            EXPECT_EQ(std::to_string(stored.entry.bodyLength), row.at("stored_len"));
            const std::size_t body = note.find("body@");
            if (body != std::string::npos) {
                const std::string where = note.substr(body + 5, note.find(';', body) - body - 5);
                if (where.starts_with("missing"))
                    EXPECT_EQ(stored.refusal, cache::EntryRefusal::MissingFile);
                else
                    EXPECT_EQ(stored.bodyFile, where);
            }
            EXPECT_EQ(entry->movie, std::nullopt);
        }
    }
}

// The Simple Cache reader shares the response info and the key's address with the block-file reader: where it
// reads an entry, the inventory agrees, but for keys of POST requests ("<upload id>/<url>"), whose address is
// the URL after the id (HttpCache::GetResourceURLFromHttpCacheKey).
TEST(ChromiumRealSets, TheSimpleCacheReadsAsItsInventorySays)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(sets, "caches/chromium-simple");
    std::size_t read = 0;
    for (const auto& set : fs::directory_iterator(sets)) {
        SCOPED_TRACE(set.path().filename().string());
        for (const auto& row : Inventory(set.path() / "inventory.tsv")) {
            SCOPED_TRACE(row.at("file"));
            const auto file = cache::EntryFile::Open(set.path() / row.at("file"));
            ASSERT_TRUE(file);
            const auto entry = cache::ReadChromiumEntry(*file);
            if (!entry)
                continue;
            ++read;
            std::string url = row.at("url");
            const std::size_t slash = url.find('/');
            if (slash != std::string::npos && slash > 0 && url.find_first_not_of("0123456789") == slash)
                url.erase(0, slash + 1);
            EXPECT_EQ(entry->address, url);
            EXPECT_EQ(std::to_string(entry->head.status), row.at("status"));
            EXPECT_EQ(std::to_string(entry->bodyLength), row.at("stored_len"));
            EXPECT_EQ(cache::FindEntryMovie(*file, *entry, nullptr, true), std::nullopt);
        }
    }
    EXPECT_GT(read, 300u);
}

// A real application cache: each block-file entry takes its address from the Index, which lists exactly
// those; the entries are usable or lost with data_3 and the large files the copy left out; two of them are
// the same real movie from two hosts.
TEST(ChromiumRealSets, TheApplicationCacheTakesItsAddressesFromItsIndex)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(sets, "caches/chromium-appcache");
    const std::string folder = sets + "/aibirds-chrome-angrybirds/Application Cache/";
    std::vector<std::string> indexed;
    {
        platform::SqliteDatabase index(platform::SqliteFileUri(folder + "Index", "mode=ro&immutable=1"),
                                       SQLITE_OPEN_READONLY);
        platform::SqliteStatement urls(index, "SELECT url FROM Entries");
        while (urls.Step())
            indexed.push_back(urls.Text(0));
    }
    std::sort(indexed.begin(), indexed.end());

    cache::CacheRefusal refusal{};
    const auto entries = test::ListBlockFileCache(folder + "Cache/", &refusal);
    EXPECT_EQ(refusal, cache::CacheRefusal::None);
    std::vector<std::string> addresses;
    std::vector<const test::ListedEntry*> movies;
    for (const auto& entry : entries) {
        addresses.push_back(entry.stored.entry.address);
        EXPECT_TRUE(entry.stored.refusal == cache::EntryRefusal::None
                    || entry.stored.refusal == cache::EntryRefusal::MissingFile)
            << entry.stored.locator << ": " << cache::RefusalText(entry.stored.refusal);
        if (entry.movie)
            movies.push_back(&entry);
    }
    std::sort(addresses.begin(), addresses.end());
    EXPECT_EQ(addresses, indexed);

    ASSERT_EQ(movies.size(), 2u);
    for (const auto* movie : movies) {
        EXPECT_TRUE(movie->stored.entry.address.ends_with("/fowl/gwt-voices.swf"));
        EXPECT_EQ(cache::MovieSaveName(movie->stored.entry.head, movie->stored.entry.address), "gwt-voices.swf");
    }
    EXPECT_EQ(movies[0]->movie, movies[1]->movie);
    // A zlib-compressed movie: its header's length is the length its body inflates to.
    const std::string& bytes = *movies[0]->movie;
    ASSERT_TRUE(bytes.starts_with("CWS"));
    std::string inflated(cache::LittleEndian32(bytes, 4) - 8, '\0');
    uLongf length = static_cast<uLongf>(inflated.size());
    ASSERT_EQ(::uncompress(reinterpret_cast<Bytef*>(inflated.data()), &length,
                           reinterpret_cast<const Bytef*>(bytes.data() + 8), static_cast<uLong>(bytes.size() - 8)),
              Z_OK);
    EXPECT_EQ(length, inflated.size());
}

} // namespace
