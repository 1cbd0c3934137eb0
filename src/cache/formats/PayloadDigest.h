#pragma once
// The digests a movie record is known by: SHA-256 in hexadecimal, and SHA-1 in base 32 as CDX indexes and
// WARC-Payload-Digest fields write it. Digests as writers put them in revisit records, made comparable.
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace cache {

class PayloadDigest {
public:
    PayloadDigest();
    ~PayloadDigest();
    PayloadDigest(PayloadDigest&&) noexcept;
    PayloadDigest& operator=(PayloadDigest&&) noexcept;

    void Update(std::string_view bytes);
    struct Values {
        std::string sha256; // 64 lower-case hexadecimal digits
        std::string sha1;   // 32 base-32 letters and digits (RFC 4648), as in "sha1:..."
    };
    // The digests of what Update was given; the object is spent afterwards.
    Values Finish();

private:
    struct Contexts;
    std::unique_ptr<Contexts> m_contexts;
};

// RFC 4648 base 32, upper case, with "=" padding to a whole group.
std::string Base32(std::string_view bytes);

// A digest field's value ("sha1:JOSECGZI...", "sha256:9f86d0...", either letter case, hexadecimal or base 32)
// as "sha1:<base 32>" or "sha256:<hex>", so that the same digest written two ways compares equal. Nothing for
// other algorithms or values that are neither.
std::optional<std::string> NormalizedDigest(std::string_view value);

} // namespace cache
