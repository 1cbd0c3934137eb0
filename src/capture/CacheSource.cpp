#include "capture/CacheSource.h"

#include "platform/Bytes.h"

#include <cstring>

namespace capture {

SourceAnswer CacheSource::Get(const std::string& address, int fd, const std::atomic<bool>* stop)
{
    SourceAnswer answer;
    const std::string* entry = m_files.Find(address);
    if (entry == nullptr) {
        answer.detail = "no cache entry has this address";
        return answer;
    }
    int failure = 0;
    const cache::StoredFiles::Copy copy = cache::StoredFiles::Stream(
        *entry,
        [&](std::string_view piece) {
            failure = platform::WriteAll(fd, piece.data(), piece.size());
            return failure == 0;
        },
        stop);
    if (failure != 0) {
        answer.why = Missing::kNotWritten;
        answer.detail = std::strerror(failure);
        return answer;
    }
    if (!copy.done) {
        answer.detail = "the cache entry " + *entry + " is " + copy.why;
        return answer;
    }
    answer.got = true;
    answer.status = 200;
    answer.facts.emplace_back("entry", *entry);
    return answer;
}

} // namespace capture
