// What the X server receives from the main window and its boxes: the captions as the window manager
// shows them, the size hints that keep the window at its size, and the window each box belongs to.
// Runs on the xcb platform under its own Xvfb.
#include "app/MainDialog.h"
#include "framework/Commands.h"
#include "framework/MovieDialogs.h"
#include "res/resource.h"
#include "support/TempFolder.h"
#include "support/gui/GuiSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>

namespace {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};

xcb_connection_t* Connection() { return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection(); }

xcb_atom_t Atom(const char* name)
{
    const auto cookie = xcb_intern_atom(Connection(), 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    const std::unique_ptr<xcb_intern_atom_reply_t, FreeReply> reply(
        xcb_intern_atom_reply(Connection(), cookie, nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// A property of a window as the server holds it, as raw bytes; empty when the window has none.
QByteArray Property(WId window, xcb_atom_t property)
{
    const auto cookie = xcb_get_property(Connection(), 0, static_cast<xcb_window_t>(window), property,
                                         XCB_GET_PROPERTY_TYPE_ANY, 0, 4096);
    const std::unique_ptr<xcb_get_property_reply_t, FreeReply> reply(
        xcb_get_property_reply(Connection(), cookie, nullptr));
    if (!reply)
        return {};
    return {static_cast<const char*>(xcb_get_property_value(reply.get())), xcb_get_property_value_length(reply.get())};
}

// The property as 32-bit values (WM_NORMAL_HINTS, WM_TRANSIENT_FOR).
std::vector<std::uint32_t> Cardinals(WId window, xcb_atom_t property)
{
    const QByteArray bytes = Property(window, property);
    std::vector<std::uint32_t> values(static_cast<std::size_t>(bytes.size()) / 4);
    std::memcpy(values.data(), bytes.data(), values.size() * 4);
    return values;
}

QString Caption(WId window) { return QString::fromUtf8(Property(window, Atom("_NET_WM_NAME"))); }

// A modal box or dialog as the server saw it.
struct SeenBox {
    QString caption;
    std::uint32_t transientFor = 0; // the window it belongs to
};

// Runs `open`, which shows a modal box or dialog and returns when it closes. Meanwhile waits until
// the box has its caption on the server, reads what the server has, and closes the box.
SeenBox WhileShown(const std::function<void()>& open)
{
    SeenBox seen;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible())
            return;
        seen.caption = Caption(box->winId());
        if (seen.caption.isEmpty() && clock.elapsed() < 10000)
            return;
        const auto owner = Cardinals(box->winId(), XCB_ATOM_WM_TRANSIENT_FOR);
        seen.transientFor = owner.empty() ? 0 : owner[0];
        box->done(QDialog::Rejected);
    });
    poll.start(20);
    open();
    return seen;
}

class WindowSystemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        ASSERT_TRUE(m_dialog.InitModeless());
        m_dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_dialog));
    }

    QPushButton* Button(int id) { return qobject_cast<QPushButton*>(GetDlgItem(&m_dialog.InternetPage(), id)); }
    std::uint32_t MainWindowId() { return static_cast<std::uint32_t>(m_dialog.winId()); }

    // Start-up reads the browser history and walks the cache: give it an empty home of its own.
    test::TempHome m_home;
    CMainDialog m_dialog;
};

TEST_F(WindowSystemTest, CaptionsAreTheProgramsOwnAndEveryBoxBelongsToTheMainWindow)
{
    EXPECT_EQ(Caption(m_dialog.winId()), QStringLiteral("Plumeroc"));
    struct Case {
        const char* caption;
        std::function<void()> open;
    };
    const Case cases[] = {
        {"Warning", [&] { Button(IDC_SAVE)->click(); }}, // no row selected
        {"Plumeroc", [] { RunCommand([] { throw std::runtime_error("Disk full."); }); }},
        {"Plumeroc", [] { AfxMessageBox(QStringLiteral("create write file failure!")); }},
        {"Save As", [&] { MovieDialogs::AskMovieFileName(&m_dialog.LocalPage()); }},
        {"Select Add Folder.", [&] { Button(IDC_SAVE_ALL)->click(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        const SeenBox seen = WhileShown(c.open);
        EXPECT_EQ(seen.caption, QString::fromLatin1(c.caption));
        EXPECT_EQ(seen.transientFor, MainWindowId());
    }
}

TEST_F(WindowSystemTest, FailureBoxBelongsToTheMainWindowWhateverWindowIsActive)
{
    QWidget other;
    other.resize(200, 100);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    const auto fail = [] { RunCommand([] { throw std::runtime_error("Disk full."); }); };

    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    SeenBox seen = WhileShown(fail);
    EXPECT_EQ(seen.transientFor, MainWindowId());

    // The user works in another program: none of ours is active.
    xcb_set_input_focus(Connection(), XCB_INPUT_FOCUS_POINTER_ROOT, XCB_INPUT_FOCUS_POINTER_ROOT, XCB_CURRENT_TIME);
    xcb_flush(Connection());
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activeWindow() == nullptr; }, 5000));
    seen = WhileShown(fail);
    EXPECT_EQ(seen.transientFor, MainWindowId());
}

TEST_F(WindowSystemTest, MainWindowTellsTheWindowManagerItsSizeIsFixed)
{
    // WM_NORMAL_HINTS: flags, x, y, width, height, then the minimum and the maximum size.
    const auto hints = Cardinals(m_dialog.winId(), XCB_ATOM_WM_NORMAL_HINTS);
    ASSERT_GE(hints.size(), 9u);
    constexpr std::uint32_t kMinSize = 16, kMaxSize = 32;
    EXPECT_EQ(hints[0] & (kMinSize | kMaxSize), kMinSize | kMaxSize);
    const std::uint32_t width = static_cast<std::uint32_t>(m_dialog.width());
    const std::uint32_t height = static_cast<std::uint32_t>(m_dialog.height());
    EXPECT_EQ(hints[5], width);
    EXPECT_EQ(hints[6], height);
    EXPECT_EQ(hints[7], width);
    EXPECT_EQ(hints[8], height);
}

} // namespace
