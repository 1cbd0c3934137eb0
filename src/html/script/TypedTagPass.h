#pragma once
// The script finder's pass over the tags that name a movie by their type rather than by ".swf":
// <embed type="application/x-shockwave-flash" src>, <object type=... data>, the first <param name="movie"|"src">
// inside a Flash <object> (by type or class id), and the page's <base href>.
#include "html/script/ReferenceList.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace html::script {

struct TypedTagFindings {
    ReferenceList references;            // attribute values, character references undone
    std::optional<std::string> baseHref; // the first <base> with an href, as written
};

// Reads the tags of `pageText` the way a browser does (quoted values may hold ">"); the <base> is
// looked for in the head only.
TypedTagFindings CollectTypedTags(std::string_view pageText);

} // namespace html::script
