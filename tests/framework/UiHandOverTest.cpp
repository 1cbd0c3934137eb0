// Hand-overs from a worker thread to the thread of a QObject: what the worker gets back, posted work and its
// order, abandoning while the worker waits, and the worker thread that owns a hand-over. (The pages' tests run
// the ordinary hand-overs.)
#include "framework/UiHandOver.h"
#include "framework/WorkerThread.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

TEST(UiHandOver, PassesOnWhatTheWorkThrew)
{
    QObject context;
    CUiHandOver handOver(&context);
    auto result = std::async(std::launch::async, [&] {
        try {
            handOver.Run([] { throw std::length_error("too long"); });
        } catch (const std::length_error& e) {
            return std::string(e.what());
        }
        return std::string("nothing thrown");
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.wait_for(0s) == std::future_status::ready; }, 5000));
    EXPECT_EQ(result.get(), "too long");
}

TEST(UiHandOver, AbandonWakesTheWaitingWorkerAndTheWorkNeverRuns)
{
    QObject context;
    CUiHandOver handOver(&context);
    std::atomic<bool> waiting{false};
    bool ran = false;
    // This thread handles no events: the worker stays in Run until Abandon.
    auto worker = std::async(std::launch::async, [&] {
        waiting = true;
        try {
            handOver.Run([&] { ran = true; });
        } catch (const CHandOverAbandoned&) {
            return true;
        }
        return false;
    });
    while (!waiting)
        std::this_thread::yield();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(worker.wait_for(0s), std::future_status::timeout);
    EXPECT_FALSE(handOver.AbandonedFlag());

    handOver.Abandon();
    ASSERT_EQ(worker.wait_for(5s), std::future_status::ready);
    EXPECT_TRUE(worker.get());
    EXPECT_TRUE(handOver.AbandonedFlag());
    QCoreApplication::processEvents(); // the queued work is dropped
    EXPECT_FALSE(ran);

    // Later hand-overs fail at once.
    EXPECT_THROW(handOver.Run([&] { ran = true; }), CHandOverAbandoned);
    EXPECT_FALSE(ran);
}

TEST(UiHandOver, PostedWorkRunsOnTheContextsThreadInOrderUntilAbandoned)
{
    QObject context;
    CUiHandOver handOver(&context);
    std::vector<int> ran;
    bool otherThread = false;
    std::thread([&] {
        for (int i = 0; i < 100; ++i)
            handOver.Post([&, i] {
                otherThread |= QThread::currentThread() != context.thread();
                ran.push_back(i);
            });
    }).join();
    EXPECT_TRUE(ran.empty()) << "posting does not wait";
    ASSERT_TRUE(QTest::qWaitFor([&] { return ran.size() == 100; }, 5000));
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(ran[static_cast<std::size_t>(i)], i);
    EXPECT_FALSE(otherThread);

    // Work posted before Abandon but not yet run is dropped, and so is work posted after it.
    std::thread([&] { handOver.Post([&] { ran.push_back(-1); }); }).join();
    handOver.Abandon();
    std::thread([&] { handOver.Post([&] { ran.push_back(-2); }); }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(ran.size(), 100u);
}

// The owner goes while its worker waits in a hand-over and another posts: the destructor wakes the work,
// which sees the stop flag, and returns only once the thread has ended; nothing handed over runs after it.
TEST(WorkerThread, GoingAwayStopsTheWorkAndWaitsForItsThread)
{
    auto context = std::make_unique<QObject>();
    std::atomic<bool> stopped{false};
    std::atomic<bool> entered{false};
    bool ranOnContext = false;
    auto waiting = std::make_unique<CWorkerThread>(context.get(), [&](CUiHandOver& ui) {
        entered = true;
        try {
            ui.Run([&] { ranOnContext = true; }); // never carried out: this thread handles no events meanwhile
        } catch (const CHandOverAbandoned&) {
            stopped = ui.AbandonedFlag().load();
            throw;
        }
    });
    auto posting = std::make_unique<CWorkerThread>(
        context.get(),
        [&](CUiHandOver& ui) {
            while (!ui.AbandonedFlag()) {
                ui.Post([&] { ranOnContext = true; });
                std::this_thread::sleep_for(1ms);
            }
        },
        CWorkerThread::Priority::Background);
    while (!entered)
        std::this_thread::yield();
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(waiting->Finished());
    waiting.reset();
    posting.reset();
    EXPECT_TRUE(stopped);
    QCoreApplication::processEvents();
    EXPECT_FALSE(ranOnContext);

    // A worker whose work ends by itself says so, and its results arrive.
    int result = 0;
    CWorkerThread done(context.get(), [&](CUiHandOver& ui) { ui.Post([&] { result = 42; }); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return done.Finished() && result == 42; }, 5000));
}

} // namespace
