#pragma once
// Why an entry of an old browser cache, or a whole cache folder or index, cannot be read.
#include <string_view>

namespace cache {

enum class OldCacheRefusal {
    CutShort,       // a file ends before the record or body it should hold
    Damaged,        // the record's own fields, or another record of it, do not fit together
    UnknownVersion, // a version of the format this reader does not know
    MissingFile,    // the file that holds it is not there
    BodyNotFound,   // no clean map says where the body lies, and the key's hash finds no data file for it
    NoResponseHead, // the entry holds no HTTP response head
    Superseded,     // a record of the same key the browser wrote later is there too
};

// A few words for a report: "cut short", "damaged", ...
constexpr std::string_view OldCacheRefusalText(OldCacheRefusal refusal)
{
    switch (refusal) {
    case OldCacheRefusal::CutShort:
        return "cut short";
    case OldCacheRefusal::Damaged:
        return "damaged";
    case OldCacheRefusal::UnknownVersion:
        return "unknown version";
    case OldCacheRefusal::MissingFile:
        return "missing file";
    case OldCacheRefusal::BodyNotFound:
        return "body not found";
    case OldCacheRefusal::NoResponseHead:
        return "no response head";
    case OldCacheRefusal::Superseded:
        return "superseded";
    }
    return "damaged";
}

} // namespace cache
