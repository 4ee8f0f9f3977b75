#include "app/escape_setup_app.h"

#include <QTimer>

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
    // `escape-setup FILE.json` opens with the scenario of that file, once the
    // dialog is on screen (a file that cannot be read is told over it).
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1) {
        const QString file = arguments.at(1);
        QTimer::singleShot(0, &dialog, [&dialog, file] { dialog.openScenario(file); });
    }
    dialog.exec();
    // No message loop of its own after the dialog, no settings, nothing
    // written but what a build command or "Save scenario as..." writes.
    return 0;
}

}  // namespace app
