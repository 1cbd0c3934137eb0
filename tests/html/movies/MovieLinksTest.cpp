// Both finders together: which of the markup finder's links stay, and the script finder's rows added.
#include "html/movies/MovieLinks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr std::string_view kPage = "http://host/games/index.html";

struct Snippet {
    std::string page;
    std::vector<std::string> rows; // ascending, as the set holds them
};

TEST(FindMovieLinks, KeepsPlausibleMarkupLinksAndAddsTheScriptFinders)
{
    const std::vector<Snippet> snippets = {
        // Both finders find it: one row.
        {R"~(<embed src="flash/game.swf">)~", {"http://host/games/flash/game.swf"}},
        // The markup finder's 15 KB-style junk is dropped; the real address is recovered.
        {R"~(<div data-cfg="{&quot;swf&quot;:&quot;\/media\/p.swf&quot;}">)~", {"http://host/media/p.swf"}},
        {R"~(<embed src = intro.swf>)~", {"http://host/games/intro.swf"}},
        {R"~(<script>if (a<b) so = new SWFObject("/m.swf", "x"); AC_FL_RunContent('movie','banner');</script>)~",
         {"http://host/games/banner.swf", "http://host/m.swf"}},
        // The markup finder resolves against the base too.
        {R"~(<base href="http://cdn.example/f/"><embed src="a.swf">)~", {"http://cdn.example/f/a.swf"}},
        {R"~(<embed src="c:/movies/a.swf">)~", {}},
        // Scheme-relative: the markup finder's join as a path is dropped.
        {R"~(<object data="//cdn.example/a.swf">)~", {"http://cdn.example/a.swf"}},
        // A piece of a string built with a variable names no movie, whichever finder cut it out.
        {R"~(<p>x</p><script>var so = new SWFObject("http://" + server.host + "/gateway.swf");</script>)~", {}},
        // ... and what the markup finder makes of a piece of a string the script finder can read.
        {R"~(<p>x</p><script>if (a<b) so = new SWFObject("http://cdn.example/f/" + "gateway.swf");</script>)~",
         {"http://cdn.example/f/gateway.swf"}},
    };
    for (const Snippet& snippet : snippets) {
        SCOPED_TRACE(snippet.page);
        html::SwfLinkSet links = {"stale"};
        html::FindMovieLinks(links, kPage, snippet.page);
        EXPECT_EQ(std::vector<std::string>(links.begin(), links.end()), snippet.rows);
    }
}

} // namespace
