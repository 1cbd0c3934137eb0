#include "support/BrowserRun.h"

#include "support/Files.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace test {

namespace {
constexpr auto kBrowserTimeout = std::chrono::seconds(60);
} // namespace

std::string FindProgram(const char* name)
{
    for (const char* folder : {"/usr/bin/", "/usr/local/bin/", "/bin/"}) {
        std::string path = std::string(folder) + name;
        if (::access(path.c_str(), X_OK) == 0)
            return path;
    }
    throw std::runtime_error(std::string(name)
                             + " is not installed: the caches of the real browser are needed "
                               "(scripts/setup.sh and scripts/test.sh install it)");
}

std::string LogTail(const std::string& path)
{
    const std::string text = test::ReadFile(path);
    return text.size() > 3000 ? text.substr(text.size() - 3000) : text;
}

double RunBrowser(const std::vector<std::string>& args, const std::vector<std::string>& environment,
                  const std::string& log)
{
    std::vector<char*> argv, envp;
    std::vector<std::string> argStrings = args, envStrings = environment;
    for (auto& arg : argStrings)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    for (auto& variable : envStrings)
        envp.push_back(variable.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + args[0]);

    int status = 0;
    bool timedOut = false;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            throw std::runtime_error("waitpid failed");
        if (std::chrono::steady_clock::now() - start > kBrowserTimeout) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Helper processes the browser left behind belong to its group.
    ::kill(-pid, SIGKILL);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (timedOut)
        throw std::runtime_error(args[0] + " did not finish within 60 s; its output:\n" + LogTail(log));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(args[0] + " failed (status " + std::to_string(status) + "); its output:\n"
                                 + LogTail(log));
    return seconds;
}

std::vector<std::string> BrowserEnvironment(const std::string& home)
{
    return {"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config", "XDG_CACHE_HOME=" + home + "/.cache",
            "PATH=/usr/bin:/bin", "LANG=C.UTF-8"};
}

std::vector<std::string> ChromiumCommand(const std::string& profile, const std::string& cacheFolder,
                                         const std::string& url, const std::string& features)
{
    std::vector<std::string> command{FindProgram("chromium"),
                                     "--headless=new",
                                     "--no-sandbox",
                                     "--user-data-dir=" + profile,
                                     "--disk-cache-dir=" + cacheFolder,
                                     "--virtual-time-budget=3000",
                                     "--disable-background-networking",
                                     "--disable-component-update",
                                     "--disable-sync",
                                     "--no-first-run",
                                     "--disable-gpu",
                                     "--disable-quic"};
    if (!features.empty())
        command.push_back("--enable-features=" + features);
    command.push_back("--dump-dom");
    command.push_back(url);
    return command;
}

} // namespace test
