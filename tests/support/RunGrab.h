#pragma once
// Runs the built plumeroc-grab binary (or another program), as a user's shell would, and collects what it
// printed.
#include <optional>
#include <string>
#include <vector>

namespace test {

struct GrabRun {
    int status = -1; // exit status, or 128 + signal number when a signal ended it
    std::string out;
    std::string err;
};

// Runs the program `command[0]` (looked up in PATH when it has no "/") with the arguments after it.
// Standard input is `input`; standard output and error are captured through files in `scratchFolder`.
// `environment` replaces the test's environment when given.
GrabRun RunProgram(const std::vector<std::string>& command, const std::string& scratchFolder,
                   const std::string& input = {},
                   const std::optional<std::vector<std::string>>& environment = std::nullopt,
                   const std::string& output = {});

// Runs plumeroc-grab with `args`, and with --archive off unless they name an archive. Standard input is
// `input`; standard output and error are captured through files in `scratchFolder`, or standard output goes
// to `output` when given (such as /dev/full).
// `environment` replaces the test's environment when given.
GrabRun RunGrab(const std::vector<std::string>& args, const std::string& scratchFolder, const std::string& input = {},
                const std::optional<std::vector<std::string>>& environment = std::nullopt,
                const std::string& output = {});

} // namespace test
