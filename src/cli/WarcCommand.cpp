// plumeroc-grab warc: the movie records of web archives (WARC and ARC files, plain or gzip), one row each; with
// --missing, what their pages and movies name that no record holds.
#include "cache/ArchiveMovies.h"
#include "capture/ArchiveGaps.h"
#include "cli/Command.h"
#include "platform/JsonText.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr const char* kSynopsis = "warc [--missing] [-0 | --json] FILE...";

enum class RowFormat { Lines, NulEnded, Json };

struct WarcOptions {
    RowFormat format = RowFormat::Lines;
    bool missing = false;
    std::vector<std::string> files;
};

int Usage(const std::string& problem)
{
    cli::PrintError(problem + " (usage: plumeroc-grab " + kSynopsis + ")");
    return cli::kUsage;
}

std::optional<WarcOptions> ReadOptions(const std::vector<std::string>& args)
{
    WarcOptions options;
    bool optionsEnded = false;
    bool formatGiven = false;
    for (const std::string& arg : args) {
        if (!optionsEnded && (arg == "-0" || arg == "--json")) {
            if (formatGiven) {
                Usage("-0 and --json go one at a time");
                return std::nullopt;
            }
            formatGiven = true;
            options.format = arg == "-0" ? RowFormat::NulEnded : RowFormat::Json;
        } else if (!optionsEnded && arg == "--missing") {
            options.missing = true;
        } else if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg.front() == '-') {
            Usage("unknown option '" + arg + "'");
            return std::nullopt;
        } else {
            options.files.push_back(arg);
        }
    }
    if (options.files.empty()) {
        Usage("no FILE given");
        return std::nullopt;
    }
    // The movies are read again from their files once every page has been read.
    if (options.missing && std::find(options.files.begin(), options.files.end(), "-") != options.files.end()) {
        Usage("--missing reads its files twice, which standard input cannot be");
        return std::nullopt;
    }
    return options;
}

std::string RecordPath(const std::string& file, const cache::RecordPosition& position)
{
    return file + "/" + cache::FormatRecordPosition(position);
}

std::string Row(const cache::ArchiveMovie& movie, RowFormat format)
{
    if (format != RowFormat::Json) {
        return movie.address + '\t' + movie.date + '\t' + std::to_string(movie.size) + '\t' + movie.digests.sha256
            + '\t' + movie.digests.sha1 + '\t' + RecordPath(movie.file, movie.position);
    }
    platform::JsonObject object;
    object.Add("address", movie.address)
        .Add("date", movie.date)
        .Add("size", movie.size)
        .Add("sha256", movie.digests.sha256)
        .Add("sha1", movie.digests.sha1)
        .Add("type", movie.type)
        .Add("file", movie.file)
        .Add("record", cache::FormatRecordPosition(movie.position));
    if (movie.type == "revisit") {
        object.Add("payload_file", movie.payloadFile)
            .Add("payload_record", cache::FormatRecordPosition(movie.payloadPosition));
    }
    return object.Text();
}

// What a file came to, said on standard error; the status it adds.
int Report(const std::string& file, const cache::ArchiveMovieScan::FileResult& result)
{
    if (result.readFailed) {
        cli::PrintError("warc: " + file + ": the file could not be read to its end");
        return cli::kCannotOpen;
    }
    if (result.records == 0) {
        cli::PrintError("warc: " + file + ": no WARC or ARC record");
        return cli::kCannotOpen;
    }
    if (result.damaged > 0)
        cli::PrintError("warc: " + file + ": " + std::to_string(result.damaged)
                        + " damaged or cut-short records left out");
    return cli::kOk;
}

std::string GapRow(const capture::ArchiveGap& gap, RowFormat format)
{
    if (format != RowFormat::Json)
        return gap.address + '\t' + gap.how + '\t' + gap.namedIn;
    platform::JsonObject object;
    object.Add("address", gap.address).Add("how", gap.how).Add("named_in", gap.namedIn);
    return object.Text();
}

int RunMissing(const WarcOptions& options)
{
    capture::ArchiveGaps gaps;
    int status = cli::kOk;
    for (const std::string& file : options.files) {
        auto input = cache::ArchiveInput::Open(file);
        if (!input) {
            cli::PrintError("warc: cannot open " + file);
            status = cli::kCannotOpen;
            continue;
        }
        if (const int reported = Report(file, gaps.ReadRecords(*input, file)); reported != cli::kOk)
            status = reported;
    }
    gaps.ReadMovies([](const std::string& movie) {
        cli::PrintError("warc: " + movie + ": a movie over 64 MiB; the files it loads are not read");
    });
    for (const capture::ArchiveGap& gap : gaps.Gaps()) {
        if (!cli::PrintRow(stdout, GapRow(gap, options.format), options.format == RowFormat::NulEnded))
            break;
    }
    return status;
}

int RunWarc(const std::vector<std::string>& args)
{
    const auto options = ReadOptions(args);
    if (!options)
        return cli::kUsage;
    if (options->missing)
        return RunMissing(*options);
    // One scan across the files: a revisit may refer to a movie of a file given before its own.
    cache::ArchiveMovieScan scan;
    const auto print = [&](const cache::ArchiveMovie& movie) {
        return cli::PrintRow(stdout, Row(movie, options->format), options->format == RowFormat::NulEnded);
    };
    int status = cli::kOk;
    for (const std::string& file : options->files) {
        auto input = cache::ArchiveInput::Open(file);
        if (!input) {
            cli::PrintError("warc: cannot open " + file);
            status = cli::kCannotOpen;
            continue;
        }
        const auto result = scan.Scan(*input, file, print);
        if (result.stopped)
            break; // standard output failed; the tool says so
        if (const int reported = Report(file, result); reported != cli::kOk)
            status = reported;
    }
    return status;
}

const bool registered = cli::RegisterCommand({
    "warc",
    kSynopsis,
    "List the movie records of web archives (WARC 0.17 to 1.1 and ARC files, plain or gzip; - is standard\n"
    "      input) as address TAB capture date (YYYYMMDDhhmmss) TAB decoded size TAB SHA-256 TAB SHA-1 in base 32\n"
    "      TAB FILE/@OFFSET, the record's place. A revisit record gives the movie it refers to. --json writes one\n"
    "      object per line instead; bytes that are not UTF-8 as \\udcXX. Damaged records are left out and\n"
    "      counted (2: a FILE cannot be opened or holds no record). --missing lists instead what no record of the\n"
    "      FILEs holds: the movies their HTML pages name and the files those movies load, as address TAB how it\n"
    "      is named (page, flashvars, action, abc, import, embedded) TAB the page or movie naming it (--json:\n"
    "      address, how, named_in); a redirect's target stands for its address. It reads each FILE twice, so\n"
    "      not standard input.",
    70,
    RunWarc,
});

} // namespace
