#include "app/PlumerocApp.h"

#include "app/MainDialog.h"
#include "controls/PreviewEngine.h"
#include "framework/Commands.h"
#include "wayback/ArchiveSetting.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFile>
#include <QSettings>

#include <cstdio>

#include <unistd.h>

namespace {
const QString kAppName = QStringLiteral("Plumeroc");
} // namespace

CPlumerocApp::CPlumerocApp(int& argc, char** argv) : QApplication(argc, argv)
{
    // No display name: the window system would append it to every caption ("Warning — Plumeroc").
    setApplicationName(kAppName);
    setApplicationVersion(QStringLiteral(PLUMEROC_VERSION));
    // The desktop entry the window belongs to, so that a Wayland desktop shows its icon.
    setDesktopFileName(QStringLiteral(PLUMEROC_APP_ID));
}

void CPlumerocApp::PrepareEnvironment()
{
    // The web engine's sandbox cannot run as root; only then is it turned off.
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The web view draws with OpenGL, and Qt and the GL drivers would keep compiled shaders below
    // the home folder; the program writes nothing there. A user's own setting is left alone.
    QCoreApplication::setAttribute(Qt::AA_DisableShaderDiskCache);
    if (!qEnvironmentVariableIsSet("MESA_SHADER_CACHE_DISABLE"))
        qputenv("MESA_SHADER_CACHE_DISABLE", "true");
    if (!qEnvironmentVariableIsSet("__GL_SHADER_DISK_CACHE"))
        qputenv("__GL_SHADER_DISK_CACHE", "0");
    // The previews' own scheme must be known to the web engine before it starts.
    preview::RegisterScheme();
    // The program keeps no settings, but Qt's file dialog would save its history through QSettings.
    // A settings folder below a regular file can never be created, so nothing is written.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null/plumeroc"));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("/dev/null/plumeroc"));
}

int CPlumerocApp::InitInstance()
{
    // Besides help and version: the Local Files list made from a folder of the user's choosing, and the
    // archive "Go" falls back on.
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Finds Flash movies (.swf) in web pages and in the browser caches, and saves them."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption folder(QStringLiteral("folder"),
                                    QStringLiteral("List the movies below DIR on the Local Files page instead of "
                                                   "those of the cache folder and the browser caches."),
                                    QStringLiteral("DIR"));
    parser.addOption(folder);
    const QCommandLineOption archive(
        QStringLiteral("archive"),
        QStringLiteral("Read a page that cannot be fetched or answers an error status from its latest capture in the "
                       "Wayback Machine at URL (default %1), or from none with off.")
            .arg(QString::fromUtf8(wayback::kDefaultArchive.data(),
                                   static_cast<qsizetype>(wayback::kDefaultArchive.size()))),
        QStringLiteral("URL"));
    parser.addOption(archive);
    parser.process(arguments());
    if (parser.isSet(archive)) {
        const auto address = wayback::ReadArchiveOption(parser.value(archive).toStdString());
        if (!address) {
            std::fputs("plumeroc: --archive takes an http:// or https:// address, or off\n", stderr);
            return 1;
        }
        wayback::SetArchive(*address);
    }

    CMainDialog dialog;
    if (parser.isSet(folder))
        dialog.LocalPage().SetChosenFolder(QFile::encodeName(parser.value(folder)).toStdString());
    dialog.DoModal();
    return 0;
}

bool CPlumerocApp::notify(QObject* receiver, QEvent* event)
{
    bool handled = false;
    RunCommand([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}
