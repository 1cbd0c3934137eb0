#include "framework/WorkerThread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <utility>

CWorkerThread::CWorkerThread(QObject* context, Work work, Priority priority)
    : m_handOver(context)
    , m_thread([this, work = std::move(work), priority] {
        if (priority == Priority::Background)
            ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
        try {
            work(m_handOver);
        } catch (...) {
            // Abandoned, or out of memory: what was handed over so far stays, nothing is shown.
        }
        m_bFinished = true;
    })
{}

CWorkerThread::~CWorkerThread()
{
    m_handOver.Abandon();
    m_thread.join();
}
