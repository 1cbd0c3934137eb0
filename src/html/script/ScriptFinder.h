#pragma once
// The script finder: the movies a page names in scripts and JSON, in escaped attribute values and in
// typed embeds, resolved as a browser resolves them. Works on the same page text as the markup finder.
#include "html/SwfLinkSet.h"
#include "html/script/ReferenceList.h"

#include <string>
#include <string_view>

namespace html::script {

// What the script finder read from a page, before resolution.
struct ScriptFindings {
    ReferenceList references; // escapes undone, possibly relative; views into the page text
    ReferenceList notLinks;   // pieces of strings built with "+": no addresses of their own
    std::string base;         // the page address, or the page's <base href> resolved against it
};

// The references of `pageText` (up to its first NUL, at most kPageTextLimit bytes), and the address
// they hang under.
ScriptFindings FindScriptReferences(std::string_view pageAddress, std::string_view pageText);

// Resolves each reference against `base` and adds the plausible rows (MovieRowOf) to `links`.
void AddMovieRows(SwfLinkSet& links, std::string_view base, const ReferenceList& references);

// Empties `links` and fills it with the script finder's rows of `pageText`.
void FindScriptMovieLinks(SwfLinkSet& links, std::string_view pageAddress, std::string_view pageText);

} // namespace html::script
