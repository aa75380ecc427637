#include "dialogs/frm_doc_set.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <initializer_list>
#include <string>
#include <string_view>

#include "dialogs/shell.h"
#include "dialogs/widgets.h"
#include "project/project_settings.h"
#include "project/validation.h"
#include "support/files.h"

namespace tessarine::dialogs {
namespace {

using project::DocumentRecord;

constexpr std::string_view kCaptionPrefix = "文档设置：";
constexpr std::string_view kPrefixTooltip =
    "文档首页为doc1.htm，文档目录页为doc1.toc.htm,其它doc1.1.htm";
constexpr std::string_view kSpecialFileNameHelp =
    "一行一个特例，格式如：关键字|文件名。如“常见问题|faq”指当标题中含有“常见问题”字样时，"
    "生成的文件名为faq.htm，以方便前台其它页面作链接。";
// Qt's form of "Word文档(*.doc,*.docx)|*.doc;*.docx": the caption as the user
// knows it, then the patterns.
constexpr std::string_view kWordFilter = "Word文档(*.doc,*.docx) (*.doc *.docx)";

constexpr std::array<std::string_view, 3> kNumberlistRules = {"标准自动数字章节号",
                                                              "保留文档原有编号", "不要编号"};
constexpr std::array<std::string_view, 2> kFileNameRules = {"章节号(如：1.2.htm)",
                                                            "顺序号(如：002.htm)"};
constexpr std::array<std::string_view, 2> kHeadTitleModes = {"自动取节点名", "固定"};
constexpr std::array<std::string_view, 3> kMetaKeyModes = {"与标题相同", "自动内容匹配", "固定"};
constexpr std::array<std::string_view, 3> kMetaDescModes = {"与标题相同", "与关键字相同", "固定"};
constexpr auto& kOptimizeModes = kOptimizeModeCaptions;

// A clean-up or page option: its field, its check box's name and caption.
struct OptionBox {
  std::string DocumentRecord::*field;
  const char* name;
  std::string_view caption;
};
constexpr std::array<OptionBox, 5> kMode1Boxes = {{
    {&DocumentRecord::Opt1VML, kMode1Options[0].name, kMode1Options[0].caption},
    {&DocumentRecord::Opt1Absolute, kMode1Options[1].name, kMode1Options[1].caption},
    {&DocumentRecord::Opt1EQ, kMode1Options[2].name, kMode1Options[2].caption},
    {&DocumentRecord::Opt1Margin, kMode1Options[3].name, kMode1Options[3].caption},
    {&DocumentRecord::Opt1Space, kMode1Options[4].name, kMode1Options[4].caption},
}};
constexpr std::array<OptionBox, 5> kMode2Boxes = {{
    {&DocumentRecord::Opt2Image, kMode2Options[0].name, kMode2Options[0].caption},
    {&DocumentRecord::Opt2Table, kMode2Options[1].name, kMode2Options[1].caption},
    {&DocumentRecord::Opt2EQ, kMode2Options[2].name, kMode2Options[2].caption},
    {&DocumentRecord::Opt2Indent, kMode2Options[3].name, kMode2Options[3].caption},
    {&DocumentRecord::Opt2PtoBR, kMode2Options[4].name, kMode2Options[4].caption},
}};

// The record's choice of an Index field; an unreadable value falls back to
// the value a new record has, which every list and group contains.
int ChoiceOf(const DocumentRecord& record, std::string DocumentRecord::*field, int count) {
  static const DocumentRecord kNewRecord;
  return IndexOf(record.*field, count, IndexOf(kNewRecord.*field, count));
}

QLineEdit* NewLineEdit(const char* name) {
  return Named(new QLineEdit, name);
}

QCheckBox* NewCheckBox(const char* name, std::string_view caption) {
  return Named(new QCheckBox(Tr(caption)), name);
}

template <size_t N>
QComboBox* NewComboBox(const char* name, const std::array<std::string_view, N>& captions) {
  auto* list = Named(new QComboBox, name);
  for (std::string_view caption : captions) list->addItem(Tr(caption));
  return list;
}

// "N级" for every level from `first` to `last`.
QComboBox* NewLevelList(const char* name, int first, int last) {
  auto* list = Named(new QComboBox, name);
  for (int level = first; level <= last; ++level) {
    list->addItem(QString::number(level) + Tr("级"));
  }
  return list;
}

QLabel* NewLabel(std::string_view text, QWidget* buddy = nullptr) {
  return BuddyLabel(Tr(text), buddy);
}

// Radio buttons named <name>0, <name>1, ... in one exclusive group named
// <name>, with ids equal to their positions, so the group's checked id is the
// stored Index.
template <size_t N>
QButtonGroup* NewOptionGroup(QObject* owner, const char* name,
                             const std::array<std::string_view, N>& captions) {
  auto* group = Named(new QButtonGroup(owner), name);
  for (size_t i = 0; i < N; ++i) {
    auto* button = new QRadioButton(Tr(captions[i]));
    button->setObjectName(QString::fromLatin1(name) + QString::number(i));
    group->addButton(button, static_cast<int>(i));
  }
  return group;
}

// How far a check box is indented to stand under the caption of the radio
// button it belongs to; taken from the style so it scales with the screen.
int RadioCaptionIndent(const QWidget* widget) {
  const QStyle* style = widget->style();
  return style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, widget) +
         style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, widget);
}

// A heading over a block of a page: the label text, in bold so the blocks of a
// page read as sections.
QLabel* NewHeading(std::string_view text) {
  QLabel* label = NewLabel(text);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}

}  // namespace

FrmDocSet::FrmDocSet(project::ProjectSettings& settings, int doc_index, Shell& shell,
                     QWidget* parent)
    : QDialog(parent), settings_(settings), doc_index_(doc_index), shell_(shell) {
  setObjectName(QStringLiteral("frmDocSet"));
  if (parent != nullptr) setWindowIcon(parent->window()->windowIcon());

  tab_set_ = new QTabWidget;
  tab_set_->setObjectName(QStringLiteral("tabSet"));
  tab_set_->addTab(BuildGeneralPage(), tr("常规设置"));
  tab_set_->addTab(BuildCleanupPage(), tr("优化选项"));
  tab_set_->addTab(BuildHeadPage(), tr("网页头区"));
  tab_set_->addTab(BuildSpecialPage(), tr("文件名特例"));
  for (int i = 0; i < tab_set_->count(); ++i) {
    tab_set_->widget(i)->setObjectName(QStringLiteral("frameSet") + QString::number(i + 1));
  }

  cmd_ok_ = new QPushButton(tr("确 定"));
  cmd_ok_->setObjectName(QStringLiteral("cmdOK"));
  cmd_ok_->setDefault(true);
  auto* cmd_cancel = new QPushButton(tr("取 消"));
  cmd_cancel->setObjectName(QStringLiteral("cmdCancel"));
  connect(cmd_ok_, &QPushButton::clicked, this, &FrmDocSet::OnOk);
  connect(cmd_cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmd_ok_);
  buttons->addWidget(cmd_cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tab_set_);
  layout->addLayout(buttons);

  ConnectEnablingRules();

  const bool known = doc_index_ >= 1 && doc_index_ <= static_cast<int>(settings_.Documents.size());
  const DocumentRecord record =
      known ? settings_.Documents[static_cast<size_t>(doc_index_ - 1)] : DocumentRecord{};
  LoadRecord(record);
  cmd_ok_->setEnabled(known);
  setWindowTitle(Tr(kCaptionPrefix) + Qs(record.FileName));

  tab_set_->setCurrentIndex(0);
  txt_path_->setFocus(Qt::OtherFocusReason);
  // Wide enough for a long path and the longest clean-up caption at any font
  // size; the layouts decide the height.
  const int em = fontMetrics().horizontalAdvance(QChar(0x6587));
  resize(sizeHint().expandedTo(QSize(em * 44, 0)));
}

QWidget* FrmDocSet::BuildGeneralPage() {
  auto* page = new QWidget;
  // Gaps and widths are counted in CJK characters so they scale with the font.
  const int em = fontMetrics().horizontalAdvance(QChar(0x6587));

  txt_path_ = NewLineEdit("txtPath");
  auto* cmd_path = new QPushButton(tr("浏览..."));
  cmd_path->setObjectName(QStringLiteral("cmdPath"));
  connect(cmd_path, &QPushButton::clicked, this, &FrmDocSet::OnBrowse);
  auto* path_row = new QHBoxLayout;
  path_row->addWidget(txt_path_, 1);
  path_row->addWidget(cmd_path);

  QLineEdit* txt_node_name = NewLineEdit("txtNodeName");
  txt_node_name->setToolTip(Tr(kPrefixTooltip));
  txt_filename_pre_ = NewLineEdit("txtFilenamePre");
  txt_filename_pre_->setToolTip(Tr(kPrefixTooltip));
  QComboBox* cbo_numberlist_rule = NewComboBox("cboNumberlistRule", kNumberlistRules);
  QComboBox* cbo_file_name_rule = NewComboBox("cboFileNameRule", kFileNameRules);

  chk_toc_ = NewCheckBox("chkToc", "首页显示目录");
  txt_toc_indent_ = NewLineEdit("txtTocIndent");
  // The marker is a few characters; a full-width box would suggest a sentence.
  txt_toc_indent_->setMaximumWidth(em * 8);
  auto* toc_row = new QHBoxLayout;
  toc_row->addWidget(chk_toc_);
  toc_row->addSpacing(em);
  toc_row->addWidget(NewLabel("层次缩进符:", txt_toc_indent_));
  toc_row->addWidget(txt_toc_indent_, 1);
  toc_row->addStretch();

  auto* form = new QFormLayout;
  form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
  form->addRow(NewLabel("要转换文档:", txt_path_), path_row);
  form->addRow(NewLabel("文档节点名:", txt_node_name), txt_node_name);
  form->addRow(NewLabel("节编号规则:", cbo_numberlist_rule), cbo_numberlist_rule);
  form->addRow(NewLabel("文件名前缀:", txt_filename_pre_), txt_filename_pre_);
  form->addRow(NewLabel("文件名规则:", cbo_file_name_rule), cbo_file_name_rule);
  form->addRow(QString(), toc_row);

  QCheckBox* chk_header = NewCheckBox("chkHeader", "显示页眉");
  QCheckBox* chk_footer = NewCheckBox("chkFooter", "显示页脚");
  QCheckBox* chk_hf_home = NewCheckBox("chkHFHome", "首页");
  auto* header_footer = new QGroupBox(tr("页眉页脚"));
  auto* header_footer_row = new QHBoxLayout(header_footer);
  header_footer_row->addWidget(chk_header);
  header_footer_row->addWidget(chk_footer);
  header_footer_row->addWidget(chk_hf_home);
  header_footer_row->addStretch();

  QComboBox* cbo_parse_level = NewLevelList("cboParseLevel", 1, 9);
  QComboBox* cbo_expand_level = NewLevelList("cboExpandLevel", 0, 9);
  QCheckBox* chk_outline_headings = NewCheckBox("chkOutlineHeadings", "大纲级别段落作为标题");
  chk_outline_headings->setToolTip(
      tr("带大纲级别的段落（如自定义的章、条标题样式）也像内置标题一样分页"));
  auto* levels = new QGroupBox(tr("目录层次"));
  auto* levels_column = new QVBoxLayout(levels);
  auto* levels_row = new QHBoxLayout;
  levels_column->addLayout(levels_row);
  levels_row->addWidget(NewLabel("最多取:", cbo_parse_level));
  levels_row->addWidget(cbo_parse_level);
  levels_row->addSpacing(em);
  levels_row->addWidget(NewLabel("展开:", cbo_expand_level));
  levels_row->addWidget(cbo_expand_level);
  levels_row->addStretch();
  levels_column->addWidget(chk_outline_headings);  // after the lists: the reading order

  auto* panels_row = new QHBoxLayout;
  panels_row->addWidget(header_footer, 1);
  panels_row->addWidget(levels, 1);

  chk_relative_ = NewCheckBox("chkRelative", "显示相关主题");
  txt_relative_title_ = NewLineEdit("txtRelativeTitle");
  auto* relative = new QGroupBox(tr("文档相关主题"));
  auto* relative_row = new QHBoxLayout(relative);
  relative_row->addWidget(chk_relative_);
  relative_row->addSpacing(em);
  relative_row->addWidget(NewLabel("主题:", txt_relative_title_));
  relative_row->addWidget(txt_relative_title_, 1);

  auto* layout = new QVBoxLayout(page);
  layout->addLayout(form);
  layout->addLayout(panels_row);
  layout->addWidget(relative);
  layout->addStretch();

  texts_.push_back({&DocumentRecord::Path, txt_path_});
  texts_.push_back({&DocumentRecord::NodeName, txt_node_name});
  texts_.push_back({&DocumentRecord::FilenamePre, txt_filename_pre_});
  texts_.push_back({&DocumentRecord::TocIndent, txt_toc_indent_});
  texts_.push_back({&DocumentRecord::RelativeTitle, txt_relative_title_});
  lists_.push_back({&DocumentRecord::NumberlistRule, cbo_numberlist_rule});
  lists_.push_back({&DocumentRecord::FileNameRule, cbo_file_name_rule});
  lists_.push_back({&DocumentRecord::ParseLevel, cbo_parse_level});
  lists_.push_back({&DocumentRecord::ExpandLevel, cbo_expand_level});
  flags_.push_back({&DocumentRecord::Header, chk_header});
  flags_.push_back({&DocumentRecord::Footer, chk_footer});
  flags_.push_back({&DocumentRecord::HFHome, chk_hf_home});
  flags_.push_back({&DocumentRecord::Toc, chk_toc_});
  flags_.push_back({&DocumentRecord::Relative, chk_relative_});
  flags_.push_back({&DocumentRecord::OutlineHeadings, chk_outline_headings});
  return page;
}

QWidget* FrmDocSet::BuildCleanupPage() {
  auto* page = new QWidget;
  opt_optimize_mode_ = NewOptionGroup(this, "optOptimizeMode", kOptimizeModes);
  const int indent = RadioCaptionIndent(page);

  // The two modes' boxes share one grid, so their columns line up and the
  // reader can compare the two option sets at a glance.
  auto* modes = new QGridLayout;
  modes->setColumnMinimumWidth(0, indent);
  auto add_boxes = [&](const std::array<OptionBox, 5>& boxes, int row,
                       std::vector<QCheckBox*>& into) {
    for (size_t i = 0; i < boxes.size(); ++i) {
      QCheckBox* box = NewCheckBox(boxes[i].name, boxes[i].caption);
      modes->addWidget(box, row, static_cast<int>(i) + 1);
      into.push_back(box);
      flags_.push_back({boxes[i].field, box});
    }
  };
  modes->addWidget(opt_optimize_mode_->button(0), 0, 0, 1, -1);
  modes->addWidget(opt_optimize_mode_->button(1), 1, 0, 1, -1);
  add_boxes(kMode1Boxes, 2, mode1_boxes_);
  modes->addWidget(opt_optimize_mode_->button(2), 3, 0, 1, -1);
  add_boxes(kMode2Boxes, 4, mode2_boxes_);
  modes->setColumnStretch(6, 1);

  auto* mode_box = new QGroupBox;
  mode_box->setLayout(modes);

  chk_opt_page_width_ = NewCheckBox("chkOptPageWidth", "导入页宽");
  chk_opt_page_margin_ = NewCheckBox("chkOptPageMargin", "页面边距");
  chk_opt_page_effect_ = NewCheckBox("chkOptPageEffect", "边框效果");
  auto* page_row = new QHBoxLayout;
  page_row->addWidget(chk_opt_page_width_);
  page_row->addWidget(chk_opt_page_margin_);
  page_row->addWidget(chk_opt_page_effect_);
  page_row->addStretch();
  auto* page_box = new QGroupBox;
  auto* page_layout = new QVBoxLayout(page_box);
  page_layout->addWidget(NewHeading("附加增强页面效果:"));
  page_layout->addLayout(page_row);

  auto* layout = new QVBoxLayout(page);
  layout->addWidget(mode_box);
  layout->addWidget(page_box);
  layout->addStretch();

  options_.push_back({&DocumentRecord::OptimizeMode, opt_optimize_mode_});
  flags_.push_back({&DocumentRecord::OptPageWidth, chk_opt_page_width_});
  flags_.push_back({&DocumentRecord::OptPageMargin, chk_opt_page_margin_});
  flags_.push_back({&DocumentRecord::OptPageEffect, chk_opt_page_effect_});
  return page;
}

QWidget* FrmDocSet::BuildHeadPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);

  // One block per head text: heading, the choices in a row, then the text the
  // "fixed" choice uses, indented under the choices.
  const int indent = RadioCaptionIndent(page);
  auto add_block = [&](std::string_view heading, QButtonGroup* group, QLineEdit* box) {
    auto* block = new QGroupBox;
    auto* block_layout = new QVBoxLayout(block);
    block_layout->addWidget(NewHeading(heading));
    auto* choices = new QHBoxLayout;
    choices->addSpacing(indent);
    for (QAbstractButton* button : group->buttons()) choices->addWidget(button);
    choices->addStretch();
    block_layout->addLayout(choices);
    auto* text_row = new QHBoxLayout;
    text_row->addSpacing(indent);
    text_row->addWidget(box);
    block_layout->addLayout(text_row);
    layout->addWidget(block);
  };

  opt_head_title_ = NewOptionGroup(this, "optHeadTitle", kHeadTitleModes);
  txt_head_title_ = NewLineEdit("txtHeadTitle");
  add_block("网页标题：", opt_head_title_, txt_head_title_);
  opt_meta_key_ = NewOptionGroup(this, "optMetaKey", kMetaKeyModes);
  txt_meta_key_ = NewLineEdit("txtMetaKey");
  add_block("网页Meta关键字：多个以英文逗号隔开。", opt_meta_key_, txt_meta_key_);
  opt_meta_desc_ = NewOptionGroup(this, "optMetaDesc", kMetaDescModes);
  txt_meta_desc_ = NewLineEdit("txtMetaDesc");
  add_block("网页Meta描述：", opt_meta_desc_, txt_meta_desc_);
  layout->addStretch();

  texts_.push_back({&DocumentRecord::HeadTitle, txt_head_title_});
  texts_.push_back({&DocumentRecord::MetaKey, txt_meta_key_});
  texts_.push_back({&DocumentRecord::MetaDesc, txt_meta_desc_});
  options_.push_back({&DocumentRecord::HeadTitleMode, opt_head_title_});
  options_.push_back({&DocumentRecord::MetaKeyMode, opt_meta_key_});
  options_.push_back({&DocumentRecord::MetaDescMode, opt_meta_desc_});
  return page;
}

QWidget* FrmDocSet::BuildSpecialPage() {
  auto* page = new QWidget;
  txt_special_file_name_ = new QPlainTextEdit;
  txt_special_file_name_->setObjectName(QStringLiteral("txtSpecialFileName"));
  // Tab must leave the box: a tab character is never part of a special name.
  txt_special_file_name_->setTabChangesFocus(true);
  txt_special_file_name_->setLineWrapMode(QPlainTextEdit::NoWrap);

  QLabel* help = NewLabel(kSpecialFileNameHelp, txt_special_file_name_);
  help->setWordWrap(true);

  auto* layout = new QVBoxLayout(page);
  layout->addWidget(help);
  layout->addWidget(txt_special_file_name_, 1);
  return page;
}

void FrmDocSet::ConnectEnablingRules() {
  connect(chk_toc_, &QCheckBox::toggled, this, &FrmDocSet::UpdateEnabled);
  connect(chk_relative_, &QCheckBox::toggled, this, &FrmDocSet::UpdateEnabled);
  // idToggled rather than idClicked: a choice made with the arrow keys must
  // apply the rules as well.
  for (QButtonGroup* group : {opt_head_title_, opt_meta_key_, opt_meta_desc_}) {
    connect(group, &QButtonGroup::idToggled, this, &FrmDocSet::UpdateEnabled);
  }
  connect(opt_optimize_mode_, &QButtonGroup::idToggled, this, &FrmDocSet::UpdateCleanupEnabled);
  connect(chk_opt_page_width_, &QCheckBox::toggled, this, &FrmDocSet::UpdateCleanupEnabled);
}

void FrmDocSet::LoadRecord(const DocumentRecord& record) {
  for (const TextBinding& text : texts_) {
    text.box->setText(Qs(record.*text.field));
    // Long names read from their start; a path is recognised by its end, the
    // file name, so it keeps the cursor there.
    if (text.box != txt_path_) text.box->home(false);
  }
  for (const ListBinding& list : lists_) {
    list.list->setCurrentIndex(ChoiceOf(record, list.field, list.list->count()));
  }
  for (const FlagBinding& flag : flags_) flag.box->setChecked(IsTicked(record.*flag.field));
  for (const OptionBinding& option : options_) {
    const int count = static_cast<int>(option.group->buttons().size());
    option.group->button(ChoiceOf(record, option.field, count))->setChecked(true);
  }
  txt_special_file_name_->setPlainText(MultiLineToBox(record.SpecialFileName));
  UpdateEnabled();
  UpdateCleanupEnabled();
}

void FrmDocSet::UpdateEnabled() {
  txt_toc_indent_->setEnabled(chk_toc_->isChecked());
  txt_relative_title_->setEnabled(chk_relative_->isChecked());
  txt_head_title_->setEnabled(opt_head_title_->checkedId() == 1);
  const int meta_key_mode = opt_meta_key_->checkedId();
  txt_meta_key_->setEnabled(meta_key_mode == 1 || meta_key_mode == 2);
  txt_meta_desc_->setEnabled(opt_meta_desc_->checkedId() == 2);
}

void FrmDocSet::UpdateCleanupEnabled() {
  const int mode = opt_optimize_mode_->checkedId();
  for (QCheckBox* box : mode1_boxes_) box->setEnabled(mode == 1);
  for (QCheckBox* box : mode2_boxes_) box->setEnabled(mode == 2);
  const bool page_width = chk_opt_page_width_->isChecked();
  chk_opt_page_margin_->setEnabled(page_width);
  chk_opt_page_effect_->setEnabled(page_width);
}

void FrmDocSet::OnBrowse() {
  const QStringList chosen =
      shell_.ChooseOpenFiles(this, tr("要转换文档"), Tr(kWordFilter), /*multiple=*/false);
  if (chosen.isEmpty()) return;
  txt_path_->setText(chosen.first());
}

void FrmDocSet::OnOk() {
  if (doc_index_ < 1 || doc_index_ > static_cast<int>(settings_.Documents.size())) return;

  QString special_text = txt_special_file_name_->toPlainText();
  special_text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  const project::DocumentEntriesCheck check = project::CheckDocumentEntries(
      {Std(txt_path_->text()), Std(txt_filename_pre_->text()), Std(special_text)});

  // The user sees the trimmed entries even when a later check fails.
  ShowText(txt_path_, Qs(check.entries.Path));
  ShowText(txt_filename_pre_, Qs(check.entries.FilenamePre));
  QString shown_special = Qs(check.entries.SpecialFileNameText);
  shown_special.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  if (txt_special_file_name_->toPlainText() != shown_special) {
    txt_special_file_name_->setPlainText(shown_special);
  }

  if (!check.ok()) {
    shell_.ShowMessage(this, Qs(check.failure->message), Shell::Icon::kError);
    if (check.failure->focus == project::FocusControl::kTxtPath) SelectAndFocus(txt_path_);
    if (check.failure->focus == project::FocusControl::kTxtFilenamePre) {
      SelectAndFocus(txt_filename_pre_);
    }
    return;
  }

  DocumentRecord record;
  for (const TextBinding& text : texts_) record.*text.field = Std(text.box->text());
  for (const ListBinding& list : lists_) {
    record.*list.field = std::to_string(list.list->currentIndex());
  }
  for (const FlagBinding& flag : flags_) record.*flag.field = FlagOf(flag.box->isChecked());
  for (const OptionBinding& option : options_) {
    // An exclusive group always has a choice after loading; -1 cannot occur.
    record.*option.field = std::to_string(std::max(option.group->checkedId(), 0));
  }
  record.FileName = support::FileNameOfPath(record.Path);
  record.SpecialFileName = BoxToMultiLine(txt_special_file_name_->toPlainText());

  settings_.Documents[static_cast<size_t>(doc_index_ - 1)] = std::move(record);
  settings_.ProjectModified = true;
  accept();
}

}  // namespace tessarine::dialogs
