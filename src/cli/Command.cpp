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

bool PrintRow(std::FILE* out, std::string_view row, bool nulTerminated)
{
    std::fwrite(row.data(), 1, row.size(), out);
    std::fputc(nulTerminated ? '\0' : '\n', out);
    return std::ferror(out) == 0;
}

std::optional<Operands> ReadOperands(const std::vector<std::string>& args, std::size_t count, unsigned options,
                                     const char* synopsis)
{
    Operands operands;
    bool optionsEnded = false;
    for (const std::string& arg : args) {
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (options & kNulOption) != 0 && arg == "-0") {
            operands.nulTerminated = true;
        } else if (!optionsEnded && (options & kLiteralOption) != 0 && arg == "--literal") {
            operands.literal = true;
        } else if (!optionsEnded && arg.size() > 1 && arg.front() == '-') {
            PrintError("unknown option '" + arg + "' (usage: plumeroc-grab " + synopsis + ")");
            return std::nullopt;
        } else {
            operands.values.push_back(arg);
        }
    }
    if (operands.values.size() != count) {
        PrintError(std::string("wrong number of arguments (usage: plumeroc-grab ") + synopsis + ")");
        return std::nullopt;
    }
    return operands;
}

void PrintError(std::string_view message)
{
    std::fprintf(stderr, "plumeroc-grab: %.*s\n", static_cast<int>(message.size()), message.data());
}

} // namespace cli
