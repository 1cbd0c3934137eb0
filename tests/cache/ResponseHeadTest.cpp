// Stored response heads as the movie check reads them: Chromium's NUL-separated lines and Firefox's CR LF ones,
// header names in any letter case (HTTP/2 sends them in lower case), the blanks HTTP allows around values,
// and Content-Length headers that agree or disagree.
#include "cache/formats/ResponseHead.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

TEST(ResponseHead, ReadsHeadersWhateverTheirCaseAndBlanks)
{
    const auto head = cache::ParseResponseHead(
        "HTTP/1.1 200 OK\0content-length:\t 1234 \0 Content-Type : application/x-shockwave-flash\t\0"
        "CONTENT-ENCODING:gzip\0Vary: a\0vary:b\0\0"s);
    ASSERT_TRUE(head);
    EXPECT_EQ(head->status, 200);
    EXPECT_EQ(head->ContentLength(), std::optional<std::optional<std::uint64_t>>(1234));
    EXPECT_EQ(head->Value("Content-Type"), "application/x-shockwave-flash");
    EXPECT_EQ(head->Value("content-encoding"), "gzip");
    EXPECT_EQ(head->Value("VARY"), "a, b");
    // A name that differs in one letter, or only in length, is another header.
    EXPECT_EQ(head->Value("Content-Typ"), std::nullopt);
    EXPECT_EQ(head->Value("Content-Lengtx"), std::nullopt);

    const auto firefox = cache::ParseResponseHead("HTTP/2 404 \r\nContent-Length: 0\r\n");
    ASSERT_TRUE(firefox);
    EXPECT_EQ(firefox->status, 404);
    EXPECT_EQ(firefox->ContentLength(), std::optional<std::optional<std::uint64_t>>(0));

    EXPECT_FALSE(cache::ParseResponseHead("Content-Length: 3\0"s));
    EXPECT_FALSE(cache::ParseResponseHead("HTTP/1.1 20 OK\0"s));
}

TEST(ResponseHead, ContentLengthsCountOnlyWhenTheyAgree)
{
    const auto length = [](const std::string& text) {
        const auto head = cache::ParseResponseHead("HTTP/1.1 200 OK\0"s + text);
        EXPECT_TRUE(head);
        return head ? head->ContentLength() : std::nullopt;
    };
    using Declared = std::optional<std::optional<std::uint64_t>>;
    const Declared unreadable{std::in_place}; // a Content-Length there is, but no one length
    EXPECT_EQ(length("Content-Type: text/html\0"s), std::nullopt);
    EXPECT_EQ(length("Content-Length: 12 , 12\0content-length:12\0"s), Declared(12));
    EXPECT_EQ(length("Content-Length: 12, 13\0"s), unreadable);
    EXPECT_EQ(length("Content-Length: 12\0CONTENT-LENGTH: 13\0"s), unreadable);
    EXPECT_EQ(length("Content-Length: 12 bytes\0"s), unreadable);
    EXPECT_EQ(length("Content-Length:\t\0"s), unreadable);
}

// The headers live in one string as ranges of it: a copy, a move, a header added after the parse and one
// removed must each leave every other name and value as it was, byte for byte.
TEST(ResponseHead, HeadersSurviveCopiesAdditionsAndRemovals)
{
    auto parsed = cache::ParseResponseHead("HTTP/1.1 200 OK\r\nA:  1 \r\nContent-Length: 5\r\nB:two\r\n"s);
    ASSERT_TRUE(parsed);
    cache::ResponseHead copy = *parsed;
    parsed->headers.emplace_back("C", std::string(40, 'c')); // grows the string: the copy's own stays
    cache::ResponseHead moved = std::move(*parsed);
    EXPECT_EQ(copy.headers.size(), 3u);
    EXPECT_EQ(copy.Value("A"), "1");
    EXPECT_EQ(copy.Value("b"), "two");
    ASSERT_EQ(moved.headers.size(), 4u);
    EXPECT_EQ(moved.headers[3], cache::HeaderList::Field("C", std::string(40, 'c')));

    EXPECT_EQ(
        moved.headers.EraseIf([](const cache::HeaderList::Field& field) { return field.first == "Content-Length"; }),
        1u);
    EXPECT_EQ(moved.ContentLength(), std::nullopt);
    std::vector<std::pair<std::string, std::string>> left;
    for (const auto& [name, value] : moved.headers)
        left.emplace_back(name, value);
    EXPECT_EQ(
        left,
        (std::vector<std::pair<std::string, std::string>>{{"A", "1"}, {"B", "two"}, {"C", std::string(40, 'c')}}));
}

} // namespace
