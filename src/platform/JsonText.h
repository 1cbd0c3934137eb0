#pragma once
// JSON text for rows and manifests that scripts read. Strings are bytes here, and addresses and paths may hold bytes
// that are not UTF-8: each such byte is written as the escape "\udcXX" (XX its value), the lone surrogate
// Python's "surrogateescape" gives it. Valid UTF-8 can never hold a surrogate, so the two cannot be mixed
// up, and json.loads(...).encode("utf-8", "surrogateescape") gives the exact bytes back.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// `bytes` as a quoted JSON string.
std::string JsonString(std::string_view bytes);

// One JSON object built field by field, in the order added.
class JsonObject {
public:
    JsonObject& Add(std::string_view name, std::string_view text);
    JsonObject& Add(std::string_view name, std::uint64_t number);
    JsonObject& AddFlag(std::string_view name, bool value);
    // A value that is JSON text already: an object or an array built apart.
    JsonObject& AddJson(std::string_view name, std::string_view json);
    bool Empty() const { return m_text.size() == 1; }
    // The object's text, "{...}".
    std::string Text() const { return m_text + "}"; }

private:
    JsonObject& Name(std::string_view name);

    std::string m_text = "{";
};

// The JSON values `values` (each JSON text already) as one array, "[...]".
std::string JsonArray(const std::vector<std::string>& values);

} // namespace platform
