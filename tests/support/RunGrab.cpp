#include "support/RunGrab.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace test {

namespace {
std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<char*> PointersTo(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (auto& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}
} // namespace

GrabRun RunGrab(const std::vector<std::string>& args, const std::string& scratchFolder, const std::string& input,
                const std::optional<std::vector<std::string>>& environment, const std::string& output)
{
    std::vector<std::string> command{PLUMEROC_GRAB_PATH};
    // No test reaches the real Wayback Machine: those of the archive name a loopback one.
    if (std::ranges::none_of(args, [](const std::string& arg) { return arg.starts_with("--archive"); }))
        command.insert(command.end(), {"--archive", "off"});
    command.insert(command.end(), args.begin(), args.end());
    return RunProgram(command, scratchFolder, input, environment, output);
}

GrabRun RunProgram(const std::vector<std::string>& command, const std::string& scratchFolder, const std::string& input,
                   const std::optional<std::vector<std::string>>& environment, const std::string& output)
{
    const std::string in = scratchFolder + "/grab-stdin";
    const std::string out = output.empty() ? scratchFolder + "/grab-stdout" : output;
    const std::string err = scratchFolder + "/grab-stderr";
    std::ofstream(in, std::ios::binary) << input;

    std::vector<std::string> argStrings = command;
    std::vector<std::string> envStrings = environment.value_or(std::vector<std::string>{});
    std::vector<char*> argv = PointersTo(argStrings);
    std::vector<char*> envp = PointersTo(envStrings);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int spawned =
        posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environment ? envp.data() : environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0) << "cannot start " << command.front();

    GrabRun run;
    if (spawned == 0) {
        int wstatus = 0;
        pid_t waited = 0;
        do {
            waited = waitpid(pid, &wstatus, 0);
        } while (waited < 0 && errno == EINTR);
        EXPECT_EQ(waited, pid) << "waitpid failed: " << errno;
        if (waited == pid && WIFEXITED(wstatus))
            run.status = WEXITSTATUS(wstatus);
        else if (waited == pid && WIFSIGNALED(wstatus))
            run.status = 128 + WTERMSIG(wstatus);
    }
    run.out = output.empty() ? ReadAll(out) : std::string();
    run.err = ReadAll(err);
    return run;
}

} // namespace test
