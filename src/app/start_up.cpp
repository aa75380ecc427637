#include "app/start_up.h"

#include <QApplication>
#include <QHash>
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

namespace {

// Texts of Qt's file dialogs that Qt's Chinese translation lacks: the type
// column of the file list.
class MissingQtTexts final : public QTranslator {
 public:
  using QTranslator::QTranslator;
  bool isEmpty() const override { return false; }
  QString translate(const char* context, const char* source, const char* /*disambiguation*/,
                    int /*n*/) const override {
    if (qstrcmp(context, "QAbstractFileIconProvider") != 0) return {};
    static const QHash<QByteArray, QString> kTexts = {
        {"Folder", QStringLiteral("文件夹")},     {"File", QStringLiteral("文件")},
        {"%1 File", QStringLiteral("%1 文件")},   {"Drive", QStringLiteral("驱动器")},
        {"Shortcut", QStringLiteral("快捷方式")}, {"Unknown", QStringLiteral("未知")},
    };
    return kTexts.value(QByteArray(source));
  }
};

}  // namespace

bool InstallTranslations() {
  const QLocale chinese(QLocale::Chinese, QLocale::China);
  QLocale::setDefault(chinese);
  QCoreApplication* application = QCoreApplication::instance();
  // The translators live as long as the application that owns them.
  if (application->findChild<MissingQtTexts*>() != nullptr) return true;
  auto* qt_texts = new QTranslator(application);
  if (!qt_texts->load(chinese, QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete qt_texts;
    return false;
  }
  QCoreApplication::installTranslator(qt_texts);
  QCoreApplication::installTranslator(new MissingQtTexts(application));
  return true;
}

void NameApplication() {
  QApplication::setOrganizationName(QStringLiteral("tessarine"));
  QApplication::setApplicationName(QStringLiteral("tessarine"));
  QApplication::setApplicationDisplayName(QStringLiteral("Tessarine"));
  QApplication::setApplicationVersion(ProductVersion());
  // The menu entry's name, so that a Wayland desktop matches the window to it.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.tessarine.Tessarine"));
  QApplication::setWindowIcon(AppIcon());
}

}  // namespace tessarine::app
