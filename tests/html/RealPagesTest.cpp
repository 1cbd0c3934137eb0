// Recall and precision of the markup finder alone and of both finders on the real pages of
// tests/data/pages, against the movie lists written by hand for them.
#include "html/MovieLinks.h"
#include "html/PageText.h"
#include "html/SwfLinks.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kPagesFolder = PLUMEROC_PAGES_DIR;

struct RealPage {
    std::string name;
    std::string address;
};

std::vector<RealPage> ReadIndex()
{
    std::vector<RealPage> pages;
    std::ifstream index(kPagesFolder + "/index.tsv");
    for (std::string line; std::getline(index, line);) {
        const std::size_t tab = line.find('\t');
        if (!line.empty() && tab != std::string::npos)
            pages.push_back({line.substr(0, tab), line.substr(tab + 1)});
    }
    return pages;
}

std::string ReadPage(const std::string& path)
{
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file)
        ADD_FAILURE() << "cannot open " << path;
    return file ? html::ReadPageText(file.get()) : std::string();
}

std::set<std::string> ReadExpected(const std::string& path)
{
    std::set<std::string> expected;
    std::ifstream in(path);
    if (!in)
        ADD_FAILURE() << "cannot open " << path;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty())
            expected.insert(line);
    }
    return expected;
}

struct Score {
    std::size_t expected = 0; // addresses in the hand-written lists
    std::size_t found = 0;    // of those, listed by the finder
    std::size_t rows = 0;     // rows the finder listed
    std::size_t right = 0;    // of those, addresses in the lists

    void Add(const std::set<std::string>& wanted, const html::SwfLinkSet& links)
    {
        expected += wanted.size();
        rows += links.size();
        for (const std::string& link : links)
            right += wanted.count(link);
        found = right; // each listed address is counted once on both sides
    }
    double Recall() const { return expected ? static_cast<double>(found) / static_cast<double>(expected) : 1; }
    double Precision() const { return rows ? static_cast<double>(right) / static_cast<double>(rows) : 1; }
};

std::string Figures(const Score& score)
{
    char text[96];
    std::snprintf(text, sizeof text, "%zu/%zu found, %zu/%zu rows right", score.found, score.expected, score.right,
                  score.rows);
    return text;
}

TEST(RealPages, BothFindersReachTheTargets)
{
    const std::vector<RealPage> pages = ReadIndex();
    ASSERT_GE(pages.size(), 40u) << "index.tsv of " << kPagesFolder;
    Score markupTotal;
    Score bothTotal;
    for (const RealPage& page : pages) {
        const std::string text = ReadPage(kPagesFolder + "/" + page.name + ".html");
        const std::set<std::string> wanted = ReadExpected(kPagesFolder + "/" + page.name + ".expected");
        html::SwfLinkSet markup;
        html::FindSwfLinks(markup, page.address, text.c_str());
        html::SwfLinkSet both;
        html::FindMovieLinks(both, page.address, text);
        Score markupScore;
        Score bothScore;
        markupScore.Add(wanted, markup);
        bothScore.Add(wanted, both);
        markupTotal.Add(wanted, markup);
        bothTotal.Add(wanted, both);
        std::printf("%-44s markup: %-30s both: %s\n", page.name.c_str(), Figures(markupScore).c_str(),
                    Figures(bothScore).c_str());
        for (const std::string& address : wanted) {
            if (!both.count(address))
                std::printf("    missed: %s\n", address.c_str());
        }
        for (const std::string& link : both) {
            if (!wanted.count(link))
                std::printf("    wrong:  %s\n", link.c_str());
        }
    }
    std::printf("markup finder alone: recall %.1f %%, precision %.1f %% (%s)\n", 100 * markupTotal.Recall(),
                100 * markupTotal.Precision(), Figures(markupTotal).c_str());
    std::printf("both finders:        recall %.1f %%, precision %.1f %% (%s)\n", 100 * bothTotal.Recall(),
                100 * bothTotal.Precision(), Figures(bothTotal).c_str());
    EXPECT_GE(bothTotal.Recall(), 0.90);
    EXPECT_GE(bothTotal.Precision(), 0.95);
}

} // namespace
