#include "cli/CaptureRows.h"

#include "capture/UrlFetcher.h"
#include "cli/Command.h"
#include "platform/Exceptions.h"

namespace cli {

Capture CaptureRows(const std::string& address)
{
    Capture capture;
    CUrlFetcher fetcher;
    try {
        if (!fetcher.FetchPage(address)) {
            PrintError(fetcher.LastError());
            capture.status = kCannotOpen;
            return capture;
        }
    } catch (const CException& failure) {
        PrintError(failure.what());
        capture.status = kTransferFailed;
        return capture;
    }
    html::SwfLinkSet links;
    html::FindSwfLinks(links, address, fetcher.m_pPageBuffer.get());
    capture.rows = RowsGreatestFirst(links);
    return capture;
}

std::vector<std::string> RowsGreatestFirst(const html::SwfLinkSet& links)
{
    return {links.rbegin(), links.rend()};
}

} // namespace cli
