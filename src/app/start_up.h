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

// The program's texts are Chinese in the source. This installs Qt's own
// Chinese translations, so that the standard dialogs and buttons Qt draws
// (file dialogs, message box buttons, context menus) speak the same
// language, and makes Chinese the default locale. False when Qt's
// translations are not installed; the program then still runs.
bool InstallTranslations();

// The program's name and identity for the desktop and for QSettings.
void NameApplication();

}  // namespace tessarine::app
