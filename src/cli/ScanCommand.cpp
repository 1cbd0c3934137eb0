// scan: the movies a saved page refers to, as the Internet Files list would show them.
#include "capture/Capture.h"
#include "cli/Command.h"
#include "html/PageText.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <system_error>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

int Usage(const std::string& problem)
{
    cli::PrintError(problem + " (usage: plumeroc-grab scan --base ADDRESS [-0] [--literal] [FILE])");
    return cli::kUsage;
}

int RunScan(const std::vector<std::string>& args)
{
    std::optional<std::string> base;
    std::optional<std::string> path;
    bool nulTerminated = false;
    bool literal = false;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--base") {
            if (++i == args.size())
                return Usage("--base needs an address");
            base = args[i];
        } else if (!optionsEnded && arg.starts_with("--base=")) {
            base = arg.substr(7);
        } else if (!optionsEnded && arg == "-0") {
            nulTerminated = true;
        } else if (!optionsEnded && arg == "--literal") {
            literal = true;
        } else if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg.front() == '-') {
            return Usage("unknown option '" + arg + "'");
        } else if (path) {
            return Usage("only one FILE can be scanned");
        } else {
            path = arg;
        }
    }
    if (!base)
        return Usage("--base ADDRESS is required");

    std::string pageText;
    const bool fromStandardInput = !path || *path == "-";
    const std::string name = fromStandardInput ? std::string("standard input") : *path;
    try {
        if (fromStandardInput) {
            pageText = html::ReadPageText(stdin);
        } else {
            const FileHandle file(std::fopen(path->c_str(), "rb"));
            if (!file) {
                cli::PrintError(name + ": " + std::strerror(errno));
                return cli::kCannotOpen;
            }
            pageText = html::ReadPageText(file.get());
        }
    } catch (const std::system_error& error) {
        cli::PrintError(name + ": " + error.code().message());
        return cli::kCannotOpen;
    }

    const auto finders = literal ? capture::Finders::MarkupOnly : capture::Finders::Both;
    for (const std::string& row : capture::RowsInListOrder(capture::FindMovies(*base, pageText, finders))) {
        if (!cli::PrintRow(stdout, row, nulTerminated))
            break;
    }
    return cli::kOk;
}

[[maybe_unused]] const bool registered = cli::RegisterCommand(
    {"scan", "scan --base ADDRESS [-0] [--literal] [FILE]",
     "List the movies a page refers to, resolved against ADDRESS (FILE, or standard input when absent or -).", 10,
     RunScan});

} // namespace
