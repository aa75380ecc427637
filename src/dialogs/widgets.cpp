#include "dialogs/widgets.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QRegularExpression>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTextLayout>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <charconv>
#include <cmath>

#include "project/document_record.h"
#include "support/files.h"

namespace tessarine::dialogs {
namespace {

// The height of one line of `font` holding Latin letters with descenders,
// an underscore and Chinese: the text layout takes the tallest of the fonts
// that draw them, fallbacks included.
int MixedLineHeight(const QFont& font) {
  QTextLayout layout(QStringLiteral("Agjy_\u6C49\u5B57"), font);
  layout.beginLayout();
  const QTextLine line = layout.createLine();
  layout.endLayout();
  return static_cast<int>(std::ceil(line.height()));
}

class OneRowHeight final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    // What the style adds around the text of a row stays as it is.
    const int padding = std::max(0, size.height() - option.fontMetrics.height());
    size.setHeight(std::max(size.height(), MixedLineHeight(option.font) + padding));
    return size;
  }
};

}  // namespace

QString Tr(std::string_view text) {
  const std::string source(text);
  return QCoreApplication::translate("tessarine", source.c_str());
}

void GiveRowsOneHeight(QTreeView* list) {
  list->setItemDelegate(new OneRowHeight(list));
  list->setUniformRowHeights(true);
}

void SaveWindowState(const QString& key, const WindowState& state) {
  QSettings settings;
  settings.beginGroup(key);
  if (state.window != nullptr)
    settings.setValue(QStringLiteral("geometry"), state.window->saveGeometry());
  if (state.columns != nullptr)
    settings.setValue(QStringLiteral("columns"), state.columns->saveState());
  if (state.splitter != nullptr)
    settings.setValue(QStringLiteral("splitter"), state.splitter->saveState());
}

void RestoreWindowState(const QString& key, const WindowState& state) {
  QSettings settings;
  settings.beginGroup(key);
  if (state.window != nullptr && settings.contains(QStringLiteral("geometry"))) {
    state.window->restoreGeometry(settings.value(QStringLiteral("geometry")).toByteArray());
  }
  if (state.columns != nullptr && settings.contains(QStringLiteral("columns"))) {
    state.columns->restoreState(settings.value(QStringLiteral("columns")).toByteArray());
  }
  if (state.splitter != nullptr && settings.contains(QStringLiteral("splitter"))) {
    state.splitter->restoreState(settings.value(QStringLiteral("splitter")).toByteArray());
  }
}

QString TypedFolder(const QLineEdit* box) {
  return box->text().trimmed().replace(QLatin1Char('\\'), QLatin1Char('/'));
}

QString MultiLineToBox(std::string_view stored) {
  QString text = Qs(project::MultiLineToText(stored));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

std::string BoxToMultiLine(const QString& text) {
  QString crlf = text;
  crlf.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  crlf.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  return project::TextToMultiLine(Std(crlf));
}

QStringList DroppedDocuments(const QMimeData* data) {
  QStringList paths;
  if (data == nullptr) return paths;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) continue;
    const QString path = url.toLocalFile();
    if (support::HasExtension(Std(path), "doc|docx")) paths << path;
  }
  return paths;
}

namespace {

// The forms of the converter's notes, each with its Chinese wording: the
// captured names and reasons go into %1, %2 as they stand.
struct NoteForm {
  const char* pattern;
  const char* chinese;
};
constexpr NoteForm kNoteForms[] = {
    {R"n(a style without a styleId \((.*)\) is left out)n",
     QT_TRANSLATE_NOOP("tessarine", "没有样式标识的样式（%1）已略去")},
    {R"n(style id "(.*)" is defined twice; the first definition is used)n",
     QT_TRANSLATE_NOOP("tessarine", "样式标识“%1”定义了两次，使用第一个定义")},
    {R"n(style "(.*)" is based on unknown style "(.*)")n",
     QT_TRANSLATE_NOOP("tessarine", "样式“%1”所基于的样式“%2”不存在")},
    {R"n(style "(.*)" is based on itself through its basedOn chain; the loop is cut)n",
     QT_TRANSLATE_NOOP("tessarine", "样式“%1”经由继承关系基于自身，已断开循环")},
    {R"n(part (.*) cannot be read \((.*)\); it is left out)n",
     QT_TRANSLATE_NOOP("tessarine", "部件 %1 无法读取（%2），已略去")},
    {R"n(part (.*?) is (.*); it is left out)n",
     QT_TRANSLATE_NOOP("tessarine", "部件 %1 有误（%2），已略去")},
    {R"n(the main document could not be read whole a second time)n",
     QT_TRANSLATE_NOOP("tessarine", "第二次读取时未能完整读出主文档")},
    {R"n(the package holds part (.*) twice; the first one is used)n",
     QT_TRANSLATE_NOOP("tessarine", "文档包中部件 %1 出现两次，使用第一个")},
    {R"n(relationship part (.*?) is (.*); its relationships are left out)n",
     QT_TRANSLATE_NOOP("tessarine", "关系部件 %1 有误（%2），其中的关系已略去")},
    {R"n(the package has no \[Content_Types\]\.xml)n",
     QT_TRANSLATE_NOOP("tessarine", "文档包缺少 [Content_Types].xml")},
    {R"n(the main document has no body; it is read as empty)n",
     QT_TRANSLATE_NOOP("tessarine", "主文档没有正文，按空文档处理")},
    {R"n(numbering: w:abstractNum without a usable w:abstractNumId skipped)n",
     QT_TRANSLATE_NOOP("tessarine", "编号：缺少可用 abstractNumId 的列表定义已跳过")},
    {R"n(numbering: duplicate w:abstractNumId (.*) ignored)n",
     QT_TRANSLATE_NOOP("tessarine", "编号：重复的列表定义 %1 已忽略")},
    {R"n(numbering: list (.*) has a level outside 0-8)n",
     QT_TRANSLATE_NOOP("tessarine", "编号：列表 %1 有超出 0-8 的级别")},
    {R"n(numbering: w:num without a usable w:numId skipped)n",
     QT_TRANSLATE_NOOP("tessarine", "编号：缺少可用 numId 的列表已跳过")},
    {R"n(numbering: duplicate w:numId (.*) ignored)n",
     QT_TRANSLATE_NOOP("tessarine", "编号：重复的列表 %1 已忽略")},
    {R"n(numbering: list instance (.*) names no known abstract list)n",
     QT_TRANSLATE_NOOP("tessarine", "编号：列表 %1 引用了不存在的列表定义")},
    {R"n(numbering: list (.*) links to numbering style "(.*)", which has no list)n",
     QT_TRANSLATE_NOOP("tessarine", "编号：列表 %1 链接的编号样式“%2”没有列表")},
    {R"n(numbering: number format "(.*)" shown as decimal)n",
     QT_TRANSLATE_NOOP("tessarine", "编号：编号格式“%1”按阿拉伯数字显示")},
    {R"n(Pictures that browsers cannot show \(EMF, WMF, TIFF\) have no PNG copy: (.*); the web page shows their original files\.)n",
     QT_TRANSLATE_NOOP(
         "tessarine",
         "浏览器无法显示的图片（EMF、WMF、TIFF）未能转成 PNG（%1），网页中使用原图片文件。")},
    {R"n(A picture whose part (.*) is missing from the package was left out\.)n",
     QT_TRANSLATE_NOOP("tessarine", "文档包中缺少图片部件 %1，该图片已略去。")},
    {R"n(A picture was left out: (.*))n", QT_TRANSLATE_NOOP("tessarine", "一张图片已略去：%1")},
};

// One note in Chinese. A note starts with its document's path and ": " when
// a run collected it; the path stays in front. A note of a form not known
// here is shown as the converter worded it.
QString ChineseNote(const QString& note) {
  for (const NoteForm& form : kNoteForms) {
    const QRegularExpression pattern(QStringLiteral("(?:^|: )") + QLatin1String(form.pattern) +
                                     QLatin1Char('$'));
    const QRegularExpressionMatch match = pattern.match(note);
    if (!match.hasMatch()) continue;
    QString text = QCoreApplication::translate("tessarine", form.chinese);
    // All captures at once: a name holding "%2" stays as it is.
    if (match.lastCapturedIndex() == 1) text = text.arg(match.captured(1));
    if (match.lastCapturedIndex() == 2) text = text.arg(match.captured(1), match.captured(2));
    const qsizetype start = match.capturedStart();
    return start == 0 ? text : note.left(start + 2) + text;
  }
  return note;
}

}  // namespace

QString NotesText(const std::vector<support::Diagnostic>& notes) {
  QStringList lines;
  for (const support::Diagnostic& note : notes) lines << ChineseNote(Qs(note.Text()));
  return lines.join(QLatin1Char('\n'));
}

QLabel* BuddyLabel(const QString& text, QWidget* buddy) {
  auto* label = new QLabel(text);
  label->setBuddy(buddy);
  return label;
}

void ShowText(QLineEdit* box, const QString& text) {
  if (box->text() != text) box->setText(text);
}

void SelectAndFocus(QLineEdit* box) {
  if (box == nullptr) return;
  // Bring forward every tab page between the box and its window.
  for (QWidget* child = box; child != nullptr; child = child->parentWidget()) {
    QWidget* parent = child->parentWidget();
    if (auto* stack = qobject_cast<QStackedWidget*>(parent)) {
      if (auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget())) {
        tabs->setCurrentWidget(child);
      } else {
        stack->setCurrentWidget(child);
      }
    }
  }
  box->setSelection(0, static_cast<int>(box->text().size()));
  box->setFocus(Qt::OtherFocusReason);
}

std::string FlagOf(bool ticked) {
  return ticked ? "1" : "0";
}

bool IsTicked(std::string_view flag) {
  return flag != "0";
}

int IndexOf(std::string_view index, int count, int fallback) {
  int value = 0;
  const auto [end, error] = std::from_chars(index.data(), index.data() + index.size(), value);
  if (error != std::errc() || end != index.data() + index.size() || value < 0 || value >= count) {
    return fallback;
  }
  return value;
}

QString WithFinalSlash(const QString& folder) {
  if (folder.endsWith(QLatin1Char('/'))) return folder;
  return folder + QLatin1Char('/');
}

}  // namespace tessarine::dialogs
