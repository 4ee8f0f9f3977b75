#include "app/escape_setup_app.h"

#include "app/escape_setup_dialog.h"

namespace app {

EscapeSetupApp::EscapeSetupApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("escape-setup"));
    setApplicationDisplayName(QStringLiteral("Morvanta Escape Simulation"));
    setOrganizationName(QStringLiteral("Morvanta"));
    // The application runs exactly as long as its one dialog.
    setQuitOnLastWindowClosed(false);
}

int EscapeSetupApp::run() {
    EscapeSetupDialog dialog;
    setWindowIcon(dialog.windowIcon());
    dialog.exec();
    // No message loop of its own after the dialog, no settings, nothing
    // written but what a build command writes.
    return 0;
}

}  // namespace app
