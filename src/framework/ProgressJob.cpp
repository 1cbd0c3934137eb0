#include "framework/ProgressJob.h"

#include "framework/Commands.h"

#include <QWidget>

CProgressJob::CProgressJob(QWidget* owner, const QString& title, Work work, std::function<void()> finished)
{
    m_dialog = new QProgressDialog(owner);
    m_dialog->setWindowTitle(title);
    m_dialog->setLabelText(title);
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setMinimumDuration(0);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_dialog->setRange(0, 0);
    m_dialog->setMinimumWidth(480);
    QObject::connect(m_dialog, &QProgressDialog::canceled, m_dialog, [this] {
        m_bStop = true;
        m_dialog->setLabelText(QStringLiteral("Cancelling…"));
    });
    m_dialog->show();
    m_worker = std::make_unique<CWorkerThread>(
        owner, [this, work = std::move(work), finished = std::move(finished)](CUiHandOver& ui) {
            const Tell tell = [this, &ui](const QString& text, std::size_t done, std::size_t known) {
                ui.Post([this, text, done, known] {
                    if (!m_dialog || m_bStop)
                        return;
                    m_dialog->setLabelText(text);
                    m_dialog->setRange(0, static_cast<int>(known));
                    m_dialog->setValue(static_cast<int>(done));
                });
            };
            try {
                work(tell, m_bStop);
            } catch (...) {
                // The work tells its own failures; whatever escapes it still ends the job.
            }
            ui.Post([this, finished] {
                m_bFinished = true;
                delete m_dialog;
                RunCommand(finished);
            });
        });
}

CProgressJob::~CProgressJob()
{
    m_bStop = true;
    m_worker.reset();
    delete m_dialog;
}
