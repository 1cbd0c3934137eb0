#include "support/MovieMaking.h"

#include <lzma.h>
#include <zlib.h>

#include <stdexcept>

namespace test {

namespace {

void PutU16(std::string& out, unsigned value)
{
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void PutU32(std::string& out, std::uint32_t value)
{
    PutU16(out, value & 0xFFFF);
    PutU16(out, value >> 16);
}

std::string Header(std::string_view signature, std::uint8_t version, std::uint32_t length)
{
    std::string out(signature);
    out += static_cast<char>(version);
    PutU32(out, length);
    return out;
}

// The length of the frame header (rectangle, rate, count) at the start of `body`.
std::size_t FrameHeaderSize(std::string_view body)
{
    const unsigned bits = static_cast<unsigned char>(body.at(0)) >> 3;
    return (5 + 4 * bits + 7) / 8 + 4;
}

} // namespace

std::string MovieBody(std::string_view movie)
{
    if (movie.starts_with("FWS"))
        return std::string(movie.substr(8));
    if (!movie.starts_with("CWS"))
        throw std::runtime_error("MovieBody: not an FWS or CWS movie");
    const std::uint32_t declared = static_cast<unsigned char>(movie[4]) | static_cast<unsigned char>(movie[5]) << 8
        | static_cast<unsigned char>(movie[6]) << 16
        | static_cast<std::uint32_t>(static_cast<unsigned char>(movie[7])) << 24;
    std::string body(declared - 8, '\0');
    uLongf size = body.size();
    if (uncompress(reinterpret_cast<Bytef*>(body.data()), &size, reinterpret_cast<const Bytef*>(movie.data() + 8),
                   movie.size() - 8)
        != Z_OK)
        throw std::runtime_error("MovieBody: zlib could not inflate the movie");
    body.resize(size);
    return body;
}

std::string UncompressedMovie(std::uint8_t version, std::string_view body, std::uint32_t declared)
{
    return Header("FWS", version, declared ? declared : static_cast<std::uint32_t>(body.size() + 8))
        + std::string(body);
}

std::string AsUncompressed(std::string_view movie)
{
    return UncompressedMovie(static_cast<std::uint8_t>(movie[3]), MovieBody(movie));
}

std::string AsZlib(std::string_view movie, int level)
{
    const std::string body = MovieBody(movie);
    std::string compressed(compressBound(body.size()), '\0');
    uLongf size = compressed.size();
    if (compress2(reinterpret_cast<Bytef*>(compressed.data()), &size, reinterpret_cast<const Bytef*>(body.data()),
                  body.size(), level)
        != Z_OK)
        throw std::runtime_error("AsZlib: zlib could not deflate the movie");
    compressed.resize(size);
    return Header("CWS", static_cast<std::uint8_t>(movie[3]), static_cast<std::uint32_t>(body.size() + 8)) + compressed;
}

std::string AsLzma(std::string_view movie)
{
    const std::string body = MovieBody(movie);
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, 6) != 0)
        throw std::runtime_error("AsLzma: no preset");
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_alone_encoder(&stream, &options) != LZMA_OK)
        throw std::runtime_error("AsLzma: no encoder");
    std::string alone(body.size() + body.size() / 2 + 4096, '\0');
    stream.next_in = reinterpret_cast<const std::uint8_t*>(body.data());
    stream.avail_in = body.size();
    stream.next_out = reinterpret_cast<std::uint8_t*>(alone.data());
    stream.avail_out = alone.size();
    const lzma_ret result = lzma_code(&stream, LZMA_FINISH);
    alone.resize(alone.size() - stream.avail_out);
    lzma_end(&stream);
    if (result != LZMA_STREAM_END)
        throw std::runtime_error("AsLzma: the encoder failed");
    // The .lzma file: 5 property bytes, an 8-byte size, the stream. A movie keeps the properties and
    // the stream, with the stream's length in front.
    const std::string_view properties = std::string_view(alone).substr(0, 5);
    const std::string_view raw = std::string_view(alone).substr(13);
    std::string out = Header("ZWS", static_cast<std::uint8_t>(movie[3]), static_cast<std::uint32_t>(body.size() + 8));
    PutU32(out, static_cast<std::uint32_t>(raw.size()));
    out += properties;
    out += raw;
    return out;
}

std::string Tag(unsigned code, std::string_view body)
{
    std::string out;
    PutU16(out, code << 6 | 0x3F);
    PutU32(out, static_cast<std::uint32_t>(body.size()));
    out += body;
    return out;
}

std::string InSprites(std::string_view movie, int depth)
{
    const std::string body = MovieBody(movie);
    const std::size_t frame = FrameHeaderSize(body);
    std::string tags = body.substr(frame);
    for (int level = 0; level < depth; ++level) {
        std::string sprite;
        PutU16(sprite, static_cast<unsigned>(100 + level)); // id
        PutU16(sprite, 1);                                  // frames
        tags = Tag(39, sprite + tags) + std::string(2, '\0');
    }
    return UncompressedMovie(static_cast<std::uint8_t>(movie[3]), body.substr(0, frame) + tags);
}

std::string RepeatedTags(std::string_view movie, int times)
{
    const std::string body = MovieBody(movie);
    const std::size_t frame = FrameHeaderSize(body);
    std::string tags = body.substr(frame);
    if (tags.size() >= 2 && tags.substr(tags.size() - 2) == std::string(2, '\0'))
        tags.resize(tags.size() - 2);
    std::string repeated = body.substr(0, frame);
    repeated.reserve(frame + tags.size() * static_cast<std::size_t>(times) + 2);
    for (int i = 0; i < times; ++i)
        repeated += tags;
    return UncompressedMovie(static_cast<std::uint8_t>(movie[3]), repeated + std::string(2, '\0'));
}

std::string InBinaryData(std::string_view movie, int depth)
{
    const std::string body = MovieBody(movie);
    const std::string frame = body.substr(0, FrameHeaderSize(body));
    std::string inner(movie);
    for (int level = 0; level < depth; ++level) {
        std::string data;
        PutU16(data, 1); // id
        PutU32(data, 0); // reserved
        inner = UncompressedMovie(static_cast<std::uint8_t>(movie[3]),
                                  frame + Tag(87, data + inner) + std::string(2, '\0'));
    }
    return inner;
}

} // namespace test
