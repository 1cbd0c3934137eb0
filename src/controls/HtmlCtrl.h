#pragma once
// The preview control: an embedded web viewer living as an ordinary child control of a page. It
// takes the place of a placeholder item, shows the built-in start page and shows whatever a
// location names; movies are played by the program's own Ruffle page.
//
// The object is a member of its page and never deletes itself. Its parent must be the page that
// owns it (or outlive it), as with any member widget.
#include "controls/PreviewRecorder.h"
#include "controls/PreviewSchemeHandler.h"

#include <QUrl>
#include <QWebEngineView>

#include <map>
#include <memory>
#include <string>
#include <vector>

class QWebEnginePage;

class CHtmlCtrl : public QWebEngineView {
    Q_OBJECT
public:
    CHtmlCtrl();
    ~CHtmlCtrl() override;
    CHtmlCtrl(const CHtmlCtrl&) = delete;
    CHtmlCtrl& operator=(const CHtmlCtrl&) = delete;

    // Replaces the parent's item `id` by the viewer, with the item's rectangle and id. Returns
    // nonzero on success; 0 when the parent has no such item, and then nothing has changed.
    int CreateOverPlaceholder(int id, QWidget* parent);

    // Shows the built-in HTML page `resourceId`. Nonzero if navigation started.
    int LoadFromResource(int resourceId);

    // Replaces what is shown by the document at `location`: an absolute URL or a full local path,
    // as bytes. A movie is wrapped in the player page. Ignored when there is no engine.
    void Navigate2(const std::string& location);
    // The same, with a movie's relative loads resolved against `base` (the page that embedded it), not against
    // the movie's own address.
    void Navigate2(const std::string& location, const std::string& base);

    // Plays `movie`, a movie's bytes held in memory (what a page took out of a store of responses), in the
    // player page; `location` says what it is, for Location(). Ignored when there is no engine.
    void ShowMovie(std::string movie, const std::string& location);
    // The same for a movie stored for `address`: it plays as if from there, so its relative loads reach that site.
    void ShowMovie(std::string movie, const std::string& location, const std::string& address);

    // Plays the movie at `movie`, a path relative to the local folder `folder`, whose relative loads are
    // answered from the files below that folder (found by `locate`) and never outside it. `location` says
    // what it is, for Location().
    void PlayFromFolder(const std::string& location, const std::string& folder, const std::string& movie,
                        CPreviewSchemeHandler::Locate locate = {});

    // What the movie shown for `location` asked for while it played, each address once in the order first
    // asked: every request but the movie's own and the player's files.
    std::vector<std::string> Played(const std::string& location) const;

    // An empty preview: a blank page, for a location that has nothing to show any more.
    void ShowNothing();

    // The location last shown by Navigate2 or ShowMovie, as given; empty before the first and after
    // ShowNothing.
    const std::string& Location() const { return m_location; }

    // The engine behind the viewer: null before creation and after destruction.
    QWebEnginePage* Browser() const { return m_pBrowser.get(); }

private:
    bool Create(const QRect& rect, QWidget* parent, int id);
    // Shows the player page for the movie at `url`, an address of the program's scheme or of the web, as the
    // document at `document`, and records what it asks for.
    void PlayMovie(const QUrl& url, const QUrl& document, const QUrl& base = {});
    void Record(const std::string& location, const QUrl& movie, const QUrl& request);
    void StopRecording();
    // Releases the engine; runs once, when the viewer goes.
    void OnDestroy();
    void ForgetLocalFile();

    std::unique_ptr<QWebEnginePage> m_pBrowser;
    QUrl m_localFile; // the local file the current preview may read, if any
    std::string m_location;
    CPreviewRecorder::Token m_recording = 0;                  // listening for the current movie's requests
    std::map<std::string, std::vector<std::string>> m_played; // location -> what its movie asked for
};
