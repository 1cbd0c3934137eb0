#include "controls/PlayerPage.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace preview {

namespace {
// A JavaScript string literal that is also safe inside a <script> element.
QString ScriptString(const QString& text)
{
    QByteArray json = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    json = json.mid(1, json.size() - 2); // drop the array's brackets
    json.replace("</", "<\\/");
    json.replace("<!--", "<\\!--");
    return QString::fromUtf8(json);
}

// One of the player's files, with the setup script in its place and the folder of Ruffle's files
// filled in (that URL is the program's own).
QString PlayerFile(const QString& name, const QUrl& ruffleBase)
{
    QFile file(QStringLiteral(":/preview/") + name);
    QFile setup(QStringLiteral(":/preview/player-setup.js"));
    if (!file.open(QIODevice::ReadOnly) || !setup.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    text.replace(QStringLiteral("@SETUP@"), QString::fromUtf8(setup.readAll()));
    text.replace(QStringLiteral("@RUFFLE@"), ruffleBase.toString(QUrl::FullyEncoded));
    return text;
}
} // namespace

QString PlayerPageHtml(const QUrl& movie, const QUrl& ruffleBase, const QUrl& base)
{
    const QString html = PlayerFile(QStringLiteral("player.html"), ruffleBase);
    // Both addresses in one pass, so that neither can bring a placeholder of the other into the page; the
    // movie's address can be anything and is quoted.
    const QString movieText = ScriptString(movie.toString(QUrl::FullyEncoded));
    const QString baseText = base.isEmpty() ? QStringLiteral("null") : ScriptString(base.toString(QUrl::FullyEncoded));
    static const QRegularExpression kPlaceholder(QStringLiteral("@(MOVIE|BASE)@"));
    QString page;
    qsizetype done = 0;
    for (auto match = kPlaceholder.globalMatch(html); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        page += html.mid(done, found.capturedStart() - done);
        page += found.captured(1) == QStringLiteral("MOVIE") ? movieText : baseText;
        done = found.capturedEnd();
    }
    return page + html.mid(done);
}

QString PlayerPreloadScript(const QUrl& ruffleBase)
{
    return PlayerFile(QStringLiteral("player-preload.js"), ruffleBase);
}

} // namespace preview
