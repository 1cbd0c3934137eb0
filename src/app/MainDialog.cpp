#include "app/MainDialog.h"
#include "res/resource.h"

#include "app/BitmapButton.h"
#include "app/PlumerocApp.h"
#include "framework/Commands.h"
#include "framework/MainWindow.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QWindow>

namespace {
// Width of a dialog frame on the platform the templates were drawn for.
constexpr int kDialogFrameWidth = 3;
} // namespace

CMainDialog::CMainDialog(QWidget* parent) : CDialog(IDD, parent), m_icon(QStringLiteral(":/res/icon128.ico"))
{
    AfxSetMainWnd(this);
}

CMainDialog::~CMainDialog()
{
    // The pages go next, and a box they might show must not belong to a window half gone.
    if (AfxGetMainWnd() == this)
        AfxSetMainWnd(nullptr);
}

QWidget* CMainDialog::CreateControl(const DialogItem& item)
{
    switch (item.id) {
    case IDC_TABS:
        return new CPageTabCtrl(this);
    case IDC_HOME:
    case IDC_CLOSE:
        return new CBitmapButton(this);
    default:
        return CDialog::CreateControl(item);
    }
}

void CMainDialog::DoDataExchange()
{
    m_homeButton = qobject_cast<CBitmapButton*>(GetDlgItem(this, IDC_HOME));
    m_closeButton = qobject_cast<CBitmapButton*>(GetDlgItem(this, IDC_CLOSE));
    m_pageTabs = qobject_cast<CPageTabCtrl*>(GetDlgItem(this, IDC_TABS));
}

bool CMainDialog::OnInitDialog()
{
    setWindowIcon(m_icon);

    m_pageTabs->AddPage("Internet Files", &m_internetPage, CInternetPage::IDD);
    m_pageTabs->AddPage("Local Files", &m_localPage, CLocalPage::IDD);
    m_pageTabs->InitPages();
    m_pageTabs->move(5, 50);
    // Tab visits the pages' controls before the picture buttons, as the template orders them: the tab
    // control that holds the pages comes first. The pages were made after the buttons, which are
    // therefore moved behind them.
    QWidget::setTabOrder(previousInFocusChain(), m_homeButton);
    QWidget::setTabOrder(m_homeButton, m_closeButton);

    // No title bar and no border: the background picture draws the title band. The window keeps the
    // outer size it had with them, so its client area grows by the title bar and the frame. It keeps
    // a minimise button so the window system can still minimise and restore it. Its size is fixed:
    // the window manager may neither resize nor maximise it.
    const int frame = kDialogFrameWidth;
    setFixedSize(width() + 2 * frame, height() + style()->pixelMetric(QStyle::PM_TitleBarHeight) + 2 * frame);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint);
    setWindowTitle(QStringLiteral("Plumeroc"));

    m_background.load(QStringLiteral(":/res/background132.bmp"));
    m_closeButton->LoadBitmaps(QPixmap(QStringLiteral(":/res/close136.bmp")),
                               QPixmap(QStringLiteral(":/res/close133.bmp")));
    m_homeButton->LoadBitmaps(QPixmap(QStringLiteral(":/res/home135.bmp")),
                              QPixmap(QStringLiteral(":/res/home134.bmp")));
    connect(m_closeButton, &QAbstractButton::clicked, this, OnCommand(this, &CMainDialog::OnOK));
    return true;
}

void CMainDialog::OnOK() { accept(); }

void CMainDialog::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!m_background.isNull())
        painter.drawPixmap(rect(), m_background, m_background.rect());
}

void CMainDialog::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        CDialog::mousePressEvent(event);
        return;
    }
    // A press on the background acts like a press on a title bar.
    QWindow* window = windowHandle();
    if (window == nullptr || !window->startSystemMove())
        m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
    event->accept();
}

void CMainDialog::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragOffset && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - *m_dragOffset);
    CDialog::mouseMoveEvent(event);
}

void CMainDialog::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_dragOffset.reset();
    CDialog::mouseReleaseEvent(event);
}
