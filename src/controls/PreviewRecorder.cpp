#include "controls/PreviewRecorder.h"

#include <QThread>
#include <QWebEngineUrlRequestInfo>

#include <vector>

CPreviewRecorder::CPreviewRecorder(QObject* parent) : QWebEngineUrlRequestInterceptor(parent) {}

CPreviewRecorder::Token CPreviewRecorder::Listen(const QUrl& document, Listener listener)
{
    const Token token = m_nNext++;
    m_listening.emplace(token, Listening{document.adjusted(QUrl::RemoveFragment), std::move(listener)});
    return token;
}

void CPreviewRecorder::Forget(Token token) { m_listening.erase(token); }

void CPreviewRecorder::interceptRequest(QWebEngineUrlRequestInfo& info)
{
    // The engine's own look for the document's icon is nothing the movie asked for.
    if (info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeFavicon)
        return;
    const QUrl document = info.firstPartyUrl().adjusted(QUrl::RemoveFragment);
    const QUrl request = info.requestUrl();
    // Nothing is changed: the request goes on as it is. The listeners live on the window's thread.
    if (QThread::currentThread() == thread())
        Hand(document, request);
    else
        QMetaObject::invokeMethod(
            this, [this, document, request] { Hand(document, request); }, Qt::QueuedConnection);
}

void CPreviewRecorder::Hand(const QUrl& document, const QUrl& request)
{
    std::vector<Listener> listeners;
    for (const auto& [token, listening] : m_listening) {
        if (listening.document == document)
            listeners.push_back(listening.listener);
    }
    for (const Listener& listener : listeners)
        listener(request);
}
