// The names proposed for movies found in browser caches, as the browsers' Save As would propose them.
#include "cache/MovieSaveName.h"

#include <gtest/gtest.h>

namespace {

cache::ResponseHead WithDisposition(const char* value)
{
    cache::ResponseHead head;
    head.status = 200;
    if (value != nullptr)
        head.headers.emplace_back("content-disposition", value);
    return head;
}

TEST(MovieSaveName, FromContentDispositionOrTheAddress)
{
    const struct {
        const char* disposition; // nullptr: no such header
        const char* address;
        std::string expected;
    } cases[] = {
        {nullptr, "http://example.com/games/draw.swf", "draw.swf"},
        {nullptr, "http://example.com/games/DRAW.SWF?v=2#top", "DRAW.SWF"},
        {nullptr, "http://example.com/get.php?id=7", "get.php.swf"},
        {nullptr, "http://example.com/play/", "movie.swf"},
        {nullptr, "http://example.com", "movie.swf"},
        {nullptr, "http://example.com/a%20b%C3%A9.swf", "a b\xc3\xa9.swf"},
        {nullptr, "http://example.com/%E9t%E9.swf", "%E9t%E9.swf"}, // not UTF-8 once decoded: stays escaped
        {nullptr, "http://example.com/x%2F..%2Fevil.swf", "evil.swf"},
        {nullptr, "http://example.com/a%00b.swf", "a%00b.swf"},
        {nullptr, "http://example.com/..", "movie.swf"},
        {"attachment; filename=\"Nice Movie.swf\"", "http://example.com/download?id=3", "Nice Movie.swf"},
        {"attachment; filename=plain", "http://example.com/d", "plain.swf"},
        {"inline; filename=\"a \\\"q\\\".swf\"", "http://example.com/d", "a \"q\".swf"},
        {"attachment; filename=\"fallback.swf\"; filename*=UTF-8''Sch%C3%B6n.swf", "http://e/d", "Sch\xc3\xb6n.swf"},
        {"attachment; filename*=iso-8859-1'en'%E9t%E9.swf", "http://e/d", "\xc3\xa9t\xc3\xa9.swf"},
        {"attachment; filename*=UTF-8''%E9.swf; filename=ok.swf", "http://e/d", "ok.swf"}, // bad UTF-8
        {"attachment; filename*=koi8-r''x.swf", "http://e/d.swf", "d.swf"},
        {"attachment; filename=\"../../etc/passwd\"", "http://e/d", "passwd.swf"},
        {"attachment; filename=\"C:\\\\temp\\\\m.swf\"", "http://e/d", "m.swf"},
        {"attachment; filename=\"  \"", "http://e/fallback.swf", "fallback.swf"},
        {"attachment", "http://e/x.swf", "x.swf"},
        {"attachment; FILENAME=Up.Swf", "http://e/x", "Up.Swf"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(cache::MovieSaveName(WithDisposition(c.disposition), c.address), c.expected)
            << (c.disposition ? c.disposition : "");
    }
}

TEST(MovieSaveName, LongNamesFitAFileNameWithWholeCharacters)
{
    const std::string stem(300, 'a');
    EXPECT_EQ(cache::MovieSaveName(WithDisposition(nullptr), "http://e/" + stem), std::string(251, 'a') + ".swf");
    EXPECT_EQ(cache::MovieSaveName(WithDisposition(nullptr), "http://e/" + stem + ".SWF"),
              std::string(251, 'a') + ".SWF");
    std::string accented;
    for (int i = 0; i < 200; ++i)
        accented += "%C3%A9";
    const std::string name = cache::MovieSaveName(WithDisposition(nullptr), "http://e/" + accented);
    EXPECT_LE(name.size(), 255u);
    EXPECT_EQ(name.size() % 2, 0u) << "a two-byte character was split";
    EXPECT_TRUE(name.ends_with(".swf"));
}

} // namespace
