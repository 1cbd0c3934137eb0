#pragma once
// The main window: borderless, painted with its stretched background picture, holding the page
// tabs and the home and close picture buttons. Dragging the background moves the window.
#include "app/PageTabCtrl.h"
#include "cache/ui/LocalPage.h"
#include "capture/ui/InternetPage.h"
#include "framework/Dialog.h"
#include "res/resource.h"

#include <QIcon>
#include <QPixmap>
#include <QPointer>

class CBitmapButton;

class CMainDialog : public CDialog {
    Q_OBJECT
public:
    enum { IDD = IDD_PLUMEROC };

    explicit CMainDialog(QWidget* parent = nullptr);
    ~CMainDialog() override;

    CPageTabCtrl* PageTabs() const { return m_pageTabs; }
    CInternetPage& InternetPage() { return m_internetPage; }
    CLocalPage& LocalPage() { return m_localPage; }

protected:
    QWidget* CreateControl(const DialogItem& item) override;
    void DoDataExchange() override;
    bool OnInitDialog() override;

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void OnOK();

    QPixmap m_background;
    QPointer<CBitmapButton> m_homeButton;
    QPointer<CBitmapButton> m_closeButton;
    QPointer<CPageTabCtrl> m_pageTabs;
    QIcon m_icon;
    CLocalPage m_localPage;
    CInternetPage m_internetPage;
    // Set while the window is moved by hand, where the window system cannot move it itself.
    std::optional<QPoint> m_dragOffset;
};
