// libFuzzer target: arbitrary page addresses and page bytes through the markup finder.
// Input: the page address (FuzzedDataProvider's backslash-ended string), then the page bytes.
#include "html/markup/EveryTagWalk.h"
#include "html/markup/MarkupFinder.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

std::size_t CountSuffixes(std::string_view text)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(".swf"); at != std::string_view::npos; at = text.find(".swf", at + 1))
        ++count;
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    const std::string address = provider.ConsumeRandomLengthString(2048);
    const std::string page = provider.ConsumeRemainingBytesAsString();

    html::SwfLinkSet links = {"stale"};
    html::markup::FindSwfLinks(links, address, page.c_str());

    html::SwfLinkSet fromView;
    html::markup::FindSwfLinks(fromView, std::string_view(address), std::string_view(page));
    Check(links == fromView);
    Check(links == test::FindSwfLinksTagByTag(address, page));

    // Each link comes from its own ".swf" of the page text and keeps it at its end.
    const std::string_view text(page.c_str());
    Check(links.size() <= CountSuffixes(text));
    for (const std::string& link : links) {
        Check(link.size() >= 4 && link.ends_with(".swf"));
        Check(link.size() <= address.size() + 1 + text.size());
    }
    return 0;
}
