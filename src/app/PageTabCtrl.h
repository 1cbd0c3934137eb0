#pragma once
// The main window's tab control turned into a page switcher: it holds up to 16 pages, creates them
// as its own children, lays them out below the tab row and shows the page of the tab the user
// presses with the left mouse button.
#include <QTabBar>

#include <array>
#include <cstdint>

class CDialog;

class CPageTabCtrl : public QTabBar {
    Q_OBJECT
public:
    static constexpr int kMaxPages = 16;

    explicit CPageTabCtrl(QWidget* parent = nullptr);
    ~CPageTabCtrl() override;

    // The title must outlive the control; it is not copied.
    bool AddPage(const char* title, CDialog* page, std::uint32_t templateId);
    void InitPages();

    int PageCount() const { return m_nCount; }
    int CurrentPage() const { return m_nCurrent; }
    CDialog* Page(int index) const { return index >= 0 && index < m_nCount ? m_pages[index] : nullptr; }
    // The rectangle every page occupies, in this control's coordinates.
    QRect PageRect() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void LayoutPages();
    void OnLButtonDown();

    std::array<const char*, kMaxPages> m_titles{};
    std::array<std::uint32_t, kMaxPages> m_templateIds{};
    std::array<CDialog*, kMaxPages> m_pages{};
    int m_nCount = 0;
    int m_nCurrent = 0;
};
