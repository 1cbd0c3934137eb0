// The stored-response readers against caches that real browsers wrote on other people's machines
// (../shared/data/caches, described by its SOURCES.md): every entry is read as an independent reader's
// inventory of the set says, refused for the reason the entry gives, and none is listed as a movie.
#include "cache/CacheWalk.h"
#include "cache/EntryMovie.h"
#include "cache/MovieRowList.h"
#include "cache/RowPath.h"
#include "cache/StoreReading.h"
#include "support/Files.h"
#include "support/SharedData.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;

struct InventoryRow {
    std::string file, url, status, storedLength, note;
};

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t'))
        fields.push_back(field);
    if (!line.empty() && line.back() == '\t')
        fields.emplace_back();
    return fields;
}

std::vector<InventoryRow> Inventory(const std::string& set)
{
    std::vector<InventoryRow> rows;
    std::istringstream in(test::ReadFile(set + "/inventory.tsv"));
    std::string line;
    std::getline(in, line); // the column names
    while (std::getline(in, line)) {
        auto fields = Fields(line);
        fields.resize(11);
        rows.push_back({fields[1], fields[2], fields[3], fields[6], fields[10]});
    }
    return rows;
}

// Addresses as the inventory writes them: control bytes as "\xNN".
std::string AsInventoryWrites(std::string_view address)
{
    std::string text;
    for (const char c : address) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < ' ' || byte == 0x7f) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            text += escaped;
        } else {
            text += c;
        }
    }
    return text;
}

// The inventory writes Chromium's keys of POST requests as they are, "<upload id>/<url>"; their address is the URL
// after the id (HttpCache::GetResourceURLFromHttpCacheKey).
std::string AddressOfInventoryKey(std::string url)
{
    const std::size_t slash = url.find('/');
    if (slash != std::string::npos && slash > 0 && url.find_first_not_of("0123456789") == slash)
        url.erase(0, slash + 1);
    return url;
}

bool NoteSays(const InventoryRow& row, std::string_view word)
{
    return (";" + row.note + ";").find(";" + std::string(word)) != std::string::npos;
}

std::vector<std::string> SetsOf(const std::string& formatFolder)
{
    std::vector<std::string> sets;
    for (const auto& entry : fs::directory_iterator(formatFolder)) {
        if (entry.is_directory())
            sets.push_back(entry.path().string());
    }
    std::sort(sets.begin(), sets.end());
    return sets;
}

// Reads each entry file of every set that the table calls an entry, holds the reading to the inventory, and
// counts the reasons of the refusals in `reasons` and the responses read in `responses`.
void CheckSets(const std::string& formatFolder, std::map<cache::Refusal, std::size_t>& reasons, std::size_t& responses)
{
    for (const std::string& set : SetsOf(formatFolder)) {
        SCOPED_TRACE(set);
        std::vector<cache::FoundStore> stores;
        cache::MovieRowList plain;
        cache::WalkFolders(set + "/", plain, stores);
        std::size_t rows = 0;
        cache::ReadStores(stores, std::atomic<bool>{false}, [&](cache::StoreFinding) { ++rows; });
        EXPECT_EQ(rows, 0u) << "none of these entries is a movie";

        std::size_t read = 0;
        for (const InventoryRow& row : Inventory(set)) {
            const std::string path = set + "/" + row.file;
            SCOPED_TRACE(row.file);
            const cache::RowTarget target = cache::ResolveRowPath(path);
            if (target.kind != cache::RowTarget::Kind::EntryFile)
                continue; // Firefox's doomed entries lie outside the entries folder
            // The walk found the folder the entry lies in.
            const std::string folder = path.substr(0, path.rfind('/') + 1);
            EXPECT_TRUE(
                std::any_of(stores.begin(), stores.end(), [&](const auto& store) { return store.path == folder; }));
            ++read;
            const auto file = cache::EntryFile::Open(path);
            ASSERT_TRUE(file);
            const auto* format = std::get<const cache::EntryFilesFormat*>(target.format);
            auto response = format->ReadEntry(*file);
            if (NoteSays(row, "no-response-head") || NoteSays(row, "not-an-http-entry")) {
                ASSERT_FALSE(response) << "read as a response from " << response->address;
                EXPECT_EQ(response.Why(), cache::Refusal::NotAResponse) << cache::RefusalText(response.Why());
                ++reasons[response.Why()];
                continue;
            }
            if (NoteSays(row, "hdr20")) {
                // 32-bit builds wrote 20-byte headers and end records, a form this reader does not take.
                ASSERT_FALSE(response);
                EXPECT_EQ(response.Why(), cache::Refusal::UnknownVersion) << cache::RefusalText(response.Why());
                ++reasons[response.Why()];
                continue;
            }
            ASSERT_TRUE(response) << cache::RefusalText(response.Why());
            ++responses;
            EXPECT_EQ(AsInventoryWrites(response->address), AddressOfInventoryKey(row.url));
            EXPECT_EQ(std::to_string(response->head.status), row.status);
            ASSERT_TRUE(response->body->Length());
            EXPECT_EQ(std::to_string(*response->body->Length()), row.storedLength);
            const int status = response->head.status;
            const auto movie = cache::FindEntryMovie(std::move(*response), nullptr, true);
            ASSERT_FALSE(movie);
            ++reasons[movie.Why()];
            // Their codings all decode and their checksums match; some bodies are shorter than the length the
            // server declared (a transfer the browser broke off).
            if (status != 200) {
                EXPECT_EQ(movie.Why(), cache::Refusal::NotAMovie);
            } else {
                EXPECT_TRUE(movie.Why() == cache::Refusal::NotAMovie || movie.Why() == cache::Refusal::CutShort)
                    << cache::RefusalText(movie.Why());
            }
        }
        EXPECT_GT(read, 0u) << "no entry of the set was read";
    }
}

void PrintReasons(const std::map<cache::Refusal, std::size_t>& reasons)
{
    for (const auto& [why, count] : reasons)
        std::printf("[   INFO   ] %zu %s\n", count, std::string(cache::RefusalText(why)).c_str());
}

TEST(RealCacheSets, FirefoxCache2EntriesAreReadAsTheInventorySaysAndNoneIsAMovie)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(folder, "caches/firefox-cache2");
    std::map<cache::Refusal, std::size_t> reasons;
    std::size_t responses = 0;
    CheckSets(folder, reasons, responses);
    PrintReasons(reasons);
}

TEST(RealCacheSets, ChromiumSimpleCacheEntriesAreReadAsTheInventorySaysAndNoneIsAMovie)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(folder, "caches/chromium-simple");
    std::map<cache::Refusal, std::size_t> reasons;
    std::size_t responses = 0;
    CheckSets(folder, reasons, responses);
    PrintReasons(reasons);
    EXPECT_GT(responses, 300u) << "most of the sets' entries are HTTP responses";
}

} // namespace
