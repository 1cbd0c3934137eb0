#pragma once
// A reader over a byte slice that can never leave it: every read checks what is left, and a length
// read from the data can at most take the rest of the slice. A read past the end returns zero or an
// empty slice and marks the reader as run out, so callers test once, after a group of reads.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace swf {

class ByteReader {
public:
    explicit ByteReader(std::string_view bytes) : m_bytes(bytes) {}

    std::size_t Left() const { return m_bytes.size() - m_at; }
    std::size_t Position() const { return m_at; }
    bool AtEnd() const { return m_at >= m_bytes.size(); }
    // True once a read asked for more than was left.
    bool RanOut() const { return m_ranOut; }
    std::string_view Rest() const { return m_bytes.substr(m_at); }

    std::uint8_t U8()
    {
        if (m_at >= m_bytes.size()) {
            m_ranOut = true;
            return 0;
        }
        return static_cast<std::uint8_t>(m_bytes[m_at++]);
    }
    std::uint16_t U16()
    {
        const std::uint16_t low = U8();
        return static_cast<std::uint16_t>(low | U8() << 8);
    }
    std::uint32_t U32()
    {
        const std::uint32_t low = U16();
        return low | static_cast<std::uint32_t>(U16()) << 16;
    }

    // ABC's variable-length integer: up to five bytes, seven bits each, low bits first.
    std::uint32_t VarU32()
    {
        std::uint32_t value = 0;
        for (int shift = 0; shift < 35; shift += 7) {
            const std::uint8_t byte = U8();
            value |= static_cast<std::uint32_t>(byte & 0x7F) << shift;
            if ((byte & 0x80) == 0)
                break;
        }
        return value;
    }

    // The next `size` bytes, or all that is left when fewer remain (then RanOut() turns true).
    std::string_view Bytes(std::size_t size)
    {
        if (size > Left()) {
            m_ranOut = true;
            size = Left();
        }
        const std::string_view bytes = m_bytes.substr(m_at, size);
        m_at += size;
        return bytes;
    }
    void Skip(std::size_t size) { Bytes(size); }

    // A NUL-terminated string without its NUL; an unterminated one takes the rest and runs out.
    std::string_view String()
    {
        const std::string_view rest = Rest();
        const std::size_t nul = rest.find('\0');
        if (nul == std::string_view::npos) {
            m_ranOut = true;
            m_at = m_bytes.size();
            return rest;
        }
        m_at += nul + 1;
        return rest.substr(0, nul);
    }

private:
    std::string_view m_bytes;
    std::size_t m_at = 0;
    bool m_ranOut = false;
};

// Reads bit fields (most significant bit first), as the movie's rectangles and matrices are packed.
class BitReader {
public:
    explicit BitReader(ByteReader& bytes) : m_bytes(bytes) {}

    std::uint32_t Unsigned(unsigned count)
    {
        std::uint32_t value = 0;
        for (unsigned i = 0; i < count; ++i) {
            if (m_left == 0) {
                m_byte = m_bytes.U8();
                m_left = 8;
            }
            --m_left;
            value = value << 1 | ((m_byte >> m_left) & 1U);
        }
        return value;
    }
    std::int32_t Signed(unsigned count)
    {
        const std::uint32_t value = Unsigned(count);
        if (count == 0 || count > 31 || (value >> (count - 1) & 1U) == 0)
            return static_cast<std::int32_t>(value);
        return static_cast<std::int32_t>(value | ~((1U << count) - 1));
    }
    void Skip(unsigned count)
    {
        for (unsigned i = 0; i < count; ++i)
            Unsigned(1);
    }

private:
    ByteReader& m_bytes;
    std::uint8_t m_byte = 0;
    unsigned m_left = 0;
};

} // namespace swf
