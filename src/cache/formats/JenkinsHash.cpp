#include "cache/formats/JenkinsHash.h"

#include "cache/formats/EntryBytes.h"

namespace cache {

namespace {

void Mix(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c)
{
    a -= b, a -= c, a ^= (c >> 13);
    b -= c, b -= a, b ^= (a << 8);
    c -= a, c -= b, c ^= (b >> 13);
    a -= b, a -= c, a ^= (c >> 12);
    b -= c, b -= a, b ^= (a << 16);
    c -= a, c -= b, c ^= (b >> 5);
    a -= b, a -= c, a ^= (c >> 3);
    b -= c, b -= a, b ^= (a << 10);
    c -= a, c -= b, c ^= (b >> 15);
}

} // namespace

std::uint32_t JenkinsHash(std::string_view data)
{
    std::uint32_t a = 0x9e3779b9u, b = 0x9e3779b9u, c = 0;
    std::size_t at = 0;
    for (; data.size() - at >= 12; at += 12) {
        a += LittleEndian32(data, at);
        b += LittleEndian32(data, at + 4);
        c += LittleEndian32(data, at + 8);
        Mix(a, b, c);
    }
    c += static_cast<std::uint32_t>(data.size());
    // The last 0 to 11 bytes; c's lowest byte holds the length.
    for (std::size_t i = 0; at + i < data.size(); ++i) {
        const std::uint32_t byte = static_cast<unsigned char>(data[at + i]);
        if (i < 4)
            a += byte << (8 * i);
        else if (i < 8)
            b += byte << (8 * (i - 4));
        else
            c += byte << (8 * (i - 7));
    }
    Mix(a, b, c);
    return c;
}

} // namespace cache
