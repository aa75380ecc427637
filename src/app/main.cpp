// tessarine-gui: the desktop program.
#include <QApplication>

#include "app/start_up.h"
#include "dialogs/shell.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  tessarine::app::NameApplication();
  tessarine::app::InstallTranslations();
  auto window = tessarine::app::StartUp(tessarine::dialogs::DesktopShell());
  // A project file named on the command line (a double-click in a file
  // manager) is opened at once.
  if (const QStringList arguments = QApplication::arguments(); arguments.size() > 1) {
    window->OpenProject(arguments.at(1));
  }
  return QApplication::exec();
}
