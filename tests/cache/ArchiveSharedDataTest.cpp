// The third-party web archives of ../shared/data/archives (20 writers, WARC/0.17 to 1.1, ARC): every file
// read to its end in little memory; its records where the inventory beside it, made by an independent
// reader, lists them; its movies exactly those of the inventory's movie column, the 2008 Heritrix crawl's
// eight with the payload digests Heritrix wrote and the digests coreutils give for the bytes read back.
#include "cache/formats/ArchiveMovies.h"
#include "support/ArchiveWriters.h"
#include "support/Files.h"
#include "support/PeakHeap.h"
#include "support/SharedData.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using cache::RecordPosition;

struct Listed {
    RecordPosition position;
    std::string type, uri;
    friend bool operator==(const Listed&, const Listed&) = default;
};

struct InventoryRecord {
    Listed listed;
    bool movie = false;
    bool encoded = false;
    std::uint64_t payloadLength = 0;
};

std::string Trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// "u123" (a plain file), "123" (a member), "123+u45" (inside a member).
RecordPosition InventoryOffset(const std::string& text)
{
    if (text.starts_with('u'))
        return {std::stoull(text.substr(1)), 0};
    const std::size_t plus = text.find("+u");
    if (plus == std::string::npos)
        return {std::stoull(text), 0};
    return {std::stoull(text.substr(0, plus)), std::stoull(text.substr(plus + 2))};
}

// Each archive file of the tree, with the records its folder's inventory.tsv lists for it.
std::map<std::string, std::vector<InventoryRecord>> ReadInventories(const std::string& root)
{
    std::map<std::string, std::vector<InventoryRecord>> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().filename() != "inventory.tsv")
            continue;
        std::istringstream lines(test::ReadFile(entry.path()));
        for (std::string line; std::getline(lines, line);) {
            std::vector<std::string> column;
            std::istringstream fields(line);
            for (std::string field; std::getline(fields, field, '\t');)
                column.push_back(field);
            column.resize(14);
            if (line.starts_with("#") || column[0] == "file") {
                if (column[1].starts_with("format="))
                    files[entry.path().parent_path() / column[0].substr(2)];
                continue;
            }
            InventoryRecord record{{InventoryOffset(column[2]), Trimmed(column[4]), Trimmed(column[5])}};
            record.movie =
                !column[11].empty() && (record.listed.type == "response" || record.listed.type == "resource");
            record.encoded = !column[8].empty() || !column[9].empty();
            record.payloadLength = std::stoull(column[10].empty() ? "0" : column[10]);
            files[entry.path().parent_path() / column[0]].push_back(record);
        }
    }
    return files;
}

class SharedArchives : public testing::Test {
protected:
    void SetUp() override
    {
        PLUMEROC_SHARED_DATA_OR_SKIP(root, "archives/warc");
        m_files = ReadInventories(root);
        // The set as its SOURCES.md describes it: more than a hundred files.
        ASSERT_GT(m_files.size(), 100u);
    }

    std::map<std::string, std::vector<InventoryRecord>> m_files;
};

TEST_F(SharedArchives, EveryRecordIsWhereTheInventoryListsItAndMemoryStaysSmall)
{
    for (const auto& [file, inventory] : m_files) {
        SCOPED_TRACE(file);
        std::vector<Listed> expected;
        for (const auto& record : inventory)
            expected.push_back(record.listed);
        const std::size_t before = test::HeapInUse();
        test::ResetPeakHeap();
        std::vector<Listed> found;
        {
            auto input = cache::ArchiveInput::Open(file);
            ASSERT_TRUE(input);
            cache::ArchiveReader reader(*input);
            while (const auto record = reader.Next()) {
                found.push_back({record->position, record->header.type, record->header.targetUri});
                reader.ReadBlock(nullptr);
            }
        }
        EXPECT_EQ(found, expected);
        EXPECT_LT(test::PeakHeap() - before, std::size_t{2} << 20);
    }
}

TEST_F(SharedArchives, MoviesAreThoseOfTheMovieColumnWithTheDigestsTheirWriterGave)
{
    std::size_t heritrixMovies = 0;
    for (const auto& [file, inventory] : m_files) {
        SCOPED_TRACE(file);
        std::vector<cache::ArchiveMovie> movies;
        cache::ArchiveMovieScan scan;
        auto input = cache::ArchiveInput::Open(file);
        ASSERT_TRUE(input);
        scan.Scan(*input, file, [&](const cache::ArchiveMovie& movie) {
            movies.push_back(movie);
            return true;
        });
        std::vector<Listed> expected, found;
        for (const auto& record : inventory)
            if (record.movie)
                expected.push_back(record.listed);
        for (const auto& movie : movies)
            found.push_back({movie.position, movie.type, movie.address});
        EXPECT_EQ(found, expected);

        for (const auto& movie : movies) {
            std::string bytes;
            const auto read = cache::StreamArchiveMovie(file, movie.position, [&](std::string_view piece) {
                bytes.append(piece);
                return true;
            });
            ASSERT_EQ(read, cache::ArchiveMovieRead::Done);
            EXPECT_EQ(bytes.size(), movie.size);
            EXPECT_EQ(test::DigestsByTools(bytes).sha1, movie.digests.sha1);
            for (const auto& record : inventory) {
                if (record.listed.position == movie.position && !record.encoded) {
                    EXPECT_EQ(movie.size, record.payloadLength);
                }
            }
            // The payload digest Heritrix wrote for each record.
            auto again = cache::ArchiveInput::Open(file);
            ASSERT_TRUE(again && again->Seek(movie.position));
            cache::ArchiveReader reader(*again);
            const auto record = reader.Next();
            ASSERT_TRUE(record);
            EXPECT_EQ(record->header.Field("WARC-Payload-Digest").value_or(""), "sha1:" + movie.digests.sha1);
            if (file.ends_with("IAH-20080430204825-00000-blackbook.warc.gz") && bytes.starts_with("CWS"))
                ++heritrixMovies;
        }
    }
    EXPECT_EQ(heritrixMovies, 8u);
}

} // namespace
