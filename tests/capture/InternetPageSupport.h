#pragma once
// Driving the Internet Files page in tests: finding its controls, pressing its buttons, reading its
// rows, and a gate that holds a loopback server's answer until the test lets it go.
#include "capture/ui/InternetPage.h"
#include "framework/DialogTemplate.h"
#include "res/resource.h"

#include <QComboBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace test {

// The page with its placeholder 1010 removed before initialisation, so that no web engine starts:
// everything but the preview itself works as in the window.
class PageWithoutPreview : public CInternetPage {
protected:
    void DoDataExchange() override
    {
        CInternetPage::DoDataExchange();
        delete GetDlgItem(this, IDC_PREVIEW);
    }
};

inline QComboBox* AddressBox(CInternetPage& page) { return qobject_cast<QComboBox*>(GetDlgItem(&page, IDC_ADDRESS)); }
inline QPushButton* Button(CInternetPage& page, int id) { return qobject_cast<QPushButton*>(GetDlgItem(&page, id)); }
inline QTableWidget* MovieList(CInternetPage& page)
{
    return qobject_cast<QTableWidget*>(GetDlgItem(&page, IDC_MOVIE_LIST));
}
inline CBusyProgressCtrl* Busy(CInternetPage& page)
{
    return qobject_cast<CBusyProgressCtrl*>(GetDlgItem(&page, IDC_BUSY));
}

using Row = std::pair<std::string, std::string>; // status, address

inline std::vector<Row> Rows(CInternetPage& page)
{
    QTableWidget* list = MovieList(page);
    std::vector<Row> rows;
    for (int i = 0; i < list->rowCount(); ++i) {
        auto text = [&](int column) {
            const QTableWidgetItem* item = list->item(i, column);
            return item ? item->text().toStdString() : std::string("<no item>");
        };
        rows.emplace_back(text(0), text(1));
    }
    return rows;
}

inline void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

inline void ClickRow(CInternetPage& page, int row, Qt::KeyboardModifiers modifiers = {})
{
    QTableWidget* list = MovieList(page);
    const QRect cell = list->visualRect(list->model()->index(row, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, cell.center());
}

// Types `address` and presses "Go".
inline void Go(CInternetPage& page, const std::string& address)
{
    AddressBox(page)->setEditText(QString::fromStdString(address));
    Click(Button(page, IDC_GO));
}

// Waits until the capture has ended; false if it has not, or if it left "Go" disabled.
inline bool WaitForIdle(CInternetPage& page, int timeoutMs = 10000)
{
    return QTest::qWaitFor([&] { return !page.CaptureRunning(); }, timeoutMs) && Button(page, IDC_GO)->isEnabled();
}

// Holds every request that reaches Wait until Open; open at first.
class Gate {
public:
    Gate() = default;
    ~Gate() { Open(); }
    Gate(const Gate&) = delete;
    Gate& operator=(const Gate&) = delete;

    // Holds requests again and forgets the arrivals so far.
    void Close()
    {
        std::lock_guard lock(m_mutex);
        m_bOpen = false;
        m_nArrived = 0;
    }
    void Open()
    {
        {
            std::lock_guard lock(m_mutex);
            m_bOpen = true;
        }
        m_changed.notify_all();
    }
    // Server side: counts the arrival, then waits (at most 20 s, so a broken test cannot hang).
    void Wait()
    {
        std::unique_lock lock(m_mutex);
        ++m_nArrived;
        m_changed.notify_all();
        m_changed.wait_for(lock, std::chrono::seconds(20), [&] { return m_bOpen; });
    }
    int Arrived()
    {
        std::lock_guard lock(m_mutex);
        return m_nArrived;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_bOpen = true;
    int m_nArrived = 0;
};

} // namespace test
