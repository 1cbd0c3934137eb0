#include "app/PageTabCtrl.h"

#include "framework/Dialog.h"

#include <QMouseEvent>
#include <QStyleOptionTabWidgetFrame>
#include <QStylePainter>
#include <QWheelEvent>

CPageTabCtrl::CPageTabCtrl(QWidget* parent) : QTabBar(parent)
{
    setExpanding(false);
    setDrawBase(false);
    setUsesScrollButtons(false);
    // No tab stop: a press on a tab gives the row the focus, Tab never does.
    setFocusPolicy(Qt::ClickFocus);
}

CPageTabCtrl::~CPageTabCtrl() = default;

bool CPageTabCtrl::AddPage(const char* title, CDialog* page, std::uint32_t templateId)
{
    if (m_nCount == kMaxPages)
        return false;
    m_titles[m_nCount] = title;
    m_templateIds[m_nCount] = templateId;
    m_pages[m_nCount] = page;
    ++m_nCount;
    return true;
}

void CPageTabCtrl::InitPages()
{
    for (int i = 0; i < m_nCount; ++i) {
        // The page's own initialisation runs now; a page that fails still gets its tab.
        m_pages[i]->Create(static_cast<int>(m_templateIds[i] & 0xFFFF), this);
        addTab(QString::fromUtf8(m_titles[i]));
    }
    if (m_nCount == 0)
        return;
    m_pages[0]->show();
    for (int i = 1; i < m_nCount; ++i)
        m_pages[i]->hide();
    LayoutPages();
}

QRect CPageTabCtrl::PageRect() const
{
    const QRect client = rect();
    const QRect item = tabRect(0);
    // One pixel below the tab row, from the first tab's left edge to two pixels short of the
    // control's right and bottom edges. Qt's right()/bottom() are inclusive; the platform's are not.
    const int clientRight = client.x() + client.width();
    const int clientBottom = client.y() + client.height();
    const int itemBottom = item.y() + item.height();
    return {item.x(), itemBottom + 1, clientRight - item.x() - 2, clientBottom - itemBottom - 3};
}

void CPageTabCtrl::LayoutPages()
{
    const QRect pageRect = PageRect();
    for (int i = 0; i < m_nCount; ++i) {
        m_pages[i]->setGeometry(pageRect);
        m_pages[i]->raise();
        m_pages[i]->setVisible(i == 0);
    }
}

void CPageTabCtrl::mousePressEvent(QMouseEvent* event)
{
    QTabBar::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        OnLButtonDown();
}

void CPageTabCtrl::OnLButtonDown()
{
    const int focus = currentIndex();
    if (focus == m_nCurrent || focus < 0 || focus >= m_nCount)
        return;
    m_pages[m_nCurrent]->hide();
    m_nCurrent = currentIndex();
    m_pages[m_nCurrent]->show();
}

void CPageTabCtrl::wheelEvent(QWheelEvent* event)
{
    // The wheel would move the selected tab without switching the page; only a press switches.
    event->ignore();
}

void CPageTabCtrl::paintEvent(QPaintEvent* event)
{
    // The panel's frame below the tab row, then the tabs themselves.
    if (count() > 0) {
        QStylePainter painter(this);
        QStyleOptionTabWidgetFrame frame;
        frame.initFrom(this);
        const QRect item = tabRect(0);
        frame.rect = QRect(0, item.bottom(), width(), height() - item.bottom());
        frame.tabBarSize = QSize(width(), item.height());
        frame.shape = shape();
        painter.drawPrimitive(QStyle::PE_FrameTabWidget, frame);
    }
    QTabBar::paintEvent(event);
}
