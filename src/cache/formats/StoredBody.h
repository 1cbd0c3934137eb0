#pragma once
// The body of a stored response as the server sent it: still content-encoded, any transfer coding undone.
// Formats keep it in their own ways (a range of the entry file, blocks of files shared by many entries, a
// stream to be inflated); the movie check, the copy and the preview read every one through this interface,
// and the format's own check of the stored bytes (a CRC, chunk hashes) is the body's Verify.
#include "cache/formats/EntryBytes.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cache {

enum class BodyResult {
    Done,       // every byte handed over (Read); the bytes match what the writer recorded (Verify)
    Unreadable, // a read failed or came back short: the file changed or went away
    Damaged,    // the bytes no longer match the writer's checksums, or (for the movie layer) no longer decode
    Stopped,    // the sink or the stop flag ended it
};

// Takes each piece in order; returns false to stop.
using BodySink = std::function<bool(std::string_view piece)>;
inline constexpr std::size_t kBodyPieceSize = std::size_t{64} * 1024;

inline bool Stopping(const std::atomic<bool>* stop) { return stop != nullptr && stop->load(std::memory_order_relaxed); }

class StoredBody {
public:
    virtual ~StoredBody() = default;

    // The stored length when the format knows it without reading the body (a range, a list of blocks);
    // nothing for a stream whose end only reading finds.
    virtual std::optional<std::uint64_t> Length() const = 0;

    // The first `count` bytes, or the whole body when it is shorter; false when they cannot be read. By
    // default the start of a Read.
    virtual bool ReadStart(std::size_t count, std::string& out) const;

    // Hands every stored byte to `sink`, first to last, in pieces of at most kBodyPieceSize bytes; each call
    // starts from the first byte again. `stop` is looked at before each piece.
    virtual BodyResult Read(const BodySink& sink, const std::atomic<bool>* stop) const = 0;

    // The format's own check of the stored bytes: Done when they match what the writer recorded, or when it
    // recorded nothing. May read the whole body.
    virtual BodyResult Verify(const std::atomic<bool>* stop) const;
};

// A body lying in one or more ranges of files, read in order: a range of the entry file, or the blocks of
// shared files a block-file cache gives it. What the ranges read from must outlive the body.
class ExtentBody : public StoredBody {
public:
    struct Extent {
        const EntryBytes* bytes = nullptr;
        std::uint64_t offset = 0;
        std::uint64_t length = 0;
    };
    // `start`: the body's first bytes, when the reader had them at hand anyway (saves a read).
    explicit ExtentBody(std::vector<Extent> extents, std::string start = {});
    ExtentBody(const EntryBytes& bytes, std::uint64_t offset, std::uint64_t length, std::string start = {});

    std::optional<std::uint64_t> Length() const override { return m_length; }
    bool ReadStart(std::size_t count, std::string& out) const override;
    BodyResult Read(const BodySink& sink, const std::atomic<bool>* stop) const override;

    const std::vector<Extent>& Extents() const { return m_extents; }

private:
    std::vector<Extent> m_extents;
    std::string m_start;
    std::uint64_t m_length = 0;
};

// Reads `length` bytes at `offset` of `bytes` in pieces of at most kBodyPieceSize: the loop every range
// reader shares.
BodyResult ReadRange(const EntryBytes& bytes, std::uint64_t offset, std::uint64_t length, const BodySink& sink,
                     const std::atomic<bool>* stop);

} // namespace cache
