#include "dialogs/shell.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace tessarine::dialogs {
namespace {

QString AppTitle() {
  return QApplication::applicationDisplayName();
}

// The core's messages break lines with CR LF; a label shows LF.
QString ForLabel(QString text) {
  return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
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
    QPushButton* save = box.addButton(QStringLiteral("保存(&S)"), QMessageBox::AcceptRole);
    QPushButton* discard =
        box.addButton(QStringLiteral("不保存(&N)"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save) return SaveAnswer::kSave;
    if (box.clickedButton() == discard) return SaveAnswer::kDiscard;
    return SaveAnswer::kCancel;
  }

  QStringList ChooseOpenFiles(QWidget* parent, const QString& title, const QString& filter,
                              bool multiple) override {
    if (multiple) return QFileDialog::getOpenFileNames(parent, title, QString(), filter);
    const QString file = QFileDialog::getOpenFileName(parent, title, QString(), filter);
    return file.isEmpty() ? QStringList() : QStringList{file};
  }

  QString ChooseSaveFile(QWidget* parent, const QString& title, const QString& filter,
                         const QString& suffix) override {
    QFileDialog dialog(parent, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
  }

  QString ChooseFolder(QWidget* parent, const QString& title) override {
    return QFileDialog::getExistingDirectory(parent, title, QString(), QFileDialog::ShowDirsOnly);
  }

  void OpenWithShell(const QString& path_or_url) override {
    QDesktopServices::openUrl(UrlOf(path_or_url));
  }

  void ExploreFolder(const QString& path) override {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
  }
};

}  // namespace

Shell& DesktopShell() {
  static QtShell shell;
  return shell;
}

}  // namespace tessarine::dialogs
