// How long the main window takes to show with a cache folder that holds large browser caches, against
// the same folder without them, measured in the same run, runs alternating. The entries are read after
// the window shows, so both should take the same time.
// Usage: bench_window_start WITH_CACHES WITHOUT_CACHES [RUNS]   (two cache folders)
#include "app/MainDialog.h"
#include "app/PlumerocApp.h"
#include "support/TempFolder.h"

#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// From the window's construction to its first exposure on the screen.
double TimeWindow(const std::string& cacheFolder)
{
    const test::ScopedEnv cache("XDG_CACHE_HOME", cacheFolder);
    QElapsedTimer timer;
    timer.start();
    CMainDialog window;
    window.InitModeless();
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        std::fprintf(stderr, "the window did not show\n");
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s WITH_CACHES WITHOUT_CACHES [RUNS]\n", argv[0]);
        return 1;
    }
    const std::string with = argv[1];
    const std::string without = argv[2];
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 9;
    const test::TempHome home; // no browser history to read
    CPlumerocApp::PrepareEnvironment();
    int qtArgc = 1;
    CPlumerocApp app(qtArgc, argv);

    TimeWindow(without); // warm up the file system cache, fonts and the web engine's start
    TimeWindow(with);
    std::vector<double> withTimes, withoutTimes;
    for (int i = 0; i < runs; ++i) {
        withoutTimes.push_back(TimeWindow(without));
        withTimes.push_back(TimeWindow(with));
    }
    const double a = Median(withTimes);
    const double b = Median(withoutTimes);
    std::printf("main window shown, median of %d runs\n", runs);
    std::printf("without browser caches : %8.1f ms\n", b);
    std::printf("with browser caches    : %8.1f ms\n", a);
    std::printf("ratio with/without     : %8.2f (target: at most 1.10)\n", a / b);
    return 0;
}
