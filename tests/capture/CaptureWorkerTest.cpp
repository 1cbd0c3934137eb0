// The capture worker against a stand-in for its page: which changes it makes, in which order and on
// which thread, for a page that lists movies, one that cannot be opened, and a capture abandoned
// while the page's answer is held back.
#include "capture/ui/CaptureWorker.h"
#include "capture/Capture.h"
#include "support/Loopback.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Records each call, and whether the page's calls came on the page's thread and the indicator's
// on another.
class RecordingView final : public CaptureView {
public:
    void EnableGo(bool enable) override { Page(enable ? "go on" : "go off"); }
    void DeleteAllMovieRows() override { Page("clear"); }
    void InsertMovieRowsAtTop(const std::vector<std::string>& addresses) override
    {
        Page("insert " + std::to_string(addresses.size()));
        for (const std::string& address : addresses)
            rows.insert(rows.begin(), address);
    }
    void StartBusy() override { Worker("busy start"); }
    void StopBusy() override { Worker("busy stop"); }
    void ResetBusy() override { Worker("busy reset"); }

    std::vector<std::string> calls;
    std::vector<std::string> rows; // the list as a page that inserts at the top would hold it
    bool wrongThread = false;

private:
    void Page(const std::string& call)
    {
        wrongThread |= QThread::currentThread() != qApp->thread();
        Record(call);
    }
    void Worker(const std::string& call)
    {
        wrongThread |= QThread::currentThread() == qApp->thread();
        Record(call);
    }
    void Record(const std::string& call)
    {
        std::lock_guard lock(m_mutex);
        calls.push_back(call);
    }
    std::mutex m_mutex;
};

std::string PageOf(int movies)
{
    std::string page;
    for (int i = 0; i < movies; ++i)
        page += "<embed src=\"m" + std::to_string(1000 + i) + ".swf\">";
    return page;
}

class CaptureWorkerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::ClearProxyEnvironment(); }

    // Captures `address` and waits for the worker to finish.
    void Capture(const std::string& address)
    {
        CCaptureWorker worker(m_view, &m_context, address);
        ASSERT_TRUE(QTest::qWaitFor([&] { return worker.Finished(); }, 10000));
    }

    QObject m_context;
    RecordingView m_view;
};

TEST_F(CaptureWorkerTest, RebuildsTheListInBatchesGreatestFirst)
{
    const test::LoopbackServer server([](httplib::Server& s) {
        s.Get("/page.html",
              [](const httplib::Request&, httplib::Response& r) { r.set_content(PageOf(130), "text/html"); });
    });
    const std::string address = server.Url("/page.html");
    Capture(address);
    const std::vector<std::string> expected = {"go off",   "busy start", "clear",     "insert 64", "insert 64",
                                               "insert 2", "go on",      "busy stop", "busy reset"};
    EXPECT_EQ(m_view.calls, expected);
    EXPECT_FALSE(m_view.wrongThread);
    ASSERT_EQ(m_view.rows.size(), 130u);
    EXPECT_EQ(m_view.rows.front(), server.Url("/m1129.swf"));
    EXPECT_EQ(m_view.rows, capture::RowsInListOrder(capture::FindMovies(address, PageOf(130))));
}

TEST_F(CaptureWorkerTest, APageThatCannotBeOpenedLeavesTheListAlone)
{
    const test::LoopbackSocket refusing(false);
    Capture(refusing.Url("/page.html"));
    const std::vector<std::string> expected = {"go off", "busy start", "go on", "busy stop", "busy reset"};
    EXPECT_EQ(m_view.calls, expected);
    EXPECT_FALSE(m_view.wrongThread);
}

TEST_F(CaptureWorkerTest, AbandonedWhileThePageIsHeldBackItEndsWithoutTouchingTheList)
{
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
    std::atomic<bool> asked{false};
    const test::LoopbackServer server([&](httplib::Server& s) {
        s.Get("/slow.html", [&](const httplib::Request&, httplib::Response& r) {
            asked = true;
            std::unique_lock lock(mutex);
            released.wait_for(lock, 20s, [&] { return release; });
            r.set_content(PageOf(3), "text/html");
        });
    });
    auto worker = std::make_unique<CCaptureWorker>(m_view, &m_context, server.Url("/slow.html"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return asked.load(); }, 10000));
    // The destructor abandons the capture: the transfer breaks off and the thread ends, well before
    // the server would answer.
    const auto start = std::chrono::steady_clock::now();
    worker.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    released.notify_all();
    const std::vector<std::string> expected = {"go off", "busy start", "busy stop", "busy reset"};
    EXPECT_EQ(m_view.calls, expected);
    EXPECT_TRUE(m_view.rows.empty());
}

} // namespace
