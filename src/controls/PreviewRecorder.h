#pragma once
// Records what previewed documents ask for while they play: the preview profile's request interceptor sees
// every request the engine makes, and hands each to the viewer that shows the document it was made for.
#include <QObject>
#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>

#include <cstdint>
#include <functional>
#include <map>

class CPreviewRecorder : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    using Listener = std::function<void(const QUrl& request)>;
    using Token = std::uint64_t;

    explicit CPreviewRecorder(QObject* parent = nullptr);

    // From now on the requests made for the document at `document` go to `listener`, on this thread, until the
    // token is forgotten.
    Token Listen(const QUrl& document, Listener listener);
    void Forget(Token token);

    void interceptRequest(QWebEngineUrlRequestInfo& info) override;

private:
    void Hand(const QUrl& document, const QUrl& request);

    struct Listening {
        QUrl document;
        Listener listener;
    };
    std::map<Token, Listening> m_listening;
    Token m_nNext = 1;
};
