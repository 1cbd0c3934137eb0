#pragma once
// Hands work from a worker thread to the thread that owns a QObject, waiting until it is done there (like a
// message sent across threads) or not (like one posted). Unlike a blocking queued call it can be abandoned:
// the owner's thread may then wait for the worker (join it) without deadlocking against a pending hand-over,
// and nothing handed over runs any more.
#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>

// Thrown to the worker by a hand-over that was abandoned before it ran.
class CHandOverAbandoned : public std::runtime_error {
public:
    CHandOverAbandoned() : std::runtime_error("the window went away") {}
};

class CUiHandOver {
public:
    // `context` runs the work; it must outlive every Run, and work still queued when it goes is dropped
    // with it.
    explicit CUiHandOver(QObject* context);
    ~CUiHandOver();
    CUiHandOver(const CUiHandOver&) = delete;
    CUiHandOver& operator=(const CUiHandOver&) = delete;

    // Runs `work` on the context's thread (at once when called there) and returns once it has run,
    // passing on what it threw. Throws CHandOverAbandoned, and `work` never runs, once Abandon has
    // been called.
    void Run(std::function<void()> work);

    // Queues `work` for the context's thread and returns at once; it runs there in the order posted, unless
    // Abandon came first. What it throws is not passed on: posted work must not throw.
    void Post(std::function<void()> work);

    // Context's thread: no work runs any more from now on, and a worker waiting in Run wakes at once.
    void Abandon();

    // True from Abandon on; readable from any thread (a fetcher watches it to stop early).
    const std::atomic<bool>& AbandonedFlag() const;

private:
    struct State;
    QObject* m_pContext;
    std::shared_ptr<State> m_pState; // shared with the queued work, which may outlive a Run
};
