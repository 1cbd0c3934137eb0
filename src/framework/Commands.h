#pragma once
// Where a user's command runs: the one place that catches what ends it and shows it. Exceptions must
// not unwind through Qt's event loop, so every handler is connected through OnCommand.
#include <QString>

#include <functional>

// Runs one user command. An exception that escapes it ends the command and is shown in a message box
// with a stop icon and the exception's text (or "Internal application error.").
void RunCommand(const std::function<void()>& command);

// Wraps a member handler so that it runs through RunCommand, for connect().
template <class T>
auto OnCommand(T* object, void (T::*handler)())
{
    return [object, handler] { RunCommand([object, handler] { (object->*handler)(); }); };
}

// The application's message box, owned by the main window: the application's name as caption, warning
// icon, OK.
void AfxMessageBox(const QString& text);
