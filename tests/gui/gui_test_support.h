// Helpers shared by the window tests.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <string>

namespace tessarine::testing {

// The control named `name` inside `window`; fails the test (QVERIFY-style,
// returning nullptr) when there is none of that type.
template <typename T>
T* Control(QWidget* window, const char* name) {
  return window->findChild<T*>(QString::fromLatin1(name));
}

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
std::string SourcePath(const std::string& relative);

// Drags the local files `paths` onto `target` and drops them there; true when
// the target accepted the drag.
bool DropFiles(QWidget* target, const QStringList& paths);

// Waits, letting events run, until `done` holds or `timeout_ms` passes.
bool WaitUntil(const std::function<bool()>& done, int timeout_ms);

}  // namespace tessarine::testing
