// The main window: edits the project's settings and document list, starts
// and stops a site build, and opens the other windows.
//
// The window holds the one ProjectSettings of the running program. Edits of
// the site-wide settings stay in the controls until a build or a save
// collects them (CollectProjectSettings); list commands and the document
// settings dialog change the Document list at once. A build runs on a worker
// thread: the settings view and the toolbar give way to the building view
// until it ends.
#pragma once

#include <QMainWindow>
#include <QString>
#include <memory>
#include <string>

#include "project/project_settings.h"
#include "site/build_site.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QToolBar;
class QTreeWidget;

namespace tessarine::dialogs {
class Shell;
}

namespace tessarine::app {

class BackgroundJob;
class BuildingPanel;

// Text of the question asked before unsaved changes would be lost.
inline constexpr std::string_view kSaveChangesQuestion = "当前项目已修改，是否保存修改？";
inline constexpr std::string_view kNewProjectQuestion =
    "您确定要新建一项目吗？当前项目如未保存，数据将丢失。";

class FrmMain : public QMainWindow {
  Q_OBJECT

 public:
  // `data_folder` holds template/ and help/ and ends with "/".
  FrmMain(dialogs::Shell& shell, std::string data_folder, QWidget* parent = nullptr);
  ~FrmMain() override;

  project::ProjectSettings& settings() { return settings_; }

  // Moving settings between the stored project and the controls.
  void ShowProjectSettings();
  void CollectProjectSettings();
  void UpdateWindowTitle();

  // The document list view and its commands' enabled states.
  void RefreshDocumentList();
  void UpdateListCommands();
  // The selected row's position from 1; 0 when nothing is selected.
  int SelectedPosition() const;
  void SelectPosition(int position);

  // Shows the building view (true) or the settings view (false).
  void SetBusy(bool busy);
  bool IsBuilding() const;

  // The outcome of the last build that ended.
  const site::BuildOutcome& last_outcome() const { return last_outcome_; }

  // Opens the project file at `path` (after the save question when there are
  // unsaved changes); false when it was not opened.
  bool OpenProject(const QString& path);
  // Appends a record per path, as the add command does with its choice.
  void AddDocuments(const QStringList& paths);

  // Toolbar commands, by their keys.
  void OnToolbarCommand(const QString& key);

 signals:
  // After a build ended and its message was shown.
  void BuildEnded(bool ok);

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Word documents dropped on the window join the list; a project file
  // dropped on it is opened.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateControls();
  QWidget* CreateBasicTab();
  QWidget* CreateContentTab();
  QWidget* CreateTopTab();
  QWidget* CreateHeadTab();
  void CreateToolbar();
  void ConnectModifiedSignals();
  void FillFixedLists();

  void AddDocumentRow(int position);
  void MarkModified();
  void SetModified(bool modified);

  // State kept across runs: the window's place and size, the list's columns
  // and the splitter, and the last eight projects opened or saved.
  void SaveWindowState();
  void RestoreWindowState();
  QStringList RecentProjects() const;
  void AddRecentProject(const QString& path);
  void FillRecentMenu();

  // List commands.
  void OnDocAdd();
  void OnDocDel();
  void OnDocUp();
  void OnDocDown();
  void OnDocEmpty();
  void OpenDocumentSettings();

  // Other commands.
  void OnBrowseOutputDir();
  void OnBrowseLogo();
  void OnTemplatePreview();
  void OnView();
  void OnOpenDir();
  void OnBuilding();
  void OnBuildFinished(bool ok, const QString& message);

  // Project files. Each returns false when the user cancelled or it failed.
  bool OnOpen();
  bool OnNew();
  bool OnSave();
  bool OnSaveAs();
  bool SaveTo(const QString& path);
  bool LoadAndShow(const QString& path);
  // Asks whether to save unsaved changes; false when the user cancels (or the
  // save failed), so the caller must not go on.
  bool MaySetProjectAside();

  dialogs::Shell& shell_;
  const std::string data_folder_;
  project::ProjectSettings settings_;
  // True while controls are filled from the settings: not a user edit.
  bool showing_ = false;
  bool close_after_build_ = false;
  site::BuildOutcome last_outcome_;
  std::shared_ptr<site::BuildOutcome> pending_outcome_;
  BackgroundJob* job_ = nullptr;

  QToolBar* toolbarHead_ = nullptr;
  QStackedWidget* views_ = nullptr;
  QWidget* picBgSetting_ = nullptr;
  BuildingPanel* picBgBuilding_ = nullptr;
  QTabWidget* tabMain_ = nullptr;
  QSplitter* splitter_ = nullptr;
  QMenu* recent_menu_ = nullptr;

  QTreeWidget* lstDoc_ = nullptr;
  QPushButton* cmdDocAdd_ = nullptr;
  QPushButton* cmdDocDel_ = nullptr;
  QPushButton* cmdDocUp_ = nullptr;
  QPushButton* cmdDocDown_ = nullptr;
  QPushButton* cmdDocEmpty_ = nullptr;
  QPushButton* cmdDocSet_ = nullptr;

  QLineEdit* txtOutputDir_ = nullptr;
  QPushButton* cmdBrowseOutputDir_ = nullptr;
  QLineEdit* txtFileExt_ = nullptr;
  QComboBox* cboTemplate_ = nullptr;
  QPushButton* cmdTemplatePreview_ = nullptr;
  QComboBox* cboCharset_ = nullptr;
  QComboBox* cboFileEncode_ = nullptr;
  QCheckBox* chkSiteSearch_ = nullptr;

  QCheckBox* chkPageNav_ = nullptr;
  QLineEdit* txtPageNavPreHTML_ = nullptr;
  QLineEdit* txtPageNavSep_ = nullptr;
  QCheckBox* chkCopyright_ = nullptr;
  QLineEdit* txtCopyrightHTML_ = nullptr;

  QLineEdit* txtPageTopLogo_ = nullptr;
  QPushButton* cmdBrowseLogo_ = nullptr;
  QPlainTextEdit* txtPageTopNav_ = nullptr;

  QLineEdit* txtHeadTitle_ = nullptr;
  QLineEdit* txtMetaKey_ = nullptr;
  QLineEdit* txtMetaDesc_ = nullptr;

  QPushButton* cmdBuilding_ = nullptr;
  QPushButton* cmdView_ = nullptr;
  QPushButton* cmdOpenDir_ = nullptr;
};

}  // namespace tessarine::app
