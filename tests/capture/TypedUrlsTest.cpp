// CRegistryReader's rules and the address-box history built on it, over generated browser profiles.
#include "capture/TypedUrls.h"
#include "capture/RegistryReader.h"
#include "support/BrowserProfiles.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>

namespace {

using namespace capture;

namespace fs = std::filesystem;
using test::Day;
using test::TempHome;
using test::Visit;

// Typed visits, newest first, one day apart.
std::vector<Visit> NewestFirst(const std::vector<std::string>& urls)
{
    std::vector<Visit> visits;
    for (std::size_t i = 0; i < urls.size(); ++i)
        visits.push_back({urls[i], Day(1000 - static_cast<int>(i))});
    return visits;
}

void WriteHistory(const fs::path& home, const std::vector<std::string>& newestFirst)
{
    test::WriteChromiumHistory(home / ".config/chromium/Default/History", NewestFirst(newestFirst));
}

std::vector<std::string> Numbered(int count)
{
    std::vector<std::string> urls;
    for (int i = 1; i <= count; ++i)
        urls.push_back("https://site" + std::to_string(i) + ".example/");
    return urls;
}

TEST(RegistryReader, GetStringRules)
{
    const TempHome home;
    const std::string fill1023(1023 - 8, 'x');
    WriteHistory(home.Path(), {"https://a.example/", "https://" + fill1023, "https://" + fill1023 + "y"});

    struct Case {
        const char* name;
        const char* value;
        std::size_t size;
        bool expected;
        std::string contents; // the buffer's string afterwards
    };
    const Case cases[] = {
        {"fits with room to spare", "url1", 64, true, "https://a.example/"},
        {"fits exactly with its NUL", "url1", 19, true, "https://a.example/"},
        {"one byte short for the NUL", "url1", 18, false, ""},
        {"1,023 bytes in 1,024", "url2", 1024, true, "https://" + fill1023},
        {"1,024 bytes in 1,024", "url3", 1024, false, ""},
        {"missing value", "url4", 64, false, ""},
        {"no room at all", "url1", 0, false, "sentinel"},
    };
    CRegistryReader reader;
    ASSERT_TRUE(reader.Open(RegistryRoot::CurrentUser, platform::kTypedUrlsKey));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<char> buffer(2048, 'z');
        std::strcpy(buffer.data(), "sentinel");
        EXPECT_EQ(reader.GetString(c.value, buffer.data(), c.size), c.expected);
        EXPECT_EQ(std::string(buffer.data()), c.contents);
        const std::size_t past = std::max<std::size_t>(c.size, std::strlen("sentinel") + 1);
        EXPECT_TRUE(std::all_of(buffer.begin() + past, buffer.end(), [](char b) { return b == 'z'; }))
            << "written past the buffer's size";
    }
}

TEST(RegistryReader, OpenAndClose)
{
    const TempHome home;
    WriteHistory(home.Path(), {"https://a.example/"});
    char buffer[64];
    const auto untouched = [&](CRegistryReader& reader) {
        std::strcpy(buffer, "sentinel");
        return !reader.GetString("url1", buffer, sizeof buffer) && std::string(buffer) == "sentinel";
    };

    CRegistryReader reader;
    EXPECT_TRUE(untouched(reader)) << "never opened";
    ASSERT_TRUE(reader.Open(RegistryRoot::CurrentUser, platform::kTypedUrlsKey));
    EXPECT_TRUE(reader.GetString("url1", buffer, sizeof buffer));
    reader.Close();
    EXPECT_TRUE(untouched(reader)) << "closed";
    reader.Close(); // closing twice is harmless

    ASSERT_TRUE(reader.Open(RegistryRoot::CurrentUser, platform::kTypedUrlsKey));
    EXPECT_FALSE(reader.Open(RegistryRoot::CurrentUser, "Software\\No\\Such\\Key"));
    EXPECT_TRUE(untouched(reader)) << "a failed Open lets go of the key held before";
}

TEST(TypedUrls, FollowsTheAddressBoxRules)
{
    const std::string long1024 = "https://" + std::string(1024 - 8, 'x');
    const std::string long1023 = "https://" + std::string(1023 - 8, 'x');
    const auto first = [](std::vector<std::string> urls, std::size_t count) {
        urls.resize(count);
        return urls;
    };
    struct Case {
        const char* name;
        std::optional<std::vector<std::string>> history; // nullopt: no browser profile at all
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"no profile", std::nullopt, {}},
        {"a profile with nothing typed", std::vector<std::string>{}, {}},
        {"three entries", Numbered(3), Numbered(3)},
        {"24 entries", Numbered(24), Numbered(24)},
        {"30 entries give the newest 24", Numbered(30), first(Numbered(30), 24)},
        {"a 1,024-byte value ends the list",
         std::vector<std::string>{"https://a.example/", long1024, "https://c.example/"},
         {"https://a.example/"}},
        {"a 1,024-byte value first leaves nothing", std::vector<std::string>{long1024, "https://b.example/"}, {}},
        {"a 1,023-byte value is listed",
         std::vector<std::string>{"https://a.example/", long1023, "https://c.example/"},
         {"https://a.example/", long1023, "https://c.example/"}},
        {"values that are not usable addresses stay as they are",
         std::vector<std::string>{"www.example.com", "  spaced  ", "javascript:void(0)", "\xC3\x28 not UTF-8"},
         {"www.example.com", "  spaced  ", "javascript:void(0)", "\xC3\x28 not UTF-8"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TempHome home;
        if (c.history)
            WriteHistory(home.Path(), *c.history);
        EXPECT_EQ(ReadTypedUrls(), c.expected);
    }
}

} // namespace
