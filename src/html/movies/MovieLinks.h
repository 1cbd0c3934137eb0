#pragma once
// The page's movie rows: the markup finder's links and the script finder's addresses in one set.
// plumeroc-grab --literal uses the markup finder (markup::FindSwfLinks) alone instead.
#include "html/SwfLinkSet.h"

#include <string_view>

namespace html {

// Empties `links` and fills it with the markup finder's links that are plausible addresses
// (IsPlausibleMovieAddress) and not made from a piece of a string built with a variable, then the
// script finder's rows; the set keeps each address once, in ascending byte order. Both finders
// resolve against the page's <base href> when it has one.
void FindMovieLinks(SwfLinkSet& links, std::string_view pageAddress, std::string_view pageText);

} // namespace html
