#include "html/SwfLinks.h"

#include "html/LinkResolution.h"
#include "html/MarkupScanner.h"

#include <cstring>

namespace html {

namespace {

// Every ".swf" of a qualifying tag text ends a reference of its own.
void AddReferencesOf(SwfLinkSet& links, std::string_view pageAddress, std::string_view tagText)
{
    for (std::size_t end = tagText.size();;) {
        const SwfReference reference = PickSwfReference(tagText, end);
        if (reference.suffixAt == kNoPosition)
            return;
        if (!reference.text.empty()) {
            std::string link = ResolveLink(pageAddress, reference.text);
            if (!link.empty())
                links.insert(std::move(link));
        }
        end = reference.suffixAt;
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

} // namespace html
