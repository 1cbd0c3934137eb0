#include "wayback/CdxQuery.h"

#include "platform/Bytes.h"

namespace wayback {

namespace {

std::string_view MatchName(MatchType match)
{
    switch (match) {
    case MatchType::Exact:
        return "exact";
    case MatchType::Prefix:
        return "prefix";
    case MatchType::Host:
        return "host";
    case MatchType::Domain:
        return "domain";
    }
    return "exact";
}

bool IsUnreserved(unsigned char byte)
{
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte == '-'
        || byte == '.' || byte == '_' || byte == '~';
}

} // namespace

std::string QueryEncoded(std::string_view value)
{
    return platform::PercentEncoded(value, [](unsigned char byte) { return !IsUnreserved(byte); });
}

std::string CdxQueryAddress(std::string_view archive, const CdxQuery& query)
{
    std::string address(archive);
    address += "/cdx/search/cdx?url=" + QueryEncoded(query.url);
    const auto add = [&address](std::string_view name, std::string_view value) {
        address += '&';
        address += name;
        address += '=';
        address += QueryEncoded(value);
    };
    add("matchType", MatchName(query.match));
    // The seven public fields, named so that a server with another default order still gives this one.
    add("fl", "urlkey,timestamp,original,mimetype,statuscode,digest,length");
    for (const std::string& filter : query.filters)
        add("filter", filter);
    for (const std::string& collapse : query.collapse)
        add("collapse", collapse);
    if (!query.from.empty())
        add("from", query.from);
    if (!query.to.empty())
        add("to", query.to);
    if (!query.closest.empty()) {
        add("closest", query.closest);
        add("sort", "closest");
    }
    if (query.limit != 0)
        add("limit", std::to_string(query.limit));
    add("showResumeKey", "true");
    // The key is already percent-encoded by the server; it goes back as the text it is.
    if (!query.resumeKey.empty())
        add("resumeKey", query.resumeKey);
    return address;
}

} // namespace wayback
