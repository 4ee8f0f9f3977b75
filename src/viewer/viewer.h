#pragma once
// mvnrt's window: what the program's main calls when there is a display.

#include <string>

#include "inputs/mvnrt_options.h"
#include "run/prepare.h"
#include "run/single_run.h"

namespace viewer {

// The lifetime of mvnrt's application object. The window and the message
// box make it when they first need it; it is destroyed when this scope ends
// (in main, before the program's exit handlers run, which would find Qt's
// own objects gone already). Make one at the top of main.
class ApplicationScope {
  public:
    ApplicationScope() = default;
    ~ApplicationScope();
    ApplicationScope(const ApplicationScope&) = delete;
    ApplicationScope& operator=(const ApplicationScope&) = delete;
};

// Whether a window can be shown: an X11 or Wayland display is named.
bool displayAvailable();

// Simulates the prepared run on a worker thread while the window plays it,
// beside the sinks of `hooks` (recordings). Returns mvnrt's exit status (that
// of the run; 2 when the crowd model cannot take the setup, after a message
// box saying why).
int runWithWindow(const runtime::PreparedRun& prepared, const runtime::Options& options,
                  runtime::RunHooks hooks = {});

// Shows the recorded run in `place` (a results folder) with a time slider.
// Returns 0, or 2 after a message box when it cannot be read.
int replayInWindow(const std::string& place);

// A message box for a project or scenario that cannot be run.
void showErrorBox(const std::string& message);

}  // namespace viewer
