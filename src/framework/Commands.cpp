#include "framework/Commands.h"

#include "framework/Dialogs.h"

#include <QCoreApplication>

#include <exception>

namespace {
void ShowFailure(const QString& text)
{
    const QString shown = text.isEmpty() ? QStringLiteral("Internal application error.") : text;
    Dialogs::ShowMessage(nullptr, QCoreApplication::applicationName(), shown, QMessageBox::Critical);
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
    Dialogs::ShowMessage(nullptr, QCoreApplication::applicationName(), text, QMessageBox::Warning);
}
