// The site build driver: turns a project (its settings and document list)
// into the finished site in the output folder, document after document, and
// then writes the site-wide pages. It is the one place where the stages are
// put in order; each stage is a unit of its own in site/.
//
// What a front end does around a build (the GUI's Build command, `tessarine
// build`):
//   1. run project::ValidateBuild and show its message when it refuses;
//   2. set its bar to 0 and its state text to empty, clear the stop flag;
//   3. run BuildSite, on a worker thread in the GUI, with a BuildProgress and
//      the stop flag; the stop command sets the flag and nothing else;
//   4. on success set the bar to 100, the state to kStateDone and show
//      kBuildSucceeded; on failure show kBuildFailedLead, a line break and the
//      outcome's message. A stop is a failure with the message
//      kInterruptedMessage; the state then reads kStateInterrupted.
//
// Output, for every document with prefix P: its pages (P & FileExt for the
// home page, then one page per heading, named by site/naming.h), the resource
// folder P.files/ with the style sheet "tessarine.css" and the pictures the
// pages use; after the last document the template's tfiles/ folder copied
// into the output folder, then the frameset pages. Nothing in the output
// folder is deleted: files of an earlier build are overwritten when this one
// writes the same name, and other files stay.
//
// Scratch space: every build makes a fresh folder of its own under the
// system's temporary folder for the Word HTML of its documents. It is removed
// after a successful or a stopped build and kept only after a failure, for a
// look at what the converter wrote (BuildOutcome::scratch_folder names it).
// A build removes the kept folders of earlier builds once they are older
// than kKeptScratchDays.
//
// Stopping: the stop flag is read at every progress step, before every page
// of the page loop and between the clean-up passes of every page (on every
// thread that makes pages), and while LibreOffice converts a .doc (its
// process group is then killed), so a stop takes effect within a fraction of
// a second wherever the build is.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "project/project_settings.h"
#include "site/section.h"
#include "support/diagnostic.h"
#include "support/progress.h"
#include "support/status.h"

namespace tessarine::site {

// Texts of the build, shown by the front ends as they stand; the batch run
// shares them.
using support::kBuildFailedLead;
using support::kInterruptedMessage;
using support::kInvalidDocument;
using support::kStateDone;
using support::kStateInterrupted;
inline constexpr std::string_view kBuildSucceeded =
    "恭喜：文档生成成功！您可以点击“查看”按钮，查看生成的效果。";

// Where a build reports its progress. Called on the build's thread: a GUI
// forwards the calls to its window's thread.
class BuildProgress {
 public:
  virtual ~BuildProgress() = default;
  // The bar's new value, 0 to kProgressCap.
  virtual void SetValue(int value) = 0;
  // The state text; the build itself only ever sets kStateInterrupted.
  virtual void SetState(std::string_view state) = 0;
  // The stage that has just ended, by its label ("head parse", ...). For
  // diagnosis and tests; not meant for the user.
  virtual void StageEnded(std::string_view /*label*/) {}
};

using support::kProgressCap;

// Days a failed build's scratch folder is kept before a later build removes
// it.
inline constexpr int kKeptScratchDays = 7;
// The name every build's scratch folder starts with.
inline constexpr std::string_view kScratchFolderPrefix = "tessarine-build-";

// A step size made a whole number the way every step is handed to a progress
// step: to the nearest integer, halves to even (0.5 gives 0, 1.5 and 2.5 give
// 2), clamped to the 16-bit range.
int16_t WholeStep(double size);

// The progress step every stage ends with: moves the bar and reads the stop
// flag, so a stop takes effect at the next step.
class ProgressStep {
 public:
  // `stop_requested` is set by the front end's stop command (from any
  // thread, or from a signal handler: it is lock-free).
  ProgressStep(BuildProgress& progress, const std::atomic<bool>& stop_requested);

  // A step above 0 moves the bar by `step`, but never past kProgressCap; a
  // step of 0 or less leaves it. Then the stage ends (BuildProgress::
  // StageEnded with `label`). Returns Ok to go on, or, once the stop flag is
  // set, the state kStateInterrupted and support::Status::Stopped(), as the
  // batch run's step answers.
  support::Status operator()(int16_t step, std::string_view label);
  // A point inside the stage that the next step of `step` ends, `done` (0 to
  // 1) of the way through it: the bar shows that share of the step, rounded
  // down, so it moves during a long stage and never passes or goes back from
  // the value the step gives. The stop flag is read as at a step.
  support::Status Within(int16_t step, double done);

  int value() const { return value_; }
  bool stopped() const { return stopped_; }

 private:
  BuildProgress& progress_;
  const std::atomic<bool>& stop_requested_;
  support::Status StopRequested();

  int value_ = 0;
  int shown_ = 0;  // what the bar shows: value_, or more inside a stage
  bool stopped_ = false;
};

static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set from a signal handler");

// Wall time the build spent in one group of stages, over all documents.
struct StageTime {
  std::string stage;
  double seconds = 0;
  // True for stages made of regular-expression passes over the document's
  // markup; reading, converting and writing files are not.
  bool pattern_passes = false;
};

struct BuildOutcome {
  // Ok when every document and the site-wide pages were written; otherwise
  // the message the user reads (a stop gives kInterruptedMessage).
  support::Status status = support::Status::Ok();
  bool stopped = false;
  // One Section table per document, by list position (entry i-1 for document
  // i), stored once the document's pages are written. A skipped document
  // (no visible text) leaves an empty table at its position when a later
  // document is written; the list ends before it when none is. Bodies are
  // emptied once written: only the menu reads these tables.
  SiteSections site_sections;
  // The page a reader starts from: the frameset home page when the build
  // wrote one, otherwise the home page of the first document that produced
  // pages; empty when the build failed or wrote no page.
  std::string home_page;
  // The build's scratch folder when it was kept (after a failure).
  std::string scratch_folder;
  // What the build met without stopping: content oddities the converter
  // worked around (each about its document), page names two documents
  // share.
  std::vector<support::Diagnostic> diagnostics;
  // Where the time went, in the order the stages first ran.
  std::vector<StageTime> stage_times;

  bool ok() const { return status.ok(); }
};

// Builds the site of `settings`. The settings are checked again first
// (project::ValidateBuild, on a copy): a project that breaks a rule is
// refused with the check's message before anything is written, so no file
// can land outside the output folder whatever the caller did. The
// one-argument data folder form takes the templates from
// `data_folder`template/ (ending with "/"); the other uses
// support::DataFolder(). Never throws.
//
// `jobs` is how many threads the build keeps busy: with more than one, the
// pages of a document are cleaned and written by that many threads and the
// next document converts while the one before it is cleaned and written.
// Whatever `jobs` is, every file written, the diagnostics, the progress
// values and their order, and what a stop or a failure leaves in the output
// folder are those of the one-thread build: pages made ahead of their turn
// wait under temporary names and are put in place in row order, and a
// document converted ahead of its turn shows its progress steps and notes
// when its turn comes (and leaves nothing when that turn never comes).
// Progress calls are made on the thread that called BuildSite.
BuildOutcome BuildSite(const project::ProjectSettings& settings, BuildProgress& progress,
                       const std::atomic<bool>& stop_requested, unsigned jobs = 1);
BuildOutcome BuildSite(const project::ProjectSettings& settings, BuildProgress& progress,
                       const std::atomic<bool>& stop_requested, const std::string& data_folder,
                       unsigned jobs = 1);

// The number of processor cores (at least 1): the jobs of a build that uses
// the whole machine.
unsigned AllCores();

}  // namespace tessarine::site
