#include "support/ArchiveWriters.h"

#include "support/Files.h"
#include "support/RunGrab.h"
#include "support/TempFolder.h"
#include "support/TestMovie.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>

namespace test {

namespace {

constexpr const char* kFlash = "application/x-shockwave-flash";

// The same movie as Flash compresses it: "CWS", the version and the full length, then the rest zlib-packed.
std::string Packed(const std::string& movie) { return "CWS" + movie.substr(3, 5) + Deflated(movie.substr(8), 15); }

std::string ColouredMovie(std::uint8_t red, std::uint8_t green)
{
    MovieRecipe recipe;
    recipe.background = {red, green, 40};
    recipe.fill = {green, red, 200};
    return MakeMovie(recipe);
}

void ServeChunked(httplib::Response& response, const std::string& body, const char* type)
{
    response.set_chunked_content_provider(type, [body](std::size_t offset, httplib::DataSink& sink) {
        const std::size_t size = std::min<std::size_t>(4000, body.size() - offset);
        sink.write(body.data() + offset, size);
        if (offset + size == body.size())
            sink.done();
        return true;
    });
}

std::string JsonText(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::vector<std::string> Environment(const std::string& home) { return {"PATH=/usr/bin:/bin", "HOME=" + home}; }

} // namespace

std::string Deflated(const std::string& bytes, int windowBits, int level)
{
    z_stream stream{};
    if (::deflateInit2(&stream, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(::deflateBound(&stream, static_cast<uLong>(bytes.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = ::deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    ::deflateEnd(&stream);
    if (status != Z_STREAM_END)
        throw std::runtime_error("deflate");
    return out;
}

MovieSite::MovieSite()
    : m_movies({{"/plain.swf", ColouredMovie(200, 10)},
                {"/packed.swf", Packed(ColouredMovie(10, 200))},
                {"/chunked.swf", ColouredMovie(120, 120)},
                {"/chunked-deflate.swf", Packed(ColouredMovie(30, 60))},
                {"/target.swf", ColouredMovie(90, 10)},
                {"/large.swf", "CWS\x0a" + std::string("\x00\x00\x30\x00", 4) + PatternBody(3u << 20)},
                {"/mislabelled.swf", ColouredMovie(1, 2)}})
    , m_server([movies = m_movies](httplib::Server& server) {
        const auto serve = [&](const std::string& path, auto&& answer) {
            server.Get(path, [answer](const httplib::Request&, httplib::Response& response) { answer(response); });
        };
        serve("/plain.swf", [m = movies[0].movie](auto& r) { r.set_content(m, kFlash); });
        serve("/packed.swf", [m = movies[1].movie](auto& r) {
            r.set_header("Content-Encoding", "gzip");
            r.set_content(Deflated(m, 15 + 16), kFlash);
        });
        serve("/chunked.swf", [m = movies[2].movie](auto& r) { ServeChunked(r, m, kFlash); });
        serve("/chunked-deflate.swf", [m = movies[3].movie](auto& r) {
            r.set_header("Content-Encoding", "deflate");
            ServeChunked(r, Deflated(m, 15), kFlash);
        });
        serve("/moved.swf", [](auto& r) { r.set_redirect("/target.swf"); });
        serve("/target.swf", [m = movies[4].movie](auto& r) { r.set_content(m, kFlash); });
        serve("/large.swf", [m = movies[5].movie](auto& r) { r.set_content(m, kFlash); });
        serve("/mislabelled.swf", [m = movies[6].movie](auto& r) {
            r.set_header("Content-Encoding", "gzip");
            r.set_content(m, kFlash);
        });
        serve("/missing.swf", [](auto& r) {
            r.status = 404;
            r.set_content("FWS\x08" + PatternBody(900), kFlash);
        });
        serve("/page.html", [](auto& r) { r.set_content("<embed src=\"plain.swf\">", "text/html"); });
        serve("/picture.png", [](auto& r) { r.set_content("\x89PNG\r\n\x1a\n" + PatternBody(5000), "image/png"); });
    })
{
    for (SiteMovie& movie : m_movies)
        movie.address = m_server.Url(movie.address);
}

std::vector<std::string> MovieSite::Addresses() const
{
    std::vector<std::string> addresses;
    for (const char* path : {"/page.html", "/plain.swf", "/packed.swf", "/missing.swf", "/chunked.swf",
                             "/chunked-deflate.swf", "/picture.png", "/moved.swf", "/large.swf", "/mislabelled.swf"})
        addresses.push_back(m_server.Url(path));
    return addresses;
}

const std::string& MovieSite::MovieAt(const std::string& address) const
{
    for (const SiteMovie& movie : m_movies)
        if (movie.address == address)
            return movie.movie;
    throw std::runtime_error("no movie served at " + address);
}

CrawledSite::CrawledSite()
    : gzip(RunWget(site.Addresses(), folder.Path(), "crawl", true))
    , plain(RunWget(site.Addresses(), folder.Path(), "plain", false))
{}

std::uint64_t CrawledSite::Offset(const WgetArchive& archive, const std::string& path) const
{
    for (const CdxRow& row : ReadWgetCdx(archive.cdx))
        if (row.address == site.Url(path))
            return row.offset;
    throw std::runtime_error(path + " is not in " + archive.cdx);
}

WgetArchive RunWget(const std::vector<std::string>& addresses, const std::string& folder, const std::string& name,
                    bool compressed, const std::string& dedup)
{
    std::string list;
    for (const std::string& address : addresses)
        list += address + "\n";
    WriteFile(folder + "/" + name + ".list", list);
    std::vector<std::string> command{"wget",
                                     "--no-config",
                                     "--quiet",
                                     "--tries=1",
                                     "--timeout=20",
                                     "--no-proxy",
                                     "--warc-file=" + folder + "/" + name,
                                     "--warc-cdx",
                                     "-O",
                                     "/dev/null",
                                     "--input-file=" + folder + "/" + name + ".list"};
    if (!compressed)
        command.emplace_back("--no-warc-compression");
    if (!dedup.empty())
        command.push_back("--warc-dedup=" + dedup);
    // wget ends with 8 for the site's 404; the archive is what counts.
    const GrabRun run = RunProgram(command, folder, {}, Environment(folder));
    WgetArchive archive{folder + "/" + name + (compressed ? ".warc.gz" : ".warc"), folder + "/" + name + ".cdx"};
    EXPECT_TRUE(std::filesystem::exists(archive.warc)) << run.err;
    return archive;
}

std::vector<CdxRow> ReadWgetCdx(const std::string& path)
{
    std::vector<CdxRow> rows;
    std::istringstream lines(ReadFile(path));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::vector<std::string> field;
        for (std::string value; fields >> value;)
            field.push_back(value);
        if (field.size() == 11 && field[0] != "CDX")
            rows.push_back({field[0], field[1], field[4], field[5], std::stoull(field[8]), field[10]});
    }
    return rows;
}

void RunWarcio(const std::string& file, const std::string& version, bool gzip, const std::vector<WarcioRecord>& records)
{
    const TempFolder scratch;
    std::string order = "{\"file\":" + JsonText(file) + ",\"version\":" + JsonText(version)
        + ",\"gzip\":" + (gzip ? "true" : "false") + ",\"records\":[";
    for (std::size_t i = 0; i < records.size(); ++i) {
        const WarcioRecord& record = records[i];
        const std::string body = scratch.Write("body" + std::to_string(i), record.body);
        order += (i > 0 ? "," : "") + std::string("{\"type\":") + JsonText(record.type)
            + ",\"url\":" + JsonText(record.url) + ",\"date\":" + JsonText(record.date)
            + ",\"status\":" + std::to_string(record.status) + ",\"bodyFile\":" + JsonText(body)
            + ",\"revisitOf\":" + std::to_string(record.revisitOf) + ",\"headers\":[";
        for (std::size_t h = 0; h < record.headers.size(); ++h)
            order += (h > 0 ? "," : "") + std::string("[") + JsonText(record.headers[h].first) + ","
                + JsonText(record.headers[h].second) + "]";
        order += "],\"refer\":[";
        for (std::size_t r = 0; r < record.refer.size(); ++r)
            order += (r > 0 ? "," : "") + JsonText(record.refer[r]);
        order += "],\"warcHeaders\":[";
        for (std::size_t h = 0; h < record.warcHeaders.size(); ++h)
            order += (h > 0 ? "," : "") + std::string("[") + JsonText(record.warcHeaders[h].first) + ","
                + JsonText(record.warcHeaders[h].second) + "]";
        order += "]}";
    }
    order += "]}";
    const GrabRun run =
        RunProgram({"node", PLUMEROC_SOURCE_DIR "/tests/support/warcio_write.mjs", scratch.Write("order.json", order)},
                   scratch.Path());
    ASSERT_EQ(run.status, 0) << run.err;
}

std::string GzipEncoded(const std::string& bytes) { return Deflated(bytes, 15 + 16); }

ToolDigests DigestsByTools(const std::string& bytes)
{
    const TempFolder scratch;
    const std::string file = scratch.Write("bytes", bytes);
    const GrabRun run =
        RunProgram({"sh", "-c", "sha256sum \"$0\" | cut -c1-64 && openssl dgst -sha1 -binary \"$0\" | base32", file},
                   scratch.Path());
    std::istringstream lines(run.out);
    ToolDigests digests;
    std::getline(lines, digests.sha256);
    std::getline(lines, digests.sha1);
    EXPECT_EQ(run.status, 0) << run.err;
    return digests;
}

} // namespace test
