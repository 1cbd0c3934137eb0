#include "capture/ui/CaptureWorker.h"

#include "capture/PageMovies.h"
#include "wayback/ArchiveSetting.h"
#include "wayback/RawCapture.h"

#include <utility>
#include <vector>

CCaptureWorker::CCaptureWorker(CaptureView& view, QObject* context, std::string address)
    : m_view(view)
    , m_strAddress(std::move(address))
    , m_thread(context, [this](CUiHandOver& ui) { CaptureThreadProc(this, ui); })
{}

CCaptureWorker::~CCaptureWorker() = default;

unsigned CCaptureWorker::CaptureThreadProc(CCaptureWorker* worker, CUiHandOver& ui)
{
    CaptureView& view = worker->m_view;
    try {
        ui.Run([&view] { view.EnableGo(false); });
        view.StartBusy();
        // A page the live web no longer gives comes from the archive; what the archive does not give shows nothing.
        const capture::PageMovies movies =
            capture::FindPageMovies(worker->m_strAddress, capture::Finders::Both, &ui.AbandonedFlag());
        if (const auto& rows = movies.rows) {
            ui.Run([&view] { view.DeleteAllMovieRows(); });
            if (movies.archived) {
                const std::string page = wayback::RawCaptureAddress(wayback::Archive(), movies.archived->timestamp,
                                                                    movies.archived->original);
                ui.Run([&view, &page] { view.RowsFromArchive(page); });
            }
            std::vector<std::string> batch;
            for (auto it = rows->begin(); it != rows->end();) {
                batch.push_back(*it);
                if (++it == rows->end() || batch.size() == kRowsPerHandOver)
                    ui.Run([&view, rows = std::exchange(batch, {})] { view.InsertMovieRowsAtTop(rows); });
            }
        }
    } catch (...) {
        // A failed capture shows nothing; the page just returns to idle.
    }
    try {
        ui.Run([&view] { view.EnableGo(true); });
    } catch (...) {
        // Abandoned: the page is going away.
    }
    worker->m_bHandOversDone = true;
    try {
        view.StopBusy();
    } catch (...) {
    }
    try {
        view.ResetBusy();
    } catch (...) {
    }
    worker->m_bFinished = true;
    return 0;
}
