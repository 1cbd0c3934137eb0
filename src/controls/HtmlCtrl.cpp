#include "controls/HtmlCtrl.h"

#include "controls/ClickFocusOnly.h"
#include "controls/PlayerPage.h"
#include "controls/PreviewEngine.h"
#include "controls/PreviewLocation.h"
#include "controls/PreviewSchemeHandler.h"
#include "framework/DialogTemplate.h"

#include <QFile>
#include <QWebEnginePage>

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
    m_pBrowser->load(QUrl(QStringLiteral("qrc") + path));
    return 1;
}

void CHtmlCtrl::Navigate2(const std::string& location)
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
    if (preview::NamesMovie(location))
        PlayMovie(url);
    else
        m_pBrowser->load(url);
    if (!previous.isEmpty())
        preview::SchemeHandler()->RemoveLocalFile(previous);
}

void CHtmlCtrl::ShowMovie(std::string movie, const std::string& location)
{
    if (!m_pBrowser)
        return;
    m_location = location;
    const QUrl previous = std::exchange(m_localFile, preview::SchemeHandler()->AddLocalMovie(std::move(movie)));
    PlayMovie(m_localFile);
    if (!previous.isEmpty())
        preview::SchemeHandler()->RemoveLocalFile(previous);
}

void CHtmlCtrl::ShowNothing()
{
    if (!m_pBrowser)
        return;
    m_location.clear();
    ForgetLocalFile();
    m_pBrowser->load(QUrl(QStringLiteral("about:blank")));
}

void CHtmlCtrl::PlayMovie(const QUrl& url)
{
    // The player page takes the movie's own address as its origin, so the movie loads (and loads what it
    // needs) as a same-origin request, as it would on its own site.
    m_pBrowser->setHtml(preview::PlayerPageHtml(url, preview::SchemeHandler()->RuffleBase()), url);
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
    ForgetLocalFile();
    // Unbind before the page goes, so the view never holds a dangling page.
    std::unique_ptr<QWebEnginePage> browser = std::move(m_pBrowser);
    setPage(nullptr);
    browser.reset();
}
