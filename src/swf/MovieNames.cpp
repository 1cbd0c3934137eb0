#include "swf/MovieNames.h"

#include "platform/Bytes.h"

#include <algorithm>
#include <array>

namespace swf {

namespace {

// The files movies load: other movies and libraries (.swz), data and text, sound, video, pictures,
// style sheets, shaders and the binary blobs URLLoader and URLStream read. Server scripts (.php,
// .asp) are left out: their answer depends on what is sent, so a copy of one does not replay.
constexpr std::array<std::string_view, 22> kSuffixes = {
    ".swf", ".swz", ".xml", ".txt", ".json", ".css", ".csv",  ".mp3", ".wav", ".aac", ".m4a",
    ".flv", ".f4v", ".mp4", ".m4v", ".png",  ".jpg", ".jpeg", ".gif", ".bin", ".dat", ".pbj"};

constexpr std::size_t kLongestName = 2048;

std::string_view PathOf(std::string_view text) { return text.substr(0, std::min(text.find('?'), text.find('#'))); }

// The suffix `path` ends in, or an empty view. Most strings of a movie have none, so the last dot
// is looked at first and the list only for a short tail after it.
std::string_view SuffixOf(std::string_view path)
{
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || path.size() - dot > 5)
        return {};
    const std::string_view tail = path.substr(dot);
    for (const std::string_view suffix : kSuffixes) {
        if (suffix.size() == tail.size() && platform::EqualsIgnoringAsciiCase(tail, suffix))
            return path.substr(dot);
    }
    return {};
}

bool IsSchemeByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-'
        || c == '.';
}

// The scheme of `text` ("http" of "http://..."), or an empty view when it has none.
std::string_view SchemeOf(std::string_view text)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return {};
    const std::string_view scheme = text.substr(0, colon);
    const bool letterFirst = (scheme[0] >= 'a' && scheme[0] <= 'z') || (scheme[0] >= 'A' && scheme[0] <= 'Z');
    return letterFirst && std::all_of(scheme.begin(), scheme.end(), IsSchemeByte) ? scheme : std::string_view();
}

bool IsForbiddenInAddress(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte <= 0x20 || byte == 0x7F || c == '"' || c == '\'' || c == '<' || c == '>' || c == '{' || c == '}'
        || c == '|' || c == '\\' || c == '^' || c == '`';
}

} // namespace

bool HasLoadedFileSuffix(std::string_view text) { return !SuffixOf(PathOf(text)).empty(); }

bool IsCommandAddress(std::string_view text)
{
    const std::string_view scheme = SchemeOf(text);
    for (const std::string_view command : {"javascript", "fscommand", "mailto", "asfunction", "event"}) {
        if (platform::EqualsIgnoringAsciiCase(scheme, command))
            return true;
    }
    return false;
}

bool IsAddress(std::string_view text)
{
    if (text.empty() || text.size() > kLongestName || std::any_of(text.begin(), text.end(), IsForbiddenInAddress))
        return false;
    const std::string_view scheme = SchemeOf(text);
    if (scheme.empty())
        return true;
    const bool web =
        platform::EqualsIgnoringAsciiCase(scheme, "http") || platform::EqualsIgnoringAsciiCase(scheme, "https");
    return web && text.substr(scheme.size()).starts_with("://") && text.size() > scheme.size() + 3;
}

void NameCollector::AddString(std::string_view text, NameUse use)
{
    if (use == NameUse::Navigation || text.empty())
        return;
    if (use == NameUse::Load) {
        if (!IsCommandAddress(text))
            Add(text, false);
        return;
    }
    const std::string_view path = PathOf(text);
    const std::string_view suffix = SuffixOf(path);
    if (suffix.empty() || IsCommandAddress(text))
        return;
    // ".swf" alone (or "/.swf") names no file: it is the end of a name put together elsewhere.
    const std::size_t stem = path.size() - suffix.size();
    if (stem == 0 || path[stem - 1] == '/') {
        Add(std::string(path.substr(0, stem)) + "*" + std::string(text.substr(stem)), true);
        return;
    }
    if (IsAddress(text))
        Add(text, false);
}

void NameCollector::AddPattern(std::string_view pattern, NameUse use)
{
    if (use == NameUse::Navigation || IsCommandAddress(pattern)
        || pattern.find_first_not_of('*') == std::string_view::npos)
        return;
    if (use == NameUse::Load || HasLoadedFileSuffix(pattern))
        Add(pattern, true);
}

void NameCollector::Add(std::string_view text, bool pattern)
{
    if (text.size() <= kLongestName)
        m_names.Add(text, m_source, pattern, m_embedded);
}

void NameList::Add(std::string_view text, NameSource source, bool pattern, bool embedded)
{
    std::string key = pattern ? "P" : "F";
    key += text;
    if (m_seen.insert(std::move(key)).second)
        m_names.push_back({std::string(text), source, pattern, embedded});
}

} // namespace swf
