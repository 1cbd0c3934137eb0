#include "html/script/ScriptFinder.h"

#include "html/MovieAddress.h"
#include "html/PageText.h"
#include "html/script/EmbedCallPass.h"
#include "html/script/ReferenceResolution.h"
#include "html/script/ScriptStrings.h"
#include "html/script/SwfSuffixPass.h"
#include "html/script/TypedTagPass.h"

namespace html::script {

ScriptFindings FindScriptReferences(std::string_view pageAddress, std::string_view pageText)
{
    pageText = PageTextOf(pageText);
    TypedTagFindings tags = CollectTypedTags(pageText);
    ScriptFindings findings{std::move(tags.references), {}, std::string(pageAddress)};
    ScriptStrings strings(pageText, pageAddress);
    std::vector<std::size_t> rebased;
    CollectEmbedCallMovies(pageText, strings, findings.references, rebased);
    CollectSwfSuffixValues(pageText, strings, rebased, findings.references, findings.notLinks);
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

} // namespace html::script
