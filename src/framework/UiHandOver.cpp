#include "framework/UiHandOver.h"

#include <QMetaObject>
#include <QThread>

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <utility>

struct CUiHandOver::State {
    std::mutex mutex;
    std::condition_variable done;
    std::uint64_t nPosted = 0;   // worker side only
    std::uint64_t nFinished = 0; // the last hand-over carried out
    std::exception_ptr failure;  // what it threw
    std::atomic<bool> bAbandoned{false};
};

CUiHandOver::CUiHandOver(QObject* context) : m_pContext(context), m_pState(std::make_shared<State>()) {}

CUiHandOver::~CUiHandOver() = default;

void CUiHandOver::Run(std::function<void()> work)
{
    State& state = *m_pState;
    if (state.bAbandoned)
        throw CHandOverAbandoned();
    if (QThread::currentThread() == m_pContext->thread()) {
        work(); // already there: waiting for itself would never end
        return;
    }
    const std::uint64_t ticket = ++state.nPosted;
    QMetaObject::invokeMethod(
        m_pContext,
        [pState = m_pState, work = std::move(work), ticket] {
            // Abandon runs on this same thread, so nothing can abandon between this test and the work.
            if (pState->bAbandoned)
                return;
            std::exception_ptr failure;
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
            {
                std::lock_guard lock(pState->mutex);
                pState->nFinished = ticket;
                pState->failure = std::move(failure);
            }
            pState->done.notify_all();
        },
        Qt::QueuedConnection);

    std::unique_lock lock(state.mutex);
    state.done.wait(lock, [&] { return state.nFinished == ticket || state.bAbandoned; });
    if (state.nFinished != ticket)
        throw CHandOverAbandoned();
    if (std::exception_ptr failure = std::exchange(state.failure, nullptr))
        std::rethrow_exception(failure);
}

void CUiHandOver::Post(std::function<void()> work)
{
    if (m_pState->bAbandoned)
        return;
    QMetaObject::invokeMethod(
        m_pContext,
        [pState = m_pState, work = std::move(work)] {
            if (!pState->bAbandoned)
                work();
        },
        Qt::QueuedConnection);
}

void CUiHandOver::Abandon()
{
    {
        // Under the lock, so a worker between its test and its wait cannot miss the wake-up.
        std::lock_guard lock(m_pState->mutex);
        m_pState->bAbandoned = true;
    }
    m_pState->done.notify_all();
}

const std::atomic<bool>& CUiHandOver::AbandonedFlag() const { return m_pState->bAbandoned; }
