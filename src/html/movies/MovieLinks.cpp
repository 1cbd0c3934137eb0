#include "html/movies/MovieLinks.h"

#include "html/MovieAddress.h"
#include "html/PageText.h"
#include "html/markup/LinkResolution.h"
#include "html/markup/MarkupFinder.h"
#include "html/script/ScriptFinder.h"

namespace html {

void FindMovieLinks(SwfLinkSet& links, std::string_view pageAddress, std::string_view pageText)
{
    pageText = PageTextOf(pageText);
    const script::ScriptFindings findings = script::FindScriptReferences(pageAddress, pageText);
    markup::FindSwfLinks(links, findings.base, pageText);
    std::erase_if(links, [](const std::string& link) { return !IsPlausibleMovieAddress(link); });
    // The markup finder cuts a reference out of any text, also out of a string built with "+"
    // ("http://" + host + "/gateway.swf"): drop what it made of such a piece.
    for (const std::string_view piece : findings.notLinks.All())
        links.erase(markup::ResolveLink(findings.base, piece));
    script::AddMovieRows(links, findings.base, findings.references);
}

} // namespace html
