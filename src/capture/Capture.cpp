#include "capture/Capture.h"

#include "capture/UrlFetcher.h"
#include "html/markup/MarkupFinder.h"
#include "html/movies/MovieLinks.h"

namespace capture {

std::string AddressToCapture(std::string typed)
{
    if (!typed.starts_with("http"))
        typed.insert(0, "http://");
    return typed;
}

html::SwfLinkSet FindMovies(std::string_view pageAddress, std::string_view pageText, Finders finders)
{
    html::SwfLinkSet links;
    if (finders == Finders::MarkupOnly)
        html::markup::FindSwfLinks(links, pageAddress, pageText);
    else
        html::FindMovieLinks(links, pageAddress, pageText);
    return links;
}

std::optional<html::SwfLinkSet> CapturePage(const std::string& address, Finders finders, const std::atomic<bool>* abort,
                                            std::string* error)
{
    CUrlFetcher fetcher;
    fetcher.SetAbortFlag(abort);
    if (!fetcher.FetchPage(address)) {
        if (error != nullptr)
            *error = fetcher.LastError();
        return std::nullopt;
    }
    return FindMovies(address, fetcher.m_pPageBuffer.get(), finders);
}

std::vector<std::string> RowsInListOrder(const html::SwfLinkSet& links) { return {links.rbegin(), links.rend()}; }

} // namespace capture
