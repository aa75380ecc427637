// A desktop for window tests: answers come from scripts the test fills in,
// and everything the user would have seen is recorded.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "dialogs/shell.h"

namespace tessarine::testing {

class FakeShell final : public dialogs::Shell {
 public:
  struct Message {
    QString text;
    Icon icon;
    QString details;
  };

  // What was shown, in order.
  QList<Message> messages;
  QStringList questions;  // texts of AskOkCancel and AskSaveChanges
  QStringList opened;     // OpenWithShell arguments
  QStringList explored;   // ExploreFolder arguments

  // Scripted answers, taken from the front; when a script runs dry the user
  // cancels (OK/Cancel questions answer Cancel, choosers return nothing).
  QList<bool> ok_cancel_answers;
  QList<SaveAnswer> save_answers;
  QList<QStringList> open_files_answers;
  QStringList save_file_answers;
  QStringList folder_answers;

  using Shell::ShowMessage;
  void ShowMessage(QWidget*, const QString& text, Icon icon, const QString& details) override {
    messages.append({text, icon, details});
  }
  bool AskOkCancel(QWidget*, const QString& text) override {
    questions.append(text);
    return !ok_cancel_answers.isEmpty() && ok_cancel_answers.takeFirst();
  }
  SaveAnswer AskSaveChanges(QWidget*, const QString& text) override {
    questions.append(text);
    return save_answers.isEmpty() ? SaveAnswer::kCancel : save_answers.takeFirst();
  }
  QStringList ChooseOpenFiles(QWidget*, const QString&, const QString& filter,
                              bool multiple) override {
    last_filter = filter;
    last_multiple = multiple;
    return open_files_answers.isEmpty() ? QStringList() : open_files_answers.takeFirst();
  }
  QString ChooseSaveFile(QWidget*, const QString&, const QString& filter, const QString&) override {
    last_filter = filter;
    return save_file_answers.isEmpty() ? QString() : save_file_answers.takeFirst();
  }
  QString ChooseFolder(QWidget*, const QString& title, const QString& start_folder) override {
    last_folder_title = title;
    last_folder_start = start_folder;
    return folder_answers.isEmpty() ? QString() : folder_answers.takeFirst();
  }
  void OpenWithShell(QWidget*, const QString& path) override { opened.append(path); }
  void ExploreFolder(QWidget*, const QString& path) override { explored.append(path); }

  QString last_filter;
  bool last_multiple = false;
  QString last_folder_title;
  QString last_folder_start;
};

}  // namespace tessarine::testing
