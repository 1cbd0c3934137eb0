#include "cache/formats/SqlCache.h"

#include "cache/ChromiumResponseInfo.h"
#include "cache/formats/BlockFileLayout.h"
#include "platform/SqliteDatabase.h"

#include <dirent.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <fstream>

namespace cache {

namespace {

using platform::SqliteDatabase;
using platform::SqliteError;
using platform::SqliteStatement;

// The schemas with checksums (7 added them, 8 a column of hints), as sql_backend_constants.h numbers them.
constexpr int kOldestVersion = 7;
constexpr int kNewestVersion = 8;
constexpr std::uint64_t kMaxPiece = std::uint64_t{128} << 20; // one piece is held in memory while it is read
constexpr std::string_view kIndexMagic = "SQLCache";

constexpr std::string_view kResources =
    "SELECT res_id, last_used, body_end, doomed, check_sum, cache_key_hash, cache_key, head FROM resources";
constexpr std::string_view kPieces = "SELECT start, end, length(blob) FROM blobs WHERE res_id = ? ORDER BY start";
constexpr std::string_view kPieceAt =
    "SELECT start, end, check_sum, blob FROM blobs WHERE res_id = ? AND start <= ? ORDER BY start DESC LIMIT 1";

// Chromium's CalculateCheckSum: the CRC-32 of the data, continued over the key hash in network order.
std::uint32_t CheckSum(std::string_view data, std::uint32_t keyHash)
{
    uLong crc = ::crc32(0L, Z_NULL, 0);
    crc = ::crc32_z(crc, reinterpret_cast<const Bytef*>(data.data()), data.size());
    const std::array<unsigned char, 4> hash{
        static_cast<unsigned char>(keyHash >> 24), static_cast<unsigned char>(keyHash >> 16),
        static_cast<unsigned char>(keyHash >> 8), static_cast<unsigned char>(keyHash)};
    crc = ::crc32_z(crc, hash.data(), hash.size());
    return static_cast<std::uint32_t>(crc);
}

bool Matches(std::int64_t stored, std::uint32_t computed)
{
    return static_cast<std::uint32_t>(stored) == computed || !kChecksumsCount;
}

std::optional<std::int64_t> MetaValue(const SqliteDatabase& database, std::string_view key)
{
    SqliteStatement statement(database, "SELECT value FROM meta WHERE key = '" + std::string(key) + "'");
    if (!statement.Step() || statement.IsNull(0))
        return std::nullopt;
    return statement.Int64(0);
}

// The body's pieces must run from 0 to its end without a gap: Chromium would hand out zeros for one.
EntryRefusal CheckPieces(SqliteStatement& pieces, std::int64_t resId, std::int64_t bodyEnd)
{
    pieces.Reset();
    pieces.Bind(1, resId);
    std::int64_t covered = 0;
    while (pieces.Step()) {
        const std::int64_t start = pieces.Int64(0), end = pieces.Int64(1);
        if (start != covered || end <= start || pieces.Int64(2) != end - start
            || static_cast<std::uint64_t>(end - start) > kMaxPiece)
            return EntryRefusal::Damaged;
        covered = end;
    }
    if (covered > bodyEnd)
        return EntryRefusal::Damaged;
    return covered < bodyEnd ? EntryRefusal::CutShort : EntryRefusal::None;
}

// One row of kResources as an entry.
StoredEntry RowEntry(const SqliteStatement& row, SqliteStatement& pieces, const std::string& container)
{
    StoredEntry stored;
    const std::int64_t resId = row.Int64(0);
    stored.container = container;
    stored.locator = "@" + std::to_string(resId);
    stored.written = blockfile::UnixNanoseconds(static_cast<std::uint64_t>(std::max<std::int64_t>(row.Int64(1), 0)));
    const std::int64_t bodyEnd = row.Int64(2);
    const std::string key = row.Text(6);
    const std::uint32_t keyHash = ChromiumPersistentHash(key);
    stored.keyHash = keyHash;
    if (bodyEnd < 0 || !Matches(row.Int64(5), keyHash)) {
        stored.refusal = EntryRefusal::Damaged;
        return stored;
    }
    if (row.Int64(3) != 0) {
        stored.refusal = EntryRefusal::Doomed;
        return stored;
    }
    stored.entry.address = AddressOfChromiumKey(key);
    if (stored.entry.address.empty()) {
        stored.refusal = EntryRefusal::NotHttp;
        return stored;
    }
    // A row whose head was never written stands for a response that never arrived whole.
    if (row.IsNull(7)) {
        stored.refusal = EntryRefusal::CutShort;
        return stored;
    }
    const std::string_view head = row.Blob(7);
    if (!Matches(row.Int64(4), CheckSum(head, keyHash))) {
        stored.refusal = EntryRefusal::Damaged;
        return stored;
    }
    auto info = ReadChromiumResponseInfo(head);
    if (!info) {
        stored.refusal = IsNewerChromiumResponseInfo(head) ? EntryRefusal::UnknownVersion : EntryRefusal::NotHttp;
        return stored;
    }
    stored.entry.head = std::move(info->head);
    stored.entry.cutShort = info->cutShort;
    stored.entry.bodyOffset = 0;
    stored.entry.bodyLength = static_cast<std::uint64_t>(bodyEnd);
    stored.refusal = CheckPieces(pieces, resId, bodyEnd);
    if (stored.refusal == EntryRefusal::None && stored.entry.cutShort)
        stored.refusal = EntryRefusal::CutShort;
    return stored;
}

// A body read from its pieces as they are asked for; the last piece read is kept, so that reading on through
// it costs one query and one checksum.
class SqlBody final : public EntryBytes {
public:
    SqlBody(std::shared_ptr<SqliteDatabase> database, std::int64_t resId, std::uint32_t keyHash, std::uint64_t size)
        : m_database(std::move(database))
        , m_pieceAt(*m_database, kPieceAt)
        , m_resId(resId)
        , m_keyHash(keyHash)
        , m_size(size)
    {}

    std::uint64_t Size() const override { return m_size; }

    bool ReadAt(std::uint64_t offset, std::size_t length, std::string& out) const override
    {
        if (!Holds(offset, length))
            return false;
        out.resize(length);
        std::size_t done = 0;
        try {
            while (done < length) {
                const std::uint64_t at = offset + done;
                if (!(at >= m_start && at < m_start + m_piece.size()) && !Load(at))
                    return false;
                const auto from = static_cast<std::size_t>(at - m_start);
                const std::size_t count = std::min(length - done, m_piece.size() - from);
                std::copy_n(m_piece.data() + from, count, out.data() + done);
                done += count;
            }
        } catch (const SqliteError&) {
            return false;
        }
        return true;
    }

private:
    // The piece holding `at`, when it is whole and its checksum holds.
    bool Load(std::uint64_t at) const
    {
        m_piece.clear();
        m_pieceAt.Reset();
        m_pieceAt.Bind(1, m_resId);
        m_pieceAt.Bind(2, static_cast<std::int64_t>(at));
        if (!m_pieceAt.Step())
            return false;
        const std::int64_t start = m_pieceAt.Int64(0), end = m_pieceAt.Int64(1);
        const std::string_view bytes = m_pieceAt.Blob(3);
        if (start < 0 || end <= start || static_cast<std::uint64_t>(end) <= at
            || static_cast<std::uint64_t>(end - start) != bytes.size() || bytes.size() > kMaxPiece
            || !Matches(m_pieceAt.Int64(2), CheckSum(bytes, m_keyHash)))
            return false;
        m_start = static_cast<std::uint64_t>(start);
        m_piece.assign(bytes);
        return true;
    }

    std::shared_ptr<SqliteDatabase> m_database;
    mutable SqliteStatement m_pieceAt;
    std::int64_t m_resId;
    std::uint32_t m_keyHash;
    std::uint64_t m_size;
    mutable std::uint64_t m_start = 0;
    mutable std::string m_piece;
};

std::optional<int> ShardNumber(std::string_view name)
{
    if (!name.starts_with("sqldb") || name.size() == 5 || name.size() > 8 || (name[5] == '0' && name.size() > 6))
        return std::nullopt;
    int number = 0;
    const auto [end, error] = std::from_chars(name.data() + 5, name.data() + name.size(), number);
    if (error != std::errc() || end != name.data() + name.size())
        return std::nullopt;
    return number;
}

std::string WithSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

} // namespace

bool IsSqlCacheFolder(const std::string& folder)
{
    std::ifstream index(WithSlash(folder) + "index", std::ios::binary);
    std::array<char, kIndexMagic.size()> magic{};
    return index.read(magic.data(), magic.size()) && std::string_view(magic.data(), magic.size()) == kIndexMagic;
}

std::vector<std::string> SqlCacheShards(const std::string& folder)
{
    std::vector<std::pair<int, std::string>> found;
    if (DIR* listing = ::opendir(folder.c_str())) {
        while (const dirent* item = ::readdir(listing)) {
            if (const auto number = ShardNumber(item->d_name))
                found.emplace_back(*number, item->d_name);
        }
        ::closedir(listing);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    names.reserve(found.size());
    for (auto& [number, name] : found)
        names.push_back(std::move(name));
    return names;
}

SqlCacheShard::SqlCacheShard(std::shared_ptr<SqliteDatabase> database, std::string container, int version)
    : m_database(std::move(database))
    , m_container(std::move(container))
    , m_version(version)
{}

SqlShardOpened SqlCacheShard::Check(std::shared_ptr<SqliteDatabase> database, std::string container)
{
    try {
        const auto version = MetaValue(*database, "version");
        const auto compatible = MetaValue(*database, "last_compatible_version");
        if (!version || !compatible)
            return {std::nullopt, CacheRefusal::NotThisFormat};
        // A newer schema that says it can still be read as one of these is read so (sql::MetaTable's rule).
        const bool known = *version >= kOldestVersion && (*version <= kNewestVersion || *compatible <= kNewestVersion);
        if (!known)
            return {std::nullopt, CacheRefusal::UnknownVersion};
        // Every query the shard will run must prepare now: a damaged schema refuses the shard, not its bodies.
        for (const std::string_view query : {kResources, kPieces, kPieceAt})
            const SqliteStatement prepared(*database, query);
        return {SqlCacheShard(std::move(database), std::move(container), static_cast<int>(*version)),
                CacheRefusal::None};
    } catch (const SqliteError&) {
        return {std::nullopt, CacheRefusal::NotThisFormat};
    }
}

SqlShardOpened SqlCacheShard::Open(const std::string& path)
{
    try {
        auto database =
            std::make_shared<SqliteDatabase>(platform::OpenForeignDatabase(path, platform::ForeignOpen::Immutable));
        return Check(std::move(database), path.substr(path.rfind('/') + 1));
    } catch (const SqliteError&) {
        return {std::nullopt, CacheRefusal::NotThisFormat};
    }
}

SqlShardOpened SqlCacheShard::OpenImage(std::string_view image, std::string container)
{
    try {
        return Check(std::make_shared<SqliteDatabase>(SqliteDatabase::OpenImage(image)), std::move(container));
    } catch (const SqliteError&) {
        return {std::nullopt, CacheRefusal::NotThisFormat};
    }
}

void SqlCacheShard::ForEachEntry(const std::atomic<bool>& stop, const std::function<void(StoredEntry)>& found) const
{
    try {
        SqliteStatement rows(*m_database, std::string(kResources) + " ORDER BY res_id");
        SqliteStatement pieces(*m_database, kPieces);
        while (!stop.load(std::memory_order_relaxed) && rows.Step())
            found(RowEntry(rows, pieces, m_container));
    } catch (const SqliteError&) {
        // A damaged page ends the listing: the rows before it were handed out.
    }
}

std::optional<StoredEntry> SqlCacheShard::EntryAt(std::string_view locator) const
{
    std::int64_t resId = 0;
    const char* end = locator.data() + locator.size();
    if (locator.size() < 2 || locator[0] != '@' || locator[1] == '-')
        return std::nullopt;
    if (const auto [stop, error] = std::from_chars(locator.data() + 1, end, resId); error != std::errc() || stop != end)
        return std::nullopt;
    try {
        SqliteStatement row(*m_database, std::string(kResources) + " WHERE res_id = ?");
        row.Bind(1, resId);
        if (!row.Step())
            return std::nullopt;
        SqliteStatement pieces(*m_database, kPieces);
        return RowEntry(row, pieces, m_container);
    } catch (const SqliteError&) {
        return std::nullopt;
    }
}

std::shared_ptr<const EntryBytes> SqlCacheShard::OpenBody(const StoredEntry& stored) const
{
    std::int64_t resId = 0;
    const std::string_view number =
        std::string_view(stored.locator).substr(std::min<std::size_t>(1, stored.locator.size()));
    if (stored.refusal != EntryRefusal::None || stored.container != m_container
        || std::from_chars(number.data(), number.data() + number.size(), resId).ec != std::errc())
        return nullptr;
    try {
        return std::make_shared<SqlBody>(m_database, resId, stored.keyHash, stored.entry.bodyLength);
    } catch (const SqliteError&) {
        return nullptr;
    }
}

} // namespace cache
