#include "capture/FileSource.h"

#include "capture/UrlFetcher.h"
#include "platform/Exceptions.h"

namespace capture {

std::string_view MissingText(Missing why)
{
    switch (why) {
    case Missing::kStatus:
        return "status";
    case Missing::kNoAnswer:
        return "no answer";
    case Missing::kBrokeOff:
        return "broke off";
    case Missing::kNotThere:
        return "not there";
    case Missing::kRefused:
        return "refused";
    case Missing::kNotWritten:
        return "not written";
    case Missing::kLimit:
        return "limit";
    case Missing::kCancelled:
        break;
    }
    return "cancelled";
}

SourceAnswer LiveSource::Get(const std::string& address, int fd, const std::atomic<bool>* stop)
{
    SourceAnswer answer;
    CUrlFetcher fetcher;
    fetcher.SetAbortFlag(stop);
    try {
        if (!fetcher.DownloadToDescriptor(address, fd, address)) {
            answer.why = Missing::kNoAnswer;
            answer.detail = fetcher.LastError();
            return answer;
        }
    } catch (const CException& failure) {
        answer.why = Missing::kBrokeOff;
        answer.status = fetcher.LastStatus();
        answer.detail = failure.what();
        return answer;
    }
    answer.status = fetcher.LastStatus();
    if (fetcher.LastAddress() != address)
        answer.finalAddress = fetcher.LastAddress();
    if (answer.status < 200 || answer.status > 299) {
        answer.why = Missing::kStatus;
        answer.detail = "the server answered with status " + std::to_string(answer.status);
        return answer;
    }
    answer.got = true;
    return answer;
}

} // namespace capture
