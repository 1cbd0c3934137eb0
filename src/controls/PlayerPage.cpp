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
} // namespace

QString PlayerPageHtml(const QUrl& movie, const QUrl& ruffleBase)
{
    QFile file(QStringLiteral(":/preview/player.html"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString html = QString::fromUtf8(file.readAll());
    // The folder URL is the program's own; the movie's address can be anything and is quoted.
    html.replace(QStringLiteral("@RUFFLE@"), ruffleBase.toString(QUrl::FullyEncoded));
    html.replace(QStringLiteral("@MOVIE@"), ScriptString(movie.toString(QUrl::FullyEncoded)));
    return html;
}

} // namespace preview
