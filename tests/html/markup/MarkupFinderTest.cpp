// The markup finder on page texts: which tag texts are picked from, and the set it fills.
#include "html/markup/MarkupFinder.h"

#include "html/markup/EveryTagWalk.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using namespace std::literals;

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
        html::markup::FindSwfLinks(links, c.base, c.page.c_str());
        EXPECT_EQ(Links(links), c.links);
    }
}

TEST(FindSwfLinks, PageTextEndsAtTheFirstNul)
{
    const std::string page = "<embed src=\"a.swf\">\0<embed src=\"b.swf\">"s;
    const std::vector<std::string> expected = {"http://h/a.swf"};
    html::SwfLinkSet fromBuffer;
    html::markup::FindSwfLinks(fromBuffer, "http://h/", page.data());
    EXPECT_EQ(Links(fromBuffer), expected);
    html::SwfLinkSet fromView;
    html::markup::FindSwfLinks(fromView, std::string_view("http://h/"), std::string_view(page));
    EXPECT_EQ(Links(fromView), expected);
    // A NUL inside the tag that would close the span leaves it unclosed.
    html::markup::FindSwfLinks(fromView, std::string_view("http://h/"), "<embed src=\"a.swf\"\0>"sv);
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
        html::markup::FindSwfLinks(links, base, std::string_view(page));
        ASSERT_EQ(links, test::FindSwfLinksTagByTag(base, page)) << "page: " << page;
    }
}

} // namespace
