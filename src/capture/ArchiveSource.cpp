#include "capture/ArchiveSource.h"

#include "capture/ArchiveRequests.h"
#include "capture/UrlFetcher.h"
#include "platform/Exceptions.h"
#include "wayback/RawCapture.h"

#include <ctime>

namespace capture {

namespace {

// Now as the archive writes times, "YYYYMMDDhhmmss" in UTC.
std::string NowTimestamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[16];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &parts);
    return text;
}

} // namespace

SourceAnswer ArchiveSource::NoAnswer(std::string problem)
{
    ++m_nUnanswered;
    if (m_problem.empty())
        m_problem = problem;
    SourceAnswer answer;
    answer.why = Missing::kNoAnswer;
    answer.detail = std::move(problem);
    return answer;
}

SourceAnswer ArchiveSource::GetNamedBy(const std::string& address, const std::string& by, int fd,
                                       const std::atomic<bool>* stop)
{
    std::string timestamp;
    std::string original = address;
    if (const auto told = m_timeOf.find(address); told != m_timeOf.end()) {
        timestamp = told->second;
    } else {
        const auto namer = m_timeOf.find(by);
        std::string problem;
        const auto capture =
            NearestCapture(m_archive, address, namer != m_timeOf.end() ? namer->second : NowTimestamp(), problem, stop);
        if (!capture) {
            if (!problem.empty())
                return NoAnswer(std::move(problem));
            SourceAnswer answer;
            answer.detail = "the archive at " + m_archive + " holds no capture of it";
            return answer;
        }
        timestamp = capture->timestamp;
        original = capture->original;
    }
    const std::string raw = wayback::RawCaptureAddress(m_archive, timestamp, original);
    SourceAnswer answer;
    CUrlFetcher fetcher;
    fetcher.SetAbortFlag(stop);
    try {
        if (!fetcher.DownloadToDescriptor(raw, fd, address))
            return NoAnswer("the archive at " + m_archive + " did not answer: " + fetcher.LastError());
    } catch (const CException& failure) {
        answer.why = Missing::kBrokeOff;
        answer.status = fetcher.LastStatus();
        answer.detail = "the archive at " + m_archive + " stopped answering: " + failure.what();
        return answer;
    }
    answer.status = fetcher.LastStatus();
    if (answer.status == 429 || answer.status == 503)
        return NoAnswer(ArchiveStatusProblem(m_archive, answer.status, {}));
    if (answer.status != 200) {
        answer.why = Missing::kStatus;
        answer.detail = "the archive answered " + raw + " with status " + std::to_string(answer.status);
        return answer;
    }
    // Asked for a time it holds nothing at, the archive sends the capture nearest to it, redirected.
    if (const auto given = wayback::ReadRawCaptureAddress(m_archive, fetcher.LastAddress())) {
        timestamp = given->timestamp;
        original = given->original;
    }
    m_timeOf[address] = timestamp;
    answer.got = true;
    answer.facts.emplace_back("capture", wayback::RawCaptureAddress(m_archive, timestamp, original));
    answer.facts.emplace_back("captured", timestamp);
    return answer;
}

} // namespace capture
