// save-complete: a page or a movie with every file its movies load, laid out like the site, and the manifest.
#include "cache/LocalListing.h"
#include "capture/ArchiveSource.h"
#include "capture/CacheSource.h"
#include "capture/Capture.h"
#include "capture/CompleteSave.h"
#include "capture/FileSource.h"
#include "capture/SiteLayout.h"
#include "cli/Command.h"
#include "cli/SaveComplete.h"
#include "platform/Exceptions.h"
#include "wayback/ArchiveSetting.h"

#include <memory>

int cli::FinishCompleteSave(capture::CompleteSave& save, const capture::ArchiveSource& archive, std::string_view prefix)
{
    std::string error;
    const bool written = save.WriteManifest(error);
    const int status = SaveCompleteStatus(save.Manifest());
    if (archive.Unanswered() > 0)
        PrintError(std::string(prefix) + archive.Problem() + " (" + std::to_string(archive.Unanswered())
                   + (archive.Unanswered() == 1 ? " file" : " files") + " not had from it)");
    if (!written) {
        PrintError(error);
        return status == kOk ? kCannotOpen : status;
    }
    return status;
}

int cli::SaveCompleteStatus(const capture::SaveManifest& manifest)
{
    bool brokeOff = false, notHad = false, errorStatus = false;
    for (const capture::FileRecord& record : manifest.files) {
        if (!record.Needed())
            continue;
        const std::string& shown = record.address.empty() ? record.file : record.address;
        cli::PrintError(shown + ": " + std::string(capture::MissingText(record.answer.why))
                        + (record.answer.detail.empty() ? "" : " (" + record.answer.detail + ")"));
        brokeOff = brokeOff || record.answer.why == capture::Missing::kBrokeOff;
        errorStatus = errorStatus || record.answer.why == capture::Missing::kStatus;
        notHad = notHad
            || (record.answer.why != capture::Missing::kBrokeOff && record.answer.why != capture::Missing::kStatus);
    }
    if (brokeOff)
        return cli::kTransferFailed;
    if (notHad)
        return cli::kCannotOpen;
    return errorStatus ? cli::kErrorStatus : cli::kOk;
}

namespace {

constexpr const char* kSynopsis = "save-complete [--from-cache] URL DIR";

int RunSaveComplete(const std::vector<std::string>& args)
{
    std::vector<std::string> rest;
    bool fromCache = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--") {
            rest.insert(rest.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
            break;
        }
        if (args[i] == "--from-cache")
            fromCache = true;
        else
            rest.push_back(args[i]);
    }
    const auto operands = cli::ReadOperands(rest, 2, cli::kNoOptions, kSynopsis);
    if (!operands)
        return cli::kUsage;
    const std::string& folder = operands->values[1];
    if (folder.empty()) {
        cli::PrintError(std::string("DIR must not be empty (usage: plumeroc-grab ") + kSynopsis + ")");
        return cli::kUsage;
    }
    try {
        // The caches first, when asked: a file the user's browser kept is the file the site gave it.
        std::unique_ptr<capture::CacheSource> cached;
        if (fromCache) {
            const auto source = cache::LocalListSourceFor(std::nullopt);
            if (!source) {
                cli::PrintError("--from-cache: there is no cache folder (HOME is not set)");
                return cli::kCannotOpen;
            }
            const std::atomic<bool> never{false};
            cached = std::make_unique<capture::CacheSource>(cache::StoredFiles::Read(*source, never));
        }
        capture::LiveSource live;
        // The archive last, for the files the live site no longer gives.
        capture::ArchiveSource archived(wayback::Archive());
        std::vector<capture::FileSource*> sources;
        if (cached)
            sources.push_back(cached.get());
        sources.push_back(&live);
        if (!wayback::Archive().empty())
            sources.push_back(&archived);
        capture::CompleteSave save(folder, sources);
        save.AddAddress(capture::AddressToCapture(operands->values[0]));
        save.Run();
        return cli::FinishCompleteSave(save, archived, "");
    } catch (const CException& failure) {
        cli::PrintError(failure.what());
        return cli::kCannotOpen;
    }
}

[[maybe_unused]] const bool registered = cli::RegisterCommand(
    {"save-complete", kSynopsis,
     "Save the page or movie at URL, every movie the page lists, every file those movies load and what\n"
     "      loaded movies load in turn, each at DIR/<host>/<path>, with DIR/plumeroc-manifest.json saying for every\n"
     "      address where it went or why it is missing. --from-cache takes a file from the browser caches first\n"
     "      when an entry has its address. A file the live site does not give comes from the archive's capture\n"
     "      nearest in time to the one of the file that names it, or its latest (2: a file could not be had, 3: a\n"
     "      transfer broke off, 4: an error status).",
     35, RunSaveComplete});

} // namespace
