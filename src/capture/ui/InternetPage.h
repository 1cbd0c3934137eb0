#pragma once
// The Internet Files page: an address, "Go", the list of movies the page references, a preview,
// "Save" and "Save All".
#include "capture/ui/CaptureView.h"
#include "controls/BusyProgressCtrl.h"
#include "controls/HtmlCtrl.h"
#include "framework/Dialog.h"
#include "framework/ProgressJob.h"
#include "res/resource.h"

#include <QComboBox>
#include <QPointer>
#include <QTableWidget>

#include <memory>
#include <string>
#include <vector>

class CCaptureWorker;

class CInternetPage : public CDialog, private CaptureView {
    Q_OBJECT
public:
    enum { IDD = IDD_INTERNET_FILES };

    explicit CInternetPage(QWidget* parent = nullptr);
    // Ends a capture that is still running and waits for its thread.
    ~CInternetPage() override;

    // The address of the current or last capture, as "Go" normalised it.
    const std::string& Address() const { return m_strAddress; }
    // True from "Go" until the capture's thread has done everything but return.
    bool CaptureRunning() const;
    // The page whose movies the list shows: the address of the capture that filled it.
    const std::string& RowsPage() const { return m_strRowsPage; }
    // "Save With Its Files…" under way, or the last one.
    const CProgressJob* SaveWithFilesJob() const { return m_pSaveJob.get(); }

    // The rows' context menu: the selected movies with their page and every file they load, in one folder.
    void OnSaveWithFiles();

protected:
    void DoDataExchange() override;
    bool OnInitDialog() override;

private:
    void LoadTypedUrls();
    void OnGo();
    void OnClickList();
    void OnSave();
    void OnSaveAll();

    // What the capture worker changes.
    void EnableGo(bool enable) override;
    void DeleteAllMovieRows() override;
    void InsertMovieRowsAtTop(const std::vector<std::string>& addresses) override;
    void RowsFromArchive(const std::string& page) override { m_strRowsPage = page; }
    void StartBusy() override;
    void StopBusy() override;
    void ResetBusy() override;

    QPointer<QComboBox> m_addressBox;
    QPointer<QTableWidget> m_movieList;
    CBusyProgressCtrl m_busy{10, 0};
    CHtmlCtrl m_preview;
    std::string m_strAddress;
    std::string m_strRowsPage;
    std::unique_ptr<CCaptureWorker> m_pWorker; // the current or last capture
    std::unique_ptr<CProgressJob> m_pSaveJob;  // the current or last "Save With Its Files…"
};
