#pragma once
// One response as a browser or an archive stored it: where it came from, its status and headers, whether the
// writer marked it broken off, and its body.
#include "cache/formats/EntryBytes.h"
#include "cache/formats/ResponseHead.h"
#include "cache/formats/StoredBody.h"

#include <memory>
#include <string>
#include <vector>

namespace cache {

struct StoredResponse {
    std::string address;   // the URL the response came from
    ResponseHead head;     // status line and headers as stored
    bool cutShort = false; // the writer itself marked the response as broken off
    // The writer may have stored the body decoded and kept its Content-Encoding, as browser-based recorders of
    // web archives do: a body whose first bytes do not decode then passes as it is.
    bool encodingMayBeUndone = false;
    std::unique_ptr<StoredBody> body; // never null in a response a reader gives
};

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
