#include "html/markup/MarkupScanner.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using html::markup::kNoPosition;
using namespace std::string_literals;

struct Step {
    std::string tagText;
    std::size_t position;
};

// Every call of the tag cursor from position 0 until it reports no further tag text.
std::vector<Step> AllSteps(std::string_view page, std::string_view open = "<", std::string_view close = ">")
{
    std::vector<Step> steps;
    std::size_t position = 0;
    do {
        const std::string_view tagText = html::markup::NextTagText(page, position, open, close);
        steps.push_back({std::string(tagText), position});
    } while (position != kNoPosition && steps.size() < 100);
    return steps;
}

struct TagCase {
    const char* name;
    std::string page;
    std::vector<Step> steps;
};

TEST(NextTagText, WalksSpansAndTrimsQuotes)
{
    const std::vector<TagCase> cases = {
        {"quoted value", R"(<embed src="intro.swf">)", {{R"(mbed src="intro.swf)", 22}, {"", kNoPosition}}},
        {"unquoted value",
         "<param name=movie value=intro.swf>",
         {{"param name=movie value=intro.swf", 33}, {"", kNoPosition}}},
        {"single quotes are not trimmed",
         "<param value='intro.swf'>",
         {{"param value='intro.swf'", 24}, {"", kNoPosition}}},
        {"quote before a final slash counts", R"(<a b="c"/>)", {{R"( b="c")", 9}, {"", kNoPosition}}},
        {"quote three bytes from the end does not",
         R"(<embed src="intro.swf" />)",
         {{R"(embed src="intro.swf" /)", 24}, {"", kNoPosition}}},
        {"empty span", "<>", {{"", 1}, {"", kNoPosition}}},
        {"two-byte text with a quote becomes empty", R"(<"x>)", {{"", 3}, {"", kNoPosition}}},
        {"one-byte quote is kept", R"(<">)", {{R"(")", 2}, {"", kNoPosition}}},
        {"inner < belongs to the text", "<a <b>", {{"a <b", 5}, {"", kNoPosition}}},
        {"line breaks are kept",
         "<embed\r\n src=\"intro.swf\">",
         {{"mbed\r\n src=\"intro.swf", 24}, {"", kNoPosition}}},
        {"comment is an ordinary span",
         R"(<!-- <embed src="old.swf"> -->)",
         {{R"(-- <embed src="old.swf)", 25}, {"", kNoPosition}}},
        {"script text",
         R"(<script>if (a<b) m="intro.swf";</script>)",
         {{"script", 7}, {R"(b) m="intro.swf";</script)", 39}, {"", kNoPosition}}},
        {"search restarts on the closing >", "x<a>y<b>", {{"a", 3}, {"b", 7}, {"", kNoPosition}}},
        {"< that never closes ends the scan", "<a><b c=\"d.swf\" <e", {{"a", 2}, {"", kNoPosition}}},
        {"no < at all", "plain text > here", {{"", kNoPosition}}},
        {"empty page", "", {{"", kNoPosition}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto steps = AllSteps(c.page);
        ASSERT_EQ(steps.size(), c.steps.size());
        for (std::size_t i = 0; i < steps.size(); ++i) {
            EXPECT_EQ(steps[i].tagText, c.steps[i].tagText) << "step " << i;
            EXPECT_EQ(steps[i].position, c.steps[i].position) << "step " << i;
        }
    }
}

TEST(NextTagText, PositionBoundsAndOtherDelimiters)
{
    const std::string_view page = "<ab>";
    for (const std::size_t start : {std::size_t{4}, std::size_t{5}, kNoPosition}) {
        std::size_t position = start;
        EXPECT_EQ(html::markup::NextTagText(page, position), "");
        EXPECT_EQ(position, kNoPosition) << "from " << start;
    }
    std::size_t position = 1; // past the only "<"
    EXPECT_EQ(html::markup::NextTagText(page, position), "");
    EXPECT_EQ(position, kNoPosition);

    const auto steps = AllSteps("a<!--one-->b<!--two-->", "<!--", "-->");
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].tagText, "one");
    EXPECT_EQ(steps[0].position, 8u);
    EXPECT_EQ(steps[1].tagText, "two");
    EXPECT_EQ(steps[1].position, 19u);
}

// Every reference of a tag text, rightmost first, as the markup finder steps through them.
std::vector<std::string> AllReferences(std::string_view tagText)
{
    std::vector<std::string> references;
    for (std::size_t end = tagText.size();;) {
        const html::markup::SwfReference reference = html::markup::PickSwfReference(tagText, end);
        if (reference.suffixAt == kNoPosition)
            break;
        EXPECT_EQ(tagText.substr(reference.suffixAt, 4), ".swf");
        if (!reference.text.empty())
            references.emplace_back(reference.text);
        end = reference.suffixAt;
    }
    return references;
}

TEST(PickSwfReference, TakesEachSuffixBackToItsStopCharacter)
{
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {R"(mbed src="intro.swf)", {"intro.swf"}},
        {"param name=movie value=intro.swf", {"intro.swf"}},
        {"embed src='movies/intro.swf'", {"movies/intro.swf"}},
        {R"(mbed src="intro.swf?lang=en)", {"intro.swf"}},
        {R"(EMBED SRC="INTRO.SWF)", {}},
        {R"(embed src="intro.Swf)", {}},
        {"embed src = intro.swf", {" intro.swf"}},
        {"mbed\r\n src=\"in\r\ntro.swf", {"in\r\ntro.swf"}},
        {R"(embed src="player.swf.php")", {"player.swf"}},
        {R"(embed src="a.swf" flashvars="m=b.swf")", {"b.swf", "a.swf"}},
        {R"(src="x.swf.swf)", {"x.swf.swf", "x.swf"}},
        {"!-- movies/intro.swf --", {}},
        {R"(!-- a.swf b="c.swf)", {"c.swf"}},
        {"=.swf", {".swf"}},
        {".swf", {}},
        {"a=.sw", {}},
    };
    for (const auto& [tagText, expected] : cases) {
        SCOPED_TRACE(tagText);
        EXPECT_EQ(AllReferences(tagText), expected);
    }
}

TEST(PickSwfReference, ReportsTheSuffixOffsetAndHonoursTheEnd)
{
    const std::string_view tagText = R"(src="a.swf" x="b.swf")";
    const auto rightmost = html::markup::PickSwfReference(tagText);
    EXPECT_EQ(rightmost.text, "b.swf");
    EXPECT_EQ(rightmost.suffixAt, 16u);
    // ".swf" must lie wholly inside the first `end` bytes.
    EXPECT_EQ(html::markup::PickSwfReference(tagText, 19).text, "a.swf");
    EXPECT_EQ(html::markup::PickSwfReference(tagText, 20).text, "b.swf");
    EXPECT_EQ(html::markup::PickSwfReference(tagText, 9).suffixAt, kNoPosition);

    const auto noStop = html::markup::PickSwfReference("movies/intro.swf");
    EXPECT_TRUE(noStop.text.empty());
    EXPECT_EQ(noStop.suffixAt, 12u);
}

} // namespace
