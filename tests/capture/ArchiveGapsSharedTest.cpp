// What real web archives of ../shared/data/archives name and do not hold. The 2008 Heritrix crawl holds its
// pages' player (xspf_player.swf, embedded with queries the captures carry too) and three FlowPlayer movies
// whose ActionScript 2 names their skins' pictures and an authorisation file beside them, none of them
// crawled; the expected names were read from the movies' own strings. webarchive-commons' link test page
// embeds a movie the file does not hold.
#include "capture/ArchiveGaps.h"
#include "support/SharedData.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

std::vector<std::string> GapsOf(const std::string& file)
{
    capture::ArchiveGaps gaps;
    auto input = cache::ArchiveInput::Open(file);
    EXPECT_TRUE(input) << file;
    if (!input)
        return {};
    const auto result = gaps.ReadRecords(*input, file);
    EXPECT_GT(result.records, 0u);
    gaps.ReadMovies([](const std::string& movie) { ADD_FAILURE() << movie << " passed over"; });
    std::vector<std::string> rows;
    for (const capture::ArchiveGap& gap : gaps.Gaps())
        rows.push_back(gap.address + ' ' + gap.how + ' ' + gap.namedIn);
    return rows;
}

TEST(SharedArchiveGaps, TheHeritrixCrawlLacksTheFilesOfItsFlowPlayers)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(root, "archives/warc/ipwb");
    const std::string flv = "http://www.archive.org/flv/";
    std::vector<std::string> expected;
    for (const char* name : {"flowplayer_auth.txt", "PlayButton.jpg", "PauseButton.jpg", "LoopOnButton.jpg",
                             "LoopOffButton.jpg", "Dragger.jpg", "NextButton.jpg", "PrevButton.jpg", "MenuButton.jpg",
                             "UpButton.jpg", "DownButton.jpg", "LeftButton.jpg", "RightButton.jpg", "Scroller.jpg",
                             "XScrollerRight.jpg", "XScrollerMid.jpg", "XScrollerLeft.jpg"})
        expected.push_back((flv + name).append(" action ").append(flv).append("FlowPlayerWhite.swf"));
    // The player with a share button names two more pictures and the share player; the rest it names as
    // FlowPlayerWhite did.
    for (const std::string& address : {flv + "FullScreenOnButton.jpg", flv + "FullScreenOffButton.jpg",
                                       std::string("http://www.bubbleply.com/plyPlayer.swf")})
        expected.push_back((address + " action ").append(flv).append("FlowPlayerWhitePly.swf"));
    expected.push_back(
        "http://www.archive.org/flow/flowplayer_auth.txt action http://www.archive.org/flow/FlowPlayerLight.swf");

    std::vector<std::string> rows = GapsOf(root + "/IAH-20080430204825-00000-blackbook.warc.gz");
    std::sort(rows.begin(), rows.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(rows, expected);
}

TEST(SharedArchiveGaps, TheLinkTestPageEmbedsAMovieTheFileLacks)
{
    PLUMEROC_SHARED_DATA_OR_SKIP(root, "archives/warc/webarchive-commons");
    EXPECT_EQ(GapsOf(root + "/link-extraction-test.warc"),
              std::vector<std::string>{"http://www.example.com/helloworld.swf page http://www.example.com/html4.html"});
}

} // namespace
