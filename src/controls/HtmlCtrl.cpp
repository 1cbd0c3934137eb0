#include "controls/HtmlCtrl.h"

#include "controls/ClickFocusOnly.h"
#include "controls/PlayerPage.h"
#include "controls/PreviewEngine.h"
#include "controls/PreviewLocation.h"
#include "controls/PreviewSchemeHandler.h"
#include "framework/DialogTemplate.h"

#include <QFile>
#include <QWebEnginePage>

#include <algorithm>
#include <string>
#include <utility>

CHtmlCtrl::CHtmlCtrl() : QWebEngineView(static_cast<QWidget*>(nullptr)) {}

CHtmlCtrl::~CHtmlCtrl() { OnDestroy(); }

int CHtmlCtrl::CreateOverPlaceholder(int id, QWidget* parent)
{
    if (parent == nullptr || m_pBrowser)
        return 0;
    QWidget* placeholder = GetDlgItem(parent, id);
    if (placeholder == nullptr)
        return 0;
    // A direct child's geometry is already in the parent's client coordinates.
    const QRect rect = placeholder->geometry();
    delete placeholder;
    return Create(rect, parent, id) ? 1 : 0;
}

bool CHtmlCtrl::Create(const QRect& rect, QWidget* parent, int id)
{
    QWebEngineProfile* profile = preview::Profile();
    if (profile == nullptr)
        return false;
    setParent(parent);
    SetDlgCtrlID(this, id);
    setGeometry(rect);
    m_pBrowser = std::make_unique<QWebEnginePage>(profile);
    setPage(m_pBrowser.get());
    // Like the placeholder it replaces, no tab stop: Tab would be caught inside the web page.
    new CClickFocusOnly(this);
    show();
    return true;
}

int CHtmlCtrl::LoadFromResource(int resourceId)
{
    if (!m_pBrowser)
        return 0;
    const QString path = QStringLiteral(":/html/%1.html").arg(resourceId);
    if (!QFile::exists(path))
        return 0;
    ForgetLocalFile();
    StopRecording();
    m_pBrowser->load(QUrl(QStringLiteral("qrc") + path));
    return 1;
}

void CHtmlCtrl::Navigate2(const std::string& location) { Navigate2(location, {}); }

void CHtmlCtrl::Navigate2(const std::string& location, const std::string& base)
{
    if (!m_pBrowser || location.empty())
        return;
    const bool local = preview::IsLocalPath(location);
    QUrl url;
    if (!local) {
        url = preview::UrlFromBytes(location);
        // A script address would run in whatever the viewer shows now; addresses come from pages.
        if (url.scheme() == QStringLiteral("javascript"))
            return;
    }
    m_location = location;
    const QUrl previous = std::exchange(m_localFile, QUrl());
    if (local) {
        // Served by the program's scheme, so the page reaches this one file and no other.
        m_localFile = preview::SchemeHandler()->AddLocalFile(location);
        url = m_localFile;
    }
    if (preview::NamesMovie(location)) {
        // Ruffle takes a folder for its base: the page's own folder.
        QUrl folder;
        if (!base.empty() && !local)
            folder = preview::UrlFromBytes(base).resolved(QUrl(QStringLiteral(".")));
        PlayMovie(url, url, folder);
    } else {
        StopRecording();
        m_pBrowser->load(url);
    }
    if (!previous.isEmpty())
        preview::SchemeHandler()->RemoveLocalFile(previous);
}

void CHtmlCtrl::ShowMovie(std::string movie, const std::string& location) { ShowMovie(std::move(movie), location, {}); }

void CHtmlCtrl::ShowMovie(std::string movie, const std::string& location, const std::string& address)
{
    if (!m_pBrowser)
        return;
    m_location = location;
    QUrl document = address.empty() ? QUrl() : preview::UrlFromBytes(address);
    if (document.scheme() != QStringLiteral("http") && document.scheme() != QStringLiteral("https"))
        document.clear();
    // The page is the movie's own site, which may read the movie as the player fetches it.
    const QUrl origin = document.isEmpty() ? QUrl() : document.adjusted(QUrl::RemovePath | QUrl::RemoveQuery);
    const QUrl previous = std::exchange(m_localFile, preview::SchemeHandler()->AddLocalMovie(std::move(movie), origin));
    PlayMovie(m_localFile, document.isEmpty() ? m_localFile : document);
    if (!previous.isEmpty())
        preview::SchemeHandler()->RemoveLocalFile(previous);
}

void CHtmlCtrl::PlayFromFolder(const std::string& location, const std::string& folder, const std::string& movie,
                               CPreviewSchemeHandler::Locate locate)
{
    if (!m_pBrowser)
        return;
    const QUrl url = preview::SchemeHandler()->AddLocalFolder(folder, movie, std::move(locate));
    if (url.isEmpty()) {
        ShowNothing();
        return;
    }
    m_location = location;
    const QUrl previous = std::exchange(m_localFile, url);
    PlayMovie(url, url);
    if (!previous.isEmpty())
        preview::SchemeHandler()->RemoveLocalFile(previous);
}

std::vector<std::string> CHtmlCtrl::Played(const std::string& location) const
{
    const auto played = m_played.find(location);
    return played == m_played.end() ? std::vector<std::string>{} : played->second;
}

void CHtmlCtrl::ShowNothing()
{
    if (!m_pBrowser)
        return;
    StopRecording();
    m_location.clear();
    ForgetLocalFile();
    m_pBrowser->load(QUrl(QStringLiteral("about:blank")));
}

void CHtmlCtrl::PlayMovie(const QUrl& url, const QUrl& document, const QUrl& base)
{
    StopRecording();
    m_recording = preview::Recorder()->Listen(
        document, [this, location = m_location, url](const QUrl& request) { Record(location, url, request); });
    // The player page takes the movie's own address (or the site it was stored for) as its origin, so the movie
    // loads what it needs as a same-origin request, as it would on its own site.
    m_pBrowser->setHtml(preview::PlayerPageHtml(url, preview::SchemeHandler()->RuffleBase(), base), document);
}

void CHtmlCtrl::Record(const std::string& location, const QUrl& movie, const QUrl& request)
{
    const QString scheme = request.scheme();
    if (request == movie || request.host() == preview::SchemeHandler()->RuffleBase().host()
        || scheme == QStringLiteral("data") || scheme == QStringLiteral("blob") || scheme == QStringLiteral("about"))
        return;
    const std::string address = request.toString(QUrl::FullyEncoded).toStdString();
    std::vector<std::string>& played = m_played[location];
    if (std::find(played.begin(), played.end(), address) == played.end())
        played.push_back(address);
}

void CHtmlCtrl::StopRecording()
{
    if (m_recording != 0 && preview::EngineStarted())
        preview::Recorder()->Forget(std::exchange(m_recording, 0));
}

void CHtmlCtrl::ForgetLocalFile()
{
    if (!m_localFile.isEmpty() && preview::EngineStarted())
        preview::SchemeHandler()->RemoveLocalFile(std::exchange(m_localFile, QUrl()));
}

void CHtmlCtrl::OnDestroy()
{
    if (!m_pBrowser)
        return;
    StopRecording();
    ForgetLocalFile();
    // Unbind before the page goes, so the view never holds a dangling page.
    std::unique_ptr<QWebEnginePage> browser = std::move(m_pBrowser);
    setPage(nullptr);
    browser.reset();
}
