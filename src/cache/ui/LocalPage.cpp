#include "cache/ui/LocalPage.h"
#include "res/resource.h"

#include "cache/CacheFolder.h"
#include "cache/CacheWalk.h"
#include "cache/MovieCopy.h"
#include "framework/Commands.h"
#include "framework/ListView.h"
#include "framework/MovieDialogs.h"

#include <QFile>
#include <QPushButton>
#include <QTableWidget>

CLocalPage::CLocalPage(QWidget* parent) : CDialog(IDD, parent) {}

CLocalPage::~CLocalPage() = default;

void CLocalPage::DoDataExchange() { m_list = qobject_cast<QTableWidget*>(GetDlgItem(this, IDC_LOCAL_LIST)); }

bool CLocalPage::OnInitDialog()
{
    ListView::AddGridAndFullRowSelect(m_list);
    ListView::InsertColumns(m_list,
                            {{QStringLiteral("File Name"), 180, Qt::AlignLeft},
                             {QStringLiteral("File Size"), 100, Qt::AlignRight},
                             {QStringLiteral("File Path"), 280, Qt::AlignLeft}});
    // Only mouse clicks on a row preview; the list's keyboard moves do not.
    connect(m_list, &QTableWidget::clicked, this, OnCommand(this, &CLocalPage::OnClickList));
    if (auto* save = qobject_cast<QPushButton*>(GetDlgItem(this, IDC_SAVE)))
        connect(save, &QPushButton::clicked, this, OnCommand(this, &CLocalPage::OnSave));
    if (auto* saveAll = qobject_cast<QPushButton*>(GetDlgItem(this, IDC_SAVE_ALL)))
        connect(saveAll, &QPushButton::clicked, this, OnCommand(this, &CLocalPage::OnSaveAll));

    const std::optional<std::string> cacheFolder = cache::LookUpCacheFolder();
    if (!cacheFolder)
        return false; // no cache folder: empty list, and the placeholder stays
    FillList(cache::ListFolderMovies(*cacheFolder));

    m_preview.CreateOverPlaceholder(IDC_PREVIEW, this);
    m_preview.LoadFromResource(IDR_START_PAGE);
    return true;
}

void CLocalPage::FillList(const std::vector<cache::LocalMovieRow>& rows)
{
    // The walk hands over the rows in their final order, so the table is filled in one pass rather
    // than by inserting each row at the top.
    m_list->setUpdatesEnabled(false);
    m_list->setRowCount(static_cast<int>(rows.size()));
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const auto& row = rows[static_cast<size_t>(i)];
        ListView::SetCellBytes(m_list, i, kNameColumn, row.name);
        ListView::SetCellBytes(m_list, i, kSizeColumn, row.size);
        m_list->item(i, kSizeColumn)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        ListView::SetCellBytes(m_list, i, kPathColumn, row.path);
    }
    m_list->setUpdatesEnabled(true);
}

void CLocalPage::OnClickList()
{
    const int row = ListView::SelectedRow(m_list);
    if (row < 0)
        return;
    const std::string path = ListView::CellBytes(m_list, row, kPathColumn);
    if (!path.empty())
        m_preview.Navigate2(path);
}

void CLocalPage::CopyMovie(const std::string& source, const std::string& destination)
{
    const cache::CopyOutcome outcome = cache::CopyMovieFile(source, destination);
    if (outcome != cache::CopyOutcome::Copied) {
        const std::string_view text = cache::CopyOutcomeText(outcome);
        AfxMessageBox(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }
}

void CLocalPage::OnSave()
{
    const int row = ListView::SelectedRow(m_list);
    if (row < 0) {
        MovieDialogs::WarnNoSelection(this);
        return;
    }
    const std::string source = ListView::CellBytes(m_list, row, kPathColumn);
    const std::optional<QString> destination = MovieDialogs::AskMovieFileName(this);
    if (!destination)
        return;
    CopyMovie(source, QFile::encodeName(*destination).toStdString());
}

void CLocalPage::OnSaveAll()
{
    const std::optional<QString> chosen = MovieDialogs::AskSaveAllFolder(this);
    if (!chosen)
        return;
    std::string folder = QFile::encodeName(*chosen).toStdString();
    if (folder.empty())
        return;
    if (folder.back() != '/')
        folder += '/';
    // A copy that cannot start is reported and the next row goes on; a failure in the middle of a
    // copy ends the command.
    const int rows = m_list->rowCount();
    for (int row = 0; row < rows; ++row) {
        const std::string source = ListView::CellBytes(m_list, row, kPathColumn);
        const std::string name = ListView::CellBytes(m_list, row, kNameColumn);
        CopyMovie(source, folder + name);
    }
}
