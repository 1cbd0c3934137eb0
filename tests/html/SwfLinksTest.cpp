#include "html/SwfLinks.h"
#include "html/LinkResolution.h"

#include "html/EveryTagWalk.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using namespace std::literals;

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
        EXPECT_EQ(html::ResolveLink(c.base, c.reference), c.link);
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
        EXPECT_EQ(html::SiteRootOf(address), root) << address;

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
        EXPECT_EQ(html::DirectoryOf(address), directory) << address;
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
        const auto climbed = html::ClimbParents(c.head, c.rest);
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
        EXPECT_EQ(html::NormalizeDots(address), normalized) << address;
}

struct PageCase {
    const char* name;
    std::string base;
    std::string page;
    std::vector<std::string> links; // in the set's order
};

std::vector<std::string> Links(const html::SwfLinkSet& set) { return {set.begin(), set.end()}; }

TEST(FindSwfLinks, CollectsResolvedLinksOfQualifyingTags)
{
    const std::string games = "http://host/games/index.html";
    const std::vector<PageCase> cases = {
        {"embed", games, R"(<embed src="flash/game.swf">)", {"http://host/games/flash/game.swf"}},
        {"root-relative with query",
         games,
         R"(<param name="movie" value="/swf/intro.swf?lang=en">)",
         {"http://host/swf/intro.swf"}},
        {"absolute unquoted", games, "<embed src=http://cdn/x.swf width=400>", {"http://cdn/x.swf"}},
        {"port", "http://host:8080/a/b.html", R"(<embed src="/x.swf">)", {"http://host:8080/x.swf"}},
        {"duplicates kept once",
         games,
         R"(<object><param name="movie" value="m.swf"><embed src="m.swf"></object>)",
         {"http://host/games/m.swf"}},
        {"byte order",
         games,
         R"(<embed src="a.swf"><embed src="B.swf"><embed src="A.swf">)",
         {"http://host/games/A.swf", "http://host/games/B.swf", "http://host/games/a.swf"}},
        {"12-byte text is used, 9-byte is not", games, R"(<a href="b.swf"><p a="c.swf">)", {"http://host/games/b.swf"}},
        {"upper case suffix", games, R"(<EMBED SRC="INTRO.SWF">)", {}},
        {"several per tag",
         games,
         R"(<embed src="a.swf" flashvars="m=b.swf">)",
         {"http://host/games/a.swf", "http://host/games/b.swf"}},
        {"a player and its movie",
         games,
         R"(<embed src="player.swf?file=intro.swf">)",
         {"http://host/games/intro.swf", "http://host/games/player.swf"}},
        // References never overlap: a ".swf" inside a path is part of the one reference.
        {"suffix inside a path", games, R"(<embed src="a/b.swf/c.swf">)", {"http://host/games/a/b.swf/c.swf"}},
        {"suffix twice",
         games,
         R"(<embed src="movies.swf/intro.swf"><embed src="x.swf.swf">)",
         {"http://host/games/movies.swf/intro.swf", "http://host/games/x.swf.swf"}},
        {"the search ends at a suffix with no stop character before it",
         games,
         R"(<a b.swf c="d.swf">)",
         {"http://host/games/d.swf"}},
        {"no stop character", games, "<!-- movies/intro.swf -->", {}},
        {"comments count", games, R"(<!-- <embed src="old.swf"> -->)", {"http://host/games/old.swf"}},
        {"unclosed < ends the scan",
         games,
         R"(<embed src="a.swf"> <embed src="b.swf" <p src="c.swf")",
         {"http://host/games/a.swf"}},
        {"empty page", games, "", {}},
        {"no span", games, "just text with a.swf=\"b.swf\"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        html::SwfLinkSet links = {"left over from before"};
        html::FindSwfLinks(links, c.base, c.page.c_str());
        EXPECT_EQ(Links(links), c.links);
    }
}

TEST(FindSwfLinks, PageTextEndsAtTheFirstNul)
{
    const std::string page = "<embed src=\"a.swf\">\0<embed src=\"b.swf\">"s;
    const std::vector<std::string> expected = {"http://h/a.swf"};
    html::SwfLinkSet fromBuffer;
    html::FindSwfLinks(fromBuffer, "http://h/", page.data());
    EXPECT_EQ(Links(fromBuffer), expected);
    html::SwfLinkSet fromView;
    html::FindSwfLinks(fromView, std::string_view("http://h/"), std::string_view(page));
    EXPECT_EQ(Links(fromView), expected);
    // A NUL inside the tag that would close the span leaves it unclosed.
    html::FindSwfLinks(fromView, std::string_view("http://h/"), "<embed src=\"a.swf\"\0>"sv);
    EXPECT_TRUE(fromView.empty());
}

// Pages built from the bytes that matter to the scanner, so that spans, quotes, stop characters,
// suffixes and dot segments meet in every arrangement.
TEST(FindSwfLinks, AgreesWithTheTagByTagWalkOnRandomPages)
{
    static const std::string_view kPieces[] = {
        "<",   ">", "\"",   "'",  "=",      " ", "/", "./", "../", ".swf", ".sw", "a", "<embed src=\"",
        "\">", ":", "\0"sv, "\n", "x.swf\""};
    static const std::string_view kBases[] = {"http://host/games/index.html", "https://host", "http://h/a/b/c/", "",
                                              "c:/x"};
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        std::string page;
        for (std::size_t n = random() % 40; n > 0; --n)
            page += kPieces[random() % std::size(kPieces)];
        const std::string_view base = kBases[random() % std::size(kBases)];
        html::SwfLinkSet links;
        html::FindSwfLinks(links, base, std::string_view(page));
        ASSERT_EQ(links, test::FindSwfLinksTagByTag(base, page)) << "page: " << page;
    }
}

} // namespace
