#pragma once
// The script finder's pass over the ".swf" written anywhere in a page: in script and JSON strings,
// in attribute values and FlashVars, escaped or not, and in literals joined with "+".
#include "html/script/ReferenceList.h"
#include "html/script/ScriptStrings.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace html::script {

// Appends to `references` the movie references whose ".swf" (any letter case) ends a string value of
// `pageText`, with escapes undone: the value must open with a quote (also an escaped or
// entity-written one inside a tag) or follow an "=", or be an address that is the whole text of an
// element in an escaped value; a value joined with "+" counts when every part before it stands for
// a known string (`strings`). Prose ("save it as intro.swf", the movie is "intro.swf") gives nothing,
// nor do the literals at `rebased` (ascending offsets), which a player puts under another address.
// The pieces of joined strings go to `notLinks`: whatever address the markup finder makes of them
// alone is wrong.
void CollectSwfSuffixValues(std::string_view pageText, ScriptStrings& strings, const std::vector<std::size_t>& rebased,
                            ReferenceList& references, ReferenceList& notLinks);

} // namespace html::script
