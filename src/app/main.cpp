// tessarine-gui: the desktop program.
#include <QApplication>

#include "app/frm_about.h"
#include "app/icons.h"
#include "app/start_up.h"
#include "dialogs/shell.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("tessarine"));
  QApplication::setApplicationDisplayName(QStringLiteral("Tessarine"));
  QApplication::setApplicationVersion(tessarine::app::ProductVersion());
  QApplication::setWindowIcon(tessarine::app::AppIcon());
  auto window = tessarine::app::StartUp(tessarine::dialogs::DesktopShell());
  // A project file named on the command line (a double-click in a file
  // manager) is opened at once.
  if (const QStringList arguments = QApplication::arguments(); arguments.size() > 1) {
    window->OpenProject(arguments.at(1));
  }
  return QApplication::exec();
}
