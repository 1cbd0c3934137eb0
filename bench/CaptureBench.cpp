// The Internet Files page's capture, measured against `plumeroc-grab list` of the same page in the
// same run, on one loopback server:
//  1. from pressing "Go" to the last of 500 rows in the list (and painted), against the wall time of
//     `plumeroc-grab list URL` (a process of its own, start-up included);
//  2. how long the window's thread goes without handling its timer during that capture, and during
//     a capture whose server takes a second to answer.
// Usage: bench_capture [RUNS]   (plumeroc-grab is looked for beside this program)
#include "app/PlumerocApp.h"
#include "capture/InternetPageSupport.h"
#include "framework/Dialogs.h"
#include "support/Files.h"
#include "support/Loopback.h"
#include "support/TempFolder.h"
#include "support/gui/GuiSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kMovies = 500;

std::string MoviePage()
{
    std::string html = "<html><head><title>Movies</title></head><body>\n";
    for (int i = 0; i < kMovies; ++i) {
        const std::string n = std::to_string(1000 + i);
        html += "<p>Game " + n
            + ": a short description of what it is.</p>\n<object width=\"400\" height=\"300\">"
              "<param name=\"movie\" value=\"games/m"
            + n + ".swf\"><embed src=\"games/m" + n + ".swf\" width=\"400\" height=\"300\"></object>\n";
    }
    return html + "</body></html>\n";
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs the window's thread until `done`, checked after each event; false after `timeoutMs`.
template <class Done>
bool RunUntil(Done done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

// The longest time between two ticks of a 5 ms timer on the window's thread while `running` holds.
template <class Running>
double LongestTimerGapMs(Running running)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 longest = 0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    timer.start(5);
    RunUntil([&] { return !running(); }, 30000);
    return static_cast<double>(longest) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    CPlumerocApp::PrepareEnvironment();
    CPlumerocApp app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    test::ClearProxyEnvironment();
    const test::ScriptedDialogs dialogs;

    const std::string page = MoviePage();
    test::LoopbackServer server([&](httplib::Server& s) {
        s.Get("/list.html", [&](const httplib::Request&, httplib::Response& r) { r.set_content(page, "text/html"); });
        s.Get("/slow.html", [&](const httplib::Request&, httplib::Response& r) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            r.set_content(page, "text/html");
        });
    });
    const std::string url = server.Url("/list.html");
    const QString grab = QCoreApplication::applicationDirPath() + QStringLiteral("/plumeroc-grab");

    test::PageWithoutPreview window;
    window.InitModeless();
    window.show();
    QTableWidget* list = test::MovieList(window);
    const QString lastRow = QString::fromStdString(server.Url("/games/m1000.swf"));

    std::vector<double> guiMs;
    std::vector<double> cliMs;
    std::vector<double> gapMs;
    for (int run = 0; run < runs; ++run) {
        // The list starts from other rows each time, as after an earlier capture.
        list->setRowCount(0);
        list->insertRow(0);

        QElapsedTimer clock;
        clock.start();
        test::Go(window, url);
        const bool shown = RunUntil(
            [&] {
                return list->rowCount() == kMovies && list->item(kMovies - 1, 1)
                    && list->item(kMovies - 1, 1)->text() == lastRow;
            },
            30000);
        list->viewport()->repaint();
        guiMs.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        if (!shown) {
            std::fprintf(stderr, "the capture did not list %d rows\n", kMovies);
            return 1;
        }
        RunUntil([&] { return !window.CaptureRunning(); }, 30000);

        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        clock.restart();
        process.start(grab, {QStringLiteral("list"), QString::fromStdString(url)});
        if (!process.waitForFinished(30000) || process.exitCode() != 0) {
            std::fprintf(stderr, "%s list failed\n", grab.toLocal8Bit().constData());
            return 1;
        }
        cliMs.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);

        list->setRowCount(0);
        test::Go(window, url);
        gapMs.push_back(LongestTimerGapMs([&] { return window.CaptureRunning(); }));
    }

    test::Go(window, server.Url("/slow.html"));
    const double slowGap = LongestTimerGapMs([&] { return window.CaptureRunning(); });

    const double gui = Median(guiMs);
    const double cli = Median(cliMs);
    std::printf("runs: %d, page: %zu bytes, %d movies\n", runs, page.size(), kMovies);
    const double guiFastest = *std::min_element(guiMs.begin(), guiMs.end());
    const double cliFastest = *std::min_element(cliMs.begin(), cliMs.end());
    std::printf("Go to last row shown (median): %.2f ms (fastest %.2f)\n", gui, guiFastest);
    std::printf("plumeroc-grab list (median):   %.2f ms (fastest %.2f)\n", cli, cliFastest);
    std::printf("ratio window / list: %.2f\n", gui / cli);
    std::printf("longest gap of a 5 ms timer during a 500-row capture (median of runs): %.2f ms, worst %.2f ms\n",
                Median(gapMs), *std::max_element(gapMs.begin(), gapMs.end()));
    std::printf("longest gap of a 5 ms timer during a capture whose server answers after 1 s: %.2f ms\n", slowGap);
    return 0;
}
