#pragma once
// Resolves a reference against a base address the way a browser does (RFC 3986, section 5.2), for
// the script finder. libcurl's URL API (7.88) was not taken: it percent-encodes bytes above 0x7F (in
// lower case), rewrites addresses of schemes it does not know ("c:/a" becomes "c://a") and drops the
// file name for a reference that is empty or only a fragment, while rows must keep the page's bytes
// so that both finders agree on an address.
#include <optional>
#include <string>
#include <string_view>

namespace html::script {

// Resolves references against one base, split once.
class ReferenceResolver {
public:
    explicit ReferenceResolver(std::string_view base);
    ReferenceResolver(const ReferenceResolver&) = delete;
    ReferenceResolver& operator=(const ReferenceResolver&) = delete;

    // See ResolveReference.
    std::optional<std::string> Resolve(std::string_view reference) const;

private:
    std::string m_base;
    std::string_view m_scheme, m_authority, m_path, m_query;
    bool m_hasScheme = false, m_hasAuthority = false, m_hasQuery = false;
};

// The absolute address of `reference` under `base`. Blanks around the reference and tabs and line
// breaks inside it are dropped first, and blanks inside it written "%20", as browsers do; other bytes
// are kept as the page has them. Empty when `base` has no scheme and the
// reference has none either, so that no address can be made.
std::optional<std::string> ResolveReference(std::string_view base, std::string_view reference);

// RFC 3986's remove_dot_segments on a path.
std::string RemoveDotSegments(std::string_view path);

} // namespace html::script
