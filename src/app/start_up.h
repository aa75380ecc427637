// The program's start: the splash while the main window loads, then the main
// window.
#pragma once

#include <memory>

#include "app/frm_main.h"

namespace tessarine::dialogs {
class Shell;
}

namespace tessarine::app {

// Shows the splash, makes sure the default output folder exists, loads and
// shows the main window, closes the splash. The caller runs the event loop.
std::unique_ptr<FrmMain> StartUp(dialogs::Shell& shell);

}  // namespace tessarine::app
