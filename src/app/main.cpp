// escape-setup: the dialog that sets up a crowd-escape simulation and writes
// the project tree bProj below the directory it was started from.

#include "app/escape_setup_app.h"

int main(int argc, char** argv) {
    app::EscapeSetupApp application(argc, argv);
    return application.run();
}
