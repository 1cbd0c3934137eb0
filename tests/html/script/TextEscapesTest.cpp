// The escapes the script finder undoes before it resolves a reference.
#include "html/script/TextEscapes.h"

#include <gtest/gtest.h>

namespace {

TEST(TextEscapes, UndoOneLevel)
{
    EXPECT_EQ(html::script::DecodeCharacterReferences("&quot;a&amp;b&#47;c&#x2F;d&#x2f&lt;&bogus;&#0;&"),
              "\"a&b/c/d/<&bogus;&#0;&");
    EXPECT_EQ(html::script::DecodeCharacterReferences("&#233;&#x1F600;"), "\xc3\xa9\xf0\x9f\x98\x80");
    EXPECT_EQ(html::script::DecodeScriptEscapes(R"(\/a\x2Fb\u002Fc\"\\\u00e9\xZZ\)"), "/a/b/c\"\\\xc3\xa9xZZ\\");
    EXPECT_EQ(html::script::DecodePercentEscapes("http%3A%2f%2Fh%2Fa%20b%zz%4"), "http://h/a b%zz%4");
    EXPECT_TRUE(html::script::HasEncodedAddress("file=HTTP%3a%2F%2fh"));
    EXPECT_TRUE(html::script::HasEncodedAddress("%2Fskins%2Fa.swf"));
    EXPECT_TRUE(html::script::HasEncodedAddress("%3Curl%3Ehttp%3A//h/a.swf"));
    EXPECT_FALSE(html::script::HasEncodedAddress("a%20b.swf"));
}

} // namespace
