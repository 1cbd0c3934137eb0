#pragma once
// A dialog built from a template: the stand-in for the platform's dialog class. It creates the
// template's controls with their ids and pixel rectangles, binds members to them in
// DoDataExchange, and runs OnInitDialog once, either as a modal window (DoModal) or as a child page
// of another window (Create).
#include <QDialog>

#include "framework/DialogTemplate.h"

class CDialog : public QDialog {
    Q_OBJECT
public:
    explicit CDialog(int templateId, QWidget* parent = nullptr);
    ~CDialog() override;

    // Creates the controls of a template as a modeless child of `parent` and initialises; false if
    // the template is unknown.
    bool Create(int templateId, QWidget* parent);
    // Creates the controls, initialises and runs the window until it closes.
    int DoModal();
    // Creates the controls and initialises as a top-level window without running it (DoModal's
    // first half, for callers that show the window themselves).
    bool InitModeless();

    // Escape closes a window, but a page inside another window stays.
    void reject() override;

protected:
    // Builds the widget for one template item; subclasses return their own control classes for
    // the ids they bind (the stand-in for attaching a member to an existing item).
    virtual QWidget* CreateControl(const DialogItem& item);
    virtual void DoDataExchange() {}
    virtual bool OnInitDialog() { return true; }

    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    bool BuildFromTemplate();
    void KeepInPage(QMouseEvent* event);

    int m_nTemplateId;
    bool m_bBuilt = false;
};
