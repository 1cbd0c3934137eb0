#pragma once
// The browser caches as a source of a saved copy's files: a response stored for the very address, written to
// the copy as the server sent it, its Content-Encoding undone.
#include "cache/StoredFiles.h"
#include "capture/FileSource.h"

namespace capture {

class CacheSource final : public FileSource {
public:
    explicit CacheSource(cache::StoredFiles files) : m_files(std::move(files)) {}

    std::string_view Name() const override { return "cache"; }
    // Got, with the entry's row path as the fact "entry"; or not there, saying why when an entry was found.
    SourceAnswer Get(const std::string& address, int fd, const std::atomic<bool>* stop) override;

private:
    cache::StoredFiles m_files;
};

} // namespace capture
