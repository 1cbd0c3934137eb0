#pragma once
// The link finder written the slow, obvious way: every tag text of the page in turn. The real one
// skips tags that cannot hold a movie suffix; tests and the fuzz target check that both agree.
#include "html/LinkResolution.h"
#include "html/MarkupScanner.h"
#include "html/SwfLinks.h"

#include <string_view>

namespace test {

inline html::SwfLinkSet FindSwfLinksTagByTag(std::string_view pageAddress, std::string_view pageText)
{
    html::SwfLinkSet links;
    pageText = pageText.substr(0, pageText.find('\0'));
    std::size_t position = 0;
    while (position != html::kNoPosition) {
        const std::string_view tagText = html::NextTagText(pageText, position);
        if (tagText.size() < html::kMinimumTagTextLength || tagText.find(".swf") == std::string_view::npos)
            continue;
        for (std::size_t end = tagText.size();;) {
            const html::SwfReference reference = html::PickSwfReference(tagText, end);
            if (reference.suffixAt == html::kNoPosition)
                break;
            if (!reference.text.empty())
                links.insert(html::ResolveLink(pageAddress, reference.text));
            end = reference.suffixAt;
        }
    }
    return links;
}

} // namespace test
