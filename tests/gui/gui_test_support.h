// Helpers shared by the window tests.
#pragma once

#include <QFont>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "fake_shell.h"

namespace tessarine::testing {

// The control named `name` inside `window`; fails the test (QVERIFY-style,
// returning nullptr) when there is none of that type.
template <typename T>
T* Control(QWidget* window, const char* name) {
  return window->findChild<T*>(QString::fromLatin1(name));
}

// Shows `window` and makes it the active one, as a user's window would be.
void ShowActive(QWidget* window);

// A window of type W made with a scripted desktop (W's constructor takes the
// Shell first, then `arguments`), shown and active, with its controls by name.
template <typename W>
struct TestWindow {
  FakeShell shell;
  std::unique_ptr<W> frm;

  template <typename... Arguments>
  explicit TestWindow(Arguments&&... arguments)
      : frm(std::make_unique<W>(shell, std::forward<Arguments>(arguments)...)) {
    ShowActive(frm.get());
  }

  // The control `name`; a missing one ends the test program.
  template <typename T>
  T* Get(const char* name) {
    T* control = Control<T>(frm.get(), name);
    if (control == nullptr) qFatal("no control %s", name);
    return control;
  }
  QPushButton* Button(const char* name) { return Get<QPushButton>(name); }
  QLineEdit* Line(const char* name) { return Get<QLineEdit>(name); }
};

// Runs `action` on the next modal window as soon as it shows (a message box
// or dialog opened by the code under test); gives up after `timeout_ms`.
void WhenModalShown(std::function<void(QWidget*)> action, int timeout_ms = 5000);

// Saves a picture of `widget` as <screenshot folder>/<name>.png and returns
// its path. The widget is shown and laid out first.
QString SaveScreenshot(QWidget* widget, const QString& name);

// A fresh temporary folder (ending with "/") that lives until the program
// ends.
QString TempFolder();

// Paths of real inputs.
std::string SharedPath(const std::string& relative);
// Whether the shared corpus is there to read (see TESSARINE_QSKIP_WITHOUT_CORPUS).
bool HaveSharedCorpus();
std::string SourcePath(const std::string& relative);

// Drags the local files `paths` onto `target` and drops them there; true when
// the target accepted the drag.
bool DropFiles(QWidget* target, const QStringList& paths);

// The height of the tallest line `font` draws Latin letters with
// descenders, or Chinese, in (through its fallback): a row or box that shows
// either must be at least this high.
int TallestLine(const QFont& font);

// Waits, letting events run, until `done` holds or `timeout_ms` passes.
bool WaitUntil(const std::function<bool()>& done, int timeout_ms);

}  // namespace tessarine::testing

// Skips the current test function, saying why, when the shared corpus is
// missing.
#define TESSARINE_QSKIP_WITHOUT_CORPUS()         \
  if (!::tessarine::testing::HaveSharedCorpus()) \
  QSKIP("no shared corpus (set TESSARINE_SHARED_DIR at configure time)")
