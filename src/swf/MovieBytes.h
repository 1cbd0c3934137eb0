#pragma once
// A movie's bytes after its 8-byte header, decoded: as they are for "FWS", inflated from byte 8 for
// "CWS" (zlib), and for "ZWS" (LZMA) from the raw stream after the compressed length (bytes 8-11)
// and the LZMA properties (bytes 12-16). Decoding never trusts the declared length: memory grows
// with what the stream really gives, and stops at the budget.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace swf {

// The most of decoded movie one reading holds, embedded movies included.
inline constexpr std::size_t kMostDecodedBytes = std::size_t{256} << 20;

enum class Compression { None, Zlib, Lzma };

// What is left of a reading's budget of decoded bytes, shared by a movie and those embedded in it.
struct DecodeBudget {
    std::size_t left = kMostDecodedBytes;
};

class MovieBytes {
public:
    // Null when `file` does not start with a movie's signature and header; otherwise the body
    // decoded as far as the stream goes, `budget` allows and `wanted` asks (the whole body when
    // not given). A stream that breaks off leaves what was decoded before it.
    static std::optional<MovieBytes> Open(std::string_view file, DecodeBudget& budget,
                                          std::optional<std::size_t> wanted = std::nullopt);

    std::string_view Signature() const;
    Compression Compressed() const { return m_compression; }
    std::uint8_t Version() const { return m_nVersion; }
    std::uint32_t DeclaredLength() const { return m_nDeclaredLength; }
    // The bytes after the 8-byte header (a view into the file for "FWS").
    std::string_view Body() const
    {
        return m_compression == Compression::None ? m_plain : std::string_view(m_decoded.get(), m_nDecodedSize);
    }
    // The header and the body as far as it could be had; shorter than declared means truncated.
    std::uint64_t DecodedLength() const { return 8 + Body().size(); }
    // The stream ended early, was damaged, or the budget ran out.
    bool StreamBroken() const { return m_bStreamBroken; }

    struct FreeBytes {
        void operator()(char* bytes) const { std::free(bytes); }
    };
    // Decoded bytes live in memory from malloc: room set aside for a large declared length is only
    // address space until the stream fills it, and realloc grows it without copying.
    using DecodedBuffer = std::unique_ptr<char, FreeBytes>;

private:
    Compression m_compression = Compression::None;
    std::uint8_t m_nVersion = 0;
    std::uint32_t m_nDeclaredLength = 0;
    std::string_view m_plain;
    DecodedBuffer m_decoded;
    std::size_t m_nDecodedSize = 0;
    bool m_bStreamBroken = false;
};

} // namespace swf
