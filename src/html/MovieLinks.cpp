#include "html/MovieLinks.h"

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
    AddMovieRows(links, findings.base, findings.references);
}

} // namespace html
