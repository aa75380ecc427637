// Small helpers every window uses at the border between Qt and the core:
// text conversion (the core keeps UTF-8 std::string, the windows QString),
// the Multi-line encoding of multi-line boxes, and focusing a text box the
// way a failed check does.
#pragma once

#include <QString>
#include <string>
#include <string_view>

class QLineEdit;
class QPlainTextEdit;
class QWidget;

namespace tessarine::dialogs {

inline QString Qs(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string Std(const QString& text) { return text.toStdString(); }

// A stored Multi-line value ("a|||b") as the lines of a multi-line box.
QString MultiLineToBox(std::string_view stored);
// A multi-line box's text as a Multi-line value; empty lines stay as empty
// entries between bars.
std::string BoxToMultiLine(const QString& text);

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

// The folder text a folder chooser result becomes: the path with one final
// "/" (a root folder keeps its single "/").
QString WithFinalSlash(const QString& folder);

}  // namespace tessarine::dialogs
