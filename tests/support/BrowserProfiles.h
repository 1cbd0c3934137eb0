#pragma once
// Browser profiles for tests: a temporary HOME and history databases with the browsers' own table
// shapes, written through the SQLite C API.
#include "platform/SqliteDatabase.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace test {

struct Visit {
    std::string url;
    std::int64_t unixMicros; // last visit, microseconds since 1970
    bool typed = true;
};

// Microseconds since 1970 for a day count after 2020-01-01 plus seconds, to keep tables readable.
std::int64_t Day(int day, int seconds = 0);

// A writable connection to a new or existing database file.
platform::SqliteDatabase OpenForWriting(const std::filesystem::path& file);
void Execute(const platform::SqliteDatabase& database, const std::string& sql);

// Firefox: moz_places in a write-ahead-log database, as Firefox keeps it. The writer is closed
// afterwards, which removes the -wal and -shm files.
void WriteFirefoxPlaces(const std::filesystem::path& file, const std::vector<Visit>& visits);
void AddFirefoxPlaces(const platform::SqliteDatabase& database, const std::vector<Visit>& visits);
// Chromium: urls with typed_count and times since 1601, rollback journal.
void WriteChromiumHistory(const std::filesystem::path& file, const std::vector<Visit>& visits);
void AddChromiumUrls(const platform::SqliteDatabase& database, const std::vector<Visit>& visits);

struct IniProfile {
    std::string path;
    std::optional<bool> isRelative; // nullopt: no IsRelative line
};
// profiles.ini in `root`, with an [Install...] and a [General] section around the profiles.
void WriteProfilesIni(const std::filesystem::path& root, const std::vector<IniProfile>& profiles);
// A Firefox profile "<root>/<name>" listed in root/profiles.ini, holding `visits`.
std::filesystem::path AddFirefoxProfile(const std::filesystem::path& root, const std::string& name,
                                        const std::vector<Visit>& visits);

// Every file below `folder` (relative name) with its bytes; -shm files map to an empty string,
// since readers legitimately update their read marks in it.
std::map<std::string, std::string> FolderSnapshot(const std::filesystem::path& folder);

} // namespace test
