// The busy indicator at the Internet Files page's size (item 1004, 287 x 10 dialog units in the page's
// font), 50 blocks, on the offscreen platform.
//  - BM_PaintBusyIndicator: one synchronous repaint (off-screen buffer drawn and copied to the window),
//    against BM_PaintPlainWidget, a widget of the same size whose paint is one solid fill.
//  - BM_AnimationCpu: process CPU time over a few seconds of animation at the 100 ms interval, against
//    an idle stretch of the same length with the same shown control; figures in % of one core.
#include "controls/BusyProgressCtrl.h"
#include "framework/DialogTemplate.h"

#include <QApplication>
#include <QEventLoop>
#include <QPainter>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <ctime>

namespace {
QRect IndicatorRect()
{
    const DialogTemplate* page = FindDialogTemplate(129);
    return DialogUnitsToPixels(QRect(13, 32, 287, 10), DialogBaseUnits(DialogFont(*page)));
}

class PlainWidget : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), Qt::lightGray); }
};

class CountingIndicator : public CBusyProgressCtrl {
public:
    using CBusyProgressCtrl::CBusyProgressCtrl;
    int paints = 0;
    void DrawBackground(QPainter& dc, const QRect& rect) override
    {
        ++paints;
        CBusyProgressCtrl::DrawBackground(dc, rect);
    }
};

// A shown window holding the indicator, configured as the Internet Files page configures it.
struct Page {
    QWidget window;
    CountingIndicator* indicator = new CountingIndicator(10, 0, &window);
    Page()
    {
        const QRect r = IndicatorRect();
        window.resize(r.right() + 20, r.bottom() + 20);
        indicator->setGeometry(r);
        indicator->PreSubclassWindow();
        indicator->m_nBlockCount = 50;
        indicator->RecalcLayout();
        indicator->m_nInterval = 100;
        indicator->m_nRangeMin = -100;
        indicator->m_nRangeMax = 100;
        window.show();
        QApplication::processEvents();
    }
};

double ProcessCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double CpuSecondsWhileRunning(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    const double before = ProcessCpuSeconds();
    loop.exec();
    return ProcessCpuSeconds() - before;
}

void BM_PaintBusyIndicator(benchmark::State& state)
{
    Page page;
    int position = 0;
    for (auto _ : state) {
        page.indicator->m_nPosition = position++ % 50;
        page.indicator->repaint();
    }
    state.counters["width_px"] = page.indicator->width();
    state.counters["height_px"] = page.indicator->height();
    state.counters["paints"] = page.indicator->paints;
}
BENCHMARK(BM_PaintBusyIndicator)->Unit(benchmark::kMicrosecond);

void BM_PaintPlainWidget(benchmark::State& state)
{
    QWidget window;
    auto* plain = new PlainWidget(&window);
    const QRect r = IndicatorRect();
    window.resize(r.right() + 20, r.bottom() + 20);
    plain->setGeometry(r);
    window.show();
    QApplication::processEvents();
    for (auto _ : state)
        plain->repaint();
}
BENCHMARK(BM_PaintPlainWidget)->Unit(benchmark::kMicrosecond);

void BM_AnimationCpu(benchmark::State& state)
{
    constexpr int kMilliseconds = 4000;
    Page page;
    for (auto _ : state) {
        const double idle = CpuSecondsWhileRunning(kMilliseconds);
        const int paintsBefore = page.indicator->paints;
        page.indicator->Start();
        const double animating = CpuSecondsWhileRunning(kMilliseconds);
        page.indicator->Stop();
        const double seconds = kMilliseconds / 1000.0;
        state.counters["idle_cpu_pct_of_core"] = 100.0 * idle / seconds;
        state.counters["animating_cpu_pct_of_core"] = 100.0 * animating / seconds;
        state.counters["added_cpu_pct_of_core"] = 100.0 * (animating - idle) / seconds;
        state.counters["paints_per_s"] = (page.indicator->paints - paintsBefore) / seconds;
    }
}
BENCHMARK(BM_AnimationCpu)->Iterations(1)->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
