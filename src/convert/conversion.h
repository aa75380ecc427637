// The conversion of one Word document into Word HTML, as the site build and
// the batch run it: start the converter, open the document, save it as Word
// HTML (the file and its companion folder <stem>.files/), with a progress step
// after each of the three and a chance for the caller to stop at every step.
//
// The converter is the built-in .docx reader and Word HTML writer, so
// "starting" it cannot fail today. The step and its "CreateObject:" failure
// stay part of the contract because .doc input will go through an outside
// program (LibreOffice turns the .doc into a .docx first): a missing or
// failing LibreOffice is what will be reported there. Until then a .doc,
// being an OLE compound file and not a zip package, fails at the opening
// step with the package reader's reason.
//
// Failures carry the full message the user reads:
//   "CreateObject:" + reason   the converter could not be started (see above)
//   "Open:" + reason           the document cannot be read (missing file,
//                              damaged or encrypted package, not a Word
//                              document, main part not well-formed ...)
//   "SaveAs:" + reason         the HTML file or its folder cannot be written
// A failed save is reported rather than ignored: a document whose HTML was
// never written would otherwise read as empty and vanish from the site as if
// it were blank.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tessarine::convert {

// The message prefixes; the reason follows without a space.
inline constexpr std::string_view kCreateObjectFailure = "CreateObject:";
inline constexpr std::string_view kOpenFailure = "Open:";
inline constexpr std::string_view kSaveAsFailure = "SaveAs:";

// The points at which the caller is told of progress, in the order they come.
enum class ConvertStep {
  kConverterStarted,  // "CreateObject(Word.Application)"
  kDocumentOpened,    // "Word.Open"
  kSaved,             // "Word.SaveAs": the HTML and its folder are written
};

// The stage label a progress step carries.
std::string_view StepLabel(ConvertStep step);
// The step's share of a document's progress, in units of the build's step
// size: 1, 1 and 2 (saving weighs double).
int StepWeight(ConvertStep step);

enum class ConvertState {
  kConverted,  // the HTML file and its folder are written
  kFailed,     // message holds "CreateObject:", "Open:" or "SaveAs:" and the reason
  kStopped,    // the caller's progress callback asked to stop; it words the message
};

struct ConvertOutcome {
  ConvertState state = ConvertState::kFailed;
  std::string message;  // set only for kFailed
  // Content oddities met on the way that did not stop the conversion (an
  // unreadable header part, an unsupported object ...), in the order met.
  // Kept for a failure or a stop too: they may explain it.
  std::vector<std::string> diagnostics;

  bool ok() const { return state == ConvertState::kConverted; }
  bool stopped() const { return state == ConvertState::kStopped; }
  bool operator==(const ConvertOutcome&) const = default;
};

// Called after each step; returns false when the caller's stop flag is set.
using ConvertProgress = std::function<bool(ConvertStep)>;

// Converts the document at `document_path` into Word HTML at `target_htm`
// (code page 936) and the folder beside it named after the file's stem with
// ".files" appended. `on_step` may be empty. A stop returns at once: what was
// written so far stays as it is. Never throws.
ConvertOutcome ConvertToWordHtml(const std::string& document_path, const std::string& target_htm,
                                 const ConvertProgress& on_step);

}  // namespace tessarine::convert
