#include "support/SharedData.h"

#include <sys/stat.h>

#include <cstdlib>

namespace test {

namespace {

std::string Root()
{
    if (const char* root = std::getenv("PLUMEROC_SHARED_DATA"); root != nullptr && *root != '\0')
        return root;
    return PLUMEROC_SHARED_DATA_DIR;
}

} // namespace

std::optional<std::string> SharedDataFolder(std::string_view name)
{
    std::string folder = Root() + "/" + std::string(name);
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return std::nullopt;
    return folder;
}

std::string MissingSharedData(std::string_view name)
{
    return "needs the test material in " + Root() + "/" + std::string(name) + ", which is absent";
}

} // namespace test
