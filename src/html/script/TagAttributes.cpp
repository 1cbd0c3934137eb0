#include "html/script/TagAttributes.h"

#include "html/script/ScriptText.h"

#include <algorithm>
#include <cstring>

namespace html::script {

std::size_t ReadTagAttributes(std::string_view page, std::size_t at, std::vector<TagAttribute>& attributes)
{
    attributes.clear();
    const std::size_t n = page.size();
    for (;;) {
        while (at < n && (IsBlank(page[at]) || page[at] == '/'))
            ++at;
        if (at >= n || page[at] == '>')
            break;
        const std::size_t nameAt = at;
        while (at < n && !IsBlank(page[at]) && page[at] != '/' && page[at] != '>' && (page[at] != '=' || at == nameAt))
            ++at;
        TagAttribute attribute{page.substr(nameAt, at - nameAt), {}};
        at = SkipBlanks(page, at, n);
        if (at < n && page[at] == '=') {
            at = SkipBlanks(page, at + 1, n);
            if (at < n && (page[at] == '"' || page[at] == '\'')) {
                const char* close = static_cast<const char*>(std::memchr(page.data() + at + 1, page[at], n - at - 1));
                const std::size_t closeAt = close ? static_cast<std::size_t>(close - page.data()) : n;
                attribute.value = page.substr(at + 1, closeAt - at - 1);
                at = std::min(closeAt + 1, n);
            } else {
                const std::size_t valueAt = at;
                while (at < n && !IsBlank(page[at]) && page[at] != '>')
                    ++at;
                attribute.value = page.substr(valueAt, at - valueAt);
            }
        }
        attributes.push_back(attribute);
    }
    return std::min(at + 1, n);
}

} // namespace html::script
