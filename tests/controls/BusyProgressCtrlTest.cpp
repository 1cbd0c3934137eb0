#include "controls/BusyProgressCtrl.h"

#include "framework/DialogTemplate.h"

#include <QCoreApplication>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <functional>
#include <thread>

namespace {
using COLORREF = CBusyProgressCtrl::COLORREF;
constexpr COLORREF kBack = 0x00FF00; // a background no block colour shares

QRgb Rgb(COLORREF c) { return CBusyProgressCtrl::ToQColor(c).rgb(); }
QRgb At(const QImage& image, int x, int y) { return image.pixelColor(x, y).rgb(); }

int CountColor(const QImage& image, COLORREF c)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += At(image, x, y) == Rgb(c);
    return n;
}

int ThreadCount()
{
    const auto tasks = std::filesystem::directory_iterator("/proc/self/task");
    return static_cast<int>(std::distance(begin(tasks), end(tasks)));
}

// A shown control on a parent window, measured the way a dialog page measures its item.
struct Shown {
    QWidget parent;
    CBusyProgressCtrl* ctrl;
    Shown(int blocks, QSize size) : ctrl(new CBusyProgressCtrl(blocks, 0, &parent))
    {
        parent.resize(size + QSize(20, 20));
        ctrl->setGeometry(QRect(QPoint(0, 0), size));
        ctrl->PreSubclassWindow();
        ctrl->SendMessage(WM_BUSY_SETBACKCOLOR, kBack);
        parent.show();
    }
    QImage Render() { return ctrl->grab().toImage(); }
};
} // namespace

TEST(BusyProgressCtrl, DefaultsOfTenBlocksAtZero)
{
    CBusyProgressCtrl c(10, 0);
    EXPECT_EQ(c.m_nBlockCount, 10);
    EXPECT_EQ(c.m_nDirection, 1);
    EXPECT_EQ(c.m_nPosition, 0);
    EXPECT_TRUE(c.m_rcClient.isEmpty());
    EXPECT_EQ(c.m_nGap, 1);
    EXPECT_EQ(c.m_dBlockWidth, 0.0);
    EXPECT_EQ(c.m_dBlockHeight, 0.0);
    EXPECT_EQ(c.m_pThread, nullptr);
    EXPECT_FALSE(c.m_bRunning);
    EXPECT_EQ(c.m_nInterval, 100);
    EXPECT_EQ(c.m_nMode, 1);
    EXPECT_EQ(c.m_nRangeMin, 0);
    EXPECT_EQ(c.m_nRangeMax, 100);
    EXPECT_TRUE(c.m_bFollowSysColor);
    EXPECT_EQ(c.m_nMotion, 1);
    EXPECT_EQ(c.m_nFillStyle, 1);
    EXPECT_EQ(c.m_nSubSteps, 5);
    EXPECT_EQ(c.m_nTotalSubSteps, 50);
    EXPECT_EQ(CBusyProgressCtrl::ToQColor(c.m_crBack), c.palette().color(QPalette::Button));
    EXPECT_EQ(CBusyProgressCtrl::ToQColor(c.m_crBlock), QColor(160, 190, 220));
    EXPECT_EQ(CBusyProgressCtrl::ToQColor(c.m_crBlockBorder), QColor(50, 90, 135));
    EXPECT_EQ(CBusyProgressCtrl::ToQColor(c.m_crLit), QColor(190, 220, 255));
    EXPECT_EQ(CBusyProgressCtrl::ToQColor(c.m_crLitBorder), QColor(50, 90, 135));
    EXPECT_EQ(c.m_dcMem, nullptr);
    EXPECT_TRUE(c.m_bmpBuffer.isNull());
}

TEST(BusyProgressCtrl, StepSequences)
{
    std::vector<int> bounce;
    for (int i = 1; i <= 49; ++i)
        bounce.push_back(i);
    for (int i = 48; i >= 0; --i)
        bounce.push_back(i);
    bounce.push_back(1);
    struct Case {
        const char* name;
        int blocks, motion, fillStyle, subSteps, start;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"bounce over 50 blocks, one lit turn at each end", 50, 1, 1, 5, 0, bounce},
        {"one block: at 0 the turn upward wins", 1, 1, 1, 5, 0, {1, 0, 1}},
        {"forward wraps from the last block to the first", 50, 2, 1, 5, 47, {48, 49, 0, 1}},
        {"backward wraps from the first block to the last", 50, 4, 1, 5, 2, {1, 0, 49, 48}},
        {"bar style bounces within the sub-steps", 50, 1, 2, 2, 98, {99, 98, 97}},
        {"bar style forward wraps at the sub-step total", 50, 2, 2, 2, 98, {99, 0}},
        {"an unknown motion is unbounded", 50, 3, 1, 5, 49, {50, 51}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        CBusyProgressCtrl c(test.blocks, 0);
        c.SendMessage(WM_BUSY_SETSUBSTEPS, test.subSteps);
        c.SetFillStyle(test.fillStyle);
        c.SetMotion(test.motion);
        c.m_nPosition = test.start;
        std::vector<int> seen;
        for (size_t i = 0; i < test.expected.size(); ++i) {
            c.Step();
            seen.push_back(c.m_nPosition);
        }
        EXPECT_EQ(seen, test.expected);
    }
}

TEST(BusyProgressCtrl, ResetStartsBackwardMotionPastTheEnd)
{
    CBusyProgressCtrl c(50, 7);
    c.SetMotion(4);
    c.Reset();
    EXPECT_EQ(c.m_nPosition, 50);
    EXPECT_EQ(c.m_nDirection, -1);
    c.Step();
    EXPECT_EQ(c.m_nPosition, 49);
    c.SendMessage(WM_BUSY_SETSUBSTEPS, 3); // in bar style the start is sub-steps times blocks
    c.SetFillStyle(2);
    EXPECT_EQ(c.m_nPosition, 150);
    EXPECT_EQ(c.m_nTotalSubSteps, 150);
    c.SetMotion(1);
    c.Reset();
    EXPECT_EQ(c.m_nPosition, 0);
    EXPECT_EQ(c.m_nDirection, 1);
}

TEST(BusyProgressCtrl, ModeThreeSticksAndIsNotBusyForTheSetters)
{
    CBusyProgressCtrl c(50, 0);
    c.SetMode(3);
    c.SetMode(2);
    c.SetMode(1);
    EXPECT_EQ(c.m_nMode, 3);
    c.SetMotion(4); // stored, direction untouched
    EXPECT_EQ(c.m_nMotion, 4);
    EXPECT_EQ(c.m_nDirection, 1);
    c.SetFillStyle(2);
    EXPECT_EQ(c.m_nFillStyle, 1);
    c.m_nPosition = 9;
    c.Reset(); // backward motion, but not busy mode exactly
    EXPECT_EQ(c.m_nPosition, 0);
    c.SetMotion(1); // stepping still tests bit 0 and bounces at the end
    c.m_nPosition = 49;
    c.Step();
    EXPECT_EQ(c.m_nPosition, 48);
}

TEST(BusyProgressCtrl, FillStyleIsIgnoredInProgressMode)
{
    CBusyProgressCtrl c(10, 0);
    c.SetMotion(4);
    c.SetMode(2);
    EXPECT_EQ(c.m_nDirection, 1);
    c.m_nPosition = 7;
    c.SetFillStyle(2);
    EXPECT_EQ(c.m_nFillStyle, 1);
    EXPECT_EQ(c.m_nPosition, 7);
    EXPECT_EQ(c.m_nTotalSubSteps, 50);
    c.Start();
    EXPECT_FALSE(c.m_bRunning);
    EXPECT_EQ(c.m_pThread, nullptr);
}

// 431 pixels, 50 blocks: width 7.62, blocks 0..3 at 0/7, 8/16, 17/24, 25/33 (right exclusive).
TEST(BusyProgressCtrl, DrawsTheRowWithTruncatedAccumulatedEdges)
{
    Shown s(50, {431, 12});
    EXPECT_DOUBLE_EQ(s.ctrl->m_dBlockWidth, 7.62);
    s.ctrl->SendMessage(WM_BUSY_SETPOSITION, 2);
    const QImage image = s.Render();
    const int edges[][2] = {{0, 7}, {8, 16}, {17, 24}, {25, 33}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const auto [left, right] = edges[i];
        const COLORREF border = i == 2 ? s.ctrl->m_crLitBorder : s.ctrl->m_crBlockBorder;
        const COLORREF inside = i == 2 ? s.ctrl->m_crLit : s.ctrl->m_crBlock;
        EXPECT_EQ(At(image, left, 6), Rgb(border));
        EXPECT_EQ(At(image, right - 1, 6), Rgb(border));
        EXPECT_EQ(At(image, left + 1, 6), Rgb(inside));
        EXPECT_EQ(At(image, right - 2, 6), Rgb(inside));
        EXPECT_EQ(At(image, left + 1, 0), Rgb(border));
        EXPECT_EQ(At(image, left + 1, 11), Rgb(border));
        EXPECT_EQ(At(image, right, 6), Rgb(kBack));
    }
    EXPECT_EQ(At(image, 430, 6), Rgb(kBack)); // the one trailing gap
}

// 10 blocks of 42.1 pixels, 5 sub-steps each, position 23: f = 4.6, four lit, 25 pixels of the fifth.
TEST(BusyProgressCtrl, DrawsTheBarWithAPartlyLitHead)
{
    Shown s(10, {431, 12});
    s.ctrl->SetFillStyle(2);
    s.ctrl->SendMessage(WM_BUSY_SETPOSITION, 23);
    const QImage image = s.Render();
    const int lefts[] = {0, 43, 86, 129, 172, 215, 258, 301, 344, 387};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(At(image, lefts[i] + 30, 6), Rgb(i < 4 ? s.ctrl->m_crLit : s.ctrl->m_crBlock)) << i;
    EXPECT_EQ(At(image, 172, 6), Rgb(s.ctrl->m_crBlockBorder));
    EXPECT_EQ(At(image, 173, 6), Rgb(s.ctrl->m_crLit));
    EXPECT_EQ(At(image, 197, 6), Rgb(s.ctrl->m_crLit));
    EXPECT_EQ(At(image, 198, 6), Rgb(s.ctrl->m_crBlock));
    EXPECT_EQ(At(image, 197, 0), Rgb(s.ctrl->m_crBlockBorder)); // the frame stays
    EXPECT_EQ(At(image, 213, 6), Rgb(s.ctrl->m_crBlockBorder));
}

TEST(BusyProgressCtrl, PartialBlockStopsShortOfTheRightFrame)
{
    struct Case {
        int width, litColumns;
    };
    // Block at x 10..29: inside 11..28 (18 columns); the fill never reaches column 29.
    const Case cases[] = {{0, 0}, {-3, 0}, {5, 5}, {17, 17}, {18, 18}, {19, 18}, {1000, 18}};
    CBusyProgressCtrl c(10, 0);
    for (const Case& test : cases) {
        SCOPED_TRACE(test.width);
        QImage image(40, 10, QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter painter(&image);
        c.DrawPartialBlock(painter, QRect(10, 0, 20, 10), test.width);
        painter.end();
        EXPECT_EQ(CountColor(image, c.m_crLit), test.litColumns * 8);
        if (test.litColumns > 0) {
            EXPECT_EQ(At(image, 11, 1), Rgb(c.m_crLit));
            EXPECT_EQ(At(image, 10 + test.litColumns, 8), Rgb(c.m_crLit));
        }
        EXPECT_EQ(At(image, 29, 5), qRgb(0, 0, 0));
        EXPECT_EQ(At(image, 11, 0), qRgb(0, 0, 0));
    }
}

TEST(BusyProgressCtrl, DegenerateSettingsDrawHarmlessly)
{
    using C = CBusyProgressCtrl;
    struct Case {
        const char* name;
        std::function<void(C&)> setup;
        bool blocks, lit;
    };
    const Case cases[] = {
        {"no blocks", [](C& c) { c.SendMessage(WM_BUSY_SETBLOCKCOUNT, 0); }, false, false},
        {"negative count", [](C& c) { c.SendMessage(WM_BUSY_SETBLOCKCOUNT, -5); }, false, false},
        {"more blocks than pixels", [](C& c) { c.SendMessage(WM_BUSY_SETBLOCKCOUNT, 500); }, false, false},
        {"gap wider than the row", [](C& c) { c.SendMessage(WM_BUSY_SETGAP, INT_MAX); }, false, false},
        {"negative gap", [](C& c) { c.SendMessage(WM_BUSY_SETGAP, -3); }, true, true},
        {"bar over zero sub-steps",
         [](C& c) {
             c.SendMessage(WM_BUSY_SETSUBSTEPS, 0);
             c.SetFillStyle(2);
             c.m_nPosition = 5;
         },
         true, false},
        {"bar far past its end",
         [](C& c) {
             c.SetFillStyle(2);
             c.m_nPosition = INT_MAX;
         },
         true, true},
        {"progress over an empty range",
         [](C& c) {
             c.SetMode(2);
             c.SendMessage(WM_BUSY_SETRANGE, 4, 4);
             c.m_nPosition = 3;
         },
         true, false},
        {"progress below the range",
         [](C& c) {
             c.SetMode(2);
             c.m_nPosition = INT_MIN;
         },
         true, false},
        {"unknown fill style", [](C& c) { c.SetFillStyle(7); }, false, false},
        {"unknown mode", [](C& c) { c.SetMode(4); }, false, false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        Shown s(10, {200, 10});
        test.setup(*s.ctrl);
        const QImage image = s.Render();
        EXPECT_EQ(CountColor(image, s.ctrl->m_crBlockBorder) > 0, test.blocks);
        EXPECT_EQ(CountColor(image, s.ctrl->m_crLit) > 0, test.lit);
    }
    CBusyProgressCtrl c(10, INT_MAX); // unbounded motion wraps instead of overflowing
    c.SetMotion(3);
    c.Step();
    EXPECT_EQ(c.m_nPosition, INT_MIN);
}

TEST(BusyProgressCtrl, BufferIsKeptUntilAResize)
{
    Shown s(10, {200, 10});
    s.Render();
    ASSERT_NE(s.ctrl->m_dcMem, nullptr);
    s.ctrl->m_dcMem->setRenderHint(QPainter::LosslessImageRendering); // marks this painter
    s.Render();
    EXPECT_TRUE(s.ctrl->m_dcMem->testRenderHint(QPainter::LosslessImageRendering));
    s.ctrl->resize(300, 16);
    EXPECT_EQ(s.ctrl->m_dcMem, nullptr);
    EXPECT_DOUBLE_EQ(s.ctrl->m_dBlockWidth, 19.0); // the old layout holds until RecalcLayout
    const QImage image = s.Render();
    EXPECT_EQ(s.ctrl->m_bmpBuffer.size(), QSize(300, 16));
    EXPECT_FALSE(s.ctrl->m_dcMem->testRenderHint(QPainter::LosslessImageRendering));
    EXPECT_EQ(At(image, 250, 5), Rgb(kBack));
    s.ctrl->RecalcLayout();
    EXPECT_DOUBLE_EQ(s.ctrl->m_dBlockWidth, 29.0);
}

TEST(BusyProgressCtrl, BackgroundFollowsThePaletteWhileAsked)
{
    Shown s(10, {200, 10});
    const auto setButton = [&](const QColor& color) {
        QPalette palette = s.parent.palette();
        palette.setColor(QPalette::Button, color);
        s.parent.setPalette(palette);
    };
    EXPECT_EQ(s.ctrl->m_crBack, kBack); // a set colour holds...
    setButton(QColor(10, 20, 30));
    EXPECT_EQ(s.ctrl->m_crBack, 0x1E140Au); // ...until the palette changes
    EXPECT_EQ(At(s.Render(), 199, 5), qRgb(10, 20, 30));
    s.ctrl->SendMessage(WM_BUSY_FOLLOWSYSCOLOR, 0);
    setButton(QColor(40, 50, 60));
    EXPECT_EQ(s.ctrl->m_crBack, 0x1E140Au);
    s.ctrl->SendMessage(WM_BUSY_FOLLOWSYSCOLOR, 1);
    EXPECT_EQ(s.ctrl->m_crBack, 0x3C3228u);
}

TEST(BusyProgressCtrl, RequestsByEveryRoute)
{
    using C = CBusyProgressCtrl;
    struct Request {
        unsigned msg;
        std::uintptr_t w = 0;
        std::intptr_t l = 0;
    };
    struct Case {
        const char* name;
        std::vector<Request> requests;
        std::function<void(C&)> check;
    };
    // The control starts 200 pixels wide with 10 blocks, gap 2 (not yet laid out), at position 0.
    const Case cases[] = {
        {"block count relayouts, keeps the total",
         {{WM_BUSY_SETBLOCKCOUNT, 20}},
         [](C& c) {
             EXPECT_EQ(c.m_nBlockCount, 20);
             EXPECT_EQ(c.m_dBlockWidth, 8.0);
             EXPECT_EQ(c.m_nTotalSubSteps, 50);
         }},
        {"position, as a 32-bit value",
         {{WM_BUSY_SETPOSITION, 0xFFFFFFFFu}},
         [](C& c) { EXPECT_EQ(c.m_nPosition, -1); }},
        {"gap relayouts", {{WM_BUSY_SETGAP, 4}}, [](C& c) { EXPECT_EQ(c.m_dBlockWidth, 16.0); }},
        {"interval", {{WM_BUSY_SETINTERVAL, 25}}, [](C& c) { EXPECT_EQ(c.m_nInterval, 25); }},
        {"range",
         {{WM_BUSY_SETRANGE, static_cast<std::uintptr_t>(-5), 5}},
         [](C& c) {
             EXPECT_EQ(c.m_nRangeMin, -5);
             EXPECT_EQ(c.m_nRangeMax, 5);
         }},
        {"mode", {{WM_BUSY_SETMODE, 2}}, [](C& c) { EXPECT_EQ(c.m_nMode, 2); }},
        {"start then stop",
         {{WM_BUSY_START}, {WM_BUSY_STOP}},
         [](C& c) {
             EXPECT_FALSE(c.m_bRunning);
             EXPECT_EQ(c.m_pThread, nullptr);
         }},
        {"step", {{WM_BUSY_STEP}, {WM_BUSY_STEP}}, [](C& c) { EXPECT_EQ(c.m_nPosition, 2); }},
        {"motion",
         {{WM_BUSY_SETMOTION, 4}},
         [](C& c) {
             EXPECT_EQ(c.m_nMotion, 4);
             EXPECT_EQ(c.m_nDirection, -1);
         }},
        {"fill style rewinds",
         {{WM_BUSY_SETPOSITION, 3}, {WM_BUSY_SETFILLSTYLE, 2}},
         [](C& c) {
             EXPECT_EQ(c.m_nFillStyle, 2);
             EXPECT_EQ(c.m_nPosition, 0);
         }},
        {"sub-steps in bar style",
         {{WM_BUSY_SETFILLSTYLE, 2}, {WM_BUSY_SETSUBSTEPS, 3}},
         [](C& c) { EXPECT_EQ(c.m_nTotalSubSteps, 30); }},
        {"sub-steps in single style",
         {{WM_BUSY_SETSUBSTEPS, 3}},
         [](C& c) {
             EXPECT_EQ(c.m_nSubSteps, 3);
             EXPECT_EQ(c.m_nTotalSubSteps, 50);
         }},
        {"colours",
         {{WM_BUSY_SETBACKCOLOR, 1},
          {WM_BUSY_SETBLOCKCOLOR, 2},
          {WM_BUSY_SETBLOCKBORDERCOLOR, 3},
          {WM_BUSY_SETLITCOLOR, 4},
          {WM_BUSY_SETLITBORDERCOLOR, 5}},
         [](C& c) {
             const COLORREF seen[] = {c.m_crBack, c.m_crBlock, c.m_crBlockBorder, c.m_crLit, c.m_crLitBorder};
             EXPECT_EQ(std::vector<COLORREF>(std::begin(seen), std::end(seen)), std::vector<COLORREF>({1, 2, 3, 4, 5}));
             EXPECT_TRUE(c.m_bFollowSysColor);
         }},
        {"recalc", {{WM_BUSY_RECALC}}, [](C& c) { EXPECT_EQ(c.m_dBlockWidth, 18.0); }},
        {"reset", {{WM_BUSY_SETPOSITION, 6}, {WM_BUSY_RESET}}, [](C& c) { EXPECT_EQ(c.m_nPosition, 0); }},
        {"follow the palette", {{WM_BUSY_FOLLOWSYSCOLOR, 0}}, [](C& c) { EXPECT_FALSE(c.m_bFollowSysColor); }},
        {"an unknown request changes nothing", {{0x415, 9}}, [](C& c) { EXPECT_EQ(c.m_nPosition, 0); }},
    };
    enum Route { Direct, FromAnotherThread, Posted };
    for (const Route route : {Direct, FromAnotherThread, Posted}) {
        for (const Case& test : cases) {
            SCOPED_TRACE(testing::Message() << test.name << ", route " << route);
            Shown s(10, {200, 10});
            s.ctrl->m_nGap = 2;
            s.ctrl->m_nInterval = 5;
            std::vector<C::LRESULT> answers;
            const auto send = [&] {
                for (const Request& r : test.requests)
                    answers.push_back(s.ctrl->SendMessage(r.msg, r.w, r.l));
            };
            if (route == Direct) {
                send();
            } else if (route == FromAnotherThread) {
                std::atomic<bool> done{false};
                std::thread client([&] { send(), done = true; });
                EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 5000));
                client.join();
            } else {
                for (const Request& r : test.requests)
                    QCoreApplication::postEvent(s.ctrl, new CBusyRequestEvent(r.msg, r.w, r.l));
                QCoreApplication::sendPostedEvents(s.ctrl);
                answers.resize(test.requests.size());
            }
            EXPECT_EQ(answers, std::vector<C::LRESULT>(test.requests.size(), 0));
            test.check(*s.ctrl);
        }
    }
}

TEST(BusyProgressCtrl, TakesThePlaceOfADialogItem)
{
    QWidget page;
    auto* placeholder = new QLabel(&page);
    SetDlgCtrlID(placeholder, 1004);
    placeholder->setGeometry(20, 64, 570, 20);
    CBusyProgressCtrl c(10, 0);
    EXPECT_FALSE(c.SubclassDlgItem(1005, &page));
    ASSERT_TRUE(c.SubclassDlgItem(1004, &page));
    EXPECT_EQ(GetDlgItem(&page, 1004), &c);
    EXPECT_EQ(c.geometry(), QRect(20, 64, 570, 20));
    EXPECT_DOUBLE_EQ(c.m_dBlockWidth, 56.0);
    EXPECT_DOUBLE_EQ(c.m_dBlockHeight, 20.0);
    c.m_nBlockCount = 50; // as the Internet Files page configures it
    c.RecalcLayout();
    EXPECT_DOUBLE_EQ(c.m_dBlockWidth, 10.4);

    CBusyProgressCtrl created(10, 0);
    EXPECT_FALSE(created.Create(nullptr, QRect(0, 0, 110, 8), 7));
    ASSERT_TRUE(created.Create(&page, QRect(0, 0, 110, 8), 7));
    EXPECT_EQ(GetDlgItem(&page, 7), &created);
    EXPECT_EQ(created.text(), QStringLiteral("BusyProgressCtrl"));
    EXPECT_DOUBLE_EQ(created.m_dBlockWidth, 10.0);
}

namespace {
class CountingCtrl : public CBusyProgressCtrl {
public:
    using CBusyProgressCtrl::CBusyProgressCtrl;
    std::atomic<int> paints{0};
    void DrawBackground(QPainter& dc, const QRect& rect) override
    {
        ++paints;
        CBusyProgressCtrl::DrawBackground(dc, rect);
    }
};
} // namespace

TEST(BusyProgressCtrl, AnimationStartsStepsRepaintsAndStops)
{
    QWidget parent;
    auto* c = new CountingCtrl(50, 0, &parent);
    c->setGeometry(0, 0, 200, 10);
    c->PreSubclassWindow();
    c->m_nInterval = 20;
    parent.show();
    const int baseline = ThreadCount();

    c->Stop(); // nothing running: only the flag is cleared
    c->m_bRunning = true;
    c->Stop();
    EXPECT_FALSE(c->m_bRunning);
    EXPECT_EQ(c->m_nPosition, 0);

    c->Start();
    EXPECT_TRUE(c->m_bRunning);
    EXPECT_TRUE(QTest::qWaitFor([&] { return c->m_nPosition >= 3 && c->paints >= 2; }, 5000));
    c->Start(); // restarts from where it is, with one thread
    const int before = c->m_nPosition;
    EXPECT_EQ(ThreadCount(), baseline + 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return c->m_nPosition > before; }, 5000));
    c->Stop();
    EXPECT_EQ(c->m_pThread, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ThreadCount() == baseline; }, 2000));
    const int stopped = c->m_nPosition;
    QTest::qWait(30);
    EXPECT_EQ(c->m_nPosition, stopped); // Stop does not rewind, nor step further

    c->Start();
    delete c; // the destructor stops and joins a running animation
    EXPECT_TRUE(QTest::qWaitFor([&] { return ThreadCount() == baseline; }, 2000));
}

TEST(BusyProgressCtrl, StartStopHammeredFromAnotherThread)
{
    Shown s(50, {200, 10});
    s.ctrl->m_nInterval = 1;
    const int baseline = ThreadCount();
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 300; ++i) {
            s.ctrl->Start();
            if (i % 3 == 0)
                s.ctrl->Start(); // start while running
            if (i % 5 != 0)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            s.ctrl->Stop();
            s.ctrl->Reset();
        }
        done = true;
    });
    const bool finished = QTest::qWaitFor([&] { return done.load(); }, 30000);
    worker.join();
    ASSERT_TRUE(finished);
    EXPECT_FALSE(s.ctrl->m_bRunning);
    EXPECT_EQ(s.ctrl->m_pThread, nullptr);
    delete s.ctrl; // joins any thread whose Stop ran out of time
    EXPECT_TRUE(QTest::qWaitFor([&] { return ThreadCount() == baseline; }, 2000));
}
