#include "capture/PageMovies.h"

#include "capture/UrlFetcher.h"
#include "wayback/ArchiveSetting.h"

namespace capture {

PageMovies FindPageMovies(const std::string& address, Finders finders, const std::atomic<bool>* abort)
{
    PageMovies movies;
    CUrlFetcher fetcher;
    fetcher.SetAbortFlag(abort);
    const bool opened = fetcher.FetchPage(address);
    movies.status = fetcher.LastStatus();
    movies.error = fetcher.LastError();
    const std::string archive = wayback::Archive();
    if (!archive.empty() && (!opened || movies.status >= 400) && !(abort != nullptr && abort->load())) {
        movies.archiveAsked = true;
        movies.archived = ReadArchivedPage(archive, address, finders, movies.archiveProblem, abort);
        if (movies.archived) {
            movies.rows = movies.archived->rows;
            return movies;
        }
    }
    if (opened) {
        const html::SwfLinkSet links = FindMovies(address, fetcher.m_pPageBuffer.get(), finders);
        movies.rows.emplace(links.begin(), links.end());
    }
    return movies;
}

} // namespace capture
