#include "cache/formats/Refusal.h"

namespace cache {

std::string_view RefusalText(Refusal why)
{
    switch (why) {
    case Refusal::Unreadable:
        return "unreadable";
    case Refusal::CutShort:
        return "cut short";
    case Refusal::MissingFile:
        return "in a missing file";
    case Refusal::Dropped:
        return "dropped by the browser";
    case Refusal::Damaged:
        return "damaged";
    case Refusal::Encrypted:
        return "encrypted";
    case Refusal::UnknownVersion:
        return "of an unknown version";
    case Refusal::NotAResponse:
        return "no HTTP response";
    case Refusal::UnknownCoding:
        return "in a content coding that cannot be undone";
    case Refusal::NotAMovie:
        return "not a movie";
    case Refusal::Stopped:
        return "stopped";
    }
    return "refused";
}

} // namespace cache
