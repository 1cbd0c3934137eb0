// libFuzzer target: a CDX server's plain-text answer. Every capture read from it has a 14-digit time and an
// http(s) original, names its own address beside any query, and is never farther in time from itself than
// another capture; lines are either captures, unreadable, or the resume key.
#include "wayback/CdxAnswer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const wayback::CdxPage page = wayback::ReadCdxPage(text);
    if (page.captures.size() + page.unreadable > static_cast<std::size_t>(std::ranges::count(text, '\n')) + 1)
        std::abort();
    for (const wayback::CdxCapture& capture : page.captures) {
        (void)wayback::IsMovieCapture(capture);
        if (capture.timestamp.size() != 14 || !wayback::IsSameAddressBesideQuery(capture.original, capture.original))
            std::abort();
        const wayback::CdxCapture* nearest = wayback::NearestInTime(page.captures, capture.timestamp);
        if (nearest == nullptr || (nearest->timestamp != capture.timestamp && nearest->timestamp > capture.timestamp))
            std::abort(); // itself, or one of the same time, or an earlier one of an equal distance
    }
    return 0;
}
