#include "cache/formats/PayloadDigest.h"

#include "platform/Bytes.h"

#include <openssl/evp.h>

#include <algorithm>

namespace cache {

namespace {

constexpr char kBase32Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
constexpr char kHex[] = "0123456789abcdef";

struct FreeContext {
    void operator()(EVP_MD_CTX* context) const { ::EVP_MD_CTX_free(context); }
};
using Context = std::unique_ptr<EVP_MD_CTX, FreeContext>;

Context NewContext(const EVP_MD* type)
{
    Context context(::EVP_MD_CTX_new());
    if (!context || ::EVP_DigestInit_ex(context.get(), type, nullptr) != 1)
        return nullptr;
    return context;
}

std::string Finished(const Context& context)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!context || ::EVP_DigestFinal_ex(context.get(), digest, &size) != 1)
        return {};
    return std::string(reinterpret_cast<const char*>(digest), size);
}

std::string Hexadecimal(std::string_view bytes)
{
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text += kHex[byte >> 4];
        text += kHex[byte & 0x0F];
    }
    return text;
}

std::optional<std::string> FromHexadecimal(std::string_view text)
{
    if (text.size() % 2 != 0)
        return std::nullopt;
    std::string bytes;
    for (std::size_t at = 0; at < text.size(); at += 2) {
        const int high = platform::HexDigitValue(text[at]);
        const int low = platform::HexDigitValue(text[at + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
}

std::optional<std::string> FromBase32(std::string_view text)
{
    while (!text.empty() && text.back() == '=')
        text.remove_suffix(1);
    std::string bytes;
    unsigned buffer = 0;
    int bits = 0;
    for (const char c : text) {
        const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        const char* found = std::find(kBase32Alphabet, kBase32Alphabet + 32, upper);
        if (found == kBase32Alphabet + 32)
            return std::nullopt;
        buffer = (buffer << 5) | static_cast<unsigned>(found - kBase32Alphabet);
        bits += 5;
        if (bits >= 8) {
            bits -= 8;
            bytes += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    return bytes;
}

} // namespace

struct PayloadDigest::Contexts {
    Context sha256 = NewContext(::EVP_sha256());
    Context sha1 = NewContext(::EVP_sha1());
};

PayloadDigest::PayloadDigest() : m_contexts(std::make_unique<Contexts>()) {}
PayloadDigest::~PayloadDigest() = default;
PayloadDigest::PayloadDigest(PayloadDigest&&) noexcept = default;
PayloadDigest& PayloadDigest::operator=(PayloadDigest&&) noexcept = default;

void PayloadDigest::Update(std::string_view bytes)
{
    if (m_contexts->sha256)
        ::EVP_DigestUpdate(m_contexts->sha256.get(), bytes.data(), bytes.size());
    if (m_contexts->sha1)
        ::EVP_DigestUpdate(m_contexts->sha1.get(), bytes.data(), bytes.size());
}

PayloadDigest::Values PayloadDigest::Finish()
{
    return {Hexadecimal(Finished(m_contexts->sha256)), Base32(Finished(m_contexts->sha1))};
}

std::string Base32(std::string_view bytes)
{
    std::string text;
    unsigned buffer = 0;
    int bits = 0;
    for (const char c : bytes) {
        buffer = (buffer << 8) | static_cast<unsigned char>(c);
        bits += 8;
        while (bits >= 5) {
            bits -= 5;
            text += kBase32Alphabet[(buffer >> bits) & 0x1F];
        }
    }
    if (bits > 0)
        text += kBase32Alphabet[(buffer << (5 - bits)) & 0x1F];
    while (text.size() % 8 != 0)
        text += '=';
    return text;
}

std::optional<std::string> NormalizedDigest(std::string_view value)
{
    value = platform::Trimmed(value);
    const std::size_t colon = value.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const std::string_view algorithm = value.substr(0, colon);
    const std::string_view digits = value.substr(colon + 1);
    std::size_t size = 0;
    if (platform::EqualsIgnoringAsciiCase(algorithm, "sha1") || platform::EqualsIgnoringAsciiCase(algorithm, "sha-1"))
        size = 20;
    else if (platform::EqualsIgnoringAsciiCase(algorithm, "sha256")
             || platform::EqualsIgnoringAsciiCase(algorithm, "sha-256"))
        size = 32;
    else
        return std::nullopt;
    auto bytes = digits.size() == size * 2 ? FromHexadecimal(digits) : FromBase32(digits);
    if (!bytes || bytes->size() != size)
        return std::nullopt;
    return size == 20 ? "sha1:" + Base32(*bytes) : "sha256:" + Hexadecimal(*bytes);
}

} // namespace cache
