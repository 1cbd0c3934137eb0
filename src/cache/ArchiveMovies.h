#pragma once
// The Flash movies of web archives, with their digests. A record holds a movie under the rule cache entries
// follow (FindEntryMovie): a response with status 200, or a resource record; complete; its payload, decoded,
// starting with "FWS", "CWS" or "ZWS". A revisit record holds the movie of the record it refers to. Files are
// read as streams, one record at a time: memory never grows with a file or a record.
#include "cache/formats/ArchiveInput.h"
#include "cache/formats/ArchiveReader.h"
#include "cache/formats/ContentDecoding.h"
#include "cache/formats/PayloadDigest.h"
#include "cache/formats/ResponseHead.h"
#include "cache/formats/StoredBody.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace cache {

struct ArchiveMovie {
    std::string address;     // the record's target address, as written
    std::string date;        // its capture time, YYYYMMDDhhmmss
    std::string type;        // "response", "resource" or "revisit"
    std::string file;        // the archive file it was read from, as named to the scan
    RecordPosition position; // the record's own place there
    // Where its bytes can be read again (StreamArchiveMovie): the record itself, or for a revisit the record
    // it refers to, which may lie in a file scanned before.
    std::string payloadFile;
    RecordPosition payloadPosition;
    std::uint64_t size = 0; // decoded
    PayloadDigest::Values digests;
    ResponseHead head; // of the response that holds the bytes (none for a resource record): for its save name
};

// Reads archive files one after another and reports their movies as it meets them.
class ArchiveMovieScan {
public:
    // Takes each movie; false stops the scan (output that can no longer be written).
    using MovieSink = std::function<bool(const ArchiveMovie&)>;

    using FileResult = ArchiveFileResult;

    // Every movie record of `input`, named `file` in what it reports. A revisit finds the record it refers to
    // among the movies of this file read before it, and of the files this scan read before.
    FileResult Scan(ArchiveInput& input, const std::string& file, const MovieSink& found,
                    const std::atomic<bool>* stop = nullptr);

private:
    void Remember(const ArchiveHeader& header, const ArchiveMovie& movie);
    std::optional<std::size_t> ReferredMovie(const ArchiveHeader& revisit) const;

    std::vector<ArchiveMovie> m_movies;                       // one per payload, first seen
    std::unordered_map<std::string, std::size_t> m_byRecord;  // WARC-Record-ID
    std::unordered_map<std::string, std::size_t> m_byCapture; // target address and date
    std::unordered_map<std::string, std::size_t> m_byDigest;  // as written, and as computed here
};

// The decoded movie of the record at `position` of the archive file at `path` (a row's payloadFile and
// payloadPosition), in pieces of at most kDecodedPieceSize bytes, checked as the scan checked it: Done, or
// Unreadable when the file cannot be opened or holds no movie there any more, Damaged when the movie breaks off.
BodyResult StreamArchiveMovie(const std::string& path, const RecordPosition& position, const DecodedSink& sink,
                              const std::atomic<bool>* stop = nullptr);
// The same from an archive already open.
BodyResult StreamArchiveMovie(ArchiveInput& input, const RecordPosition& position, const DecodedSink& sink,
                              const std::atomic<bool>* stop = nullptr);

} // namespace cache
