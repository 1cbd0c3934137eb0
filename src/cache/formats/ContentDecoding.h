#pragma once
// Undoing a response's Content-Encoding, streamed: raw pieces in, decoded pieces out, with memory bounded
// whatever the expansion.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cache {

enum class ContentCoding { Gzip, Deflate, Brotli, Zstd };

// The codings of a Content-Encoding value in the order the server applied them ("gzip", "x-gzip",
// "deflate", "br", "zstd", any letter case; "identity" and empty items drop out). Nothing when one of them
// is a coding that cannot be undone here.
std::optional<std::vector<ContentCoding>> ParseContentCodings(std::string_view value);

// Takes each decoded piece (at most kDecodedPieceSize bytes); returns false to stop decoding.
using DecodedSink = std::function<bool(std::string_view piece)>;
inline constexpr std::size_t kDecodedPieceSize = std::size_t{64} * 1024;

enum class DecodeResult {
    Ok,      // all given input taken; for Finish, every coding's stream ended properly
    Stopped, // the sink asked to stop
    Damaged, // the data cannot be decoded, or (Finish) a stream ends early
};

// What a body whose first bytes do not decode in its codings is.
enum class UndecodableStart {
    Damaged,    // as browsers store bodies: exactly as they came
    PassesAsIs, // stored already decoded with its Content-Encoding kept, as browser-based recorders of web
                // archives write them: it passes as it is, as warcio reads it
};

// Undoes the codings in reverse order of their application. Data after the end of a gzip, deflate or brotli
// stream is ignored, as browsers do; zstd takes further frames.
class BodyDecoder {
public:
    // Each stage hands on pieces of at most `pieceSize` bytes (up to kDecodedPieceSize): a small size decodes no
    // further than a sink that stops early needs.
    explicit BodyDecoder(const std::vector<ContentCoding>& codings,
                         UndecodableStart undecodable = UndecodableStart::Damaged,
                         std::size_t pieceSize = kDecodedPieceSize);
    ~BodyDecoder();
    BodyDecoder(BodyDecoder&&) noexcept;
    BodyDecoder& operator=(BodyDecoder&&) noexcept;

    DecodeResult Feed(std::string_view raw, const DecodedSink& sink);
    // The input has ended: flushes what is left.
    DecodeResult Finish(const DecodedSink& sink);

    class Stage;

private:
    DecodeResult Pass(std::size_t stage, std::string_view input, bool end, const DecodedSink& sink);
    DecodeResult Tolerate(std::string_view raw, bool end, const DecodedSink& sink);

    std::vector<std::unique_ptr<Stage>> m_stages; // m_stages[0] takes the raw bytes
    bool m_tolerant = false;                      // UndecodableStart::PassesAsIs
    bool m_decided = false;                       // the codings decoded something, or too much came to go back
    bool m_identity = false;                      // they did not: the body passes as it is
    std::string m_held;                           // what came while undecided
};

} // namespace cache
