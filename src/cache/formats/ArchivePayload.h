#pragma once
// The payload of an archived response: the HTTP head at the start of its block, then the body as the server
// sent it with chunked transfer coding undone, streamed: a stored response like a cache entry's.
#include "cache/formats/ArchiveReader.h"
#include "cache/formats/ContentDecoding.h"
#include "cache/formats/Refusal.h"
#include "cache/formats/ResponseHead.h"
#include "cache/formats/StoredResponse.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cache {

struct HttpHead {
    ResponseHead head;
    std::size_t length = 0; // the bytes of the block it takes, with the empty line that ends it
};

// The status line and headers at the start of `block`. With `wholeBlock` (the block has nothing more), a head
// without its empty line is taken too, as some writers stored heads of bodiless responses.
std::optional<HttpHead> ReadHttpHead(std::string_view block, bool wholeBlock);

// Whether the response's Transfer-Encoding is chunked; nothing when it names a coding that cannot be undone
// here.
std::optional<bool> ChunkedTransfer(const ResponseHead& head);

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

// The HTTP head at the start of the current record's block, looked for in a small look-ahead first; `start`
// is left viewing the bytes looked at.
std::optional<HttpHead> PeekHttpHead(ArchiveReader& reader, const ArchiveHeader& header, std::string_view& start);

// A response or resource record as a stored response, which the movie check and the copy read as they read a
// cache entry. A response record gives its HTTP head (without Content-Length under chunked transfer coding,
// which overrides it), a resource record status 200 and its content type; WARC-Truncated marks it cut short;
// the body is the rest of the block with the transfer coding undone, and reads Done only when the record ends
// where its length says. Refused as NotAResponse for other records and for a block without an HTTP head, as
// UnknownCoding for a transfer coding other than chunked.
//
// Its body reads the reader's current record, once: a stream cannot go back. It is of use until the reader
// moves on.
Refusable<StoredResponse> RecordResponse(ArchiveReader& reader, const ArchiveHeader& header);

// The record at `position` of `input` as a stored response whose body goes back to the record for each read,
// and knows its stored length where the block tells it. `input` must outlive it.
Refusable<StoredResponse> RecordResponseAt(ArchiveInput& input, const RecordPosition& position);

} // namespace cache
