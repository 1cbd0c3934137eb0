#include "capture/SaveAllNaming.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using namespace capture;

struct NamingCase {
    std::string folder;
    std::string address;
    std::optional<std::string> destination;
};

class SaveAllNamingTest : public ::testing::TestWithParam<NamingCase> {};

TEST_P(SaveAllNamingTest, DestinationFollowsTheLastSlash)
{
    const NamingCase& c = GetParam();
    EXPECT_EQ(SaveAllDestination(c.folder, c.address), c.destination) << c.folder << " + " << c.address;
}

const std::string kLongName = std::string(300, 'n') + ".swf";

INSTANTIATE_TEST_SUITE_P(
    Rows, SaveAllNamingTest,
    ::testing::Values(NamingCase{"/home/u/movies", "http://host/games/b.swf", "/home/u/movies/b.swf"},
                      NamingCase{"/home/u/movies/", "http://host/b.swf", "/home/u/movies/b.swf"}, // no second separator
                      NamingCase{"/", "http://host/b.swf", "/b.swf"},
                      NamingCase{"out//", "http://host/b.swf", "out//b.swf"},
                      NamingCase{"out", "http://host/get.php?file=a.swf", "out/get.php?file=a.swf"},
                      NamingCase{"out", "http://host/x.swf?path=a/b", "out/b"}, // the last "/" may lie in the query
                      NamingCase{"out", "movie.swf", "out/movie.swf"},          // no "/": the whole address
                      NamingCase{"out", "http://host/" + kLongName, "out/" + kLongName}, // no length limit
                      NamingCase{"out", "http://host/...", "out/..."},
                      NamingCase{"out", "http://host/.swf", "out/.swf"}, NamingCase{"", "http://host/b.swf", "b.swf"},
                      NamingCase{"out", "http://host/games/", std::nullopt}, // empty name
                      NamingCase{"out", "http://host/.", std::nullopt},
                      NamingCase{"out", "http://host/..", std::nullopt}, NamingCase{"out", "..", std::nullopt},
                      NamingCase{"out", "", std::nullopt}));

} // namespace
