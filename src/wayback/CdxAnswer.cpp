#include "wayback/CdxAnswer.h"

#include "platform/Bytes.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>

namespace wayback {

namespace {

constexpr std::size_t kFields = 7;

bool AllDigits(std::string_view text)
{
    return std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; });
}

bool ReadCapture(std::string_view line, CdxCapture& capture)
{
    std::array<std::string_view, kFields> fields;
    std::size_t count = 0;
    for (std::size_t at = 0; at < line.size();) {
        const std::size_t end = std::min(line.find(' ', at), line.size());
        if (count == kFields)
            return false;
        fields[count++] = line.substr(at, end - at);
        at = end + 1;
    }
    if (count != kFields || std::ranges::any_of(fields, &std::string_view::empty))
        return false;
    const std::string_view timestamp = fields[1];
    const std::string_view original = fields[2];
    if (timestamp.size() != 14 || !AllDigits(timestamp)
        || !(platform::StartsWithIgnoringAsciiCase(original, "http://")
             || platform::StartsWithIgnoringAsciiCase(original, "https://")))
        return false;
    capture = {std::string(fields[0]), std::string(timestamp), std::string(original), std::string(fields[3]),
               std::string(fields[4]), std::string(fields[5]), std::string(fields[6])};
    return true;
}

} // namespace

CdxPage ReadCdxPage(std::string_view text)
{
    CdxPage page;
    bool afterEmptyLine = false;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (line.empty()) {
            afterEmptyLine = true;
            continue;
        }
        // The resume key is the one line after the empty line, and the last of the answer.
        if (afterEmptyLine && platform::Trimmed(text).empty() && line.find(' ') == std::string_view::npos) {
            page.resumeKey = line;
            break;
        }
        CdxCapture capture;
        if (ReadCapture(line, capture))
            page.captures.push_back(std::move(capture));
        else
            ++page.unreadable;
    }
    return page;
}

bool IsMovieCapture(const CdxCapture& capture)
{
    if (capture.statuscode != "200")
        return false;
    if (platform::EqualsIgnoringAsciiCase(capture.mimetype, "application/x-shockwave-flash"))
        return true;
    const std::string_view original = capture.original;
    const std::string_view path = original.substr(0, original.find_first_of("?#"));
    return platform::EndsWithIgnoringAsciiCase(path, ".swf");
}

namespace {

// An address as the index's key begins it: letters lowered, without its scheme, a leading "www." (or
// "www2." ...), a default port, a fragment or a query.
std::string ComparedAddress(std::string_view address)
{
    std::string text(address.substr(0, address.find_first_of("?#")));
    std::ranges::transform(text, text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::string_view rest = text;
    for (const std::string_view scheme : {"http://", "https://"}) {
        if (rest.starts_with(scheme))
            rest.remove_prefix(scheme.size());
    }
    if (rest.starts_with("www")) {
        const std::size_t digits = rest.find_first_not_of("0123456789", 3);
        if (digits != std::string_view::npos && rest[digits] == '.')
            rest.remove_prefix(digits + 1);
    }
    std::string compared(rest);
    const std::size_t hostEnd = std::min(compared.find('/'), compared.size());
    for (const std::string_view port : {":80", ":443"}) {
        if (std::string_view(compared).substr(0, hostEnd).ends_with(port))
            compared.erase(hostEnd - port.size(), port.size());
    }
    if (compared.find('/') == std::string::npos)
        compared += '/';
    return compared;
}

// Seconds since 1970 of a time of 1 to 14 digits, what it leaves out taken as the earliest.
std::int64_t Seconds(std::string_view timestamp)
{
    std::string digits(timestamp.substr(0, 14));
    digits += std::string_view("00000101000000").substr(digits.size());
    const auto number = [&digits](std::size_t at, std::size_t count) { return std::stoi(digits.substr(at, count)); };
    using namespace std::chrono;
    // The index holds some impossible dates ("20000012170449"): taken as the first month or day.
    const sys_days day = year{number(0, 4)} / month{static_cast<unsigned>(std::max(1, number(4, 2)))}
        / static_cast<unsigned>(std::max(1, number(6, 2)));
    return (day.time_since_epoch() + hours{number(8, 2)} + minutes{number(10, 2)} + seconds{number(12, 2)}).count();
}

} // namespace

bool IsSameAddressBesideQuery(std::string_view a, std::string_view b)
{
    return ComparedAddress(a) == ComparedAddress(b);
}

const CdxCapture* NearestInTime(const std::vector<CdxCapture>& captures, std::string_view timestamp)
{
    if (timestamp.empty() || !AllDigits(timestamp))
        return captures.empty() ? nullptr : &captures.front();
    const std::int64_t target = Seconds(timestamp);
    const CdxCapture* nearest = nullptr;
    std::int64_t distance = 0;
    for (const CdxCapture& capture : captures) {
        const std::int64_t away = std::abs(Seconds(capture.timestamp) - target);
        if (nearest == nullptr || away < distance || (away == distance && capture.timestamp < nearest->timestamp)) {
            nearest = &capture;
            distance = away;
        }
    }
    return nearest;
}

} // namespace wayback
