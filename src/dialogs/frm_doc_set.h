// The document settings dialog: edits one Document record of the project.
//
// The dialog loads the record at `doc_index` (counted from 1) into its four
// tab pages. OK runs project::CheckDocumentEntries and, only when every check
// passes, writes all 36 fields back, sets ProjectModified and accepts; a
// failed check shows its message through the Shell and leaves the dialog open
// with the entries checked so far trimmed. Cancel, Esc and the close box
// write nothing. The caller runs exec() and rebuilds its list either way.
//
// An index outside the list opens the dialog with a blank record and no way
// to store it, so a stale selection can never write past the list.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "project/document_record.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace tessarine::project {
struct ProjectSettings;
}

namespace tessarine::dialogs {

class Shell;

class FrmDocSet : public QDialog {
  Q_OBJECT

 public:
  FrmDocSet(project::ProjectSettings& settings, int doc_index, Shell& shell,
            QWidget* parent = nullptr);

 private:
  // One record field and the control that edits it.
  struct TextBinding {
    std::string project::DocumentRecord::*field;
    QLineEdit* box;
  };
  struct ListBinding {
    std::string project::DocumentRecord::*field;
    QComboBox* list;
  };
  struct FlagBinding {
    std::string project::DocumentRecord::*field;
    QCheckBox* box;
  };
  struct OptionBinding {
    std::string project::DocumentRecord::*field;
    QButtonGroup* group;
  };

  QWidget* BuildGeneralPage();
  QWidget* BuildCleanupPage();
  QWidget* BuildHeadPage();
  QWidget* BuildSpecialPage();
  void ConnectEnablingRules();

  void LoadRecord(const project::DocumentRecord& record);
  void UpdateEnabled();
  void UpdateCleanupEnabled();

  void OnBrowse();
  void OnOk();

  project::ProjectSettings& settings_;
  const int doc_index_;
  Shell& shell_;

  std::vector<TextBinding> texts_;
  std::vector<ListBinding> lists_;
  std::vector<FlagBinding> flags_;
  std::vector<OptionBinding> options_;

  QTabWidget* tab_set_ = nullptr;
  QLineEdit* txt_path_ = nullptr;
  QLineEdit* txt_filename_pre_ = nullptr;
  QCheckBox* chk_toc_ = nullptr;
  QLineEdit* txt_toc_indent_ = nullptr;
  QCheckBox* chk_relative_ = nullptr;
  QLineEdit* txt_relative_title_ = nullptr;
  QButtonGroup* opt_head_title_ = nullptr;
  QLineEdit* txt_head_title_ = nullptr;
  QButtonGroup* opt_meta_key_ = nullptr;
  QLineEdit* txt_meta_key_ = nullptr;
  QButtonGroup* opt_meta_desc_ = nullptr;
  QLineEdit* txt_meta_desc_ = nullptr;
  QButtonGroup* opt_optimize_mode_ = nullptr;
  std::vector<QCheckBox*> mode1_boxes_;
  std::vector<QCheckBox*> mode2_boxes_;
  QCheckBox* chk_opt_page_width_ = nullptr;
  QCheckBox* chk_opt_page_margin_ = nullptr;
  QCheckBox* chk_opt_page_effect_ = nullptr;
  QPlainTextEdit* txt_special_file_name_ = nullptr;
  QPushButton* cmd_ok_ = nullptr;
};

}  // namespace tessarine::dialogs
