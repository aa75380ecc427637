// The desktop services the windows use: message boxes, file and folder
// choosers, and handing a file, folder or address to the desktop.
//
// Every window reaches them through this one interface, so tests can replace
// the desktop with a script of answers and read back what the user would have
// seen (tests/gui/fake_shell.h). The real desktop is DesktopShell().
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace tessarine::dialogs {

class Shell {
 public:
  enum class Icon { kNone, kInformation, kError };
  // Answers of the save question asked before unsaved work would be lost.
  enum class SaveAnswer { kSave, kDiscard, kCancel };

  virtual ~Shell() = default;

  // A message box with an OK button and the application's title.
  void ShowMessage(QWidget* parent, const QString& text, Icon icon) {
    ShowMessage(parent, text, icon, QString());
  }
  // The same with `details` (when not empty) behind a button that shows
  // them: what the user may want to read without being made to.
  virtual void ShowMessage(QWidget* parent, const QString& text, Icon icon,
                           const QString& details) = 0;
  // A question with OK and Cancel, no icon; true for OK.
  virtual bool AskOkCancel(QWidget* parent, const QString& text) = 0;
  // Save / Discard / Cancel about unsaved changes.
  virtual SaveAnswer AskSaveChanges(QWidget* parent, const QString& text) = 0;

  // An open-file dialog. `filter` is in Qt's form ("Word 文档 (*.doc *.docx)").
  // Several files may be chosen when `multiple`; the result holds full paths
  // in the order the dialog gives them, and is empty when the user cancels.
  // Files need not exist.
  virtual QStringList ChooseOpenFiles(QWidget* parent, const QString& title, const QString& filter,
                                      bool multiple) = 0;
  // A save-file dialog; `suffix` (without dot) is added to a name typed
  // without one. Empty when cancelled.
  virtual QString ChooseSaveFile(QWidget* parent, const QString& title, const QString& filter,
                                 const QString& suffix) = 0;
  // A folder chooser limited to file-system folders, opened at
  // `start_folder` when that exists; empty when cancelled.
  virtual QString ChooseFolder(QWidget* parent, const QString& title,
                               const QString& start_folder) = 0;

  // Opens a file (or a web address) with the program the desktop associates
  // with it. When the desktop has no such program, or it refuses to start,
  // the user is told so with the path, to open it by hand.
  virtual void OpenWithShell(QWidget* parent, const QString& path_or_url) = 0;
  // Shows a folder in the desktop's file manager; a failure is told as for
  // OpenWithShell.
  virtual void ExploreFolder(QWidget* parent, const QString& path) = 0;
};

// What the user reads when the desktop could not open `path` (a page, or a
// folder when `folder`).
QString CannotOpenMessage(const QString& path, bool folder);

// The folder each file dialog was last left in, by the dialog's title,
// remembered across runs; empty for a dialog never used.
QString LastDialogFolder(const QString& title);
void RememberDialogFolder(const QString& title, const QString& chosen_path);

// The real desktop: Qt's message boxes and file dialogs, QDesktopServices.
Shell& DesktopShell();

}  // namespace tessarine::dialogs
