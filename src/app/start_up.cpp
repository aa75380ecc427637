#include "app/start_up.h"

#include <QApplication>
#include <filesystem>
#include <system_error>

#include "app/frm_splash.h"
#include "support/files.h"

namespace tessarine::app {

std::unique_ptr<FrmMain> StartUp(dialogs::Shell& shell) {
  FrmSplash splash;
  splash.show();
  QApplication::processEvents();

  // A first run has no output folder yet; the build insists on an existing
  // one. Failing here is not fatal: the build names the folder later.
  std::error_code error;
  std::filesystem::create_directories(support::DefaultOutputFolder(), error);

  auto main = std::make_unique<FrmMain>(shell, support::DataFolder());
  main->show();
  splash.finish(main.get());
  return main;
}

}  // namespace tessarine::app
