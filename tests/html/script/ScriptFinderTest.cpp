// The script finder on short page snippets, one table per way pages name their movies, and the
// snippets that must give no row.
#include "html/script/ScriptFinder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::literals;

constexpr std::string_view kPage = "http://host/games/index.html";

struct Snippet {
    std::string page;
    std::vector<std::string> rows; // ascending, as the set holds them
};

void ExpectRows(const std::vector<Snippet>& snippets)
{
    for (const Snippet& snippet : snippets) {
        SCOPED_TRACE(snippet.page);
        html::SwfLinkSet links = {"stale"};
        html::script::FindScriptMovieLinks(links, kPage, snippet.page);
        EXPECT_EQ(std::vector<std::string>(links.begin(), links.end()), snippet.rows);
    }
}

TEST(ScriptFinder, FindsMoviesOfScriptCalls)
{
    ExpectRows({
        {R"~(<script>swfobject.embedSWF("games/intro.swf", "box", "550", "400", "9");</script>)~",
         {"http://host/games/games/intro.swf"}},
        {R"~(swfobject.embedSWF('/player.php?v=3', 'box', 550, 400, '9.0.0', 'expressInstall.swf', vars);)~",
         {"http://host/games/expressInstall.swf", "http://host/player.php?v=3"}},
        {R"~(var so = new SWFObject("movie.swf", "m", "300", "200", "8", "#fff"); so.write("f");)~",
         {"http://host/games/movie.swf"}},
        {R"~(var fo = new FlashObject("/flash/loader.swf", "x", 10, 10);)~", {"http://host/flash/loader.swf"}},
        {"AC_FL_RunContent( 'codebase','http://download.example/cabs/swflash.cab#version=9,0,0,0',"
         "'width','550','src','banner','quality','high','movie','banner' );",
         {"http://host/games/banner.swf"}},
        {"AC_FL_RunContent('movie', 'flash/intro?lang=en', 'width', w);", {"http://host/games/flash/intro.swf"}},
        {"AC_RunContent('classid','clsid:d27cdb6e-ae6d-11cf-96b8-444553540000','movie','/m/a.swf');",
         {"http://host/m/a.swf"}},
        {R"~(flashembed("box", {src: "player.swf", version: [9, 115]});)~", {"http://host/games/player.swf"}},
        {R"~(flowplayer("player", "/fp/flowplayer-3.2.7.swf", {clip: {url: "a.flv"}});)~",
         {"http://host/fp/flowplayer-3.2.7.swf"}},
        {R"~(var FO = { movie:"swf/myMovie.swf", width:"300" }; UFO.create(FO, "ufoDemo");)~",
         {"http://host/games/swf/myMovie.swf"}},
        {R"~(jwplayer("c").setup({flashplayer: "/jw/player.swf", file: "/v/clip.mp4"});)~",
         {"http://host/jw/player.swf"}},
        {R"~({"swf": "media/player.swf", "file": "clip.flv"})~", {"http://host/games/media/player.swf"}},
        {R"~(var file = "clips/a.swf";)~", {"http://host/games/clips/a.swf"}},
        {R"~(fl.flashFile = "/TV PROMO/New Folder/a b.swf";)~", {"http://host/TV%20PROMO/New%20Folder/a%20b.swf"}},
        {R"~(<embed src="GTA PC Niko-OUT.swf" type="application/x-shockwave-flash">)~",
         {"http://host/games/GTA%20PC%20Niko-OUT.swf"}},
        {"var movies = ['a.swf?x=1', `b.SWF#top`];", {"http://host/games/a.swf", "http://host/games/b.SWF"}},
    });
}

TEST(ScriptFinder, UndoesEscapesBeforeResolving)
{
    ExpectRows({
        {R"~({"swf": "\/media\/player.swf"})~", {"http://host/media/player.swf"}},
        {R"~(x = "\x2Fmedia\x2Fa.swf"; y = "\u002Fmedia\u002Fb.swf";)~",
         {"http://host/media/a.swf", "http://host/media/b.swf"}},
        {R"~(<div data-config="{&quot;swf&quot;:&quot;\/media\/player.swf&quot;,&quot;w&quot;:1}">)~",
         {"http://host/media/player.swf"}},
        {R"~(<embed src="&#47;flash&#x2F;a.swf?a=1&amp;b=2">)~", {"http://host/flash/a.swf"}},
        {R"~(<param name="FlashVars" value="file=http%3A%2F%2Fcdn.example%2Fx.swf&amp;auto=1">)~",
         {"http://cdn.example/x.swf"}},
        {R"~(<embed flashvars="config%3D%7B%22file%22%3A%22http%3A%2F%2Fcdn.example%2Fv.swf%22%7D">)~",
         {"http://cdn.example/v.swf"}},
        {R"~(so.addVariable("skin", "%2Fskins%2Fdark.swf");)~", {"http://host/skins/dark.swf"}},
        {R"~(var c = '{\"movie\":\"\\/m\\/a.swf\"}';)~", {"http://host/m/a.swf"}},
        {R"~(<embed src=&quot;/a.swf&quot; width=&quot;10&quot;>)~", {"http://host/a.swf"}},
        // XML in a FlashVars value written with JavaScript's escape(): an address as an element's text.
        {R"~(<param name="FlashVars" value="ad=%3Cw%3E300%3C/w%3E%3Curl%3Ehttp%3A//cdn.example/ad.swf%3C/url%3E">)~",
         {"http://cdn.example/ad.swf"}},
        {R"~(<param name="FlashVars" value="ad=%3Cname%3Elocal.swf%3C/name%3E">)~", {}},
    });
}

TEST(ScriptFinder, FindsTypedEmbedsWithoutSuffix)
{
    ExpectRows({
        {R"~(<embed type="application/x-shockwave-flash" src="/play/get.php?id=7#start" width=10>)~",
         {"http://host/play/get.php?id=7"}},
        {R"~(<EMBED SRC='movie?id=3&amp;q=2' TYPE='application/x-shockwave-flash'>)~",
         {"http://host/games/movie?id=3&q=2"}},
        {R"~(<object type="application/x-shockwave-flash" data="/loader"><param name="movie" value="/loader"></object>)~",
         {"http://host/loader"}},
        {R"~(<object classid="clsid:D27CDB6E-AE6D-11cf-96B8-444553540000" width="550">)~"
         R"~(<param name="quality" value="high"><param name="movie" value="flash/show"></object>)~",
         {"http://host/games/flash/show"}},
        {R"~(<object classid="CLSID:d27cdb6e-ae6d-11cf-96b8-444553540000"><param name=src value=/m/1></object>)~",
         {"http://host/m/1"}},
        {R"~(<object data="a.pdf"><param name="movie" value="/not/flash"></object>)~", {}},
        {R"~(<object classid="clsid:D27CDB6E-AE6D-11cf-96B8-444553540000"></object><param name="movie" value="x">)~",
         {}},
        {R"~(<embed type="application/x-shockwave-flash" title="a > b" src="/after/gt">)~", {"http://host/after/gt"}},
    });
}

TEST(ScriptFinder, ResolvesSchemeRelativeAndBaseAddresses)
{
    ExpectRows({
        {R"~(embedSWF("//cdn.example/x.swf", "a"))~", {"http://cdn.example/x.swf"}},
        {R"~(<embed src='//cdn.example/p/y.swf'>)~", {"http://cdn.example/p/y.swf"}},
        {R"~(<head><base href="http://static.example/swf/"></head><script>f = "a.swf";</script>)~",
         {"http://static.example/swf/a.swf"}},
        {R"~(<base href="/site/"><base href="/other/"><embed src="../b.swf">)~", {"http://host/b.swf"}},
        {R"~(<base href="sub/"><embed src="c.swf">)~", {"http://host/games/sub/c.swf"}},
        {R"~(<base target="_top"><base href="https://s.example"><embed src="d.swf">)~", {"https://s.example/d.swf"}},
        {R"~(<base href="javascript:void(0)"><embed src="e.swf">)~", {"http://host/games/e.swf"}},
    });
}

TEST(ScriptFinder, JoinsKnownPartsButNotUnknownVariables)
{
    ExpectRows({
        {R"~(swfobject.embedSWF("/flash/" + "intro.swf", "box");)~", {"http://host/flash/intro.swf"}},
        {R"~(var u = "/flash/" + 'games/' + "intro" + ".swf";)~", {"http://host/flash/games/intro.swf"}},
        {R"~(new SWFObject("/m/" + "show", "id", 1, 1);)~", {"http://host/m/show"}},
        {R"~(var u = dir + "/intro.swf";)~", {}},
        {R"~(var u = "/flash/" + name + ".swf";)~", {}},
        {R"~(embedSWF(base + "player.swf", "box");)~", {}},
        {R"~(var u = getDir() + "x.swf";)~", {}},
        // The page's own location is known.
        {R"~(new SWFObject("http://" + window.location.host + "/gateway.swf?t=" + t.getTime(), "g");)~",
         {"http://host/gateway.swf"}},
        {R"~(u = location.protocol + "//" + document.domain + ":8080/a.swf";)~", {"http://host:8080/a.swf"}},
        {R"~(u = location.origin + '/b.swf'; v = document.location.hostname + '/c.swf';)~",
         {"http://host/b.swf", "http://host/games/host/c.swf"}},
        // So is a variable the page sets to one literal and nothing else, wherever it sets it.
        {"var dir = \"./\";\nso = new SWFObject(dir + \"flash/intro.swf\", \"x\");",
         {"http://host/games/flash/intro.swf"}},
        {"embedSWF(root + 'p.swf');\nvar root = '/m/';\nif (x) { root = '/m/'; }", {"http://host/m/p.swf"}},
        {"var movie = 'intro', w = 550; AC_FL_RunContent('movie', movie, 'width', w);",
         {"http://host/games/intro.swf"}},
        {"new SWFObject(host + 'swf/' + 'a.swf');\nvar host = 'http://cdn.example/';",
         {"http://cdn.example/swf/a.swf"}},
        // Not one that is set to two values, to anything but a literal, or added to.
        {"var dir = '/a/';\nif (beta) dir = '/b/';\nu = dir + 'p.swf';", {}},
        {"var dir = base + '/a/';\nu = dir + 'p.swf';", {}},
        {"var dir = '/a/';\ndir += 'b/';\nu = dir + 'p.swf';", {}},
        {"var dir = '/a/'.toUpperCase();\nu = dir + 'p.swf';", {}},
        // An attribute, a property or a query of the same name sets no variable.
        {R"~(<html dir="ltr"><script>u = dir + "/a.swf";</script>)~", {}},
        {R"~(<script>cfg.dir = "/m/"; u = dir + "/a.swf"; v = cfg.dir + "b.swf";</script>)~", {}},
        {R"~(<script>q = "play.php?dir=" + d; u = dir + "/a.swf";</script>)~", {}},
    });
}

TEST(ScriptFinder, PutsPlayerMoviesWhereThePlayersLoadThem)
{
    ExpectRows({
        // Flowplayer: a plugin's bare file name hangs under the player's folder, a path under the page.
        {R"~(flowplayer('p', 'http://cdn.example/fp/flowplayer.swf', {clip: {url: 'a.flv'},
            plugins: {rtmp: {url: 'flowplayer.rtmp.swf'}, controls: null, captions: {url: '../p/captions.swf'}}});)~",
         {"http://cdn.example/fp/flowplayer.rtmp.swf", "http://cdn.example/fp/flowplayer.swf",
          "http://host/p/captions.swf"}},
        {R"~($f("p", {src: "../fp/player.swf", wmode: "opaque"}, {plugins: {a: {url: "a.swf", top: 0}}});)~",
         {"http://host/fp/a.swf", "http://host/fp/player.swf"}},
        {R"~($("a.player").flowplayer("/fp/player.swf", {plugins: {/* "x" */ b: {url: 'b.swf'}}});)~",
         {"http://host/fp/b.swf", "http://host/fp/player.swf"}},
        // A commented-out call is not read, and does not swallow the live one below it.
        {"// flowplayer(\"p\", { src: \"../old/player.swf\" },\nflowplayer(\"p\", \"/fp/p.swf\", {plugins: {c: "
         "{url: 'c.swf'}}});",
         {"http://host/fp/c.swf", "http://host/fp/p.swf", "http://host/old/player.swf"}},
        // A player with no folder leaves its plugins under the page.
        {R"~(flowplayer("p", "player.swf", {plugins: {d: {url: "d.swf"}}});)~",
         {"http://host/games/d.swf", "http://host/games/player.swf"}},
        // MediaElement.js: flashName under pluginPath.
        {R"~($('video').mediaelementplayer({pluginPath: '/mejs/', flashName: 'legacy/fme.swf'});)~",
         {"http://host/mejs/legacy/fme.swf"}},
        {R"~(new MediaElementPlayer('#v', {flashName: "fme.swf", pluginPath: base + "/"});)~",
         {"http://host/games/fme.swf"}},
    });
}

TEST(ScriptFinder, IgnoresProseDataFilesAndJunk)
{
    ExpectRows({
        {"<p>Save your work as intro.swf and upload it.</p>", {}},
        {"<p>The player (player.swf) loads clip.flv.</p>", {}},
        {R"~(jwplayer("c").setup({file: "/v/clip.flv", image: "/i/a.jpg"}); var x = {"src": "data.xml"};)~", {}},
        {R"~(<embed src="movie.flv" type="video/x-flv">)~", {}},
        {R"~(<script src="/js/jquery.swfobject.1-1-1.min.js"></script><a href="swf.html">swf</a>)~", {}},
        {R"~(var s = ".swf"; var t = 'a b.swf ok'; u = "player.swf.php";)~", {}},
        {R"~(<pre>embedSWF(&quot;sample.swf&quot;, &quot;box&quot;)</pre>)~", {}},
        {R"~(AC_RunContent('movie', 'clip', 'src', 'clip.mov');)~", {}},
        {R"~(AC_FL_RunContent('movie', someVariable, 'src', name + 'x');)~", {}},
        {R"~(<div style="background:url(bg.swf)">)~", {}},
        {R"~(<a href="/download">intro.swf</a> <td>game.swf</td>)~", {}},
        {"embedSWF(\"" + std::string(3000, 'a') + ".swf\");", {}},
        // A name quoted in prose, unlike a value after punctuation or a keyword.
        {R"~(<li>the URL of the SWF is "mymovie.swf"</li><p>Load 'other.swf' first.</p>)~", {}},
        {R"~(function m() { return "m.swf"; } switch (k) { case 'k.swf': break; })~",
         {"http://host/games/k.swf", "http://host/games/m.swf"}},
    });
}

TEST(ScriptFinder, ReadsOnlyUpToTheFirstNul)
{
    html::SwfLinkSet links;
    html::script::FindScriptMovieLinks(links, kPage, "x = 'a.swf';\0y = 'b.swf';"sv);
    EXPECT_EQ(links, html::SwfLinkSet({"http://host/games/a.swf"}));
}

} // namespace
