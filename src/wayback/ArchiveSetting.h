#pragma once
// Where the Wayback Machine answers: https://web.archive.org unless the user names another archive that
// speaks its CDX API and raw captures (--archive URL) or none (--archive off). A setting of the run, kept
// in memory only.
#include <optional>
#include <string>
#include <string_view>

namespace wayback {

inline constexpr std::string_view kDefaultArchive = "https://web.archive.org";

// The archive's address, without a trailing "/"; empty when the archive is off.
std::string Archive();
// Set once at start-up, before any capture runs; empty turns the archive off.
void SetArchive(std::string address);

// What `--archive VALUE` asks for: "" for "off", or an http:// or https:// address with a host and no query,
// without its trailing "/". Nothing when VALUE is neither.
std::optional<std::string> ReadArchiveOption(std::string_view value);

} // namespace wayback
