// A real application cache from another person's machine (../shared/data/caches/chromium-appcache), read
// through the block-file row and checked against the cache's own Index.
#include "cache/MovieSaveName.h"
#include "cache/formats/ListedEntries.h"
#include "platform/SqliteDatabase.h"
#include "support/SharedData.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>

namespace {

// A real application cache: each block-file entry takes its address from the Index, which lists exactly
// those; the entries are responses or lost with data_3 and the large files the copy left out; two of them are
// the same real movie from two hosts, listed as rows of the walk and read back through their paths.
TEST(ChromiumAppCacheRealSet, TheApplicationCacheTakesItsAddressesFromItsIndex)
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
