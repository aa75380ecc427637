#include "app/frm_main.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "app/background_job.h"
#include "app/building_panel.h"
#include "app/frm_about.h"
#include "app/frm_batch.h"
#include "app/icons.h"
#include "dialogs/frm_doc_set.h"
#include "dialogs/frm_template_preview.h"
#include "dialogs/shell.h"
#include "dialogs/widgets.h"
#include "project/document_list.h"
#include "project/project_file.h"
#include "project/validation.h"
#include "support/files.h"

namespace tessarine::app {

using dialogs::BuddyLabel;
using dialogs::Named;
using dialogs::Qs;
using dialogs::Std;
using dialogs::Tr;

namespace {

constexpr char kLogoFilter[] = "图形文件(*.gif,*.jpg) (*.gif *.jpg)";
constexpr char kProjectFilter[] = "Tessarine 项目(*.tsn) (*.tsn)";

QPushButton* Button(const char* name, const QString& caption) {
  return Named(new QPushButton(caption), name);
}

}  // namespace

FrmMain::FrmMain(dialogs::Shell& shell, std::string data_folder, QWidget* parent)
    : QMainWindow(parent), shell_(shell), data_folder_(std::move(data_folder)) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowIcon(AppIcon());
  setAcceptDrops(true);
  job_ = new BackgroundJob(this);
  connect(job_, &BackgroundJob::Finished, this, &FrmMain::OnBuildFinished);

  CreateControls();

  // Loading, in the order the window has always done it.
  settings_.ProjectModified = false;
  settings_.DocCounter = 0;
  FillFixedLists();
  CreateToolbar();
  project::ResetProjectSettings(settings_);
  ShowProjectSettings();
  ConnectModifiedSignals();
  tabMain_->setCurrentIndex(0);
  resize(820, 600);
  RestoreWindowState();
}

FrmMain::~FrmMain() = default;

// ---------------------------------------------------------------- controls

void FrmMain::CreateControls() {
  tabMain_ = Named(new QTabWidget, "tabMain");
  tabMain_->addTab(CreateBasicTab(), tr("基本设置"));
  tabMain_->addTab(CreateContentTab(), tr("内容页设置"));
  tabMain_->addTab(CreateTopTab(), tr("顶部页设置"));
  tabMain_->addTab(CreateHeadTab(), tr("全局网页头"));

  cmdBuilding_ = Button("cmdBuilding", tr("生 成"));
  cmdView_ = Button("cmdView", tr("查 看"));
  cmdOpenDir_ = Button("cmdOpenDir", tr("打开目标文件夹"));
  cmdBuilding_->setDefault(true);
  // Room on both sides of every caption, counted in characters of the font;
  // build stands out by its width.
  const int em = fontMetrics().horizontalAdvance(QChar(0x6587));
  for (QPushButton* button : {cmdView_, cmdOpenDir_}) {
    button->setMinimumWidth(button->sizeHint().width() + em * 2);
  }
  cmdBuilding_->setMinimumWidth(
      std::max(cmdBuilding_->sizeHint().width() * 3 / 2, cmdView_->minimumWidth() + em * 2));
  connect(cmdBuilding_, &QPushButton::clicked, this, &FrmMain::OnBuilding);
  connect(cmdView_, &QPushButton::clicked, this, &FrmMain::OnView);
  connect(cmdOpenDir_, &QPushButton::clicked, this, &FrmMain::OnOpenDir);

  auto* commands = new QHBoxLayout;
  commands->setSpacing(em / 2);
  commands->setContentsMargins(0, em / 4, em / 4, em / 4);
  commands->addStretch(1);
  commands->addWidget(cmdBuilding_);
  commands->addWidget(cmdView_);
  commands->addWidget(cmdOpenDir_);

  picBgSetting_ = Named(new QWidget, "picBgSetting");
  auto* setting_layout = new QVBoxLayout(picBgSetting_);
  setting_layout->addWidget(tabMain_, 1);
  setting_layout->addLayout(commands);

  picBgBuilding_ = new BuildingPanel(*job_);

  views_ = new QStackedWidget;
  views_->addWidget(picBgSetting_);
  views_->addWidget(picBgBuilding_);
  setCentralWidget(views_);
}

QWidget* FrmMain::CreateBasicTab() {
  auto* page = Named(new QWidget, "frameTab1");

  lstDoc_ = Named(new QTreeWidget, "lstDoc");
  lstDoc_->setColumnCount(4);
  lstDoc_->setHeaderLabels({tr("序号"), tr("原文件名"), tr("生成名前缀"), tr("原文件路径")});
  lstDoc_->setRootIsDecorated(false);
  dialogs::GiveRowsOneHeight(lstDoc_);
  lstDoc_->setAllColumnsShowFocus(true);
  // A long path keeps both its start and its file name in sight.
  lstDoc_->setTextElideMode(Qt::ElideMiddle);
  lstDoc_->setSelectionMode(QAbstractItemView::SingleSelection);
  lstDoc_->header()->setStretchLastSection(true);
  lstDoc_->setColumnWidth(0, 50);
  lstDoc_->setColumnWidth(1, 200);
  lstDoc_->setColumnWidth(2, 90);
  connect(lstDoc_, &QTreeWidget::itemSelectionChanged, this, &FrmMain::UpdateListCommands);
  connect(lstDoc_, &QTreeWidget::itemDoubleClicked, this, [this] {
    if (!settings_.Documents.empty()) OpenDocumentSettings();
  });

  cmdDocAdd_ = Button("cmdDocAdd", tr("新增..."));
  cmdDocDel_ = Button("cmdDocDel", tr("移除"));
  cmdDocUp_ = Button("cmdDocUp", tr("上移"));
  cmdDocDown_ = Button("cmdDocDown", tr("下移"));
  cmdDocEmpty_ = Button("cmdDocEmpty", tr("清空"));
  cmdDocSet_ = Button("cmdDocSet", tr("文档设置..."));
  connect(cmdDocAdd_, &QPushButton::clicked, this, &FrmMain::OnDocAdd);
  connect(cmdDocDel_, &QPushButton::clicked, this, &FrmMain::OnDocDel);
  connect(cmdDocUp_, &QPushButton::clicked, this, &FrmMain::OnDocUp);
  connect(cmdDocDown_, &QPushButton::clicked, this, &FrmMain::OnDocDown);
  connect(cmdDocEmpty_, &QPushButton::clicked, this, &FrmMain::OnDocEmpty);
  connect(cmdDocSet_, &QPushButton::clicked, this, &FrmMain::OpenDocumentSettings);

  // Keys for the list commands while the list has the focus: Insert adds,
  // Delete removes, Ctrl+Up/Down move, Enter opens the settings.
  const auto list_key = [this](const QKeySequence& key, QPushButton* button) {
    auto* shortcut = new QShortcut(key, lstDoc_, nullptr, nullptr, Qt::WidgetShortcut);
    connect(shortcut, &QShortcut::activated, button, [button] {
      if (button->isEnabled()) button->click();
    });
  };
  list_key(QKeySequence(Qt::Key_Insert), cmdDocAdd_);
  list_key(QKeySequence(Qt::Key_Delete), cmdDocDel_);
  list_key(QKeySequence(Qt::CTRL | Qt::Key_Up), cmdDocUp_);
  list_key(QKeySequence(Qt::CTRL | Qt::Key_Down), cmdDocDown_);
  list_key(QKeySequence(Qt::Key_Return), cmdDocSet_);
  list_key(QKeySequence(Qt::Key_Enter), cmdDocSet_);

  auto* list_commands = new QVBoxLayout;
  for (QPushButton* button :
       {cmdDocAdd_, cmdDocDel_, cmdDocUp_, cmdDocDown_, cmdDocEmpty_, cmdDocSet_}) {
    list_commands->addWidget(button);
  }
  list_commands->addStretch(1);

  auto* documents = new QGroupBox(tr("Word文档(双击可设置属性)"));
  auto* documents_layout = new QHBoxLayout(documents);
  documents_layout->addWidget(lstDoc_, 1);
  documents_layout->addLayout(list_commands);

  txtOutputDir_ = Named(new QLineEdit, "txtOutputDir");
  cmdBrowseOutputDir_ = Button("cmdBrowseOutputDir", tr("浏览..."));
  txtFileExt_ = Named(new QLineEdit, "txtFileExt");
  txtFileExt_->setMaximumWidth(120);
  cboTemplate_ = Named(new QComboBox, "cboTemplate");
  cboTemplate_->setEditable(true);
  cboTemplate_->setInsertPolicy(QComboBox::NoInsert);
  cboTemplate_->setMinimumWidth(200);
  cmdTemplatePreview_ = Button("cmdTemplatePreview", tr("预览..."));
  cboCharset_ = Named(new QComboBox, "cboCharset");
  cboCharset_->setEditable(true);
  cboCharset_->setInsertPolicy(QComboBox::NoInsert);
  cboCharset_->setMinimumWidth(200);
  cboFileEncode_ = Named(new QComboBox, "cboFileEncode");
  cboFileEncode_->setMinimumWidth(200);
  chkSiteSearch_ = Named(new QCheckBox(QStringLiteral("站内全文搜索")), "chkSiteSearch");
  chkSiteSearch_->setToolTip(QStringLiteral("生成搜索索引，网站目录上方显示搜索框"));
  connect(cmdBrowseOutputDir_, &QPushButton::clicked, this, &FrmMain::OnBrowseOutputDir);
  connect(cmdTemplatePreview_, &QPushButton::clicked, this, &FrmMain::OnTemplatePreview);

  auto* output = new QGroupBox(tr("输出及效果"));
  auto* grid = new QGridLayout(output);
  grid->setColumnStretch(1, 1);
  grid->addWidget(BuddyLabel(tr("输出文件夹:"), txtOutputDir_), 0, 0);
  grid->addWidget(txtOutputDir_, 0, 1, 1, 2);
  grid->addWidget(cmdBrowseOutputDir_, 0, 3);
  grid->addWidget(BuddyLabel(tr("网页扩展名:"), txtFileExt_), 1, 0);
  grid->addWidget(txtFileExt_, 1, 1, Qt::AlignLeft);
  grid->addWidget(BuddyLabel(tr("效果模板:"), cboTemplate_), 2, 0);
  auto* template_row = new QHBoxLayout;
  template_row->addWidget(cboTemplate_);
  template_row->addWidget(cmdTemplatePreview_);
  template_row->addStretch(1);
  grid->addLayout(template_row, 2, 1, 1, 2);
  grid->addWidget(BuddyLabel(tr("页面字符集:"), cboCharset_), 3, 0);
  grid->addWidget(cboCharset_, 3, 1, Qt::AlignLeft);
  grid->addWidget(BuddyLabel(tr("文件格式:"), cboFileEncode_), 4, 0);
  grid->addWidget(cboFileEncode_, 4, 1, Qt::AlignLeft);
  grid->addWidget(chkSiteSearch_, 5, 1, Qt::AlignLeft);

  // The list takes what the output box leaves; the user may move the line
  // between them.
  splitter_ = Named(new QSplitter(Qt::Vertical), "splitBasic");
  splitter_->setChildrenCollapsible(false);
  splitter_->addWidget(documents);
  splitter_->addWidget(output);
  splitter_->setStretchFactor(0, 1);
  splitter_->setStretchFactor(1, 0);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(splitter_);
  return page;
}

QWidget* FrmMain::CreateContentTab() {
  auto* page = Named(new QWidget, "frameTab2");
  const QString html_tip = tr("支持HTML格式");

  chkPageNav_ = Named(new QCheckBox(tr("显示导航条")), "chkPageNav");
  txtPageNavPreHTML_ = Named(new QLineEdit, "txtPageNavPreHTML");
  txtPageNavSep_ = Named(new QLineEdit, "txtPageNavSep");
  txtPageNavPreHTML_->setToolTip(html_tip);
  txtPageNavSep_->setToolTip(html_tip);
  auto* nav = new QGroupBox(tr("导航条"));
  auto* nav_layout = new QFormLayout(nav);
  nav_layout->addRow(chkPageNav_);
  nav_layout->addRow(BuddyLabel(tr("引导名:"), txtPageNavPreHTML_), txtPageNavPreHTML_);
  nav_layout->addRow(BuddyLabel(tr("分隔符:"), txtPageNavSep_), txtPageNavSep_);

  chkCopyright_ = Named(new QCheckBox(tr("显示版权区")), "chkCopyright");
  txtCopyrightHTML_ = Named(new QLineEdit, "txtCopyrightHTML");
  txtCopyrightHTML_->setToolTip(html_tip);
  auto* copyright = new QGroupBox(tr("版权区"));
  auto* copyright_layout = new QFormLayout(copyright);
  copyright_layout->addRow(chkCopyright_);
  copyright_layout->addRow(BuddyLabel(tr("内  容:"), txtCopyrightHTML_), txtCopyrightHTML_);

  // The boxes follow their check box at once.
  connect(chkPageNav_, &QCheckBox::toggled, this, [this](bool on) {
    txtPageNavSep_->setEnabled(on);
    txtPageNavPreHTML_->setEnabled(on);
  });
  connect(chkCopyright_, &QCheckBox::toggled, txtCopyrightHTML_, &QLineEdit::setEnabled);

  auto* layout = new QVBoxLayout(page);
  layout->addWidget(nav);
  layout->addWidget(copyright);
  layout->addStretch(1);
  return page;
}

QWidget* FrmMain::CreateTopTab() {
  auto* page = Named(new QWidget, "frameTab3");
  txtPageTopLogo_ = Named(new QLineEdit, "txtPageTopLogo");
  txtPageTopLogo_->setToolTip(tr("logo图片的长宽要求,255*36像素，太长，太宽会变形"));
  cmdBrowseLogo_ = Button("cmdBrowseLogo", tr("浏览..."));
  connect(cmdBrowseLogo_, &QPushButton::clicked, this, &FrmMain::OnBrowseLogo);
  txtPageTopNav_ = Named(new QPlainTextEdit, "txtPageTopNav");
  txtPageTopNav_->setTabChangesFocus(true);
  txtPageTopNav_->setLineWrapMode(QPlainTextEdit::NoWrap);

  auto* logo_row = new QHBoxLayout;
  logo_row->addWidget(txtPageTopLogo_, 1);
  logo_row->addWidget(cmdBrowseLogo_);

  auto* layout = new QVBoxLayout(page);
  layout->addWidget(BuddyLabel(tr("LOGO图标:(推荐.gif或.jpg格式)"), txtPageTopLogo_));
  layout->addLayout(logo_row);
  layout->addSpacing(8);
  layout->addWidget(
      BuddyLabel(tr("导航链接:(一行一个链接，格式为“链接文字|链接地址”)"), txtPageTopNav_));
  layout->addWidget(txtPageTopNav_, 1);
  return page;
}

QWidget* FrmMain::CreateHeadTab() {
  auto* page = Named(new QWidget, "frameTab4");
  txtHeadTitle_ = Named(new QLineEdit, "txtHeadTitle");
  txtMetaKey_ = Named(new QLineEdit, "txtMetaKey");
  txtMetaDesc_ = Named(new QLineEdit, "txtMetaDesc");
  auto* form = new QFormLayout;
  form->addRow(BuddyLabel(tr("网页标题："), txtHeadTitle_), txtHeadTitle_);
  form->addRow(BuddyLabel(tr("网页Meta关键字："), txtMetaKey_), txtMetaKey_);
  form->addRow(BuddyLabel(tr("网页Meta描述："), txtMetaDesc_), txtMetaDesc_);
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(form);
  layout->addStretch(1);
  return page;
}

void FrmMain::CreateToolbar() {
  struct Button {
    const char* key;
    const char* caption;
    const char* tip;
  };
  static const Button kButtons[] = {
      {"open", "打开", "打开项目"},
      {"new", "新建", "新建项目"},
      {"save", "保存", "保存项目"},
      {"saveas", "另存为", "项目另存为"},
      {nullptr, nullptr, nullptr},
      {"batch", "批工具", "一次性批量转换多个 Word 文档为网页格式"},
      {nullptr, nullptr, nullptr},
      {"help", "帮助", "Tessarine 帮助"},
      {"about", "关于", "关于 Tessarine"},
      {nullptr, nullptr, nullptr},
      {"exit", "退出", "退出"},
  };
  toolbarHead_ = Named(new QToolBar, "toolbarHead");
  toolbarHead_->setMovable(false);
  toolbarHead_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  toolbarHead_->setIconSize(QSize(24, 24));
  addToolBar(Qt::TopToolBarArea, toolbarHead_);
  for (const Button& button : kButtons) {
    if (button.key == nullptr) {
      toolbarHead_->addSeparator();
      continue;
    }
    const QString key = QLatin1String(button.key);
    QAction* action = toolbarHead_->addAction(ToolbarIcon(key), Tr(button.caption));
    action->setObjectName(key);
    action->setData(key);
    action->setToolTip(Tr(button.tip));
  }
  // Keyboard access to the project commands.
  toolbarHead_->findChild<QAction*>(QStringLiteral("open"))->setShortcut(QKeySequence::Open);
  toolbarHead_->findChild<QAction*>(QStringLiteral("new"))->setShortcut(QKeySequence::New);
  toolbarHead_->findChild<QAction*>(QStringLiteral("save"))->setShortcut(QKeySequence::Save);
  toolbarHead_->findChild<QAction*>(QStringLiteral("saveas"))->setShortcut(QKeySequence::SaveAs);
  toolbarHead_->findChild<QAction*>(QStringLiteral("help"))
      ->setShortcut(QKeySequence::HelpContents);
  // The open button's menu: the projects opened or saved last.
  recent_menu_ = Named(new QMenu(this), "mnuRecentProjects");
  QAction* open = toolbarHead_->findChild<QAction*>(QStringLiteral("open"));
  open->setMenu(recent_menu_);
  if (auto* button = qobject_cast<QToolButton*>(toolbarHead_->widgetForAction(open))) {
    button->setPopupMode(QToolButton::MenuButtonPopup);
  }
  FillRecentMenu();
  connect(toolbarHead_, &QToolBar::actionTriggered, this,
          [this](QAction* action) { OnToolbarCommand(action->data().toString()); });
}

void FrmMain::FillFixedLists() {
  cboCharset_->clear();
  cboCharset_->addItems({QStringLiteral("gb2312"), QStringLiteral("gbk"), QStringLiteral("utf-8")});
  cboTemplate_->clear();
  for (const std::string& name : support::ListSubfolders(data_folder_ + "template/")) {
    cboTemplate_->addItem(Qs(name));
  }
  cboFileEncode_->clear();
  cboFileEncode_->addItems({QStringLiteral("ANSI"), QStringLiteral("UTF-8")});
}

void FrmMain::ConnectModifiedSignals() {
  for (QLineEdit* box :
       {txtOutputDir_, txtFileExt_, txtPageNavSep_, txtPageNavPreHTML_, txtCopyrightHTML_,
        txtPageTopLogo_, txtHeadTitle_, txtMetaKey_, txtMetaDesc_}) {
    connect(box, &QLineEdit::textChanged, this, &FrmMain::MarkModified);
  }
  connect(txtPageTopNav_, &QPlainTextEdit::textChanged, this, &FrmMain::MarkModified);
  for (QComboBox* box : {cboTemplate_, cboCharset_}) {
    connect(box, &QComboBox::currentTextChanged, this, &FrmMain::MarkModified);
  }
  connect(cboFileEncode_, &QComboBox::currentIndexChanged, this, &FrmMain::MarkModified);
  // A click, not a programmatic tick, is an edit.
  connect(chkPageNav_, &QCheckBox::clicked, this, &FrmMain::MarkModified);
  connect(chkCopyright_, &QCheckBox::clicked, this, &FrmMain::MarkModified);
  connect(chkSiteSearch_, &QCheckBox::clicked, this, &FrmMain::MarkModified);
}

void FrmMain::MarkModified() {
  if (!showing_) SetModified(true);
}

void FrmMain::SetModified(bool modified) {
  settings_.ProjectModified = modified;
  setWindowModified(modified);
}

// ---------------------------------------------------------------- settings

void FrmMain::ShowProjectSettings() {
  const bool was_showing = std::exchange(showing_, true);
  UpdateWindowTitle();
  txtOutputDir_->setText(Qs(settings_.OutputDir));
  txtFileExt_->setText(Qs(settings_.FileExt));
  cboTemplate_->setEditText(Qs(settings_.Template));
  cboCharset_->setEditText(Qs(settings_.Charset));
  cboFileEncode_->setCurrentIndex(dialogs::IndexOf(settings_.FileEncode, cboFileEncode_->count()));

  const bool nav = settings_.PageNav != "0";
  chkPageNav_->setChecked(nav);
  txtPageNavSep_->setEnabled(nav);
  txtPageNavPreHTML_->setEnabled(nav);
  txtPageNavSep_->setText(Qs(settings_.PageNavSep));
  txtPageNavPreHTML_->setText(Qs(settings_.PageNavPreHTML));

  const bool copyright = settings_.Copyright != "0";
  chkCopyright_->setChecked(copyright);
  txtCopyrightHTML_->setEnabled(copyright);
  txtCopyrightHTML_->setText(Qs(settings_.CopyrightHTML));

  txtPageTopLogo_->setText(Qs(settings_.PageTopLogo));
  txtPageTopNav_->setPlainText(dialogs::MultiLineToBox(settings_.PageTopNav));
  txtHeadTitle_->setText(Qs(settings_.HeadTitle));
  txtMetaKey_->setText(Qs(settings_.MetaKey));
  txtMetaDesc_->setText(Qs(settings_.MetaDesc));
  chkSiteSearch_->setChecked(settings_.SiteSearch != "0");

  RefreshDocumentList();
  if (!settings_.Documents.empty()) SelectPosition(1);
  UpdateListCommands();
  showing_ = was_showing;
}

void FrmMain::CollectProjectSettings() {
  settings_.OutputDir = Std(txtOutputDir_->text());
  settings_.FileExt = Std(txtFileExt_->text());
  settings_.Template = Std(cboTemplate_->currentText());
  settings_.Charset = Std(cboCharset_->currentText());
  settings_.FileEncode = std::to_string(std::max(0, cboFileEncode_->currentIndex()));
  settings_.PageNav = dialogs::FlagOf(chkPageNav_->isChecked());
  settings_.PageNavSep = Std(txtPageNavSep_->text());
  settings_.PageNavPreHTML = Std(txtPageNavPreHTML_->text());
  settings_.Copyright = dialogs::FlagOf(chkCopyright_->isChecked());
  settings_.CopyrightHTML = Std(txtCopyrightHTML_->text());
  settings_.PageTopLogo = Std(txtPageTopLogo_->text());
  settings_.PageTopNav = dialogs::BoxToMultiLine(txtPageTopNav_->toPlainText());
  settings_.HeadTitle = Std(txtHeadTitle_->text());
  settings_.MetaKey = Std(txtMetaKey_->text());
  settings_.MetaDesc = Std(txtMetaDesc_->text());
  settings_.SiteSearch = dialogs::FlagOf(chkSiteSearch_->isChecked());
}

void FrmMain::UpdateWindowTitle() {
  // The desktop's way: the file's name with the unsaved-changes marker, the
  // program's name added by Qt ("guide.tsn[*] - Tessarine").
  setWindowFilePath(settings_.ProjectFile.empty() ? tr("未命名.tsn") : Qs(settings_.ProjectFile));
  setWindowModified(settings_.ProjectModified);
}

// ---------------------------------------------------------------- document list

void FrmMain::AddDocumentRow(int position) {
  const project::DocumentRecord& record = settings_.Documents.at(position - 1);
  auto* row = new QTreeWidgetItem(lstDoc_, {QString::number(position), Qs(record.FileName),
                                            Qs(record.FilenamePre), Qs(record.Path)});
  row->setToolTip(3, Qs(record.Path));
}

void FrmMain::RefreshDocumentList() {
  lstDoc_->clear();
  for (int position = 1; position <= static_cast<int>(settings_.Documents.size()); ++position) {
    AddDocumentRow(position);
  }
}

int FrmMain::SelectedPosition() const {
  const QList<QTreeWidgetItem*> selected = lstDoc_->selectedItems();
  if (selected.isEmpty()) return 0;
  return lstDoc_->indexOfTopLevelItem(selected.first()) + 1;
}

void FrmMain::SelectPosition(int position) {
  if (position < 1 || position > lstDoc_->topLevelItemCount()) return;
  QTreeWidgetItem* row = lstDoc_->topLevelItem(position - 1);
  lstDoc_->setCurrentItem(row);
  row->setSelected(true);
  lstDoc_->scrollToItem(row);
}

void FrmMain::UpdateListCommands() {
  const int count = static_cast<int>(settings_.Documents.size());
  const project::ListCommands enabled =
      project::EnabledListCommands(count, count > 0 ? SelectedPosition() : 0);
  cmdDocAdd_->setEnabled(enabled.cmdDocAdd);
  cmdDocDel_->setEnabled(enabled.cmdDocDel);
  cmdDocUp_->setEnabled(enabled.cmdDocUp);
  cmdDocDown_->setEnabled(enabled.cmdDocDown);
  cmdDocEmpty_->setEnabled(enabled.cmdDocEmpty);
  cmdDocSet_->setEnabled(enabled.cmdDocSet);
  cmdBuilding_->setEnabled(enabled.cmdBuilding);
}

void FrmMain::OnDocAdd() {
  const QStringList paths =
      shell_.ChooseOpenFiles(this, tr("新增 Word 文档"), Tr(dialogs::kWordDocumentsFilter),
                             /*multiple=*/true);
  AddDocuments(paths);
}

void FrmMain::AddDocuments(const QStringList& paths) {
  if (paths.isEmpty()) return;
  const int selection = SelectedPosition();
  for (const QString& path : paths) {
    AddDocumentRow(project::AddDocumentRecord(settings_, Std(path)));
  }
  SelectPosition(project::SelectionAfterAdd(settings_.Documents, selection));
  UpdateListCommands();
  SetModified(true);
}

void FrmMain::OnDocDel() {
  if (settings_.Documents.empty()) return;
  const int selection = project::RemoveDocument(settings_.Documents, SelectedPosition());
  RefreshDocumentList();
  SelectPosition(selection);
  UpdateListCommands();
  SetModified(true);
}

void FrmMain::OnDocUp() {
  const int selection = SelectedPosition();
  if (settings_.Documents.empty() || selection <= 1) return;
  const int moved = project::MoveDocumentUp(settings_.Documents, selection);
  RefreshDocumentList();
  SelectPosition(moved);
  UpdateListCommands();
  SetModified(true);
}

void FrmMain::OnDocDown() {
  const int selection = SelectedPosition();
  if (selection < 1 || selection >= static_cast<int>(settings_.Documents.size())) return;
  const int moved = project::MoveDocumentDown(settings_.Documents, selection);
  RefreshDocumentList();
  SelectPosition(moved);
  UpdateListCommands();
  SetModified(true);
}

void FrmMain::OnDocEmpty() {
  if (settings_.Documents.empty()) return;
  project::EmptyDocuments(settings_.Documents);
  RefreshDocumentList();
  UpdateListCommands();
  SetModified(true);
}

void FrmMain::OpenDocumentSettings() {
  const int selection = SelectedPosition();
  if (selection < 1) return;
  {
    dialogs::FrmDocSet dialog(settings_, selection, shell_, this);
    dialog.exec();
  }
  UpdateWindowTitle();
  RefreshDocumentList();
  SelectPosition(selection);
  UpdateListCommands();
}

// ---------------------------------------------------------------- other commands

void FrmMain::OnBrowseOutputDir() {
  const QString folder =
      shell_.ChooseFolder(this, tr("选择输出文件夹："), dialogs::TypedFolder(txtOutputDir_));
  if (folder.isEmpty()) return;
  txtOutputDir_->setText(dialogs::WithFinalSlash(folder));
}

void FrmMain::OnBrowseLogo() {
  const QStringList files =
      shell_.ChooseOpenFiles(this, tr("选择LOGO图标"), Tr(kLogoFilter), false);
  if (files.isEmpty()) return;
  txtPageTopLogo_->setText(files.first());
}

void FrmMain::OnTemplatePreview() {
  QStringList templates;
  for (int i = 0; i < cboTemplate_->count(); ++i) templates << cboTemplate_->itemText(i);
  dialogs::FrmTemplatePreview gallery(templates, Qs(data_folder_) + QStringLiteral("template/"),
                                      this, cboTemplate_->currentText());
  if (gallery.exec() == QDialog::Accepted && !gallery.SelectedTemplate().isEmpty()) {
    cboTemplate_->setEditText(gallery.SelectedTemplate());
  }
}

void FrmMain::OnView() {
  // The folder as the build reads it.
  QString folder = txtOutputDir_->text();
  folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
  shell_.OpenWithShell(
      this, dialogs::WithFinalSlash(folder) + QStringLiteral("default") + txtFileExt_->text());
}

void FrmMain::OnOpenDir() {
  shell_.ExploreFolder(this, txtOutputDir_->text());
}

// ---------------------------------------------------------------- build

bool FrmMain::IsBuilding() const {
  return job_->IsRunning();
}

void FrmMain::SetBusy(bool busy) {
  toolbarHead_->setEnabled(!busy);
  views_->setCurrentWidget(busy ? picBgBuilding_ : picBgSetting_);
  if (busy) picBgBuilding_->Start();
}

void FrmMain::OnBuilding() {
  if (IsBuilding()) return;
  CollectProjectSettings();
  if (const auto failure = project::ValidateBuild(settings_, data_folder_)) {
    shell_.ShowMessage(this, Tr(failure->message), dialogs::Shell::Icon::kError);
    if (failure->focus == project::FocusControl::kTxtOutputDir) {
      dialogs::SelectAndFocus(txtOutputDir_);
    } else if (failure->focus == project::FocusControl::kTxtFileExt) {
      dialogs::SelectAndFocus(txtFileExt_);
    } else if (failure->document > 0) {
      tabMain_->setCurrentIndex(0);
      SelectPosition(failure->document);
      lstDoc_->setFocus();
    }
    return;
  }
  SetBusy(true);
  // The worker builds from its own copy: the window's settings stay the
  // user's to look at, and nothing can change them under the build.
  auto outcome = std::make_shared<site::BuildOutcome>();
  pending_outcome_ = outcome;
  job_->Start([job = job_, outcome, settings = settings_,
               data_folder = data_folder_](const std::atomic<bool>& stop) {
    ForwardedProgress<site::BuildProgress, int> progress(*job);
    *outcome = site::BuildSite(settings, progress, stop, data_folder, site::AllCores());
    return outcome->status;
  });
}

void FrmMain::OnBuildFinished(bool ok, const QString& message) {
  // The worker has ended (and was joined) before this runs.
  if (pending_outcome_) last_outcome_ = std::move(*pending_outcome_);
  pending_outcome_.reset();
  // What the converter could not render fully goes behind the details
  // button, and after a failure where the converted documents were kept.
  QString details = dialogs::NotesText(last_outcome_.diagnostics);
  if (!ok && !last_outcome_.scratch_folder.empty()) {
    if (!details.isEmpty()) details += QLatin1Char('\n');
    details += tr("转换的中间文件保留在：") + Qs(last_outcome_.scratch_folder);
  }
  if (ok) {
    picBgBuilding_->ShowDone();
    shell_.ShowMessage(this, Tr(site::kBuildSucceeded), dialogs::Shell::Icon::kInformation,
                       details);
  } else {
    shell_.ShowMessage(this, Tr(site::kBuildFailedLead) + QStringLiteral("\r\n") + message,
                       dialogs::Shell::Icon::kError, details);
  }
  SetBusy(false);
  emit BuildEnded(ok);
  if (close_after_build_) {
    close_after_build_ = false;
    close();
  }
}

// ---------------------------------------------------------------- project files

void FrmMain::OnToolbarCommand(const QString& key) {
  if (key == QLatin1String("open")) {
    OnOpen();
  } else if (key == QLatin1String("new")) {
    OnNew();
  } else if (key == QLatin1String("save")) {
    OnSave();
  } else if (key == QLatin1String("saveas")) {
    OnSaveAs();
  } else if (key == QLatin1String("batch")) {
    FrmBatch batch(shell_, this);
    batch.exec();
  } else if (key == QLatin1String("help")) {
    const QString guide = Qs(data_folder_) + QStringLiteral("help/default.htm");
    if (QFileInfo::exists(guide)) {
      shell_.OpenWithShell(this, guide);
    } else {
      shell_.ShowMessage(this, tr("找不到帮助文件：") + guide, dialogs::Shell::Icon::kError);
    }
  } else if (key == QLatin1String("about")) {
    FrmAbout about(this);
    about.exec();
  } else if (key == QLatin1String("exit")) {
    close();
  }
}

bool FrmMain::MaySetProjectAside() {
  // Edits still in the controls count as well as list changes.
  if (!settings_.ProjectModified) return true;
  switch (shell_.AskSaveChanges(this, Tr(kSaveChangesQuestion))) {
    case dialogs::Shell::SaveAnswer::kSave:
      return OnSave();
    case dialogs::Shell::SaveAnswer::kDiscard:
      return true;
    case dialogs::Shell::SaveAnswer::kCancel:
      break;
  }
  return false;
}

bool FrmMain::OnOpen() {
  if (!MaySetProjectAside()) return false;
  const QStringList files = shell_.ChooseOpenFiles(this, tr("打开项目"), Tr(kProjectFilter), false);
  if (files.isEmpty()) return false;
  return LoadAndShow(files.first());
}

bool FrmMain::OpenProject(const QString& path) {
  if (!MaySetProjectAside()) return false;
  return LoadAndShow(path);
}

bool FrmMain::LoadAndShow(const QString& path) {
  if (support::Status status = project::LoadProject(Std(path), settings_); !status) {
    shell_.ShowMessage(this, Tr(status.message()), dialogs::Shell::Icon::kError);
    return false;
  }
  ShowProjectSettings();
  tabMain_->setCurrentIndex(0);
  AddRecentProject(Qs(settings_.ProjectFile));
  return true;
}

bool FrmMain::OnNew() {
  if (settings_.ProjectModified) {
    // The save question covers what the new-project question warns about.
    if (!MaySetProjectAside()) return false;
  } else if (!shell_.AskOkCancel(this, Tr(kNewProjectQuestion))) {
    return false;
  }
  project::ResetProjectSettings(settings_);
  settings_.ProjectModified = false;
  ShowProjectSettings();
  return true;
}

bool FrmMain::OnSave() {
  if (settings_.ProjectFile.empty()) return OnSaveAs();
  return SaveTo(Qs(settings_.ProjectFile));
}

bool FrmMain::OnSaveAs() {
  const QString path =
      shell_.ChooseSaveFile(this, tr("项目另存为"), Tr(kProjectFilter), QStringLiteral("tsn"));
  if (path.isEmpty()) return false;
  return SaveTo(path);
}

bool FrmMain::SaveTo(const QString& path) {
  CollectProjectSettings();
  if (support::Status status = project::SaveProject(Std(path), settings_); !status) {
    shell_.ShowMessage(this, Tr(status.message()), dialogs::Shell::Icon::kError);
    return false;
  }
  UpdateWindowTitle();
  AddRecentProject(Qs(settings_.ProjectFile));
  return true;
}

namespace {

// A dropped project file: exactly one local *.tsn.
QString DroppedProject(const QMimeData* data) {
  if (data == nullptr || data->urls().size() != 1 || !data->urls().first().isLocalFile()) return {};
  const QString path = data->urls().first().toLocalFile();
  return path.endsWith(QStringLiteral(".tsn"), Qt::CaseInsensitive) ? path : QString();
}

}  // namespace

void FrmMain::dragEnterEvent(QDragEnterEvent* event) {
  if (!IsBuilding() && (!dialogs::DroppedDocuments(event->mimeData()).isEmpty() ||
                        !DroppedProject(event->mimeData()).isEmpty())) {
    event->acceptProposedAction();
  }
}

void FrmMain::dropEvent(QDropEvent* event) {
  if (IsBuilding()) return;
  if (const QString project = DroppedProject(event->mimeData()); !project.isEmpty()) {
    event->acceptProposedAction();
    OpenProject(project);
    return;
  }
  const QStringList documents = dialogs::DroppedDocuments(event->mimeData());
  if (documents.isEmpty()) return;
  event->acceptProposedAction();
  tabMain_->setCurrentIndex(0);
  AddDocuments(documents);
}

void FrmMain::closeEvent(QCloseEvent* event) {
  if (IsBuilding()) {
    // Stop the build first; the window closes once it has ended.
    close_after_build_ = true;
    picBgBuilding_->RequestStop();
    event->ignore();
    return;
  }
  if (!MaySetProjectAside()) {
    event->ignore();
    return;
  }
  SaveWindowState();
  event->accept();
}

// ---------------------------------------------------------------- remembered state

namespace {

constexpr char kWindowStateKey[] = "mainWindow";
constexpr char kRecentProjectsKey[] = "recentProjects";
constexpr int kRecentProjectsKept = 8;

}  // namespace

void FrmMain::SaveWindowState() {
  dialogs::SaveWindowState(QLatin1String(kWindowStateKey), {this, lstDoc_->header(), splitter_});
}

void FrmMain::RestoreWindowState() {
  dialogs::RestoreWindowState(QLatin1String(kWindowStateKey), {this, lstDoc_->header(), splitter_});
}

QStringList FrmMain::RecentProjects() const {
  return QSettings().value(QLatin1String(kRecentProjectsKey)).toStringList();
}

void FrmMain::AddRecentProject(const QString& path) {
  if (path.isEmpty()) return;
  QStringList recent = RecentProjects();
  recent.removeAll(path);
  recent.prepend(path);
  while (recent.size() > kRecentProjectsKept) recent.removeLast();
  QSettings().setValue(QLatin1String(kRecentProjectsKey), recent);
  FillRecentMenu();
}

void FrmMain::FillRecentMenu() {
  recent_menu_->clear();
  const QStringList recent = RecentProjects();
  for (int i = 0; i < recent.size(); ++i) {
    const QString& path = recent.at(i);
    // "&1 guide.tsn  (/home/user/site)": a key, the name, then its folder.
    const QFileInfo file(path);
    const QString folder =
        fontMetrics().elidedText(QDir::toNativeSeparators(file.absolutePath()), Qt::ElideMiddle,
                                 fontMetrics().averageCharWidth() * 48);
    QAction* action = recent_menu_->addAction(
        QStringLiteral("&%1 %2  (%3)").arg(i + 1).arg(file.fileName(), folder));
    action->setToolTip(path);
    connect(action, &QAction::triggered, this, [this, path] {
      if (!QFileInfo::exists(path)) {
        shell_.ShowMessage(this, tr("项目文件已不存在：") + QLatin1Char('\n') + path,
                           dialogs::Shell::Icon::kError);
        QStringList kept = RecentProjects();
        kept.removeAll(path);
        QSettings().setValue(QLatin1String(kRecentProjectsKey), kept);
        FillRecentMenu();
        return;
      }
      OpenProject(path);
    });
  }
  if (recent.isEmpty()) recent_menu_->addAction(tr("（无最近项目）"))->setEnabled(false);
}

}  // namespace tessarine::app
