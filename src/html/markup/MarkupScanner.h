#pragma once
// Reads page text as "<" ... ">" spans (tag texts) and picks movie references out of a tag text.
// It knows no tag or attribute names, entities, comments or scripts: every span is a candidate, and a
// reference is found only by its ".swf" suffix and the "=", '"' or "'" in front of its value.
#include <cstddef>
#include <string_view>

namespace html::markup {

// Scan position meaning "no further tag text" (all bits set).
inline constexpr std::size_t kNoPosition = std::string_view::npos;

// The movie suffix, matched byte for byte (".SWF" is not a movie).
inline constexpr std::string_view kMovieSuffix = ".swf";

// Returns the tag text of the next complete span at or after `position`, as a view into `pageText`,
// and leaves `position` at that span's closing delimiter (not after it: the next search starts on it).
// When no complete span is left, returns an empty text and sets `position` to kNoPosition.
// A tag text with a double quote among its last two bytes loses its first and last byte, whatever
// they are; nothing else is trimmed. The delimiters must not be empty.
std::string_view NextTagText(std::string_view pageText, std::size_t& position, std::string_view open = "<",
                             std::string_view close = ">");

struct SwfReference {
    // From just after the stop character up to and including ".swf"; empty when no stop character
    // stands before the suffix inside the tag text.
    std::string_view text;
    // Offset of the suffix's "." in the tag text; kNoPosition when no suffix was found.
    std::size_t suffixAt = kNoPosition;
};

// The reference ended by the rightmost ".swf" that lies wholly inside the first `end` bytes of
// `tagText`. Passing the previous result's suffixAt as `end` steps to the next reference leftwards.
SwfReference PickSwfReference(std::string_view tagText, std::size_t end = kNoPosition);

} // namespace html::markup
