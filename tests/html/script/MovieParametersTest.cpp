// A movie's FlashVars and base as real pages of ../shared/data give them (expected values read off
// the pages), and as SWFObject's two ways of writing a movie give them.
#include "html/script/MovieParameters.h"
#include "support/Files.h"
#include "support/SharedData.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

std::string FirstLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

TEST(MovieParameters, RealPagesGiveTheirMoviesFlashVarsAndBase)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(pages, "pages");
    PLUMEROC_SHARED_DATA_OR_SKIP(pagesB, "pages-b");
    // An <embed> with flashvars naming the sound the player plays.
    const auto olavo = html::script::FindMovieParameters(test::ReadFile(pages + "/045-olavo-colombo.html"),
                                                         "http://www.olavodecarvalho.org/midia/110821colombo.html",
                                                         "http://www.olavodecarvalho.org/mediaplayer.swf");
    ASSERT_TRUE(olavo.has_value());
    EXPECT_EQ(olavo->flashVars,
              "file=http://200.147.22.243/jc/parceiros/cafecolombo/audios/110821_olavo_de_carvalho_2.mp3");
    EXPECT_FALSE(olavo->base.has_value());

    // Three <object>s of one player, each with its own <param name="FlashVars"> (references undone):
    // the first one that names the movie is taken.
    const auto regnier = html::script::FindMovieParameters(
        test::ReadFile(pages + "/037-alexregnier-portfolio.html"),
        "https://web.archive.org/web/20090629062834/http://www.alexregnier.com/portefolio.html",
        "https://web.archive.org/web/20090629062834/http://www.alexregnier.com/FLVPlayer_Progressive.swf");
    ASSERT_TRUE(regnier.has_value());
    EXPECT_EQ(regnier->flashVars,
              "&MM_ComponentVersion=1&skinName=Clear_Skin_3&streamName=videos/pubsaba&autoPlay=false&autoRewind=false");

    // An <embed> inside an <object>, each with a base.
    const std::string adPage = FirstLine(pagesB + "/p29.addr");
    const auto ad = html::script::FindMovieParameters(
        test::ReadFile(pagesB + "/p29.html"), adPage,
        "https://n-kishi108.github.io/projNM/app/app/data/test_data027_files/01_data_002/"
        "100401microsoftDAC_mmn_UC_300_250_002.swf");
    ASSERT_TRUE(ad.has_value());
    EXPECT_EQ(ad->base, "HTTP://spe.atdmt.com/ds/PJPPJMSNJMCS/");
    EXPECT_EQ(ad->flashVars, "");

    // A page that embeds other movies gives this one nothing.
    EXPECT_FALSE(html::script::FindMovieParameters(test::ReadFile(pages + "/045-olavo-colombo.html"),
                                                   "http://www.olavodecarvalho.org/midia/110821colombo.html",
                                                   "http://www.olavodecarvalho.org/other.swf")
                     .has_value());
}

TEST(MovieParameters, SwfObjectCallsGiveFlashVarsAsSwfObjectJoinsThem)
{
    const std::string page = R"(<html><head><script>
var vars = {};
vars.music = "sound/theme.mp3";
vars["skin"] = 'skins/dark.swf';
swfobject.embedSWF("player.swf", "player", "400", "300", "9.0.0", false, vars, {wmode: "opaque"});
swfobject.embedSWF("game/main.swf", "game", "640", "480", "9", "expressInstall.swf",
    {level: "levels/one.xml", 'mode': "hard", lives: 3}, {base: ".", flashvars: "lang=en"}, {id: "g"});
var so = new SWFObject("old/movie.swf", "m", "400", "300", "8", "#ffffff");
so.addParam("base", "http://cdn.example.com/old/");
so.addVariable("xml", "data/list.xml");
so.addVariable("autostart", "true");
so.write("flash");
</script></head><body></body></html>)";
    const std::string at = "http://games.example.com/play/index.html";
    const auto player = html::script::FindMovieParameters(page, at, "http://games.example.com/play/player.swf");
    ASSERT_TRUE(player.has_value());
    EXPECT_EQ(player->flashVars, "music=sound/theme.mp3&skin=skins/dark.swf");
    EXPECT_FALSE(player->base.has_value());

    const auto game = html::script::FindMovieParameters(page, at, "http://games.example.com/play/game/main.swf");
    ASSERT_TRUE(game.has_value());
    EXPECT_EQ(game->flashVars, "lang=en&level=levels/one.xml&mode=hard&lives=3");
    EXPECT_EQ(game->base, ".");
    EXPECT_EQ(game->movieAddress, "http://games.example.com/play/game/main.swf");

    const auto old = html::script::FindMovieParameters(page, at, "http://games.example.com/play/old/movie.swf");
    ASSERT_TRUE(old.has_value());
    EXPECT_EQ(old->flashVars, "xml=data/list.xml&autostart=true");
    EXPECT_EQ(old->base, "http://cdn.example.com/old/");

    // A movie read from a file is matched by its file name, when only one movie of the page has it.
    const auto byName = html::script::FindMovieParameters(page, at, "file:///home/me/saved/main.swf");
    ASSERT_TRUE(byName.has_value());
    EXPECT_EQ(byName->movieAddress, "http://games.example.com/play/game/main.swf");
}

} // namespace
