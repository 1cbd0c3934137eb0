#pragma once
// What window tests share: waiting on the event loop, pixel checks on a grab, scripts run in a web
// page, readable QString values in failure messages, and scripted dialogs.
#include "support/TestMovie.h"

#include <QColor>
#include <QImage>
#include <QString>

#include <chrono>
#include <functional>
#include <ostream>

class QWebEnginePage;
class QWidget;

// Readable QString values in failure messages.
void PrintTo(const QString& text, std::ostream* out);

namespace test {

// Runs the event loop until `done` holds or `timeout` passes; returns the last value of `done`.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// Whether two colours differ by at most `tolerance` in each channel.
bool Near(QColor actual, Rgb expected, int tolerance = 12);

// The colour at a point of a grab, given as a fraction of its size.
QColor ColourAt(const QImage& image, double x, double y);
QImage Grab(QWidget* widget);

// Runs a script in the page and waits for its result (a string); empty on timeout.
QString RunScript(QWebEnginePage* page, const QString& script, std::chrono::milliseconds timeout);

// While it lives, the dialog seam shows nothing: it records what would have been shown and answers
// from its queues. It starts and ends with an empty record.
class ScriptedDialogs {
public:
    ScriptedDialogs();
    ~ScriptedDialogs();
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;
};

} // namespace test
