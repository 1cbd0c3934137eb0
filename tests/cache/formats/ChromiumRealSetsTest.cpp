// The Chromium formats on real caches from other people's machines (../shared/data/caches): every entry read
// without a crash and as an independent record of it says: the inventory an independent reader made, or the
// application cache's own Index.
#include "cache/EntryMovie.h"
#include "cache/MovieSaveName.h"
#include "cache/formats/ListedEntries.h"
#include "platform/SqliteDatabase.h"
#include "support/Files.h"
#include "support/SharedData.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
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
        if (!entry.refused && url.size() == 160 && entry.address.size() > url.size()
            && entry.address.starts_with(url)) {
            EXPECT_EQ(longer, nullptr) << "two entries continue " << url;
            longer = &entry;
        }
    }
    return longer;
}

// Whether the opened record reads from the file `name` of `folder`.
bool ReadsFrom(const cache::OpenedResponse& opened, const std::string& folder, const std::string& name)
{
    struct stat info {};
    return ::stat((folder + name).c_str(), &info) == 0
        && std::find(opened.files.begin(), opened.files.end(), cache::FileIdentity{info.st_dev, info.st_ino})
        != opened.files.end();
}

// Every record of the set is listed: those whose body lay in the missing data_3 refused for it, all others as
// responses with the inventory's address, status, coding, stored length and body file; none is a movie.
TEST(ChromiumRealSets, TheBlockFileCacheReadsAsItsInventorySays)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(sets, "caches/chromium-blockfile");
    for (const auto& set : fs::directory_iterator(sets)) {
        SCOPED_TRACE(set.path().filename().string());
        const std::string folder = set.path() / "Cache/";
        const auto rows = Inventory(set.path() / "inventory.tsv");
        const auto entries = test::ListBlockFileCache(folder);
        ASSERT_EQ(entries.size(), rows.size());
        std::size_t missingBodies = 0;
        for (const auto& row : rows) {
            SCOPED_TRACE(row.at("url"));
            const std::string& note = row.at("note");
            const std::size_t body = note.find("body@");
            const std::string where =
                body == std::string::npos ? "" : note.substr(body + 5, note.find(';', body) - body - 5);
            if (where.starts_with("missing")) {
                ++missingBodies;
                EXPECT_EQ(EntryOfRow(entries, row.at("url")), nullptr) << "a body in a missing file";
                continue;
            }
            const test::ListedEntry* entry = EntryOfRow(entries, row.at("url"));
            ASSERT_NE(entry, nullptr);
            EXPECT_EQ(entry->headLost, note.find("headers:missing") != std::string::npos);
            if (!entry->headLost) {
                EXPECT_EQ(std::to_string(entry->head.status), row.at("status"));
                EXPECT_EQ(entry->head.Value("Content-Encoding").value_or(""), row.at("content_encoding"));
            }
            EXPECT_EQ(entry->storedLength, std::stoull(row.at("stored_len")));
            EXPECT_EQ(entry->movie, std::nullopt);
            if (!where.empty()) {
                const auto opened = test::OpenRecord(test::BlockFileFormat(), folder, entry->locator);
                ASSERT_TRUE(opened) << cache::RefusalText(opened.Why());
                EXPECT_TRUE(ReadsFrom(*opened, folder, where)) << "its body lies in " << where;
            }
        }
        EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                                [](const auto& entry) { return entry.refused == cache::Refusal::MissingFile; }),
                  static_cast<std::ptrdiff_t>(missingBodies));
        EXPECT_GT(missingBodies, 0u);
    }
}

// A real application cache: each block-file entry takes its address from the Index, which lists exactly
// those; the entries are responses or lost with data_3 and the large files the copy left out; two of them are
// the same real movie from two hosts, listed as rows of the walk and read back through their paths.
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

    const auto listed = test::ListFolder(test::BlockFileFormat(), folder + "Cache/");
    EXPECT_TRUE(listed.notRead.empty());
    std::vector<std::string> addresses;
    std::vector<const test::ListedEntry*> movies;
    std::size_t lost = 0;
    for (const auto& entry : listed.entries) {
        if (entry.refused) {
            EXPECT_EQ(entry.refused, cache::Refusal::MissingFile)
                << entry.locator << ": " << cache::RefusalText(*entry.refused);
            ++lost;
            continue;
        }
        addresses.push_back(entry.address);
        if (entry.movie)
            movies.push_back(&entry);
    }
    // The lost entries' addresses are in the Index, but no longer in the cache's own bytes.
    EXPECT_EQ(addresses.size() + lost, indexed.size());
    std::sort(addresses.begin(), addresses.end());
    EXPECT_TRUE(std::includes(indexed.begin(), indexed.end(), addresses.begin(), addresses.end()));

    ASSERT_EQ(movies.size(), 2u);
    for (const auto* movie : movies) {
        EXPECT_TRUE(movie->address.ends_with("/fowl/gwt-voices.swf"));
        EXPECT_EQ(cache::MovieSaveName(movie->head, movie->address), "gwt-voices.swf");
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
