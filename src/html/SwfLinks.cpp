#include "html/SwfLinks.h"

#include "html/LinkResolution.h"
#include "html/MarkupScanner.h"

namespace html {

namespace {

void ScanPage(SwfLinkSet& links, std::string_view pageAddress, std::string_view pageText)
{
    links.clear();
    std::size_t position = 0;
    do {
        // A view into the page: no copy per tag, which keeps the scan near the speed of reading.
        const std::string_view tagText = NextTagText(pageText, position, "<", ">");
        if (tagText.size() < kMinimumTagTextLength || tagText.find(kMovieSuffix) == std::string_view::npos)
            continue;
        for (std::size_t end = tagText.size();;) {
            const SwfReference reference = PickSwfReference(tagText, end);
            if (reference.suffixAt == kNoPosition)
                break;
            if (!reference.text.empty()) {
                std::string link = ResolveLink(pageAddress, reference.text);
                if (!link.empty())
                    links.insert(std::move(link));
            }
            end = reference.suffixAt;
        }
    } while (position != kNoPosition);
}

} // namespace

void FindSwfLinks(SwfLinkSet& links, std::string pageAddress, const char* pageText)
{
    ScanPage(links, pageAddress, pageText ? std::string_view(pageText) : std::string_view{});
}

void FindSwfLinks(SwfLinkSet& links, std::string_view pageAddress, std::string_view pageText)
{
    ScanPage(links, pageAddress, pageText.substr(0, pageText.find('\0')));
}

} // namespace html
