// The script finder's readers of calls, object literals and names, on the shapes pages write them in.
#include "html/script/ScriptText.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

using html::script::Span;

std::vector<std::string> Texts(std::string_view text, const std::vector<Span>& spans)
{
    std::vector<std::string> texts;
    for (const Span span : spans)
        texts.emplace_back(text.substr(span.begin, span.end - span.begin));
    return texts;
}

TEST(ScriptText, FindsWhereACallOrObjectCloses)
{
    struct Case {
        std::string text; // opens at offset 0
        std::size_t end;
        bool closed;
    };
    const std::vector<Case> cases = {
        {R"~((a, "b)", [1, {c: ')'}], /* ) */ d) + x)~", 35, true},
        {"(a, // )\n b)", 12, true},
        {"{a: `x\ny`}", 10, true},
        {"(a]", 2, false},                        // a bracket that does not match
        {"(\"no end\n\")", 1, false},             // a literal a line break ends
        {"(a, b </script><script> c)", 6, false}, // the script ends first
        {"((((", 4, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const html::script::Extent extent = html::script::ClosingBracketEnd(c.text, 0, c.text.size());
        EXPECT_EQ(extent.end, c.end);
        EXPECT_EQ(extent.closed, c.closed);
    }
}

TEST(ScriptText, SplitsArgumentsAndReadsOwnProperties)
{
    const std::string call = "( \"p\" , {src: \"x.swf\", w: f(1, 2)}, // the config\n {a: [1, 2]} )";
    const html::script::Call read = html::script::ReadCall(call, 0, call.size());
    EXPECT_TRUE(read.extent.closed);
    EXPECT_EQ(Texts(call, read.arguments),
              (std::vector<std::string>{"\"p\"", "{src: \"x.swf\", w: f(1, 2)}", "{a: [1, 2]}"}));
    EXPECT_TRUE(html::script::ReadCall("()", 0, 2).arguments.empty());
    EXPECT_TRUE(html::script::ReadCall("(a, b", 0, 5).arguments.empty());

    const std::string object = R"~({'url': "a.swf", inner: {url: 'b.swf', flash: 1}, /* c: 0, */ "d": d1 })~";
    const auto value = [&](std::string_view name) {
        const std::optional<Span> span = html::script::PropertyValue(object, {0, object.size()}, name);
        return span ? std::string(object.substr(span->begin, span->end - span->begin)) : std::string("(none)");
    };
    EXPECT_EQ(value("url"), "\"a.swf\"");
    EXPECT_EQ(value("inner"), "{url: 'b.swf', flash: 1}");
    EXPECT_EQ(value("d"), "d1");
    EXPECT_EQ(value("flash"), "(none)"); // a property of the object inside
    EXPECT_EQ(value("c"), "(none)");     // commented out
    EXPECT_EQ(Texts(object, html::script::PropertyValues(object, {0, object.size()})),
              (std::vector<std::string>{"\"a.swf\"", "{url: 'b.swf', flash: 1}", "d1"}));
    EXPECT_TRUE(html::script::PropertyValues("[1, 2]", {0, 6}).empty());
    EXPECT_TRUE(html::script::PropertyValues("{a: 1} || b", {0, 11}).empty()); // no object as a whole
}

TEST(ScriptText, ReadsDottedNames)
{
    const std::string text = "x = window.location.host + dir.; y = f().dir + 1a";
    EXPECT_EQ(html::script::DottedNameAt(text, 4, text.size()), "window.location.host");
    EXPECT_EQ(html::script::DottedNameAt(text, 27, text.size()), "dir"); // not its trailing "."
    EXPECT_EQ(html::script::DottedNameAt(text, 47, text.size()), "");    // a number
    EXPECT_EQ(html::script::DottedNameBefore(text, 24, 0), "window.location.host");
    EXPECT_EQ(html::script::DottedNameBefore(text, 44, 0), ""); // a member of a call's result
    EXPECT_EQ(html::script::DottedNameBefore(text, 1, 0), "x");
}

TEST(ScriptText, TellsTagsFromText)
{
    const std::string page = R"(<a href="x">text<b title="t">more)";
    html::script::TagContext context(page);
    EXPECT_TRUE(context.InsideTag(5));   // in <a ...>
    EXPECT_FALSE(context.InsideTag(13)); // "text"
    EXPECT_TRUE(context.InsideTag(20));  // in <b ...>
    EXPECT_FALSE(context.InsideTag(30)); // "more"
    EXPECT_FALSE(context.InsideTag(3));  // asked behind: the last answer
}

} // namespace
