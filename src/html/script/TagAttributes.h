#pragma once
// The attributes of an HTML start tag, read as an HTML tokenizer reads them: what the typed-tag pass and the
// movie parameters both read tags with.
#include <cstddef>
#include <string_view>
#include <vector>

namespace html::script {

struct TagAttribute {
    std::string_view name;  // as written
    std::string_view value; // as written, character references not undone
};

// Replaces `attributes` with those of the tag whose name ends at `at`. Returns the offset after the tag's ">",
// or the page's end.
std::size_t ReadTagAttributes(std::string_view page, std::size_t at, std::vector<TagAttribute>& attributes);

} // namespace html::script
