// plumeroc-grab: the headless companion of Plumeroc, on the same core as the window.
#include "cli/Command.h"
#include "wayback/ArchiveSetting.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

void PrintHelp(std::FILE* out)
{
    std::fputs("Usage: plumeroc-grab COMMAND [OPTIONS] [ARGUMENTS]\n"
               "       plumeroc-grab --help | --version\n"
               "Finds Flash movies (.swf) in web pages and in the cache folder, and saves them.\n\n"
               "Commands:\n",
               out);
    for (const auto& command : cli::Commands())
        std::fprintf(out, "  %s\n      %s\n", command.synopsis, command.summary);
    std::fputs("\nRows are printed one per line, in the order the window lists them; with -0 each row ends\n"
               "with a NUL byte instead of a newline, for addresses and paths that hold line breaks.\n"
               "--literal finds movies with the markup finder alone: every \"<\" ... \">\" span is read and\n"
               "only references ending in \".swf\" count, implausible ones included.\n"
               "--archive URL (any command, before or after its name) names the Wayback Machine that list and\n"
               "save-all read a page from when it cannot be fetched or answers an error status, and that archived\n"
               "asks; https://web.archive.org by default, --archive off for none.\n"
               "Exit status: 0 success, 1 usage error, 2 nothing could be opened, 3 a transfer failed\n"
               "in the middle or standard output could not be written, 4 a server answered with an error\n"
               "status (save and save-all save its answer all the same). Where more than one applies to\n"
               "save, save-all or save-complete, the first of 3 then 2 then 4 is the exit status.\n",
               out);
}

// Every row went to standard output through its buffer: only the final flush and close tell whether
// all of it arrived. A failed write turns a success into status 3.
int FinishOutput(int status)
{
    const bool failed = std::ferror(stdout) != 0;
    if (std::fclose(stdout) != 0 || failed) {
        cli::PrintError(std::string("cannot write to standard output: ") + std::strerror(errno));
        return status == cli::kOk ? cli::kTransferFailed : status;
    }
    return status;
}

// Takes the --archive options out of `args` (they may stand anywhere before "--") and sets the archive.
// False, with the mistake printed, when one names no archive.
bool TakeArchiveOptions(std::vector<std::string>& args)
{
    for (auto arg = args.begin(); arg != args.end() && *arg != "--";) {
        std::optional<std::string> value;
        if (*arg == "--archive" && std::next(arg) != args.end()) {
            value = *std::next(arg);
            arg = args.erase(arg, std::next(arg, 2));
        } else if (arg->starts_with("--archive=")) {
            value = arg->substr(10);
            arg = args.erase(arg);
        } else if (*arg == "--archive") {
            value = "";
            arg = args.erase(arg);
        } else {
            ++arg;
            continue;
        }
        const auto archive = wayback::ReadArchiveOption(*value);
        if (!archive) {
            cli::PrintError("--archive takes an http:// or https:// address, or off (got '" + *value + "')");
            return false;
        }
        wayback::SetArchive(*archive);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!TakeArchiveOptions(args))
        return cli::kUsage;
    if (args.empty()) {
        PrintHelp(stderr);
        return cli::kUsage;
    }
    const std::string name = args.front();
    if (name == "--help" || name == "-h" || name == "help") {
        PrintHelp(stdout);
        return FinishOutput(cli::kOk);
    }
    if (name == "--version") {
        std::fputs("plumeroc-grab " PLUMEROC_VERSION "\n", stdout);
        return FinishOutput(cli::kOk);
    }
    for (const auto& command : cli::Commands()) {
        if (name == command.name)
            return FinishOutput(command.run(std::vector<std::string>(args.begin() + 1, args.end())));
    }
    cli::PrintError("unknown command '" + name + "' (see plumeroc-grab --help)");
    return cli::kUsage;
}
