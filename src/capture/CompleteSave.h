#pragma once
// Saving a copy that plays: a page, the movies it lists, every file those movies load and again what the
// loaded movies load, each at "<host>/<path>" in one folder (capture/SiteLayout.h), with the manifest
// (capture/SaveManifest.h). Files come from the sources given, in order (capture/FileSource.h). A file that
// cannot be had never stops the rest: it is recorded with the reason. plumeroc-grab save-complete and the
// window's "Save With Its Files…" both run this.
#include "capture/FileSource.h"
#include "capture/MovieFiles.h"
#include "capture/SaveManifest.h"
#include "capture/SiteFolder.h"

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace capture {

// Movies are read for what they load down to this many loads below a page's movies: a loader, the game it
// loads, the levels and shared libraries the game loads and what those load stay inside, while a movie that
// names movies without end cannot make the save go on without end.
inline constexpr int kDeepestLoad = 5;
// A save takes at most this many addresses (had or not): an order above the few hundred files of the largest
// games, and an end to a movie whose strings would name a whole site.
inline constexpr std::size_t kMostFiles = 4096;

class CompleteSave {
public:
    // Saves into `folder` (made when missing; CFileException when it cannot be), asking `sources` in turn;
    // they must outlive the save.
    CompleteSave(std::string folder, std::vector<FileSource*> sources);

    // Told of each address before it is fetched, with how many addresses are done and known so far.
    std::function<void(const std::string& address, std::size_t done, std::size_t known)> onFetching;

    // A page or a movie address: the page with every movie it lists, or the movie.
    void AddAddress(const std::string& address);
    // The page at `pageAddress` with these of its movies only (rows of the Internet Files list).
    void AddPageMovies(const std::string& pageAddress, const std::vector<std::string>& movies);
    // A movie whose bytes are at hand (a Local Files row): saved at its address when it has one, and
    // otherwise, as `file` names it, in the top folder; what it names is read either way.
    void AddMovieBytes(std::string bytes, const std::optional<std::string>& address, const std::string& file);
    // What the preview saw `movie` ask for while it played.
    void AddPlayed(const std::string& movie, const std::vector<std::string>& requests);

    // Saves everything added and what it leads to, until done or `stop` turns true.
    void Run(const std::atomic<bool>* stop = nullptr);

    // Writes the manifest into the folder; false with the reason in `error` when it cannot.
    bool WriteManifest(std::string& error) const;

    const SaveManifest& Manifest() const { return m_manifest; }
    const std::string& Folder() const { return m_folder.Path(); }

private:
    // One name to have: its candidates in the order to try, the first that answers wins.
    struct Want {
        std::vector<std::string> candidates;
        FoundBy found;
        int depth = 0;                   // loads below a page's movies; the start and the page's movies are 0
        std::optional<PageContext> page; // what the page gives a movie it embeds
        bool pattern = false;
        bool isPage = false;                 // the start: a page when its bytes are no movie
        bool pageOnly = false;               // the page's movies are onlyMovies
        std::vector<std::string> onlyMovies; // for a page: the movies wanted, when not all it lists
        std::string bytes;                   // a movie at hand
        std::string filePath;                // a movie at hand: its file
    };

    void Take(const Want& want);
    // The index of the record of `address` (of the bytes at hand when it is empty), had now when there is
    // none yet.
    std::size_t Have(const std::string& address, const Want& want);
    std::size_t NewRecord(const std::string& address);
    void Fetch(std::size_t index, const Want& want);
    // Puts `file`, written by `source`, in place as the record's file, and follows what it leads to.
    void Keep(std::size_t index, SiteFolder::Pending& file, std::string_view source, SourceAnswer answer,
              const Want& want);
    void SaveBytes(std::size_t index, const Want& want);
    // What the saved bytes lead to: a page's movies, a movie's files.
    void Follow(std::size_t index, std::string_view bytes, const Want& want);
    void FollowPage(const std::string& pageAddress, std::string_view bytes, const Want& want);
    void FollowMovie(std::string_view bytes, const std::optional<std::string>& address, const Want& want);
    void Queue(const std::vector<LoadedFile>& files, const std::string& by, const std::optional<PageContext>& page,
               int depth);
    bool Stopped() const;

    SiteFolder m_folder;
    std::vector<FileSource*> m_sources;
    SaveManifest m_manifest;
    std::unordered_map<std::string, std::size_t> m_recordOf; // address -> index in m_manifest.files
    std::deque<Want> m_wants;
    std::size_t m_nDone = 0;
    const std::atomic<bool>* m_pStop = nullptr;
};

// A save from the live site into `folder`, the archive giving what the live site does not, as the window runs it: `add`
// says what to save, `fetching` hears of each address. The manifest is written whatever happened, cancelled or not.
struct SaveOutcome {
    std::size_t saved = 0;
    std::size_t missing = 0;        // files of a name of their own that could not be had
    std::size_t archiveMissing = 0; // of those, the ones the archive was asked for in vain
    std::string archiveProblem;     // the archive refused or did not answer: its line
    bool cancelled = false;
    std::string manifest; // its path
    std::string failure;  // when the folder or the manifest could not be written: why
};
SaveOutcome RunCompleteSave(
    const std::string& folder, const std::function<void(CompleteSave& save)>& add, const std::atomic<bool>& stop,
    const std::function<void(const std::string& address, std::size_t done, std::size_t known)>& fetching = {});

} // namespace capture
