#include "platform/Environment.h"
#include "support/Files.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace {

using test::ScopedEnv;

TEST(ExpandEnvironmentStrings, ReplacesReferencesByTheirValues)
{
    ScopedEnv a("PLUMEROC_T_A", "alpha");
    ScopedEnv b("PLUMEROC_T_B", "%PLUMEROC_T_A%");
    ScopedEnv empty("PLUMEROC_T_EMPTY", "");
    ScopedEnv unset("PLUMEROC_T_UNSET", std::nullopt);
    using Result = std::optional<std::string>;
    const std::pair<const char*, Result> cases[] = {
        {"", ""},
        {"no references", "no references"},
        {"%PLUMEROC_T_A%", "alpha"},
        {"%PLUMEROC_T_A%/.cache", "alpha/.cache"},
        {"x%PLUMEROC_T_A%%PLUMEROC_T_A%y", "xalphaalphay"},
        {"%PLUMEROC_T_B%", "%PLUMEROC_T_A%"}, // values are not expanded again
        {"100%", "100%"},                     // no closing "%"
        {"%%", "%%"},
        {"50%%PLUMEROC_T_A%", "50%alpha"}, // the second "%" opens the reference
        {"%PLUMEROC_T_A%%", "alpha%"},
        {"%plumeroc_t_a%", std::nullopt}, // names are case-sensitive here
        {"%PLUMEROC_T_UNSET%/.cache", std::nullopt},
        {"%PLUMEROC_T_EMPTY%/.cache", std::nullopt},
        {"%PLUMEROC_T_A%/%PLUMEROC_T_UNSET%", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(platform::ExpandEnvironmentStrings(text), expected) << text;
}

} // namespace
