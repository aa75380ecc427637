// Small helpers every window uses at the border between Qt and the core:
// text conversion (the core keeps UTF-8 std::string, the windows QString),
// the Multi-line encoding of multi-line boxes, and focusing a text box the
// way a failed check does.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <string>
#include <string_view>
#include <vector>

class QHeaderView;
class QLabel;
class QMimeData;
class QLineEdit;
class QPlainTextEdit;
class QSplitter;
class QTreeView;
class QWidget;

#include "support/diagnostic.h"

namespace tessarine::dialogs {

inline QString Qs(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string Std(const QString& text) {
  return text.toStdString();
}

// A text of the core (a message, a caption shared by several windows)
// through Qt's translation system, under the context "tessarine": the
// source texts are Chinese, and a translation installed for another
// language replaces them without a change to the code.
QString Tr(std::string_view text);

// The file chooser's filter for adding documents to a list, in Qt's form:
// the caption users know, then the patterns.
inline constexpr std::string_view kWordDocumentsFilter = "Word 文档(*.doc,*.docx) (*.doc *.docx)";

// Captions of the clean-up modes (values 0, 1, 2) and of the options of
// modes 1 and 2 with their check boxes' names, shared by the document
// settings dialog and the batch window.
inline constexpr std::array<std::string_view, 3> kOptimizeModeCaptions = {
    "不优化 (有很多没用冗余代码，不推荐)", "选择优化模式 (除以下选项外的其它所有效果都将被保留)",
    "全部清除模式 (除以下选项外的其它所有效果都将被清除)"};
struct OptionCaption {
  const char* name;
  std::string_view caption;
};
inline constexpr std::array<OptionCaption, 5> kMode1Options = {{
    {"chkOpt1VML", "去除VML"},
    {"chkOpt1Absolute", "去除浮动"},
    {"chkOpt1EQ", "公式优化"},
    {"chkOpt1Margin", "边距优化"},
    {"chkOpt1Space", "去除空行"},
}};
inline constexpr std::array<OptionCaption, 5> kMode2Options = {{
    {"chkOpt2Image", "保留图片"},
    {"chkOpt2Table", "表格优化"},
    {"chkOpt2EQ", "公式优化"},
    {"chkOpt2Indent", "首行缩进"},
    {"chkOpt2PtoBR", "P转BR"},
}};

// The local files of a drag and drop whose extension is doc or docx, in the
// order they were dropped.
QStringList DroppedDocuments(const QMimeData* data);

// The notes a run collected about content it could not render fully (one
// per line), for a message's details; empty without notes.
QString NotesText(const std::vector<support::Diagnostic>& notes);

// A stored Multi-line value ("a|||b") as the lines of a multi-line box.
QString MultiLineToBox(std::string_view stored);
// A multi-line box's text as a Multi-line value; empty lines stay as empty
// entries between bars.
std::string BoxToMultiLine(const QString& text);

// `widget` with its object name set: the name tests and the behaviour text
// know the control by.
template <typename W>
W* Named(W* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

// A label whose mnemonic and clicks lead to `buddy`.
QLabel* BuddyLabel(const QString& text, QWidget* buddy);

// Puts `text` into the box unless it is there already: a check that changed
// nothing keeps the user's cursor and undo history.
void ShowText(QLineEdit* box, const QString& text);

// Selects the whole text of the box and gives it the focus, showing the tab
// page it sits on first (a hidden page's box cannot take the focus).
void SelectAndFocus(QLineEdit* box);

// "1" for a ticked box, "0" otherwise; and back ("0" clears, anything else
// ticks, as the settings are read everywhere).
std::string FlagOf(bool ticked);
bool IsTicked(std::string_view flag);

// The 0-based entry an Index field names; `fallback` when the text is not a
// number in [0, count).
int IndexOf(std::string_view index, int count, int fallback = 0);

// Every row of `list` gets one height, tall enough for every font its texts
// may be drawn in: the list's own font and the fallback that draws Chinese.
// A list with uniform row heights otherwise takes them from its first row,
// and a row of Latin letters alone is too low for Chinese (and the other way
// round cuts descenders and underscores).
void GiveRowsOneHeight(QTreeView* list);

// Where a window was, how large, and how its list columns and splitter were
// set, remembered across runs under `key`. Restore before the window is
// shown; an entry never saved leaves everything as it is.
struct WindowState {
  QWidget* window = nullptr;
  QHeaderView* columns = nullptr;
  QSplitter* splitter = nullptr;
};
void SaveWindowState(const QString& key, const WindowState& state);
void RestoreWindowState(const QString& key, const WindowState& state);

// The folder a path box names, as a folder chooser should open it: trimmed,
// with "\" read as "/".
QString TypedFolder(const QLineEdit* box);

// The folder text a folder chooser result becomes: the path with one final
// "/" (a root folder keeps its single "/").
QString WithFinalSlash(const QString& folder);

}  // namespace tessarine::dialogs
