// Runs the built plumeroc-grab binary's cache command on scratch cache folders.
#include "support/Files.h"
#include "support/RunGrab.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

using Outcome = test::GrabRun;

// Runs `plumeroc-grab cache ARGS` with only the given HOME and XDG_CACHE_HOME in its environment.
Outcome RunCache(const TempFolder& scratch, std::vector<std::string> args, std::optional<std::string> home,
                 std::optional<std::string> xdg)
{
    std::vector<std::string> env{"PATH=/usr/bin:/bin"};
    if (home)
        env.push_back("HOME=" + *home);
    if (xdg)
        env.push_back("XDG_CACHE_HOME=" + *xdg);
    args.insert(args.begin(), "cache");
    return test::RunGrab(args, scratch.Path(), {}, env);
}

std::vector<std::string> Split(const std::string& text, char terminator)
{
    std::vector<std::string> rows;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(terminator, start)) != std::string::npos; start = end + 1)
        rows.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "last row not terminated";
    return rows;
}

TEST(CacheCommand, PrintsThePageRowsInOrder)
{
    // One movie a folder, in one chain: each folder's movies go in at the top, deepest first.
    TempFolder scratch, cacheHome;
    const std::string root = cacheHome.Path() + "/";
    WriteFile(root + "top.swf", "not listed");
    WriteFile(root + "A/a1.swf", "1");
    WriteFile(root + "A/empty.swf", "");
    WriteFile(root + "A/A1/c1.swf", "22");
    WriteFile(root + "A/A1/B/b1.SWF", "333");
    WriteFile(root + "A/A1/B/C/line\nbreak.swf", "4444");
    const std::vector<std::string> expected = {
        "line\nbreak.swf\t4\t" + root + "A/A1/B/C/line\nbreak.swf\t",
        "b1.SWF\t3\t" + root + "A/A1/B/b1.SWF\t",
        "c1.swf\t2\t" + root + "A/A1/c1.swf\t",
        "a1.swf\t1\t" + root + "A/a1.swf\t",
    };

    const Outcome nul = RunCache(scratch, {"-0"}, "/nonexistent", cacheHome.Path());
    EXPECT_EQ(nul.status, 0) << nul.err;
    EXPECT_EQ(Split(nul.out, '\0'), expected);

    const Outcome lines = RunCache(scratch, {}, "/nonexistent", cacheHome.Path());
    EXPECT_EQ(lines.status, 0) << lines.err;
    std::string joined;
    for (const auto& row : expected)
        joined += row + "\n";
    EXPECT_EQ(lines.out, joined);
}

TEST(CacheCommand, FallsBackToHomeCache)
{
    TempFolder scratch, home;
    WriteFile(home / ".cache/browser/m.swf", "12345");
    const Outcome outcome = RunCache(scratch, {}, home.Path(), std::nullopt);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, "m.swf\t5\t" + home.Path() + "/.cache/browser/m.swf\t\n");
}

TEST(CacheCommand, ExitStatuses)
{
    TempFolder scratch, empty;
    const struct {
        const char* title;
        std::vector<std::string> args;
        std::optional<std::string> home, xdg;
        int status;
        bool message;
    } cases[] = {
        {"empty cache folder", {}, std::nullopt, empty.Path(), 0, false},
        {"cache folder missing", {"-0"}, std::nullopt, empty / "absent", 0, false},
        {"no cache folder setting", {}, std::nullopt, std::nullopt, 2, true},
        {"empty HOME, no XDG_CACHE_HOME", {}, "", std::nullopt, 2, true},
        {"unknown argument", {"-x"}, std::nullopt, empty.Path(), 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        const Outcome outcome = RunCache(scratch, c.args, c.home, c.xdg);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(!outcome.err.empty(), c.message) << outcome.err;
    }
}

} // namespace
