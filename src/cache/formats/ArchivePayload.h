#pragma once
// The payload of an archived response: the HTTP head at the start of its block, then the body as the server
// sent it, with chunked transfer coding and then Content-Encoding undone, streamed.
#include "cache/formats/ContentDecoding.h"
#include "cache/formats/ResponseHead.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cache {

struct HttpHead {
    ResponseHead head;
    std::size_t length = 0; // the bytes of the block it takes, with the empty line that ends it
};

// The status line and headers at the start of `block`. With `wholeBlock` (the block has nothing more), a head
// without its empty line is taken too, as some writers stored heads of bodiless responses.
std::optional<HttpHead> ReadHttpHead(std::string_view block, bool wholeBlock);

struct BodyCodings {
    bool chunked = false;
    std::vector<ContentCoding> content; // as the server applied them
};
// What was done to the body on its way. Nothing when something was that cannot be undone here.
std::optional<BodyCodings> BodyCodingsOf(const ResponseHead& head);

// Undoes chunked transfer coding. When the first line is no chunk size, the writer stored the body already
// dechunked (and kept the header, as some do): it passes as it is.
class ChunkedDecoder {
public:
    DecodeResult Feed(std::string_view raw, const DecodedSink& sink);
    // The last chunk has come (or the body passes as it is).
    bool Ended() const { return m_state == State::Trailer || m_state == State::Done || m_state == State::Plain; }

private:
    enum class State { Size, Data, DataCr, DataLf, Trailer, Done, Plain };
    bool EndSizeLine(const DecodedSink& sink, DecodeResult& result);

    State m_state = State::Size;
    std::string m_line;
    std::uint64_t m_left = 0;
    bool m_sawChunk = false;
};

// Transfer coding, then content codings, undone in one pass. A body whose first bytes do not decode in its
// Content-Encoding was stored already decoded (browser-based recorders keep the header): it passes as it is,
// as warcio reads it. Pieces go to the sink at most kDecodedPieceSize bytes at a time.
class PayloadDecoder {
public:
    explicit PayloadDecoder(const BodyCodings& codings);

    DecodeResult Feed(std::string_view raw, const DecodedSink& sink);
    // The body has ended: Damaged when its chunks or codings had not.
    DecodeResult Finish(const DecodedSink& sink);
    // The body's length with the chunks undone: what Content-Length counts.
    std::uint64_t BodyLength() const { return m_bodyLength; }

private:
    DecodeResult Decode(std::string_view body, const DecodedSink& sink);

    bool m_chunked;
    ChunkedDecoder m_chunks;
    std::unique_ptr<BodyDecoder> m_decoder; // none without content codings
    bool m_decided = false;                 // the codings decoded something, or too much came to go back
    bool m_identity = false;                // they did not: the body passes as it is
    std::string m_held;                     // what came while undecided
    std::uint64_t m_bodyLength = 0;
};

} // namespace cache
