// plumeroc-grab archived: the movies the Wayback Machine holds under a site, one row per distinct movie.
#include "capture/ArchiveSource.h"
#include "capture/ArchivedMovies.h"
#include "capture/CompleteSave.h"
#include "cli/Command.h"
#include "cli/SaveComplete.h"
#include "platform/Exceptions.h"
#include "platform/JsonText.h"
#include "wayback/ArchiveSetting.h"
#include "wayback/RawCapture.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* kSynopsis = "archived [-0 | --json | --save DIR] [--from YYYY] [--to YYYY] SITE";

enum class RowFormat { Lines, NulEnded, Json };

struct ArchivedOptions {
    RowFormat format = RowFormat::Lines;
    std::string saveFolder; // --save: the movies saved there instead of listed
    capture::ArchivedMoviesQuery query;
};

int Usage(const std::string& problem)
{
    cli::PrintError("archived: " + problem + " (usage: plumeroc-grab " + kSynopsis + ")");
    return cli::kUsage;
}

bool IsTime(const std::string& text)
{
    return !text.empty() && text.size() <= 14 && std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<ArchivedOptions> ReadOptions(const std::vector<std::string>& args)
{
    ArchivedOptions options;
    std::vector<std::string> sites;
    bool optionsEnded = false;
    bool formatGiven = false;
    for (auto arg = args.begin(); arg != args.end(); ++arg) {
        if (!optionsEnded && (*arg == "-0" || *arg == "--json" || *arg == "--save")) {
            if (formatGiven) {
                Usage("-0, --json and --save go one at a time");
                return std::nullopt;
            }
            formatGiven = true;
            if (*arg == "--save") {
                if (std::next(arg) == args.end() || std::next(arg)->empty()) {
                    Usage("--save takes a folder");
                    return std::nullopt;
                }
                options.saveFolder = *++arg;
            } else {
                options.format = *arg == "-0" ? RowFormat::NulEnded : RowFormat::Json;
            }
        } else if (!optionsEnded && (*arg == "--from" || *arg == "--to")) {
            if (std::next(arg) == args.end() || !IsTime(*std::next(arg))) {
                Usage(*arg + " takes a year (or 1 to 14 digits of a time)");
                return std::nullopt;
            }
            (*arg == "--from" ? options.query.from : options.query.to) = *++arg;
        } else if (!optionsEnded && *arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg->size() > 1 && arg->front() == '-') {
            Usage("unknown option '" + *arg + "'");
            return std::nullopt;
        } else {
            sites.push_back(*arg);
        }
    }
    if (sites.size() != 1 || sites.front().empty()) {
        Usage("one SITE, please");
        return std::nullopt;
    }
    options.query.site = sites.front();
    return options;
}

bool AllDigits(const std::string& text)
{
    return !text.empty() && std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; });
}

std::string Row(const std::string& archive, const wayback::CdxCapture& movie, RowFormat format)
{
    const std::string raw = wayback::RawCaptureAddress(archive, movie.timestamp, movie.original);
    if (format != RowFormat::Json)
        return raw + '\t' + movie.original + '\t' + movie.timestamp + '\t' + movie.digest + '\t' + movie.length;
    platform::JsonObject object;
    object.Add("capture", raw)
        .Add("original", movie.original)
        .Add("timestamp", movie.timestamp)
        .Add("digest", movie.digest)
        .Add("mimetype", movie.mimetype);
    if (AllDigits(movie.length))
        object.Add("length", std::stoull(movie.length));
    return object.Text();
}

// Each movie at DIR/<host>/<path> of its original address from the capture listed, with what it loads taken
// from the captures nearest in time to it, and the manifest.
int SaveArchived(const std::string& archive, const std::string& folder, const capture::ArchivedMovies& found)
{
    try {
        capture::ArchiveSource source(archive);
        capture::CompleteSave save(folder, {&source});
        for (const wayback::CdxCapture& movie : found.movies)
            source.Know(movie.original, movie.timestamp);
        for (const wayback::CdxCapture& movie : found.movies)
            save.AddAddress(movie.original);
        save.Run();
        return cli::FinishCompleteSave(save, source, "archived: ");
    } catch (const CException& failure) {
        cli::PrintError(failure.what());
        return cli::kCannotOpen;
    }
}

int RunArchived(const std::vector<std::string>& args)
{
    const auto options = ReadOptions(args);
    if (!options)
        return cli::kUsage;
    const std::string archive = wayback::Archive();
    if (archive.empty())
        return Usage("the archive is off");
    const capture::ArchivedMovies found = capture::FindArchivedMovies(archive, options->query);
    for (const wayback::CdxCapture& movie : found.movies) {
        if (!options->saveFolder.empty())
            break;
        if (!cli::PrintRow(stdout, Row(archive, movie, options->format), options->format == RowFormat::NulEnded))
            return cli::kOk; // standard output failed; the tool says so
    }
    if (found.cut)
        cli::PrintError("archived: the archive has more than " + std::to_string(capture::kMostCdxPages)
                        + " pages of captures under " + options->query.site + ": only the movies of those pages are "
                        + "listed (narrow it with --from and --to, or a longer address prefix)");
    if (!found.problem.empty()) {
        cli::PrintError("archived: " + found.problem);
        if (found.pages == 0)
            return cli::kCannotOpen;
    }
    const int saved = options->saveFolder.empty() ? cli::kOk : SaveArchived(archive, options->saveFolder, found);
    return found.problem.empty() ? saved : cli::kTransferFailed;
}

const bool registered = cli::RegisterCommand({
    "archived",
    kSynopsis,
    "List the movies the archive holds under SITE (a host with its subdomains, or an address prefix such as\n"
    "      example.com/games/): one row per distinct movie, its first capture, as the raw capture address TAB the\n"
    "      original address TAB the capture time (YYYYMMDDhhmmss) TAB the SHA-1 digest in base 32 TAB the length of\n"
    "      the archived record. The archive's CDX index is read politely: a query page every 2.5 seconds, at most 25\n"
    "      pages of 1,000 captures for each of its two queries. --json writes one object per line. --save DIR saves\n"
    "      each movie at DIR/<host>/<path> of its original address instead, with the files it loads from their\n"
    "      captures nearest in time to it, and DIR/plumeroc-manifest.json (2: the archive gave nothing or a file\n"
    "      could not be had, 3: it stopped answering part of the way, 4: a capture answered an error status).",
    80,
    RunArchived,
});

} // namespace
