#include "dialogs/widgets.h"

#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QStackedWidget>
#include <QStringList>
#include <QTabWidget>
#include <QUrl>
#include <charconv>

#include "project/document_record.h"
#include "support/files.h"

namespace tessarine::dialogs {

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
