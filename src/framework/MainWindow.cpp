#include "framework/MainWindow.h"

#include <QPointer>
#include <QWidget>

namespace {
QPointer<QWidget>& TheMainWindow()
{
    static QPointer<QWidget> window;
    return window;
}
} // namespace

QWidget* AfxGetMainWnd() { return TheMainWindow().data(); }

void AfxSetMainWnd(QWidget* window) { TheMainWindow() = window; }
