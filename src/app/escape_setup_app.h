#pragma once
// The application object: makes the main dialog, runs it modally and ends
// when it closes, whichever way it closes.

#include <QApplication>

namespace app {

class EscapeSetupApp : public QApplication {
    Q_OBJECT

  public:
    EscapeSetupApp(int& argc, char** argv);

    // Makes the dialog (without a parent), makes it the main window, runs it
    // modally; the first argument, when given, is a scenario file the dialog
    // opens. Returns the exit code of the process: 0.
    int run();
};

}  // namespace app
