#pragma once
// Serves the program's own scheme to the previews:
//   <scheme>://ruffle/<file>         the Ruffle player's files, from one folder and nothing below it;
//   <scheme>://local/<token>/<name>  a local file being previewed, opened by its exact path bytes.
// A local file is reachable only while it is registered, only under its own random token and its
// own name, and only by the program's navigation or a page of the local-file origin; every other
// request is refused.
#include <QString>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

#include <map>
#include <string>

class CPreviewSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    CPreviewSchemeHandler(QByteArray scheme, QString ruffleFolder, QObject* parent = nullptr);

    // The folder URL the Ruffle files are served from, ending in "/".
    QUrl RuffleBase() const;
    // Whether the Ruffle player was found.
    bool HasRuffle() const { return !m_strRuffleFolder.isEmpty(); }

    // Makes the local file at `path` reachable and returns its address.
    QUrl AddLocalFile(const std::string& path);
    // Makes `movie`, a movie held in memory (one taken out of a browser cache), reachable the same way.
    QUrl AddLocalMovie(std::string movie);
    void RemoveLocalFile(const QUrl& url);
    std::size_t LocalFileCount() const { return m_files.size(); }

    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    void ServeRuffleFile(QWebEngineUrlRequestJob* job, const QString& path);
    void ServeLocalFile(QWebEngineUrlRequestJob* job, const QString& path);

    QByteArray m_scheme;
    QString m_strRuffleFolder;
    struct LocalFile {
        std::string path;  // the path bytes, whose last component is the served name
        std::string bytes; // for a movie held in memory
        bool inMemory = false;
    };
    QUrl AddLocal(LocalFile file);

    std::map<QString, LocalFile> m_files; // token -> what it serves
};
