#include "html/ScriptFinder.h"

#include "html/FlashCalls.h"
#include "html/FlashTags.h"
#include "html/MovieAddress.h"
#include "html/PageText.h"
#include "html/ReferenceResolution.h"
#include "html/SwfLiterals.h"

namespace html {

std::string_view PageTextOf(std::string_view bytes)
{
    return bytes.substr(0, std::min(bytes.find('\0'), kPageTextLimit));
}

ScriptFindings FindScriptReferences(std::string_view pageAddress, std::string_view pageText)
{
    pageText = PageTextOf(pageText);
    FlashTagFindings tags = CollectFlashTags(pageText);
    ScriptFindings findings{std::move(tags.references), {}, std::string(pageAddress)};
    CollectSwfLiterals(pageText, findings.references, findings.fragments);
    CollectFlashCallMovies(pageText, findings.references);
    if (tags.baseHref) {
        // A base that cannot be resolved, or is no web address, is ignored, as browsers ignore it.
        std::optional<std::string> base = ResolveReference(pageAddress, *tags.baseHref);
        if (base && IsPlausibleMovieAddress(*base))
            findings.base = std::move(*base);
    }
    return findings;
}

void AddMovieRows(SwfLinkSet& links, std::string_view base, const ReferenceList& references)
{
    const ReferenceResolver resolver(base);
    for (const std::string_view reference : references.All()) {
        std::optional<std::string> row = resolver.Resolve(reference);
        if (!row)
            continue;
        CutToMovieRow(*row);
        if (IsPlausibleMovieAddress(*row))
            links.insert(std::move(*row));
    }
}

void FindScriptMovieLinks(SwfLinkSet& links, std::string_view pageAddress, std::string_view pageText)
{
    links.clear();
    const ScriptFindings findings = FindScriptReferences(pageAddress, pageText);
    AddMovieRows(links, findings.base, findings.references);
}

} // namespace html
