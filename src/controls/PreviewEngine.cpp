#include "controls/PreviewEngine.h"

#include "controls/PreviewRecorder.h"
#include "controls/PreviewSchemeHandler.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlScheme>

#include <memory>

namespace preview {

namespace {
constexpr char kScheme[] = "plumeroc";

struct Engine {
    // Declared first so it is destroyed last: the profile uses it until it goes.
    std::unique_ptr<CPreviewSchemeHandler> handler;
    std::unique_ptr<CPreviewRecorder> recorder;
    std::unique_ptr<QWebEngineProfile> profile;
};

std::unique_ptr<Engine> g_engine;

void ConfigureSettings(QWebEngineSettings* settings)
{
    // Movies start playing as soon as they are shown.
    settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    // Nothing shown in a preview reads local files through file: addresses.
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    settings->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, false);
}
} // namespace

void RegisterScheme()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    QWebEngineUrlScheme scheme(kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // Secure, so that https pages may use the player; CORS, so that its scripts may fetch from it.
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
}

QString FindRuffleFolder(const QString& programFolder)
{
    // Beside the program in the build folder; where the installation put it, relative to the
    // program, so that any prefix works.
    const QString candidates[] = {
        programFolder + QStringLiteral("/ruffle"),
        programFolder + QStringLiteral("/" PLUMEROC_RUFFLE_FROM_PROGRAM),
    };
    for (const QString& folder : candidates) {
        if (QFileInfo(folder + QStringLiteral("/ruffle.js")).isFile())
            return QDir::cleanPath(folder);
    }
    return {};
}

QWebEngineProfile* Profile()
{
    if (!g_engine) {
        RegisterScheme();
        auto engine = std::make_unique<Engine>();
        // A profile without a storage name is off the record: nothing of it goes to disk.
        engine->profile = std::make_unique<QWebEngineProfile>();
        engine->profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        engine->profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
        engine->profile->setSpellCheckEnabled(false);
        ConfigureSettings(engine->profile->settings());
        const QString ruffleFolder = FindRuffleFolder(QCoreApplication::applicationDirPath());
        if (ruffleFolder.isEmpty())
            qWarning("No Ruffle player in %s/ruffle nor in %s/" PLUMEROC_RUFFLE_FROM_PROGRAM
                     "; previews cannot play movies.",
                     qUtf8Printable(QCoreApplication::applicationDirPath()),
                     qUtf8Printable(QCoreApplication::applicationDirPath()));
        engine->handler = std::make_unique<CPreviewSchemeHandler>(QByteArray(kScheme), ruffleFolder);
        engine->profile->installUrlSchemeHandler(kScheme, engine->handler.get());
        engine->recorder = std::make_unique<CPreviewRecorder>();
        engine->profile->setUrlRequestInterceptor(engine->recorder.get());
        g_engine = std::move(engine);
        // The profile must go before the web engine shuts down, which happens in the application
        // object's destructor through a routine added when the engine started; routines added
        // later run earlier.
        qAddPostRoutine([] { g_engine.reset(); });
    }
    return g_engine->profile.get();
}

CPreviewSchemeHandler* SchemeHandler()
{
    Profile();
    return g_engine->handler.get();
}

CPreviewRecorder* Recorder()
{
    Profile();
    return g_engine->recorder.get();
}

bool EngineStarted() { return g_engine != nullptr; }

} // namespace preview
