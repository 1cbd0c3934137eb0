#pragma once
// One record after another from a WARC or ARC file, as warcio's ArchiveIterator and jwarc read them: the
// header, then the block as a stream, never kept. A record cut short or damaged is left out and counted, and
// reading goes on at the next record found (the next gzip member, or the next line that starts a record).
#include "cache/formats/ArchiveHeader.h"
#include "cache/formats/ArchiveInput.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace cache {

struct ArchiveRecord {
    RecordPosition position;
    ArchiveHeader header;
};

// How the block of a record ended.
enum class RecordEnd {
    Complete, // all of it there, and the next record (or the end of the file or member) right after it
    CutShort, // the file ends inside it
    Damaged,  // a gzip member broke inside it, or what follows it is no record: its length was wrong
};

// What reading one file came to.
struct ArchiveFileResult {
    std::uint64_t records = 0; // records whose header read
    std::uint64_t damaged = 0; // left out: cut short, damaged, or bytes where a record should have been
    bool readFailed = false;   // the file could not be read to its end
    bool stopped = false;
};

class ArchiveReader {
public:
    explicit ArchiveReader(ArchiveInput& input) : m_input(input) {}

    // The next record whose header reads; nothing at the end of the file. The block of the record before is
    // skipped where it was not read.
    std::optional<ArchiveRecord> Next();

    // The next bytes of the current record's block, at least `wanted` where the block has them, without
    // taking them; then ConsumeBlock takes some.
    std::string_view PeekBlock(std::size_t wanted);
    void ConsumeBlock(std::size_t count);
    // Hands the rest of the block to `sink` in pieces, without copies, until the block ends or the sink
    // returns false (the rest is then skipped), and says how the record ended. A second call hands nothing.
    RecordEnd ReadBlock(const std::function<bool(std::string_view)>& sink);

    // Records left out so far: cut short, damaged, or bytes that should have been a record and were not.
    std::uint64_t Damaged() const { return m_damaged; }
    std::uint64_t Records() const { return m_records; }
    // The file could not be read to its end.
    bool ReadFailed() const { return m_input.ReadFailed(); }
    // What has been read so far.
    ArchiveFileResult Result() const { return {m_records, m_damaged, ReadFailed(), false}; }

private:
    RecordEnd CheckEnd();
    bool StartsRecord(std::string_view data);
    void SkipBlankBytes();
    void Resynchronise();
    void Resume();

    ArchiveInput& m_input;
    std::optional<ArchiveFormat> m_format; // told by the first record; resynchronising looks for its kind
    bool m_inBlock = false;
    std::uint64_t m_blockLeft = 0;
    std::optional<RecordEnd> m_end; // of the current record, once known
    bool m_resynchronising = false; // one damage is counted once, however many bytes it spoils
    std::uint64_t m_damaged = 0;
    std::uint64_t m_records = 0;
};

} // namespace cache
