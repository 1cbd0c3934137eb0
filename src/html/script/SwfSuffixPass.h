#pragma once
// The script finder's pass over the ".swf" written anywhere in a page: in script and JSON strings,
// in attribute values and FlashVars, escaped or not, and in literals joined with "+".
#include "html/script/ReferenceList.h"

#include <string_view>

namespace html::script {

// Appends to `references` the movie references whose ".swf" (any letter case) ends a string value of
// `pageText`, with escapes undone: the value must open with a quote (also an escaped or
// entity-written one inside a tag) or follow an "=", and a value joined with "+" counts only when
// every part before it is a literal. Prose ("save it as intro.swf") gives nothing. The values joined
// to a variable go to `fragments`: whatever address the markup finder makes of them is wrong.
void CollectSwfSuffixValues(std::string_view pageText, ReferenceList& references, ReferenceList& fragments);

} // namespace html::script
