// Plausibility of a row, the row's form, the browser's resolution and the escapes undone before it.
#include "html/MovieAddress.h"
#include "html/ReferenceResolution.h"
#include "html/TextEscapes.h"

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

TEST(ResolveReference, ResolvesAsBrowsersDo)
{
    // RFC 3986's own examples (section 5.4) and a few of the page's.
    const std::string base = "http://a/b/c/d;p?q";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"g:h", "g:h"},
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"g#s", "http://a/b/c/g#s"},
        {";x", "http://a/b/c/;x"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../..", "http://a/"},
        {"../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"g.", "http://a/b/c/g."},
        {"..g", "http://a/b/c/..g"},
        {"./g/.", "http://a/b/c/g/"},
        {"g/../h", "http://a/b/c/h"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"g?y/./x", "http://a/b/c/g?y/./x"},
        {"http:g", "http:g"},
        {"  g\n.swf ", "http://a/b/c/g.swf"},
    };
    for (const auto& [reference, address] : cases)
        EXPECT_EQ(html::ResolveReference(base, reference), address) << reference;
    EXPECT_EQ(html::ResolveReference("http://host", "a.swf"), "http://host/a.swf");
    EXPECT_EQ(html::ResolveReference("http://host/", "\xc3\xa9.swf"), "http://host/\xc3\xa9.swf");
    EXPECT_EQ(html::ResolveReference("host/page.html", "a.swf"), std::nullopt);
}

TEST(TextEscapes, UndoOneLevel)
{
    EXPECT_EQ(html::DecodeCharacterReferences("&quot;a&amp;b&#47;c&#x2F;d&#x2f&lt;&bogus;&#0;&"),
              "\"a&b/c/d/<&bogus;&#0;&");
    EXPECT_EQ(html::DecodeCharacterReferences("&#233;&#x1F600;"), "\xc3\xa9\xf0\x9f\x98\x80");
    EXPECT_EQ(html::DecodeScriptEscapes(R"(\/a\x2Fb\u002Fc\"\\\u00e9\xZZ\)"), "/a/b/c\"\\\xc3\xa9xZZ\\");
    EXPECT_EQ(html::DecodePercentEscapes("http%3A%2f%2Fh%2Fa%20b%zz%4"), "http://h/a b%zz%4");
    EXPECT_TRUE(html::HasEncodedAddress("file=HTTP%3a%2F%2fh"));
    EXPECT_TRUE(html::HasEncodedAddress("%2Fskins%2Fa.swf"));
    EXPECT_FALSE(html::HasEncodedAddress("a%20b.swf"));
}

} // namespace
