#pragma once
// The header of one record of a web archive: a WARC record's version line and named fields (WARC/0.17
// to 1.1), or the one-line header of an ARC version 1 record, with what the readers need from them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cache {

enum class ArchiveFormat { Warc, Arc };

struct ArchiveHeader {
    ArchiveFormat format = ArchiveFormat::Warc;
    std::string version; // "WARC/1.0" as written, or "ARC"
    // WARC: the named fields in the order written, folded lines joined with a space. ARC: none.
    std::vector<std::pair<std::string, std::string>> fields;
    std::string type;              // WARC-Type; an ARC record is a "response", its first one the "filedesc"
    std::string targetUri;         // WARC-Target-URI, or the ARC record's URL; without the <...> some wrote
    std::string date;              // the capture's time as 14 digits, YYYYMMDDhhmmss (empty when unreadable)
    std::string contentType;       // of the block
    std::uint64_t blockLength = 0; // the bytes of the block that follow the header

    // The first field named `name` (letter case aside); nothing when there is none.
    std::optional<std::string_view> Field(std::string_view name) const;
};

// Where the header at the start of `text` ends: the length of its lines and the length with the empty line
// that ends it (a line ends with LF, CR LF or CR CR LF). Nothing when `text` holds no empty line.
struct HeaderExtent {
    std::size_t lines = 0;
    std::size_t whole = 0;
};
std::optional<HeaderExtent> FindHeaderEnd(std::string_view text);

// Whether `line` starts a WARC record ("WARC/" and a version, letter case aside).
bool IsWarcVersionLine(std::string_view line);

// A WARC header without its ending empty line. Nothing unless it starts with a version line and has a
// Content-Length that is a plain number.
std::optional<ArchiveHeader> ParseWarcHeader(std::string_view lines);

// An ARC version 1 header line, without its line end: "URL IP-address YYYYMMDDhhmmss content-type length".
// The URL may hold spaces, so the fields are taken from the right. Nothing when it is not such a line.
std::optional<ArchiveHeader> ParseArcHeader(std::string_view line);

// A WARC-Date ("2008-04-30T20:49:37Z", with fewer parts, or with fractions of a second) as 14 digits, the
// parts it leaves out taken as the first month, day and second. Empty when it has no year.
std::string CaptureTimestamp(std::string_view warcDate);

} // namespace cache
