// The archive's CDX server asked through the fetcher, against a loopback Wayback Machine holding a site wget
// crawled at test time: every page of a query followed through its resume keys, the pages bounded and paced,
// the pause cut short when the capture is abandoned, and one line naming the archive for each way it can
// fail to give (refusals, no answer, an answer too slow for the transfer limits).
#include "capture/ArchiveRequests.h"
#include "capture/UrlFetcher.h"
#include "support/ArchivedSite.h"
#include "support/Loopback.h"
#include "support/WaybackServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <memory>

namespace {

class ArchiveRequests : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        test::ClearProxyEnvironment();
        s_archive = std::make_unique<test::WaybackServer>();
        s_site = std::make_unique<test::ArchivedSite>(*s_archive);
    }
    static void TearDownTestSuite()
    {
        s_site.reset();
        s_archive.reset();
    }
    void SetUp() override { capture::SetCdxInterval(std::chrono::milliseconds(0)); }
    void TearDown() override
    {
        s_archive->Refuse(0);
        s_archive->Silence(std::chrono::milliseconds(0));
        capture::CUrlFetcher::SetTransferLimits({});
    }

    static wayback::CdxQuery SiteQuery(int pageSize)
    {
        return {.url = s_site->Host(), .match = wayback::MatchType::Domain, .limit = pageSize};
    }

    static inline std::unique_ptr<test::WaybackServer> s_archive;
    static inline std::unique_ptr<test::ArchivedSite> s_site;
};

std::vector<std::string> Times(const std::vector<wayback::CdxCapture>& captures)
{
    std::vector<std::string> keys;
    for (const auto& capture : captures)
        keys.push_back(capture.urlkey + " " + capture.timestamp + " " + capture.original);
    return keys;
}

TEST_F(ArchiveRequests, EveryPageIsReadThroughTheResumeKeys)
{
    std::vector<std::string> indexed;
    for (const test::IndexedCapture& line : s_archive->Captures()) {
        if (line.original.starts_with(s_site->Url("/"))) // not wget's metadata records
            indexed.push_back(line.urlkey + " " + line.timestamp + " " + line.original);
    }
    ASSERT_EQ(indexed.size(), 7u); // warcio's index of the crawl: the page, the movies and the 404

    for (const int pageSize : {1, 3, static_cast<int>(indexed.size()), 1000}) {
        SCOPED_TRACE(pageSize);
        const std::size_t asked = s_archive->CdxRequests().size();
        const capture::CdxSearch search = capture::SearchCdx(s_archive->Address(), SiteQuery(pageSize));
        EXPECT_EQ(search.problem, "");
        EXPECT_FALSE(search.cut);
        EXPECT_EQ(Times(search.captures), indexed);
        // A page that ends at its limit carries a key, and the page after it may be empty, as the archive's are.
        const std::size_t pages = indexed.size() / static_cast<std::size_t>(pageSize) + 1;
        EXPECT_EQ(search.pages, pages);
        EXPECT_EQ(s_archive->CdxRequests().size() - asked, pages);
    }

    const capture::CdxSearch bounded = capture::SearchCdx(s_archive->Address(), SiteQuery(2), nullptr, 3);
    EXPECT_TRUE(bounded.cut);
    EXPECT_EQ(bounded.pages, 3u);
    EXPECT_EQ(Times(bounded.captures), std::vector(indexed.begin(), indexed.begin() + 6));
}

TEST_F(ArchiveRequests, RequestsWaitForThePauseAfterTheOneBefore)
{
    capture::SetCdxInterval(std::chrono::milliseconds(400));
    const std::size_t asked = s_archive->CdxRequests().size();
    const std::size_t connections = s_archive->ConnectionsSeen();
    const auto search = capture::SearchCdx(s_archive->Address(), SiteQuery(3));
    ASSERT_EQ(search.problem, "");
    const auto requests = s_archive->CdxRequests();
    ASSERT_GE(requests.size() - asked, 3u);
    for (std::size_t i = asked + 1; i < requests.size(); ++i)
        EXPECT_GE(requests[i].at - requests[i - 1].at, std::chrono::milliseconds(400)) << i;
    // Every page on one kept connection (the one the test before left, or one new).
    EXPECT_LE(s_archive->ConnectionsSeen() - connections, 1u);

    // Abandoned while it waits for its turn: it returns at once, having asked nothing.
    capture::SetCdxInterval(std::chrono::seconds(30));
    std::atomic<bool> abandon{false};
    auto waiting = std::async(std::launch::async,
                              [&] { return capture::SearchCdx(s_archive->Address(), SiteQuery(1000), &abandon); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::size_t before = s_archive->CdxRequests().size();
    abandon = true;
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    const capture::CdxSearch abandoned = waiting.get();
    EXPECT_TRUE(abandoned.abandoned);
    EXPECT_EQ(abandoned.pages, 0u);
    EXPECT_EQ(s_archive->CdxRequests().size(), before);
}

TEST_F(ArchiveRequests, WhatTheArchiveDoesNotGiveIsToldInOneLineNamingIt)
{
    const std::string naming = "the archive at " + s_archive->Address();
    struct Case {
        int refusal;
        std::string problem;
    };
    for (const Case& c :
         {Case{429, naming + " refuses requests for now (HTTP 429 Too Many Requests); try again later"},
          Case{503, naming + " is not available for now (HTTP 503 Service Unavailable); try again later"},
          Case{403, naming + " refused the request (HTTP 403)"}}) {
        s_archive->Refuse(c.refusal);
        std::string problem;
        EXPECT_FALSE(capture::LatestCapture(s_archive->Address(), s_site->Url(test::ArchivedSite::kPage), problem));
        EXPECT_EQ(problem, c.problem);
    }
    s_archive->Refuse(0);

    // Slower than the transfer limits allow: no answer.
    capture::CUrlFetcher::SetTransferLimits({std::chrono::seconds(1), std::chrono::seconds(1)});
    s_archive->Silence(std::chrono::milliseconds(3000));
    std::string slow;
    EXPECT_FALSE(capture::NearestCapture(s_archive->Address(), s_site->Url("/games/a.swf"), "2000", slow));
    EXPECT_TRUE(slow.starts_with(naming + " did not answer: Operation too slow")) << slow;
    s_archive->Silence(std::chrono::milliseconds(0));

    const test::LoopbackSocket refusing(false);
    const test::SilentServer silent;
    for (const std::string& address : {refusing.Url(""), silent.Url("")}) {
        const capture::CdxSearch search = capture::SearchCdx(address, SiteQuery(1000));
        EXPECT_TRUE(search.problem.starts_with("the archive at " + address + " did not answer: ")) << search.problem;
        EXPECT_EQ(search.problem.find("/cdx/search/cdx"), std::string::npos) << search.problem;
        EXPECT_EQ(search.pages, 0u);
    }
}

} // namespace
