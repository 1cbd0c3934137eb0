#pragma once
// The markup finder written the slow, obvious way: every tag text of the page in turn. The real one
// skips tags that cannot hold a movie suffix; tests and the fuzz target check that both agree.
#include "html/markup/LinkResolution.h"
#include "html/markup/MarkupFinder.h"
#include "html/markup/MarkupScanner.h"

#include <string_view>

namespace test {

inline html::SwfLinkSet FindSwfLinksTagByTag(std::string_view pageAddress, std::string_view pageText)
{
    html::SwfLinkSet links;
    pageText = pageText.substr(0, pageText.find('\0'));
    std::size_t position = 0;
    while (position != html::markup::kNoPosition) {
        const std::string_view tagText = html::markup::NextTagText(pageText, position);
        if (tagText.size() < html::markup::kMinimumTagTextLength || tagText.find(".swf") == std::string_view::npos)
            continue;
        // Right to left, each reference ending at a ".swf" and starting after the nearest stop
        // character before it; the next only before that stop character.
        std::size_t end = tagText.size();
        for (std::size_t at = end; at-- > 0;) {
            if (at + 4 > end || tagText.substr(at, 4) != ".swf")
                continue;
            const std::size_t stop = tagText.find_last_of("=\"'", at);
            if (stop == std::string_view::npos)
                break;
            links.insert(html::markup::ResolveLink(pageAddress, tagText.substr(stop + 1, at + 4 - stop - 1)));
            end = stop;
            at = stop;
        }
    }
    return links;
}

} // namespace test
