#pragma once
// The Local Files page: every movie below the cache folder, listed once at start-up, a preview of
// the clicked one, "Save" and "Save All" copying them where the user chooses.
#include "controls/HtmlCtrl.h"
#include "framework/Dialog.h"
#include "res/resource.h"

#include <QPointer>
#include <QTableWidget>

#include <string>

namespace cache {
struct LocalMovieRow;
}

class CLocalPage : public CDialog {
    Q_OBJECT
public:
    enum { IDD = IDD_LOCAL_FILES };
    enum Column { kNameColumn = 0, kSizeColumn = 1, kPathColumn = 2 };

    explicit CLocalPage(QWidget* parent = nullptr);
    ~CLocalPage() override;

    QTableWidget* MovieList() const { return m_list; }
    CHtmlCtrl& Preview() { return m_preview; }

    void OnClickList();
    void OnSave();
    void OnSaveAll();

protected:
    void DoDataExchange() override;
    bool OnInitDialog() override;

private:
    void FillList(const std::vector<cache::LocalMovieRow>& rows);
    // Copies one movie; a copy that cannot start is reported in the application's message box.
    void CopyMovie(const std::string& source, const std::string& destination);

    QPointer<QTableWidget> m_list;
    CHtmlCtrl m_preview;
};
