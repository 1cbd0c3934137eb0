// Resolution of a movie's names where the command line cannot reach: a base elsewhere, a movie with
// no address of its own (a plain file in the window), a name that resolves to the same address both
// ways, and FlashVars values that are escaped.
#include "capture/MovieFiles.h"

#include <gtest/gtest.h>

namespace {

swf::MovieReading Named(std::vector<swf::MovieName> names)
{
    swf::MovieReading reading;
    reading.names = std::move(names);
    return reading;
}

TEST(MovieFiles, CandidatesFollowThePageTheBaseAndTheMovie)
{
    const swf::MovieReading reading = Named({{"levels/one.swf", swf::NameSource::Action, false, false},
                                             {"http://cdn.example.com/a.mp3", swf::NameSource::Abc, false, false},
                                             {"/root.xml", swf::NameSource::Import, false, false}});
    const std::optional<std::string> movie = "http://games.example.com/play/game/main.swf";

    // A base elsewhere takes the page's place; the movie's own folder comes second.
    const capture::PageContext cdn{"http://games.example.com/play/index.html", "", "http://static.example.com/g/", ""};
    const auto based = capture::ResolveLoadedFiles(reading, movie, cdn);
    ASSERT_EQ(based.size(), 3U);
    EXPECT_EQ(based[0].candidates,
              (std::vector<std::string>{"http://static.example.com/g/levels/one.swf",
                                        "http://games.example.com/play/game/levels/one.swf"}));
    EXPECT_EQ(based[1].candidates, std::vector<std::string>{"http://cdn.example.com/a.mp3"});
    // Root-relative: the same site both ways for the movie, another for the base.
    EXPECT_EQ(based[2].candidates,
              (std::vector<std::string>{"http://static.example.com/root.xml", "http://games.example.com/root.xml"}));
    EXPECT_EQ(capture::HowNamed(based[2]), "import");

    // A page in the movie's folder gives one address, not two.
    const capture::PageContext beside{"http://games.example.com/play/game/index.html", "", std::nullopt, ""};
    EXPECT_EQ(capture::ResolveLoadedFiles(reading, movie, beside)[0].candidates.size(), 1U);

    // A plain file with no address and no page: only absolute names resolve.
    const auto unplaced = capture::ResolveLoadedFiles(reading, std::nullopt, std::nullopt);
    EXPECT_TRUE(unplaced[0].candidates.empty());
    EXPECT_EQ(unplaced[1].candidates, std::vector<std::string>{"http://cdn.example.com/a.mp3"});
}

TEST(MovieFiles, FlashVarsValuesAreDecodedAndComeFirst)
{
    const swf::MovieReading reading = Named({{"menu.swf", swf::NameSource::Action, false, true}});
    const capture::PageContext page{
        "http://games.example.com/index.html", "", std::nullopt,
        "skin=skins%2Fdark+blue.swf&xml=data/levels.xml&music=http%3A%2F%2Fcdn.example.com%2Fm.mp3"
        "&mode=hard&go=javascript:alert(1).swf"};
    const auto files = capture::ResolveLoadedFiles(reading, std::nullopt, page);
    ASSERT_EQ(files.size(), 3U);
    // "skins/dark blue.swf" has a blank: no address of a file.
    EXPECT_EQ(files[0].name, "data/levels.xml");
    EXPECT_EQ(capture::HowNamed(files[0]), "flashvars");
    EXPECT_EQ(files[1].candidates, std::vector<std::string>{"http://cdn.example.com/m.mp3"});
    EXPECT_EQ(capture::HowNamed(files[2]), "embedded");
    EXPECT_EQ(files[2].candidates, std::vector<std::string>{"http://games.example.com/menu.swf"});
}

} // namespace
