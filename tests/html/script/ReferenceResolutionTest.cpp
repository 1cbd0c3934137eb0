// The script finder's resolution, as browsers resolve a reference.
#include "html/script/ReferenceResolution.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

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
        EXPECT_EQ(html::script::ResolveReference(base, reference), address) << reference;
    EXPECT_EQ(html::script::ResolveReference("http://host", "a.swf"), "http://host/a.swf");
    EXPECT_EQ(html::script::ResolveReference("http://host/", "\xc3\xa9.swf"), "http://host/\xc3\xa9.swf");
    EXPECT_EQ(html::script::ResolveReference("host/page.html", "a.swf"), std::nullopt);
}

} // namespace
