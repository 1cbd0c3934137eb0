// Stored bodies as the movie layer reads them: bodies in several ranges of files (as a block-file cache gives
// them), and bodies whose length only reading finds (as a stream gives them), through the movie check with
// the reason of each refusal.
#include "cache/formats/StoredBody.h"
#include "cache/EntryMovie.h"
#include "support/TestMovie.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace {

using cache::BodyResult;
using cache::Refusal;

// gzip of `bytes`; with `name`, the gzip header carries it as the original file name (FNAME).
std::string Gzipped(const std::string& bytes, const std::string& name = {})
{
    z_stream stream{};
    EXPECT_EQ(::deflateInit2(&stream, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
    gz_header header{};
    header.name = reinterpret_cast<Bytef*>(const_cast<char*>(name.c_str()));
    if (!name.empty()) {
        EXPECT_EQ(::deflateSetHeader(&stream, &header), Z_OK);
    }
    std::string out(::deflateBound(&stream, static_cast<uLong>(bytes.size())) + 64 + name.size(), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(::deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    ::deflateEnd(&stream);
    return out;
}

std::string ReadAll(const cache::StoredBody& body, BodyResult& result, std::size_t& largestPiece)
{
    std::string bytes;
    largestPiece = 0;
    result = body.Read(
        [&](std::string_view piece) {
            largestPiece = std::max(largestPiece, piece.size());
            bytes.append(piece);
            return true;
        },
        nullptr);
    return bytes;
}

TEST(ExtentBody, ReadsItsRangesInOrderFromSeveralFiles)
{
    std::string first(200'000, 'a'), second = "0123456789";
    for (std::size_t i = 0; i < first.size(); ++i)
        first[i] = static_cast<char>('a' + i % 26);
    const cache::MemoryEntryBytes one(first), two(second);
    const cache::ExtentBody body({{&two, 9, 1}, {&one, 5, 150'000}, {&two, 0, 0}, {&two, 2, 3}});
    EXPECT_EQ(body.Length(), 150'004u);
    BodyResult result{};
    std::size_t largest = 0;
    EXPECT_EQ(ReadAll(body, result, largest), "9" + first.substr(5, 150'000) + "234");
    EXPECT_EQ(result, BodyResult::Done);
    EXPECT_LE(largest, cache::kBodyPieceSize);
    std::string start;
    ASSERT_TRUE(body.ReadStart(3, start));
    EXPECT_EQ(start, "9fg") << "the start runs across the ranges";

    // A range outside its file (the file shrank since it was read) is unreadable; a stop ends the read.
    const cache::ExtentBody beyond({{&two, 0, 5}, {&two, 8, 5}});
    EXPECT_EQ(ReadAll(beyond, result, largest), "01234");
    EXPECT_EQ(result, BodyResult::Unreadable);
    const std::atomic<bool> stop{true};
    EXPECT_EQ(body.Read([](std::string_view) { return true; }, &stop), BodyResult::Stopped);
}

// A body handed out piece by piece whose length nobody knows before the end, as a stream of records gives it;
// its writer's check fails when `intact` is false.
class StreamedBody final : public cache::StoredBody {
public:
    StreamedBody(std::string bytes, bool intact = true) : m_bytes(std::move(bytes)), m_intact(intact) {}
    std::optional<std::uint64_t> Length() const override { return std::nullopt; }
    BodyResult Read(const cache::BodySink& sink, const std::atomic<bool>* stop) const override
    {
        for (std::size_t at = 0; at < m_bytes.size(); at += 7) {
            if (cache::Stopping(stop))
                return BodyResult::Stopped;
            if (!sink(std::string_view(m_bytes).substr(at, 7)))
                return BodyResult::Stopped;
        }
        return BodyResult::Done;
    }
    BodyResult Verify(const std::atomic<bool>*) const override
    {
        return m_intact ? BodyResult::Done : BodyResult::Damaged;
    }

private:
    std::string m_bytes;
    bool m_intact;
};

cache::StoredResponse Response(std::string body, std::vector<std::pair<std::string, std::string>> headers = {},
                               int status = 200, bool intact = true)
{
    cache::StoredResponse response;
    response.address = "http://example.org/m.swf";
    response.head.status = status;
    response.head.headers = std::move(headers);
    response.body = std::make_unique<StreamedBody>(std::move(body), intact);
    return response;
}

TEST(EntryMovieOfAStream, IsFoundByReadingAndRefusedForTheReasonItGives)
{
    test::MovieRecipe recipe;
    recipe.fill = {200, 20, 20};
    const std::string movie = test::MakeMovie(recipe);
    const std::string gzipped = Gzipped(movie);
    const std::string length = std::to_string(movie.size());
    const std::string gzippedLength = std::to_string(gzipped.size());

    const struct {
        const char* title;
        std::string body;
        std::vector<std::pair<std::string, std::string>> headers;
    } accepted[] = {
        {"identity", movie, {}},
        {"identity with its length", movie, {{"Content-Length", length}}},
        {"gzip with its length", gzipped, {{"Content-Encoding", "gzip"}, {"Content-Length", gzippedLength}}},
    };
    for (const auto& c : accepted) {
        SCOPED_TRACE(c.title);
        auto found = cache::FindEntryMovie(Response(c.body, c.headers), nullptr, true);
        ASSERT_TRUE(found) << cache::RefusalText(found.Why());
        EXPECT_EQ(found->size, movie.size());
        std::string streamed;
        EXPECT_EQ(cache::StreamEntryMovie(*found,
                                          [&](std::string_view piece) {
                                              streamed.append(piece);
                                              return true;
                                          }),
                  BodyResult::Done);
        EXPECT_EQ(streamed, movie);
    }

    using Headers = std::vector<std::pair<std::string, std::string>>;
    const struct {
        const char* title;
        std::string body;
        Headers headers;
        int status = 200;
        bool intact = true;
        Refusal why;
    } refused[] = {
        {"shorter than its Content-Length",
         movie,
         {{"Content-Length", std::to_string(movie.size() + 1)}},
         200,
         true,
         Refusal::CutShort},
        {"longer than its Content-Length",
         movie,
         {{"Content-Length", std::to_string(movie.size() - 1)}},
         200,
         true,
         Refusal::Damaged},
        {"lengths that disagree",
         movie,
         {{"Content-Length", length}, {"Content-Length", "1"}},
         200,
         true,
         Refusal::Damaged},
        {"gzip cut short",
         gzipped.substr(0, gzipped.size() / 2),
         {{"Content-Encoding", "gzip"}},
         200,
         true,
         Refusal::Damaged},
        {"another coding", movie, {{"Content-Encoding", "compress"}}, 200, true, Refusal::UnknownCoding},
        {"another status", movie, {}, 404, true, Refusal::NotAMovie},
        {"another body", "<html>not a movie</html>", {}, 200, true, Refusal::NotAMovie},
        {"empty", "", {}, 200, true, Refusal::NotAMovie},
        {"the writer's check fails", movie, {}, 200, false, Refusal::Damaged},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.title);
        const auto found = cache::FindEntryMovie(Response(c.body, c.headers, c.status, c.intact), nullptr, true);
        ASSERT_FALSE(found);
        EXPECT_EQ(found.Why(), c.why) << cache::RefusalText(found.Why());
    }
    auto marked = Response(movie);
    marked.cutShort = true;
    EXPECT_EQ(cache::FindEntryMovie(std::move(marked)).Why(), Refusal::CutShort);
    const std::atomic<bool> stop{true};
    EXPECT_EQ(cache::FindEntryMovie(Response(movie), &stop).Why(), Refusal::Stopped);
}

// Bytes in memory that count what is read of them.
class CountedBytes final : public cache::EntryBytes {
public:
    explicit CountedBytes(std::string bytes) : m_bytes(std::move(bytes)), m_inner(m_bytes) {}
    std::uint64_t Size() const override { return m_inner.Size(); }
    bool ReadAt(std::uint64_t offset, std::size_t length, std::string& out) const override
    {
        m_read += length;
        return m_inner.ReadAt(offset, length, out);
    }
    std::size_t Read() const { return m_read; }

private:
    std::string m_bytes;
    cache::MemoryEntryBytes m_inner;
    mutable std::size_t m_read = 0;
};

cache::StoredResponse CodedResponse(const CountedBytes& bytes, const char* coding)
{
    cache::StoredResponse response;
    response.address = "http://example.org/page";
    response.head.status = 200;
    if (coding != nullptr)
        response.head.headers = {{"Content-Encoding", coding}};
    response.body = std::make_unique<cache::ExtentBody>(bytes, 0, bytes.Size());
    return response;
}

// Text that compresses poorly enough to fill many stored pieces.
std::string Prose(std::size_t length)
{
    std::string text = "<!DOCTYPE html><html><body>";
    std::uint32_t state = 2463534242u;
    while (text.size() < length) {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        text += "word" + std::to_string(state % 100000) + (state % 7 == 0 ? ".\n" : " ");
    }
    return text;
}

// The movie check tells a coded body that is no movie from its first stored bytes, as many as decode to three
// bytes, and reads no further; a coded movie is still read to its end for its length and its soundness; a
// response whose head was lost is told by its body alone.
TEST(EntryMovieOfACodedBody, IsToldFromTheFewestStoredBytes)
{
    test::MovieRecipe recipe;
    recipe.padding = 300'000;
    const std::string movie = test::MakeMovie(recipe);
    const std::string page = Prose(2'000'000);
    const std::string longName(3000, 'n'); // a header longer than the first look
    const struct {
        const char* title;
        std::string stored;
        const char* coding;
        bool headLost;
        std::optional<std::string> movie; // nothing: not a movie
        std::size_t mostRead;             // stored bytes the check may read at most
    } cases[] = {
        {"a gzip page", Gzipped(page), "gzip", false, std::nullopt, 512},
        {"a gzip page behind a long header", Gzipped(page, longName), "gzip", false, std::nullopt, 512 + 4096},
        {"a gzip page with its head lost", Gzipped(page), nullptr, true, std::nullopt, 512 + 2},
        {"a page with its head lost", page, nullptr, true, std::nullopt, 3 + 2},
        {"a gzip movie", Gzipped(movie), "gzip", false, movie, SIZE_MAX},
        {"a gzip movie behind a long header", Gzipped(movie, longName), "gzip", false, movie, SIZE_MAX},
        {"a gzip movie with its head lost", Gzipped(movie), nullptr, true, movie, SIZE_MAX},
        {"a movie with its head lost", movie, nullptr, true, movie, 3 + 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        const CountedBytes bytes(c.stored);
        auto response = CodedResponse(bytes, c.coding);
        response.headLost = c.headLost;
        if (c.headLost)
            response.head.status = 0; // nothing was read of it
        auto found = cache::FindEntryMovie(std::move(response));
        EXPECT_LE(bytes.Read(), c.mostRead);
        if (!c.movie) {
            EXPECT_EQ(found.Why(), Refusal::NotAMovie) << cache::RefusalText(found.Why());
            continue;
        }
        ASSERT_TRUE(found) << cache::RefusalText(found.Why());
        EXPECT_EQ(found->size, c.movie->size());
        std::string streamed;
        EXPECT_EQ(cache::StreamEntryMovie(*found,
                                          [&](std::string_view piece) {
                                              streamed.append(piece);
                                              return true;
                                          }),
                  BodyResult::Done);
        EXPECT_EQ(streamed, *c.movie);
    }

    // A movie's stream damaged past the first look is still found out, by the read to the end.
    std::string damaged = Gzipped(movie);
    damaged[damaged.size() / 2] = static_cast<char>(damaged[damaged.size() / 2] ^ 0x55);
    const CountedBytes bytes(damaged);
    EXPECT_EQ(cache::FindEntryMovie(CodedResponse(bytes, "gzip")).Why(), Refusal::Damaged);

    // A body's start, asked of its ranges, reads that many bytes and no more.
    const CountedBytes large(std::string(100'000, 'x'));
    const cache::ExtentBody body({{&large, 10, 2}, {&large, 1000, 90'000}});
    std::string start;
    ASSERT_TRUE(body.ReadStart(5, start));
    EXPECT_EQ(start, "xxxxx");
    EXPECT_EQ(large.Read(), 5u);
}

} // namespace
