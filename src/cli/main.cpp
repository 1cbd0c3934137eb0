// plumeroc-grab: the headless companion of Plumeroc, on the same core as the window.
#include "cli/Command.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

void PrintHelp(std::FILE* out)
{
    std::fputs("Usage: plumeroc-grab COMMAND [OPTIONS] [ARGUMENTS]\n"
               "Finds Flash movies (.swf) in web pages and in the cache folder, and saves them.\n\n"
               "Commands:\n",
               out);
    for (const auto& command : cli::Commands())
        std::fprintf(out, "  %s\n      %s\n", command.synopsis, command.summary);
    std::fputs("\nRows are printed one per line, in the order the window lists them; with -0 each row ends\n"
               "with a NUL byte instead of a newline, for addresses and paths that hold line breaks.\n"
               "Exit status: 0 success, 1 usage error, 2 nothing could be opened, 3 a transfer failed\n"
               "in the middle, 4 a server answered with an error status.\n",
               out);
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
        return cli::kOk;
    }
    for (const auto& command : cli::Commands()) {
        if (name == command.name)
            return command.run(std::vector<std::string>(argv + 2, argv + argc));
    }
    cli::PrintError("unknown command '" + name + "' (see plumeroc-grab --help)");
    return cli::kUsage;
}
