#include "framework/Commands.h"

#include "framework/Dialogs.h"

#include <QApplication>

#include <exception>

namespace {
void ShowFailure(const QString& text)
{
    const QString shown = text.isEmpty() ? QStringLiteral("Internal application error.") : text;
    Dialogs::ShowMessage(QApplication::activeWindow(), QCoreApplication::applicationName(), shown,
                         QMessageBox::Critical);
}
} // namespace

void RunCommand(const std::function<void()>& command)
{
    try {
        command();
    } catch (const std::exception& e) {
        ShowFailure(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowFailure({});
    }
}

void AfxMessageBox(const QString& text)
{
    Dialogs::ShowMessage(QApplication::activeWindow(), QCoreApplication::applicationName(), text, QMessageBox::Warning);
}
