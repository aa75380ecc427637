#include "batch/run_batch.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

#include "cleanup/cleanup.h"
#include "cleanup/head_style.h"
#include "convert/conversion.h"
#include "project/document_record.h"
#include "support/files.h"
#include "support/process.h"
#include "support/progress.h"
#include "support/regex.h"
#include "support/text_file.h"

namespace tessarine::batch {
namespace {

namespace fs = std::filesystem;
using support::Result;
using support::Status;

constexpr std::string_view kDocumentExtensions = "doc|docx";
constexpr std::string_view kLineBreak = "\r\n";

// Word's content-type meta element; its charset is replaced and everything
// else of the element stays.
constexpr std::string_view kCharsetMeta =
    R"((<meta http-equiv=Content-Type content[^>]+?text/html[^>]+?charset)=[^>'"]+?(['"]>))";
// Word's section wrappers around the body's content.
constexpr std::string_view kDivStartTag = "<div([^>])*?>";
constexpr std::string_view kDivEndTag = "</div>";

// Progress step sizes, in units of 1/n of the bar.
constexpr double kStartStep = 2;
constexpr double kEndStep = 5;
constexpr double kConvertUnit = 9;  // the converter's steps weigh 1, 1 and 2 units
constexpr double kOptimizeStartStep = 18;
constexpr double kHeadParseStep = 7;
constexpr double kStyleParseStep = 9;
constexpr double kStyleOptimizeStep = 18;
constexpr double kBodyStep = 9;
constexpr double kDocumentEndStep = 9;

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// A replacement text that stands for itself: "$" would start a group
// reference.
std::string LiteralReplacement(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '$') out += '$';
    out += c;
  }
  return out;
}

// The settings' clean-up choices as a document's record, so that the batch
// run makes its clean-up and page width options as the site build does.
project::DocumentRecord CleanupRecord(const BatchSettings& settings) {
  const auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
  project::DocumentRecord record;
  record.OptimizeMode = std::to_string(settings.OptimizeMode);
  record.Opt1VML = flag(settings.Opt1VML);
  record.Opt1Absolute = flag(settings.Opt1Absolute);
  record.Opt1EQ = flag(settings.Opt1EQ);
  record.Opt1Margin = flag(settings.Opt1Margin);
  record.Opt1Space = flag(settings.Opt1Space);
  record.Opt2Image = flag(settings.Opt2Image);
  record.Opt2Table = flag(settings.Opt2Table);
  record.Opt2EQ = flag(settings.Opt2EQ);
  record.Opt2Indent = flag(settings.Opt2Indent);
  record.Opt2PtoBR = flag(settings.Opt2PtoBR);
  record.OptPageWidth = flag(settings.OptPageWidth);
  record.OptPageMargin = flag(settings.OptPageMargin);
  record.OptPageEffect = flag(settings.OptPageEffect);
  return record;
}

// The cleaned page of Word HTML `text` (modes 1 and 2).
Result<std::string> OptimizePage(std::string text, const BatchSettings& settings,
                                 BatchProgressStep& step, double unit) {
  const auto stage = [&](double size, std::string_view label) {
    return step.Step(size * unit, label);
  };
  if (Status s = stage(kOptimizeStartStep, "start optimize"); !s) return s;
  const project::DocumentRecord record = CleanupRecord(settings);
  Result<cleanup::CleanupOptions> options = cleanup::CleanupOptionsOf(record);
  if (!options) return options.status();

  // Word's head up to and including the title stays as it is.
  std::string kept_head;
  if (const size_t title_end = Lower(text).find("</title>"); title_end != std::string::npos) {
    kept_head = text.substr(0, title_end + std::string_view("</title>").size());
  }
  // The text becomes what follows the head, in place.
  Result<std::string> head = cleanup::TakeHead(text);
  if (!head) return head.status();
  if (Status s = stage(kHeadParseStep, "head parse"); !s) return s;

  Result<std::string> sheet = cleanup::ParseStyleSheet(*head);
  if (!sheet) return sheet.status();
  Result<cleanup::PageSetup> page_setup = cleanup::ReadPageSetup(*sheet);
  if (!page_setup) return page_setup.status();
  if (Status s = stage(kStyleParseStep, "style parse"); !s) return s;

  std::string style = "<style>\r\n";
  if (options->mode == cleanup::OptimizeMode::kSelective) {
    Result<std::string> optimized =
        cleanup::OptimizeStyleSheet(*sheet, options->mode, options->Opt1VML);
    if (!optimized) return optimized.status();
    style += *optimized;
  } else {
    // All-clear keeps Word's whole sheet inline: the page has no other.
    style += cleanup::kGeneratorComment;
    style += kLineBreak;
    style += *sheet;
  }
  style += "\r\n</style>";
  if (Status s = stage(kStyleOptimizeStep, "style optimize"); !s) return s;

  std::string page = kept_head + style + "</head>";
  std::string rest = std::move(text);
  if (const size_t body = Lower(rest).find("<body"); body != std::string::npos) {
    page += "<body";
    rest.erase(0, body + std::string_view("<body").size());
    if (const size_t close = rest.find('>'); close != std::string::npos) {
      page.append(rest, 0, close + 1);
      rest.erase(0, close + 1);
    }
  }
  if (const size_t end = Lower(rest).rfind("</body>"); end != std::string::npos) rest.resize(end);
  Result<std::string> body = support::RegexpReplace(rest, kDivStartTag, "");
  if (!body) return body.status();
  body = support::RegexpReplace(*body, kDivEndTag, "");
  if (!body) return body.status();
  std::string().swap(rest);
  if (Status s = stage(kBodyStep, "start body optimize"); !s) return s;

  // A large page is seen to stop between its clean-up passes.
  body = cleanup::CleanBody(std::move(*body), *options, [&] { return step.Continue(); });
  if (!body) return body.status();
  page +=
      cleanup::WrapPageWidth(std::move(*body), cleanup::PageWidthOptionsOf(record), *page_setup);
  page += "</body></html>";
  return page;
}

// One document to its page in `folder` (ending with "/"), its conversion
// keeping up to `threads` threads busy. Gives the page's path.
Result<std::string> ConvertDocument(const BatchSettings& settings, const ListSlice& slice,
                                    size_t position, const std::string& folder,
                                    BatchProgressStep& step,
                                    std::vector<support::Diagnostic>& diagnostics,
                                    unsigned threads) {
  const size_t count = settings.Documents.size();
  const double unit = 1.0 / static_cast<double>(count);
  const std::string& path = settings.Documents[position - 1];
  if (!support::IsDocumentFile(path, kDocumentExtensions)) {
    return Status::Error(support::StatusCode::kInvalidInput,
                         std::string(support::kInvalidDocument) + std::string(kLineBreak) + path);
  }
  const std::string page_path = folder +
                                BatchPageName(path, settings.NameRule, slice.first - 1 + position,
                                              slice.total == 0 ? count : slice.total) +
                                settings.FileExt;

  const convert::ConvertProgress on_step = [&](convert::ConvertStep done) {
    return step.Step(kConvertUnit * convert::StepWeight(done) * unit, convert::StepLabel(done));
  };
  convert::LegacyDocOptions legacy;
  legacy.stop_requested = [&step] { return !step.Continue().ok(); };
  convert::ConvertOutcome converted =
      convert::ConvertToWordHtml(path, page_path, on_step, legacy, threads);
  for (support::Diagnostic& note : converted.diagnostics) diagnostics.push_back(std::move(note));
  if (!converted.ok()) return converted.status;

  Result<std::string> text = cleanup::ReadWordPage(page_path);
  if (!text) return text.status();
  if (!settings.Charset.empty()) {
    text = support::RegexpReplace(*text, kCharsetMeta,
                                  "$1=" + LiteralReplacement(settings.Charset) + "$2");
    if (!text) return text.status();
  }
  if (settings.OptimizeMode != 0) {
    text = OptimizePage(std::move(*text), settings, step, unit);
    if (!text) return text.status();
  }
  if (Status s = support::WriteTextFile(page_path, *text, settings.FileEncode); !s) return s;
  if (Status s = step.Step(kDocumentEndStep * unit, "end one document"); !s) return s;
  return page_path;
}

// Moves `from` onto `to`: files replace files of the same name, folders are
// merged, as if the converter had written into `to` itself.
Status MoveInto(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  if (fs::is_directory(from, ec)) {
    if (!fs::exists(to, ec)) {
      fs::rename(from, to, ec);
      if (!ec) return Status::Ok();
    }
    if (!fs::is_directory(to, ec)) {
      fs::remove(to, ec);
      fs::create_directories(to, ec);
      if (ec)
        return Status::Error(support::StatusCode::kIoFailed, to.string() + ": " + ec.message());
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(from, ec)) {
      if (Status s = MoveInto(entry.path(), to / entry.path().filename()); !s) return s;
    }
    if (ec)
      return Status::Error(support::StatusCode::kIoFailed, from.string() + ": " + ec.message());
    return Status::Ok();
  }
  if (fs::is_directory(to, ec)) fs::remove_all(to, ec);
  fs::rename(from, to, ec);
  if (ec) return Status::Error(support::StatusCode::kIoFailed, to.string() + ": " + ec.message());
  return Status::Ok();
}

// A document's result in a staged run.
struct Slot {
  bool done = false;
  Result<std::string> page = Status::Error(support::StatusCode::kInternal, "not converted");
  std::vector<support::Diagnostic> diagnostics;
};

BatchOutcome RunStaged(const BatchSettings& settings, const ListSlice& slice,
                       BatchProgressStep& step, unsigned jobs) {
  BatchOutcome outcome;
  Result<support::ScratchFolder> staging_folder =
      support::ScratchFolder::Create(settings.OutputDir, ".tessarine-batch-");
  if (!staging_folder) {
    outcome.status = Status::Error(
        support::StatusCode::kIoFailed,
        "cannot make a working folder in " + settings.OutputDir + ": " + staging_folder.message());
    return outcome;
  }
  const fs::path staging = staging_folder->path();
  const size_t count = settings.Documents.size();
  std::vector<Slot> slots(count);
  std::mutex mutex;
  std::condition_variable finished;
  size_t next = 0;
  bool abandon = false;

  // Fewer documents than jobs: each conversion takes the threads left over.
  const unsigned worker_count = static_cast<unsigned>(std::min<size_t>(jobs, count));
  const unsigned threads_per_document = std::max(1u, jobs / std::max(1u, worker_count));
  const auto work = [&] {
    for (;;) {
      size_t index = 0;
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (abandon || next == count) return;
        index = next++;
      }
      const fs::path folder = staging / std::to_string(index + 1);
      std::error_code ec;
      fs::create_directories(folder, ec);
      std::vector<support::Diagnostic> diagnostics;
      Result<std::string> page =
          ec ? Result<std::string>(Status::Error(support::StatusCode::kIoFailed,
                                                 folder.string() + ": " + ec.message()))
             : ConvertDocument(settings, slice, index + 1, folder.string() + "/", step, diagnostics,
                               threads_per_document);
      std::lock_guard<std::mutex> lock(mutex);
      slots[index].page = std::move(page);
      slots[index].diagnostics = std::move(diagnostics);
      slots[index].done = true;
      finished.notify_all();
    }
  };
  std::vector<std::thread> workers;
  for (unsigned w = 0; w < worker_count; ++w) workers.emplace_back(work);

  // Pages move into place in list order, so a later document's page with the
  // same name wins, and nothing after the first failure is kept.
  for (size_t i = 0; i < count && outcome.status.ok(); ++i) {
    std::unique_lock<std::mutex> lock(mutex);
    finished.wait(lock, [&] { return slots[i].done; });
    Slot& slot = slots[i];
    for (support::Diagnostic& note : slot.diagnostics)
      outcome.diagnostics.push_back(std::move(note));
    if (!slot.page) {
      outcome.status = slot.page.status();
      abandon = true;
      break;
    }
    lock.unlock();
    const fs::path staged_page(*slot.page);
    const fs::path staged_folder =
        staged_page.parent_path() / (staged_page.stem().string() + ".files");
    const fs::path final_page = fs::path(settings.OutputDir) / staged_page.filename();
    Status moved = MoveInto(staged_folder, fs::path(settings.OutputDir) / staged_folder.filename());
    if (moved) moved = MoveInto(staged_page, final_page);
    if (!moved) {
      outcome.status = moved;
      std::lock_guard<std::mutex> relock(mutex);
      abandon = true;
      break;
    }
    outcome.pages.push_back(final_page.string());
  }
  for (std::thread& worker : workers) worker.join();
  staging_folder->Remove();
  return outcome;
}

}  // namespace

BatchProgressStep::BatchProgressStep(BatchProgress& progress,
                                     const std::atomic<bool>& stop_requested)
    : progress_(progress), stop_requested_(stop_requested) {}

Status BatchProgressStep::Step(double size, std::string_view /*label*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  accumulated_ += size;
  progress_.SetValue(std::min(accumulated_, static_cast<double>(support::kProgressCap)));
  return ContinueLocked();
}

Status BatchProgressStep::Continue() {
  std::lock_guard<std::mutex> lock(mutex_);
  return ContinueLocked();
}

Status BatchProgressStep::ContinueLocked() {
  if (!stop_requested_.load()) return Status::Ok();
  if (!reported_stop_) {
    reported_stop_ = true;
    progress_.SetState(support::kStateInterrupted);
  }
  return Status::Stopped();
}

double BatchProgressStep::accumulated() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return accumulated_;
}

BatchOutcome RunBatch(const BatchSettings& settings, BatchProgress& progress,
                      const std::atomic<bool>& stop_requested, unsigned jobs, ListSlice slice) {
  BatchProgressStep step(progress, stop_requested);
  if (Status s = step.Step(kStartStep, "开始"); !s) return BatchOutcome{s, {}, {}};
  // Even one document at a time goes through a private folder: the converter
  // writes Word HTML before the page is cleaned, and a page that fails half
  // way (a full disk) must not replace a good one from an earlier run.
  BatchOutcome outcome = RunStaged(settings, slice, step, std::max(1u, jobs));
  if (!outcome.ok()) return outcome;
  if (Status s = step.Step(kEndStep, "write otherpage"); !s) outcome.status = s;
  return outcome;
}

}  // namespace tessarine::batch
