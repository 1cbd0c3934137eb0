// Content decoding against what zlib, brotli and zstd themselves encode.
#include "cache/formats/ContentDecoding.h"

#include <brotli/encode.h>
#include <gtest/gtest.h>
#include <zlib.h>
#include <zstd.h>

#include <random>

namespace {

using cache::BodyDecoder;
using cache::ContentCoding;
using cache::DecodeResult;

std::string Deflated(const std::string& bytes, int windowBits)
{
    z_stream stream{};
    EXPECT_EQ(::deflateInit2(&stream, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(::deflateBound(&stream, static_cast<uLong>(bytes.size())) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(::deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    ::deflateEnd(&stream);
    return out;
}

std::string Brotli(const std::string& bytes)
{
    std::string out(::BrotliEncoderMaxCompressedSize(bytes.size()) + 64, '\0');
    std::size_t size = out.size();
    EXPECT_TRUE(::BrotliEncoderCompress(5, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_GENERIC, bytes.size(),
                                        reinterpret_cast<const std::uint8_t*>(bytes.data()), &size,
                                        reinterpret_cast<std::uint8_t*>(out.data())));
    out.resize(size);
    return out;
}

std::string Zstd(const std::string& bytes)
{
    std::string out(::ZSTD_compressBound(bytes.size()), '\0');
    const std::size_t size = ::ZSTD_compress(out.data(), out.size(), bytes.data(), bytes.size(), 3);
    EXPECT_FALSE(::ZSTD_isError(size));
    out.resize(size);
    return out;
}

std::string Encoded(const std::string& bytes, ContentCoding coding)
{
    switch (coding) {
    case ContentCoding::Gzip:
        return Deflated(bytes, 15 + 16);
    case ContentCoding::Deflate:
        return Deflated(bytes, 15);
    case ContentCoding::Brotli:
        return Brotli(bytes);
    case ContentCoding::Zstd:
        return Zstd(bytes);
    }
    return {};
}

// Compressible but not trivially so: text-like runs with random bytes among them.
std::string Body(std::size_t size)
{
    std::mt19937 random(static_cast<unsigned>(size));
    std::string body = "FWS";
    while (body.size() < size)
        body += (random() % 4 == 0) ? std::string(1, static_cast<char>(random())) : std::string("movie frame ");
    body.resize(size);
    return body;
}

struct Decoded {
    DecodeResult result;
    std::string bytes;
    std::size_t largestPiece = 0;
};

// Feeds `raw` in pieces of `step` bytes, then finishes.
Decoded Decode(const std::vector<ContentCoding>& codings, const std::string& raw, std::size_t step)
{
    Decoded out{DecodeResult::Ok, {}};
    BodyDecoder decoder(codings);
    const cache::DecodedSink sink = [&](std::string_view piece) {
        out.bytes.append(piece);
        out.largestPiece = std::max(out.largestPiece, piece.size());
        return true;
    };
    for (std::size_t at = 0; at < raw.size() && out.result == DecodeResult::Ok; at += step)
        out.result = decoder.Feed(std::string_view(raw).substr(at, step), sink);
    if (out.result == DecodeResult::Ok)
        out.result = decoder.Finish(sink);
    return out;
}

TEST(ContentDecoding, UndoesWhatTheLibrariesEncodeInAnyPieces)
{
    const std::vector<std::vector<ContentCoding>> chains = {
        {},
        {ContentCoding::Gzip},
        {ContentCoding::Deflate},
        {ContentCoding::Brotli},
        {ContentCoding::Zstd},
        {ContentCoding::Gzip, ContentCoding::Brotli}, // applied gzip first, so br is undone first
        {ContentCoding::Zstd, ContentCoding::Deflate, ContentCoding::Gzip},
    };
    for (const auto& chain : chains) {
        for (const std::size_t size : {std::size_t{3}, std::size_t{70'000}, std::size_t{1'500'000}}) {
            const std::string body = Body(size);
            std::string raw = body;
            for (const ContentCoding coding : chain)
                raw = Encoded(raw, coding);
            for (const std::size_t step : {std::size_t{1}, std::size_t{4096}, raw.size()}) {
                if (step == 1 && size > 70'000)
                    continue;
                SCOPED_TRACE(testing::Message() << chain.size() << " codings, " << size << " bytes, step " << step);
                const Decoded decoded = Decode(chain, raw, step);
                EXPECT_EQ(decoded.result, DecodeResult::Ok);
                EXPECT_EQ(decoded.bytes, body);
                EXPECT_LE(decoded.largestPiece, cache::kDecodedPieceSize);
            }
        }
    }
}

TEST(ContentDecoding, RawDeflateAsSomeServersSendIt)
{
    const std::string body = Body(10'000);
    const Decoded decoded = Decode({ContentCoding::Deflate}, Deflated(body, -15), 1000);
    EXPECT_EQ(decoded.result, DecodeResult::Ok);
    EXPECT_EQ(decoded.bytes, body);
}

TEST(ContentDecoding, DamageAndEarlyEndsAreReported)
{
    const std::string body = Body(200'000);
    for (const ContentCoding coding :
         {ContentCoding::Gzip, ContentCoding::Deflate, ContentCoding::Brotli, ContentCoding::Zstd}) {
        SCOPED_TRACE(static_cast<int>(coding));
        const std::string raw = Encoded(body, coding);
        EXPECT_EQ(Decode({coding}, raw.substr(0, raw.size() / 2), 4096).result, DecodeResult::Damaged);
        EXPECT_EQ(Decode({coding}, raw.substr(0, raw.size() - 1), 4096).result, DecodeResult::Damaged);
        EXPECT_EQ(Decode({coding}, "", 4096).result, DecodeResult::Damaged);
        std::string garbled = raw;
        for (std::size_t at = raw.size() / 3; at < raw.size() / 3 + 64; ++at)
            garbled[at] = static_cast<char>(~garbled[at]);
        const Decoded decoded = Decode({coding}, garbled, 4096);
        EXPECT_TRUE(decoded.result == DecodeResult::Damaged || decoded.bytes != body);
    }
}

TEST(ContentDecoding, TheSinkCanStopAHugeExpansionAtItsFirstPiece)
{
    // 256 MiB of zeros in about 256 KiB: only the first piece is produced.
    const std::string raw = Deflated(std::string(256u << 20, '\0'), 15 + 16);
    BodyDecoder decoder({ContentCoding::Gzip});
    std::size_t pieces = 0;
    EXPECT_EQ(decoder.Feed(raw, [&](std::string_view) { return ++pieces < 1; }), DecodeResult::Stopped);
    EXPECT_EQ(pieces, 1u);
}

TEST(ContentDecoding, ContentEncodingValues)
{
    using Codings = std::optional<std::vector<ContentCoding>>;
    const std::pair<const char*, Codings> cases[] = {
        {"gzip", Codings({ContentCoding::Gzip})},
        {"X-GZIP", Codings({ContentCoding::Gzip})},
        {"deflate, br", Codings({ContentCoding::Deflate, ContentCoding::Brotli})},
        {" zstd ,identity,, gzip", Codings({ContentCoding::Zstd, ContentCoding::Gzip})},
        {"identity", Codings(std::vector<ContentCoding>{})},
        {"", Codings(std::vector<ContentCoding>{})},
        {"compress", std::nullopt},
        {"gzip, dcb", std::nullopt},
        {"gzip;q=1", std::nullopt},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(cache::ParseContentCodings(value), expected) << value;
}

} // namespace
