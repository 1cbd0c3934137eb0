// Runs the built plumeroc-grab binary's history command with HOME pointing at generated profiles.
#include "support/BrowserProfiles.h"
#include "support/RunGrab.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

using test::Day;
using test::TempHome;

using Outcome = test::GrabRun;

// The child inherits the test's environment, so HOME is the TempHome's.
Outcome RunHistory(const std::string& scratch, const std::vector<std::string>& args)
{
    std::vector<std::string> all{"history"};
    all.insert(all.end(), args.begin(), args.end());
    return test::RunGrab(all, scratch);
}

TEST(HistoryCommand, PrintsTheAddressBoxEntries)
{
    std::vector<test::Visit> thirty;
    for (int i = 1; i <= 30; ++i)
        thirty.push_back({"u" + std::to_string(i), Day(100 - i)});
    std::string first24;
    for (int i = 1; i <= 24; ++i)
        first24 += "u" + std::to_string(i) + "\n";

    struct Case {
        const char* name;
        bool withProfiles;
        std::vector<test::Visit> chromium;
        std::vector<std::string> args;
        Outcome expected;
    };
    const std::string nul(1, '\0');
    const Case cases[] = {
        {"newest first across browsers",
         true,
         {{"https://chrome.example/", Day(5)}},
         {},
         {0, "https://chrome.example/\nhttps://firefox.example/\n"}},
        {"NUL-terminated rows keep a line break",
         true,
         {{"https://chrome.example/line\nbreak", Day(5)}},
         {"-0"},
         {0, "https://chrome.example/line\nbreak" + nul + "https://firefox.example/" + nul}},
        {"at most 24 rows", true, thirty, {}, {0, first24}},
        {"no profile at all", false, {}, {}, {0, ""}},
        {"unknown argument", true, {}, {"--all"}, {1, ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TempHome home;
        if (c.withProfiles) {
            test::AddFirefoxProfile(home / ".mozilla/firefox", "x.default", {{"https://firefox.example/", Day(3)}});
            test::WriteChromiumHistory(home / ".config/chromium/Default/History", c.chromium);
        }
        const Outcome outcome = RunHistory(home.Path(), c.args);
        EXPECT_EQ(outcome.status, c.expected.status);
        EXPECT_EQ(outcome.out, c.expected.out);
    }
}

} // namespace
