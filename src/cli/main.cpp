// plumeroc-grab: the headless companion of Plumeroc, on the same core as the window.
#include "cli/Command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
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

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        PrintHelp(stderr);
        return cli::kUsage;
    }
    const std::string name = argv[1];
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
            return FinishOutput(command.run(std::vector<std::string>(argv + 2, argv + argc)));
    }
    cli::PrintError("unknown command '" + name + "' (see plumeroc-grab --help)");
    return cli::kUsage;
}
