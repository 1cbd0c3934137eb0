#pragma once
// Why a stored entry gives no movie. The readers and the movie check both say it, so that tests and fuzzers
// can hold them to the reason, not only to the refusal.
#include <optional>
#include <string_view>
#include <utility>

namespace cache {

enum class Refusal {
    Unreadable,     // a read failed or came back short: the file went away, shrank, or is no regular file
    CutShort,       // the bytes end before the entry's own lengths say, or the writer marked it as broken off
    MissingFile,    // its bytes lay in a file of the store that is gone (caches are often copied without their largest)
    Dropped,        // the browser had deleted the entry and not yet reused its space
    Damaged,        // records that contradict each other, a checksum that does not match, data that does not decode
    Encrypted,      // encrypted with a key only the browser session that wrote it had
    UnknownVersion, // a version or form of the format that this reader does not know
    NotAResponse,   // a stored entry that holds no HTTP response (a predictor's note, compiled script)
    UnknownCoding,  // a Content-Encoding that cannot be undone here
    NotAMovie,      // a response that is no Flash movie: a status other than 200, or another body
    Stopped,        // the reading was asked to stop
};

// A few words for messages and test output: "cut short", "not a movie", ...
std::string_view RefusalText(Refusal why);

// A value, or why there is none.
template <class T>
class Refusable {
public:
    Refusable(T value) : m_value(std::move(value)) {}
    Refusable(Refusal why) : m_why(why) {}

    explicit operator bool() const { return m_value.has_value(); }
    T& operator*() { return *m_value; }
    const T& operator*() const { return *m_value; }
    T* operator->() { return &*m_value; }
    const T* operator->() const { return &*m_value; }
    // Why there is no value; Damaged stands there when there is one, and means nothing then.
    Refusal Why() const { return m_why; }

private:
    std::optional<T> m_value;
    Refusal m_why = Refusal::Damaged;
};

} // namespace cache
