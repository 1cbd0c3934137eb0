#pragma once
// Where today's browsers keep their caches, told by names alone: Firefox's "cache2/entries" folders and
// Chromium's Simple Cache folders (Chromium, Chrome and the other Chromium-family browsers, Qt WebEngine and
// Electron programs).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cache {

enum class EntryFormat { Firefox, Chromium };

struct BrowserCacheFolder {
    std::string path; // ends in "/"
    EntryFormat format = EntryFormat::Firefox;

    friend bool operator==(const BrowserCacheFolder&, const BrowserCacheFolder&) = default;
};

// A folder named "entries" inside one named "cache2"; `parentPath` ends in "/".
bool IsFirefoxEntriesFolder(std::string_view parentPath, std::string_view name);

// Firefox names entry files by the SHA-1 of their key: 40 upper-case hexadecimal digits.
bool IsFirefoxEntryName(std::string_view name);

// Chromium's Simple Cache names the file holding streams 0 and 1 by a 64-bit hash: 16 lower-case hexadecimal
// digits and "_0". A folder holding one is a Simple Cache folder.
bool IsChromiumEntryName(std::string_view name);

// The format a path's last components show, for an entry file; nothing for any other file.
std::optional<EntryFormat> EntryFileFormat(std::string_view path);

// The browser cache folders below the cache homes of Snap packages (HOME/snap/<name>/common/.cache) and
// Flatpak applications (HOME/.var/app/<id>/cache), which lie outside the user's cache folder. `home` is
// the home folder's path.
std::vector<BrowserCacheFolder> FindOutsideCacheFolders(const std::string& home);

} // namespace cache
