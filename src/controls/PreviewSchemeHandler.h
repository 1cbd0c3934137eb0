#pragma once
// Serves the program's own scheme to the previews:
//   <scheme>://ruffle/<file>         the Ruffle player's files, from one folder and nothing below it;
//   <scheme>://local/<token>/<name>  a local file being previewed, opened by its exact path bytes;
//   <scheme>://f<token>/<path>       the files below a folder, for a movie played from it: what it loads by
//                                    relative address is answered from the disk below that folder.
// A local file is reachable only while it is registered, only under its own random token and its
// own name, and only by the program's navigation or a page of the local-file origin (or, for a movie
// held in memory, of the origin it plays in); a folder's files only by the program's navigation and the
// folder's own pages, and never outside the folder. Every other request is refused.
#include "platform/FileDescriptor.h"

#include <QString>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

#include <functional>
#include <map>
#include <string>
#include <vector>

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
    // Makes `movie`, a movie held in memory (one taken out of a browser cache), reachable the same way, also to
    // the pages of `origin` (the address the movie plays in), when given.
    QUrl AddLocalMovie(std::string movie, const QUrl& origin = {});

    // Where in a folder the file a request names lies: its path relative to the folder, first to last choice,
    // for the request's path and query as the address writes them ("/games/a.swf?x=1"). The path the address
    // names, its escapes decoded and its query left out, is always tried last.
    using Locate = std::function<std::vector<std::string>(const std::string& pathAndQuery)>;
    // Makes the files below `folder` reachable and returns the address of the file `movie`, a path relative to
    // the folder. Empty when the folder cannot be opened.
    QUrl AddLocalFolder(const std::string& folder, const std::string& movie, Locate locate = {});

    void RemoveLocalFile(const QUrl& url);
    std::size_t LocalFileCount() const { return m_files.size() + m_folders.size(); }

    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    void ServeRuffleFile(QWebEngineUrlRequestJob* job, const QString& path);
    void ServeLocalFile(QWebEngineUrlRequestJob* job, const QString& path);
    void ServeFolderFile(QWebEngineUrlRequestJob* job, const QUrl& url);

    QByteArray m_scheme;
    QString m_strRuffleFolder;
    struct LocalFile {
        std::string path;  // the path bytes, whose last component is the served name
        std::string bytes; // for a movie held in memory
        bool inMemory = false;
        QUrl origin; // besides the local-file origin, the origin whose pages may read it
    };
    QUrl AddLocal(LocalFile file);

    struct LocalFolder {
        platform::FileDescriptor folder;
        Locate locate;
    };

    std::map<QString, LocalFile> m_files;     // token -> what it serves
    std::map<QString, LocalFolder> m_folders; // host -> the folder it serves
};
