// Preview figures, all from one run:
//  - time from Navigate2 to the first frame shown of a local movie and of a loopback movie, each
//    after another movie as a user clicks rows, against the same for a small loopback HTML page
//    after another (the baseline); the first movie after start-up (Ruffle cold) apart;
//  - resident memory of a window holding the two pages with their viewers created and showing the
//    start page, against the same window with no viewers (each in a fresh child process), and the
//    time each takes to be ready.
// Usage: bench_preview [rounds]       (the child mode --memory none|viewers is internal)
#include "app/PlumerocApp.h"
#include "controls/HtmlCtrl.h"
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

int MeasureMemory(bool withViewers)
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
        }
    }
    test::WaitUntil([&] { return loaded == (withViewers ? 2 : 0); }, 30s);
    const qint64 readyMs = clock.elapsed();
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

int MeasureNavigation(int rounds)
{
    QWidget window;
    window.resize(420, 320);
    auto* placeholder = new QWidget(&window);
    SetDlgCtrlID(placeholder, IDC_PREVIEW);
    placeholder->setGeometry(10, 10, 400, 300);
    CHtmlCtrl viewer;
    viewer.CreateOverPlaceholder(IDC_PREVIEW, &window);
    window.show();

    // Two documents of each kind with different colours: a document can never pass for the one
    // shown before it.
    const Rgb colours[][2] = {{{0x20, 0x50, 0xc0}, {0xf0, 0x90, 0x10}}, {{0x10, 0x60, 0x20}, {0xf0, 0x60, 0xc0}}};
    std::vector<std::string> movies;
    test::TempFolder folder;
    for (const auto& pair : colours) {
        test::MovieRecipe recipe;
        recipe.background = pair[0];
        recipe.fill = pair[1];
        movies.push_back(test::MakeMovie(recipe));
    }
    test::LoopbackServer server([&](httplib::Server& s) {
        s.Get(R"(/movie(\d)\.swf)", [&](const httplib::Request& request, httplib::Response& r) {
            r.set_content(movies.at(std::stoul(request.matches[1])), "application/x-shockwave-flash");
        });
        // Text, so that the engine shows the page at its first paint; a page of colour alone is
        // held back behind the one before it for half a second.
        s.Get(R"(/page(\d)\.html)", [&](const httplib::Request& request, httplib::Response& r) {
            const Rgb c = colours[std::stoul(request.matches[1])][1];
            r.set_content("<html><body style='margin:0;background:rgb(" + std::to_string(c.r) + ","
                              + std::to_string(c.g) + "," + std::to_string(c.b) + ")'><p>Page</p></body></html>",
                          "text/html");
        });
    });
    std::vector<std::string> localMovies;
    for (std::size_t i = 0; i < movies.size(); ++i)
        localMovies.push_back(folder.Write("movie" + std::to_string(i) + ".swf", movies[i]));

    // Milliseconds from Navigate2 to the first grab that shows document k's colours (a grab holds
    // what the window shows; under Xvfb the screen agrees within one polling step).
    int onScreen = -1; // colours of the document shown now
    const auto timeTo = [&](const std::string& location, int k, bool isPage) -> double {
        QElapsedTimer clock;
        clock.start();
        viewer.Navigate2(location);
        const bool shown = test::WaitUntil(
            [&] {
                const QImage image = test::Grab(&viewer);
                return test::Near(test::ColourAt(image, 0.5, 0.5), colours[k][1])
                    && (isPage || test::Near(test::ColourAt(image, 0.1, 0.1), colours[k][0]));
            },
            30s);
        onScreen = k;
        return shown ? static_cast<double>(clock.nsecsElapsed()) / 1e6 : -1;
    };
    // A user clicks one row after another: each document follows one of its own kind, the player
    // page with Ruffle after the player page. Only start-up shows the start page, and a document
    // after it gets a renderer process of its own and loads Ruffle cold: a user sees that at the
    // first click only. The first of a series follows another kind and is not counted.
    const auto series = [&](const std::function<std::string(int)>& location, bool isPage) {
        int k = 1 - onScreen;
        timeTo(location(k), k, isPage);
        std::vector<double> times;
        for (int i = 0; i < rounds; ++i) {
            k = 1 - k;
            times.push_back(timeTo(location(k), k, isPage));
        }
        return Median(times);
    };

    // The first movie after start-up: from the start page, with Ruffle not yet loaded anywhere.
    viewer.LoadFromResource(IDR_START_PAGE);
    test::WaitUntil([&] { return test::Near(test::ColourAt(test::Grab(&viewer), 0.9, 0.9), Rgb{255, 255, 255}); }, 10s);
    const double cold = timeTo(localMovies[0], 0, false);
    const auto loopbackUrl = [&](const std::string& host, const std::string& path) {
        return "http://" + host + ":" + std::to_string(server.Port()) + path;
    };
    const double base = series([&](int k) { return server.Url("/page" + std::to_string(k) + ".html"); }, true);
    const double loopback = series([&](int k) { return server.Url("/movie" + std::to_string(k) + ".swf"); }, false);
    const double local = series([&](int k) { return localMovies[static_cast<std::size_t>(k)]; }, false);
    // Movies of one page that sit on two sites: 127.0.0.1 and localhost.
    const double twoSites =
        series([&](int k) { return loopbackUrl(k ? "localhost" : "127.0.0.1", "/movie" + std::to_string(k) + ".swf"); },
               false);

    std::printf("Navigate2 to the first frame shown, each document after one of its own kind as rows are\n"
                "clicked one after another (median of %d, ms; -1 = never shown):\n",
                rounds);
    std::printf("  HTML page on loopback (baseline)           %8.1f  1.00x\n", base);
    std::printf("  movie on loopback                          %8.1f  %.2fx\n", loopback, loopback / base);
    std::printf("  local movie                                %8.1f  %.2fx\n", local, local / base);
    std::printf("  movie on loopback, the two on two sites    %8.1f  %.2fx\n", twoSites, twoSites / base);
    std::printf("  first movie after start-up (Ruffle cold)   %8.1f  %.2fx\n", cold, cold / base);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    CPlumerocApp::PrepareEnvironment();
    CPlumerocApp app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args[1] == QStringLiteral("--memory"))
        return MeasureMemory(args[2] == QStringLiteral("viewers"));

    const MemoryFigures none = RunMemoryChild("none");
    const MemoryFigures viewers = RunMemoryChild("viewers");
    std::printf("Window with both pages, ready (start pages loaded) and memory (MiB):\n");
    std::printf("                      ready ms   RSS, this process   PSS with engine helpers\n");
    std::printf("  no viewers (base)   %8ld   %17.1f   %23.1f\n", none.readyMs, static_cast<double>(none.self) / 1024.0,
                static_cast<double>(none.tree) / 1024.0);
    std::printf("  two viewers         %8ld   %17.1f   %23.1f\n", viewers.readyMs,
                static_cast<double>(viewers.self) / 1024.0, static_cast<double>(viewers.tree) / 1024.0);
    if (none.self > 0 && none.tree > 0)
        std::printf("  ratio                         %17.2fx  %22.2fx\n",
                    static_cast<double>(viewers.self) / static_cast<double>(none.self),
                    static_cast<double>(viewers.tree) / static_cast<double>(none.tree));
    return MeasureNavigation(args.size() > 1 ? std::max(1, args[1].toInt()) : 5);
}
