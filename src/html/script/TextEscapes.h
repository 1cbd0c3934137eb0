#pragma once
// Undoes the escapes pages wrap addresses in: HTML character references, script string escapes and
// percent-encoding. Each call undoes one level; what it cannot read is kept as it stands.
#include <string>
#include <string_view>

namespace html::script {

// "&quot;", "&amp;", "&#47;", "&#x2F;" and the other references an address can hold. Names need their
// ";"; numbers are written as UTF-8.
std::string DecodeCharacterReferences(std::string_view text);

// "\/", "\"", "\\", "\xHH" and "\uHHHH" (UTF-8 out) of script and JSON strings; any other escaped
// byte stands for itself.
std::string DecodeScriptEscapes(std::string_view text);

// Every "%HH" as its byte; a "%" not followed by two hex digits stays.
std::string DecodePercentEscapes(std::string_view text);

// True when `text` holds an address whose scheme separator is percent-encoded (StartsEncodedSchemeEnd),
// or starts with an encoded "/" ("%2F"): the sign that the text as a whole is an address written for a
// query or FlashVars value.
bool HasEncodedAddress(std::string_view text);

} // namespace html::script
