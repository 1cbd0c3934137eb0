#include "html/PageText.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace html {

void PageText::Append(std::string_view bytes)
{
    if (m_bEnded)
        return;
    const std::size_t nulAt = bytes.find('\0');
    const std::size_t room = kPageTextLimit - m_strText.size();
    const std::size_t kept = std::min({nulAt, bytes.size(), room});
    m_strText.append(bytes.substr(0, kept));
    m_bEnded = nulAt != std::string_view::npos || m_strText.size() == kPageTextLimit;
}

std::string_view PageTextOf(std::string_view bytes)
{
    return bytes.substr(0, std::min(bytes.find('\0'), kPageTextLimit));
}

std::string ReadPageText(std::FILE* in)
{
    PageText text;
    char chunk[4096];
    for (;;) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, in);
        const int readError = std::ferror(in) ? (errno != 0 ? errno : EIO) : 0;
        text.Append({chunk, n});
        if (readError != 0)
            throw std::system_error(readError, std::generic_category(), "cannot read");
        if (n < sizeof chunk)
            break;
    }
    return std::move(text).Take();
}

} // namespace html
