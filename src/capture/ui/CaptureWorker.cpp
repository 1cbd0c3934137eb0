#include "capture/ui/CaptureWorker.h"

#include "capture/ui/InternetPage.h"
#include "capture/UrlFetcher.h"
#include "html/SwfLinks.h"

#include <string>
#include <utility>
#include <vector>

CCaptureWorker::CCaptureWorker(CInternetPage* page)
    : m_pPage(page)
    , m_handOver(page)
    , m_thread(&CCaptureWorker::CaptureThreadProc, this)
{
}

CCaptureWorker::~CCaptureWorker()
{
    m_handOver.Abandon();
    m_thread.join();
}

unsigned CCaptureWorker::CaptureThreadProc(CCaptureWorker* worker)
{
    CInternetPage* page = worker->m_pPage;
    CUiHandOver& ui = worker->m_handOver;
    CBusyProgressCtrl& busy = page->m_busy;
    try {
        ui.Run([page] { page->EnableGo(false); });
        busy.Start();
        const std::string address = page->m_strAddress;  // written before this thread started
        CUrlFetcher fetcher;
        fetcher.SetAbortFlag(&ui.AbandonedFlag());
        html::SwfLinkSet links;
        if (fetcher.FetchPage(address)) {
            html::FindSwfLinks(links, address, fetcher.m_pPageBuffer.get());
            ui.Run([page] { page->DeleteAllMovieRows(); });
            std::vector<std::string> batch;
            for (auto it = links.begin(); it != links.end();) {
                batch.push_back(*it);
                if (++it == links.end() || batch.size() == kRowsPerHandOver)
                    ui.Run([page, rows = std::exchange(batch, {})] {
                        for (const std::string& row : rows)
                            page->InsertMovieRowAtTop(row);
                    });
            }
        }
    } catch (...) {
        // A failed capture shows nothing; the page just returns to idle.
    }
    try {
        ui.Run([page] { page->EnableGo(true); });
    } catch (...) {
        // Abandoned: the page is going away.
    }
    worker->m_bHandOversDone = true;
    try {
        busy.Stop();
    } catch (...) {
    }
    try {
        busy.Reset();
    } catch (...) {
    }
    worker->m_bFinished = true;
    return 0;
}
