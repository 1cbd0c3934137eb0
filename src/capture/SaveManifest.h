#pragma once
// What a saved copy holds, written as "plumeroc-manifest.json" in its top folder: for every address the
// save needed, where its file went (size, SHA-256, the source that gave it) or why it is missing, and how it
// was found. Strings are the addresses' and paths' own bytes (platform/JsonText.h says how bytes that are not
// UTF-8 are written). The layout, version 1:
//
//   {"manifest": "plumeroc", "version": 1, "written": "2024-05-01T12:00:00Z", "cancelled": false,
//    "sources": ["live"],                         the sources asked, in order
//    "starts": ["http://host/page.html"],         what the save was asked for (addresses, or files' paths)
//    "files": [ one object per address, in the order first needed:
//      {"address": "http://host/game.swf",        or "file": "/path/game.swf" for a movie read from disk
//       "saved": {"path": "host/game.swf", "size": 1234, "sha256": "...", "from": "live", "status": 200,
//                 "finalAddress": "...",           only when a redirect led elsewhere
//                 ...},                            the source's own facts: "entry" (cache), ...
//       "missing": {"reason": "status", "status": 404, "detail": "..."},   instead of "saved"
//       "tried": [{"from": "cache", "reason": "not there", ...}],   sources that did not give it, in order
//       "found": [{"how": "action", "by": "http://host/loader.swf", "name": "game.swf",
//                  "embedded": true,               named by a movie embedded in "by"
//                  "alternatives": [{"address": "...", "missing": {...}}]}]}],   the name's other candidates
//    "patterns": [{"pattern": "http://host/level*.swf", "found": {...}}],   names built at run time
//    "unresolved": [{"name": "level1.swf", "found": {...}}]}                relative names with no base
//
// "how" is "start" (what the save was asked for), "page" (a movie the page lists), "action", "abc",
// "import", "flashvars" (how a movie names it) or "played" (the preview saw the movie ask for it). "reason"
// is one of MissingText's words. A missing file with no "found" was only an alternative of a name that
// another candidate answered. Readers must ignore fields they do not know: sources add their own.
#include "capture/FileSource.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace capture {

struct FoundBy {
    std::string how;  // "start", "page", "action", "abc", "import", "flashvars", "played"
    std::string by;   // the address (or file) of the page or movie that named it; empty for a start
    std::string name; // as named there
    bool embedded = false;
    struct Alternative {
        std::string address;
        std::optional<SourceAnswer> missing; // why it did not answer, when it was tried
    };
    std::vector<Alternative> alternatives;
};

struct FileRecord {
    std::string address; // empty for a movie read from disk without one
    std::string file;    // that movie's path

    bool saved = false;
    std::string path; // relative to the copy's folder
    std::uint64_t size = 0;
    std::string sha256;
    std::string from;    // the source that gave it
    SourceAnswer answer; // that source's answer when saved; the deciding one when missing

    std::vector<std::pair<std::string, SourceAnswer>> tried; // sources that did not give it: name, answer
    std::vector<FoundBy> found;

    // Missing for a name of its own, not only as another candidate's alternative.
    bool Needed() const { return !saved && !found.empty(); }
};

struct SaveManifest {
    std::vector<std::string> sources;
    std::vector<std::string> starts;
    std::vector<FileRecord> files;
    std::vector<std::pair<std::string, FoundBy>> patterns;   // pattern, how found
    std::vector<std::pair<std::string, FoundBy>> unresolved; // name, how found
    bool cancelled = false;

    std::size_t SavedCount() const;
    std::size_t MissingCount() const; // the records Needed(), and the names that could not be resolved

    // The manifest's JSON text, written at `writtenAt` (seconds since 1970).
    std::string Json(std::int64_t writtenAt) const;
};

} // namespace capture
