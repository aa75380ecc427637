#include "app/start_up.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <filesystem>
#include <system_error>

#include "app/frm_about.h"
#include "app/frm_splash.h"
#include "app/icons.h"
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

bool InstallTranslations() {
  const QLocale chinese(QLocale::Chinese, QLocale::China);
  QLocale::setDefault(chinese);
  // Lives as long as the program: the application keeps a pointer to it.
  static QTranslator* qt_texts = nullptr;
  if (qt_texts != nullptr) return true;
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    return false;
  }
  qt_texts = translator.release();
  QCoreApplication::installTranslator(qt_texts);
  return true;
}

void NameApplication() {
  QApplication::setOrganizationName(QStringLiteral("tessarine"));
  QApplication::setApplicationName(QStringLiteral("tessarine"));
  QApplication::setApplicationDisplayName(QStringLiteral("Tessarine"));
  QApplication::setApplicationVersion(ProductVersion());
  QApplication::setWindowIcon(AppIcon());
}

}  // namespace tessarine::app
