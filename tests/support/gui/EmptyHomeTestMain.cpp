// main() for tests that must prove the window program writes nothing: GoogleTest inside the
// application object, in a run whose home and XDG folders all lie in one fresh temporary tree.
#include "app/PlumerocApp.h"
#include "support/Files.h"
#include "support/TempFolder.h"
#include "support/gui/EmptyHome.h"

#include "wayback/ArchiveSetting.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <optional>

namespace {
std::optional<test::TempFolder> g_tree;
}

namespace test {

const std::string& RunTree() { return g_tree->Path(); }

std::vector<std::string> FilesInRunTree()
{
    std::vector<std::string> files;
    for (const std::string& path : FilesBelow(RunTree()))
        files.push_back(path.substr(RunTree().size() + 1));
    return files;
}

} // namespace test

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // No test reaches the real Wayback Machine: those of the archive point it at a loopback server.
    wayback::SetArchive({});
    g_tree.emplace();
    const std::pair<const char*, const char*> folders[] = {
        {"HOME", "home"},
        {"XDG_CONFIG_HOME", "home/.config"},
        {"XDG_CACHE_HOME", "home/.cache"},
        {"XDG_DATA_HOME", "home/.local/share"},
        {"XDG_STATE_HOME", "home/.local/state"},
        {"XDG_RUNTIME_DIR", "runtime"},
    };
    for (const auto& [variable, folder] : folders) {
        const std::string path = *g_tree / folder;
        std::filesystem::create_directories(path);
        ::setenv(variable, path.c_str(), 1);
    }
    ::chmod((*g_tree / "runtime").c_str(), 0700); // a runtime folder must be the user's alone
    int status = 0;
    {
        CPlumerocApp::PrepareEnvironment();
        CPlumerocApp app(argc, argv);
        status = RUN_ALL_TESTS();
    }
    for (const std::string& file : test::FilesInRunTree()) {
        std::fprintf(stderr, "written by the run: %s\n", file.c_str());
        status = 1;
    }
    g_tree.reset();
    return status;
}
