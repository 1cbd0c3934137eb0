#pragma once
// The application object: starts the program, runs the main window modally, and is the one place
// where a failure that ends a user's command is caught and shown.
#include <QApplication>
#include <QString>

#include <functional>

class QWidget;

class CPlumerocApp : public QApplication {
public:
    CPlumerocApp(int& argc, char** argv);

    // Process-wide settings that must be made before the application object exists.
    static void PrepareEnvironment();

    // Builds the main window and runs it until it closes; returns the process exit code.
    int InitInstance();

    // Runs one user command. An exception that escapes it ends the command and is shown in a
    // message box with a stop icon and the exception's text (or "Internal application error.").
    // Exceptions must not unwind through Qt's event loop, so every handler goes through here.
    static void RunCommand(const std::function<void()>& command);

    // Last resort for anything an event handler let escape.
    bool notify(QObject* receiver, QEvent* event) override;
};

// The application's message box: caption "Plumeroc", warning icon, OK.
void AfxMessageBox(const QString& text);

// Wraps a member handler so that it runs through CPlumerocApp::RunCommand, for connect().
template <class T>
auto OnCommand(T* object, void (T::*handler)())
{
    return [object, handler] { CPlumerocApp::RunCommand([object, handler] { (object->*handler)(); }); };
}
