// The batch run: every document of the list becomes one page in the output
// folder, named by the settings' rule. The converter writes Word HTML
// straight to the page path (its companion folder <name>.files/ beside it);
// the run then corrects the charset declaration, keeps Word's head up to the
// title, puts the (optimised) style sheet inline, keeps the body tag, cleans
// the body with the site build's passes, wraps it to the page width and
// writes the page over Word's file in the chosen encoding.
//
// What a front end does around a run (the batch window, `tessarine batch`):
//   1. ValidateBatch and show its message when it refuses;
//   2. bar 0, state empty, stop flag cleared;
//   3. RunBatch (on a worker thread in the GUI); the stop command sets the
//      flag and nothing else;
//   4. on success bar 100, state "完成！" and kBatchSucceeded; on failure
//      "生成出错，原因：", a line break and the outcome's message ("用户中断"
//      after a stop, the state then "中断！").
//
// The first failing document in list order ends the run; pages of the
// documents before it stay.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "batch/batch_settings.h"
#include "support/diagnostic.h"
#include "support/status.h"

namespace tessarine::batch {

// Where a run reports its progress; called from the run's threads one at a
// time (a GUI forwards the calls to its window's thread).
class BatchProgress {
 public:
  virtual ~BatchProgress() = default;
  // The bar's new value: the accumulated steps, never above 97.
  virtual void SetValue(double value) = 0;
  // The state text; the run itself only ever sets "中断！".
  virtual void SetState(std::string_view state) = 0;
};

struct BatchOutcome {
  support::Status status = support::Status::Ok();
  // The pages written, in list order (a name that two documents share is
  // listed once per document).
  std::vector<std::string> pages;
  // Content oddities the converter met, each about its document, in list
  // order.
  std::vector<support::Diagnostic> diagnostics;

  bool ok() const { return status.ok(); }
};

// Runs the batch over `settings` (already validated). `jobs` documents are
// converted at a time; each document is converted into a private folder in
// the output folder and moved into place in list order, so the output is the
// same whatever `jobs` is, the first failure in list order ends the run, no
// page of a later document is left behind by a failure or a stop, and a
// page from an earlier run is replaced only by a complete new one. `slice`
// places the documents in a longer list for numbered names.
BatchOutcome RunBatch(const BatchSettings& settings, BatchProgress& progress,
                      const std::atomic<bool>& stop_requested, unsigned jobs = 1,
                      ListSlice slice = {});

// The batch's progress accounting: an accumulator of step sizes shown capped
// at 97, and the stop flag read at every step. Safe to call from several
// threads.
class BatchProgressStep {
 public:
  BatchProgressStep(BatchProgress& progress, const std::atomic<bool>& stop_requested);

  // Adds `size` and shows the total; Ok to go on, or support::Status::
  // Stopped() (and the state "中断！", once) when a stop was requested, as
  // the site build's step answers. `label` names the stage just ended.
  support::Status Step(double size, std::string_view label);
  // Reads the stop flag between steps, as Step does, without moving the bar.
  support::Status Continue();
  double accumulated() const;

 private:
  BatchProgress& progress_;
  const std::atomic<bool>& stop_requested_;
  support::Status ContinueLocked();

  mutable std::mutex mutex_;
  double accumulated_ = 0;
  bool reported_stop_ = false;
};

}  // namespace tessarine::batch
