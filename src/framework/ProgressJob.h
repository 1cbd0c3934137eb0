#pragma once
// Work off the window's thread with a progress dialog: the dialog names what the work does now, shows how far
// it has come and can be cancelled; once the work has ended (done, cancelled or failed) the dialog closes and
// `finished` runs on the window's thread. The dialog is window-modal, so a second job cannot be started from the
// same window meanwhile. Destroying the job cancels the work and waits for it; `finished` then never runs.
#include "framework/WorkerThread.h"

#include <QPointer>
#include <QProgressDialog>
#include <QString>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>

class CProgressJob {
public:
    // Says what the work does now: a line of text, and `done` of `known` steps (known 0 when not known yet).
    using Tell = std::function<void(const QString& text, std::size_t done, std::size_t known)>;
    // Ends soon once `stop` turns true (the user cancelled, or the window went).
    using Work = std::function<void(const Tell& tell, const std::atomic<bool>& stop)>;

    CProgressJob(QWidget* owner, const QString& title, Work work, std::function<void()> finished);
    ~CProgressJob();
    CProgressJob(const CProgressJob&) = delete;
    CProgressJob& operator=(const CProgressJob&) = delete;

    bool Finished() const { return m_bFinished; }
    QProgressDialog* Dialog() const { return m_dialog; }

private:
    std::atomic<bool> m_bStop{false};
    bool m_bFinished = false;
    QPointer<QProgressDialog> m_dialog;
    std::unique_ptr<CWorkerThread> m_worker; // last: started once the rest exists
};
