#include "controls/PreviewTestSupport.h"

#include <QCoreApplication>
#include <QWebEnginePage>
#include <QWidget>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>

namespace test {

namespace {
std::string MakeTempFolder(const char* pattern)
{
    std::string path = std::string("/tmp/") + pattern;
    if (::mkdtemp(path.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    return path;
}
} // namespace

ScratchHome::ScratchHome()
    : m_path(MakeTempFolder("plumeroc-home-XXXXXX"))
{
    ::setenv("HOME", m_path.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (m_path + "/.config").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (m_path + "/.cache").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (m_path + "/.local/share").c_str(), 1);
}

ScratchHome::~ScratchHome()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

ScratchFolder::ScratchFolder()
    : m_path(MakeTempFolder("plumeroc-preview-XXXXXX"))
{
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string ScratchFolder::Write(const std::string& name, const std::string& bytes) const
{
    const std::string path = m_path + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::vector<std::string> FilesBelow(const std::string& folder)
{
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (!entry.is_directory())
            files.push_back(entry.path().string());
    }
    return files;
}

LoopbackServer::LoopbackServer(const std::function<void(httplib::Server&)>& routes)
{
    routes(m_server);
    // One request per connection: an idle keep-alive connection would hold up stop().
    m_server.set_keep_alive_max_count(1);
    m_nPort = m_server.bind_to_any_port("127.0.0.1");
    if (m_nPort <= 0)
        throw std::runtime_error("cannot bind a loopback port");
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
}

LoopbackServer::~LoopbackServer()
{
    while (!m_server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    m_server.stop();
    m_thread.join();
}

std::string LoopbackServer::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(m_nPort) + path;
}

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
    return std::abs(actual.red() - expected.r) <= tolerance && std::abs(actual.green() - expected.g) <= tolerance &&
           std::abs(actual.blue() - expected.b) <= tolerance;
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

} // namespace test
