#include "platform/BrowserHistory.h"
#include "platform/Bytes.h"
#include "platform/Registry.h"

#include <charconv>
#include <cstdlib>
#include <utility>
#include <vector>

namespace platform {

namespace {

// The browser's own typed-address list never holds more than 25 values.
constexpr std::size_t kTypedUrlValues = 25;

// Values "url1", "url2", ... in order, newest first; read once when the key opens.
class TypedUrlsKey final : public RegistryKey {
public:
    explicit TypedUrlsKey(std::vector<std::string> urls) : m_urls(std::move(urls)) {}

    std::optional<std::string> QueryValue(std::string_view name) const override
    {
        // Value names compare without regard to case; the number is plain decimal from 1.
        constexpr std::string_view kPrefix = "url";
        if (name.size() <= kPrefix.size() || !StartsWithIgnoringAsciiCase(name, kPrefix))
            return std::nullopt;
        const std::string_view digits = name.substr(kPrefix.size());
        if (digits.front() == '0')
            return std::nullopt;
        std::size_t number = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (error != std::errc() || end != digits.data() + digits.size() || number > m_urls.size())
            return std::nullopt;
        return m_urls[number - 1];
    }

private:
    std::vector<std::string> m_urls;
};

std::filesystem::path EnvironmentPath(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::filesystem::path(value) : std::filesystem::path();
}

} // namespace

std::unique_ptr<RegistryKey> OpenTypedUrlsKey()
{
    const std::filesystem::path home = EnvironmentPath("HOME");
    if (home.empty())
        return nullptr;
    // Browsers follow XDG_CONFIG_HOME when it holds an absolute path.
    std::filesystem::path configHome = EnvironmentPath("XDG_CONFIG_HOME");
    if (!configHome.is_absolute())
        configHome = home / ".config";

    const std::vector<HistoryDatabase> databases = FindHistoryDatabases(home, configHome);
    if (databases.empty())
        return nullptr;
    return std::make_unique<TypedUrlsKey>(MergeTypedAddresses(databases, kTypedUrlValues));
}

} // namespace platform
