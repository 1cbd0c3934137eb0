#include "cache/ui/LocalPage.h"

#include "cache/ListedMovieCopy.h"
#include "cache/RowPath.h"
#include "capture/CompleteSave.h"
#include "capture/SiteLayout.h"
#include "framework/ByteString.h"
#include "framework/Commands.h"
#include "framework/ListView.h"
#include "framework/MovieDialogs.h"
#include "platform/FileDescriptor.h"
#include "platform/Overloaded.h"
#include "res/resource.h"

#include <QFile>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

} // namespace

CLocalPage::~CLocalPage()
{
    // Before the list and the preview go: the save may still be reading rows' movies.
    m_pSaveJob.reset();
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
    ListView::AddRowMenu(m_list, QStringLiteral("Save With Its Files…"), [this] { OnSaveWithFiles(); });

    m_source = cache::LocalListSourceFor(m_chosenFolder);
    if (!m_source)
        return false; // no cache folder: empty list, and the placeholder stays
    m_walk = cache::WalkLocalFolder(*m_source);
    FillList(m_walk.plainRows);
    m_walk.plainRows.clear(); // the list holds them now; only the caches are read on

    m_preview.CreateOverPlaceholder(IDC_PREVIEW, this);
    m_preview.LoadFromResource(IDR_START_PAGE);
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
    m_plainAddress.emplace(address.path, address.address);
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
                                             QString::fromStdString(outcome->failure));
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
