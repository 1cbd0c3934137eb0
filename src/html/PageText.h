#pragma once
// Page text as the page buffer holds it: the received bytes up to the first NUL, at most
// kPageTextLimit of them. Shared by everything that reads a page from a stream.
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace html {

// The 1 MiB page buffer less its terminating NUL.
inline constexpr std::size_t kPageTextLimit = 1'048'575;

// Collects a body chunk by chunk. Bytes after the first NUL or past the limit are dropped, so a
// reader can go on reading a body to its end without storing it.
class PageText {
public:
    void Append(std::string_view bytes);
    // True once a NUL has arrived or the limit is reached: nothing more will be kept.
    bool Ended() const { return m_bEnded; }
    const std::string& Text() const { return m_strText; }
    std::string Take() && { return std::move(m_strText); }

private:
    std::string m_strText;
    bool m_bEnded = false;
};

// The page text the finders read out of `bytes`: those before the first NUL, at most kPageTextLimit.
std::string_view PageTextOf(std::string_view bytes);

// Reads `in` to its end and returns its page text. Throws std::system_error when a read fails.
std::string ReadPageText(std::FILE* in);

} // namespace html
