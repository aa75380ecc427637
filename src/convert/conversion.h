// The conversion of one Word document into Word HTML, as the site build and
// the batch run it: start the converter, open the document, save it as Word
// HTML (the file and its companion folder <stem>.files/), with a progress step
// after each of the three and a chance for the caller to stop at every step.
//
// A .docx is read by the built-in package reader and written by the Word
// HTML writer. A .doc (Word 97-2003, an OLE compound file) is first turned
// into a .docx by LibreOffice, run headless as a child process: "starting the
// converter" then means finding LibreOffice, and opening the document means
// LibreOffice's conversion followed by reading its .docx.
//
// A failure's code says which step failed; the user reads the code's lead
// and the reason (support::Status::message()):
//   kConverterMissing  "CreateObject:": the converter could not be started (a
//                      .doc while LibreOffice is not installed, or its
//                      program cannot be run)
//   kOpenFailed        "Open:": the document cannot be read (missing file,
//                      damaged or encrypted document or package, not a Word
//                      document, main part not well-formed, LibreOffice
//                      failed or ran out of time ...)
//   kSaveFailed        "SaveAs:": the HTML file or its folder cannot be
//                      written
// A stop has the code kStopped. A failed save is reported rather than ignored: a document whose
// HTML was never written would otherwise read as empty and vanish from the site as if it were
// blank.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/word_html_page.h"
#include "support/diagnostic.h"
#include "support/status.h"

namespace tessarine::convert {

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

struct ConvertOutcome {
  // Ok once the HTML file and its folder are written; otherwise the failure
  // (kConverterMissing, kOpenFailed or kSaveFailed with the reason), or
  // kStopped when the caller's progress callback or stop flag asked to stop.
  support::Status status = support::Status::Ok();
  // Content oddities met on the way that did not stop the conversion (an
  // unreadable header part, an unsupported object ...), in the order met,
  // each about the document's path. Kept for a failure or a stop too: they
  // may explain it.
  std::vector<support::Diagnostic> diagnostics;

  bool ok() const { return status.ok(); }
  bool stopped() const { return status.code() == support::StatusCode::kStopped; }
  // The text the user reads of a failure.
  std::string message() const { return status.message(); }
  bool operator==(const ConvertOutcome&) const = default;
};

// Called after each step; a failure (normally support::Status::Stopped(),
// once the caller's stop flag is set) ends the conversion as stopped. The
// site build's and the batch run's own progress steps answer the same way.
using ConvertProgress = std::function<support::Status(ConvertStep)>;

// How a .doc reaches LibreOffice. The defaults suit every caller; tests put
// a stand-in program and a short time limit here.
struct LegacyDocOptions {
  // The LibreOffice program: a path, or a name looked up on PATH.
  std::string soffice = "soffice";
  // How long LibreOffice may take before it is stopped; zero: scaled to the
  // document's size (two minutes, and one more for every megabyte).
  std::chrono::milliseconds time_limit{0};
  // Where the scratch folder (LibreOffice's private profile, its temporary
  // files and its .docx) is made and removed again; empty: the system's
  // temporary folder.
  std::string scratch_parent;
  // Asked while LibreOffice runs (every few tens of milliseconds) and while
  // the body is written (every few dozen blocks): true ends the work at once,
  // LibreOffice's whole process group killed, and the conversion returns as
  // stopped. Empty: it runs to its end or its time limit.
  std::function<bool()> stop_requested;
};

// The Debian package that provides LibreOffice's `soffice` without a
// desktop; the message for a .doc without LibreOffice names it.
inline constexpr std::string_view kLibreOfficePackage = "libreoffice-writer-nogui";

// Converts the document at `document_path` into Word HTML at `target_htm`
// (code page 936) and the folder beside it named after the file's stem with
// ".files" appended. `on_step` may be empty. A stop returns at once: what was
// written so far stays as it is. A file named .doc or .dot goes through
// LibreOffice when it is an OLE compound file, through the package reader
// when it is a renamed .docx, and fails to open otherwise; every other file
// goes to the package reader. LibreOffice runs in a process group of its
// own that is killed when it ends or runs out of time, so no process of it
// outlives the call. `threads` is how many threads the conversion may keep
// busy: with two, a large body is read on a second thread while it is
// written (see PackageLimits::threads); the result is the same. Never throws.
ConvertOutcome ConvertToWordHtml(const std::string& document_path, const std::string& target_htm,
                                 const ConvertProgress& on_step,
                                 const LegacyDocOptions& legacy = {}, unsigned threads = 1);

// The same conversion with the page handed over in `page` instead of
// written: the text and the companion files named for a page file
// `htm_name` ("doc1.htm"), exactly what ConvertToWordHtml would write.
// Nothing is written but, when the pictures are too large to hold (see
// RenderWordHtmlPage), the companion files in `spill_folder` (ending with
// "/"). `page` is complete only when the outcome is ok.
ConvertOutcome ConvertToWordHtmlPage(const std::string& document_path, const std::string& htm_name,
                                     WordHtmlPage& page, const std::string& spill_folder,
                                     const ConvertProgress& on_step,
                                     const LegacyDocOptions& legacy = {}, unsigned threads = 1);

}  // namespace tessarine::convert
