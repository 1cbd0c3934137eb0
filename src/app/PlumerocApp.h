#pragma once
// The application object: starts the program and runs the main window modally. Failures that end a
// user's command are caught by RunCommand (framework/Commands.h); notify() is the last resort.
#include <QApplication>

class CPlumerocApp : public QApplication {
public:
    CPlumerocApp(int& argc, char** argv);

    // Process-wide settings that must be made before the application object exists.
    static void PrepareEnvironment();

    // Builds the main window and runs it until it closes; returns the process exit code.
    int InitInstance();

    // Last resort for anything an event handler let escape.
    bool notify(QObject* receiver, QEvent* event) override;
};
