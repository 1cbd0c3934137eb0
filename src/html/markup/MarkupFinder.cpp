#include "html/markup/MarkupFinder.h"

#include "html/markup/LinkResolution.h"
#include "html/markup/MarkupScanner.h"

#include <cstring>

namespace html::markup {

namespace {

// The references of a qualifying tag text, taken from right to left without overlapping: each one
// ends at a ".swf" and starts after the nearest stop character before it, and the next is looked for
// only before that stop character. A ".swf" with no stop character before it ends the search, since
// none further left can have one. Every byte is looked at once, so a tag of many ".swf" stays linear.
void AddReferencesOf(SwfLinkSet& links, std::string_view pageAddress, std::string_view tagText)
{
    std::string_view previous;
    for (std::size_t end = tagText.size();;) {
        const SwfReference reference = PickSwfReference(tagText, end);
        if (reference.suffixAt == kNoPosition || reference.text.empty())
            return;
        // A tag that repeats one reference gives one link: resolve it once.
        if (reference.text != previous) {
            std::string link = ResolveLink(pageAddress, reference.text);
            if (!link.empty())
                links.insert(std::move(link));
            previous = reference.text;
        }
        end = static_cast<std::size_t>(reference.text.data() - tagText.data()) - 1; // the stop character
    }
}

void ScanPage(SwfLinkSet& links, std::string_view pageAddress, std::string_view pageText)
{
    links.clear();
    const char* const page = pageText.data();
    std::size_t position = 0;
    for (;;) {
        const std::size_t suffixAt = pageText.find(kMovieSuffix, position);
        if (suffixAt == std::string_view::npos)
            return;
        // Movie suffixes are rare, so skip the tags that cannot hold one. Every span closed before
        // the last ">" ahead of the suffix lies wholly before it. From that ">" the tag cursor finds
        // the same next span as the walk over every tag would: either the ">" closed a span, or no
        // "<" stands between it and the last span the walk closed.
        if (const void* close = memrchr(page + position, '>', suffixAt - position))
            position = static_cast<std::size_t>(static_cast<const char*>(close) - page);
        // A view into the page: no copy per tag.
        const std::string_view tagText = NextTagText(pageText, position, "<", ">");
        if (position == kNoPosition)
            return;
        if (tagText.size() >= kMinimumTagTextLength && tagText.find(kMovieSuffix) != std::string_view::npos)
            AddReferencesOf(links, pageAddress, tagText);
    }
}

} // namespace

void FindSwfLinks(SwfLinkSet& links, const std::string& pageAddress, const char* pageText)
{
    ScanPage(links, pageAddress, pageText ? std::string_view(pageText) : std::string_view{});
}

void FindSwfLinks(SwfLinkSet& links, std::string_view pageAddress, std::string_view pageText)
{
    ScanPage(links, pageAddress, pageText.substr(0, pageText.find('\0')));
}

} // namespace html::markup
