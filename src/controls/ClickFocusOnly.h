#pragma once
// Keeps a control out of the Tab chain: it takes the focus when clicked, never from Tab. The web
// viewer hands its focus to a child widget it makes (and remakes) itself, so that child is held to
// the same rule whenever one appears.
#include <QObject>

class QWidget;

class CClickFocusOnly : public QObject {
    Q_OBJECT
public:
    // Applies to `control` and its children from now on; owned by `control`.
    explicit CClickFocusOnly(QWidget* control);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
