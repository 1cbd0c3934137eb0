#include "cli/Command.h"

#include <algorithm>

namespace cli {

namespace {
std::vector<Command>& Registry()
{
    static std::vector<Command> commands;
    return commands;
}
} // namespace

bool RegisterCommand(const Command& command)
{
    auto& commands = Registry();
    auto at = std::find_if(commands.begin(), commands.end(), [&](const Command& c) { return c.order > command.order; });
    commands.insert(at, command);
    return true;
}

const std::vector<Command>& Commands() { return Registry(); }

void PrintRow(std::FILE* out, std::string_view row, bool nulTerminated)
{
    std::fwrite(row.data(), 1, row.size(), out);
    std::fputc(nulTerminated ? '\0' : '\n', out);
}

void PrintError(std::string_view message)
{
    std::fprintf(stderr, "plumeroc-grab: %.*s\n", static_cast<int>(message.size()), message.data());
}

} // namespace cli
