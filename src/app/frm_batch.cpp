#include "app/frm_batch.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <string_view>
#include <thread>
#include <utility>

#include "app/background_job.h"
#include "app/building_panel.h"
#include "app/icons.h"
#include "dialogs/shell.h"
#include "dialogs/widgets.h"
#include "project/validation.h"
#include "site/build_site.h"
#include "support/files.h"

namespace tessarine::app {

using batch::BatchSettings;
using dialogs::Named;
using dialogs::Qs;
using dialogs::Std;
using dialogs::Tr;

namespace {

constexpr auto& kOptimizeModes = dialogs::kOptimizeModeCaptions;

// A clean-up or page option: its setting, its check box's name and caption.
struct OptionBox {
  bool BatchSettings::*field;
  const char* name;
  std::string_view caption;
};
constexpr std::array<OptionBox, 5> kMode1Boxes = {{
    {&BatchSettings::Opt1VML, dialogs::kMode1Options[0].name, dialogs::kMode1Options[0].caption},
    {&BatchSettings::Opt1Absolute, dialogs::kMode1Options[1].name,
     dialogs::kMode1Options[1].caption},
    {&BatchSettings::Opt1EQ, dialogs::kMode1Options[2].name, dialogs::kMode1Options[2].caption},
    {&BatchSettings::Opt1Margin, dialogs::kMode1Options[3].name, dialogs::kMode1Options[3].caption},
    {&BatchSettings::Opt1Space, dialogs::kMode1Options[4].name, dialogs::kMode1Options[4].caption},
}};
constexpr std::array<OptionBox, 5> kMode2Boxes = {{
    {&BatchSettings::Opt2Image, dialogs::kMode2Options[0].name, dialogs::kMode2Options[0].caption},
    {&BatchSettings::Opt2Table, dialogs::kMode2Options[1].name, dialogs::kMode2Options[1].caption},
    {&BatchSettings::Opt2EQ, dialogs::kMode2Options[2].name, dialogs::kMode2Options[2].caption},
    {&BatchSettings::Opt2Indent, dialogs::kMode2Options[3].name, dialogs::kMode2Options[3].caption},
    {&BatchSettings::Opt2PtoBR, dialogs::kMode2Options[4].name, dialogs::kMode2Options[4].caption},
}};

// Columns of lstDoc.
enum Column { kNumberColumn = 0, kNameColumn = 1, kPathColumn = 2 };

// The smallest size the window opens at; the layouts may ask for more.
constexpr QSize kOriginalSize(488, 468);

// Documents converted at a time. Two where the machine has the cores: a long
// batch takes about half as long, the pages are the same as a serial run's
// (they move into place in list order), and a stop or failure leaves no
// half-converted page behind. More would hold more documents in memory at
// once and crowd the rest of the desktop for little gain.
unsigned BatchJobs() {
  return std::clamp(std::thread::hardware_concurrency(), 1U, 2U);
}

// A command button with a keyboard shortcut. The captions are the program's
// own texts, so the shortcut is not written into them as a mnemonic; the
// tooltip tells it instead.
QPushButton* Button(const char* name, std::string_view caption, const QKeySequence& shortcut,
                    std::string_view tip) {
  auto* button = Named(new QPushButton(Tr(caption)), name);
  button->setShortcut(shortcut);
  button->setToolTip(Qs(tip) + QStringLiteral(" (") + shortcut.toString(QKeySequence::NativeText) +
                     QLatin1Char(')'));
  return button;
}

constexpr char kWindowStateKey[] = "batchWindow";

QCheckBox* CheckBox(const char* name, std::string_view caption) {
  return Named(new QCheckBox(Tr(caption)), name);
}

QLabel* BuddyLabel(std::string_view text, QWidget* buddy) {
  return dialogs::BuddyLabel(Tr(text), buddy);
}

}  // namespace

FrmBatch::FrmBatch(dialogs::Shell& shell, QWidget* parent) : QDialog(parent), shell_(shell) {
  setObjectName(QStringLiteral("frmBatch"));
  setWindowTitle(Tr(batch::kBatchWindowTitle));
  setWindowIcon(AppIcon());
  setSizeGripEnabled(true);
  setAcceptDrops(true);

  job_ = new BackgroundJob(this);
  connect(job_, &BackgroundJob::Finished, this, &FrmBatch::OnBatchFinished);

  picBgSetting_ = CreateSettingPanel();
  picBgBuilding_ = new BuildingPanel(*job_);
  picBgBuilding_->stop_button()->setToolTip(tr("停止生成 (Esc)"));
  panels_ = new QStackedWidget;
  panels_->addWidget(picBgSetting_);
  panels_->addWidget(picBgBuilding_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(panels_);
  SetTabOrder();
  // Only a button inside the dialog can become its default.
  cmdOK_->setDefault(true);

  ShowDefaults();
  UpdateBatchButtons();
  UpdateBatchOptions();
  SetBatchBusy(false);
  cmdAdd_->setFocus(Qt::OtherFocusReason);
  // Wide enough that a list row shows a document's name and most of its
  // folder; counted in characters so it follows the font.
  const int em = fontMetrics().horizontalAdvance(QChar(0x6587));
  resize(sizeHint().expandedTo(kOriginalSize).expandedTo(QSize(em * 48, 0)));
  dialogs::RestoreWindowState(QLatin1String(kWindowStateKey), {this, lstDoc_->header(), nullptr});
}

void FrmBatch::done(int result) {
  dialogs::SaveWindowState(QLatin1String(kWindowStateKey), {this, lstDoc_->header(), nullptr});
  QDialog::done(result);
}

FrmBatch::~FrmBatch() = default;

// ---------------------------------------------------------------- controls

QWidget* FrmBatch::CreateSettingPanel() {
  cmdOK_ = Button("cmdOK", "开始转换", QKeySequence(Qt::ALT | Qt::Key_S), "开始转换列表中的文档");
  cmdExit_ = Button("cmdExit", "退 出", QKeySequence(Qt::ALT | Qt::Key_X), "关闭批量转换工具");
  // Both buttons as wide as the wider one: a pair of commands reads as one.
  const int width = std::max(cmdOK_->sizeHint().width(), cmdExit_->sizeHint().width()) * 5 / 4;
  cmdOK_->setMinimumWidth(width);
  cmdExit_->setMinimumWidth(width);
  connect(cmdOK_, &QPushButton::clicked, this, &FrmBatch::OnStart);
  connect(cmdExit_, &QPushButton::clicked, this, &FrmBatch::reject);

  auto* commands = new QHBoxLayout;
  commands->addStretch(1);
  commands->addWidget(cmdOK_);
  commands->addWidget(cmdExit_);

  auto* panel = Named(new QWidget, "picBgSetting");
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(CreateListFrame(), 1);
  layout->addWidget(CreateOptionsFrame());
  layout->addWidget(CreateOutputFrame());
  layout->addLayout(commands);
  return panel;
}

QWidget* FrmBatch::CreateListFrame() {
  lstDoc_ = Named(new QTreeWidget, "lstDoc");
  lstDoc_->setColumnCount(3);
  lstDoc_->setHeaderLabels({tr("序号"), tr("文件名"), tr("文件路径")});
  lstDoc_->setRootIsDecorated(false);
  dialogs::GiveRowsOneHeight(lstDoc_);
  lstDoc_->setAllColumnsShowFocus(true);
  lstDoc_->setSelectionMode(QAbstractItemView::SingleSelection);
  lstDoc_->setSelectionBehavior(QAbstractItemView::SelectRows);
  // A long path keeps both its start and its file name in sight.
  lstDoc_->setTextElideMode(Qt::ElideMiddle);
  // Widths in characters of the font, so they follow its size.
  const int em = fontMetrics().horizontalAdvance(QChar(0x6587));
  QHeaderView* header = lstDoc_->header();
  header->setStretchLastSection(true);
  header->resizeSection(kNumberColumn, em * 3);
  header->resizeSection(kNameColumn, em * 12);
  // Room for about six documents before the list scrolls.
  lstDoc_->setMinimumHeight(fontMetrics().height() * 8);
  connect(lstDoc_, &QTreeWidget::itemSelectionChanged, this, &FrmBatch::UpdateBatchButtons);
  auto* delete_key = new QShortcut(QKeySequence::Delete, lstDoc_);
  delete_key->setContext(Qt::WidgetShortcut);
  connect(delete_key, &QShortcut::activated, this, [this] {
    if (cmdDel_->isEnabled()) cmdDel_->click();
  });

  cmdAdd_ =
      Button("cmdAdd", "添加...", QKeySequence(Qt::ALT | Qt::Key_A), "添加要转换的 Word 文档");
  cmdDel_ = Button("cmdDel", "删  除", QKeySequence(Qt::ALT | Qt::Key_D), "从列表中删除选中的文档");
  cmdEmpty_ = Button("cmdEmpty", "清  空", QKeySequence(Qt::ALT | Qt::Key_C), "清空文档列表");
  connect(cmdAdd_, &QPushButton::clicked, this, &FrmBatch::OnAdd);
  connect(cmdDel_, &QPushButton::clicked, this, &FrmBatch::OnDel);
  connect(cmdEmpty_, &QPushButton::clicked, this, &FrmBatch::OnEmpty);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(cmdAdd_);
  buttons->addWidget(cmdDel_);
  buttons->addWidget(cmdEmpty_);
  buttons->addStretch(1);

  auto* frame = new QGroupBox(tr("要转换的文档：1个文档转成1个网页文件"));
  auto* layout = new QHBoxLayout(frame);
  layout->addWidget(lstDoc_, 1);
  layout->addLayout(buttons);
  return frame;
}

QWidget* FrmBatch::CreateOptionsFrame() {
  auto* frame = Named(new QGroupBox(tr("优化选项")), "frameSet");
  optOptimizeMode_ = Named(new QButtonGroup(this), "optOptimizeMode");
  for (size_t i = 0; i < kOptimizeModes.size(); ++i) {
    auto* button = new QRadioButton(Tr(kOptimizeModes[i]));
    button->setObjectName(QStringLiteral("optOptimizeMode") + QString::number(i));
    optOptimizeMode_->addButton(button, static_cast<int>(i));
  }
  // idToggled rather than idClicked: a choice made with the arrow keys must
  // apply the rule as well.
  connect(optOptimizeMode_, &QButtonGroup::idToggled, this, &FrmBatch::UpdateBatchOptions);

  // The boxes of a mode stand under its caption, indented past the radio
  // button's indicator; the two modes share one grid so their columns line
  // up.
  const QStyle* style = frame->style();
  const int indent = style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, frame) +
                     style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, frame);
  auto* grid = new QGridLayout;
  grid->setColumnMinimumWidth(0, indent);
  const auto add_boxes = [&](const std::array<OptionBox, 5>& boxes, int row,
                             std::vector<QCheckBox*>& into) {
    for (size_t i = 0; i < boxes.size(); ++i) {
      QCheckBox* box = CheckBox(boxes[i].name, boxes[i].caption);
      grid->addWidget(box, row, static_cast<int>(i) + 1);
      into.push_back(box);
    }
  };
  grid->addWidget(optOptimizeMode_->button(0), 0, 0, 1, -1);
  grid->addWidget(optOptimizeMode_->button(1), 1, 0, 1, -1);
  add_boxes(kMode1Boxes, 2, mode1_boxes_);
  grid->addWidget(optOptimizeMode_->button(2), 3, 0, 1, -1);
  add_boxes(kMode2Boxes, 4, mode2_boxes_);
  grid->setColumnStretch(6, 1);

  chkOptPageWidth_ = CheckBox("chkOptPageWidth", "导入页宽");
  chkOptPageMargin_ = CheckBox("chkOptPageMargin", "页面边距");
  chkOptPageEffect_ = CheckBox("chkOptPageEffect", "边框效果");
  connect(chkOptPageWidth_, &QCheckBox::toggled, this, &FrmBatch::UpdateBatchOptions);
  auto* page_row = new QHBoxLayout;
  page_row->addWidget(new QLabel(tr("附加增强页面效果:")));
  page_row->addWidget(chkOptPageWidth_);
  page_row->addWidget(chkOptPageMargin_);
  page_row->addWidget(chkOptPageEffect_);
  page_row->addStretch(1);

  auto* layout = new QVBoxLayout(frame);
  layout->addLayout(grid);
  layout->addSpacing(fontMetrics().height() / 3);
  layout->addLayout(page_row);
  return frame;
}

QWidget* FrmBatch::CreateOutputFrame() {
  txtOutputDir_ = Named(new QLineEdit, "txtOutputDir");
  cmdBrowseOutputDir_ =
      Button("cmdBrowseOutputDir", "浏览...", QKeySequence(Qt::ALT | Qt::Key_B), "选择输出文件夹");
  connect(cmdBrowseOutputDir_, &QPushButton::clicked, this, &FrmBatch::OnBrowseOutputDir);
  txtFileExt_ = Named(new QLineEdit, "txtFileExt");
  cboCharset_ = Named(new QComboBox, "cboCharset");
  cboCharset_->setEditable(true);
  // An edited charset is the run's text, not a new entry of the list.
  cboCharset_->setInsertPolicy(QComboBox::NoInsert);
  cboFileEncode_ = Named(new QComboBox, "cboFileEncode");
  cboFileNameRule_ = Named(new QComboBox, "cboFileNameRule");

  // Two columns of label and field; the folder row spans both and ends with
  // its browse button.
  auto* grid = new QGridLayout;
  grid->addWidget(BuddyLabel("输出文件夹:", txtOutputDir_), 0, 0);
  grid->addWidget(txtOutputDir_, 0, 1, 1, 3);
  grid->addWidget(cmdBrowseOutputDir_, 0, 4);
  grid->addWidget(BuddyLabel("网页扩展名:", txtFileExt_), 1, 0);
  grid->addWidget(txtFileExt_, 1, 1);
  grid->addWidget(BuddyLabel("页面字符集:", cboCharset_), 1, 2);
  grid->addWidget(cboCharset_, 1, 3, 1, 2);
  grid->addWidget(BuddyLabel("生成文件格式:", cboFileEncode_), 2, 0);
  grid->addWidget(cboFileEncode_, 2, 1);
  grid->addWidget(BuddyLabel("文件命名规则:", cboFileNameRule_), 2, 2);
  grid->addWidget(cboFileNameRule_, 2, 3, 1, 2);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  // A gap between the two label-and-field columns.
  grid->setColumnMinimumWidth(
      2, fontMetrics().horizontalAdvance(tr("文件命名规则:")) + fontMetrics().height());

  auto* frame = Named(new QGroupBox(tr("输出选项")), "frameOutput");
  frame->setLayout(grid);
  return frame;
}

void FrmBatch::SetTabOrder() {
  // Reading order: the list and its commands, each mode followed by its
  // boxes, the page boxes, the output fields row by row, then the window's
  // commands.
  std::vector<QWidget*> order = {lstDoc_,
                                 cmdAdd_,
                                 cmdDel_,
                                 cmdEmpty_,
                                 optOptimizeMode_->button(0),
                                 optOptimizeMode_->button(1)};
  order.insert(order.end(), mode1_boxes_.begin(), mode1_boxes_.end());
  order.push_back(optOptimizeMode_->button(2));
  order.insert(order.end(), mode2_boxes_.begin(), mode2_boxes_.end());
  order.insert(order.end(), {chkOptPageWidth_, chkOptPageMargin_, chkOptPageEffect_, txtOutputDir_,
                             cmdBrowseOutputDir_, txtFileExt_, cboCharset_, cboFileEncode_,
                             cboFileNameRule_, cmdOK_, cmdExit_});
  for (size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void FrmBatch::ShowDefaults() {
  const BatchSettings defaults = batch::DefaultBatchSettings();
  cboCharset_->addItems({QStringLiteral("gb2312"), QStringLiteral("gbk"), QStringLiteral("utf-8")});
  cboCharset_->setCurrentText(Qs(defaults.Charset));
  cboFileEncode_->addItems({QStringLiteral("ANSI"), QStringLiteral("UTF-8")});
  cboFileEncode_->setCurrentIndex(defaults.FileEncode == "1" ? 1 : 0);
  cboFileNameRule_->addItems({tr("按原文件名"), tr("自动数字序号")});
  cboFileNameRule_->setCurrentIndex(static_cast<int>(defaults.NameRule));
  txtOutputDir_->setText(Qs(defaults.OutputDir));
  txtFileExt_->setText(Qs(defaults.FileExt));

  optOptimizeMode_->button(defaults.OptimizeMode)->setChecked(true);
  for (size_t i = 0; i < kMode1Boxes.size(); ++i) {
    mode1_boxes_[i]->setChecked(defaults.*kMode1Boxes[i].field);
  }
  for (size_t i = 0; i < kMode2Boxes.size(); ++i) {
    mode2_boxes_[i]->setChecked(defaults.*kMode2Boxes[i].field);
  }
  chkOptPageWidth_->setChecked(defaults.OptPageWidth);
  chkOptPageMargin_->setChecked(defaults.OptPageMargin);
  chkOptPageEffect_->setChecked(defaults.OptPageEffect);
}

// ---------------------------------------------------------------- rules

void FrmBatch::SetBatchBusy(bool busy) {
  panels_->setCurrentWidget(busy ? picBgBuilding_ : picBgSetting_);
  if (busy) {
    picBgBuilding_->Start();
  } else {
    cmdOK_->setFocus(Qt::OtherFocusReason);
  }
}

bool FrmBatch::IsBuilding() const {
  return job_->IsRunning();
}

void FrmBatch::UpdateBatchButtons() {
  // Emptying needs no selection, only something to empty; deleting acts on
  // the selected document. A click into the list updates both (the
  // selection signal), so a cleared selection never leaves delete enabled.
  const bool has_items = lstDoc_->topLevelItemCount() > 0;
  cmdDel_->setEnabled(has_items && !lstDoc_->selectedItems().isEmpty());
  cmdEmpty_->setEnabled(has_items);
}

void FrmBatch::UpdateBatchOptions() {
  const int mode = optOptimizeMode_->checkedId();
  for (QCheckBox* box : mode1_boxes_) box->setEnabled(mode == 1);
  for (QCheckBox* box : mode2_boxes_) box->setEnabled(mode == 2);
  const bool page_width = chkOptPageWidth_->isChecked();
  chkOptPageMargin_->setEnabled(page_width);
  chkOptPageEffect_->setEnabled(page_width);
}

void FrmBatch::AddBatchItem(const QString& path) {
  const QString number = QString::number(lstDoc_->topLevelItemCount() + 1);
  auto* item = new QTreeWidgetItem({number, Qs(support::FileNameOfPath(Std(path))), path});
  item->setToolTip(kPathColumn, path);
  lstDoc_->addTopLevelItem(item);
}

void FrmBatch::Renumber() {
  for (int i = 0; i < lstDoc_->topLevelItemCount(); ++i) {
    lstDoc_->topLevelItem(i)->setText(kNumberColumn, QString::number(i + 1));
  }
}

BatchSettings FrmBatch::ReadBatchSettings() const {
  BatchSettings settings;
  settings.OutputDir = Std(txtOutputDir_->text());
  settings.FileExt = Std(txtFileExt_->text());
  settings.Charset = Std(cboCharset_->currentText());
  settings.FileEncode = cboFileEncode_->currentIndex() == 1 ? "1" : "0";
  settings.NameRule = cboFileNameRule_->currentIndex() == 1 ? batch::FileNameRule::kNumber
                                                            : batch::FileNameRule::kDocumentName;
  // An exclusive group always has a choice after loading; -1 cannot occur.
  settings.OptimizeMode = std::max(optOptimizeMode_->checkedId(), 0);
  for (size_t i = 0; i < kMode1Boxes.size(); ++i) {
    settings.*kMode1Boxes[i].field = mode1_boxes_[i]->isChecked();
  }
  for (size_t i = 0; i < kMode2Boxes.size(); ++i) {
    settings.*kMode2Boxes[i].field = mode2_boxes_[i]->isChecked();
  }
  settings.OptPageWidth = chkOptPageWidth_->isChecked();
  settings.OptPageMargin = chkOptPageMargin_->isChecked();
  settings.OptPageEffect = chkOptPageEffect_->isChecked();
  for (int i = 0; i < lstDoc_->topLevelItemCount(); ++i) {
    settings.Documents.push_back(Std(lstDoc_->topLevelItem(i)->text(kPathColumn)));
  }
  return settings;
}

// ---------------------------------------------------------------- commands

void FrmBatch::OnAdd() {
  const QStringList files = shell_.ChooseOpenFiles(this, tr("添加要转换的 Word 文档"),
                                                   Tr(dialogs::kWordDocumentsFilter), true);
  AddFiles(files);
}

void FrmBatch::AddFiles(const QStringList& files) {
  if (files.isEmpty()) return;
  const int first_new = lstDoc_->topLevelItemCount();
  for (const QString& file : files) AddBatchItem(file);
  // The user's selection stays; without one the first new document is
  // selected, so delete has something to act on.
  if (lstDoc_->selectedItems().isEmpty()) lstDoc_->setCurrentItem(lstDoc_->topLevelItem(first_new));
  lstDoc_->scrollToItem(lstDoc_->topLevelItem(lstDoc_->topLevelItemCount() - 1));
  UpdateBatchButtons();
}

void FrmBatch::dragEnterEvent(QDragEnterEvent* event) {
  if (!IsBuilding() && !dialogs::DroppedDocuments(event->mimeData()).isEmpty()) {
    event->acceptProposedAction();
  }
}

void FrmBatch::dropEvent(QDropEvent* event) {
  const QStringList files = dialogs::DroppedDocuments(event->mimeData());
  if (IsBuilding() || files.isEmpty()) return;
  event->acceptProposedAction();
  AddFiles(files);
}

void FrmBatch::OnDel() {
  const QList<QTreeWidgetItem*> selected = lstDoc_->selectedItems();
  if (lstDoc_->topLevelItemCount() == 0 || selected.isEmpty()) return;
  const int row = lstDoc_->indexOfTopLevelItem(selected.first());
  delete lstDoc_->takeTopLevelItem(row);
  if (const int count = lstDoc_->topLevelItemCount(); count > 0) {
    // The document that moved up into the place, or the new last one.
    lstDoc_->setCurrentItem(lstDoc_->topLevelItem(std::min(row, count - 1)));
    Renumber();
  }
  UpdateBatchButtons();
  if (!cmdDel_->isEnabled()) cmdAdd_->setFocus(Qt::OtherFocusReason);
}

void FrmBatch::OnEmpty() {
  lstDoc_->clear();
  UpdateBatchButtons();
  cmdAdd_->setFocus(Qt::OtherFocusReason);
}

void FrmBatch::OnBrowseOutputDir() {
  const QString folder =
      shell_.ChooseFolder(this, tr("选择输出文件夹："), dialogs::TypedFolder(txtOutputDir_));
  if (folder.isEmpty()) return;
  txtOutputDir_->setText(dialogs::WithFinalSlash(folder));
}

void FrmBatch::OnStart() {
  if (IsBuilding()) return;
  BatchSettings settings = ReadBatchSettings();
  const std::optional<project::ValidationFailure> failure = batch::ValidateBatch(settings);
  // The checks passed so far show their corrections, a failure or not.
  dialogs::ShowText(txtOutputDir_, Qs(settings.OutputDir));
  dialogs::ShowText(txtFileExt_, Qs(settings.FileExt));
  if (failure) {
    shell_.ShowMessage(this, Tr(failure->message), dialogs::Shell::Icon::kError);
    switch (failure->focus) {
      case project::FocusControl::kTxtOutputDir:
        dialogs::SelectAndFocus(txtOutputDir_);
        break;
      case project::FocusControl::kTxtFileExt:
        dialogs::SelectAndFocus(txtFileExt_);
        break;
      default:
        // No documents: the command that adds some.
        cmdAdd_->setFocus(Qt::OtherFocusReason);
        break;
    }
    return;
  }

  SetBatchBusy(true);
  auto outcome = std::make_shared<batch::BatchOutcome>();
  pending_outcome_ = outcome;
  job_->Start([job = job_, outcome, settings = std::move(settings),
               jobs = BatchJobs()](const std::atomic<bool>& stop) {
    ForwardedProgress<batch::BatchProgress, double> progress(*job);
    *outcome = batch::RunBatch(settings, progress, stop, jobs);
    return outcome->status;
  });
}

void FrmBatch::OnBatchFinished(bool ok, const QString& message) {
  // The worker has ended (and was joined) before this runs.
  if (pending_outcome_) last_outcome_ = std::move(*pending_outcome_);
  pending_outcome_.reset();
  // A stop the user asked for by closing the window needs no message.
  const bool closing_stopped =
      close_after_run_ && !ok && last_outcome_.status.code() == support::StatusCode::kStopped;
  // What the converter could not render fully goes behind the details button.
  const QString details = dialogs::NotesText(last_outcome_.diagnostics);
  if (ok) {
    picBgBuilding_->ShowDone();
    shell_.ShowMessage(this, Tr(batch::kBatchSucceeded), dialogs::Shell::Icon::kInformation,
                       details);
  } else if (!closing_stopped) {
    shell_.ShowMessage(this, Tr(site::kBuildFailedLead) + QStringLiteral("\r\n") + message,
                       dialogs::Shell::Icon::kError, details);
  }
  SetBatchBusy(false);
  emit BatchEnded(ok);
  if (close_after_run_) {
    close_after_run_ = false;
    QDialog::reject();
  }
}

void FrmBatch::reject() {
  if (IsBuilding()) {
    close_after_run_ = true;
    picBgBuilding_->RequestStop();
    return;
  }
  QDialog::reject();
}

void FrmBatch::keyPressEvent(QKeyEvent* event) {
  // Esc during a run stops it, as the stop button does; the list and its
  // options stay for another try. The close box still closes.
  if (IsBuilding() && event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    picBgBuilding_->RequestStop();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace tessarine::app
