// Hand-overs from a worker thread to the thread of a QObject: what the worker gets back, and
// abandoning while the worker waits. (The page's tests run the ordinary hand-overs.)
#include "capture/ui/UiHandOver.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

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

} // namespace
