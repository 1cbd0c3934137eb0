#pragma once
// The Local Files page: every movie below the cache folder, listed once at start-up, a preview of
// the clicked one, "Save" and "Save All" copying them where the user chooses. The movies held in the
// browser caches and web archives are read on a thread of their own once the window shows, and take their
// places above the plain .swf files as they are found.
#include "cache/LocalListing.h"
#include "controls/HtmlCtrl.h"
#include "framework/Dialog.h"
#include "framework/WorkerThread.h"
#include "res/resource.h"

#include <QPointer>
#include <QTableWidget>

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class CLocalPage : public CDialog {
    Q_OBJECT
public:
    enum { IDD = IDD_LOCAL_FILES };
    enum Column { kNameColumn = 0, kSizeColumn = 1, kPathColumn = 2 };

    explicit CLocalPage(QWidget* parent = nullptr);
    // Ends the reading of the browser caches, if it still runs, and waits for it.
    ~CLocalPage() override;

    // Lists the folder `folder` instead of the cache folder and the browser caches outside it (the
    // window program's --folder). Takes effect when the page is created.
    void SetChosenFolder(std::optional<std::string> folder) { m_chosenFolder = std::move(folder); }

    QTableWidget* MovieList() const { return m_list; }
    CHtmlCtrl& Preview() { return m_preview; }

    void OnClickList();
    void OnSave();
    void OnSaveAll();

    // What reading the stores found, on the page's thread: a movie's row, put in its place above the plain
    // rows; an address for a plain row, shown as its tooltip; a store not read, passed over for now.
    void TakeFinding(cache::StoreFinding finding);

protected:
    void DoDataExchange() override;
    bool OnInitDialog() override;

private:
    void FillList(const std::vector<cache::LocalMovieRow>& rows);
    void SetRow(int row, const cache::LocalMovieRow& movie);
    void StartReadingEntries();
    // One movie found in a store, put in its place among the others.
    void InsertEntryRow(cache::EntryMovieRow row);
    // The tooltip of the plain row whose file an index names.
    void GivePlainRowAddress(const cache::PlainFileAddress& address);
    // Shows the row whose path is `path`: a plain file as it is, an entry's or a record's movie once decoded,
    // and nothing for a path whose file has gone.
    void Preview(const std::string& path);
    // Copies one movie; a copy that cannot start is reported in the application's message box.
    void CopyMovie(const std::string& source, const std::string& destination);

    QPointer<QTableWidget> m_list;
    CHtmlCtrl m_preview;
    std::optional<std::string> m_chosenFolder;
    std::optional<cache::LocalListSource> m_source;
    cache::LocalWalk m_walk;                           // the start-up walk's caches, read on later
    std::vector<cache::EntryMovieRow> m_entryRows;     // the rows above the plain ones, in list order
    std::unordered_map<std::string, int> m_plainRowOf; // a plain row's path -> its place among the plain rows
    std::unique_ptr<CWorkerThread> m_entryReader;      // reads the stores once the window shows
    std::unique_ptr<CWorkerThread> m_previewDecoder;   // decodes the movie of the last entry row clicked
};
