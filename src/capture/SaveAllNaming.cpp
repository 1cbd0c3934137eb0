#include "capture/SaveAllNaming.h"

namespace capture {

std::optional<std::string> SaveAllDestination(std::string_view folder, std::string_view address)
{
    const std::size_t slash = address.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? address : address.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return std::nullopt;
    std::string destination(folder);
    if (!destination.empty() && destination.back() != '/')
        destination += '/';
    destination += name;
    return destination;
}

} // namespace capture
