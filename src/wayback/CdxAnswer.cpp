#include "wayback/CdxAnswer.h"

#include "platform/Bytes.h"

#include <algorithm>
#include <array>

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

} // namespace wayback
