#include "cache/MovieSaveName.h"

#include "platform/Bytes.h"

namespace cache {

namespace {

constexpr std::size_t kNameMax = 255;
constexpr std::string_view kSuffix = ".swf";

// What is left of a proposed name once folder parts and surrounding blanks are gone.
std::string BareName(std::string_view name)
{
    const std::size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    name = platform::Trimmed(name, kHeaderBlanks);
    if (name == "." || name == "..")
        return {};
    return std::string(name);
}

// RFC 5987 ext-value: charset "'" [language] "'" percent-encoded bytes.
std::optional<std::string> ExtendedValue(std::string_view value)
{
    const std::size_t first = value.find('\'');
    const std::size_t second = first == std::string_view::npos ? first : value.find('\'', first + 1);
    if (second == std::string_view::npos)
        return std::nullopt;
    const std::string_view charset = value.substr(0, first);
    const std::string_view encoded = value.substr(second + 1);
    std::string bytes;
    for (std::size_t at = 0; at < encoded.size(); ++at) {
        if (encoded[at] != '%') {
            bytes.push_back(encoded[at]);
            continue;
        }
        const int byte = platform::PercentEscapedByte(encoded, at);
        if (byte < 0)
            return std::nullopt;
        bytes.push_back(static_cast<char>(byte));
        at += 2;
    }
    if (platform::EqualsIgnoringAsciiCase(charset, "UTF-8"))
        return platform::IsValidUtf8(bytes) ? std::optional<std::string>(bytes) : std::nullopt;
    if (!platform::EqualsIgnoringAsciiCase(charset, "ISO-8859-1"))
        return std::nullopt;
    std::string utf8;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8.push_back(c);
        } else {
            utf8.push_back(static_cast<char>(0xc0 | (byte >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (byte & 0x3f)));
        }
    }
    return utf8;
}

// Cuts `name` to `limit` bytes without splitting a UTF-8 sequence.
void CutTo(std::string& name, std::size_t limit)
{
    if (name.size() <= limit)
        return;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xc0) == 0x80)
        --end;
    name.resize(end);
}

} // namespace

std::optional<std::string> ContentDispositionFileName(std::string_view value)
{
    std::optional<std::string> plain, extended;
    std::size_t at = value.find(';'); // the disposition type comes first
    while (at != std::string_view::npos && at < value.size()) {
        ++at;
        const std::size_t nameEnd = value.find_first_of("=;", at);
        const std::string_view name = platform::Trimmed(value.substr(at, nameEnd - at), kHeaderBlanks);
        if (nameEnd == std::string_view::npos)
            break;
        at = nameEnd;
        if (value[at] == ';')
            continue;
        ++at;
        while (at < value.size() && (value[at] == ' ' || value[at] == '\t'))
            ++at;
        std::string parameter;
        if (at < value.size() && value[at] == '"') {
            for (++at; at < value.size() && value[at] != '"'; ++at) {
                if (value[at] == '\\' && at + 1 < value.size())
                    ++at;
                parameter.push_back(value[at]);
            }
            at = value.find(';', at);
        } else {
            const std::size_t end = value.find(';', at);
            parameter = platform::Trimmed(value.substr(at, end - at), kHeaderBlanks);
            at = end;
        }
        if (platform::EqualsIgnoringAsciiCase(name, "filename") && !plain)
            plain = BareName(parameter);
        else if (platform::EqualsIgnoringAsciiCase(name, "filename*") && !extended)
            if (auto decoded = ExtendedValue(parameter))
                extended = BareName(*decoded);
    }
    if (extended && !extended->empty())
        return extended;
    if (plain && !plain->empty())
        return plain;
    return std::nullopt;
}

std::string AddressFileName(std::string_view address)
{
    std::string_view path = address;
    if (const std::size_t scheme = address.find("://"); scheme != std::string_view::npos) {
        const std::size_t slash = address.find('/', scheme + 3);
        path = slash == std::string_view::npos ? std::string_view() : address.substr(slash);
    }
    path = path.substr(0, path.find_first_of("?#"));
    const std::string_view segment = path.substr(path.rfind('/') + 1);

    std::string decoded;
    for (std::size_t at = 0; at < segment.size(); ++at) {
        const int byte = platform::PercentEscapedByte(segment, at);
        if (byte < 0x20 || byte == 0x7f) { // no escape, or one of a control byte
            decoded.push_back(segment[at]);
            continue;
        }
        decoded.push_back(static_cast<char>(byte));
        at += 2;
    }
    return BareName(platform::IsValidUtf8(decoded) ? decoded : segment);
}

std::string MovieSaveName(const ResponseHead& head, std::string_view address)
{
    std::string name;
    if (const auto disposition = head.Value("Content-Disposition"))
        name = ContentDispositionFileName(*disposition).value_or(std::string());
    if (name.empty())
        name = AddressFileName(address);
    if (name.empty())
        return "movie.swf";
    if (platform::EndsWithIgnoringAsciiCase(name, kSuffix)) {
        if (name.size() > kNameMax) {
            const std::string suffix = name.substr(name.size() - kSuffix.size());
            name.resize(name.size() - kSuffix.size());
            CutTo(name, kNameMax - kSuffix.size());
            name += suffix;
        }
        return name;
    }
    CutTo(name, kNameMax - kSuffix.size());
    return name + std::string(kSuffix);
}

} // namespace cache
