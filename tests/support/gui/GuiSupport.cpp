#include "support/gui/GuiSupport.h"

#include "framework/Dialogs.h"

#include <QCoreApplication>
#include <QWebEnginePage>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>

void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace test {

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool Near(QColor actual, Rgb expected, int tolerance)
{
    return std::abs(actual.red() - expected.r) <= tolerance && std::abs(actual.green() - expected.g) <= tolerance
        && std::abs(actual.blue() - expected.b) <= tolerance;
}

QColor ColourAt(const QImage& image, double x, double y)
{
    if (image.isNull())
        return {};
    const int px = std::min(image.width() - 1, static_cast<int>(x * image.width()));
    const int py = std::min(image.height() - 1, static_cast<int>(y * image.height()));
    return image.pixelColor(px, py);
}

QImage Grab(QWidget* widget) { return widget->grab().toImage(); }

QString RunScript(QWebEnginePage* page, const QString& script, std::chrono::milliseconds timeout)
{
    // The answer may come after we gave up; it must not write into a finished frame.
    auto answer = std::make_shared<std::optional<QString>>();
    page->runJavaScript(script, [answer](const QVariant& value) { *answer = value.toString(); });
    WaitUntil([&] { return answer->has_value(); }, timeout);
    return answer->value_or(QString());
}

ScriptedDialogs::ScriptedDialogs()
{
    Dialogs::SetScripted(true);
    Dialogs::ClearHistory();
}

ScriptedDialogs::~ScriptedDialogs()
{
    Dialogs::ClearHistory();
    Dialogs::SetScripted(false);
}

} // namespace test
