#pragma once
// The markup finder: every tag text that can hold a reference is picked from, and each reference is
// resolved against the page address.
#include "html/SwfLinkSet.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace html::markup {

// Tag texts shorter than this (after the quote trim) are never picked from.
inline constexpr std::size_t kMinimumTagTextLength = 12;

// Empties `links` and fills it with the resolved movie addresses of `pageText`, a NUL-terminated
// page text. A qualifying tag text gives its references from right to left, none overlapping another:
// "player.swf?file=intro.swf" gives both movies, "a/b.swf/c.swf" only the whole path.
void FindSwfLinks(SwfLinkSet& links, const std::string& pageAddress, const char* pageText);

// The same for a page text given as a view; bytes from its first NUL on are not scanned.
void FindSwfLinks(SwfLinkSet& links, std::string_view pageAddress, std::string_view pageText);

} // namespace html::markup
