#pragma once
// What the CDX server answers in plain text: one line per capture, its fields separated by a blank
// (urlkey timestamp original mimetype statuscode digest length), and, when the query was cut at its
// limit, an empty line and the key that resumes it. Lines that cannot be a capture (broken fields, a
// time that is not 14 digits, an original that is no http address) are left out and counted: the
// archive's index holds some.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace wayback {

struct CdxCapture {
    std::string urlkey;    // the address in the index's canonical form (SURT)
    std::string timestamp; // 14 digits, YYYYMMDDhhmmss
    std::string original;  // the address as it was fetched
    std::string mimetype;  // "warc/revisit" for a capture that repeats an earlier one
    std::string statuscode;
    std::string digest; // SHA-1 of the payload in base 32
    std::string length; // of the archived record, compressed; "-" when the index does not say
};

struct CdxPage {
    std::vector<CdxCapture> captures;
    std::string resumeKey; // empty when nothing follows
    std::size_t unreadable = 0;
};

CdxPage ReadCdxPage(std::string_view text);

// A capture of a movie: status 200, and the type Flash Player's or an address whose path ends in ".swf".
bool IsMovieCapture(const CdxCapture& capture);

// Whether two addresses name the same path of the same host, whatever their queries: compared as the
// archive's index compares them, without the scheme, a leading "www.", a default port or letter case.
bool IsSameAddressBesideQuery(std::string_view a, std::string_view b);

// Of `captures`, the one whose time lies nearest to `timestamp` (1 to 14 digits), the earlier of two as near;
// null when there is none.
const CdxCapture* NearestInTime(const std::vector<CdxCapture>& captures, std::string_view timestamp);

} // namespace wayback
