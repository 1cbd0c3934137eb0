#include "cache/formats/StoredResponse.h"

namespace cache {

std::optional<Refusal> LengthRefusal(std::optional<std::optional<std::uint64_t>> declared, std::uint64_t stored)
{
    if (!declared || !*declared || **declared == stored)
        return std::nullopt;
    return stored < **declared ? Refusal::CutShort : Refusal::Damaged;
}

std::optional<Refusal> HeadRefusal(const StoredResponse& response, std::optional<std::uint64_t> storedLength)
{
    if (response.headLost)
        return std::nullopt;
    if (response.head.status != 200)
        return Refusal::NotAMovie;
    if (response.cutShort)
        return Refusal::CutShort;
    const auto declared = response.head.ContentLength();
    if (declared && !*declared)
        return Refusal::Damaged; // lengths that disagree
    if (storedLength)
        return LengthRefusal(declared, *storedLength);
    return std::nullopt;
}

} // namespace cache
