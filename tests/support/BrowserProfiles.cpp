#include "support/BrowserProfiles.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace test {

namespace fs = std::filesystem;

namespace {
constexpr std::int64_t kMicrosecondsFrom1601To1970 = 11644473600LL * 1000000LL;

void BindText(sqlite3_stmt* statement, int index, const std::string& text)
{
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// Runs `sql` once per visit with the visit bound by `bind`.
template <class Bind>
void InsertEach(const platform::SqliteDatabase& database, const char* sql, const std::vector<Visit>& visits, Bind bind)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(database.Get(), sql, -1, &raw, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(database.Get()));
    std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> statement(raw, &sqlite3_finalize);
    for (const Visit& visit : visits) {
        sqlite3_reset(raw);
        bind(raw, visit);
        if (sqlite3_step(raw) != SQLITE_DONE)
            throw std::runtime_error(sqlite3_errmsg(database.Get()));
    }
}
} // namespace

std::int64_t Day(int day, int seconds)
{
    constexpr std::int64_t k2020 = 1577836800LL;
    return (k2020 + day * 86400LL + seconds) * 1000000LL;
}

platform::SqliteDatabase OpenForWriting(const fs::path& file)
{
    fs::create_directories(file.parent_path());
    platform::SqliteDatabase database(platform::SqliteFileUri(file, ""), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    Execute(database, "PRAGMA synchronous = OFF"); // tests need no durability, only speed
    return database;
}

void Execute(const platform::SqliteDatabase& database, const std::string& sql)
{
    char* message = nullptr;
    if (sqlite3_exec(database.Get(), sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string text = message != nullptr ? message : "sqlite3_exec failed";
        sqlite3_free(message);
        throw std::runtime_error(text + " in: " + sql);
    }
}

void AddFirefoxPlaces(const platform::SqliteDatabase& database, const std::vector<Visit>& visits)
{
    InsertEach(database,
               "INSERT INTO moz_places (url, title, rev_host, visit_count, typed, frecency, last_visit_date, guid, "
               "url_hash) VALUES (?1, 'A title', 'gro.elpmaxe.', 3, ?2, 100, ?3, lower(hex(randomblob(6))), "
               "abs(random()) % 281474976710656)",
               visits, [](sqlite3_stmt* statement, const Visit& visit) {
                   BindText(statement, 1, visit.url);
                   sqlite3_bind_int(statement, 2, visit.typed ? 1 : 0);
                   sqlite3_bind_int64(statement, 3, visit.unixMicros);
               });
}

void WriteFirefoxPlaces(const fs::path& file, const std::vector<Visit>& visits)
{
    const platform::SqliteDatabase database = OpenForWriting(file);
    Execute(database,
            "PRAGMA page_size = 32768; PRAGMA journal_mode = WAL;"
            "CREATE TABLE IF NOT EXISTS moz_origins (id INTEGER PRIMARY KEY, prefix TEXT NOT NULL, host TEXT NOT NULL, "
            "  frecency INTEGER NOT NULL, recalc_frecency INTEGER NOT NULL DEFAULT 0, alt_frecency INTEGER, "
            "  recalc_alt_frecency INTEGER NOT NULL DEFAULT 0, UNIQUE (prefix, host));"
            "CREATE TABLE IF NOT EXISTS moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR, "
            "  rev_host LONGVARCHAR, visit_count INTEGER DEFAULT 0, hidden INTEGER DEFAULT 0 NOT NULL, "
            "  typed INTEGER DEFAULT 0 NOT NULL, frecency INTEGER DEFAULT -1 NOT NULL, last_visit_date INTEGER, "
            "  guid TEXT, foreign_count INTEGER DEFAULT 0 NOT NULL, url_hash INTEGER DEFAULT 0 NOT NULL, "
            "  description TEXT, preview_image_url TEXT, site_name TEXT, "
            "  origin_id INTEGER REFERENCES moz_origins(id), recalc_frecency INTEGER NOT NULL DEFAULT 0, "
            "  alt_frecency INTEGER, recalc_alt_frecency INTEGER NOT NULL DEFAULT 0);"
            "CREATE TABLE IF NOT EXISTS moz_historyvisits (id INTEGER PRIMARY KEY, from_visit INTEGER, "
            "  place_id INTEGER, visit_date INTEGER, visit_type INTEGER, session INTEGER, "
            "  source INTEGER DEFAULT 0 NOT NULL, triggeringPlaceId INTEGER);"
            "CREATE INDEX IF NOT EXISTS moz_places_url_hashindex ON moz_places (url_hash);"
            "CREATE INDEX IF NOT EXISTS moz_places_lastvisitdateindex ON moz_places (last_visit_date);"
            "CREATE UNIQUE INDEX IF NOT EXISTS moz_places_guid_uniqueindex ON moz_places (guid);");
    Execute(database, "BEGIN");
    AddFirefoxPlaces(database, visits);
    Execute(database, "COMMIT");
}

void AddChromiumUrls(const platform::SqliteDatabase& database, const std::vector<Visit>& visits)
{
    InsertEach(database,
               "INSERT INTO urls (url, title, visit_count, typed_count, last_visit_time, hidden) "
               "VALUES (?1, 'A title', 5, ?2, ?3, 0)",
               visits, [](sqlite3_stmt* statement, const Visit& visit) {
                   BindText(statement, 1, visit.url);
                   sqlite3_bind_int(statement, 2, visit.typed ? 2 : 0);
                   sqlite3_bind_int64(statement, 3, visit.unixMicros + kMicrosecondsFrom1601To1970);
               });
}

void WriteChromiumHistory(const fs::path& file, const std::vector<Visit>& visits)
{
    const platform::SqliteDatabase database = OpenForWriting(file);
    Execute(database,
            "PRAGMA journal_mode = TRUNCATE;"
            "CREATE TABLE IF NOT EXISTS meta (key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value LONGVARCHAR);"
            "INSERT OR REPLACE INTO meta VALUES ('version', '66');"
            "CREATE TABLE IF NOT EXISTS urls (id INTEGER PRIMARY KEY AUTOINCREMENT, url LONGVARCHAR, "
            "  title LONGVARCHAR, visit_count INTEGER DEFAULT 0 NOT NULL, typed_count INTEGER DEFAULT 0 NOT NULL, "
            "  last_visit_time INTEGER NOT NULL, hidden INTEGER DEFAULT 0 NOT NULL);"
            "CREATE INDEX IF NOT EXISTS urls_url_index ON urls (url);"
            "CREATE TABLE IF NOT EXISTS visits (id INTEGER PRIMARY KEY AUTOINCREMENT, url INTEGER NOT NULL, "
            "  visit_time INTEGER NOT NULL, from_visit INTEGER, transition INTEGER DEFAULT 0 NOT NULL, "
            "  segment_id INTEGER, visit_duration INTEGER DEFAULT 0 NOT NULL);");
    Execute(database, "BEGIN");
    AddChromiumUrls(database, visits);
    Execute(database, "COMMIT");
}

void WriteProfilesIni(const fs::path& root, const std::vector<IniProfile>& profiles)
{
    fs::create_directories(root);
    std::ofstream out(root / "profiles.ini", std::ios::binary);
    out << "[Install4F96D1932A9F858E]\r\nDefault=unused.default-release\r\nLocked=1\r\n\r\n";
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        out << "[Profile" << i << "]\nName=profile" << i << "\n";
        if (profiles[i].isRelative)
            out << "IsRelative=" << (*profiles[i].isRelative ? 1 : 0) << "\n";
        out << "Path=" << profiles[i].path << "\n\n";
    }
    out << "[General]\nStartWithLastProfile=1\nVersion=2\n";
}

fs::path AddFirefoxProfile(const fs::path& root, const std::string& name, const std::vector<Visit>& visits)
{
    WriteProfilesIni(root, {{name, true}});
    const fs::path file = root / name / "places.sqlite";
    WriteFirefoxPlaces(file, visits);
    return file;
}

std::map<std::string, std::string> FolderSnapshot(const fs::path& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file())
            continue;
        const std::string name = fs::relative(entry.path(), folder).string();
        std::string bytes;
        if (!name.ends_with("-shm")) {
            std::ifstream in(entry.path(), std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        files.emplace(name, std::move(bytes));
    }
    return files;
}

} // namespace test
