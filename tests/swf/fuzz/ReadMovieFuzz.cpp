// libFuzzer target: arbitrary bytes read as a movie, summarised, and its names resolved against a page.
// Seeds (scripts/fuzz.sh): the movies Haxe compiles for the tests and, when present, ../shared/data/swf.
#include "capture/MovieFiles.h"
#include "swf/MovieBytes.h"
#include "swf/MovieReading.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view file(reinterpret_cast<const char*>(data), size);
    const std::optional<swf::MovieReading> reading = swf::ReadMovie(file);
    const std::optional<swf::MovieSummary> summary = swf::ReadMovieSummary(file);
    // The summary needs the frame header, which a whole reading holds too.
    Check(!summary || reading);
    if (!reading)
        return 0;
    Check(reading->decodedLength >= 8 && reading->decodedLength <= 8 + swf::kMostDecodedBytes);
    if (summary)
        Check(summary->widthTwips == reading->summary.widthTwips && summary->frameCount == reading->summary.frameCount);
    const capture::PageContext page{"http://example.com/games/index.html", "", ".", "a=b&c=levels/1.swf"};
    const auto files = capture::ResolveLoadedFiles(*reading, std::string("http://example.com/games/m/main.swf"), page);
    for (const capture::LoadedFile& loaded : files) {
        Check(!loaded.name.empty());
        Check(loaded.candidates.size() <= 2);
    }
    return 0;
}
