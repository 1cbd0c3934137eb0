#pragma once
// The Local Files page: every movie below the cache folder, listed once at start-up, a preview of
// the clicked one, "Save" and "Save All" copying them where the user chooses. The movies held in the
// browser caches and web archives are read on a thread of their own once the window shows, and take their
// places above the plain .swf files as they are found.
#include "cache/LocalListing.h"
#include "controls/HtmlCtrl.h"
#include "framework/Dialog.h"
#include "framework/ProgressJob.h"
#include "framework/WorkerThread.h"
#include "res/resource.h"

#include <QPointer>
#include <QString>
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
    // The rows' context menu: the selected movies with every file they load, in one folder.
    void OnSaveWithFiles();
    const CProgressJob* SaveWithFilesJob() const { return m_pSaveJob.get(); }

    // What reading the stores found, on the page's thread: a movie's row, put in its place above the plain
    // rows; an address for a plain row, shown as its tooltip; a store not read, passed over for now.
    void TakeFinding(cache::StoreFinding finding);

    // The line a row's tooltip adds about its movie, once read: version, frame size and rate, ActionScript.
    QString MovieSummaryOf(const std::string& path) const;

protected:
    void DoDataExchange() override;
    bool OnInitDialog() override;
    // The list's tooltips: a row whose movie has not been looked at yet is read now, off this thread.
    bool eventFilter(QObject* watched, QEvent* event) override;

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
    // Reads the headers of the plain rows' movies, once the window shows.
    void StartReadingSummaries(std::vector<std::string> paths);
    void ReadSummaryNow(const std::string& path);
    void TakeSummary(const std::string& path, const QString& summary);
    // The row whose path is `path`, or -1.
    int RowOfPath(const std::string& path);
    // The tooltip of `row`: the address its movie came from, and what kind of movie it is.
    void SetRowTooltip(int row, const std::string& path, const std::string& address);
    // A plain file played from the folder the page lists, so that its relative loads are answered from there.
    void PlayPlainFile(const std::string& path);
    // The address a row's movie came from: an entry's or record's, or the one an index gives a plain file.
    std::optional<std::string> AddressOfRow(const std::string& path) const;
    // Copies one movie; a copy that cannot start is reported in the application's message box.
    void CopyMovie(const std::string& source, const std::string& destination);

    QPointer<QTableWidget> m_list;
    CHtmlCtrl m_preview;
    std::optional<std::string> m_chosenFolder;
    std::optional<cache::LocalListSource> m_source;
    cache::LocalWalk m_walk;                                     // the start-up walk's caches, read on later
    std::vector<cache::EntryMovieRow> m_entryRows;               // the rows above the plain ones, in list order
    std::unordered_map<std::string, int> m_plainRowOf;           // a plain row's path -> its place among the plain rows
    std::unordered_map<std::string, std::string> m_plainAddress; // a plain row's path -> the address an index gives
    std::unique_ptr<CWorkerThread> m_entryReader;                // reads the stores once the window shows
    std::unique_ptr<CWorkerThread> m_previewDecoder;             // decodes the movie of the last entry row clicked
    std::unique_ptr<CProgressJob> m_pSaveJob;                    // the current or last "Save With Its Files…"
    std::unordered_map<std::string, QString> m_summaries;        // a row's path -> what kind of movie it holds
    std::unique_ptr<CWorkerThread> m_summaryReader;              // the plain rows' movies, once the window shows
    std::unique_ptr<CWorkerThread> m_tipReader;                  // the row whose tooltip was asked for first
    std::string m_strTipPath;                                    // that row's path
};
