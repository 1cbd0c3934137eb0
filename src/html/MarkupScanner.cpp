#include "html/MarkupScanner.h"

#include <algorithm>

namespace html {

namespace {

// The bytes that can open an attribute value; blanks and line breaks are ordinary bytes.
constexpr std::string_view kStopCharacters = "=\"'";

// Single-byte delimiters are the only ones in use: search them with memchr.
std::size_t Find(std::string_view text, std::string_view what, std::size_t from)
{
    return what.size() == 1 ? text.find(what.front(), from) : text.find(what, from);
}

} // namespace

std::string_view NextTagText(std::string_view pageText, std::size_t& position, std::string_view open,
                             std::string_view close)
{
    if (position > pageText.size()) {
        position = kNoPosition;
        return {};
    }
    const std::size_t openAt = Find(pageText, open, position);
    if (openAt == std::string_view::npos) {
        position = kNoPosition;
        return {};
    }
    const std::size_t start = openAt + open.size();
    const std::size_t closeAt = Find(pageText, close, start);
    if (closeAt == std::string_view::npos) {
        position = kNoPosition;
        return {};
    }
    position = closeAt;

    std::string_view tagText = pageText.substr(start, closeAt - start);
    const std::size_t n = tagText.size();
    if (n >= 2 && (tagText[n - 1] == '"' || tagText[n - 2] == '"'))
        tagText = tagText.substr(1, n - 2);
    return tagText;
}

SwfReference PickSwfReference(std::string_view tagText, std::size_t end)
{
    const std::string_view searched = tagText.substr(0, std::min(end, tagText.size()));
    const std::size_t suffixAt = searched.rfind(kMovieSuffix);
    if (suffixAt == std::string_view::npos)
        return {};
    // The "." at suffixAt is no stop character, so the search may start on it.
    const std::size_t stopAt = tagText.find_last_of(kStopCharacters, suffixAt);
    if (stopAt == std::string_view::npos)
        return {{}, suffixAt};
    const std::size_t first = stopAt + 1;
    return {tagText.substr(first, suffixAt + kMovieSuffix.size() - first), suffixAt};
}

} // namespace html
