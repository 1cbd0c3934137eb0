// Preview figures, all from one run:
//  - time from Navigate2 to the first frame shown of a local movie and of a loopback movie, each
//    after another movie as a user clicks rows, against the same for a small loopback HTML page
//    after another (the baseline);
//  - the first movie after start-up, each in a viewer of its own clicked a pause after its start page
//    has loaded, with and without the player preloaded, against a later click on a movie of its kind;
//  - resident memory of a window holding the two pages with their viewers created and showing the
//    start page (with and without the player preloaded), against the same window with no viewers
//    (each in a fresh child process), and the time each takes to be ready.
// Usage: bench_preview [rounds] [pause ms] [first movies]
//        (the child mode --memory none|viewers|preloaded is internal)
#include "app/PlumerocApp.h"
#include "controls/HtmlCtrl.h"
#include "controls/PlayerPreload.h"
#include "framework/Dialog.h"
#include "res/resource.h"
#include "support/Files.h"
#include "support/Loopback.h"
#include "support/TempFolder.h"
#include "support/gui/GuiSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QWebEnginePage>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using test::Rgb;

namespace {

// A "Name:  value kB" field of a /proc file, in KiB.
long ProcField(const std::string& file, const std::string& name)
{
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(name, 0) == 0)
            return std::stol(line.substr(name.size()));
    }
    return 0;
}

// Resident set size of one process.
long RssKiB(int pid) { return ProcField("/proc/" + std::to_string(pid) + "/status", "VmRSS:"); }

// Proportional set size: shared pages split among the processes sharing them, so that the helper
// processes (forked from one zygote) add up without counting shared pages twice.
long PssKiB(int pid) { return ProcField("/proc/" + std::to_string(pid) + "/smaps_rollup", "Pss:"); }

// The process and all its descendants (the web engine's helper processes).
std::vector<int> ProcessTree(int root)
{
    std::map<int, std::vector<int>> children;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isPid = false;
        const int pid = entry.toInt(&isPid);
        if (!isPid)
            continue;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string all((std::istreambuf_iterator<char>(stat)), {});
        const auto close = all.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(all.substr(close + 2));
        char state = 0;
        int parent = 0;
        rest >> state >> parent;
        children[parent].push_back(pid);
    }
    std::vector<int> tree{root};
    for (std::size_t i = 0; i < tree.size(); ++i)
        for (int child : children[tree[i]])
            tree.push_back(child);
    return tree;
}

// A page of the program built from its template, holding its viewer as the real pages do.
struct Page : CDialog {
    explicit Page(int templateId) : CDialog(templateId) {}
    CHtmlCtrl m_preview;
};

// The preload is over once it has let its player go (player-preload.js).
bool PreloadDone(QWebEnginePage* page)
{
    return test::RunScript(
               page, QStringLiteral("String(!!window.RufflePlayer && !document.getElementById('player-preload'))"), 2s)
        == QStringLiteral("true");
}

int MeasureMemory(bool withViewers, bool preload)
{
    QElapsedTimer clock;
    clock.start();
    QWidget window;
    window.resize(840, 520);
    Page internet(129), local(130);
    internet.Create(129, &window);
    local.Create(130, &window);
    local.move(0, 260);
    window.show();
    int loaded = 0;
    if (withViewers) {
        for (Page* page : {&internet, &local}) {
            page->m_preview.CreateOverPlaceholder(IDC_PREVIEW, page);
            QObject::connect(page->m_preview.Browser(), &QWebEnginePage::loadFinished, [&] { ++loaded; });
            page->m_preview.LoadFromResource(IDR_START_PAGE);
            if (preload)
                preview::PreloadPlayer(page->m_preview);
        }
    }
    test::WaitUntil([&] { return loaded == (withViewers ? 2 : 0); }, 30s);
    const qint64 readyMs = clock.elapsed();
    if (preload) {
        test::WaitUntil(
            [&] { return PreloadDone(internet.m_preview.Browser()) && PreloadDone(local.m_preview.Browser()); }, 30s);
    }
    test::WaitUntil([] { return false; }, 1500ms); // let helper processes settle
    long tree = 0;
    for (int pid : ProcessTree(static_cast<int>(QCoreApplication::applicationPid())))
        tree += PssKiB(pid);
    std::printf("%ld %ld %lld\n", RssKiB(static_cast<int>(QCoreApplication::applicationPid())), tree,
                static_cast<long long>(readyMs));
    return 0;
}

struct MemoryFigures {
    long self = 0, tree = 0, readyMs = 0;
};

MemoryFigures RunMemoryChild(const char* mode)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--memory"), QString::fromLatin1(mode)});
    child.waitForFinished(60000);
    MemoryFigures figures;
    std::istringstream(child.readAllStandardOutput().toStdString()) >> figures.self >> figures.tree >> figures.readyMs;
    return figures;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// A viewer in a window of its own, as a page holds its preview.
struct ViewerWindow {
    ViewerWindow()
    {
        window.resize(420, 320);
        auto* placeholder = new QWidget(&window);
        SetDlgCtrlID(placeholder, IDC_PREVIEW);
        placeholder->setGeometry(10, 10, 400, 300);
        viewer.CreateOverPlaceholder(IDC_PREVIEW, &window);
        window.show();
    }
    QWidget window;
    CHtmlCtrl viewer;
};

// Two colours for a document: its background and what its middle shows.
struct Look {
    Rgb background, fill;
};

// Milliseconds from Navigate2 to the first grab that shows `look` (a grab holds what the window
// shows; under Xvfb the screen agrees within one polling step); -1 if it never does. A page is
// judged by its middle alone.
double TimeToShown(CHtmlCtrl& viewer, const std::string& location, Look look, bool isPage)
{
    QElapsedTimer clock;
    clock.start();
    viewer.Navigate2(location);
    const bool shown = test::WaitUntil(
        [&] {
            const QImage image = test::Grab(&viewer);
            return test::Near(test::ColourAt(image, 0.5, 0.5), look.fill)
                && (isPage || test::Near(test::ColourAt(image, 0.1, 0.1), look.background));
        },
        30s);
    return shown ? static_cast<double>(clock.nsecsElapsed()) / 1e6 : -1;
}

// A user's first movie after start-up: a fresh viewer (a renderer of its own) shows its start page,
// with or without the player preloaded, and the row is clicked `pause` after the page has loaded.
// Also gives how long after that load the preload was over (-1 if not by the click).
std::pair<double, double> FirstMovie(const std::string& location, Look look, bool preload,
                                     std::chrono::milliseconds pause)
{
    ViewerWindow shown;
    bool loaded = false;
    QObject::connect(shown.viewer.Browser(), &QWebEnginePage::loadFinished, [&] { loaded = true; });
    shown.viewer.LoadFromResource(IDR_START_PAGE);
    if (preload)
        preview::PreloadPlayer(shown.viewer);
    test::WaitUntil([&] { return loaded; }, 20s);
    QElapsedTimer sinceLoad;
    sinceLoad.start();
    double preloaded = -1;
    if (preload && test::WaitUntil([&] { return PreloadDone(shown.viewer.Browser()); }, pause))
        preloaded = static_cast<double>(sinceLoad.elapsed());
    test::WaitUntil([] { return false; }, pause - std::chrono::milliseconds(sinceLoad.elapsed()));
    return {TimeToShown(shown.viewer, location, look, false), preloaded};
}

int MeasureNavigation(int rounds, std::chrono::milliseconds pause, int firsts)
{
    ViewerWindow shown;
    CHtmlCtrl& viewer = shown.viewer;

    // Two documents of each kind with different colours: a document can never pass for the one
    // shown before it.
    const Look looks[][2] = {{{{0x20, 0x50, 0xc0}, {0xf0, 0x90, 0x10}}, {{0x10, 0x60, 0x20}, {0xf0, 0x60, 0xc0}}}};
    const Look* look = looks[0];
    std::vector<std::string> movies;
    test::TempFolder folder;
    for (int k = 0; k < 2; ++k) {
        test::MovieRecipe recipe;
        recipe.background = look[k].background;
        recipe.fill = look[k].fill;
        movies.push_back(test::MakeMovie(recipe));
    }
    test::LoopbackServer server([&](httplib::Server& s) {
        s.Get(R"(/movie(\d)\.swf)", [&](const httplib::Request& request, httplib::Response& r) {
            r.set_content(movies.at(std::stoul(request.matches[1])), "application/x-shockwave-flash");
        });
        // Text, so that the engine shows the page at its first paint; a page of colour alone is
        // held back behind the one before it for half a second.
        s.Get(R"(/page(\d)\.html)", [&](const httplib::Request& request, httplib::Response& r) {
            const Rgb c = look[std::stoul(request.matches[1])].fill;
            r.set_content("<html><body style='margin:0;background:rgb(" + std::to_string(c.r) + ","
                              + std::to_string(c.g) + "," + std::to_string(c.b) + ")'><p>Page</p></body></html>",
                          "text/html");
        });
    });
    std::vector<std::string> localMovies;
    for (std::size_t i = 0; i < movies.size(); ++i)
        localMovies.push_back(folder.Write("movie" + std::to_string(i) + ".swf", movies[i]));

    // A user clicks one row after another: each document follows one of its own kind, the player
    // page with Ruffle after the player page. The first of a series follows another kind and is not
    // counted.
    int onScreen = 0; // the look of the document shown now
    const auto series = [&](const std::function<std::string(int)>& location, bool isPage) {
        int k = 1 - onScreen;
        TimeToShown(viewer, location(k), look[k], isPage);
        std::vector<double> times;
        for (int i = 0; i < rounds; ++i) {
            k = 1 - k;
            times.push_back(TimeToShown(viewer, location(k), look[k], isPage));
        }
        onScreen = k;
        return Median(times);
    };
    const auto loopbackUrl = [&](const std::string& host, int k) {
        return "http://" + host + ":" + std::to_string(server.Port()) + "/movie" + std::to_string(k) + ".swf";
    };
    const auto local = [&](int k) { return localMovies[static_cast<std::size_t>(k)]; };
    const auto loopback = [&](int k) { return loopbackUrl("127.0.0.1", k); };
    viewer.LoadFromResource(IDR_START_PAGE);
    const double base = series([&](int k) { return server.Url("/page" + std::to_string(k) + ".html"); }, true);
    const double loopbackLater = series(loopback, false);
    const double localLater = series(local, false);
    // Movies of one page that sit on two sites: 127.0.0.1 and localhost.
    const double twoSites = series([&](int k) { return loopbackUrl(k ? "localhost" : "127.0.0.1", k); }, false);

    // The first movies, without and with the preload taking turns, so that both meet the same load.
    std::vector<double> first[2][2]; // [preload][local, loopback]
    std::vector<double> preloadTimes;
    for (int i = 0; i < firsts; ++i) {
        for (const bool preload : {false, true}) {
            for (const bool isLocal : {true, false}) {
                const auto [time, preloaded] =
                    FirstMovie(isLocal ? local(i % 2) : loopback(i % 2), look[i % 2], preload, pause);
                first[preload][isLocal ? 0 : 1].push_back(time);
                if (preload)
                    preloadTimes.push_back(preloaded);
            }
        }
    }

    std::printf("Navigate2 to the first frame shown, each document after one of its own kind as rows are\n"
                "clicked one after another (median of %d, ms; -1 = never shown):\n",
                rounds);
    std::printf("  HTML page on loopback (baseline)           %8.1f  1.00x\n", base);
    std::printf("  movie on loopback                          %8.1f  %.2fx\n", loopbackLater, loopbackLater / base);
    std::printf("  local movie                                %8.1f  %.2fx\n", localLater, localLater / base);
    std::printf("  movie on loopback, the two on two sites    %8.1f  %.2fx\n", twoSites, twoSites / base);
    std::printf("The first movie after start-up, clicked %lld ms after the start page has loaded, in a viewer of\n"
                "its own (median of %d, ms), and as a ratio to a later click on a movie of its kind:\n",
                static_cast<long long>(pause.count()), firsts);
    std::printf("                                     without preload          with preload\n");
    const double laterOf[] = {localLater, loopbackLater};
    const char* names[] = {"local movie      ", "movie on loopback"};
    for (int kind = 0; kind < 2; ++kind) {
        const double without = Median(first[0][kind]);
        const double with = Median(first[1][kind]);
        std::printf("  %s               %8.1f  %5.2fx       %8.1f  %5.2fx\n", names[kind], without,
                    without / laterOf[kind], with, with / laterOf[kind]);
    }
    std::printf("  player preloaded, ms after the start page loaded (median; -1 = not by the click): %.0f\n",
                Median(preloadTimes));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    CPlumerocApp::PrepareEnvironment();
    CPlumerocApp app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args[1] == QStringLiteral("--memory"))
        return MeasureMemory(args[2] != QStringLiteral("none"), args[2] == QStringLiteral("preloaded"));

    const MemoryFigures none = RunMemoryChild("none");
    const MemoryFigures viewers = RunMemoryChild("viewers");
    const MemoryFigures preloaded = RunMemoryChild("preloaded");
    std::printf("Window with both pages, ready (start pages loaded) and memory (MiB):\n");
    std::printf("                                  ready ms   RSS, this process   PSS with engine helpers\n");
    std::printf("  no viewers (base)               %8ld   %17.1f   %23.1f\n", none.readyMs,
                static_cast<double>(none.self) / 1024.0, static_cast<double>(none.tree) / 1024.0);
    std::printf("  two viewers                     %8ld   %17.1f   %23.1f\n", viewers.readyMs,
                static_cast<double>(viewers.self) / 1024.0, static_cast<double>(viewers.tree) / 1024.0);
    std::printf("  two viewers, player preloaded   %8ld   %17.1f   %23.1f\n", preloaded.readyMs,
                static_cast<double>(preloaded.self) / 1024.0, static_cast<double>(preloaded.tree) / 1024.0);
    if (none.self > 0 && none.tree > 0) {
        for (const auto& [name, figures] : {std::pair{"two viewers", viewers}, std::pair{"preloaded", preloaded}})
            std::printf("  ratio, %-11s                           %16.2fx  %22.2fx\n", name,
                        static_cast<double>(figures.self) / static_cast<double>(none.self),
                        static_cast<double>(figures.tree) / static_cast<double>(none.tree));
    }
    const int rounds = args.size() > 1 ? std::max(1, args[1].toInt()) : 5;
    const std::chrono::milliseconds pause(args.size() > 2 ? std::max(0, args[2].toInt()) : 2000);
    const int firsts = args.size() > 3 ? std::max(1, args[3].toInt()) : 3;
    return MeasureNavigation(rounds, pause, firsts);
}
