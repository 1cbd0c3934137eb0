#pragma once
// Third-party test material (real pages, caches, movies, web archives) lives beside the project in
// ../shared/data/, never inside it. A test that needs a set finds it here, or skips itself naming the
// folder it needs; ctest reports such a test as skipped, never as passed.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

namespace test {

// The folder of the set `name` ("pages", "caches/chromium-simple", ...), or nothing when it is absent.
// Its root is PLUMEROC_SHARED_DATA in the environment when set, otherwise the one CMake was given.
std::optional<std::string> SharedDataFolder(std::string_view name);

// The message a test skips with when the set `name` is absent.
std::string MissingSharedData(std::string_view name);

} // namespace test

// Declares `variable` as the folder of the set `name`, or skips the test (or the whole suite, in SetUpTestSuite).
#define PLUMEROC_SHARED_DATA_OR_SKIP(variable, name)                                                                   \
    const auto variable##_found = ::test::SharedDataFolder(name);                                                      \
    if (!variable##_found)                                                                                             \
        GTEST_SKIP() << ::test::MissingSharedData(name);                                                               \
    const std::string& variable = *variable##_found
