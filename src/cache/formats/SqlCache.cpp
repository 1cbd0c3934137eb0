#include "cache/formats/SqlCache.h"

#include "cache/formats/BlockFileLayout.h"
#include "cache/formats/ChromiumResponseInfo.h"
#include "platform/SqliteDatabase.h"

#include <dirent.h>
#include <sys/stat.h>
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
constexpr std::string_view kBody = "SELECT start, end, check_sum, blob FROM blobs WHERE res_id = ? ORDER BY start";

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
std::optional<Refusal> CheckPieces(SqliteStatement& pieces, std::int64_t resId, std::int64_t bodyEnd)
{
    pieces.Reset();
    pieces.Bind(1, resId);
    std::int64_t covered = 0;
    while (pieces.Step()) {
        const std::int64_t start = pieces.Int64(0), end = pieces.Int64(1);
        if (start != covered || end <= start || pieces.Int64(2) != end - start
            || static_cast<std::uint64_t>(end - start) > kMaxPiece)
            return Refusal::Damaged;
        covered = end;
    }
    if (covered > bodyEnd)
        return Refusal::Damaged;
    if (covered < bodyEnd)
        return Refusal::CutShort;
    return std::nullopt;
}

// A body read from its pieces in order, each checked against its checksum as it is read.
class SqlBody final : public StoredBody {
public:
    SqlBody(std::shared_ptr<SqliteDatabase> database, std::int64_t resId, std::uint32_t keyHash, std::uint64_t size)
        : m_database(std::move(database))
        , m_resId(resId)
        , m_keyHash(keyHash)
        , m_size(size)
    {}

    std::optional<std::uint64_t> Length() const override { return m_size; }

    BodyResult Read(const BodySink& sink, const std::atomic<bool>* stop) const override
    {
        try {
            SqliteStatement pieces(*m_database, kBody);
            pieces.Bind(1, m_resId);
            std::uint64_t covered = 0;
            while (pieces.Step()) {
                if (Stopping(stop))
                    return BodyResult::Stopped;
                const std::int64_t start = pieces.Int64(0), end = pieces.Int64(1);
                const std::string_view bytes = pieces.Blob(3);
                if (start < 0 || static_cast<std::uint64_t>(start) != covered || end <= start
                    || static_cast<std::uint64_t>(end - start) != bytes.size() || bytes.size() > kMaxPiece
                    || !Matches(pieces.Int64(2), CheckSum(bytes, m_keyHash)))
                    return BodyResult::Damaged;
                covered = static_cast<std::uint64_t>(end);
                if (covered > m_size)
                    return BodyResult::Damaged;
                for (std::size_t at = 0; at < bytes.size(); at += kBodyPieceSize) {
                    if (!sink(bytes.substr(at, kBodyPieceSize)))
                        return BodyResult::Stopped;
                }
            }
            return covered == m_size ? BodyResult::Done : BodyResult::Damaged;
        } catch (const SqliteError&) {
            return BodyResult::Unreadable;
        }
    }

    // Reading checks every piece's checksum.
    BodyResult Verify(const std::atomic<bool>* stop) const override
    {
        return Read([](std::string_view) { return true; }, stop);
    }

private:
    std::shared_ptr<SqliteDatabase> m_database;
    std::int64_t m_resId;
    std::uint32_t m_keyHash;
    std::uint64_t m_size;
};

// One row of kResources as an entry.
Refusable<StoredResponse> RowEntry(const SqliteStatement& row, SqliteStatement& pieces,
                                   const std::shared_ptr<SqliteDatabase>& database)
{
    const std::int64_t resId = row.Int64(0);
    const std::int64_t bodyEnd = row.Int64(2);
    const std::string key = row.Text(6);
    const std::uint32_t keyHash = ChromiumPersistentHash(key);
    if (bodyEnd < 0 || !Matches(row.Int64(5), keyHash))
        return Refusal::Damaged;
    if (row.Int64(3) != 0)
        return Refusal::Dropped;
    StoredResponse response;
    response.address = AddressOfChromiumKey(key);
    if (response.address.empty())
        return Refusal::NotAResponse;
    // A row whose head was never written stands for a response that never arrived whole.
    if (row.IsNull(7))
        return Refusal::CutShort;
    const std::string_view head = row.Blob(7);
    if (!Matches(row.Int64(4), CheckSum(head, keyHash)))
        return Refusal::Damaged;
    auto info = ReadChromiumResponseInfo(head);
    if (!info)
        return info.Why();
    response.head = std::move(info->head);
    response.cutShort = info->cutShort;
    const auto length = static_cast<std::uint64_t>(bodyEnd);
    // The pieces are counted only for a response whose head leaves it a chance of being a movie.
    if (!HeadRefusal(response, length)) {
        if (const auto refusal = CheckPieces(pieces, resId, bodyEnd))
            return *refusal;
    }
    response.body = std::make_unique<SqlBody>(database, resId, keyHash, length);
    return response;
}

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

bool IsSqlShardName(std::string_view name) { return ShardNumber(name).has_value(); }

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

std::string SqlLocator(std::string_view shard, std::int64_t resId)
{
    return std::string(shard) + "@" + std::to_string(resId);
}

std::optional<std::pair<std::string, std::int64_t>> ParseSqlLocator(std::string_view locator)
{
    const std::size_t at = locator.find('@');
    if (at == std::string_view::npos || !ShardNumber(locator.substr(0, at)) || at + 1 == locator.size()
        || locator[at + 1] == '-')
        return std::nullopt;
    std::int64_t resId = 0;
    const char* end = locator.data() + locator.size();
    if (const auto [stop, error] = std::from_chars(locator.data() + at + 1, end, resId);
        error != std::errc() || stop != end)
        return std::nullopt;
    return std::pair{std::string(locator.substr(0, at)), resId};
}

SqlCacheShard::SqlCacheShard(std::shared_ptr<SqliteDatabase> database, std::string name, int version,
                             std::vector<FileIdentity> files)
    : m_database(std::move(database))
    , m_name(std::move(name))
    , m_version(version)
    , m_files(std::move(files))
{}

SqlShardOpened SqlCacheShard::Check(std::shared_ptr<SqliteDatabase> database, std::string name,
                                    std::vector<FileIdentity> files)
{
    try {
        const auto version = MetaValue(*database, "version");
        const auto compatible = MetaValue(*database, "last_compatible_version");
        if (!version || !compatible)
            return {std::nullopt, Refusal::NotAResponse, {}};
        // A newer schema that says it can still be read as one of these is read so (sql::MetaTable's rule).
        const bool known = *version >= kOldestVersion && (*version <= kNewestVersion || *compatible <= kNewestVersion);
        if (!known)
            return {std::nullopt, Refusal::UnknownVersion, "schema version " + std::to_string(*version)};
        // Every query the shard will run must prepare now: a damaged schema refuses the shard, not its bodies.
        for (const std::string_view query : {kResources, kPieces, kBody})
            const SqliteStatement prepared(*database, query);
        return {SqlCacheShard(std::move(database), std::move(name), static_cast<int>(*version), std::move(files)),
                Refusal::Damaged,
                {}};
    } catch (const SqliteError&) {
        return {std::nullopt, Refusal::Damaged, {}};
    }
}

SqlShardOpened SqlCacheShard::Open(const std::string& path)
{
    try {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            return {std::nullopt, Refusal::Unreadable, {}};
        auto database =
            std::make_shared<SqliteDatabase>(platform::OpenForeignDatabase(path, platform::ForeignOpen::Immutable));
        return Check(std::move(database), path.substr(path.rfind('/') + 1), {{info.st_dev, info.st_ino}});
    } catch (const SqliteError&) {
        return {std::nullopt, Refusal::Damaged, {}};
    }
}

SqlShardOpened SqlCacheShard::OpenImage(std::string_view image, std::string name)
{
    try {
        return Check(std::make_shared<SqliteDatabase>(SqliteDatabase::OpenImage(image)), std::move(name), {});
    } catch (const SqliteError&) {
        return {std::nullopt, Refusal::Damaged, {}};
    }
}

bool SqlCacheShard::ReadEntries(const std::atomic<bool>& stop, RecordSink& sink) const
{
    try {
        SqliteStatement rows(*m_database, std::string(kResources) + " ORDER BY res_id");
        SqliteStatement pieces(*m_database, kPieces);
        std::optional<std::int64_t> previous;
        while (!stop.load(std::memory_order_relaxed) && rows.Step()) {
            // The rows come in rising res_id order; one that does not rise is a damaged page that SQLite walks
            // again and again (read-only, it cannot tell), and the listing ends there.
            const std::int64_t resId = rows.Int64(0);
            if (previous && resId <= *previous)
                break;
            previous = resId;
            const std::string locator = SqlLocator(m_name, resId);
            auto entry = RowEntry(rows, pieces, m_database);
            if (!entry) {
                sink.Refused(locator, entry.Why());
                continue;
            }
            const std::int64_t lastUsed = std::max<std::int64_t>(rows.Int64(1), 0);
            if (!sink.Response(locator, *entry, blockfile::UnixNanoseconds(static_cast<std::uint64_t>(lastUsed))))
                return false;
        }
    } catch (const SqliteError&) {
        // A damaged page ends the listing: the rows before it were handed out.
    }
    return true;
}

Refusable<OpenedResponse> SqlCacheShard::OpenEntry(std::int64_t resId) const
{
    try {
        SqliteStatement row(*m_database, std::string(kResources) + " WHERE res_id = ?");
        row.Bind(1, resId);
        if (!row.Step())
            return Refusal::Unreadable;
        SqliteStatement pieces(*m_database, kPieces);
        auto entry = RowEntry(row, pieces, m_database);
        if (!entry)
            return entry.Why();
        OpenedResponse opened;
        opened.response = std::move(*entry);
        opened.files = m_files;
        return opened;
    } catch (const SqliteError&) {
        return Refusal::Unreadable;
    }
}

} // namespace cache
