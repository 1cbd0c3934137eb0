#include "platform/SqliteDatabase.h"

#include "platform/Bytes.h"

#include <array>
#include <cstring>
#include <fstream>

namespace platform {

namespace {
[[noreturn]] void ThrowSqlite(sqlite3* db, int code, std::string_view what)
{
    std::string message(what);
    message += ": ";
    message += db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    throw SqliteError(code, message);
}

std::filesystem::path WithSuffix(const std::filesystem::path& file, const char* suffix)
{
    std::filesystem::path result = file;
    result += suffix;
    return result;
}
} // namespace

SqliteDatabase::SqliteDatabase(const std::string& uri, int flags)
{
    sqlite3* db = nullptr;
    const int result = sqlite3_open_v2(uri.c_str(), &db, flags | SQLITE_OPEN_URI, nullptr);
    m_db.reset(db); // sqlite3_open_v2 hands out a handle even when it fails
    if (result != SQLITE_OK)
        ThrowSqlite(db, result, "cannot open " + uri);
    sqlite3_extended_result_codes(db, 1);
}

SqliteDatabase SqliteDatabase::OpenImage(std::string_view image)
{
    SqliteDatabase database(":memory:", SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY);
    // Read-only and not freed on close: SQLite neither changes nor takes over the caller's bytes.
    auto* bytes = reinterpret_cast<unsigned char*>(const_cast<char*>(image.data()));
    const auto size = static_cast<sqlite3_int64>(image.size());
    const int result = sqlite3_deserialize(database.Get(), "main", bytes, size, size, SQLITE_DESERIALIZE_READONLY);
    if (result != SQLITE_OK)
        ThrowSqlite(database.Get(), result, "cannot read a database image");
    return database;
}

SqliteStatement::SqliteStatement(const SqliteDatabase& database, std::string_view sql) : m_db(database.Get())
{
    sqlite3_stmt* statement = nullptr;
    const int result = sqlite3_prepare_v2(m_db, sql.data(), static_cast<int>(sql.size()), &statement, nullptr);
    m_statement.reset(statement);
    if (result != SQLITE_OK)
        ThrowSqlite(m_db, result, "cannot prepare a query");
}

bool SqliteStatement::Step()
{
    const int result = sqlite3_step(m_statement.get());
    if (result == SQLITE_ROW)
        return true;
    if (result == SQLITE_DONE)
        return false;
    ThrowSqlite(m_db, result, "query failed");
}

void SqliteStatement::Reset() { sqlite3_reset(m_statement.get()); }

void SqliteStatement::Bind(int index, std::int64_t value)
{
    const int result = sqlite3_bind_int64(m_statement.get(), index, value);
    if (result != SQLITE_OK)
        ThrowSqlite(m_db, result, "cannot bind a value");
}

std::string_view SqliteStatement::Blob(int column) const
{
    const void* bytes = sqlite3_column_blob(m_statement.get(), column);
    const int size = sqlite3_column_bytes(m_statement.get(), column);
    if (bytes == nullptr || size <= 0)
        return {};
    return std::string_view(static_cast<const char*>(bytes), static_cast<std::size_t>(size));
}

bool SqliteStatement::IsNull(int column) const { return sqlite3_column_type(m_statement.get(), column) == SQLITE_NULL; }

std::string SqliteStatement::Text(int column) const
{
    // Bytes as stored, also when they are not valid UTF-8.
    const auto* text = sqlite3_column_text(m_statement.get(), column);
    const int size = sqlite3_column_bytes(m_statement.get(), column);
    if (text == nullptr)
        return {};
    return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
}

std::int64_t SqliteStatement::Int64(int column) const { return sqlite3_column_int64(m_statement.get(), column); }

std::string SqliteFileUri(const std::filesystem::path& file, std::string_view query)
{
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(file, error);
    if (error)
        absolute = file;
    // An empty authority, so a path starting with "//" stays a path.
    std::string uri =
        "file://" + PercentEncoded(absolute.native(), [](unsigned char c) { return c == '%' || c == '?' || c == '#'; });
    if (!query.empty()) {
        uri += '?';
        uri += query;
    }
    return uri;
}

bool IsWalDatabase(const std::filesystem::path& file)
{
    // Header bytes 18 and 19 are the write and read format versions; 2 means write-ahead log.
    std::array<char, 20> header{};
    std::ifstream in(file, std::ios::binary);
    if (!in.read(header.data(), header.size()))
        return false;
    return std::memcmp(header.data(), "SQLite format 3", 16) == 0 && header[18] == 2 && header[19] == 2;
}

ForeignOpen FirstForeignOpen(const std::filesystem::path& file)
{
    if (!IsWalDatabase(file))
        return ForeignOpen::ReadOnly;
    const bool logPresent = IsRegularFile(WithSuffix(file, "-wal")) && IsRegularFile(WithSuffix(file, "-shm"));
    return logPresent ? ForeignOpen::ReadOnly : ForeignOpen::Immutable;
}

SqliteDatabase OpenForeignDatabase(const std::filesystem::path& file, ForeignOpen how)
{
    const char* query = how == ForeignOpen::ReadOnly ? "mode=ro" : "mode=ro&immutable=1";
    return SqliteDatabase(SqliteFileUri(file, query), SQLITE_OPEN_READONLY);
}

} // namespace platform
