#include "html/script/TextEscapes.h"

#include "html/MovieAddress.h"
#include "platform/Bytes.h"

#include <array>
#include <cstdint>

namespace html::script {

namespace {

using platform::HexDigitValue;

// Reads up to `maxDigits` hex digits at `at`; returns the count read and the value.
std::size_t ReadHex(std::string_view text, std::size_t at, std::size_t maxDigits, std::uint32_t& value)
{
    value = 0;
    std::size_t n = 0;
    while (n < maxDigits && at + n < text.size() && HexDigitValue(text[at + n]) >= 0) {
        value = value * 16 + static_cast<std::uint32_t>(HexDigitValue(text[at + n]));
        ++n;
    }
    return n;
}

void AppendUtf8(std::string& out, std::uint32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

struct NamedReference {
    std::string_view name;
    char byte;
};

// The named references that can stand for a byte of an address or of the quotes around it.
constexpr std::array kNamedReferences = {
    NamedReference{"amp", '&'},    NamedReference{"quot", '"'},   NamedReference{"apos", '\''},
    NamedReference{"lt", '<'},     NamedReference{"gt", '>'},     NamedReference{"sol", '/'},
    NamedReference{"colon", ':'},  NamedReference{"period", '.'}, NamedReference{"quest", '?'},
    NamedReference{"equals", '='}, NamedReference{"num", '#'},    NamedReference{"percnt", '%'},
    NamedReference{"lowbar", '_'}, NamedReference{"plus", '+'},   NamedReference{"semi", ';'},
};

// The reference at `at` (a "&"): its length and what it is written into `out`; 0 when none.
std::size_t DecodeReferenceAt(std::string_view text, std::size_t at, std::string& out)
{
    const std::string_view rest = text.substr(at + 1);
    if (rest.starts_with('#')) {
        const bool hex = rest.size() > 1 && (rest[1] == 'x' || rest[1] == 'X');
        const std::size_t digitsAt = hex ? 2 : 1;
        std::uint32_t code = 0;
        std::size_t n = 0;
        if (hex) {
            n = ReadHex(rest, digitsAt, 6, code);
        } else {
            while (n < 7 && digitsAt + n < rest.size() && rest[digitsAt + n] >= '0' && rest[digitsAt + n] <= '9') {
                code = code * 10 + static_cast<std::uint32_t>(rest[digitsAt + n] - '0');
                ++n;
            }
        }
        if (n == 0 || code == 0 || code > 0x10FFFF)
            return 0;
        std::size_t length = 1 + digitsAt + n;
        if (digitsAt + n < rest.size() && rest[digitsAt + n] == ';')
            ++length; // browsers also take a number without its ";"
        AppendUtf8(out, code);
        return length;
    }
    for (const NamedReference& named : kNamedReferences) {
        if (rest.size() > named.name.size() && rest.starts_with(named.name) && rest[named.name.size()] == ';') {
            out += named.byte;
            return named.name.size() + 2;
        }
    }
    return 0;
}

} // namespace

std::string DecodeCharacterReferences(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '&') {
            if (const std::size_t length = DecodeReferenceAt(text, i, out)) {
                i += length;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

std::string DecodeScriptEscapes(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i++];
            continue;
        }
        const char kind = text[i + 1];
        std::uint32_t code = 0;
        if (kind == 'x' && ReadHex(text, i + 2, 2, code) == 2) {
            AppendUtf8(out, code);
            i += 4;
        } else if (kind == 'u' && ReadHex(text, i + 2, 4, code) == 4) {
            AppendUtf8(out, code);
            i += 6;
        } else {
            out += kind; // "\/", "\"", "\\" and the like
            i += 2;
        }
    }
    return out;
}

std::string DecodePercentEscapes(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (const int byte = platform::PercentEscapedByte(text, i); byte >= 0) {
            out += static_cast<char>(byte);
            i += 3;
        } else {
            out += text[i++];
        }
    }
    return out;
}

bool HasEncodedAddress(std::string_view text)
{
    if (text.size() >= 3 && platform::EqualsIgnoringAsciiCase(text.substr(0, 3), "%2f"))
        return true;
    for (std::size_t at = text.find('%'); at != std::string_view::npos; at = text.find('%', at + 1)) {
        if (StartsEncodedSchemeEnd(text.substr(at)))
            return true;
    }
    return false;
}

} // namespace html::script
