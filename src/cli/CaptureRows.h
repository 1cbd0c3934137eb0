#pragma once
// What list and save-all share: their argument reading and a capture done as the window's worker
// does it.
#include <optional>
#include <string>
#include <vector>

namespace cli {

struct Operands {
    std::vector<std::string> values;
    bool nulTerminated = false;
};

// Reads exactly `count` operands, and -0 when `allowNul`; "--" ends the options. On a mistake prints
// it with `synopsis` and returns nothing (the caller exits with kUsage).
std::optional<Operands> ReadOperands(const std::vector<std::string>& args, std::size_t count, bool allowNul,
                                     const char* synopsis);

struct Capture {
    int status = 0;                 // kOk, or kCannotOpen / kTransferFailed with the message printed
    std::vector<std::string> rows;  // the movie addresses, greatest first, as the window lists them
};

// Fetches the page at `address` and finds the movies it refers to.
Capture CaptureRows(const std::string& address);

} // namespace cli
