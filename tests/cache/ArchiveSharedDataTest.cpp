// The third-party web archives of ../shared/data/archives (20 writers, WARC/0.17 to 1.1, ARC): every file
// read to its end in little memory; its records where the inventory beside it, made by an independent
// reader, lists them; its movies exactly those of the inventory's movie column, each read back from its place
// with the payload digest its writer gave it (the 2008 Heritrix crawl's eight); and the same movies as the
// rows of the Local Files list over the set, each saved as the inventory describes it.
#include "cache/ArchiveMovies.h"
#include "cache/ListedMovieCopy.h"
#include "cache/LocalListing.h"
#include "support/Files.h"
#include "support/PeakHeap.h"
#include "support/SharedData.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;

std::string Trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A record as the inventories write it: "offset TAB type TAB target", the offset "u123" in a plain file,
// "123" for a gzip member, "123+u45" inside one.
std::string Row(const cache::ArchiveInput& input, const cache::RecordPosition& at, const std::string& type,
                const std::string& uri)
{
    std::string offset = input.Compressed() ? std::to_string(at.offset) : "u" + std::to_string(at.offset);
    if (at.inside != 0)
        offset += "+u" + std::to_string(at.inside);
    return offset + '\t' + type + '\t' + uri;
}

struct Inventory {
    std::vector<std::string> records, movies;
    std::vector<std::vector<std::string>> movieColumns; // the inventory's columns of each movie
};

// Each archive file below `root`, with the records and movies its folder's inventory.tsv lists for it.
std::map<std::string, Inventory> ReadInventories(const std::string& root)
{
    std::map<std::string, Inventory> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().filename() != "inventory.tsv")
            continue;
        std::istringstream lines(test::ReadFile(entry.path()));
        for (std::string line; std::getline(lines, line);) {
            std::vector<std::string> column;
            std::istringstream fields(line);
            for (std::string field; std::getline(fields, field, '\t');)
                column.push_back(Trimmed(field));
            column.resize(14);
            if (column[1].starts_with("format=")) // "# FILE TAB format=...", also for a file of no record
                files[entry.path().parent_path() / column[0].substr(2)];
            if (line.starts_with("#") || column[0] == "file")
                continue;
            Inventory& inventory = files[entry.path().parent_path() / column[0]];
            const std::string row = column[2] + '\t' + column[4] + '\t' + column[5];
            inventory.records.push_back(row);
            if (!column[11].empty() && (column[4] == "response" || column[4] == "resource")) {
                inventory.movies.push_back(row);
                inventory.movieColumns.push_back(column);
            }
        }
    }
    return files;
}

TEST(SharedArchives, RecordsAndMoviesAreThoseTheInventoriesListInLittleMemory)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(root, "archives/warc");
    const auto files = ReadInventories(root);
    ASSERT_GT(files.size(), 100u); // the set as its SOURCES.md describes it
    std::size_t heritrixMovies = 0;
    for (const auto& entry : files) {
        const std::string& file = entry.first; // a lambda below takes it, which clang 14 allows no binding
        const Inventory& inventory = entry.second;
        SCOPED_TRACE(file);
        const std::size_t before = test::HeapInUse();
        test::ResetPeakHeap();
        std::vector<std::string> records, movies;
        {
            auto input = cache::ArchiveInput::Open(file);
            ASSERT_TRUE(input);
            cache::ArchiveReader reader(*input);
            while (const auto record = reader.Next()) {
                records.push_back(Row(*input, record->position, record->header.type, record->header.targetUri));
                reader.ReadBlock(nullptr);
            }
        }
        EXPECT_EQ(records, inventory.records);
        EXPECT_LT(test::PeakHeap() - before, std::size_t{2} << 20);

        auto input = cache::ArchiveInput::Open(file);
        cache::ArchiveMovieScan().Scan(*input, file, [&](const cache::ArchiveMovie& movie) {
            movies.push_back(Row(*input, movie.position, movie.type, movie.address));
            // The payload digest the writer gave the record, and the bytes that read back from its place.
            auto again = cache::ArchiveInput::Open(file);
            EXPECT_TRUE(again && again->Seek(movie.position));
            cache::ArchiveReader at(*again);
            const auto record = at.Next();
            EXPECT_EQ(record ? record->header.Field("WARC-Payload-Digest").value_or("") : "",
                      "sha1:" + movie.digests.sha1);
            std::string bytes;
            EXPECT_EQ(cache::StreamArchiveMovie(file, movie.position,
                                                [&](std::string_view piece) {
                                                    bytes.append(piece);
                                                    return true;
                                                }),
                      cache::BodyResult::Done);
            EXPECT_EQ(bytes.size(), movie.size);
            if (file.ends_with("IAH-20080430204825-00000-blackbook.warc.gz") && bytes.starts_with("CWS"))
                ++heritrixMovies;
            return true;
        });
        EXPECT_EQ(movies, inventory.movies);
    }
    EXPECT_EQ(heritrixMovies, 8u);
}

// The Local Files row path of an inventory's offset: "u123" is "@123", "123+u45" is "@123+45".
std::string RecordPath(const std::string& file, std::string offset)
{
    std::erase(offset, 'u');
    return file + "/@" + offset;
}

std::uint32_t LittleEndian32(const std::string& bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (std::size_t i = 4; i-- > 0;)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

TEST(SharedArchives, TheLocalListOverTheSetHoldsTheInventoriesMoviesEachSavedAsItDescribesIt)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(root, "archives/warc");
    std::vector<cache::LocalMovieRow> expected;
    std::map<std::string, std::vector<std::string>> columnsOf;
    for (const auto& [file, inventory] : ReadInventories(root)) {
        for (const auto& column : inventory.movieColumns) {
            // Neither chunked nor encoded, as all of the set's movies were served: stored and decoded sizes agree.
            ASSERT_EQ(column[8] + column[9], "") << file;
            const std::string path = RecordPath(file, column[2]);
            const std::string& address = column[5];
            const std::string bare = address.substr(0, address.find('?'));
            expected.push_back({bare.substr(bare.rfind('/') + 1), column[10], path, address});
            columnsOf[path] = column;
        }
    }
    ASSERT_EQ(expected.size(), 8u);
    std::vector<cache::LocalMovieRow> rows = cache::ListLocalMovies({root + "/", false}).rows;
    const auto byPath = [](const auto& a, const auto& b) { return a.path < b.path; };
    std::sort(rows.begin(), rows.end(), byPath);
    std::sort(expected.begin(), expected.end(), byPath);
    EXPECT_EQ(rows, expected);

    const test::TempFolder target;
    for (const cache::LocalMovieRow& row : rows) {
        SCOPED_TRACE(row.path);
        const std::string saved = target / "saved.swf";
        ASSERT_EQ(cache::CopyListedMovie(row.path, saved), cache::CopyOutcome::Copied);
        const std::string movie = test::ReadFile(saved);
        const auto& column = columnsOf[row.path];
        ASSERT_EQ(std::to_string(movie.size()), column[10]);
        EXPECT_EQ(movie.substr(0, 3), column[11]);
        EXPECT_EQ(std::to_string(static_cast<unsigned char>(movie[3])), column[12]);
        EXPECT_EQ(std::to_string(LittleEndian32(movie, 4)), column[13]);
    }
}

} // namespace
