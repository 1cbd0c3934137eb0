#pragma once
// A query of the archive's CDX server (<archive>/cdx/search/cdx), as the Wayback CDX server's README
// describes its parameters: the captures of an address, or of every address under a prefix or a domain,
// in the order of the index (address key, then time), filtered and collapsed on the server. Answers are
// asked for as plain text with the seven public fields in their usual order (CdxAnswer.h reads them), and
// with the resume key that continues a query cut at its limit.
#include <string>
#include <string_view>
#include <vector>

namespace wayback {

enum class MatchType { Exact, Prefix, Host, Domain };

struct CdxQuery {
    std::string url;
    MatchType match = MatchType::Exact;
    // "[!]field:regex", the whole field matched by a Java regular expression; all must hold.
    std::vector<std::string> filters;
    // "field" or "field:N": of adjacent lines equal in that field (its first N characters), the first only.
    std::vector<std::string> collapse;
    std::string from, to; // 1 to 14 digits of a time, both ends included; empty for none
    // The first `limit` captures; the last -`limit` when negative; the server's own bound when 0.
    int limit = 0;
    // With `closest` (1 to 14 digits), the captures nearest to that time come first.
    std::string closest;
    // The resume key of the answer before, exactly as it came, to continue after it.
    std::string resumeKey;
};

// The address of `query` at `archive`.
std::string CdxQueryAddress(std::string_view archive, const CdxQuery& query);

// A value as a query parameter: every byte but letters, digits and "-._~" written as "%XX".
std::string QueryEncoded(std::string_view value);

} // namespace wayback
