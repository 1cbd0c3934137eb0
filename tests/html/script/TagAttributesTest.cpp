// A start tag's attributes as an HTML tokenizer reads them, which both the typed-tag pass and the movie
// parameters rely on: quotes of either kind, values without quotes, blanks and slashes between attributes, a
// name that starts with "=", and tags the page cuts off.
#include "html/script/TagAttributes.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

std::pair<Pairs, std::size_t> Read(std::string_view page)
{
    std::vector<html::script::TagAttribute> attributes{{"stale", "left from before"}};
    const std::size_t end = html::script::ReadTagAttributes(page, page.find_first_of(" \t"), attributes);
    Pairs pairs;
    for (const auto& attribute : attributes)
        pairs.emplace_back(attribute.name, attribute.value);
    return {pairs, end};
}

TEST(TagAttributes, ReadsEachFormAndEndsAfterTheTag)
{
    const struct {
        const char* page;
        Pairs attributes;
        std::size_t end;
    } cases[] = {
        {R"(<embed src="a b.swf" flashvars='x="1"' play=true>after)",
         {{"src", "a b.swf"}, {"flashvars", R"(x="1")"}, {"play", "true"}},
         49},
        {"<embed\tsrc = m.swf/ / hidden>", {{"src", "m.swf/"}, {"hidden", ""}}, 29},
        {"<p =x=1>", {{"=x", "1"}}, 8},
        {R"(<embed src="cut off)", {{"src", "cut off"}}, 19},
        {"<embed src=", {{"src", ""}}, 11},
        {"<embed >", {}, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        const auto [attributes, end] = Read(c.page);
        EXPECT_EQ(attributes, c.attributes);
        EXPECT_EQ(end, c.end);
    }
}

} // namespace
