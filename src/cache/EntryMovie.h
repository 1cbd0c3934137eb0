#pragma once
// Whether a stored response holds a Flash movie, and the movie's bytes: the body as the server sent it with its
// Content-Encoding undone. The same for every format: the body comes through StoredBody.
#include "cache/formats/ContentDecoding.h"
#include "cache/formats/Refusal.h"
#include "cache/formats/StoredResponse.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace cache {

// A movie longer than this cannot be one: the signature's length field has 32 bits.
inline constexpr std::uint64_t kMaxMovieSize = std::uint64_t{1} << 32;

struct EntryMovie {
    StoredResponse response;
    std::vector<ContentCoding> codings; // as the server applied them
    std::uint64_t size = 0;             // the movie's length, decoded
};

// The response's movie, when its status is 200, the writer did not mark it cut short, the stored body is as
// long as its Content-Length (where it has one), its codings can be undone and the decoded body starts with
// "FWS", "CWS" or "ZWS". A response whose head was lost counts when its body starts like a movie or is a gzip
// stream that decodes to one. Identity bodies of a known length cost a read of three bytes at most; others are read
// to the end to learn their length. With `checkBody` the format's own check of the stored bytes runs first
// (a full read). Decoding looks at `stop` (when given) between pieces and ends as Stopped once it is set.
Refusable<EntryMovie> FindEntryMovie(StoredResponse response, const std::atomic<bool>* stop = nullptr,
                                     bool checkBody = false);

// The same check, reading the whole body whatever its kind and handing the movie's decoded bytes to `take` as
// they come, once they start like a movie: one read for the check and for what the caller makes of the bytes
// (a digest). Bytes handed before a refusal belong to no movie and must be thrown away.
Refusable<EntryMovie> FindEntryMovie(StoredResponse response, const DecodedSink& take,
                                     const std::atomic<bool>* stop = nullptr);
// Any stored response's body as the server sent it, its Content-Encoding undone, handed to `sink` in pieces of
// at most kDecodedPieceSize bytes, after the checks a movie gets but the signature's: status 200, not marked cut
// short, as long as its Content-Length, codings that can be undone, the format's own check of the stored bytes.
// The decoded length, or why there is none; pieces handed before a failure are the caller's to throw away.
Refusable<std::uint64_t> StreamStoredBody(const StoredResponse& response, const DecodedSink& sink,
                                          const std::atomic<bool>* stop = nullptr);

// Hands the movie's decoded bytes to `sink` in pieces of at most kDecodedPieceSize bytes: Done once exactly
// `movie.size` bytes went; Damaged when the data no longer decodes, or decodes to another length.
BodyResult StreamEntryMovie(const EntryMovie& movie, const DecodedSink& sink, const std::atomic<bool>* stop = nullptr);

// Any stored body with its `codings` undone (those of the response's Content-Encoding), in pieces of at most
// kDecodedPieceSize bytes: for the pages of an archive as much as for movies.
BodyResult DecodeStoredBody(const StoredResponse& response, const std::vector<ContentCoding>& codings,
                            const DecodedSink& sink, const std::atomic<bool>* stop = nullptr);

} // namespace cache
