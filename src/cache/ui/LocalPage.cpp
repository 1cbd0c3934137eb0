#include "cache/ui/LocalPage.h"

#include "cache/ListedMovieCopy.h"
#include "controls/PlayerPreload.h"
#include "framework/ByteString.h"
#include "framework/Commands.h"
#include "framework/ListView.h"
#include "framework/MovieDialogs.h"
#include "res/resource.h"

#include <QFile>
#include <QMetaObject>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <utility>

CLocalPage::CLocalPage(QWidget* parent) : CDialog(IDD, parent) {}

CLocalPage::~CLocalPage()
{
    m_bStopReading = true;
    if (m_entryReader.joinable())
        m_entryReader.join();
}

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

    m_source = cache::LocalListSourceFor(m_chosenFolder);
    if (!m_source)
        return false; // no cache folder: empty list, and the placeholder stays
    m_walk = cache::WalkLocalFolder(*m_source);
    FillList(m_walk.plainRows);
    m_walk.plainRows.clear(); // the list holds them now; only the caches are read on

    m_preview.CreateOverPlaceholder(IDC_PREVIEW, this);
    m_preview.LoadFromResource(IDR_START_PAGE);
    preview::PreloadPlayer(m_preview);
    // Once the window shows: a cache of many entries on a slow disk must not delay it.
    QTimer::singleShot(0, this, [this] { StartReadingEntries(); });
    return true;
}

void CLocalPage::StartReadingEntries()
{
    if (m_entryReader.joinable() || (m_walk.browserCaches.empty() && !m_source->outsideCaches))
        return;
    m_entryReader = std::thread([this, source = *m_source, walk = std::move(m_walk)] {
        // Background work: the window's own thread comes first.
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
        try {
            cache::ReadLocalEntries(source, walk, m_bStopReading, [this](cache::EntryMovieRow row) {
                // Dropped unread if the page goes first.
                QMetaObject::invokeMethod(
                    this, [this, row = std::move(row)]() mutable { InsertEntryRow(std::move(row)); },
                    Qt::QueuedConnection);
            });
        } catch (...) {
            // Out of memory while reading: the rows found so far stay, nothing is shown.
        }
    });
}

void CLocalPage::InsertEntryRow(cache::EntryMovieRow row)
{
    const std::size_t index = cache::EntryRowIndex(m_entryRows, row);
    const int at = static_cast<int>(index);
    m_list->insertRow(at);
    SetRow(at, row.row);
    m_entryRows.insert(m_entryRows.begin() + static_cast<std::ptrdiff_t>(index), std::move(row));
}

void CLocalPage::FillList(const std::vector<cache::LocalMovieRow>& rows)
{
    // The walk hands over the rows in their final order, so the table is filled in one pass rather
    // than by inserting each row at the top.
    m_list->setUpdatesEnabled(false);
    m_list->setRowCount(static_cast<int>(rows.size()));
    for (int i = 0; i < static_cast<int>(rows.size()); ++i)
        SetRow(i, rows[static_cast<size_t>(i)]);
    m_list->setUpdatesEnabled(true);
}

void CLocalPage::SetRow(int row, const cache::LocalMovieRow& movie)
{
    ListView::SetCellBytes(m_list, row, kNameColumn, movie.name);
    ListView::SetCellBytes(m_list, row, kSizeColumn, movie.size);
    m_list->item(row, kSizeColumn)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ListView::SetCellBytes(m_list, row, kPathColumn, movie.path);
    // A movie from a browser cache shows where it came from.
    if (!movie.address.empty()) {
        const QString address = FromBytes(movie.address);
        for (int column = kNameColumn; column <= kPathColumn; ++column)
            m_list->item(row, column)->setToolTip(address);
    }
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
    const cache::CopyOutcome outcome = cache::CopyListedMovie(source, destination);
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
