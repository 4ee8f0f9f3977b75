#include "run/offscreen_gui.h"

#include <QMessageLogContext>
#include <QString>

namespace runtime {

std::unique_ptr<QGuiApplication> offscreenGuiIfNeeded() {
    static int argc = 1;
    static char name[] = "mvnrt";
    static char* argv[] = {name, nullptr};
    if (QGuiApplication::instance()) return nullptr;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's chatter about the session (no XDG_RUNTIME_DIR and the like) is of
    // no use to someone reading the report.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return std::make_unique<QGuiApplication>(argc, argv);
}

}  // namespace runtime
