#include "html/MovieLinks.h"

#include "html/LinkResolution.h"
#include "html/MovieAddress.h"
#include "html/ScriptFinder.h"

#include <iterator>

namespace html {

void FindMovieLinks(SwfLinkSet& links, std::string_view pageAddress, std::string_view pageText)
{
    pageText = PageTextOf(pageText);
    const ScriptFindings findings = FindScriptReferences(pageAddress, pageText);
    FindSwfLinks(links, findings.base, pageText);
    std::erase_if(links, [](const std::string& link) { return !IsPlausibleMovieAddress(link); });
    // The markup finder cuts a reference out of any text, also out of a string built with a variable
    // ("http://" + host + "/gateway.swf"): drop what it made of such a piece.
    for (const std::string_view fragment : findings.fragments.All())
        links.erase(ResolveLink(findings.base, fragment));
    AddMovieRows(links, findings.base, findings.references);
}

} // namespace html
