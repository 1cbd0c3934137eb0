// Runs the built plumeroc-grab binary on page files and standard input.
#include "support/Files.h"
#include "support/RunGrab.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::literals;

using Outcome = test::GrabRun;

class ScanCommand : public testing::Test {
protected:
    fs::path Write(const std::string& name, const std::string& bytes) const { return m_scratch.Write(name, bytes); }

    // Runs plumeroc-grab with `args`, standard input read from `input`.
    Outcome Run(const std::vector<std::string>& args, const std::string& input = "") const
    {
        return test::RunGrab(args, m_dir.string(), input);
    }

    test::TempFolder m_scratch;
    fs::path m_dir{m_scratch.Path()};
};

const std::string kPage = R"(<object><param name="movie" value="b.swf"><embed src="b.swf"></object>
<embed src="/top/A.swf"><a href="c.swf?x=1"><EMBED SRC="D.SWF"><embed src="../up.swf">)";

TEST_F(ScanCommand, PrintsLinksGreatestFirstFromFileOrStandardInput)
{
    const std::string expected =
        "http://host/up.swf\nhttp://host/top/A.swf\nhttp://host/games/c.swf\nhttp://host/games/b.swf\n";
    const fs::path page = Write("page.html", kPage);
    const std::vector<std::pair<std::vector<std::string>, std::string>> runs = {
        {{"scan", "--literal", "--base", "http://host/games/index.html", page.string()}, ""},
        {{"scan", "--base=http://host/games/index.html", "--literal", "-"}, kPage},
        {{"scan", "--base", "http://host/games/index.html", "--literal"}, kPage},
    };
    for (const auto& [args, input] : runs) {
        const Outcome outcome = Run(args, input);
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(outcome.out, expected);
        EXPECT_EQ(outcome.err, "");
    }
}

TEST_F(ScanCommand, NulTerminatedRowsKeepLineBreaks)
{
    const std::string page = "<embed src=\"a\r\nb.swf\"><embed src=\"z.swf\">";
    const Outcome outcome = Run({"scan", "--literal", "-0", "--base", "http://h/"}, page);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "http://h/z.swf\0http://h/a\r\nb.swf\0"s);
}

TEST_F(ScanCommand, ReadsPageTextOnlyUpToNulAndTheBufferSize)
{
    const std::string tag = "<embed src=\"in.swf\">";
    std::string page(1'048'575 - tag.size(), ' ');
    page += tag;                       // ends on the last byte kept
    page += "<embed src=\"out.swf\">"; // past the page buffer
    const Outcome full = Run({"scan", "--literal", "--base", "http://h/", Write("big.html", page).string()});
    EXPECT_EQ(full.status, 0);
    EXPECT_EQ(full.out, "http://h/in.swf\n");

    page.insert(0, 1, ' '); // the first tag's ">" now lies past the limit
    EXPECT_EQ(Run({"scan", "--literal", "--base", "http://h/", Write("cut.html", page).string()}).out, "");

    const Outcome nul = Run({"scan", "--base", "http://h/"}, "<embed src=\"x.swf\">\0<embed src=\"y.swf\">"s);
    EXPECT_EQ(nul.out, "http://h/x.swf\n");
}

TEST_F(ScanCommand, ReportsUnreadableFilesAndUsageErrors)
{
    const fs::path regular = Write("regular", "text");
    const std::vector<std::pair<std::vector<std::string>, int>> runs = {
        {{"scan", "--base", "http://h/", (m_dir / "missing.html").string()}, 2},
        {{"scan", "--base", "http://h/", (regular / "page.html").string()}, 2},
        {{"scan", "--base", "http://h/", m_dir.string()}, 2},
        {{"scan", regular.string()}, 1},
        {{"scan", "--base"}, 1},
        {{"scan", "--base", "http://h/", "-x"}, 1},
        {{"scan", "--base", "http://h/", "a", "b"}, 1},
    };
    for (const auto& [args, status] : runs) {
        SCOPED_TRACE(args.back());
        const Outcome outcome = Run(args);
        EXPECT_EQ(outcome.status, status);
        EXPECT_EQ(outcome.out, "");
        ASSERT_FALSE(outcome.err.empty());
        EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << "one line: " << outcome.err;
    }
}

TEST_F(ScanCommand, HelpDescribesTheCommand)
{
    const Outcome outcome = Run({"--help"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_NE(outcome.out.find("scan --base ADDRESS [-0] [--literal] [FILE]"), std::string::npos) << outcome.out;
}

TEST_F(ScanCommand, LiteralKeepsTheMarkupFinderAlone)
{
    // A tag's movie, one a script names, and an unquoted value written after a blank.
    const std::string page = R"(<embed src="a.swf"><script>swfobject.embedSWF("games/b.swf", "box", 400, 300, "9");)"
                             R"(</script><embed src = c.swf>)";
    const Outcome literal = Run({"scan", "--literal", "--base", "http://h/x/"}, page);
    EXPECT_EQ(literal.status, 0) << literal.err;
    EXPECT_EQ(literal.out, "http://h/x/a.swf\nhttp://h/x/ c.swf\n");
    const Outcome both = Run({"scan", "--base", "http://h/x/"}, page);
    EXPECT_EQ(both.status, 0) << both.err;
    // By default the blank is no part of the address, and the script's movie counts.
    EXPECT_EQ(both.out, "http://h/x/games/b.swf\nhttp://h/x/c.swf\nhttp://h/x/a.swf\n");
}

TEST_F(ScanCommand, OutputThatCannotBeWrittenIsStatusThree)
{
    const std::string page = "<embed src=\"a.swf\">";
    const std::vector<std::vector<std::string>> runs = {
        {"scan", "--base", "http://h/"},
        {"scan", "-0", "--base", "http://h/"},
        {"--help"},
    };
    for (const auto& args : runs) {
        SCOPED_TRACE(args.front() + " " + args.back());
        const Outcome outcome = test::RunGrab(args, m_dir.string(), page, std::nullopt, "/dev/full");
        EXPECT_EQ(outcome.status, 3);
        EXPECT_NE(outcome.err.find("standard output"), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << "one line: " << outcome.err;
    }
}

} // namespace
