#include "capture/CompleteSave.h"

#include "capture/ArchiveSource.h"

#include "capture/Capture.h"
#include "capture/SiteLayout.h"
#include "html/PageText.h"
#include "html/script/ReferenceResolution.h"
#include "platform/Bytes.h"
#include "platform/Exceptions.h"
#include "platform/MappedFile.h"
#include "platform/Sha256.h"
#include "wayback/ArchiveSetting.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <iterator>
#include <utility>

namespace capture {

namespace {

bool IsMovie(std::string_view bytes)
{
    return bytes.starts_with("FWS") || bytes.starts_with("CWS") || bytes.starts_with("ZWS");
}

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

} // namespace

CompleteSave::CompleteSave(std::string folder, std::vector<FileSource*> sources)
    : m_folder(std::move(folder))
    , m_sources(std::move(sources))
{
    for (const FileSource* source : m_sources)
        m_manifest.sources.emplace_back(source->Name());
    m_folder.onMoved = [this](const std::string& from, const std::string& to) {
        for (FileRecord& record : m_manifest.files) {
            if (record.saved && record.path == from)
                record.path = to;
        }
    };
}

void CompleteSave::AddAddress(const std::string& address)
{
    m_manifest.starts.push_back(address);
    Want want;
    want.candidates = {address};
    want.found = {"start", {}, address, false, {}};
    want.isPage = true;
    m_wants.push_back(std::move(want));
}

void CompleteSave::AddPageMovies(const std::string& pageAddress, const std::vector<std::string>& movies)
{
    m_manifest.starts.push_back(pageAddress);
    Want want;
    want.candidates = {pageAddress};
    want.found = {"start", {}, pageAddress, false, {}};
    want.isPage = true;
    want.pageOnly = true;
    want.onlyMovies = movies;
    m_wants.push_back(std::move(want));
}

void CompleteSave::AddMovieBytes(std::string bytes, const std::optional<std::string>& address, const std::string& file)
{
    m_manifest.starts.push_back(address ? *address : file);
    Want want;
    if (address)
        want.candidates = {*address};
    want.found = {"start", {}, address ? *address : file, false, {}};
    want.bytes = std::move(bytes);
    want.filePath = file;
    m_wants.push_back(std::move(want));
}

void CompleteSave::AddPlayed(const std::string& movie, const std::vector<std::string>& requests)
{
    for (const std::string& request : requests) {
        Want want;
        want.candidates = {request};
        want.found = {"played", movie, request, false, {}};
        want.depth = 1;
        m_wants.push_back(std::move(want));
    }
}

void CompleteSave::Run(const std::atomic<bool>* stop)
{
    m_pStop = stop;
    while (!m_wants.empty()) {
        const Want want = std::move(m_wants.front());
        m_wants.pop_front();
        Take(want);
    }
    m_pStop = nullptr;
}

bool CompleteSave::Stopped() const { return m_pStop != nullptr && m_pStop->load(); }

bool CompleteSave::WriteManifest(std::string& error) const
{
    return m_folder.WriteTopFile(kManifestName, m_manifest.Json(std::time(nullptr)), error);
}

void CompleteSave::Take(const Want& want)
{
    if (want.pattern) {
        m_manifest.patterns.emplace_back(want.candidates.empty() ? want.found.name : want.candidates.front(),
                                         want.found);
        return;
    }
    if (want.candidates.empty()) {
        if (want.bytes.empty()) {
            m_manifest.unresolved.emplace_back(want.found.name, want.found);
            return;
        }
        // A movie from disk without an address: saved in the top folder, read for what it names.
        const std::size_t index = Have({}, want);
        m_manifest.files[index].found.push_back(want.found);
        return;
    }
    std::vector<FoundBy::Alternative> failed;
    for (std::size_t i = 0; i < want.candidates.size(); ++i) {
        const std::size_t index = Have(want.candidates[i], want);
        FileRecord& record = m_manifest.files[index];
        if (record.saved) {
            FoundBy found = want.found;
            found.alternatives = std::move(failed);
            for (std::size_t later = i + 1; later < want.candidates.size(); ++later)
                found.alternatives.push_back({want.candidates[later], std::nullopt});
            record.found.push_back(std::move(found));
            return;
        }
        failed.push_back({want.candidates[i], record.answer});
    }
    // No candidate answered: the name stays with the first, the others are its alternatives.
    FoundBy found = want.found;
    found.alternatives.assign(failed.begin() + 1, failed.end());
    m_manifest.files[m_recordOf.at(want.candidates.front())].found.push_back(std::move(found));
    // A page that cannot be had still leads to the movies it was asked for, resolved against its address.
    if (want.pageOnly) {
        for (const std::string& movie : want.onlyMovies) {
            Want movieWant;
            movieWant.candidates = {movie};
            movieWant.found = {"page", want.candidates.front(), movie, false, {}};
            movieWant.page = PageContext{want.candidates.front(), movie, std::nullopt, {}};
            m_wants.push_back(std::move(movieWant));
        }
    }
}

std::size_t CompleteSave::NewRecord(const std::string& address)
{
    const std::size_t index = m_manifest.files.size();
    m_manifest.files.emplace_back();
    m_manifest.files.back().address = address;
    if (!address.empty())
        m_recordOf.emplace(address, index);
    return index;
}

std::size_t CompleteSave::Have(const std::string& address, const Want& want)
{
    if (!address.empty()) {
        if (const auto known = m_recordOf.find(address); known != m_recordOf.end())
            return known->second;
    }
    const std::size_t index = NewRecord(address);
    FileRecord& record = m_manifest.files[index];
    if (Stopped()) {
        m_manifest.cancelled = true;
        record.answer.why = Missing::kCancelled;
    } else if (index >= kMostFiles) {
        record.answer.why = Missing::kLimit;
        record.answer.detail = "a save takes at most " + std::to_string(kMostFiles) + " files";
    } else if (!want.bytes.empty() && (address.empty() || address == want.candidates.front())) {
        SaveBytes(index, want);
    } else {
        Fetch(index, want);
    }
    return index;
}

void CompleteSave::Fetch(std::size_t index, const Want& want)
{
    const std::string address = m_manifest.files[index].address;
    if (onFetching)
        onFetching(address, m_nDone, m_nDone + m_wants.size() + 1);
    ++m_nDone;
    const SavedName name = SavedNameOf(address);
    if (name.path.empty()) {
        m_manifest.files[index].answer = {false, Missing::kRefused, 0, name.refusal, {}, {}};
        return;
    }
    std::string error;
    std::optional<SiteFolder::Pending> file = m_folder.Begin(name.path, error);
    if (!file) {
        m_manifest.files[index].answer = {false, Missing::kNotWritten, 0, error, {}, {}};
        return;
    }
    for (FileSource* source : m_sources) {
        SourceAnswer answer = source->GetNamedBy(address, want.found.by, file->Fd(), m_pStop);
        if (answer.got) {
            Keep(index, *file, source->Name(), std::move(answer), want);
            return;
        }
        if (Stopped()) {
            answer.why = Missing::kCancelled;
            m_manifest.cancelled = true;
        }
        m_manifest.files[index].tried.emplace_back(source->Name(), std::move(answer));
        if (Stopped() || !file->Restart())
            break;
    }
    // Why a file is missing is what the live site said, when it was asked; otherwise the last source's word.
    FileRecord& record = m_manifest.files[index];
    if (record.tried.empty()) {
        record.answer = {false, Missing::kCancelled, 0, {}, {}, {}};
        return;
    }
    auto decider = std::find_if(record.tried.begin(), record.tried.end(),
                                [](const auto& attempt) { return attempt.first == "live"; });
    if (decider == record.tried.end())
        decider = std::prev(record.tried.end());
    record.answer = decider->second;
}

void CompleteSave::SaveBytes(std::size_t index, const Want& want)
{
    const std::string relative =
        want.candidates.empty() ? BaseName(want.filePath) : SavedNameOf(want.candidates.front()).path;
    std::string error;
    std::optional<SiteFolder::Pending> file;
    if (relative.empty())
        error = SavedNameOf(want.candidates.front()).refusal;
    else
        file = m_folder.Begin(relative, error);
    const int written = file ? platform::WriteAll(file->Fd(), want.bytes.data(), want.bytes.size()) : 0;
    FileRecord& record = m_manifest.files[index];
    record.file = want.filePath;
    if (!file || written != 0) {
        record.answer = {false, relative.empty() ? Missing::kRefused : Missing::kNotWritten,
                         0,     file ? std::string(std::strerror(written)) : error,
                         {},    {}};
        return;
    }
    SourceAnswer answer;
    answer.got = true;
    answer.facts.emplace_back("file", want.filePath);
    Keep(index, *file, "local", std::move(answer), want);
}

void CompleteSave::Keep(std::size_t index, SiteFolder::Pending& file, std::string_view source, SourceAnswer answer,
                        const Want& want)
{
    const platform::MappedFile bytes(file.Fd());
    std::string error;
    const std::string key =
        m_manifest.files[index].address.empty() ? m_manifest.files[index].file : m_manifest.files[index].address;
    const std::optional<std::string> path = bytes.Failed() ? std::nullopt : m_folder.Commit(file, key, error);
    FileRecord& record = m_manifest.files[index];
    if (!path) {
        record.answer = {false, Missing::kNotWritten, 0, bytes.Failed() ? "the written file cannot be read" : error, {},
                         {}};
        return;
    }
    record.saved = true;
    record.path = *path;
    record.size = bytes.Bytes().size();
    record.sha256 = platform::Sha256Hex(bytes.Bytes());
    record.from = source;
    record.answer = std::move(answer);
    Follow(index, bytes.Bytes(), want);
}

void CompleteSave::Follow(std::size_t index, std::string_view bytes, const Want& want)
{
    const std::string address = m_manifest.files[index].address;
    if (IsMovie(bytes)) {
        if (want.depth < kDeepestLoad)
            FollowMovie(bytes, address.empty() ? std::nullopt : std::optional<std::string>(address), want);
    } else if (want.isPage) {
        FollowPage(address, bytes, want);
    }
}

void CompleteSave::FollowPage(const std::string& pageAddress, std::string_view bytes, const Want& want)
{
    const std::string_view text = html::PageTextOf(bytes);
    const std::vector<std::string> movies =
        want.pageOnly ? want.onlyMovies : RowsInListOrder(FindMovies(pageAddress, text));
    for (const std::string& movie : movies) {
        Want movieWant;
        movieWant.candidates = {movie};
        movieWant.found = {"page", pageAddress, movie, false, {}};
        movieWant.page = PageContextFor(text, pageAddress, movie);
        m_wants.push_back(std::move(movieWant));
    }
}

void CompleteSave::FollowMovie(std::string_view bytes, const std::optional<std::string>& address, const Want& want)
{
    const auto files = FilesMovieLoads(bytes, address, want.page);
    if (!files)
        return;
    // The movies it loads play on the same page, with its base, but the FlashVars were this movie's alone;
    // a base of "." still means this movie's folder.
    std::optional<PageContext> page = want.page;
    if (page) {
        page->flashVars.clear();
        page->movieAddress.clear();
        if (page->base && address) {
            const std::string_view base = platform::Trimmed(*page->base);
            if (base == "." || base == "./")
                page->base = html::script::ResolveReference(*address, "./");
        }
    }
    Queue(*files, address ? *address : want.filePath, page, want.depth + 1);
}

void CompleteSave::Queue(const std::vector<LoadedFile>& files, const std::string& by,
                         const std::optional<PageContext>& page, int depth)
{
    for (const LoadedFile& file : files) {
        Want want;
        want.candidates = file.candidates;
        want.found = {std::string(NamedByText(file.namedBy)), by, file.name, file.embedded, {}};
        want.depth = depth;
        want.page = page;
        want.pattern = file.pattern;
        m_wants.push_back(std::move(want));
    }
}

SaveOutcome RunCompleteSave(const std::string& folder, const std::function<void(CompleteSave& save)>& add,
                            const std::atomic<bool>& stop,
                            const std::function<void(const std::string&, std::size_t, std::size_t)>& fetching)
{
    SaveOutcome outcome;
    try {
        LiveSource live;
        ArchiveSource archived(wayback::Archive());
        std::vector<FileSource*> sources{&live};
        if (!wayback::Archive().empty())
            sources.push_back(&archived);
        CompleteSave save(folder, sources);
        save.onFetching = fetching;
        add(save);
        save.Run(&stop);
        outcome.saved = save.Manifest().SavedCount();
        outcome.missing = save.Manifest().MissingCount();
        outcome.cancelled = save.Manifest().cancelled;
        outcome.archiveMissing =
            static_cast<std::size_t>(std::ranges::count_if(save.Manifest().files, [](const FileRecord& record) {
                return record.Needed() && std::ranges::any_of(record.tried, [](const auto& attempt) {
                           return attempt.first == "archive";
                       });
            }));
        outcome.archiveProblem = archived.Problem();
        outcome.manifest = folder + (folder.ends_with('/') ? "" : "/") + std::string(kManifestName);
        std::string error;
        if (!save.WriteManifest(error))
            outcome.failure = error;
    } catch (const CException& failure) {
        outcome.failure = failure.what();
    }
    return outcome;
}

} // namespace capture
