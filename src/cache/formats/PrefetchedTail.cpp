#include "cache/formats/PrefetchedTail.h"

#include <algorithm>

namespace cache {

bool PrefetchedTail::Read(std::size_t length)
{
    const std::uint64_t size = m_bytes.Size();
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(size, length));
    m_start = size - wanted;
    return m_bytes.ReadAt(m_start, wanted, m_tail);
}

bool PrefetchedTail::Range(std::uint64_t offset, std::size_t length, std::string& spare, std::string_view& out) const
{
    if (!m_bytes.Holds(offset, length))
        return false;
    if (offset >= m_start) {
        out = Bytes().substr(static_cast<std::size_t>(offset - m_start), length);
        return true;
    }
    if (!m_bytes.ReadAt(offset, length, spare))
        return false;
    out = spare;
    return true;
}

std::string_view PrefetchedTail::HeldAt(std::uint64_t offset, std::size_t length) const
{
    if (offset < m_start || offset - m_start >= m_tail.size())
        return {};
    return Bytes().substr(static_cast<std::size_t>(offset - m_start), length);
}

} // namespace cache
