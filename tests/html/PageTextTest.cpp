#include "html/PageText.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace {

using namespace std::literals;
using html::kPageTextLimit;

struct ChunkCase {
    const char* name;
    std::vector<std::string> chunks;
    std::string text;
    bool ended;
};

TEST(PageText, KeepsBytesUpToTheFirstNulAndTheLimit)
{
    const std::string almostFull(kPageTextLimit - 2, 'x');
    const std::vector<ChunkCase> cases = {
        {"plain chunks", {"<a>", "", "<b>"}, "<a><b>", false},
        {"NUL in a later chunk", {"<a>", "b\0c"s, "d"}, "<a>b", true},
        {"NUL first", {"\0abc"s}, "", true},
        {"exactly the limit", {almostFull, "yz"}, almostFull + "yz", true},
        {"past the limit", {almostFull, "yz!", "more"}, almostFull + "yz", true},
        {"one byte short of the limit", {almostFull, "y"}, almostFull + "y", false},
        {"NUL right at the limit", {almostFull, "y\0"s}, almostFull + "y", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        html::PageText text;
        for (const auto& chunk : c.chunks)
            text.Append(chunk);
        EXPECT_EQ(text.Text().size(), c.text.size());
        EXPECT_TRUE(text.Text() == c.text);
        EXPECT_EQ(text.Ended(), c.ended);
    }
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

TEST(ReadPageText, ReadsAStreamToItsEnd)
{
    const std::unique_ptr<std::FILE, FileCloser> file(std::tmpfile());
    ASSERT_TRUE(file);
    std::string body(kPageTextLimit - 1, 'p');
    body += "q<tail>\0after"s;
    ASSERT_EQ(std::fwrite(body.data(), 1, body.size(), file.get()), body.size());
    std::rewind(file.get());
    const std::string text = html::ReadPageText(file.get());
    EXPECT_EQ(text.size(), kPageTextLimit);
    EXPECT_EQ(text.substr(text.size() - 2), "pq");
    EXPECT_TRUE(std::feof(file.get())) << "the rest of the body is read, not left behind";

    const std::unique_ptr<std::FILE, FileCloser> folder(std::fopen("/", "rb"));
    ASSERT_TRUE(folder);
    EXPECT_THROW(html::ReadPageText(folder.get()), std::system_error);
}

} // namespace
