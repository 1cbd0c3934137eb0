#pragma once
// plumeroc-grab's commands. Each command lives in a file of its own and registers itself here,
// so adding one touches nothing else.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// Exit statuses shared by every command.
enum Status : int {
    kOk = 0,
    kUsage = 1,
    kCannotOpen = 2,     // a file or URL could not be opened, or there is nothing to read from
    kTransferFailed = 3, // a transfer broke off in the middle, or standard output could not be written
    kErrorStatus = 4,    // every file written, but a server answered some with an error status
};

struct Command {
    const char* name;
    const char* synopsis; // e.g. "scan --base ADDRESS [-0] [FILE]"
    const char* summary;  // one line for --help
    int order;            // place in the --help listing
    int (*run)(const std::vector<std::string>& args);
};

// Registers a command at start-up; returns true so it can initialise a static.
bool RegisterCommand(const Command& command);
const std::vector<Command>& Commands();

// Writes one row: its bytes, then a newline, or a NUL byte when `nulTerminated`. False once the stream
// has failed: the command stops printing, and the tool reports it when the command ends.
bool PrintRow(std::FILE* out, std::string_view row, bool nulTerminated);

// One-line diagnostic on standard error, prefixed with the tool's name.
void PrintError(std::string_view message);

// The options a command takes besides its operands.
enum Option : unsigned {
    kNoOptions = 0,
    kNulOption = 1,     // -0: rows end with a NUL byte
    kLiteralOption = 2, // --literal: the markup finder alone
};

struct Operands {
    std::vector<std::string> values;
    bool nulTerminated = false;
    bool literal = false;
};

// Reads exactly `count` operands and the `options` allowed; "--" ends the options. On a mistake prints
// it with `synopsis` and returns nothing (the caller exits with kUsage).
std::optional<Operands> ReadOperands(const std::vector<std::string>& args, std::size_t count, unsigned options,
                                     const char* synopsis);

} // namespace cli
