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
} // namespace

QString PlayerPageHtml(const QUrl& movie, const QUrl& ruffleBase, const QUrl& base)
{
    QFile file(QStringLiteral(":/preview/player.html"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString html = QString::fromUtf8(file.readAll());
    // The folder URL is the program's own; the movie's address can be anything and is quoted.
    html.replace(QStringLiteral("@RUFFLE@"), ruffleBase.toString(QUrl::FullyEncoded));
    // Both addresses in one pass, so that neither can bring a placeholder of the other into the page.
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

} // namespace preview
