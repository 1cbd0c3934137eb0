#include "platform/JsonText.h"

#include "platform/Bytes.h"

namespace platform {

namespace {

constexpr char kHex[] = "0123456789abcdef";

void AppendEscape(std::string& text, unsigned value)
{
    text += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        text += kHex[(value >> shift) & 0x0F];
}

} // namespace

std::string JsonString(std::string_view bytes)
{
    std::string text = "\"";
    text.reserve(bytes.size() + 2);
    for (std::size_t at = 0; at < bytes.size();) {
        const char c = bytes[at];
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) {
            const std::size_t length = platform::Utf8SequenceLength(bytes, at);
            if (length == 0) {
                AppendEscape(text, 0xDC00 + byte);
                ++at;
            } else {
                text.append(bytes.substr(at, length));
                at += length;
            }
            continue;
        }
        if (c == '"' || c == '\\') {
            text += '\\';
            text += c;
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\r') {
            text += "\\r";
        } else if (c == '\t') {
            text += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            AppendEscape(text, byte);
        } else {
            text += c;
        }
        ++at;
    }
    return text += '"';
}

JsonObject& JsonObject::Name(std::string_view name)
{
    if (m_text.size() > 1)
        m_text += ',';
    m_text += JsonString(name);
    m_text += ':';
    return *this;
}

JsonObject& JsonObject::Add(std::string_view name, std::string_view text)
{
    Name(name).m_text += JsonString(text);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view name, std::uint64_t number)
{
    Name(name).m_text += std::to_string(number);
    return *this;
}

JsonObject& JsonObject::AddFlag(std::string_view name, bool value)
{
    Name(name).m_text += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::AddJson(std::string_view name, std::string_view json)
{
    Name(name).m_text += json;
    return *this;
}

std::string JsonArray(const std::vector<std::string>& values)
{
    std::string text = "[";
    for (const std::string& value : values) {
        if (text.size() > 1)
            text += ',';
        text += value;
    }
    return text += ']';
}

} // namespace platform
