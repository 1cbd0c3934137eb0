#pragma once
// Small helpers on byte strings and files that several parts of the core need.
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

// ASCII letters compare without regard to case; every other byte must match exactly.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);
bool EndsWithIgnoringAsciiCase(std::string_view text, std::string_view suffix);

// The value of a hexadecimal digit in either case; -1 for any other byte.
constexpr int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The byte a "%XX" escape at `at` of `text` stands for; -1 when there is no valid escape there.
int PercentEscapedByte(std::string_view text, std::size_t at);

// The length of the valid UTF-8 sequence starting at `text[at]`, or 0 when none starts there
// (overlong forms, surrogates and values past U+10FFFF are not valid).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at);
bool IsValidUtf8(std::string_view text);

// `text` without the bytes of `blanks` at either end.
std::string_view Trimmed(std::string_view text, std::string_view blanks = " \t\r\n");

// `bytes` with every byte for which `mustEncode` holds written as "%XX" (upper-case hex).
template <class Predicate>
std::string PercentEncoded(std::string_view bytes, Predicate mustEncode)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (mustEncode(byte)) {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 0x0F];
        } else {
            encoded += c;
        }
    }
    return encoded;
}

// Writes all `size` bytes to `fd`, going on after interrupted and short writes. Returns 0, or the
// errno of the write that failed.
int WriteAll(int fd, const char* data, std::size_t size);

// True for a regular file (after following links); false for anything else and on any error.
bool IsRegularFile(const std::filesystem::path& file);

} // namespace platform
