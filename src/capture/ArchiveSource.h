#pragma once
// The archive as a source of a saved copy's files: an address's raw capture, written as its site sent it.
// Which capture: the one the save was told of for the address (the rows of plumeroc-grab archived); else
// the one nearest in time to the capture of the file that named it; else, when that file came from
// elsewhere (the live site gives today's), the latest. A save from the archive alone asks the CDX server for
// every file it was not told of, at its pace (capture/ArchiveRequests.h).
#include "capture/FileSource.h"

#include <cstddef>
#include <map>
#include <string>

namespace capture {

class ArchiveSource final : public FileSource {
public:
    explicit ArchiveSource(std::string archive) : m_archive(std::move(archive)) {}

    // Take the capture of `timestamp` for `original`; the first told for an address stays.
    void Know(const std::string& original, const std::string& timestamp) { m_timeOf.try_emplace(original, timestamp); }

    std::string_view Name() const override { return "archive"; }
    SourceAnswer Get(const std::string& address, int fd, const std::atomic<bool>* stop) override
    {
        return GetNamedBy(address, {}, fd, stop);
    }
    // Got, with the facts "capture" (its raw address) and "captured" (its time); or not there when the
    // archive holds no capture; or no answer, the line naming the archive in the detail.
    SourceAnswer GetNamedBy(const std::string& address, const std::string& by, int fd,
                            const std::atomic<bool>* stop) override;

    // The files the archive could not be asked for (it refused or did not answer), and its first line.
    std::size_t Unanswered() const { return m_nUnanswered; }
    const std::string& Problem() const { return m_problem; }

private:
    SourceAnswer NoAnswer(std::string problem);

    std::string m_archive;
    std::map<std::string, std::string> m_timeOf; // address -> the time of its capture, told or taken
    std::size_t m_nUnanswered = 0;
    std::string m_problem;
};

} // namespace capture
