#pragma once
// The addresses the user typed into their browsers, read from the browsers' own history databases
// in the home folder: Firefox (places.sqlite) and the Chromium family (History).
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace platform {

struct HistoryDatabase {
    enum class Kind { Firefox, Chromium };
    Kind kind;
    std::filesystem::path file;
};

struct TypedAddress {
    std::string url;
    std::int64_t lastVisit; // microseconds since 1970-01-01 UTC
};

// Every history database of every profile found below `home`; `configHome` is where the user's
// configuration lives (XDG_CONFIG_HOME, or home/.config). Each file is listed once, in a fixed order.
std::vector<HistoryDatabase> FindHistoryDatabases(const std::filesystem::path& home,
                                                  const std::filesystem::path& configHome);

// The database's typed addresses, newest first, each once, at most `limit`. Throws SqliteError when
// the database cannot be read at all.
std::vector<TypedAddress> ReadTypedAddresses(const HistoryDatabase& database, std::size_t limit);

// All databases merged newest first by last visit, each address once (its newest visit counts), at
// most `limit`. A database that cannot be read adds nothing.
std::vector<std::string> MergeTypedAddresses(const std::vector<HistoryDatabase>& databases, std::size_t limit);

} // namespace platform
