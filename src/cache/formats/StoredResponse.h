#pragma once
// One response as a browser or an archive stored it: where it came from, its status and headers, whether the
// writer marked it broken off, and its body.
#include "cache/formats/EntryBytes.h"
#include "cache/formats/Refusal.h"
#include "cache/formats/ResponseHead.h"
#include "cache/formats/StoredBody.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cache {

struct StoredResponse {
    std::string address;   // the URL the response came from
    ResponseHead head;     // status line and headers as stored
    bool cutShort = false; // the writer itself marked the response as broken off
    bool headLost = false; // the head lay in a file that is gone: only the body's bytes tell what it is
    // The writer may have stored the body decoded and kept its Content-Encoding, as browser-based recorders of
    // web archives do: a body whose first bytes do not decode then passes as it is.
    bool encodingMayBeUndone = false;
    std::unique_ptr<StoredBody> body; // never null in a response a reader gives
};

// What the head alone says against a movie, before a byte of the body is read: a status other than 200
// (NotAMovie), a response the writer marked broken off (CutShort), a Content-Length that is no plain number
// (Damaged) or that disagrees with `storedLength`, the body's length where it is known (shorter: CutShort,
// longer: Damaged). Nothing for a lost head. The movie check starts with it, and a reader may use it to leave
// unopened the files of a body that cannot be a movie. `response.body` is not looked at.
std::optional<Refusal> HeadRefusal(const StoredResponse& response, std::optional<std::uint64_t> storedLength);

// A stored body shorter than the declared length was cut short; a longer one is not the response that was sent.
std::optional<Refusal> LengthRefusal(std::optional<std::optional<std::uint64_t>> declared, std::uint64_t stored);

// A response with what its body reads from (open files, a database) kept open as long as it lives: what
// opening one entry or record by its row path gives.
struct OpenedResponse {
    std::shared_ptr<const void> source;
    StoredResponse response;
    std::vector<FileIdentity> files; // every file the body reads from, which a copy must never write over
};

// A file's modification time in nanoseconds since 1970: when an entry file was written.
inline std::int64_t ModificationTime(const struct stat& info)
{
    return std::int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
}

} // namespace cache
