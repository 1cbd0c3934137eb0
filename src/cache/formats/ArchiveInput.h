#pragma once
// The bytes of a WARC or ARC file as its records are read from them: gzip members undone one after another
// (one member per record, a whole file as one member, or a record spread over several), a plain file as it
// is, from a file or a pipe, with the place in the file each byte came from. Memory stays bounded by the
// largest look-ahead a reader asks for, never by the file.
#include "platform/FileDescriptor.h"

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace cache {

// Where a record starts. In a gzip file: the file offset of the member holding its first byte, and how far
// into that member's decompressed bytes it lies (0 when it starts the member, as writers lay records out). In
// a plain file: its byte offset, and `inside` is 0.
struct RecordPosition {
    std::uint64_t offset = 0;
    std::uint64_t inside = 0;
    friend bool operator==(const RecordPosition&, const RecordPosition&) = default;
};

// "@1234", or "@1234+56" inside a member. A regular file can have no children, so "<file>/@1234" never names
// a real file.
std::string FormatRecordPosition(const RecordPosition& position);
// The reverse; nothing unless the whole of `text` is such a position.
std::optional<RecordPosition> ParseRecordPosition(std::string_view text);

// Where the raw bytes come from.
class ArchiveSource {
public:
    virtual ~ArchiveSource() = default;
    // Up to `size` bytes into `into`: how many, 0 at the end, or -1 when the read failed.
    virtual std::ptrdiff_t Read(char* into, std::size_t size) = 0;
    // Goes to `offset` from the start. False where that cannot be done (a pipe).
    virtual bool Seek(std::uint64_t offset) = 0;
};

// An open file or pipe, read from where it stands.
std::unique_ptr<ArchiveSource> DescriptorSource(platform::FileDescriptor fd);
// Bytes in memory, which must outlive the source (the fuzz targets).
std::unique_ptr<ArchiveSource> MemorySource(std::string_view bytes);

class ArchiveInput {
public:
    explicit ArchiveInput(std::unique_ptr<ArchiveSource> source);

    // The file at `path`, read-only; "-" is standard input. Nothing when it cannot be opened or is a folder.
    static std::optional<ArchiveInput> Open(const std::string& path);

    // At least `wanted` unread bytes, without taking them; fewer only at the end of the data, at a break, or
    // when the file cannot be read further. Often more.
    std::string_view Peek(std::size_t wanted);
    // Takes `count` of the bytes Peek gave.
    void Consume(std::size_t count);

    // Where the next unread byte lies.
    RecordPosition Position() const;
    // How far ahead of the next unread byte, among the bytes Peek gave, a new gzip member begins; npos when
    // none does there.
    std::size_t NextMemberStart() const;
    // The unread bytes begin right after a gzip member that ended properly, or at the start of one.
    bool AtMemberBoundary() const;
    bool Compressed() const { return m_compressed; }

    // The data broke off: a member that does not decompress, or bytes where a member should begin that
    // are none. Peek gives what came before the break; Resume goes on with the next member found.
    bool Broken() const { return m_broken; }
    void Resume();
    // Reading the file failed (not its end): nothing more comes.
    bool ReadFailed() const { return m_readFailed; }

    // Starts reading at `position` of a file (a pipe cannot). False when it cannot, or the position lies
    // past the data.
    bool Seek(const RecordPosition& position);

private:
    struct MemberStart {
        std::uint64_t at;     // the logical index of the member's first decompressed byte
        std::uint64_t offset; // its file offset
    };

    // zlib's stream state points back at the stream, so it stays at one address.
    struct Inflater {
        z_stream stream{};
        bool ready = false;
        Inflater() = default;
        Inflater(const Inflater&) = delete;
        Inflater& operator=(const Inflater&) = delete;
        ~Inflater()
        {
            if (ready)
                ::inflateEnd(&stream);
        }
    };

    bool Fill(std::size_t wanted);
    bool FillRaw();
    bool Sniff();
    bool DecodeMore();
    bool StartMember();
    void EndMember();
    void Prune();
    void Reset(std::uint64_t fileOffset);
    std::uint64_t RawOffset() const { return m_rawOffset + m_rawBegin; }

    std::unique_ptr<ArchiveSource> m_source;
    bool m_sniffed = false;
    bool m_compressed = false;
    bool m_sourceEnded = false;
    bool m_readFailed = false;
    bool m_broken = false;

    // Raw bytes from the source: m_raw[m_rawBegin, m_rawEnd) lies at file offset m_rawOffset + m_rawBegin.
    std::string m_raw;
    std::size_t m_rawBegin = 0;
    std::size_t m_rawEnd = 0;
    std::uint64_t m_rawOffset = 0;

    // Decompressed (or plain) bytes: m_data[m_begin, m_end) is unread and starts at logical index m_next.
    std::string m_data;
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
    std::uint64_t m_next = 0;

    std::unique_ptr<Inflater> m_zip = std::make_unique<Inflater>();
    bool m_inMember = false;
    std::deque<MemberStart> m_starts;             // the member of the unread bytes first, then later ones
    std::optional<std::uint64_t> m_lastMemberEnd; // logical index after the last member that ended properly
};

} // namespace cache
