// The batch window: converts any number of Word documents one-to-one into
// single cleaned pages, with its own clean-up and output options.
//
// The window keeps its settings in its controls only; they start from
// batch::DefaultBatchSettings() every time it is made and are never saved.
// Start reads the controls into a BatchSettings, runs batch::ValidateBatch
// (showing the corrected output folder and extension in their boxes) and
// runs batch::RunBatch on a worker thread while the building panel shows the
// progress. Stop only sets the run's stop flag. Closing the window (close box,
// Esc or "退 出") while a run goes on stops the run and closes once it has
// ended, so the window never goes away under its worker.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>
#include <vector>

#include "batch/batch_settings.h"
#include "batch/run_batch.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QKeyEvent;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTreeWidget;

namespace tessarine::dialogs {
class Shell;
}

namespace tessarine::app {

class BackgroundJob;
class BuildingPanel;

class FrmBatch : public QDialog {
  Q_OBJECT

 public:
  explicit FrmBatch(dialogs::Shell& shell, QWidget* parent = nullptr);
  ~FrmBatch() override;

  // Shows the building panel (true) or the settings panel (false).
  void SetBatchBusy(bool busy);
  bool IsBuilding() const;

  // Enabled states of the list commands: delete needs a selected document,
  // empty a document in the list.
  void UpdateBatchButtons();
  // Enabled states of the clean-up boxes (by mode) and of the two page boxes
  // (by the page width box). Ticks are never changed.
  void UpdateBatchOptions();
  // Appends a document numbered on from the list's count; the path is not
  // checked here (the run refuses what is not a Word document).
  void AddBatchItem(const QString& path);

  // The controls' values as the run would read them, before validation.
  batch::BatchSettings ReadBatchSettings() const;

  // The outcome of the last run that ended.
  const batch::BatchOutcome& last_outcome() const { return last_outcome_; }

  // Closing goes through here (close box, Esc, "退 出"): a running batch is
  // asked to stop first and the window closes when it has ended.
  void reject() override;
  // Remembers the window's place, size and list columns for the next time.
  void done(int result) override;

 signals:
  // After a run ended and its message was shown.
  void BatchEnded(bool ok);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // Word documents dropped on the window join the list.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  QWidget* CreateSettingPanel();
  QWidget* CreateListFrame();
  QWidget* CreateOptionsFrame();
  QWidget* CreateOutputFrame();
  void SetTabOrder();
  void ShowDefaults();

  void OnAdd();
  void AddFiles(const QStringList& files);
  void OnDel();
  void OnEmpty();
  void OnBrowseOutputDir();
  void OnStart();
  void OnBatchFinished(bool ok, const QString& message);
  void Renumber();

  dialogs::Shell& shell_;
  BackgroundJob* job_ = nullptr;
  batch::BatchOutcome last_outcome_;
  std::shared_ptr<batch::BatchOutcome> pending_outcome_;
  bool close_after_run_ = false;

  QStackedWidget* panels_ = nullptr;
  QWidget* picBgSetting_ = nullptr;
  BuildingPanel* picBgBuilding_ = nullptr;

  QTreeWidget* lstDoc_ = nullptr;
  QPushButton* cmdAdd_ = nullptr;
  QPushButton* cmdDel_ = nullptr;
  QPushButton* cmdEmpty_ = nullptr;

  QButtonGroup* optOptimizeMode_ = nullptr;
  std::vector<QCheckBox*> mode1_boxes_;
  std::vector<QCheckBox*> mode2_boxes_;
  QCheckBox* chkOptPageWidth_ = nullptr;
  QCheckBox* chkOptPageMargin_ = nullptr;
  QCheckBox* chkOptPageEffect_ = nullptr;

  QLineEdit* txtOutputDir_ = nullptr;
  QPushButton* cmdBrowseOutputDir_ = nullptr;
  QLineEdit* txtFileExt_ = nullptr;
  QComboBox* cboCharset_ = nullptr;
  QComboBox* cboFileEncode_ = nullptr;
  QComboBox* cboFileNameRule_ = nullptr;

  QPushButton* cmdOK_ = nullptr;
  QPushButton* cmdExit_ = nullptr;
};

}  // namespace tessarine::app
