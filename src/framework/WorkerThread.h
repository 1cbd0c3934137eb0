#pragma once
// The one way the window runs work off its own thread: the work runs on a thread of its own and hands what it
// has to the window's thread through a CUiHandOver, waiting (Run) or not (Post). Destroying the worker
// abandons the hand-over, which the work sees as its stop flag, and waits for the thread, so the work never
// touches a window that is gone and nothing it handed over runs afterwards. Used by both pages and by the
// preview's decoding.
#include "framework/UiHandOver.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <thread>

class CWorkerThread {
public:
    enum class Priority {
        Normal,
        Background, // yields to the window's thread: for long reading nobody waits for
    };
    // What the work gets: the hand-over to the context's thread. What it throws ends it without a word
    // (CHandOverAbandoned among others, once the owner has gone).
    using Work = std::function<void(CUiHandOver& ui)>;

    // Starts `work` on a new thread; `context` receives the hand-overs and must outlive this object.
    CWorkerThread(QObject* context, Work work, Priority priority = Priority::Normal);
    ~CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // True once the work has returned (or thrown).
    bool Finished() const { return m_bFinished; }

private:
    CUiHandOver m_handOver;
    std::atomic<bool> m_bFinished{false};
    std::thread m_thread; // last: starts once everything above exists
};
