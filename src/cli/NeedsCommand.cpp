// needs: the files a movie loads, resolved as Flash Player resolved them, one address a row.
#include "capture/Capture.h"
#include "capture/MovieFiles.h"
#include "capture/UrlFetcher.h"
#include "cli/Command.h"
#include "cli/MovieInput.h"
#include "platform/Exceptions.h"

#include <set>

namespace {

constexpr const char* kSynopsis = "needs [--page URL] [-0] MOVIE";

int Usage(const std::string& problem)
{
    cli::PrintError(problem + " (usage: plumeroc-grab " + kSynopsis + ")");
    return cli::kUsage;
}

// Fetches the page, as "Go" does (its first MiB, "http://" put in front when missing).
int FetchPage(const std::string& typed, std::string& address, std::string& text)
{
    address = capture::AddressToCapture(typed);
    capture::CUrlFetcher fetcher;
    try {
        if (!fetcher.FetchPage(address)) {
            cli::PrintError(fetcher.LastError());
            return cli::kCannotOpen;
        }
    } catch (const CException& failure) {
        cli::PrintError(failure.what());
        return cli::kTransferFailed;
    }
    if (fetcher.LastStatus() >= 400) {
        cli::PrintError(address + ": the server answered with status " + std::to_string(fetcher.LastStatus()));
        return cli::kErrorStatus;
    }
    text = fetcher.m_pPageBuffer.get();
    return cli::kOk;
}

int RunNeeds(const std::vector<std::string>& args)
{
    std::optional<std::string> page;
    std::optional<std::string> movie;
    bool nulTerminated = false;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--page") {
            if (++i == args.size())
                return Usage("--page needs an address");
            page = args[i];
        } else if (!optionsEnded && arg.starts_with("--page=")) {
            page = arg.substr(7);
        } else if (!optionsEnded && arg == "-0") {
            nulTerminated = true;
        } else if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg.front() == '-') {
            return Usage("unknown option '" + arg + "'");
        } else if (movie) {
            return Usage("only one MOVIE can be read");
        } else {
            movie = arg;
        }
    }
    if (!movie)
        return Usage("no MOVIE given");

    const cli::MovieInput input(*movie);
    if (input.Status() != cli::kOk)
        return input.Status();
    std::optional<std::string> movieAddress = input.Address();
    std::optional<capture::PageContext> context;
    if (page) {
        std::string pageAddress, pageText;
        if (const int status = FetchPage(*page, pageAddress, pageText); status != cli::kOk)
            return status;
        context = capture::PageContextFor(pageText, pageAddress, input.Address());
        // A movie read from a file has the address the page gives it.
        if (input.IsFile() && !context->movieAddress.empty())
            movieAddress = context->movieAddress;
    }
    const auto files = capture::FilesMovieLoads(input.Bytes(), movieAddress, context);
    if (!files) {
        cli::PrintError(*movie + ": not a Flash movie");
        return cli::kCannotOpen;
    }
    std::set<std::string> printed;
    for (const capture::LoadedFile& file : *files) {
        const std::string how(capture::HowNamed(file));
        std::vector<std::string> rows;
        if (file.candidates.empty())
            rows.push_back(file.name + '\t' + how + "\tunresolved");
        for (std::size_t i = 0; i < file.candidates.size(); ++i) {
            std::string marks = file.pattern ? "pattern" : "";
            if (i > 0)
                marks += marks.empty() ? "alternative" : ",alternative";
            rows.push_back(file.candidates[i] + '\t' + how + (marks.empty() ? "" : "\t" + marks));
        }
        for (const std::string& row : rows) {
            // One row per address: the first way it was named is kept.
            if (!printed.insert(row.substr(0, row.find('\t'))).second)
                continue;
            if (!cli::PrintRow(stdout, row, nulTerminated))
                return cli::kOk;
        }
    }
    return cli::kOk;
}

[[maybe_unused]] const bool registered = cli::RegisterCommand(
    {"needs", kSynopsis,
     "List the files MOVIE (a file or an http(s) address) loads: address TAB how it was named (action,\n"
     "      abc, import, flashvars, embedded), then TAB pattern for a name built at run time, TAB alternative\n"
     "      for the second address of a name. --page URL gives the page that embeds MOVIE, whose address,\n"
     "      base and FlashVars count (2: MOVIE or the page cannot be opened, 3: a transfer broke off, 4: an\n"
     "      error status).",
     65, RunNeeds});

} // namespace
