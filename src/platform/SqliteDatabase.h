#pragma once
// Owners of SQLite connections and statements, and a way to read another program's database while
// that program may hold it, without changing anything on disk.
#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

class SqliteError : public std::runtime_error {
public:
    SqliteError(int code, const std::string& message) : std::runtime_error(message), m_nCode(code) {}
    int Code() const { return m_nCode; }

private:
    int m_nCode;
};

class SqliteDatabase {
public:
    // Opens with SQLITE_OPEN_URI added to `flags`; throws SqliteError.
    SqliteDatabase(const std::string& uri, int flags);

    // A database image in memory, read-only, with no file behind it: what the fuzz targets read. `image` must
    // stay alive and unchanged while the connection lives. Throws SqliteError.
    static SqliteDatabase OpenImage(std::string_view image);

    sqlite3* Get() const { return m_db.get(); }

private:
    struct Closer {
        void operator()(sqlite3* db) const { sqlite3_close(db); }
    };
    std::unique_ptr<sqlite3, Closer> m_db;
};

class SqliteStatement {
public:
    SqliteStatement(const SqliteDatabase& database, std::string_view sql);

    // True while a row is available; throws SqliteError on failure (a lock held by another
    // connection shows up here rather than at open time).
    bool Step();
    // Starts the statement again, keeping its bound values.
    void Reset();
    // Binds `value` to parameter `index` (counted from 1); throws SqliteError.
    void Bind(int index, std::int64_t value);
    bool IsNull(int column) const;
    std::string Text(int column) const;
    std::int64_t Int64(int column) const;
    // The bytes of a column; valid until the next Step or Reset.
    std::string_view Blob(int column) const;

private:
    struct Finalizer {
        void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
    };
    sqlite3* m_db;
    std::unique_ptr<sqlite3_stmt, Finalizer> m_statement;
};

// A "file:" URI for an absolute path, with the characters that URIs give a meaning escaped.
std::string SqliteFileUri(const std::filesystem::path& file, std::string_view query);

// True when the file starts with a SQLite header that marks it as a write-ahead-log database.
bool IsWalDatabase(const std::filesystem::path& file);

// How to reach a database another program may have open.
enum class ForeignOpen {
    ReadOnly,  // ordinary read-only connection: takes locks and sees committed log frames
    Immutable, // no locks, no log: the main file as it stands
};

// The first way worth trying for `file`. A read-only connection to a log database creates the
// -wal and -shm files when they are missing (and leaves them there), so without them only the
// immutable view is safe; with them a writer is running and the ordinary connection shares them.
ForeignOpen FirstForeignOpen(const std::filesystem::path& file);

SqliteDatabase OpenForeignDatabase(const std::filesystem::path& file, ForeignOpen how);

// Runs `read` on the database at `file` without writing to it or leaving files beside it: first
// as FirstForeignOpen says, then, if that fails (the writer holds an exclusive lock, say), on the
// immutable view. `read` must start afresh each time it is called. Throws SqliteError when
// neither way works.
template <class Read>
auto ReadForeignDatabase(const std::filesystem::path& file, Read read)
    -> decltype(read(std::declval<SqliteDatabase&>()))
{
    if (FirstForeignOpen(file) == ForeignOpen::ReadOnly) {
        try {
            SqliteDatabase database = OpenForeignDatabase(file, ForeignOpen::ReadOnly);
            return read(database);
        } catch (const SqliteError&) {
            // Fall through to the immutable view.
        }
    }
    SqliteDatabase database = OpenForeignDatabase(file, ForeignOpen::Immutable);
    return read(database);
}

} // namespace platform
