#include "capture/ui/InternetPage.h"
#include "res/resource.h"

#include "capture/Capture.h"
#include "capture/CompleteSave.h"
#include "capture/SaveAll.h"
#include "capture/TypedUrls.h"
#include "capture/UrlFetcher.h"
#include "capture/ui/CaptureWorker.h"
#include "controls/PlayerPreload.h"
#include "framework/ByteString.h"
#include "framework/Commands.h"
#include "framework/ListView.h"
#include "framework/MovieDialogs.h"
#include "wayback/ArchiveSetting.h"
#include "wayback/RawCapture.h"

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTableWidget>

#include <algorithm>

namespace {
constexpr int kStatusColumn = 0;
constexpr int kFileNameColumn = 1;
const std::string kNew = "New";
const std::string kPreview = "Preview";
} // namespace

CInternetPage::CInternetPage(QWidget* parent) : CDialog(IDD, parent) {}

CInternetPage::~CInternetPage()
{
    // Before any control goes: the workers may still be waiting for this thread or using the indicator.
    m_pSaveJob.reset();
    m_pWorker.reset();
}

bool CInternetPage::CaptureRunning() const { return m_pWorker && !m_pWorker->Finished(); }

void CInternetPage::DoDataExchange()
{
    m_addressBox = qobject_cast<QComboBox*>(GetDlgItem(this, IDC_ADDRESS));
    m_movieList = qobject_cast<QTableWidget*>(GetDlgItem(this, IDC_MOVIE_LIST));
    m_busy.SubclassDlgItem(IDC_BUSY, this);
}

bool CInternetPage::OnInitDialog()
{
    CDialog::OnInitDialog();

    m_busy.m_nBlockCount = 50;
    m_busy.RecalcLayout();
    m_busy.m_nInterval = 100;
    m_busy.m_nRangeMin = -100;
    m_busy.m_nRangeMax = 100;

    if (m_movieList) {
        ListView::AddGridAndFullRowSelect(m_movieList);
        ListView::InsertColumns(m_movieList, {{QStringLiteral("Status"), 60}, {QStringLiteral("File Name"), 500}});
        // Cut long addresses in the middle: their end, the movie's own name, tells rows apart, and a row read
        // from the archive begins with the archive's address and the capture's time.
        m_movieList->setTextElideMode(Qt::ElideMiddle);
    }

    if (m_preview.CreateOverPlaceholder(IDC_PREVIEW, this)) {
        m_preview.LoadFromResource(IDR_START_PAGE);
        preview::PreloadPlayer(m_preview);
    }

    LoadTypedUrls();

    if (auto* go = qobject_cast<QPushButton*>(GetDlgItem(this, IDC_GO)))
        connect(go, &QAbstractButton::clicked, this, OnCommand(this, &CInternetPage::OnGo));
    // A mouse click only: moving the selection with the keyboard previews nothing.
    if (m_movieList)
        connect(m_movieList, &QAbstractItemView::clicked, this, OnCommand(this, &CInternetPage::OnClickList));
    if (auto* save = qobject_cast<QPushButton*>(GetDlgItem(this, IDC_SAVE)))
        connect(save, &QAbstractButton::clicked, this, OnCommand(this, &CInternetPage::OnSave));
    if (auto* saveAll = qobject_cast<QPushButton*>(GetDlgItem(this, IDC_SAVE_ALL)))
        connect(saveAll, &QAbstractButton::clicked, this, OnCommand(this, &CInternetPage::OnSaveAll));
    if (m_movieList)
        ListView::AddRowMenu(m_movieList, QStringLiteral("Save With Its Files…"), [this] { OnSaveWithFiles(); });
    return true;
}

void CInternetPage::LoadTypedUrls()
{
    if (!m_addressBox)
        return;
    int index = 0;
    for (const std::string& url : capture::ReadTypedUrls())
        m_addressBox->insertItem(index++, FromBytes(url));
    m_addressBox->setCurrentIndex(0);
}

void CInternetPage::OnGo()
{
    // "Go" is disabled while a capture runs; a press that still gets here starts no second one.
    if (m_pWorker && !m_pWorker->HandOversDone())
        return;
    // The last capture only has its indicator left to stop: waiting for it is short and cannot block.
    m_pWorker.reset();

    m_strAddress = capture::AddressToCapture(m_addressBox ? ToBytes(m_addressBox->currentText()) : std::string());

    // Disabled here already, so that a second click cannot come before the worker's first step.
    EnableGo(false);
    try {
        CaptureView& view = *this;
        m_pWorker = std::make_unique<CCaptureWorker>(view, this, m_strAddress);
    } catch (...) {
        EnableGo(true);
        throw;
    }
}

void CInternetPage::OnClickList()
{
    const int row = ListView::SelectedRow(m_movieList);
    if (row < 0)
        return;
    const std::string address = ListView::CellBytes(m_movieList, row, kFileNameColumn);
    ListView::SetCellBytes(m_movieList, row, kStatusColumn, kPreview);
    // The movie's relative loads go to its page, as in the browser that showed the page.
    if (!address.empty())
        m_preview.Navigate2(address, m_strRowsPage);
}

void CInternetPage::OnSave()
{
    const int row = ListView::SelectedRow(m_movieList);
    if (row < 0) {
        MovieDialogs::WarnNoSelection(this);
        return;
    }
    const std::string address = ListView::CellBytes(m_movieList, row, kFileNameColumn);
    if (address.empty())
        return;
    const auto path = MovieDialogs::AskMovieFileName(this);
    if (!path)
        return;
    capture::CUrlFetcher fetcher;
    fetcher.DownloadToFile(address, QFile::encodeName(*path).toStdString());
}

void CInternetPage::OnSaveAll()
{
    const auto folder = MovieDialogs::AskSaveAllFolder(this);
    if (!folder)
        return;
    // The worker's changes to the list wait for this thread: the rows read now stay the rows until the end.
    const int rows = m_movieList ? m_movieList->rowCount() : 0;
    std::vector<std::string> addresses;
    addresses.reserve(static_cast<std::size_t>(rows));
    for (int row = 0; row < rows; ++row)
        addresses.push_back(ListView::CellBytes(m_movieList, row, kFileNameColumn));
    // Silent row by row; a transfer that breaks off ends the command with the failure box.
    capture::SaveAll(addresses, QFile::encodeName(*folder).toStdString(), capture::AfterBreak::kStop);
}

void CInternetPage::OnSaveWithFiles()
{
    if (m_pSaveJob && !m_pSaveJob->Finished())
        return;
    std::vector<std::string> movies;
    for (const int row : ListView::SelectedRows(m_movieList))
        movies.push_back(ListView::CellBytes(m_movieList, row, kFileNameColumn));
    std::erase(movies, std::string());
    if (movies.empty()) {
        MovieDialogs::WarnNoSelection(this);
        return;
    }
    const auto chosen = MovieDialogs::AskSaveWithFilesFolder(this);
    if (!chosen)
        return;
    const std::string folder = QFile::encodeName(*chosen).toStdString();
    std::vector<std::pair<std::string, std::vector<std::string>>> played;
    played.reserve(movies.size());
    for (const std::string& movie : movies)
        played.emplace_back(movie, m_preview.Played(movie));
    // Rows read from the archive are its raw captures: the copy keeps the site's own addresses, and the archive
    // gives what the live site does not from the captures nearest the page's.
    const std::string archive = wayback::Archive();
    const auto original = [&archive](std::string& address) { address = wayback::OriginalAddress(archive, address); };
    std::ranges::for_each(movies, original);
    for (auto& [movie, requests] : played) {
        original(movie);
        std::ranges::for_each(requests, original);
    }
    auto outcome = std::make_shared<capture::SaveOutcome>();
    m_pSaveJob = std::make_unique<CProgressJob>(
        this, QStringLiteral("Save With Its Files"),
        [folder, page = wayback::OriginalAddress(archive, m_strRowsPage), movies, played,
         outcome](const CProgressJob::Tell& tell, const std::atomic<bool>& stop) {
            *outcome = capture::RunCompleteSave(
                folder,
                [&](capture::CompleteSave& save) {
                    if (page.empty()) {
                        for (const std::string& movie : movies)
                            save.AddAddress(movie);
                    } else {
                        save.AddPageMovies(page, movies);
                    }
                    for (const auto& [movie, requests] : played)
                        save.AddPlayed(movie, requests);
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

void CInternetPage::EnableGo(bool enable)
{
    if (QWidget* go = GetDlgItem(this, IDC_GO))
        go->setEnabled(enable);
}

void CInternetPage::DeleteAllMovieRows()
{
    // The rows that follow are this capture's.
    m_strRowsPage = m_strAddress;
    if (m_movieList)
        m_movieList->setRowCount(0);
}

void CInternetPage::InsertMovieRowsAtTop(const std::vector<std::string>& addresses)
{
    if (!m_movieList)
        return;
    for (const std::string& address : addresses) {
        m_movieList->insertRow(0);
        ListView::SetCellBytes(m_movieList, 0, kStatusColumn, kNew);
        ListView::SetCellBytes(m_movieList, 0, kFileNameColumn, address);
    }
}

void CInternetPage::StartBusy() { m_busy.Start(); }
void CInternetPage::StopBusy() { m_busy.Stop(); }
void CInternetPage::ResetBusy() { m_busy.Reset(); }
