#include "dialogs/shell.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QUrl>
#include <optional>
#include <string>

#include "support/process.h"

namespace tessarine::dialogs {
namespace {

QString AppTitle() {
  return QApplication::applicationDisplayName();
}

// The core's messages break lines with CR LF; a label shows LF.
QString ForLabel(QString text) {
  return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString Tr(const char* text) {
  return QCoreApplication::translate("Shell", text);
}

QString DialogKey(const QString& title) {
  return QStringLiteral("dialogFolders/") + QString::fromLatin1(QUrl::toPercentEncoding(title));
}

void SayCannotOpen(QWidget* parent, const QString& path, bool folder) {
  QMessageBox box(parent);
  box.setWindowTitle(AppTitle());
  box.setIcon(QMessageBox::Warning);
  box.setText(CannotOpenMessage(path, folder));
  box.setTextInteractionFlags(Qt::TextSelectableByMouse);
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}

// Hands `url` to the desktop's opener. Its answer comes later: a program
// that is missing, fails to start or ends with an error is told to the user
// then. The process has no parent, so that the program's end never takes
// down a browser the opener is still waiting for.
void OpenOrSay(QWidget* parent, const QUrl& url, const QString& shown, bool folder) {
  const std::optional<std::string> found = support::FindProgram("xdg-open");
  if (!found) {
    if (!QDesktopServices::openUrl(url)) SayCannotOpen(parent, shown, folder);
    return;
  }
  auto* process = new QProcess;
  // Started through Qt rather than the process service: the opener's answer
  // comes through the event loop, and whatever it starts (a browser) must
  // outlive it rather than go with its process group.
  process->setProgram(QString::fromStdString(*found));
  process->setArguments({url.toString()});
  process->setStandardOutputFile(QProcess::nullDevice());
  process->setStandardErrorFile(QProcess::nullDevice());
  const QPointer<QWidget> owner(parent);
  QObject::connect(process, &QProcess::finished, process,
                   [process, owner, shown, folder](int code, QProcess::ExitStatus status) {
                     process->deleteLater();
                     if (status != QProcess::NormalExit || code != 0) {
                       SayCannotOpen(owner, shown, folder);
                     }
                   });
  QObject::connect(process, &QProcess::errorOccurred, process,
                   [process, owner, shown, folder](QProcess::ProcessError error) {
                     if (error != QProcess::FailedToStart) return;
                     process->deleteLater();
                     SayCannotOpen(owner, shown, folder);
                   });
  process->start();
}

QUrl UrlOf(const QString& path_or_url) {
  // Absolute paths and relative file names are files; anything with a scheme
  // of more than one letter is an address.
  QUrl url(path_or_url, QUrl::StrictMode);
  if (url.isValid() && url.scheme().size() > 1) return url;
  return QUrl::fromLocalFile(QFileInfo(path_or_url).absoluteFilePath());
}

class QtShell final : public Shell {
 public:
  using Shell::ShowMessage;
  void ShowMessage(QWidget* parent, const QString& text, Icon icon,
                   const QString& details) override {
    QMessageBox box(parent);
    box.setWindowTitle(AppTitle());
    box.setText(ForLabel(text));
    box.setIcon(icon == Icon::kError         ? QMessageBox::Critical
                : icon == Icon::kInformation ? QMessageBox::Information
                                             : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    if (!details.isEmpty()) box.setDetailedText(details);
    box.exec();
  }

  bool AskOkCancel(QWidget* parent, const QString& text) override {
    QMessageBox box(parent);
    box.setWindowTitle(AppTitle());
    box.setText(ForLabel(text));
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok;
  }

  SaveAnswer AskSaveChanges(QWidget* parent, const QString& text) override {
    QMessageBox box(parent);
    box.setWindowTitle(AppTitle());
    box.setIcon(QMessageBox::Warning);
    box.setText(text);
    QPushButton* save = box.addButton(Tr("保存(&S)"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(Tr("不保存(&N)"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(Tr("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save) return SaveAnswer::kSave;
    if (box.clickedButton() == discard) return SaveAnswer::kDiscard;
    return SaveAnswer::kCancel;
  }

  QStringList ChooseOpenFiles(QWidget* parent, const QString& title, const QString& filter,
                              bool multiple) override {
    QStringList files;
    if (multiple) {
      files = QFileDialog::getOpenFileNames(parent, title, LastDialogFolder(title), filter);
    } else if (QString file =
                   QFileDialog::getOpenFileName(parent, title, LastDialogFolder(title), filter);
               !file.isEmpty()) {
      files << file;
    }
    if (!files.isEmpty()) RememberDialogFolder(title, files.first());
    return files;
  }

  QString ChooseSaveFile(QWidget* parent, const QString& title, const QString& filter,
                         const QString& suffix) override {
    QFileDialog dialog(parent, title, LastDialogFolder(title), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    RememberDialogFolder(title, dialog.selectedFiles().first());
    return dialog.selectedFiles().first();
  }

  QString ChooseFolder(QWidget* parent, const QString& title,
                       const QString& start_folder) override {
    const QString start = QFileInfo(start_folder).isDir() ? start_folder : LastDialogFolder(title);
    QString folder =
        QFileDialog::getExistingDirectory(parent, title, start, QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty()) RememberDialogFolder(title, folder);
    return folder;
  }

  void OpenWithShell(QWidget* parent, const QString& path_or_url) override {
    OpenOrSay(parent, UrlOf(path_or_url), path_or_url, /*folder=*/false);
  }

  void ExploreFolder(QWidget* parent, const QString& path) override {
    OpenOrSay(parent, QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()), path,
              /*folder=*/true);
  }
};

}  // namespace

QString CannotOpenMessage(const QString& path, bool folder) {
  return (folder ? Tr("无法打开文件管理器。请手动打开此文件夹：")
                 : Tr("无法打开浏览器。请手动打开此页面：")) +
         QLatin1Char('\n') + QDir::toNativeSeparators(path);
}

QString LastDialogFolder(const QString& title) {
  const QString folder = QSettings().value(DialogKey(title)).toString();
  return QFileInfo(folder).isDir() ? folder : QString();
}

void RememberDialogFolder(const QString& title, const QString& chosen_path) {
  const QFileInfo chosen(chosen_path);
  QSettings().setValue(DialogKey(title),
                       chosen.isDir() ? chosen.absoluteFilePath() : chosen.absolutePath());
}

Shell& DesktopShell() {
  static QtShell shell;
  return shell;
}

}  // namespace tessarine::dialogs
