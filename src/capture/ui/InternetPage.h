#pragma once
// The Internet Files page: an address, "Go", the list of movies the page references, a preview,
// "Save" and "Save All".
#include "framework/Dialog.h"
#include "controls/BusyProgressCtrl.h"
#include "controls/HtmlCtrl.h"

#include <QComboBox>
#include <QPointer>
#include <QTableWidget>

#include <memory>
#include <string>

class CCaptureWorker;

class CInternetPage : public CDialog {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 129;
    static constexpr int kGoId = 1003;
    static constexpr int kBusyId = 1004;
    static constexpr int kMovieListId = 1009;
    static constexpr int kPreviewId = 1010;
    static constexpr int kSaveAllId = 1011;
    static constexpr int kSaveId = 1012;
    static constexpr int kAddressBoxId = 1014;
    static constexpr int kStartPageId = 137;

    explicit CInternetPage(QWidget* parent = nullptr);
    // Ends a capture that is still running and waits for its thread.
    ~CInternetPage() override;

    // The address of the current or last capture, as "Go" normalised it.
    const std::string& Address() const { return m_strAddress; }
    // True from "Go" until the capture's thread has done everything but return.
    bool CaptureRunning() const;

protected:
    void DoDataExchange() override;
    bool OnInitDialog() override;

private:
    friend class CCaptureWorker;

    void LoadTypedUrls();
    void OnGo();
    void OnClickList();
    void OnSave();
    void OnSaveAll();

    // The worker's control changes, carried out on this page's thread.
    void EnableGo(bool enable);
    void DeleteAllMovieRows();
    void InsertMovieRowAtTop(const std::string& address);

    QPointer<QComboBox> m_addressBox;
    QPointer<QTableWidget> m_movieList;
    CBusyProgressCtrl m_busy{10, 0};
    CHtmlCtrl m_preview;
    std::string m_strAddress;
    std::unique_ptr<CCaptureWorker> m_pWorker;  // the current or last capture
};
