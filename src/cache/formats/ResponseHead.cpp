#include "cache/formats/ResponseHead.h"

#include "cache/formats/EntryBytes.h"
#include "platform/Bytes.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <limits>

namespace cache {

namespace {

// Where the next line ends: the first CR, LF or NUL from a place on. Each of the three is searched for with
// memchr, and again only once the reading has passed where it was found: a head is read in one pass.
class LineEnds {
public:
    explicit LineEnds(std::string_view text) : m_text(text) {}

    std::size_t From(std::size_t at)
    {
        std::size_t end = m_text.size();
        for (std::size_t i = 0; i < kEnds.size(); ++i) {
            if (m_next[i] < at || !m_found[i]) {
                const void* hit = std::memchr(m_text.data() + at, kEnds[i], m_text.size() - at);
                m_next[i] = hit != nullptr ? static_cast<std::size_t>(static_cast<const char*>(hit) - m_text.data())
                                           : m_text.size();
                m_found[i] = true;
            }
            end = std::min(end, m_next[i]);
        }
        return end;
    }

private:
    static constexpr std::array<char, 3> kEnds{'\r', '\n', '\0'};
    std::string_view m_text;
    std::array<std::size_t, 3> m_next{};
    std::array<bool, 3> m_found{};
};

// kHeaderBlanks trimmed off both ends, the two characters compared as they are: every header of every entry
// listed passes here, twice.
std::string_view WithoutBlanks(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Whether header `key` is `name`, letter case aside; most names differ in length, told without a call.
bool IsNamed(std::string_view key, std::string_view name)
{
    return key.size() == name.size() && platform::EqualsIgnoringAsciiCase(key, name);
}

// "HTTP/1.1 200 OK", "HTTP/2 200": the three digits after the first space.
std::optional<int> StatusOf(std::string_view line)
{
    if (!line.starts_with("HTTP/"))
        return std::nullopt;
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos)
        return std::nullopt;
    const std::string_view rest = line.substr(space + 1);
    const std::string_view code = rest.substr(0, rest.find(' '));
    const auto value = ParseDecimal(code);
    if (code.size() != 3 || !value)
        return std::nullopt;
    return static_cast<int>(*value);
}

} // namespace

HeaderList::HeaderList(std::initializer_list<Field> fields)
{
    for (const auto& [name, value] : fields)
        emplace_back(name, value);
}

HeaderList::HeaderList(const std::vector<std::pair<std::string, std::string>>& fields)
{
    for (const auto& [name, value] : fields)
        emplace_back(name, value);
}

void HeaderList::emplace_back(std::string_view name, std::string_view value)
{
    const Range nameRange = Append(name);
    m_fields.emplace_back(nameRange, Append(value));
}

HeaderList::Field HeaderList::operator[](std::size_t at) const
{
    return {Text(m_fields[at].first), Text(m_fields[at].second)};
}

HeaderList::Range HeaderList::Within(std::string_view part) const
{
    return {static_cast<std::uint32_t>(part.data() - m_text.data()), static_cast<std::uint32_t>(part.size())};
}

HeaderList::Range HeaderList::Append(std::string_view bytes)
{
    const Range range{static_cast<std::uint32_t>(m_text.size()), static_cast<std::uint32_t>(bytes.size())};
    m_text.append(bytes);
    return range;
}

std::optional<std::string> ResponseHead::Value(std::string_view name) const
{
    std::optional<std::string> joined;
    for (const auto& [key, value] : headers) {
        if (!IsNamed(key, name))
            continue;
        if (joined)
            joined->append(", ").append(value);
        else
            joined.emplace(value);
    }
    return joined;
}

std::optional<std::optional<std::uint64_t>> ResponseHead::ContentLength() const
{
    // Repeated headers, or one listing the same length twice, are accepted when they agree. Each header is read
    // where it lies: the movie check asks for every response.
    bool found = false;
    std::optional<std::uint64_t> length;
    for (const auto& [key, text] : headers) {
        if (!IsNamed(key, "Content-Length"))
            continue;
        found = true;
        std::string_view rest = text;
        for (;;) {
            const std::size_t comma = rest.find(',');
            const auto value = ParseDecimal(WithoutBlanks(rest.substr(0, comma)));
            if (!value || (length && *length != *value))
                return std::optional<std::uint64_t>();
            length = value;
            if (comma == std::string_view::npos)
                break;
            rest.remove_prefix(comma + 1);
        }
    }
    if (!found)
        return std::nullopt;
    return length;
}

std::optional<ResponseHead> ParseResponseHead(std::string_view stored)
{
    // Longer than any head a reader hands over, and than the list's ranges can point into.
    if (stored.size() > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    ResponseHead head;
    // The head is copied once, whole, and its headers are ranges of the copy.
    HeaderList& headers = head.headers;
    headers.m_text.assign(stored);
    const std::string_view text = headers.m_text;
    // Gathered in a list kept from head to head, then copied at their exact number: one allocation a head.
    thread_local std::vector<std::pair<HeaderList::Range, HeaderList::Range>> fields;
    fields.clear();
    LineEnds lineEnds(text);
    bool first = true;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = lineEnds.From(at);
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (line.empty())
            continue;
        if (first) {
            const auto status = StatusOf(line);
            if (!status)
                return std::nullopt;
            head.status = *status;
            first = false;
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0)
            continue;
        fields.emplace_back(headers.Within(WithoutBlanks(line.substr(0, colon))),
                            headers.Within(WithoutBlanks(line.substr(colon + 1))));
    }
    if (first)
        return std::nullopt;
    headers.m_fields.assign(fields.begin(), fields.end());
    return head;
}

} // namespace cache
