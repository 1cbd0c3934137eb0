#include "cache/ui/LocalPage.h"

#include "cache/ListedMovieCopy.h"
#include "cache/RowPath.h"
#include "controls/PlayerPreload.h"
#include "framework/ByteString.h"
#include "framework/Commands.h"
#include "framework/ListView.h"
#include "framework/MovieDialogs.h"
#include "platform/Overloaded.h"
#include "res/resource.h"

#include <QFile>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <utility>

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
    if (m_entryReader || (m_walk.stores.empty() && !m_source->outsideCaches))
        return;
    m_entryReader = std::make_unique<CWorkerThread>(
        this,
        [this, source = *m_source, walk = std::move(m_walk)](CUiHandOver& ui) {
            cache::ReadLocalEntries(source, walk, ui.AbandonedFlag(), [this, &ui](cache::StoreFinding finding) {
                ui.Post([this, finding = std::move(finding)]() mutable { TakeFinding(std::move(finding)); });
            });
        },
        CWorkerThread::Priority::Background);
}

void CLocalPage::TakeFinding(cache::StoreFinding finding)
{
    std::visit(platform::Overloaded{
                   [this](cache::EntryMovieRow& row) { InsertEntryRow(std::move(row)); },
                   [this](const cache::PlainFileAddress& address) { GivePlainRowAddress(address); },
                   [](const cache::UnreadStore&) {},
               },
               finding);
}

void CLocalPage::GivePlainRowAddress(const cache::PlainFileAddress& address)
{
    if (m_plainRowOf.empty()) {
        for (int row = static_cast<int>(m_entryRows.size()); row < m_list->rowCount(); ++row)
            m_plainRowOf.emplace(ListView::CellBytes(m_list, row, kPathColumn),
                                 row - static_cast<int>(m_entryRows.size()));
    }
    const auto found = m_plainRowOf.find(address.path);
    if (found == m_plainRowOf.end())
        return;
    const int row = static_cast<int>(m_entryRows.size()) + found->second;
    if (!m_list->item(row, kNameColumn)->toolTip().isEmpty())
        return;
    const QString tip = FromBytes(address.address);
    for (int column = kNameColumn; column <= kPathColumn; ++column)
        m_list->item(row, column)->setToolTip(tip);
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
        Preview(path);
}

void CLocalPage::Preview(const std::string& path)
{
    m_previewDecoder.reset(); // the decoding for an earlier click, if it still runs, is dropped
    const cache::RowTarget target = cache::ResolveRowPath(path);
    switch (target.kind) {
    case cache::RowTarget::Kind::Missing:
        // Gone since the walk: an empty preview, rather than the player's complaint about a file it cannot load.
        m_preview.ShowNothing();
        return;
    case cache::RowTarget::Kind::PlainFile:
        m_preview.Navigate2(path);
        return;
    case cache::RowTarget::Kind::EntryFile:
    case cache::RowTarget::Kind::Record:
        // Decoded off the window's thread; the preview shows what it showed until the movie is there.
        m_previewDecoder = std::make_unique<CWorkerThread>(this, [this, target, path](CUiHandOver& ui) {
            auto movie = cache::ReadRowMovie(target, cache::kPreviewMovieLimit, &ui.AbandonedFlag());
            ui.Post([this, movie = std::move(movie), path]() mutable {
                if (movie)
                    m_preview.ShowMovie(std::move(*movie), path);
                else
                    m_preview.ShowNothing();
            });
        });
        return;
    }
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
    // The rows as they stand now: rows read from the stores keep arriving above them while a dialog or a
    // failure box is open, and must not shift what this command saves.
    std::vector<std::pair<std::string, std::string>> rows; // path, name
    rows.reserve(static_cast<std::size_t>(m_list->rowCount()));
    for (int row = 0; row < m_list->rowCount(); ++row)
        rows.emplace_back(ListView::CellBytes(m_list, row, kPathColumn), ListView::CellBytes(m_list, row, kNameColumn));

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
    for (const auto& [source, name] : rows)
        CopyMovie(source, folder + name);
}
