#include "dialogs/widgets.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
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

QString NotesText(const std::vector<std::string>& notes) {
  QStringList lines;
  for (const std::string& note : notes) lines << Qs(note);
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
