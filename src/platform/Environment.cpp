#include "platform/Environment.h"

#include <cstdlib>

namespace platform {

std::optional<std::string> ExpandEnvironmentStrings(std::string_view text)
{
    std::string expanded;
    expanded.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t open = text.find('%', at);
        const std::size_t close = open == std::string_view::npos ? open : text.find('%', open + 1);
        if (close == std::string_view::npos) {
            expanded.append(text.substr(at));
            break;
        }
        expanded.append(text.substr(at, open - at));
        if (close == open + 1) { // "%%" names nothing; its second "%" may open a reference
            expanded.push_back('%');
            at = close;
            continue;
        }
        // getenv needs a terminated name
        const std::string name(text.substr(open + 1, close - open - 1));
        const char* value = std::getenv(name.c_str());
        if (value == nullptr || *value == '\0')
            return std::nullopt;
        expanded.append(value);
        at = close + 1;
    }
    return expanded;
}

} // namespace platform
