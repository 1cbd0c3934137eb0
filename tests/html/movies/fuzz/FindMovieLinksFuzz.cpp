// libFuzzer target: arbitrary page addresses and page bytes through the script finder and both
// finders together. Input: the page address (FuzzedDataProvider's backslash-ended string), then the
// page bytes. Checks every row is a plausible address, every plausible markup link is kept, and
// nothing after the first NUL counts.
#include "html/MovieAddress.h"
#include "html/PageText.h"
#include "html/markup/LinkResolution.h"
#include "html/markup/MarkupFinder.h"
#include "html/movies/MovieLinks.h"
#include "html/script/ScriptFinder.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {
void Check(bool condition)
{
    if (!condition)
        std::abort();
}

bool AllPlausible(const html::SwfLinkSet& links)
{
    return std::all_of(links.begin(), links.end(),
                       [](const std::string& link) { return html::IsPlausibleMovieAddress(link); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider provider(data, size);
    const std::string address = provider.ConsumeRandomLengthString(2048);
    const std::string page = provider.ConsumeRemainingBytesAsString();
    const std::string_view text = html::PageTextOf(page);

    html::SwfLinkSet script = {"stale"};
    html::script::FindScriptMovieLinks(script, address, page);
    Check(AllPlausible(script));

    html::SwfLinkSet both = {"stale"};
    html::FindMovieLinks(both, address, page);
    Check(AllPlausible(both));
    Check(std::includes(both.begin(), both.end(), script.begin(), script.end()));

    // Every markup link that is plausible and not cut from a string built with a variable stays.
    const html::script::ScriptFindings findings = html::script::FindScriptReferences(address, page);
    html::SwfLinkSet markup;
    html::markup::FindSwfLinks(markup, findings.base, text);
    for (const std::string_view piece : findings.notLinks.All())
        markup.erase(html::markup::ResolveLink(findings.base, piece));
    for (const std::string& link : markup)
        Check(!html::IsPlausibleMovieAddress(link) || both.count(link) == 1);

    // Bytes after the first NUL are never read: the same page with other bytes there gives the same.
    if (text.size() < page.size()) {
        std::string other(text);
        other += '\0';
        other += "<embed src=\"after-nul.swf\"> embedSWF(\"x\") AC_FL_RunContent('movie','y')";
        html::SwfLinkSet otherBoth;
        html::FindMovieLinks(otherBoth, address, other);
        Check(otherBoth == both);
        html::SwfLinkSet otherScript;
        html::script::FindScriptMovieLinks(otherScript, address, other);
        Check(otherScript == script);
    }
    return 0;
}
