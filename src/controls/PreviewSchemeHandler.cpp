#include "controls/PreviewSchemeHandler.h"

#include "controls/PreviewLocation.h"
#include "platform/Bytes.h"
#include "platform/FileDescriptor.h"
#include "platform/FolderBelow.h"

#include <QBuffer>
#include <QFile>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QUuid>
#include <QWebEngineUrlRequestJob>

#include <fcntl.h>
#include <sys/stat.h>

namespace {
const QString kRuffleHost = QStringLiteral("ruffle");
const QString kLocalHost = QStringLiteral("local");

// The device of an open regular file, owned by `owner`.
QFile* FileDevice(platform::FileDescriptor fd, QObject* owner)
{
    struct stat info {};
    if (!fd.IsOpen() || ::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        return nullptr;
    auto* file = new QFile(owner);
    if (!file->open(fd.Get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        delete file;
        return nullptr;
    }
    fd.Release();
    return file;
}

// Opens a regular file read-only by its exact path bytes; the device belongs to `owner`.
QFile* OpenRegularFile(const std::string& path, QObject* owner)
{
    return FileDevice(platform::FileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)),
                      owner);
}

bool IsUnreservedInPath(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_' || c == '~' || c == '/' || c == ':';
}

// Whether a request comes from the program itself or from a page of `origin`.
bool FromProgramOr(const QUrl& initiator, const QUrl& origin)
{
    return initiator.isEmpty()
        || (!origin.isEmpty() && initiator.scheme() == origin.scheme() && initiator.host() == origin.host()
            && initiator.port() == origin.port());
}

QByteArray MimeTypeOf(const QString& name)
{
    if (name.endsWith(QStringLiteral(".swf"), Qt::CaseInsensitive))
        return "application/x-shockwave-flash";
    if (name.endsWith(QStringLiteral(".wasm")))
        return "application/wasm";
    if (name.endsWith(QStringLiteral(".js")))
        return "text/javascript";
    return QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension).name().toLatin1();
}
} // namespace

CPreviewSchemeHandler::CPreviewSchemeHandler(QByteArray scheme, QString ruffleFolder, QObject* parent)
    : QWebEngineUrlSchemeHandler(parent)
    , m_scheme(std::move(scheme))
    , m_strRuffleFolder(std::move(ruffleFolder))
{}

QUrl CPreviewSchemeHandler::RuffleBase() const
{
    return QUrl(QString::fromLatin1(m_scheme) + QStringLiteral("://") + kRuffleHost + QStringLiteral("/"));
}

QUrl CPreviewSchemeHandler::AddLocalFile(const std::string& path) { return AddLocal({path, {}, false}); }

QUrl CPreviewSchemeHandler::AddLocalMovie(std::string movie, const QUrl& origin)
{
    return AddLocal({"/movie.swf", std::move(movie), true, origin});
}

QUrl CPreviewSchemeHandler::AddLocalFolder(const std::string& folder, const std::string& movie, Locate locate)
{
    platform::FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.IsOpen())
        return {};
    const QString host = QStringLiteral("f") + QUuid::createUuid().toString(QUuid::Id128);
    m_folders.emplace(host, LocalFolder{std::move(fd), std::move(locate)});
    const std::string path = platform::PercentEncoded(movie, [](unsigned char c) { return !IsUnreservedInPath(c); });
    return QUrl::fromEncoded(m_scheme + "://" + host.toLatin1() + "/" + QByteArray::fromStdString(path),
                             QUrl::StrictMode);
}

QUrl CPreviewSchemeHandler::AddLocal(LocalFile file)
{
    const QString token = QUuid::createUuid().toString(QUuid::Id128);
    const QByteArray name = QByteArray::fromStdString(preview::BaseName(file.path)).toPercentEncoding();
    m_files.emplace(token, std::move(file));
    return QUrl::fromEncoded(m_scheme + "://" + kLocalHost.toLatin1() + '/' + token.toLatin1() + '/' + name,
                             QUrl::StrictMode);
}

void CPreviewSchemeHandler::RemoveLocalFile(const QUrl& url)
{
    if (m_folders.erase(url.host()) > 0)
        return;
    const QStringList parts = url.path().split(QLatin1Char('/'));
    if (parts.size() == 3)
        m_files.erase(parts[1]);
}

void CPreviewSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job)
{
    const QUrl url = job->requestUrl();
    if (job->requestMethod() != "GET") {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    const QString path = url.path(QUrl::FullyEncoded);
    if (url.host() == kRuffleHost)
        ServeRuffleFile(job, path);
    else if (url.host() == kLocalHost)
        ServeLocalFile(job, path);
    else if (m_folders.contains(url.host()))
        ServeFolderFile(job, url);
    else
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
}

void CPreviewSchemeHandler::ServeRuffleFile(QWebEngineUrlRequestJob* job, const QString& path)
{
    // Plain file names only: nothing below or above the folder is reachable.
    static const QRegularExpression kFileName(QStringLiteral("^/([A-Za-z0-9_-][A-Za-z0-9._-]*\\.(js|wasm))$"));
    const QRegularExpressionMatch match = kFileName.match(path);
    QFile* file = nullptr;
    if (HasRuffle() && match.hasMatch())
        file = OpenRegularFile(
            QFile::encodeName(m_strRuffleFolder + QLatin1Char('/') + match.captured(1)).toStdString(), job);
    if (file == nullptr) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    job->reply(MimeTypeOf(match.captured(1)), file);
}

void CPreviewSchemeHandler::ServeLocalFile(QWebEngineUrlRequestJob* job, const QString& path)
{
    // Only the program's own navigation and pages of the local-file origin (or the movie's own) may read the file.
    const QUrl initiator = job->initiator();
    const QStringList parts = path.split(QLatin1Char('/'));
    const auto entry = parts.size() == 3 ? m_files.find(parts[1]) : m_files.end();
    const bool allowed =
        FromProgramOr(initiator, QUrl(QString::fromLatin1(m_scheme) + QStringLiteral("://") + kLocalHost))
        || (entry != m_files.end() && FromProgramOr(initiator, entry->second.origin));
    if (!allowed) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    if (entry == m_files.end()
        || QByteArray::fromPercentEncoding(parts[2].toLatin1()).toStdString()
            != preview::BaseName(entry->second.path)) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    if (entry->second.inMemory) {
        auto* buffer = new QBuffer(job);
        buffer->setData(QByteArray::fromStdString(entry->second.bytes));
        buffer->open(QIODevice::ReadOnly);
        job->reply(MimeTypeOf(parts[2]), buffer);
        return;
    }
    QFile* file = OpenRegularFile(entry->second.path, job);
    if (file == nullptr) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    job->reply(MimeTypeOf(parts[2]), file);
}

void CPreviewSchemeHandler::ServeFolderFile(QWebEngineUrlRequestJob* job, const QUrl& url)
{
    // Only the program's own navigation and the folder's own pages may read from it.
    if (!FromProgramOr(job->initiator(), url)) {
        job->fail(QWebEngineUrlRequestJob::RequestDenied);
        return;
    }
    const LocalFolder& folder = m_folders.at(url.host());
    const QByteArray encodedPath = url.path(QUrl::FullyEncoded).toLatin1();
    std::string pathAndQuery = encodedPath.toStdString();
    if (url.hasQuery())
        pathAndQuery += "?" + url.query(QUrl::FullyEncoded).toStdString();
    std::vector<std::string> choices;
    if (folder.locate)
        choices = folder.locate(pathAndQuery);
    choices.push_back(QByteArray::fromPercentEncoding(encodedPath).toStdString().substr(1));
    for (const std::string& relative : choices) {
        if (QFile* file = FileDevice(platform::OpenFileBelow(folder.folder.Get(), relative), job)) {
            job->reply(MimeTypeOf(QString::fromUtf8(encodedPath)), file);
            return;
        }
    }
    job->fail(QWebEngineUrlRequestJob::UrlNotFound);
}
