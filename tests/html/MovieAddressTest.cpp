// Plausibility of a row and the row's form.
#include "html/MovieAddress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(IsPlausibleMovieAddress, TakesWholeAddressesOnly)
{
    const std::vector<std::pair<std::string, bool>> cases = {
        {"http://host/a.swf", true},
        {"https://Host.example:8080/a/b.swf", true},
        {"http://host/get.php?id=7&x=%2F", true},
        {"http://[::1]/x.swf", true},
        {"http://user@host/x.swf", true},
        {"ftp://host/x.swf", true},
        {"file:///home/u/x.swf", true},
        {"http://host/\xc3\xa9.swf", true},
        {"", false},
        {"a.swf", false},
        {"c:/movies/a.swf", false},
        {"javascript:play('a.swf')", false},
        {"http:///a.swf", false},
        {"http://tech.example//cdn.example/a.swf", false},
        {"http://host/a//b.swf", true},
        {"http://-host/a.swf", false},
        {"http://ho st/a.swf", false},
        {"http://host/a b.swf", false},
        {"http://host/a\tb.swf", false},
        {"http://host/\"a.swf", false},
        {"http://host/<a.swf", false},
        {"http://host/{{dir}}/a.swf", false},
        {"http://host/\\/media\\/a.swf", false},
        {"http://host/x.php?a=1&quot;b.swf", false},
        {"http://host/&#47;a.swf", false},
        {"http://host/p.swf?file=http%3A%2F%2Fcdn%2Fx.swf", false},
        {"http://host/%3Curl%3Ehttp%3A//cdn/x.swf", false},
        {"http://host/%3ca.swf", false},
        {"http://host/a%3E.swf", false},
        {"http://host/a%3D%3F.swf", true},
        {"http://host/%zz.swf", false},
        {"http://host/a.swf%", false},
        {"http://host/" + std::string(2048 - 12, 'a'), true},
        {"http://host/" + std::string(2048 - 11, 'a'), false},
    };
    for (const auto& [address, plausible] : cases)
        EXPECT_EQ(html::IsPlausibleMovieAddress(address), plausible) << address;
}

TEST(MovieRowOf, DropsQueryOfMoviePathsOnly)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"http://h/a.swf?x=1#f", "http://h/a.swf"},
        {"http://h/a.SWF#f", "http://h/a.SWF"},
        {"http://h/get.php?id=7#f", "http://h/get.php?id=7"},
        {"http://h/get.php?f=a.swf", "http://h/get.php?f=a.swf"},
        {"http://h/a.swf/x", "http://h/a.swf/x"},
    };
    for (const auto& [address, row] : cases)
        EXPECT_EQ(html::MovieRowOf(address), row) << address;
}

} // namespace
