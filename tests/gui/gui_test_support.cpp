#include "gui_test_support.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMimeData>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace tessarine::testing {

void ShowActive(QWidget* window) {
  window->show();
  QApplication::setActiveWindow(window);
  if (!QTest::qWaitForWindowActive(window)) qWarning("window not active");
}

void WhenModalShown(std::function<void(QWidget*)> action, int timeout_ms) {
  auto timer = std::make_shared<QElapsedTimer>();
  timer->start();
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [action = std::move(action), timer, poll, timeout_ms]() {
    if (QWidget* modal = QApplication::activeModalWidget();
        modal != nullptr && modal->isVisible()) {
      action(modal);
      *poll = nullptr;  // breaks the self-reference
      return;
    }
    if (timer->elapsed() > timeout_ms) {
      *poll = nullptr;
      return;
    }
    QTimer::singleShot(10, *poll);
  };
  QTimer::singleShot(0, *poll);
}

QString SaveScreenshot(QWidget* widget, const QString& name) {
  QDir().mkpath(QStringLiteral(TESSARINE_SCREENSHOT_DIR));
  widget->show();
  QApplication::processEvents();
  const QString path = QStringLiteral(TESSARINE_SCREENSHOT_DIR "/") + name + QStringLiteral(".png");
  widget->grab().save(path);
  return path;
}

QString TempFolder() {
  static std::vector<std::unique_ptr<QTemporaryDir>> folders;
  folders.push_back(std::make_unique<QTemporaryDir>());
  return folders.back()->path() + QLatin1Char('/');
}

std::string SharedPath(const std::string& relative) {
  const char* chosen = std::getenv("TESSARINE_SHARED_DIR");
  return std::string(chosen != nullptr && *chosen != '\0' ? chosen : TESSARINE_SHARED_DIR) + "/" +
         relative;
}

bool HaveSharedCorpus() {
  return QFileInfo(QString::fromStdString(SharedPath("corpus/docx"))).isDir();
}

std::string SourcePath(const std::string& relative) {
  return std::string(TESSARINE_SOURCE_DIR) + "/" + relative;
}

bool DropFiles(QWidget* target, const QStringList& paths) {
  QMimeData data;
  QList<QUrl> urls;
  for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
  data.setUrls(urls);
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &dropped);
  return true;
}

int TallestLine(const QFont& font) {
  int tallest = 0;
  // Each on its own line, so each is measured in the font that draws it.
  for (const QString& text : {QStringLiteral("gjpqy_"), QStringLiteral("\u6C49\u5B57\u8868")}) {
    QTextLayout layout(text, font);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    tallest = std::max(tallest, static_cast<int>(std::ceil(line.height())));
  }
  return tallest;
}

bool WaitUntil(const std::function<bool()>& done, int timeout_ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeout_ms) return false;
    QTest::qWait(10);
  }
  return true;
}

}  // namespace tessarine::testing
