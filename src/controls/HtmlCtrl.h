#pragma once
// The preview control: an embedded web viewer living as an ordinary child control of a page. It
// takes the place of a placeholder item, shows the built-in start page and shows whatever a
// location names; movies are played by the program's own Ruffle page.
//
// The object is a member of its page and never deletes itself. Its parent must be the page that
// owns it (or outlive it), as with any member widget.
#include <QUrl>
#include <QWebEngineView>

#include <memory>
#include <string>

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

    // Plays `movie`, a movie's bytes held in memory (what a page took out of a store of responses), in the
    // player page; `location` says what it is, for Location(). Ignored when there is no engine.
    void ShowMovie(std::string movie, const std::string& location);

    // An empty preview: a blank page, for a location that has nothing to show any more.
    void ShowNothing();

    // The location last shown by Navigate2 or ShowMovie, as given; empty before the first and after
    // ShowNothing.
    const std::string& Location() const { return m_location; }

    // The engine behind the viewer: null before creation and after destruction.
    QWebEnginePage* Browser() const { return m_pBrowser.get(); }

private:
    bool Create(const QRect& rect, QWidget* parent, int id);
    // Shows the player page for the movie at `url`, an address of the program's scheme or of the web.
    void PlayMovie(const QUrl& url);
    // Releases the engine; runs once, when the viewer goes.
    void OnDestroy();
    void ForgetLocalFile();

    std::unique_ptr<QWebEnginePage> m_pBrowser;
    QUrl m_localFile; // the local file the current preview may read, if any
    std::string m_location;
};
