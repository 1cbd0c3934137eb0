// Chromium's block-file cache on real caches from other people's machines (../shared/data/caches): every entry
// read without a crash and as the inventory an independent reader made of it says. (The application cache has
// a binary of its own: its set may be absent where this one is not.)
#include "cache/EntryMovie.h"
#include "cache/formats/ListedEntries.h"
#include "support/Files.h"
#include "support/SharedData.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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

} // namespace
