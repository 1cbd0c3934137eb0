#pragma once
// The status line and headers a browser stored with a cached response.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cache {

struct ResponseHead {
    int status = 0;
    std::vector<std::pair<std::string, std::string>> headers; // in the order stored, names as sent

    // Every header named `name` (letter case aside), values joined with ", " as HTTP joins list headers;
    // nothing when there is none.
    std::optional<std::string> Value(std::string_view name) const;

    // The declared body length. Outer nothing: no Content-Length; inner nothing: one that is not a plain
    // number, or several that disagree.
    std::optional<std::optional<std::uint64_t>> ContentLength() const;
};

// Reads "HTTP/x 200 Reason" and "Name: value" lines. Firefox separates them with CR LF, Chromium with NUL
// bytes; any of CR, LF and NUL ends a line here. Nothing when the first line is not an HTTP status line.
std::optional<ResponseHead> ParseResponseHead(std::string_view text);

// The blanks HTTP allows around header values and list items.
inline constexpr std::string_view kHeaderBlanks = " \t";

} // namespace cache
