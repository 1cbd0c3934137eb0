#include "controls/PlayerPage.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

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

QString PlayerPageHtml(const QUrl& movie, const QUrl& ruffleBase)
{
    QString html = PlayerFile(QStringLiteral("player.html"), ruffleBase);
    // The movie's address can be anything and is quoted.
    html.replace(QStringLiteral("@MOVIE@"), ScriptString(movie.toString(QUrl::FullyEncoded)));
    return html;
}

QString PlayerPreloadScript(const QUrl& ruffleBase)
{
    return PlayerFile(QStringLiteral("player-preload.js"), ruffleBase);
}

} // namespace preview
