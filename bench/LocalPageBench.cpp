// How long the Local Files page takes to show a cache of 10,000 movies, against plumeroc-grab cache
// listing the same cache, measured in the same run. Usage: bench_local_page PLUMEROC_GRAB [RUNS]
#include "app/PlumerocApp.h"
#include "cache/ui/LocalPage.h"
#include "support/Files.h"
#include "support/TempFolder.h"

#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void MakeCache(const std::string& root, int folders, int moviesPerFolder)
{
    for (int f = 0; f < folders; ++f) {
        const std::string folder = root + "/f" + std::to_string(f);
        std::filesystem::create_directories(folder);
        for (int m = 0; m < moviesPerFolder; ++m)
            test::WriteFile(folder + "/movie" + std::to_string(m) + ".swf",
                            "FWS movie " + std::to_string(f) + '/' + std::to_string(m));
    }
}

double TimeCommand(const std::string& command)
{
    QElapsedTimer timer;
    timer.start();
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "command failed: %s\n", command.c_str());
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

double TimePage(int expectedRows)
{
    QElapsedTimer timer;
    timer.start();
    CLocalPage page;
    page.InitModeless();
    page.show();
    if (!QTest::qWaitForWindowExposed(&page) || page.MovieList()->rowCount() != expectedRows)
        std::fprintf(stderr, "page did not show %d rows\n", expectedRows);
    QCoreApplication::processEvents();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PLUMEROC_GRAB [RUNS]\n", argv[0]);
        return 1;
    }
    const std::string grab = argv[1];
    const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
    const test::TempFolder cache;
    MakeCache(cache.Path(), 1000, 10);
    const test::ScopedEnv cacheHome("XDG_CACHE_HOME", cache.Path());

    CPlumerocApp::PrepareEnvironment();
    int qtArgc = 1;
    CPlumerocApp app(qtArgc, argv);

    TimePage(10000); // warm up the file system cache, fonts and the web engine's start
    std::vector<double> command;
    std::vector<double> page;
    for (int i = 0; i < runs; ++i) {
        command.push_back(TimeCommand(grab + " cache > /dev/null"));
        page.push_back(TimePage(10000));
    }
    const double c = Median(command);
    const double p = Median(page);
    std::printf("10,000 movies in 1,000 folders, median of %d runs\n", runs);
    std::printf("plumeroc-grab cache : %8.1f ms\n", c);
    std::printf("Local Files page    : %8.1f ms (start-up walk, list filled, window shown)\n", p);
    std::printf("ratio page/command  : %8.2f\n", p / c);
    return 0;
}
