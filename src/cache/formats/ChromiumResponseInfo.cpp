#include "cache/formats/ChromiumResponseInfo.h"

#include "cache/formats/EntryBytes.h"

namespace cache {

namespace {

// Response info flags (HttpResponseInfo). Versions 1 and 2 differ from 3 only in how certificates are
// pickled, which lies behind the headers.
constexpr std::uint32_t kInfoVersionMask = 0xff;
constexpr std::uint32_t kOldestInfoVersion = 1;
constexpr std::uint32_t kNewestInfoVersion = 3;
constexpr std::uint32_t kInfoTruncated = 1u << 12;
constexpr std::uint32_t kInfoHasExtraFlags = 1u << 31;
constexpr std::uint32_t kExtraHasOriginalResponseTime = 1u << 2;

// Reads a base::Pickle payload: 32-bit fields, everything padded to 4 bytes.
class PickleReader {
public:
    explicit PickleReader(std::string_view payload) : m_payload(payload) {}

    std::optional<std::uint32_t> Int()
    {
        if (m_payload.size() - m_at < 4)
            return std::nullopt;
        const std::uint32_t value = LittleEndian32(m_payload, m_at);
        m_at += 4;
        return value;
    }
    bool SkipInt64() { return Skip(8); }
    std::optional<std::string_view> String()
    {
        const auto length = Int();
        if (!length || *length > m_payload.size() - m_at)
            return std::nullopt;
        const std::string_view text = m_payload.substr(m_at, *length);
        if (!Skip((*length + 3) & ~std::size_t{3}))
            return std::nullopt;
        return text;
    }

private:
    bool Skip(std::size_t count)
    {
        if (count > m_payload.size() - m_at)
            return false;
        m_at += count;
        return true;
    }

    std::string_view m_payload;
    std::size_t m_at = 0;
};

bool IsDigits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

} // namespace

std::uint32_t ChromiumPersistentHash(std::string_view data)
{
    if (data.empty())
        return 0;
    auto pair = [&](std::size_t at) {
        return std::uint32_t{static_cast<unsigned char>(data[at])}
        | (std::uint32_t{static_cast<unsigned char>(data[at + 1])} << 8);
    };
    auto signedByte = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(data[at])));
    };
    std::uint32_t hash = static_cast<std::uint32_t>(data.size());
    std::size_t at = 0;
    for (std::size_t blocks = data.size() / 4; blocks > 0; --blocks, at += 4) {
        hash += pair(at);
        const std::uint32_t tmp = (pair(at + 2) << 11) ^ hash;
        hash = (hash << 16) ^ tmp;
        hash += hash >> 11;
    }
    switch (data.size() % 4) {
    case 3:
        hash += pair(at);
        hash ^= hash << 16;
        hash ^= signedByte(at + 2) << 18;
        hash += hash >> 11;
        break;
    case 2:
        hash += pair(at);
        hash ^= hash << 11;
        hash += hash >> 17;
        break;
    case 1:
        hash += signedByte(at);
        hash ^= hash << 10;
        hash += hash >> 1;
        break;
    }
    hash ^= hash << 3;
    hash += hash >> 5;
    hash ^= hash << 4;
    hash += hash >> 17;
    hash ^= hash << 25;
    hash += hash >> 6;
    return hash;
}

Refusable<ChromiumResponseInfo> ReadChromiumResponseInfo(std::string_view stream0)
{
    if (stream0.size() < 4)
        return Refusal::NotAResponse;
    const std::uint32_t payloadSize = LittleEndian32(stream0, 0);
    if (payloadSize > stream0.size() - 4 || (stream0.size() - payloadSize) % 4 != 0)
        return Refusal::NotAResponse;
    PickleReader pickle(stream0.substr(stream0.size() - payloadSize));
    const auto flags = pickle.Int();
    if (!flags)
        return Refusal::NotAResponse;
    const std::uint32_t version = *flags & kInfoVersionMask;
    // Only a pickle that fills stream 0 exactly is taken for a newer response info rather than other data.
    if (version > kNewestInfoVersion && payloadSize == stream0.size() - 4)
        return Refusal::UnknownVersion;
    if (version < kOldestInfoVersion || version > kNewestInfoVersion)
        return Refusal::NotAResponse;
    std::uint32_t extraFlags = 0;
    if (*flags & kInfoHasExtraFlags) {
        const auto extra = pickle.Int();
        if (!extra)
            return Refusal::Damaged;
        extraFlags = *extra;
    }
    if (!pickle.SkipInt64() || !pickle.SkipInt64()) // request and response time
        return Refusal::Damaged;
    if ((extraFlags & kExtraHasOriginalResponseTime) && !pickle.SkipInt64())
        return Refusal::Damaged;
    const auto headers = pickle.String();
    if (!headers)
        return Refusal::Damaged;
    auto head = ParseResponseHead(*headers);
    if (!head)
        return Refusal::NotAResponse;
    return ChromiumResponseInfo{std::move(*head), (*flags & kInfoTruncated) != 0};
}

std::string_view AddressOfChromiumKey(std::string_view key)
{
    // The isolation prefix ends with a space, which a URL in a key never holds.
    const std::size_t space = key.rfind(' ');
    if (space != std::string_view::npos) {
        key.remove_prefix(space + 1);
    } else {
        // Numeric fields before the URL: a URL starts with its scheme, never with a digit.
        for (int field = 0; field < 2; ++field) {
            const std::size_t slash = key.find('/');
            if (slash == std::string_view::npos || !IsDigits(key.substr(0, slash)))
                break;
            key.remove_prefix(slash + 1);
        }
    }
    // Every address a browser caches has a scheme; a bare number is another kind of key.
    return key.find(':') == std::string_view::npos ? std::string_view() : key;
}

} // namespace cache
