#include "cli/PageCapture.h"

#include "capture/PageMovies.h"
#include "cli/Command.h"
#include "platform/Exceptions.h"
#include "wayback/ArchiveSetting.h"
#include "wayback/RawCapture.h"

namespace cli {

namespace {

// "20080430204935" as "2008-04-30 20:49:35".
std::string ReadableTime(const std::string& timestamp)
{
    if (timestamp.size() != 14)
        return timestamp;
    return timestamp.substr(0, 4) + "-" + timestamp.substr(4, 2) + "-" + timestamp.substr(6, 2) + " "
        + timestamp.substr(8, 2) + ":" + timestamp.substr(10, 2) + ":" + timestamp.substr(12, 2);
}

void ReportArchive(const std::string& address, const capture::PageMovies& movies)
{
    if (!movies.error.empty())
        PrintError(movies.error);
    else if (movies.archived)
        PrintError(address + " answered with HTTP status " + std::to_string(movies.status));
    if (movies.archived) {
        const capture::ArchivedPage& page = *movies.archived;
        std::string line = "listed from the archive's capture of " + page.original + " of "
            + ReadableTime(page.timestamp) + " ("
            + wayback::RawCaptureAddress(wayback::Archive(), page.timestamp, page.original) + ")";
        if (page.notCaptured > 0)
            line += "; " + std::to_string(page.notCaptured) + " of its movies the archive never captured keep their "
                + "live address";
        PrintError(line);
    }
    if (!movies.archiveProblem.empty())
        PrintError(movies.archiveProblem);
    else if (movies.archiveAsked && !movies.archived)
        PrintError("the archive at " + wayback::Archive() + " holds no capture of " + address);
}

} // namespace

PageCapture CapturePage(const std::string& typedAddress, bool literal)
{
    PageCapture result;
    try {
        const auto finders = literal ? capture::Finders::MarkupOnly : capture::Finders::Both;
        const std::string address = capture::AddressToCapture(typedAddress);
        const capture::PageMovies movies = capture::FindPageMovies(address, finders);
        ReportArchive(address, movies);
        if (!movies.rows) {
            result.status = kCannotOpen;
            return result;
        }
        result.rows.assign(movies.rows->rbegin(), movies.rows->rend());
    } catch (const CException& failure) {
        PrintError(failure.what());
        result.status = kTransferFailed;
    }
    return result;
}

} // namespace cli
