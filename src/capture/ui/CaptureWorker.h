#pragma once
// The capture worker: on a thread of its own, fetches the page at an address, finds the movies it
// references and rebuilds the page's movie list. Each change to the page's controls is handed to the
// page's thread and waited for; the page can abandon the capture at any moment and then waits for the
// thread, which ends without touching the page's controls again.
#include "capture/ui/CaptureView.h"
#include "framework/WorkerThread.h"

#include <atomic>
#include <cstddef>
#include <string>

class QObject;

class CCaptureWorker {
public:
    // Rows handed to the page's thread at a time: the list still fills from the top in the set's
    // order, without one thread switch per row.
    static constexpr std::size_t kRowsPerHandOver = 64;

    // Starts CaptureThreadProc on a new thread, capturing `address` for `view`, whose controls belong
    // to the thread of `context`. Both must outlive this object.
    CCaptureWorker(CaptureView& view, QObject* context, std::string address);
    // Abandons the capture (a transfer under way breaks off) and waits for the thread to end.
    ~CCaptureWorker();
    CCaptureWorker(const CCaptureWorker&) = delete;
    CCaptureWorker& operator=(const CCaptureWorker&) = delete;

    // True once the worker needs nothing more from the page's thread (only the busy indicator is
    // left to stop), so that thread may wait for it.
    bool HandOversDone() const { return m_bHandOversDone; }
    // True once the capture has ended on every count, the indicator stopped and reset.
    bool Finished() const { return m_bFinished; }

private:
    // One capture, from disabling "Go" to stopping the indicator; returns 0 on every path.
    static unsigned CaptureThreadProc(CCaptureWorker* worker, CUiHandOver& ui);

    CaptureView& m_view;
    const std::string m_strAddress;
    std::atomic<bool> m_bHandOversDone{false};
    std::atomic<bool> m_bFinished{false};
    CWorkerThread m_thread; // last: starts once everything above exists
};
