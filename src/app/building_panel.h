// The view a window shows while its background job runs: the caption
// "生成中...请等待...", the bar ProgressBar1, the state lblBuildingState and
// the stop button cmdStopBuilding. It follows the job's progress and state
// by itself; the stop button asks the job to stop and then waits greyed out.
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace tessarine::app {

class BackgroundJob;

class BuildingPanel : public QWidget {
  Q_OBJECT

 public:
  explicit BuildingPanel(BackgroundJob& job, QWidget* parent = nullptr);

  // Before a run: bar 0, no state, the stop button available and focused.
  void Start();
  // After a successful run: bar 100, "完成！".
  void ShowDone();
  // What the stop button does.
  void RequestStop();

  QPushButton* stop_button() const { return cmdStopBuilding_; }

 private:
  BackgroundJob& job_;
  QProgressBar* ProgressBar1_ = nullptr;
  QLabel* lblBuildingState_ = nullptr;
  QPushButton* cmdStopBuilding_ = nullptr;
};

}  // namespace tessarine::app
