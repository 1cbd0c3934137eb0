// Preview figures, all from one run:
//  - time from Navigate2 to the first rendered frame of a local movie and of a loopback movie,
//    against the same for a small loopback HTML page (the baseline), first movie (Ruffle cold)
//    and later ones (warm) apart;
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
        s.Get(R"(/page(\d)\.html)", [&](const httplib::Request& request, httplib::Response& r) {
            const Rgb c = colours[std::stoul(request.matches[1])][1];
            r.set_content("<html><body style='margin:0;background:rgb(" + std::to_string(c.r) + ","
                              + std::to_string(c.g) + "," + std::to_string(c.b) + ")'></body></html>",
                          "text/html");
        });
    });
    std::vector<std::string> localMovies;
    for (std::size_t i = 0; i < movies.size(); ++i)
        localMovies.push_back(folder.Write("movie" + std::to_string(i) + ".swf", movies[i]));

    // Milliseconds from Navigate2 to the first grab that shows the expected colours.
    const auto timeTo = [&](const std::string& location, Rgb background, Rgb fill, bool isPage) -> double {
        viewer.LoadFromResource(IDR_START_PAGE);
        test::WaitUntil(
            [&] {
                return test::Near(test::ColourAt(test::Grab(&viewer), 0.9, 0.9), Rgb{255, 255, 255});
            },
            10s);
        QElapsedTimer clock;
        clock.start();
        viewer.Navigate2(location);
        const bool shown = test::WaitUntil(
            [&] {
                const QImage image = test::Grab(&viewer);
                return test::Near(test::ColourAt(image, 0.5, 0.5), fill)
                    && (isPage || test::Near(test::ColourAt(image, 0.1, 0.1), background));
            },
            30s);
        return shown ? static_cast<double>(clock.nsecsElapsed()) / 1e6 : -1;
    };

    const double coldLocal = timeTo(localMovies[0], colours[0][0], colours[0][1], false);
    std::vector<double> page, loopback, local;
    for (int i = 0; i < rounds; ++i) {
        const int k = (i + 1) % 2;
        page.push_back(timeTo(server.Url("/page" + std::to_string(k) + ".html"), colours[k][0], colours[k][1], true));
        loopback.push_back(
            timeTo(server.Url("/movie" + std::to_string(k) + ".swf"), colours[k][0], colours[k][1], false));
        local.push_back(timeTo(localMovies[k], colours[k][0], colours[k][1], false));
    }
    const double base = Median(page);
    std::printf("Navigate2 to first rendered frame (median of %d, ms; -1 = never shown):\n", rounds);
    std::printf("  HTML page on loopback (baseline)  %8.1f  1.00x\n", base);
    std::printf("  movie on loopback                 %8.1f  %.2fx\n", Median(loopback), Median(loopback) / base);
    std::printf("  local movie                       %8.1f  %.2fx\n", Median(local), Median(local) / base);
    std::printf("  first local movie (Ruffle cold)   %8.1f  %.2fx\n", coldLocal, coldLocal / base);
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
