#pragma once
// Where the files of a saved copy come from. A save asks its sources in turn, in the order it was given
// them, until one gives the file: the browser caches and then the live site for --from-cache, the live
// site alone otherwise; an archive of the web can follow the live site for the files it no longer gives.
// Each source is one class; the save and the manifest know it only by this interface and its name.
#include <atomic>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace capture {

// Why a file is not in the copy.
enum class Missing {
    kStatus,     // the server answered with a status other than 2xx
    kNoAnswer,   // no answer came: no connection, no host, a broken address
    kBrokeOff,   // the answer broke off in the middle
    kNotThere,   // the source has no such file (not in the caches, never archived)
    kRefused,    // never asked for: the address could reach outside the copy, or is not http(s)
    kNotWritten, // had, but it could not be written into the copy
    kLimit,      // past the most files one save takes
    kCancelled,  // the save was cancelled before the file came
};

// The manifest's word for it: "status", "no answer", "broke off", "not there", "refused", "not written",
// "limit", "cancelled".
std::string_view MissingText(Missing why);

struct SourceAnswer {
    bool got = false;
    Missing why = Missing::kNotThere; // when not got
    long status = 0;                  // the HTTP status of the answer, where one came (even when got)
    std::string detail;               // a sentence that says more: the error's text
    std::string finalAddress;         // where the bytes came from at last, when it differs (redirects)
    // What else the manifest says of the file from this source, as names and texts ("entry": the cache
    // entry's path; an archive would name its capture's address and time).
    std::vector<std::pair<std::string, std::string>> facts;
};

class FileSource {
public:
    virtual ~FileSource() = default;

    // The source's name in the manifest: "live", "cache", "archive".
    virtual std::string_view Name() const = 0;

    // Writes the body of `address` into `fd`, an empty file opened for writing, or says why it cannot.
    // What it wrote before a failure is thrown away by the caller. Once `stop` turns true it ends soon,
    // as a failure. Runs on the save's thread.
    virtual SourceAnswer Get(const std::string& address, int fd, const std::atomic<bool>* stop) = 0;
    // The same for a file that `by` named (a page or a movie; empty for what the save was asked for): a
    // source that keeps files of several times gives the one of that file's time.
    virtual SourceAnswer GetNamedBy(const std::string& address, const std::string& /*by*/, int fd,
                                    const std::atomic<bool>* stop)
    {
        return Get(address, fd, stop);
    }
};

// The live site, through the program's fetcher: a 2xx answer is the file; any other status, no answer or
// a transfer that breaks off is a reason why not.
class LiveSource final : public FileSource {
public:
    std::string_view Name() const override { return "live"; }
    SourceAnswer Get(const std::string& address, int fd, const std::atomic<bool>* stop) override;
};

} // namespace capture
