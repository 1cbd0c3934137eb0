#pragma once
// Helpers shared by the preview tests: a scratch home folder, a loopback HTTP server on its own
// thread (the web engine fetches from another process), waiting on the event loop, and pixel
// checks on a grab of the viewer.
#include "controls/TestMovie.h"

#include <httplib.h>

#include <QColor>
#include <QImage>
#include <QString>

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

class QWebEnginePage;
class QWidget;

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace test {

// A new empty folder set as HOME and XDG_CONFIG_HOME, XDG_CACHE_HOME, XDG_DATA_HOME below it;
// removed at the end.
class ScratchHome {
public:
    ScratchHome();
    ~ScratchHome();
    ScratchHome(const ScratchHome&) = delete;
    ScratchHome& operator=(const ScratchHome&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// A fresh folder below /tmp, removed with its contents.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return m_path; }
    std::string Write(const std::string& name, const std::string& bytes) const;

private:
    std::string m_path;
};

// Every file below `folder` (folders that are empty do not count).
std::vector<std::string> FilesBelow(const std::string& folder);

class LoopbackServer {
public:
    explicit LoopbackServer(const std::function<void(httplib::Server&)>& routes);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;
    std::string Url(const std::string& path) const;

private:
    httplib::Server m_server;
    int m_nPort = 0;
    std::thread m_thread;
};

// Runs the event loop until `done` holds or `timeout` passes; returns the last value of `done`.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// Whether two colours differ by at most `tolerance` in each channel.
bool Near(QColor actual, Rgb expected, int tolerance = 12);

// The colour at a point of a grab, given as a fraction of its size.
QColor ColourAt(const QImage& image, double x, double y);
QImage Grab(QWidget* widget);

// Runs a script in the page and waits for its result (a string); empty on timeout.
QString RunScript(QWebEnginePage* page, const QString& script, std::chrono::milliseconds timeout);

} // namespace test
