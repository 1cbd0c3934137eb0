#include "cache/ui/LocalPage.h"

#include "cache/ListedMovieCopy.h"
#include "cache/RowPath.h"
#include "cache/RowSummary.h"
#include "capture/CompleteSave.h"
#include "capture/SiteLayout.h"
#include "controls/PlayerPreload.h"
#include "framework/ByteString.h"
#include "framework/Commands.h"
#include "framework/ListView.h"
#include "framework/MovieDialogs.h"
#include "platform/FileDescriptor.h"
#include "platform/Overloaded.h"
#include "res/resource.h"

#include <QCursor>
#include <QEvent>
#include <QFile>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QToolTip>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

CLocalPage::CLocalPage(QWidget* parent) : CDialog(IDD, parent) {}

namespace {

// A movie read from disk for a save is bounded as the movie reader is.
constexpr std::uint64_t kMostSavedMovie = std::uint64_t{256} << 20;

std::string ParentOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

bool IsRegularFile(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::optional<std::string> ReadPlainMovie(const std::string& path)
{
    const platform::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat info {};
    if (!file.IsOpen() || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)
        || static_cast<std::uint64_t>(info.st_size) > kMostSavedMovie)
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t read = ::read(file.Get(), bytes.data() + got, bytes.size() - got);
        if (read <= 0)
            return std::nullopt;
        got += static_cast<std::size_t>(read);
    }
    return bytes;
}

// Rows whose summaries go to the window's thread at a time.
constexpr std::size_t kSummariesPerHandOver = 64;

QString SummaryText(const swf::MovieSummary& summary)
{
    return QStringLiteral("Flash version %1, %2 × %3 pixels, %4 frames a second, ActionScript %5")
        .arg(summary.version)
        .arg(QString::fromStdString(swf::PixelsText(summary.widthTwips)),
             QString::fromStdString(swf::PixelsText(summary.heightTwips)),
             QString::fromStdString(swf::FrameRateText(summary.frameRate)),
             summary.actionScript3 ? QStringLiteral("3") : QStringLiteral("1/2"));
}

} // namespace

CLocalPage::~CLocalPage()
{
    // Before the list and the preview go: the save and the readers may still be reading rows' movies.
    m_pSaveJob.reset();
    m_tipReader.reset();
    m_summaryReader.reset();
}

void CLocalPage::DoDataExchange()
{
    m_list = qobject_cast<QTableWidget*>(GetDlgItem(this, IDC_LOCAL_LIST));
    m_unreadLine = qobject_cast<QLabel*>(GetDlgItem(this, IDC_UNREAD_CACHES));
}

bool CLocalPage::OnInitDialog()
{
    ListView::AddGridAndFullRowSelect(m_list);
    ListView::InsertColumns(m_list,
                            {{QStringLiteral("File Name"), 180, Qt::AlignLeft},
                             {QStringLiteral("File Size"), 100, Qt::AlignRight},
                             {QStringLiteral("File Path"), 280, Qt::AlignLeft}});
    if (m_unreadLine)
        m_unreadLine->hide(); // until a cache folder is found that is not read
    // Only mouse clicks on a row preview; the list's keyboard moves do not.
    connect(m_list, &QTableWidget::clicked, this, OnCommand(this, &CLocalPage::OnClickList));
    if (auto* save = qobject_cast<QPushButton*>(GetDlgItem(this, IDC_SAVE)))
        connect(save, &QPushButton::clicked, this, OnCommand(this, &CLocalPage::OnSave));
    if (auto* saveAll = qobject_cast<QPushButton*>(GetDlgItem(this, IDC_SAVE_ALL)))
        connect(saveAll, &QPushButton::clicked, this, OnCommand(this, &CLocalPage::OnSaveAll));
    ListView::AddRowMenu(m_list, QStringLiteral("Save With Its Files…"), [this] { OnSaveWithFiles(); });

    m_source = cache::LocalListSourceFor(m_chosenFolder);
    if (!m_source)
        return false; // no cache folder: empty list, and the placeholder stays
    m_walk = cache::WalkLocalFolder(*m_source);
    FillList(m_walk.plainRows);
    std::vector<std::string> plainPaths;
    plainPaths.reserve(m_walk.plainRows.size());
    for (cache::LocalMovieRow& row : m_walk.plainRows)
        plainPaths.push_back(std::move(row.path));
    m_walk.plainRows.clear(); // the list holds them now; only the caches are read on
    m_list->viewport()->installEventFilter(this);

    m_preview.CreateOverPlaceholder(IDC_PREVIEW, this);
    m_preview.LoadFromResource(IDR_START_PAGE);
    preview::PreloadPlayer(m_preview);
    // Once the window shows: a cache of many entries on a slow disk must not delay it.
    QTimer::singleShot(0, this, [this, paths = std::move(plainPaths)]() mutable {
        StartReadingEntries();
        StartReadingSummaries(std::move(paths));
    });
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
                   [this](cache::UnreadStore& store) { ReportUnreadStore(std::move(store)); },
               },
               finding);
}

int CLocalPage::RowOfPath(const std::string& path)
{
    for (std::size_t i = 0; i < m_entryRows.size(); ++i) {
        if (m_entryRows[i].row.path == path)
            return static_cast<int>(i);
    }
    if (m_plainRowOf.empty()) {
        for (int row = static_cast<int>(m_entryRows.size()); row < m_list->rowCount(); ++row)
            m_plainRowOf.emplace(ListView::CellBytes(m_list, row, kPathColumn),
                                 row - static_cast<int>(m_entryRows.size()));
    }
    const auto found = m_plainRowOf.find(path);
    return found == m_plainRowOf.end() ? -1 : static_cast<int>(m_entryRows.size()) + found->second;
}

void CLocalPage::GivePlainRowAddress(const cache::PlainFileAddress& address)
{
    const int row = RowOfPath(address.path);
    if (row < static_cast<int>(m_entryRows.size()) || !m_plainAddress.emplace(address.path, address.address).second)
        return;
    SetRowTooltip(row, address.path, address.address);
}

void CLocalPage::SetRowTooltip(int row, const std::string& path, const std::string& address)
{
    QString tip = FromBytes(address);
    if (const auto summary = m_summaries.find(path); summary != m_summaries.end() && !summary->second.isEmpty())
        tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + summary->second;
    for (int column = kNameColumn; column <= kPathColumn; ++column)
        m_list->item(row, column)->setToolTip(tip);
}

QString CLocalPage::MovieSummaryOf(const std::string& path) const
{
    const auto summary = m_summaries.find(path);
    return summary == m_summaries.end() ? QString() : summary->second;
}

void CLocalPage::StartReadingSummaries(std::vector<std::string> paths)
{
    if (m_summaryReader || paths.empty())
        return;
    m_summaryReader = std::make_unique<CWorkerThread>(
        this,
        [this, paths = std::move(paths)](CUiHandOver& ui) {
            std::vector<std::pair<std::string, QString>> batch;
            const auto handOver = [&] {
                ui.Post([this, found = std::exchange(batch, {})] {
                    for (const auto& [path, summary] : found)
                        TakeSummary(path, summary);
                });
            };
            for (const std::string& path : paths) {
                if (ui.AbandonedFlag())
                    return;
                if (const auto summary = cache::ReadRowSummary(path, &ui.AbandonedFlag()))
                    batch.emplace_back(path, SummaryText(*summary));
                if (batch.size() == kSummariesPerHandOver)
                    handOver();
            }
            if (!batch.empty())
                handOver();
        },
        CWorkerThread::Priority::Background);
}

void CLocalPage::ReadSummaryNow(const std::string& path)
{
    if (m_summaries.contains(path) || (m_tipReader && !m_tipReader->Finished() && m_strTipPath == path))
        return;
    m_strTipPath = path;
    m_tipReader = std::make_unique<CWorkerThread>(this, [this, path](CUiHandOver& ui) {
        const auto summary = cache::ReadRowSummary(path, &ui.AbandonedFlag());
        const QString text = summary ? SummaryText(*summary) : QString();
        if (!summary && ui.AbandonedFlag())
            return;
        ui.Post([this, path, text] {
            TakeSummary(path, text);
            // Still pointing at the row: its tooltip shows what was read.
            const QPoint at = m_list->viewport()->mapFromGlobal(QCursor::pos());
            const QModelIndex index = m_list->indexAt(at);
            if (QToolTip::isVisible() && index.isValid()
                && ListView::CellBytes(m_list, index.row(), kPathColumn) == path)
                QToolTip::showText(QCursor::pos(), m_list->item(index.row(), kNameColumn)->toolTip(),
                                   m_list->viewport());
        });
    });
}

void CLocalPage::TakeSummary(const std::string& path, const QString& summary)
{
    // Kept even when empty (no movie there), so that the row is not read again.
    if (!m_summaries.emplace(path, summary).second || summary.isEmpty())
        return;
    const int row = RowOfPath(path);
    if (row >= 0)
        SetRowTooltip(row, path, AddressOfRow(path).value_or(std::string()));
}

bool CLocalPage::eventFilter(QObject* watched, QEvent* event)
{
    if (m_list && watched == m_list->viewport() && event->type() == QEvent::ToolTip) {
        const QModelIndex index = m_list->indexAt(static_cast<QHelpEvent*>(event)->pos());
        if (index.isValid()) {
            const std::string path = ListView::CellBytes(m_list, index.row(), kPathColumn);
            if (!path.empty())
                ReadSummaryNow(path);
        }
    }
    return CDialog::eventFilter(watched, event);
}

void CLocalPage::ReportUnreadStore(cache::UnreadStore store)
{
    m_unreadStores.push_back(std::move(store));
    if (!m_unreadLine)
        return;
    const cache::UnreadStore& first = m_unreadStores.front();
    const QString before = m_unreadStores.size() == 1
        ? QStringLiteral("Not read: ")
        : QStringLiteral("%1 cache folders not read: ").arg(m_unreadStores.size());
    const QString after = FromBytes(" (" + first.format + ": " + first.reason + ")");
    // The path gives way first, in its middle, down to a third of the line; then the reason, at its end.
    const QFontMetrics metrics = m_unreadLine->fontMetrics();
    const int width = m_unreadLine->width();
    const int room = width - metrics.horizontalAdvance(before) - metrics.horizontalAdvance(after);
    const QString path = metrics.elidedText(FromBytes(first.path), Qt::ElideMiddle, std::max(room, width / 3));
    m_unreadLine->setText(metrics.elidedText(before + path + after, Qt::ElideRight, width));
    // A disk of many profiles can hold hundreds: the tooltip names the first few.
    std::string tip;
    const std::size_t named = std::min(m_unreadStores.size(), kUnreadStoresNamed);
    for (std::size_t i = 0; i < named; ++i)
        tip.append(tip.empty() ? "" : "\n").append(cache::UnreadStoreText(m_unreadStores[i]));
    if (named < m_unreadStores.size())
        tip.append("\nand ").append(std::to_string(m_unreadStores.size() - named)).append(" more");
    m_unreadLine->setToolTip(FromBytes(tip));
    m_unreadLine->show();
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
    // A movie from a browser cache shows where it came from, and each row what kind of movie it is once read.
    if (!movie.address.empty() || m_summaries.contains(movie.path))
        SetRowTooltip(row, movie.path, movie.address);
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
        PlayPlainFile(path);
        return;
    case cache::RowTarget::Kind::EntryFile:
    case cache::RowTarget::Kind::Record:
        // Decoded off the window's thread; the preview shows what it showed until the movie is there.
        // It plays as if from the address it was stored for, so that its relative loads reach that site.
        m_previewDecoder = std::make_unique<CWorkerThread>(
            this, [this, target, path, address = AddressOfRow(path).value_or(std::string())](CUiHandOver& ui) {
                auto movie = cache::ReadRowMovie(target, cache::kPreviewMovieLimit, &ui.AbandonedFlag());
                ui.Post([this, movie = std::move(movie), path, address]() mutable {
                    if (movie)
                        m_preview.ShowMovie(std::move(*movie), path, address);
                    else
                        m_preview.ShowNothing();
                });
            });
        return;
    }
}

void CLocalPage::PlayPlainFile(const std::string& path)
{
    const std::string& listed = m_source->folder; // ends in "/"
    if (!path.starts_with(listed)) {
        m_preview.Navigate2(path);
        return;
    }
    // In a copy saved with its files, the site's folder is where its addresses start: "/levels/1.swf" from a
    // movie of the copy is "<copy>/<host>/levels/1.swf".
    std::string root = listed.substr(0, listed.size() - 1);
    for (std::string folder = ParentOf(path); folder.size() >= root.size(); folder = ParentOf(folder)) {
        if (IsRegularFile(folder + "/" + std::string(capture::kManifestName))) {
            const std::size_t hostEnd = path.find('/', folder.size() + 1);
            if (hostEnd != std::string::npos)
                root = path.substr(0, hostEnd);
            break;
        }
    }
    m_preview.PlayFromFolder(path, root, path.substr(root.size() + 1), [](const std::string& pathAndQuery) {
        const auto saved = capture::SavedPathOf(pathAndQuery);
        return saved ? std::vector<std::string>{*saved} : std::vector<std::string>{};
    });
}

std::optional<std::string> CLocalPage::AddressOfRow(const std::string& path) const
{
    for (const cache::EntryMovieRow& row : m_entryRows) {
        if (row.row.path == path)
            return row.row.address.empty() ? std::nullopt : std::optional<std::string>(row.row.address);
    }
    const auto plain = m_plainAddress.find(path);
    return plain == m_plainAddress.end() ? std::nullopt : std::optional<std::string>(plain->second);
}

void CLocalPage::OnSaveWithFiles()
{
    if (m_pSaveJob && !m_pSaveJob->Finished())
        return;
    struct Row {
        std::string path;
        std::optional<std::string> address;
        std::vector<std::string> played;
    };
    std::vector<Row> rows;
    for (const int row : ListView::SelectedRows(m_list)) {
        std::string path = ListView::CellBytes(m_list, row, kPathColumn);
        if (path.empty())
            continue;
        std::vector<std::string> played;
        // Only what the movie asked of the web: a plain file's loads from the disk are the disk's already.
        for (std::string& request : m_preview.Played(path)) {
            if (request.starts_with("http://") || request.starts_with("https://"))
                played.push_back(std::move(request));
        }
        rows.push_back({path, AddressOfRow(path), std::move(played)});
    }
    if (rows.empty()) {
        MovieDialogs::WarnNoSelection(this);
        return;
    }
    const auto chosen = MovieDialogs::AskSaveWithFilesFolder(this);
    if (!chosen)
        return;
    const std::string folder = QFile::encodeName(*chosen).toStdString();
    auto outcome = std::make_shared<capture::SaveOutcome>();
    m_pSaveJob = std::make_unique<CProgressJob>(
        this, QStringLiteral("Save With Its Files"),
        [folder, rows, outcome](const CProgressJob::Tell& tell, const std::atomic<bool>& stop) {
            *outcome = capture::RunCompleteSave(
                folder,
                [&](capture::CompleteSave& save) {
                    for (const Row& row : rows) {
                        tell(QStringLiteral("Reading %1").arg(FromBytes(row.path)), 0, 0);
                        const cache::RowTarget target = cache::ResolveRowPath(row.path);
                        const std::optional<std::string> movie = target.kind == cache::RowTarget::Kind::PlainFile
                            ? ReadPlainMovie(row.path)
                            : cache::ReadRowMovie(target, kMostSavedMovie, &stop);
                        // A movie that cannot be read any more is asked of its address, or told as unresolved.
                        save.AddMovieBytes(movie.value_or(std::string()), row.address, row.path);
                        save.AddPlayed(row.address.value_or(row.path), row.played);
                    }
                },
                stop,
                [&](const std::string& address, std::size_t done, std::size_t known) {
                    tell(QStringLiteral("Fetching %1").arg(FromBytes(address)), done, known);
                });
        },
        [this, outcome] {
            MovieDialogs::TellSavedWithFiles(this, outcome->saved, outcome->missing, outcome->cancelled,
                                             QFile::decodeName(QByteArray::fromStdString(outcome->manifest)),
                                             QString::fromStdString(outcome->failure), outcome->archiveMissing,
                                             QString::fromStdString(outcome->archiveProblem));
        });
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
