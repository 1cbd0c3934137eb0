#pragma once
// The script finder's pass over the ".swf" written anywhere in a page: in script and JSON strings,
// in attribute values and FlashVars, escaped or not, and in literals joined with "+".
#include <string>
#include <string_view>
#include <vector>

namespace html {

// Appends to `references` the movie references whose ".swf" (any letter case) ends a string value of
// `pageText`, with escapes undone: the value must open with a quote (also an escaped or
// entity-written one) or follow an "=", and a value joined with "+" counts only when every part
// before it is a literal. Prose ("save it as intro.swf") gives nothing.
void CollectSwfLiterals(std::string_view pageText, std::vector<std::string>& references);

} // namespace html
