// The Local Files page over a folder that holds a large web archive (bench/make_warc.py; warc_scan.py keeps one
// in /tmp), against plumeroc-grab warc reading the same file, measured in the same run: how long the window takes
// to show with the archive and without it, when the first of the archive's rows arrives, and when the last one
// does; and plumeroc-grab cache listing the same folder. The page reads the stores on a thread of nice 10, so
// the baseline runs both ways: as it is, and at the page's nice level (what counts on a busy machine).
// Usage: bench_local_archive PLUMEROC_GRAB ARCHIVE [RUNS]
#include "app/PlumerocApp.h"
#include "cache/ui/LocalPage.h"
#include "support/TempFolder.h"

#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double TimeCommand(const std::string& command)
{
    QElapsedTimer timer;
    timer.start();
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "command failed: %s\n", command.c_str());
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

int CountRows(const std::string& command)
{
    const std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    int rows = 0;
    for (int c = 0; pipe && (c = std::fgetc(pipe.get())) != EOF;)
        rows += c == '\n';
    return rows;
}

double LoadAverage()
{
    double load = 0;
    return ::getloadavg(&load, 1) == 1 ? load : 0;
}

struct PageTimes {
    double shown = 0; // the window on the screen
    double first = 0; // the first row there
    double all = 0;   // every row there
};

PageTimes TimePage(const std::string& folder, int expectedRows)
{
    QElapsedTimer timer;
    timer.start();
    PageTimes times;
    CLocalPage page;
    page.SetChosenFolder(folder);
    page.InitModeless();
    page.show();
    if (!QTest::qWaitForWindowExposed(&page))
        std::fprintf(stderr, "the page did not show\n");
    times.shown = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    QTableWidget* list = page.MovieList();
    while (list->rowCount() < expectedRows && timer.elapsed() < 600'000) {
        // Waits for events rather than spinning: a spinning window thread would starve the reading one.
        QTest::qWait(10);
        if (times.first == 0 && list->rowCount() > 0)
            times.first = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    }
    times.all = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    if (list->rowCount() != expectedRows)
        std::fprintf(stderr, "the page showed %d rows of %d\n", list->rowCount(), expectedRows);
    return times;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PLUMEROC_GRAB ARCHIVE [RUNS]\n", argv[0]);
        return 1;
    }
    const std::string grab = argv[1];
    const std::string archive = argv[2];
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    // The walk lists regular files only: the archive goes into the folder under a second name, or as a copy.
    const test::TempFolder folder, empty;
    const std::string inFolder = folder / "crawl/archive.warc.gz";
    std::filesystem::create_directories(folder / "crawl");
    std::error_code linked;
    std::filesystem::create_hard_link(archive, inFolder, linked);
    if (linked)
        std::filesystem::copy_file(archive, inFolder);

    CPlumerocApp::PrepareEnvironment();
    int qtArgc = 1;
    CPlumerocApp app(qtArgc, argv);

    const std::string warc = grab + " warc '" + inFolder + "' > /dev/null";
    const std::string nicedWarc = "nice -n 10 " + warc;
    const std::string cache = grab + " cache --folder '" + folder.Path() + "'";
    const int rows = CountRows(cache);
    TimePage(empty.Path(), 0); // the web engine's start, fonts, and the file in the page cache
    std::vector<double> warcTimes, nicedTimes, cacheTimes, shownEmpty, shown, first, all;
    for (int i = 0; i < runs; ++i) {
        warcTimes.push_back(TimeCommand(warc));
        nicedTimes.push_back(TimeCommand(nicedWarc));
        cacheTimes.push_back(TimeCommand(cache + " > /dev/null"));
        shownEmpty.push_back(TimePage(empty.Path(), 0).shown);
        const PageTimes times = TimePage(folder.Path(), rows);
        shown.push_back(times.shown);
        first.push_back(times.first);
        all.push_back(times.all);
    }
    const double w = Median(warcTimes);
    const double n = Median(nicedTimes);
    std::printf("%s: %.0f MiB, %d rows, median of %d runs\n", archive.c_str(),
                static_cast<double>(std::filesystem::file_size(archive)) / (1 << 20), rows, runs);
    std::printf("plumeroc-grab warc             : %8.1f ms (baseline)\n", w);
    std::printf("the same at nice 10            : %8.1f ms (baseline of the page's thread)\n", n);
    std::printf("plumeroc-grab cache --folder   : %8.1f ms, ratio %.2f\n", Median(cacheTimes), Median(cacheTimes) / w);
    std::printf("window shown, empty folder     : %8.1f ms\n", Median(shownEmpty));
    std::printf("window shown, with the archive : %8.1f ms, ratio to empty %.2f\n", Median(shown),
                Median(shown) / Median(shownEmpty));
    std::printf("first archive row              : %8.1f ms, ratio %.3f (%.3f at nice 10)\n", Median(first),
                Median(first) / w, Median(first) / n);
    std::printf("every row                      : %8.1f ms, ratio %.2f (%.2f at nice 10)\n", Median(all),
                Median(all) / w, Median(all) / n);
    std::printf("load average of the machine    : %.1f on %ld cores\n", LoadAverage(), ::sysconf(_SC_NPROCESSORS_ONLN));
    return 0;
}
