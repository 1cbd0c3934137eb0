#pragma once
// The folder a saved copy is written into. Every name below it is opened relative to the folder, one
// component at a time and without following links, so that nothing is ever written outside it whatever
// links lie inside. A file is written under a temporary name beside its place and renamed into it once
// complete: a file that cannot be had never replaces one saved before.
//
// A name that is both a file and a folder (a site with "/a" and "/a/b"): the folder keeps the name and
// the file goes in it as "index.html", as a web server answers a folder's address. Two addresses that
// come to one name (the file "/a" moved into its folder and the page "/a/") keep the first there; the
// second takes "~" and eight hexadecimal digits of its address's SHA-256 before its suffix.
#include "platform/FileDescriptor.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace capture {

class SiteFolder {
public:
    // Opens `path`, making it and the folders above it when missing. Throws CFileException when it cannot.
    explicit SiteFolder(std::string path);

    const std::string& Path() const { return m_strPath; }

    // A file being written under a temporary name, removed unless it was put in place.
    class Pending {
    public:
        Pending(Pending&&) noexcept = default;
        Pending& operator=(Pending&&) noexcept = default;
        Pending(const Pending&) = delete;
        Pending& operator=(const Pending&) = delete;
        ~Pending();

        int Fd() const { return m_file.Get(); }
        // Empties the file for another try.
        bool Restart();

    private:
        friend class SiteFolder;
        Pending() = default;

        platform::FileDescriptor m_folder;
        platform::FileDescriptor m_file;
        std::string m_strFolder; // relative, "" for the top folder
        std::string m_strName;   // the name it is to take
        std::string m_strTemporary;
    };

    // Makes the folders of `relative` ("host/games/a.swf") and opens a fresh temporary file among them.
    // Nothing when a folder cannot be made there (a link or a special file is in the way), with the
    // reason in `error`.
    std::optional<Pending> Begin(std::string_view relative, std::string& error);

    // Puts the file written for `address` in its place and returns the relative name it took. Nothing,
    // with the reason in `error`, when it cannot.
    std::optional<std::string> Commit(Pending& file, const std::string& address, std::string& error);

    // Writes `bytes` as the top folder's file `name` the same way (the manifest).
    bool WriteTopFile(std::string_view name, std::string_view bytes, std::string& error) const;

    // Told of each saved file moved into a folder that needed its name: from, to (relative names).
    std::function<void(const std::string& from, const std::string& to)> onMoved;

private:
    // The folder `relative` opened, made when missing; a file in the way moves into it.
    platform::FileDescriptor OpenFolder(std::string_view relative, std::string& error);
    std::string FreeName(const std::string& wanted, const std::string& address) const;

    std::string m_strPath;
    platform::FileDescriptor m_top;
    std::map<std::string, std::string> m_claims; // relative name -> the address saved there in this run
};

} // namespace capture
