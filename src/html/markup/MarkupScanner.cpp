#include "html/markup/MarkupScanner.h"

#include <algorithm>
#include <cstring>

namespace html::markup {

namespace {

// The bytes that can open an attribute value; blanks and line breaks are ordinary bytes.
constexpr bool IsStopCharacter(char c) { return c == '=' || c == '"' || c == '\''; }

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
    const std::size_t searched = std::min(end, tagText.size());
    const char* const text = tagText.data();
    const auto referenceEndingAt = [&](std::size_t suffixAt) -> SwfReference {
        std::size_t first = suffixAt;
        while (first > 0 && !IsStopCharacter(text[first - 1]))
            --first;
        if (first == 0) // no stop character before the suffix
            return {{}, suffixAt};
        return {tagText.substr(first, suffixAt + kMovieSuffix.size() - first), suffixAt};
    };
    // References often follow one another: look right before `end` first.
    if (searched >= kMovieSuffix.size()
        && tagText.substr(searched - kMovieSuffix.size(), kMovieSuffix.size()) == kMovieSuffix)
        return referenceEndingAt(searched - kMovieSuffix.size());
    // Walk back over the "." bytes: memrchr is far quicker than comparing four bytes at every offset.
    for (std::size_t limit = searched; limit >= kMovieSuffix.size();) {
        const void* dot = memrchr(text, '.', limit - kMovieSuffix.size() + 1);
        if (!dot)
            break;
        const auto suffixAt = static_cast<std::size_t>(static_cast<const char*>(dot) - text);
        if (tagText.substr(suffixAt, kMovieSuffix.size()) == kMovieSuffix)
            return referenceEndingAt(suffixAt);
        limit = suffixAt + kMovieSuffix.size() - 1;
    }
    return {};
}

} // namespace html::markup
