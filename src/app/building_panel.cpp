#include "app/building_panel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "app/background_job.h"
#include "dialogs/widgets.h"
#include "site/build_site.h"

namespace tessarine::app {

using dialogs::Named;

BuildingPanel::BuildingPanel(BackgroundJob& job, QWidget* parent) : QWidget(parent), job_(job) {
  setObjectName(QStringLiteral("picBgBuilding"));
  auto* caption = Named(new QLabel(tr("生成中...请等待...")), "lblBuilding");
  QFont font = caption->font();
  font.setPointSizeF(font.pointSizeF() * 1.3);
  caption->setFont(font);
  ProgressBar1_ = Named(new QProgressBar, "ProgressBar1");
  ProgressBar1_->setRange(0, 100);
  ProgressBar1_->setValue(0);
  lblBuildingState_ = Named(new QLabel, "lblBuildingState");
  // The state appears late in a run; its line is kept so nothing jumps then.
  lblBuildingState_->setMinimumHeight(fontMetrics().height());
  cmdStopBuilding_ = Named(new QPushButton(tr("停止生成")), "cmdStopBuilding");
  cmdStopBuilding_->setMinimumWidth(cmdStopBuilding_->sizeHint().width() * 5 / 4);
  connect(cmdStopBuilding_, &QPushButton::clicked, this, &BuildingPanel::RequestStop);

  connect(&job_, &BackgroundJob::ValueChanged, this,
          [this](double value) { ProgressBar1_->setValue(static_cast<int>(std::lround(value))); });
  connect(&job_, &BackgroundJob::StateChanged, lblBuildingState_, &QLabel::setText);

  const int em = fontMetrics().horizontalAdvance(QChar(0x6587));
  auto* box = new QWidget;
  box->setMinimumWidth(em * 24);
  box->setMaximumWidth(em * 44);
  auto* box_layout = new QVBoxLayout(box);
  box_layout->addWidget(caption, 0, Qt::AlignHCenter);
  box_layout->addSpacing(em);
  box_layout->addWidget(ProgressBar1_);
  box_layout->addWidget(lblBuildingState_, 0, Qt::AlignHCenter);
  box_layout->addSpacing(em);
  box_layout->addWidget(cmdStopBuilding_, 0, Qt::AlignHCenter);

  // The bar takes most of the width, whatever the window's size.
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(box, 8);
  row->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addStretch(1);
  layout->addLayout(row);
  layout->addStretch(2);
}

void BuildingPanel::Start() {
  ProgressBar1_->setValue(0);
  lblBuildingState_->clear();
  cmdStopBuilding_->setEnabled(true);
  cmdStopBuilding_->setFocus(Qt::OtherFocusReason);
}

void BuildingPanel::ShowDone() {
  ProgressBar1_->setValue(100);
  lblBuildingState_->setText(dialogs::Tr(site::kStateDone));
}

void BuildingPanel::RequestStop() {
  if (!job_.IsRunning()) return;
  job_.RequestStop();
  // The run ends within moments; a second click would change nothing. The
  // state says so until the run's own "中断！" replaces it.
  cmdStopBuilding_->setEnabled(false);
  lblBuildingState_->setText(tr("正在停止生成..."));
}

}  // namespace tessarine::app
