// The markup finder's resolution: plain text joins and the one dot-segment step.
#include "html/markup/LinkResolution.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

struct ResolveCase {
    std::string base;
    std::string reference;
    std::string link;
};

TEST(ResolveLink, JoinsAndTakesOneDotStep)
{
    const std::string games = "http://host/games/index.html";
    const std::vector<ResolveCase> cases = {
        {games, "flash/game.swf", "http://host/games/flash/game.swf"},
        {games, "/swf/intro.swf", "http://host/swf/intro.swf"},
        {games, "http://cdn/x.swf", "http://cdn/x.swf"},
        {games, "c:/movies/a.swf", "c:/movies/a.swf"},
        {games, " intro.swf", "http://host/games/ intro.swf"},
        {"http://host:8080/a/b.html", "/x.swf", "http://host:8080/x.swf"},
        {"http://host/page.php?u=/a/b", "a.swf", "http://host/page.php?u=/a/a.swf"},
        {"http://host", "a.swf", "http://host/a.swf"},
        {"http://host/", "a.swf", "http://host/a.swf"},
        {"https://host", "a.swf", "https://host/a.swf"},
        {"https://host/", "a.swf", "https://host/a.swf"},
        {"ftp://host", "a.swf", "ftp://a.swf"}, // only "http://" and "https://" count as bare sites
        {"http://host/games/", "../a.swf", "http://host/a.swf"},
        {"http://host/games/", "./a.swf", "http://host/games/a.swf"},
        {"http://host/a/b/c/", "../../x.swf", "http://host/a/x.swf"},
        {"http://host/a/b/c/", "./../x.swf", "http://host/a/b/x.swf"},
        {"http://host/a/", "b/../x.swf", "http://host/a/x.swf"},
        {"http://host/a/", "../b/./x.swf", "http://host/a/../b/x.swf"},
        {"http://host/a/", "../b/../x.swf", "http://host/b/../x.swf"},
        // The climb stops at the site root and drops the units left over.
        {"http://host/games/", "../../a.swf", "http://host/a.swf"},
        {"http://host/games/", "/../../a.swf", "http://host/a.swf"},
        {games, "http://cdn/../x.swf", "http://cdn/x.swf"},
        // Dots count only as whole segments.
        {"http://host/games/", "movie..swf", "http://host/games/movie..swf"},
        {"http://host/games/", ".../x.swf", "http://host/games/.../x.swf"},
        {"http://host./games/", "../x.swf", "http://host./x.swf"},
        {"http://host/dir./", "x.swf", "http://host/dir./x.swf"},
        {"http://host/a/", "b../c/../x.swf", "http://host/a/b../x.swf"},
        {"http://host/a/b/", "..", "http://host/a/"},
        // Scheme-relative references take the page's scheme.
        {games, "//cdn.example.com/x.swf", "http://cdn.example.com/x.swf"},
        {"https://host/a/", "//cdn.example.com:8443/v/../x.swf", "https://cdn.example.com:8443/x.swf"},
        {"host/a/", "//cdn/x.swf", "host//cdn/x.swf"}, // no scheme to take: root-relative as before
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.base + " + " + c.reference);
        EXPECT_EQ(html::markup::ResolveLink(c.base, c.reference), c.link);
    }
}

TEST(SiteRootAndDirectory, CutTheAddress)
{
    const std::vector<std::pair<std::string, std::string>> roots = {
        {"http://host/games/index.html", "http://host"},
        {"http://host:8080/a/b.html", "http://host:8080"},
        {"http://host", "http://host"},
        {"http://host//a//b/c", "http://host//a//b"}, // a "//" pair is passed over wherever it stands
        {"/a", ""},
        {"c:/movies", "c:"},
        {"", ""},
    };
    for (const auto& [address, root] : roots)
        EXPECT_EQ(html::markup::SiteRootOf(address), root) << address;

    const std::vector<std::pair<std::string, std::string>> directories = {
        {"http://host/games/index.html", "http://host/games/"},
        {"http://host/page.php?u=/a/b", "http://host/page.php?u=/a/"},
        {"http://host", "http://host/"},
        {"https://host", "https://host/"},
        {"https:/x/host", "https:/x/"},
        {"xttps://host", "xttps://"}, // 8 bytes that are not "https://"
        {"ftp:/a/b", "ftp:/a/b/"},    // any 7-byte directory part
        {"host", ""},
        {"", ""},
    };
    for (const auto& [address, directory] : directories)
        EXPECT_EQ(html::markup::DirectoryOf(address), directory) << address;
}

struct ClimbCase {
    std::string head;
    std::string rest;
    std::string newHead;
    std::string newRest;
};

TEST(ClimbParents, CountsUnitsAndCutsDirectories)
{
    std::string fifteen;
    for (int i = 0; i < 15; ++i)
        fifteen += "../";
    const std::vector<ClimbCase> cases = {
        {"http://host/a/b/c/", "../../x.swf", "http://host/a/", "x.swf"},
        {"http://host/a/b/c/", "../b/../x.swf", "http://host/a/b/", "b/../x.swf"},
        {"http://host/a/b/c/", "..", "http://host/a/b/", ""},
        {"http://host/a/b/c/", "..x/y.swf", "http://host/a/b/c/", "..x/y.swf"}, // no unit
        {"http://host/a/b/c/", "x.swf", "http://host/a/b/c/", "x.swf"},
        {"http://host/a/", "../../../x.swf", "http://host/", "x.swf"}, // stops at the site root
        {"http://host/", "../x.swf", "http://host/", "x.swf"},
        {"http://h/1/2/3/4/5/6/7/8/9/10/11/12/13/14/15/", fifteen + "x.swf", "http://h/1/", "../x.swf"},
        {"a/b/c/", "../../x.swf", "a/", "x.swf"}, // no scheme: the root ends at the first "/"
        {"", "../x.swf", "", "x.swf"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.head + " | " + c.rest);
        const auto climbed = html::markup::ClimbParents(c.head, c.rest);
        EXPECT_EQ(climbed.head, c.newHead);
        EXPECT_EQ(climbed.rest, c.newRest);
    }
}

TEST(NormalizeDots, RunsOnlyTheFirstStepThatApplies)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"http://host/a/./b/./x.swf", "http://host/a/b/./x.swf"}, // only the first "./"
        {"http://host/a/b/../../x.swf", "http://host/x.swf"},
        {"http://host/a/../b/../x.swf", "http://host/b/../x.swf"},
        {"http://host/a/x.swf", "http://host/a/x.swf"},
        {"./x.swf", "./x.swf"}, // no "/" before the "."
        {"../x.swf", "../x.swf"},
        {"http://host/a/b/x/..", "http://host/a/b/"},
    };
    for (const auto& [address, normalized] : cases)
        EXPECT_EQ(html::markup::NormalizeDots(address), normalized) << address;
}

} // namespace
