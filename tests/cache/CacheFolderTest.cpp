#include "cache/CacheFolder.h"
#include "support/Files.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using test::ScopedEnv;

TEST(CacheFolderLookUp, ExpandsTheSettingAndAlwaysAppendsASeparator)
{
    using Value = std::optional<std::string>;
    const struct {
        const char* title;
        Value home;
        Value xdg;
        Value expected;
    } cases[] = {
        {"XDG_CACHE_HOME wins", "/home/u", "/var/cache/u", "/var/cache/u/"},
        {"trailing separator is doubled, not checked", "/home/u", "/var/cache/u/", "/var/cache/u//"},
        {"HOME/.cache when XDG_CACHE_HOME is unset", "/home/u", std::nullopt, "/home/u/.cache/"},
        {"HOME/.cache when XDG_CACHE_HOME is empty", "/home/u", "", "/home/u/.cache/"},
        {"no HOME needed with XDG_CACHE_HOME", std::nullopt, "/x", "/x/"},
        {"bytes of the value are kept", "/home/\xff%u", std::nullopt, "/home/\xff%u/.cache/"},
        {"nothing without either", std::nullopt, std::nullopt, std::nullopt},
        {"nothing with an empty HOME", "", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        ScopedEnv home("HOME", c.home);
        ScopedEnv xdg("XDG_CACHE_HOME", c.xdg);
        EXPECT_EQ(cache::LookUpCacheFolder(), c.expected);
    }
}

} // namespace
