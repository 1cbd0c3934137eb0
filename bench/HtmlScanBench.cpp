// Speed of the markup finder on a realistic 1 MiB page, against memchr passes over the same buffer
// measured in the same run. Figures: scan_MBps (decimal MB/s), and the ratios scan/memchr.
// The script finder and both finders together against the markup finder on that page, and the script
// finder on hostile pages against the markup finder on the realistic one.
#include "html/markup/MarkupFinder.h"
#include "html/movies/MovieLinks.h"
#include "html/script/ScriptFinder.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <string_view>
#include <utility>

namespace {

constexpr std::size_t kPageSize = 1 << 20;
constexpr const char* kAddress = "http://games.example/arcade/index.html";

std::string Words(std::mt19937& random, int count)
{
    static const char* const kWords[] = {"flash", "game", "arcade", "puzzle",    "racing", "classic",
                                         "play",  "free", "online", "shockwave", "movie",  "level"};
    std::string words;
    for (int i = 0; i < count; ++i) {
        if (i)
            words += ' ';
        words += kWords[random() % std::size(kWords)];
    }
    return words;
}

// Dense markup: navigation links with long query strings, thumbnails, scripts with "<" in them,
// text, and every few blocks an object/embed pair naming a movie (a few hundred in all).
std::string MakePage()
{
    std::mt19937 random(20240607);
    std::string page = "<!DOCTYPE html>\n<html><head><title>Arcade</title>"
                       "<meta name=\"description\" content=\""
        + Words(random, 40) + "\"></head><body>\n";
    for (int block = 0; page.size() < kPageSize - 4096; ++block) {
        const std::string n = std::to_string(block);
        page += "<div class=\"item item-" + n + " card shadow-sm\" id=\"item" + n
            + "\" data-track=\"{&quot;id&quot;:" + n + ",&quot;list&quot;:&quot;home&quot;}\">\n";
        page += "  <a href=\"/arcade/play.php?id=" + n
            + "&amp;ref=home&amp;utm_source=list&amp;utm_medium=web&amp;utm_campaign=" + Words(random, 2)
            + "\" title=\"" + Words(random, 8) + "\">" + Words(random, 4) + "</a>\n";
        page += "  <img src=\"/thumbs/" + n + "/preview-120x90.jpg\" alt=\"" + Words(random, 5)
            + "\" width=\"120\" height=\"90\" loading=\"lazy\">\n";
        page += "  <p>" + Words(random, 30) + " <b>" + Words(random, 2) + "</b> " + Words(random, 20) + "</p>\n";
        if (block % 3 == 0) {
            const std::string movie = (block % 2 ? "/swf/game-" : "movies/game-") + n + ".swf";
            page += "  <object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\" width=\"550\" height=\"400\">"
                    "<param name=\"movie\" value=\""
                + movie + "?level=" + n
                + "\"><param name=\"quality\" value=\"high\">"
                  "<embed src=\""
                + movie
                + "\" quality=\"high\" type=\"application/x-shockwave-flash\" "
                  "flashvars=\"skin=../skins/dark.swf&amp;cfg=/cfg/"
                + n
                + ".xml\" width=\"550\" height=\"400\">"
                  "</object>\n";
        }
        if (block % 5 == 0)
            page += "  <script>for (var i = 0; i<items.length; i++) { if (items[i].w<550) show(items[i], \""
                + Words(random, 3) + "\"); }</script>\n";
        page += "</div>\n";
    }
    page += "</body></html>\n";
    page.resize(kPageSize - 1, ' '); // the page buffer's text, NUL excluded
    return page;
}

const std::string& Page()
{
    static const std::string page = MakePage();
    return page;
}

// The least a tag scanner must do: memchr from each "<" to the next, across the whole page.
std::size_t MemchrPass(const std::string& page)
{
    std::size_t count = 0;
    const char* at = page.data();
    const char* const end = page.data() + page.size();
    while ((at = static_cast<const char*>(std::memchr(at, '<', end - at)))) {
        ++count;
        ++at;
    }
    return count;
}

// The machine is shared: time this thread's CPU use, so that waiting for a core counts for neither side.
double ThreadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void BM_FindSwfLinksVsMemchr(benchmark::State& state)
{
    const std::string& page = Page();
    html::SwfLinkSet links;
    double scanSeconds = 0;
    double stepSeconds = 0;
    double wholeSeconds = 0;
    std::size_t tags = 0;
    for (auto _ : state) {
        const double t0 = ThreadSeconds();
        html::markup::FindSwfLinks(links, kAddress, page.c_str());
        benchmark::DoNotOptimize(links);
        const double t1 = ThreadSeconds();
        tags = MemchrPass(page);
        benchmark::DoNotOptimize(tags);
        const double t2 = ThreadSeconds();
        // One memchr call for a byte the page does not hold: the bare reading speed.
        benchmark::DoNotOptimize(std::memchr(page.data(), '\x01', page.size()));
        const double t3 = ThreadSeconds();
        scanSeconds += t1 - t0;
        stepSeconds += t2 - t1;
        wholeSeconds += t3 - t2;
        state.SetIterationTime(t1 - t0);
    }
    const double bytes = static_cast<double>(page.size()) * static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["scan_MBps"] = bytes / scanSeconds / 1e6;
    state.counters["memchr_step_MBps"] = bytes / stepSeconds / 1e6;
    state.counters["memchr_whole_MBps"] = bytes / wholeSeconds / 1e6;
    state.counters["ratio_vs_step"] = stepSeconds / scanSeconds;
    state.counters["ratio_vs_whole"] = wholeSeconds / scanSeconds;
    state.counters["tags"] = static_cast<double>(tags);
    state.counters["links"] = static_cast<double>(links.size());
}
BENCHMARK(BM_FindSwfLinksVsMemchr)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);

// Pages of the largest size the program reads, built to make a scanner slow: many ".swf" in one tag,
// many tags that never close, one tag full of stop characters. Each is timed against the realistic
// page in the same run; the scanner must stay within 5 times its time.
std::string Repeated(std::string_view head, std::string_view unit, std::string_view tail)
{
    std::string page(head);
    while (page.size() + unit.size() + tail.size() < kPageSize - 1)
        page += unit;
    page += tail;
    return page;
}

double ScanSeconds(const std::string& page, int rounds)
{
    html::SwfLinkSet links;
    const double start = ThreadSeconds();
    for (int i = 0; i < rounds; ++i) {
        html::markup::FindSwfLinks(links, kAddress, page.c_str());
        benchmark::DoNotOptimize(links);
    }
    return (ThreadSeconds() - start) / rounds;
}

void BM_HostilePages(benchmark::State& state)
{
    static const std::pair<const char*, std::string> kPages[] = {
        {"a_equals_swf", Repeated("<a=", ".swf", ">")},
        {"open_swf", Repeated("", "<.swf", "")},
        {"one_tag_stops", Repeated("<embed ", "a=b ", "c.swf>")},
        // Harder still: a reference every few bytes of the one tag.
        {"one_tag_references", Repeated("<embed ", "x=a.swf'", ">")},
        {"one_tag_quoted_references", Repeated("<embed src=\"", "\"b.swf", "\">")},
    };
    const auto& [name, page] = kPages[state.range(0)];
    double realistic = 0;
    double hostile = 0;
    for (auto _ : state) {
        realistic += ScanSeconds(Page(), 3);
        const double t = ScanSeconds(page, 3);
        hostile += t;
        state.SetIterationTime(t);
    }
    state.SetLabel(name);
    state.counters["ratio_vs_realistic"] = hostile / realistic;
}
BENCHMARK(BM_HostilePages)->DenseRange(0, 4)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_ScriptFinderVsLinkFinder(benchmark::State& state)
{
    const std::string& page = Page();
    html::SwfLinkSet markup;
    html::SwfLinkSet script;
    html::SwfLinkSet both;
    double markupSeconds = 0;
    double scriptSeconds = 0;
    double bothSeconds = 0;
    for (auto _ : state) {
        const double t0 = ThreadSeconds();
        html::markup::FindSwfLinks(markup, kAddress, page.c_str());
        benchmark::DoNotOptimize(markup);
        const double t1 = ThreadSeconds();
        html::script::FindScriptMovieLinks(script, kAddress, page);
        benchmark::DoNotOptimize(script);
        const double t2 = ThreadSeconds();
        html::FindMovieLinks(both, kAddress, page);
        benchmark::DoNotOptimize(both);
        const double t3 = ThreadSeconds();
        markupSeconds += t1 - t0;
        scriptSeconds += t2 - t1;
        bothSeconds += t3 - t2;
        state.SetIterationTime(t2 - t1);
    }
    const double bytes = static_cast<double>(page.size()) * static_cast<double>(state.iterations());
    state.counters["markup_MBps"] = bytes / markupSeconds / 1e6;
    state.counters["script_MBps"] = bytes / scriptSeconds / 1e6;
    state.counters["both_MBps"] = bytes / bothSeconds / 1e6;
    state.counters["script_vs_markup"] = scriptSeconds / markupSeconds; // the bound is 2
    state.counters["both_vs_markup"] = bothSeconds / markupSeconds;
    state.counters["rows_markup"] = static_cast<double>(markup.size());
    state.counters["rows_script"] = static_cast<double>(script.size());
    state.counters["rows_both"] = static_cast<double>(both.size());
}
BENCHMARK(BM_ScriptFinderVsLinkFinder)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);

// 1 MiB pages built to slow the script finder down: one unit repeated.
const char* const kHostileUnits[] = {
    "\"",
    "\\u002F",
    "&quot;",
    "embedSWF(\"",
    "<object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\">",
    "<param name=movie value=a>",
    "AC_FL_RunContent('movie','a',",
    "\"a.swf\"",
    "'a'+'b.swf'+",
    "\\u0022\\/a.swf",
    ".swf?",
    "<embed type=\"application/x-shockwave-flash\" src=\"",
    // Player configurations read whole, calls that never close, and variables looked up.
    "flowplayer('p','f/p.swf',{plugins:{a:{url:'b.swf'}}});",
    "flowplayer(",
    "x=d+'a.swf';var d='m/';",
};

std::string HostilePage(std::string_view unit)
{
    std::string page;
    page.reserve(kPageSize);
    while (page.size() + unit.size() < kPageSize)
        page += unit;
    return page;
}

void BM_ScriptFinderHostile(benchmark::State& state)
{
    const std::string_view unit = kHostileUnits[state.range(0)];
    const std::string hostile = HostilePage(unit);
    const std::string& page = Page();
    html::SwfLinkSet links;
    double hostileSeconds = 0;
    double markupSeconds = 0;
    double scriptSeconds = 0;
    double markupHostileSeconds = 0;
    for (auto _ : state) {
        const double t0 = ThreadSeconds();
        html::script::FindScriptMovieLinks(links, kAddress, hostile);
        benchmark::DoNotOptimize(links);
        const double t1 = ThreadSeconds();
        html::markup::FindSwfLinks(links, kAddress, page.c_str());
        benchmark::DoNotOptimize(links);
        const double t2 = ThreadSeconds();
        html::script::FindScriptMovieLinks(links, kAddress, page);
        benchmark::DoNotOptimize(links);
        const double t3 = ThreadSeconds();
        html::markup::FindSwfLinks(links, kAddress, hostile.c_str());
        benchmark::DoNotOptimize(links);
        const double t4 = ThreadSeconds();
        hostileSeconds += t1 - t0;
        markupSeconds += t2 - t1;
        scriptSeconds += t3 - t2;
        markupHostileSeconds += t4 - t3;
        state.SetIterationTime(t1 - t0);
    }
    state.SetLabel(std::string(unit.substr(0, 24)));
    // Against the realistic page: the bound is 5, with either finder's time on it as the baseline.
    state.counters["vs_markup_realistic"] = hostileSeconds / markupSeconds;
    state.counters["vs_script_realistic"] = hostileSeconds / scriptSeconds;
    // For comparison: the markup finder's own time on the same page against the realistic one.
    state.counters["markup_here_vs_realistic"] = markupHostileSeconds / markupSeconds;
}
BENCHMARK(BM_ScriptFinderHostile)
    ->DenseRange(0, static_cast<int>(std::size(kHostileUnits)) - 1)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(0.5);

} // namespace

BENCHMARK_MAIN();
