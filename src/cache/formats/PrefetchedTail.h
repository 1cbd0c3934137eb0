#pragma once
// The last bytes of an entry file, read once. The records and metadata of most entries lie there, so a reader
// takes its ranges from the tail and goes back to the file only for what lies before it: finding which bytes
// to read stays apart from reading what they mean.
#include "cache/formats/EntryBytes.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace cache {

class PrefetchedTail {
public:
    // `storage` holds the tail; a reader passes a buffer it keeps, so that no entry costs an allocation.
    PrefetchedTail(const EntryBytes& bytes, std::string& storage) : m_bytes(bytes), m_tail(storage) {}

    // Reads the last `length` bytes (the whole file when it is shorter). False when the read fails.
    bool Read(std::size_t length);

    std::uint64_t FileSize() const { return m_bytes.Size(); }
    // Where the tail starts in the file, and its bytes.
    std::uint64_t Start() const { return m_start; }
    std::string_view Bytes() const { return m_tail; }
    // The last `length` bytes of the file; the tail must hold them.
    std::string_view Last(std::size_t length) const { return Bytes().substr(m_tail.size() - length); }

    // The `length` bytes at `offset`: a view of the tail when it holds them, else read from the file into
    // `spare`. False when they do not lie inside the file or cannot be read.
    bool Range(std::uint64_t offset, std::size_t length, std::string& spare, std::string_view& out) const;

    // Up to `length` bytes at `offset` that the tail already holds; fewer (or none) when it does not.
    std::string_view HeldAt(std::uint64_t offset, std::size_t length) const;

private:
    const EntryBytes& m_bytes;
    std::string& m_tail;
    std::uint64_t m_start = 0;
};

} // namespace cache
