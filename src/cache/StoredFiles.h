#pragma once
// The files the browser caches hold, found by their addresses: for a saved copy that takes a site's files from
// the caches before the live site. Every response of the stores counts, whatever it holds (a movie, its XML,
// its sounds), when its status is 200 and it is whole.
#include "cache/LocalListing.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace cache {

class StoredFiles {
public:
    // Reads every store `source` lists (its folder's, and the caches outside it when it says so), keeping for
    // each address the response written last.
    static StoredFiles Read(const LocalListSource& source, const std::atomic<bool>& stop);

    // The row path of the response stored for `address`, or null.
    const std::string* Find(std::string_view address) const;
    std::size_t Size() const { return m_files.size(); }

    struct Copy {
        bool done = false;
        std::string why; // when not done: the refusal's words
    };
    // Hands the decoded body of the response at row path `path` (an entry or record, or a plain file an index
    // names) to `sink`.
    static Copy Stream(const std::string& path, const std::function<bool(std::string_view)>& sink,
                       const std::atomic<bool>* stop);

private:
    struct Stored {
        std::string path;
        std::int64_t written = 0;
    };
    std::unordered_map<std::string, Stored> m_files;
};

} // namespace cache
