// Listing the entries of a Firefox first cache as the Local Files list does (through the format's row of the
// table: each entry read, its body's first bytes looked at for a movie), run by bench/cache1_entries.sh against
// find on the same tree.
//   bench_firefox_cache1 build DIR ENTRIES MOVIES   writes a 1.19 cache with a clean map (the browser's layout
//                                                  rules, test::FirefoxCache1Writer); prints the movies written
//   bench_firefox_cache1 dirty DIR                 marks its map dirty, as a crash leaves it
//   bench_firefox_cache1 list DIR                  lists it; prints the entries and movies found
#include "cache/EntryMovie.h"
#include "cache/formats/Formats.h"
#include "support/Files.h"
#include "support/FirefoxCache1Writer.h"
#include "support/TestMovie.h"

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

namespace {

// Response heads and bodies as a cache of the Flash years held them: mostly small images, scripts and pages in
// the block files, a quarter over 16 KiB in files of their own, one entry in MOVIES a movie.
int Build(const std::string& folder, int entries, int movies)
{
    auto writer = test::FirefoxCache1Writer::Create(folder, 0x00010013);
    std::mt19937 random(20140701);
    std::uniform_real_distribution<double> exponent(0.0, 1.0);
    const std::string movie = test::MakeMovie(test::MovieRecipe{});
    const int movieEvery = movies > 0 ? entries / movies : entries + 1;
    int written = 0;
    for (int index = 0; index < entries; ++index) {
        const bool isMovie = movies > 0 && index % movieEvery == 0 && written < movies;
        std::size_t size = 0;
        if (exponent(random) < 0.25)
            size = static_cast<std::size_t>(16385 + exponent(random) * 16384);
        else
            size = static_cast<std::size_t>(200 * std::pow(80.0, exponent(random))); // 200 B to 16 KiB
        std::string body(size, 'x');
        const char* type = index % 3 == 0 ? "image/png" : (index % 3 == 1 ? "text/javascript" : "text/html");
        if (isMovie) {
            body = movie + std::string(size > movie.size() ? size - movie.size() : 0, '\0');
            type = "application/x-shockwave-flash";
            ++written;
        }
        const std::string address = "http://site" + std::to_string(index % 97) + ".example/path/"
            + std::to_string(index) + (isMovie ? ".swf" : ".res");
        const std::string head = "HTTP/1.1 200 OK\r\nDate: Tue, 01 Jul 2014 10:00:00 GMT\r\nServer: Apache/2.2.22\r\n"
                                 "Last-Modified: Mon, 30 Jun 2014 08:00:00 GMT\r\nETag: \"a1b2c3-"
            + std::to_string(index) + "\"\r\nAccept-Ranges: bytes\r\nContent-Length: " + std::to_string(body.size())
            + "\r\nCache-Control: max-age=86400\r\nContent-Type: " + type + "\r\n";
        const test::Cache1Elements elements = {{"request-method", "GET"},
                                               {"request-Accept-Encoding", "gzip, deflate"},
                                               {"response-head", head},
                                               {"charset", "UTF-8"}};
        test::FirefoxCache1Writer::Options options;
        options.fetched = 1404208800u + static_cast<std::uint32_t>(index);
        writer.Add("HTTP:" + address, elements, body, options);
    }
    writer.Write(true, false);
    std::printf("%d\n", written);
    return 0;
}

int MarkDirty(const std::string& folder)
{
    std::string map = test::ReadFile(folder + "/_CACHE_MAP_");
    map[15] = '\1';
    test::WriteFile(folder + "/_CACHE_MAP_", map);
    return 0;
}

// What the Local Files list reads: the format's row of the table, each response through the movie check.
class CountingSink final : public cache::RecordSink {
public:
    bool Response(std::string_view, cache::StoredResponse& response, std::int64_t) override
    {
        ++entries;
        movies += cache::FindEntryMovie(std::move(response)) ? 1 : 0;
        return true;
    }
    void Refused(std::string_view, cache::Refusal) override { ++entries; }
    void NotRead(std::string_view reason) override { notRead = reason; }

    std::size_t entries = 0, movies = 0;
    std::string notRead;
};

int List(const std::string& folder)
{
    const auto* format = cache::FormatNamed<cache::ContainerFolderFormat>("Firefox first cache");
    if (format == nullptr)
        return 1;
    CountingSink sink;
    format->ReadRecords(folder + "/", std::atomic<bool>{false}, sink);
    if (!sink.notRead.empty()) {
        std::printf("not read: %s\n", sink.notRead.c_str());
        return 1;
    }
    std::printf("%zu entries, %zu movies\n", sink.entries, sink.movies);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 2 ? argv[1] : "";
    if (mode == "build" && argc == 5)
        return Build(argv[2], std::stoi(argv[3]), std::stoi(argv[4]));
    if (mode == "dirty" && argc == 3)
        return MarkDirty(argv[2]);
    if (mode == "list" && argc == 3)
        return List(argv[2]);
    std::fprintf(stderr, "usage: bench_firefox_cache1 build DIR ENTRIES MOVIES | dirty DIR | list DIR\n");
    return 2;
}
