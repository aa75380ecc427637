#include "site/build_site.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#include "cleanup/cleanup.h"
#include "cleanup/head_style.h"
#include "convert/conversion.h"
#include "project/validation.h"
#include "site/frameset.h"
#include "site/header_footer.h"
#include "site/images.h"
#include "site/links.h"
#include "site/naming.h"
#include "site/navigation.h"
#include "site/search_index.h"
#include "site/sections.h"
#include "site/templates.h"
#include "support/files.h"
#include "support/process.h"
#include "support/text_file.h"

namespace tessarine::site {
namespace {

namespace fs = std::filesystem;
using cleanup::CleanupOptions;
using cleanup::PageSetup;
using cleanup::PageWidthOptions;
using project::DocumentRecord;
using project::ProjectSettings;
using support::Result;
using support::Status;

// Gives a text's memory back. Assigning an empty string would not: the
// string keeps its room, and a large document's page text stays allocated.
void FreeText(std::string& text) {
  std::string().swap(text);
}

constexpr std::string_view kDocumentExtensions = "doc|docx";
constexpr std::string_view kLineBreak = "\r\n";
constexpr std::string_view kFailedDocument = "文档：";
constexpr std::string_view kResourceFolderSuffix = ".files/";
constexpr std::string_view kStyleSheetFile = "tessarine.css";
constexpr std::string_view kTemplateResources = "tfiles/";
constexpr std::string_view kHomePageLevel = "0";
constexpr std::string_view kFlagOn = "1";

// Progress: 2 at the start, 12 steps of 7/n over each document, 5 at the end.
constexpr int16_t kStartStep = 2;
constexpr int16_t kSitePagesStep = 5;
constexpr double kDocumentsShare = 7.0;

Status Failure(support::StatusCode code, std::string message) {
  return Status::Error(code, std::move(message));
}

// Adds up the wall time of each group of stages. A lap charges the time since
// the previous lap to the stage named.
class StageClock {
 public:
  void Lap(std::string_view stage, bool pattern_passes) {
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - last_).count();
    last_ = now;
    Charge(stage, pattern_passes, seconds);
  }
  // Charges time measured elsewhere (on another thread) to the stage, and
  // none of the time since the previous lap.
  void Add(std::string_view stage, bool pattern_passes, double seconds) {
    Restart();
    Charge(stage, pattern_passes, seconds);
  }
  // The next lap starts now: the time since the previous one (spent waiting
  // for other threads) is charged to no stage.
  void Restart() { last_ = std::chrono::steady_clock::now(); }
  std::vector<StageTime> Times() const { return times_; }

 private:
  void Charge(std::string_view stage, bool pattern_passes, double seconds) {
    for (StageTime& time : times_) {
      if (time.stage == stage) {
        time.seconds += seconds;
        return;
      }
    }
    times_.push_back(StageTime{std::string(stage), seconds, pattern_passes});
  }

  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
  std::vector<StageTime> times_;
};

fs::path ScratchParent() {
  return support::TemporaryFolder().value_or(fs::path("/tmp"));
}

// The scratch folders that failed builds left in `parent` and that nothing
// has written to for kKeptScratchDays. Only real folders with the build's
// own name prefix are touched, never what a link points to.
void RemoveOldScratchFolders(const fs::path& parent) {
  const auto cutoff = fs::file_time_type::clock::now() - std::chrono::days(kKeptScratchDays);
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(parent, error)) {
    std::error_code ignored;
    if (!entry.path().filename().string().starts_with(kScratchFolderPrefix) ||
        entry.is_symlink(ignored) || !entry.is_directory(ignored)) {
      continue;
    }
    const fs::file_time_type written = entry.last_write_time(ignored);
    if (!ignored && written < cutoff) fs::remove_all(entry.path(), ignored);
  }
}

// A fresh folder under the system's temporary folder, so that two builds
// never share one. Ends with "/".
Result<std::string> CreateScratchFolder() {
  const fs::path base = ScratchParent();
  RemoveOldScratchFolders(base);
  Result<support::ScratchFolder> folder =
      support::ScratchFolder::Create(base, kScratchFolderPrefix);
  if (!folder) {
    return Failure(support::StatusCode::kIoFailed, "cannot create a scratch folder under " +
                                                       base.string() + ": " + folder.message());
  }
  // The build removes it itself: it stays after a failure.
  const std::string path = folder->path().string();
  folder->Keep();
  return path + "/";
}

Status CreateFolder(const std::string& folder) {
  std::error_code error;
  fs::create_directories(folder, error);
  if (error || !fs::is_directory(folder, error)) {
    return Failure(support::StatusCode::kIoFailed,
                   "cannot create the folder " + folder + ": " +
                       (error ? error.message() : "a file of that name is in the way"));
  }
  return Status::Ok();
}

// The page heading the page loop puts in front of a content page's body,
// with the anchors the document's own heading held so that links to it still
// land. HTML has no h7 to h9: deeper headings are marked as headings of their
// level for browsers and screen readers, and the templates style them.
std::string PageHeading(const Section& row) {
  const std::string content = HeadingAnchors(row.HeadingHtml) + row.Title;
  if (row.Level.size() == 1 && row.Level[0] >= '7' && row.Level[0] <= '9') {
    return "<div class=\"tessarine_h" + row.Level + "\" role=\"heading\" aria-level=\"" +
           row.Level + "\">" + content + "</div>";
  }
  return "<h" + row.Level + ">" + content + "</h" + row.Level + ">";
}

// The failure a page made ahead of its turn ends with when the build stops
// or gives up; never reported as it stands (the page's turn reads the stop
// flag, or never comes).
Status Abandoned() {
  return Status::Stopped();
}

// A document converted on a thread of its own while the documents before it
// are cleaned and written. Its progress steps are kept and shown when its
// turn comes, so the bar moves as in a build that converts in turn.
struct AheadConversion {
  size_t number = 0;
  std::uintmax_t document_bytes = 0;  // the document file's size
  std::string spill_folder;
  std::thread thread;
  std::atomic<bool> cancel{false};
  std::atomic<bool> finished{false};  // set under SiteBuild::ahead_mutex_
  // Set by the thread; read once it is joined.
  convert::ConvertOutcome outcome;
  convert::WordHtmlPage page;
  std::vector<convert::ConvertStep> steps;
  double seconds = 0;
};

// What every page of one document is made from.
struct PageJob {
  const DocumentRecord& document;
  const CleanupOptions& cleanup_options;
  const PageSetup& page_setup;
  PageWidthOptions page_width;
  std::string_view page_skeleton;
  PlaceholderMap values;  // the page's own keys empty
};

// One page made ready, on any thread: its body is in the table and its file
// waits under a temporary name until its turn puts it in place.
struct PreparedPage {
  bool ready = false;
  Status status = Status::Ok();
  ContentPageFile file;                  // its bytes, for the build's thread to write
  std::vector<std::string> image_names;  // the companion files it shows (PageImageNames)
  double clean_up_seconds = 0;
  double meta_seconds = 0;
  double writing_seconds = 0;
};

// The build of one project: the working values every document shares.
class SiteBuild {
 public:
  SiteBuild(const ProjectSettings& project, std::string template_folder, BuildProgress& progress,
            const std::atomic<bool>& stop_requested, unsigned jobs, BuildOutcome& outcome,
            support::DiagnosticSink& diagnostics)
      : project_(project),
        template_folder_(std::move(template_folder)),
        stop_requested_(stop_requested),
        step_(progress, stop_requested),
        step_size_(kDocumentsShare / static_cast<double>(project.Documents.size())),
        jobs_(std::max(1u, jobs)),
        outcome_(outcome),
        page_names_(project),
        search_(project.SiteSearch != "0"),
        diagnostics_(diagnostics) {}
  ~SiteBuild() { DropAheadConversions(); }
  SiteBuild(const SiteBuild&) = delete;
  SiteBuild& operator=(const SiteBuild&) = delete;

  Status Run();
  bool stopped() const { return step_.stopped(); }
  std::vector<StageTime> StageTimes() const { return clock_.Times(); }

 private:
  Status BuildDocuments();
  Status BuildDocument(size_t number);
  Status BuildDocumentInto(size_t number, const std::string& resource_folder);
  Status Convert(const DocumentRecord& document, convert::WordHtmlPage& page);
  Status ConvertedOutcome(const convert::ConvertOutcome& converted, Status stop);
  std::string SpillFolder(const DocumentRecord& document) const;
  void StartAheadConversions();
  void ConvertAhead(AheadConversion& ahead, const std::string& path, const std::string& prefix);
  Status TakeAheadConversion(const DocumentRecord& document, convert::WordHtmlPage& page);
  void DropAheadConversions();
  Result<std::vector<std::string>> WritePages(SectionTable& sections,
                                              const DocumentRecord& document,
                                              const CleanupOptions& cleanup_options,
                                              const PageSetup& page_setup,
                                              std::string_view page_skeleton);
  void PreparePage(SectionTable& sections, size_t k, const PageJob& job,
                   const cleanup::BetweenPasses& between_passes, PreparedPage& page) const;
  Status CopyTemplateResources();
  std::string HomePage() const;
  // The document step of the given weight (a multiple of 7/n).
  Status DocumentStep(std::string_view label, int weight = 1) {
    return step_(WholeStep(weight * step_size_), label);
  }

  const ProjectSettings& project_;
  const std::string template_folder_;
  const std::atomic<bool>& stop_requested_;
  ProgressStep step_;
  const double step_size_;
  // Threads the build may keep busy: pages of a document are made by this
  // many at a time, and as many of the documents after it convert beside
  // them.
  const unsigned jobs_;
  std::deque<std::unique_ptr<AheadConversion>> ahead_;  // in document order
  size_t next_ahead_ = 1;                               // the next document to start
  std::optional<std::uintmax_t> next_ahead_bytes_;      // its file's size, once asked
  std::mutex ahead_mutex_;
  std::condition_variable ahead_finished_;
  BuildOutcome& outcome_;
  std::string scratch_;
  StageClock clock_;
  SitePageNames page_names_;
  SearchIndexBuilder search_;
  support::DiagnosticSink& diagnostics_;
};

Status SiteBuild::Run() {
  if (Status s = step_(kStartStep, "开始"); !s) return s;
  Result<std::string> scratch = CreateScratchFolder();
  if (!scratch) return scratch.status();
  scratch_ = *scratch;
  outcome_.scratch_folder = scratch_;
  search_.WriteTextsAlong(project_.OutputDir, project_.FileEncode);

  const Status documents = BuildDocuments();
  // A document converted ahead of a failure or a stop leaves nothing: the
  // build ends as one that never reached it.
  DropAheadConversions();
  if (!documents) return documents;

  if (Status s = CopyTemplateResources(); !s) return s;
  if (Status s = step_(kSitePagesStep, "write otherpage"); !s) return s;
  if (Status s = WriteFramesetHome(project_, template_folder_, outcome_.site_sections); !s) {
    return s;
  }
  if (Status s = WriteTopFrame(project_, template_folder_); !s) return s;
  if (Status s = WriteMenuFrame(project_, template_folder_, outcome_.site_sections); !s) return s;
  clock_.Lap("site pages", false);
  if (Status s = search_.Write(project_.OutputDir, project_.FileEncode); !s) return s;
  clock_.Lap("search index", false);

  outcome_.home_page = HomePage();
  return Status::Ok();
}

Status SiteBuild::BuildDocuments() {
  for (size_t number = 1; number <= project_.Documents.size(); ++number) {
    if (Status s = BuildDocument(number); !s) return s;
  }
  return Status::Ok();
}

// The stages of one document, in their order. `number` counts from 1.
Status SiteBuild::BuildDocument(size_t number) {
  const DocumentRecord& document = project_.Documents[number - 1];
  const std::string& prefix = document.FilenamePre;

  if (!support::IsDocumentFile(document.Path, kDocumentExtensions)) {
    return Failure(support::StatusCode::kInvalidInput,
                   std::string(kInvalidDocument) + std::string(kLineBreak) + document.Path);
  }
  const std::string resource_folder =
      project_.OutputDir + prefix + std::string(kResourceFolderSuffix);
  // A folder this build makes goes again if the document fails: a failed
  // build leaves no empty resource folder behind.
  std::error_code error;
  const bool made_here = !fs::exists(resource_folder, error);
  if (Status s = CreateFolder(resource_folder); !s) return s;
  Status built = BuildDocumentInto(number, resource_folder);
  if (built || stopped()) {
    if (!built && made_here) support::DeleteFolder(resource_folder);
    return built;
  }
  if (made_here) support::DeleteFolder(resource_folder);
  // With several documents the reason alone does not say which one failed.
  if (built.message().find(document.Path) != std::string::npos) return built;
  return built.Annotated(std::string(kLineBreak) + std::string(kFailedDocument) + document.Path);
}

// BuildDocument's stages once the resource folder is there.
Status SiteBuild::BuildDocumentInto(size_t number, const std::string& resource_folder) {
  const DocumentRecord& document = project_.Documents[number - 1];
  const std::string& prefix = document.FilenamePre;

  convert::WordHtmlPage page;
  if (!ahead_.empty() && ahead_.front()->number == number) {
    if (Status s = TakeAheadConversion(document, page); !s) return s;
  } else {
    DropAheadConversions();
    next_ahead_ = number + 1;
    next_ahead_bytes_.reset();
    // The documents after it convert beside this one's conversion too.
    StartAheadConversions();
    if (Status s = Convert(document, page); !s) return s;
    clock_.Lap("convert", false);
  }
  StartAheadConversions();
  // The page becomes what follows its head, in place.
  std::string rest = std::move(page.html);
  Result<std::string> head = cleanup::TakeHead(rest);
  if (!head) return head.status();
  if (Status s = DocumentStep("head parse"); !s) return s;
  Result<std::string> style_sheet = cleanup::ParseStyleSheet(*head);
  if (!style_sheet) return style_sheet.status();
  Result<PageSetup> page_setup = cleanup::ReadPageSetup(*style_sheet);
  if (!page_setup) return page_setup.status();
  const OutlineClasses outline_classes =
      document.OutlineHeadings == kFlagOn ? OutlineLevelClasses(*style_sheet) : OutlineClasses();
  if (Status s = DocumentStep("style parse"); !s) return s;
  Result<CleanupOptions> cleanup_options = cleanup::CleanupOptionsOf(document);
  if (!cleanup_options) return cleanup_options.status();
  style_sheet =
      cleanup::OptimizeStyleSheet(*style_sheet, cleanup_options->mode, cleanup_options->Opt1VML);
  if (!style_sheet) return style_sheet.status();
  if (Status s = DocumentStep("style optimize"); !s) return s;

  // The converter's page is valid UTF-8, and so is what follows its head
  // end tag.
  Result<std::string> body = cleanup::ExtractBody(support::ValidUtf8::Known(rest));
  if (!body) return body.status();
  FreeText(*head);
  FreeText(rest);
  const support::ValidUtf8 valid_body = support::ValidUtf8::Known(*body);
  Result<bool> blank = cleanup::IsBlankHtml(valid_body);
  if (!blank) return blank.status();
  clock_.Lap("head, style sheet and body", true);
  if (*blank) return Status::Ok();  // skipped without a message; its slot stays empty

  Result<SectionTable> sections =
      document.OutlineHeadings == kFlagOn
          ? SplitSections(valid_body, document.ParseLevel, document.NodeName, outline_classes)
          : SplitSections(valid_body, document.ParseLevel, document.NodeName);
  if (!sections) return sections.status();
  FreeText(*body);
  if (Status s = DocumentStep("init a_doc 1"); !s) return s;
  if (Status s = AssignPageFiles(*sections, document, project_.FileExt); !s) return s;
  for (std::string& warning : page_names_.Claim(*sections, number)) {
    diagnostics_.Report({support::Severity::kWarning, {}, std::move(warning), {}});
  }
  MoveNotesToTheirPages(*sections);
  LinkAcrossPages(*sections);
  if (Status s = DocumentStep("init filename"); !s) return s;
  AssignPageTitles(*sections, document);
  BuildNavBars(*sections, project_.PageNavPreHTML, project_.PageNavSep);
  AssignChapterNumbers(*sections, document);
  if (Status s = BuildHeaders(*sections, document, page.files, project_.OutputDir); !s) return s;
  if (Status s = BuildFooters(*sections, document, page.files, project_.OutputDir); !s) return s;
  if (Status s = DocumentStep("init numberlist"); !s) return s;
  clock_.Lap("sections, names and navigation", true);

  Result<std::string> skeleton =
      ApplyTemplateBlocks(template_folder_, project_.PageNav, project_.Copyright);
  if (!skeleton) return skeleton.status();
  if (Status s = DocumentStep("into loop"); !s) return s;
  clock_.Lap("page template", true);
  Result<std::vector<std::string>> image_names =
      WritePages(*sections, document, *cleanup_options, *page_setup, *skeleton);
  if (!image_names) return image_names.status();
  if (Status s = DocumentStep("write mainpage"); !s) return s;

  if (Status s = CopyNamedPageImages(*image_names, page.files, project_.OutputDir, prefix); !s) {
    return s;
  }
  if (Status s = support::WriteTextFile(resource_folder + std::string(kStyleSheetFile),
                                        *style_sheet, project_.FileEncode);
      !s) {
    return s;
  }
  clock_.Lap("pictures and style sheet", false);

  for (Section& row : *sections) FreeText(row.Body);
  if (outcome_.site_sections.size() < number) outcome_.site_sections.resize(number);
  outcome_.site_sections[number - 1] = std::move(*sections);
  return Status::Ok();
}

// The document's Word HTML in `page`, with the converter's three progress
// steps (saving weighs double).
Status SiteBuild::Convert(const DocumentRecord& document, convert::WordHtmlPage& page) {
  Status stop = Status::Ok();
  const convert::ConvertProgress on_step = [&](convert::ConvertStep done) {
    stop = DocumentStep(convert::StepLabel(done), convert::StepWeight(done));
    return stop;
  };
  convert::LegacyDocOptions legacy;
  legacy.stop_requested = [this] { return stop_requested_.load(); };
  convert::ConvertOutcome converted =
      convert::ConvertToWordHtmlPage(document.Path, document.FilenamePre + ".htm", page,
                                     SpillFolder(document), on_step, legacy, jobs_);
  return ConvertedOutcome(converted, stop);
}

// The page stays in memory, its companion files included: only a document
// whose pictures are too large to hold (convert::kHeldPictureBytes, a few
// hundred megabytes) has them written into this folder of the scratch, and
// they go with it at the end of the build.
std::string SiteBuild::SpillFolder(const DocumentRecord& document) const {
  return scratch_ + document.FilenamePre + std::string(kResourceFolderSuffix);
}

// The end of a conversion, on the build's thread: its notes, then its
// result. `stop` is what the last progress step said.
Status SiteBuild::ConvertedOutcome(const convert::ConvertOutcome& converted, Status stop) {
  diagnostics_.ReportAll(converted.diagnostics);
  // A stop the converter saw itself (inside LibreOffice or the body) came
  // between two steps: it ends the build as one seen at a step does.
  if (converted.stopped()) return stop.ok() ? step_.Within(0, 0.0) : stop;
  if (!converted.ok()) return converted.status;
  return Status::Ok();
}

// With more than one job, the documents after the one in turn convert
// beside it, as many at a time as there are jobs. Each holds its page until
// its turn, so beyond the first, documents start only while the files of
// those held and converting come to kAheadDocumentBytes together, and no more
// than kAheadPerJob per job wait. Called at every document and page, and
// while the build waits for a conversion. A document that is no document
// ends the build in its turn, so nothing after it starts.
void SiteBuild::StartAheadConversions() {
  constexpr std::uintmax_t kAheadDocumentBytes = std::uintmax_t{32} << 20;
  constexpr size_t kAheadPerJob = 4;
  if (jobs_ < 2 || stop_requested_.load()) return;
  size_t running = 0;
  std::uintmax_t held = 0;
  for (const std::unique_ptr<AheadConversion>& ahead : ahead_) {
    held += ahead->document_bytes;
    running += ahead->finished.load() ? 0 : 1;
  }
  while (running < jobs_ && ahead_.size() < kAheadPerJob * jobs_ &&
         next_ahead_ <= project_.Documents.size()) {
    const DocumentRecord& document = project_.Documents[next_ahead_ - 1];
    if (!next_ahead_bytes_) {
      if (!support::IsDocumentFile(document.Path, kDocumentExtensions)) {
        next_ahead_ = project_.Documents.size() + 1;
        return;
      }
      std::error_code error;
      const std::uintmax_t size = fs::file_size(document.Path, error);
      next_ahead_bytes_ = error ? 0 : size;
    }
    if (!ahead_.empty() && held + *next_ahead_bytes_ > kAheadDocumentBytes) return;
    held += *next_ahead_bytes_;
    ++running;
    AheadConversion& ahead = *ahead_.emplace_back(std::make_unique<AheadConversion>());
    ahead.number = next_ahead_++;
    ahead.document_bytes = *next_ahead_bytes_;
    next_ahead_bytes_.reset();
    ahead.spill_folder = SpillFolder(document);
    try {
      ahead.thread =
          std::thread([this, &ahead, path = document.Path, prefix = document.FilenamePre] {
            ConvertAhead(ahead, path, prefix);
          });
    } catch (const std::system_error&) {
      // No thread to be had: the document converts in its turn.
      ahead_.pop_back();
      --next_ahead_;
      return;
    }
  }
}

// The body of a conversion's thread: it runs until it ends or is cancelled,
// and says when it has ended.
void SiteBuild::ConvertAhead(AheadConversion& ahead, const std::string& path,
                             const std::string& prefix) {
  const auto start = std::chrono::steady_clock::now();
  const auto go_on = [&] { return !stop_requested_.load() && !ahead.cancel.load(); };
  const convert::ConvertProgress on_step = [&](convert::ConvertStep done) {
    ahead.steps.push_back(done);
    return go_on() ? Status::Ok() : Status::Stopped();
  };
  convert::LegacyDocOptions legacy;
  legacy.stop_requested = [&] { return !go_on(); };
  try {
    ahead.outcome = convert::ConvertToWordHtmlPage(path, prefix + ".htm", ahead.page,
                                                   ahead.spill_folder, on_step, legacy, jobs_);
  } catch (const std::bad_alloc&) {
    ahead.outcome.status = Status::Error(support::StatusCode::kResourceLimit,
                                         "not enough memory to convert the document");
  }
  ahead.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  {
    std::lock_guard lock(ahead_mutex_);
    ahead.finished.store(true);
  }
  ahead_finished_.notify_all();
}

// The conversion that ran ahead for this document, the first waiting, taken
// as if it had run now: its progress steps shown in order, then its notes and
// result. While it runs, conversions that end make room for later ones.
Status SiteBuild::TakeAheadConversion(const DocumentRecord& document, convert::WordHtmlPage& page) {
  {
    const AheadConversion& first = *ahead_.front();
    std::unique_lock lock(ahead_mutex_);
    while (!first.finished.load()) {
      ahead_finished_.wait(lock);
      lock.unlock();
      StartAheadConversions();
      lock.lock();
    }
  }
  std::unique_ptr<AheadConversion> ahead = std::move(ahead_.front());
  ahead_.pop_front();
  ahead->thread.join();
  clock_.Add("convert", false, ahead->seconds);
  Status stop = Status::Ok();
  for (const convert::ConvertStep done : ahead->steps) {
    stop = DocumentStep(convert::StepLabel(done), convert::StepWeight(done));
    if (!stop) return stop;
  }
  if (ahead->outcome.stopped() && !stop_requested_.load()) {
    // Only a cancel ends a conversion without the stop flag, and nothing
    // cancels a conversion it still wants.
    return Failure(support::StatusCode::kInternal,
                   "the conversion of " + document.Path + " was cancelled");
  }
  page = std::move(ahead->page);
  return ConvertedOutcome(ahead->outcome, stop);
}

// Ends the conversions running ahead, if any, and removes what they wrote.
void SiteBuild::DropAheadConversions() {
  for (const std::unique_ptr<AheadConversion>& ahead : ahead_) ahead->cancel.store(true);
  for (const std::unique_ptr<AheadConversion>& ahead : ahead_) {
    ahead->thread.join();
    support::DeleteFolder(ahead->spill_folder);
  }
  ahead_.clear();
}

// Threads that make the pages of one document ahead of their turn, up to a
// window of pages past the one whose turn it is. Dropped, they stop and are
// joined; the pages they made and nobody committed are dropped with them.
class PageWorkers {
 public:
  using Make = std::function<void(size_t k, const cleanup::BetweenPasses&, PreparedPage&)>;

  PageWorkers(size_t count, unsigned threads, const std::atomic<bool>& stop_requested, Make make)
      : count_(count),
        window_(std::max<size_t>(1, kWindowPerThread * (threads + 1))),
        slots_(std::min(count, window_)),
        stop_requested_(stop_requested),
        make_(std::move(make)) {
    for (unsigned t = 0; t < threads && t + 1 < count; ++t) {
      threads_.emplace_back([this] { Work(); });
    }
  }
  ~PageWorkers() {
    {
      std::lock_guard lock(mutex_);
      abandoned_.store(true);
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }
  PageWorkers(const PageWorkers&) = delete;
  PageWorkers& operator=(const PageWorkers&) = delete;

  // Page k, the next in turn, once it is made: made here if nobody has taken
  // it; while others make it, this thread makes later pages of the window or
  // waits. `in_turn` is asked before every pass of page k's clean-up and
  // every few milliseconds of waiting; its failure ends the wait with it.
  Result<PreparedPage*> Await(size_t k, const cleanup::BetweenPasses& in_turn) {
    std::unique_lock lock(mutex_);
    while (!Slot(k).ready) {
      if (next_ < count_ && next_ < k + window_) {
        const size_t j = next_++;
        lock.unlock();
        MakeSafely(j, j == k ? in_turn : AheadCheck(), Slot(j));
        lock.lock();
        Slot(j).ready = true;
        changed_.notify_all();
        continue;
      }
      changed_.wait_for(lock, kWaitSlice);
      lock.unlock();
      if (Status s = in_turn(); !s) return s;
      lock.lock();
    }
    return &Slot(k);
  }

  // Page k is in place (or given up): its slot takes a later page.
  void Done(size_t k) {
    {
      std::lock_guard lock(mutex_);
      PreparedPage& slot = Slot(k);
      slot.ready = false;
      slot.status = Status::Ok();
      slot.file = ContentPageFile();
      slot.image_names.clear();
      ++done_;
    }
    changed_.notify_all();
  }

 private:
  static constexpr size_t kWindowPerThread = 8;
  static constexpr std::chrono::milliseconds kWaitSlice{5};

  PreparedPage& Slot(size_t k) { return slots_[k % slots_.size()]; }

  // What a page made ahead of its turn asks between passes: the stop flag,
  // and whether the build still wants the page.
  cleanup::BetweenPasses AheadCheck() const {
    return
        [this] { return stop_requested_.load() || abandoned_.load() ? Abandoned() : Status::Ok(); };
  }

  void MakeSafely(size_t k, const cleanup::BetweenPasses& between_passes, PreparedPage& page) {
    try {
      make_(k, between_passes, page);
    } catch (const std::bad_alloc&) {
      page.status =
          Status::Error(support::StatusCode::kResourceLimit, "not enough memory to build the site");
    } catch (const std::exception& e) {
      page.status = Status::Error(support::StatusCode::kInternal,
                                  std::string("unexpected internal error: ") + e.what());
    }
  }

  void Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(
          lock, [this] { return abandoned_.load() || next_ >= count_ || next_ < done_ + window_; });
      if (abandoned_.load() || next_ >= count_) return;
      const size_t j = next_++;
      lock.unlock();
      MakeSafely(j, AheadCheck(), Slot(j));
      lock.lock();
      Slot(j).ready = true;
      changed_.notify_all();
    }
  }

  const size_t count_;
  const size_t window_;
  std::vector<PreparedPage> slots_;  // page k in slot k % size
  const std::atomic<bool>& stop_requested_;
  const Make make_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t next_ = 0;  // the first page nobody has taken
  size_t done_ = 0;  // pages in place
  std::atomic<bool> abandoned_{false};
  std::vector<std::thread> threads_;
};

// Every row of the table as a page, in row order; gives the names of the
// pictures the pages show, in row order, for the picture copying. With more than one job the pages
// are made by several threads, but each is put in place (its file renamed over the target) in row
// order, with the bar and the stop flag handled there as if the pages were made one after the
// other: the output, the progress values and what a stop or a failure leaves are those of one
// thread.
Result<std::vector<std::string>> SiteBuild::WritePages(SectionTable& sections,
                                                       const DocumentRecord& document,
                                                       const CleanupOptions& cleanup_options,
                                                       const PageSetup& page_setup,
                                                       std::string_view page_skeleton) {
  const PageJob job{document,
                    cleanup_options,
                    page_setup,
                    cleanup::PageWidthOptionsOf(document),
                    page_skeleton,
                    {
                        {"charset", project_.Charset},
                        {"filekey", document.FilenamePre},
                        {"copyright", project_.CopyrightHTML},
                        {"title", ""},
                        {"metakey", ""},
                        {"metadesc", ""},
                        {"nav", ""},
                        {"content", ""},
                    }};
  std::vector<std::string> image_names;
  // The loop is the stage that "write mainpage" ends: the bar moves through
  // that step page by page, and a stop is seen before every page and
  // between the clean-up passes of a large one.
  const int16_t loop_step = WholeStep(step_size_);
  double done = 0;
  const cleanup::BetweenPasses in_turn = [&] { return step_.Within(loop_step, done); };

  PageWorkers workers(
      sections.size(), jobs_ - 1, stop_requested_,
      [&](size_t k, const cleanup::BetweenPasses& between_passes, PreparedPage& page) {
        PreparePage(sections, k, job, between_passes, page);
      });
  for (size_t k = 0; k < sections.size(); ++k) {
    done = static_cast<double>(k) / static_cast<double>(sections.size());
    if (Status s = in_turn(); !s) return s;
    StartAheadConversions();
    Result<PreparedPage*> made = workers.Await(k, in_turn);
    if (!made) return made.status();
    PreparedPage& page = **made;
    if (!page.status) {
      // Made ahead of its turn when the stop came: the stop is seen here.
      if (Status s = in_turn(); !s) return s;
      return page.status;
    }
    const auto commit_start = std::chrono::steady_clock::now();
    // Files are created here only: threads creating files in one folder
    // wait for each other on its lock.
    const Status placed = WriteContentPageFile(page.file);
    if (!placed) return placed;
    for (std::string& name : page.image_names) image_names.push_back(std::move(name));
    // The index takes the pages in the order the menu lists them, and the
    // body with them: nothing reads a written page's body again.
    const auto search_start = std::chrono::steady_clock::now();
    search_.AddPage(sections[k].Title, std::move(sections[k].Body));
    const double search_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - search_start).count();
    clock_.Add("page clean-up", true, page.clean_up_seconds);
    clock_.Add("page meta texts", true, page.meta_seconds);
    clock_.Add(
        "page writing", false,
        page.writing_seconds + std::chrono::duration<double>(search_start - commit_start).count());
    clock_.Add("search index", false, search_seconds);
    workers.Done(k);
  }
  return image_names;
}

// Row k made into its page: the cleaned body with heading, related topics,
// header and footer goes into the row, and the filled template into a file
// that waits for its turn. Touches nothing but row k and `page`, so that
// several rows can be made at once.
void SiteBuild::PreparePage(SectionTable& sections, size_t k, const PageJob& job,
                            const cleanup::BetweenPasses& between_passes,
                            PreparedPage& page) const {
  using Clock = std::chrono::steady_clock;
  const auto since = [](Clock::time_point& start) {
    const Clock::time_point now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - start).count();
    start = now;
    return seconds;
  };
  Clock::time_point start = Clock::now();
  Section& row = sections[k];
  // The row's body is made into the page in place: a page of tens of
  // megabytes copied at every step would cost a copy's time and memory each.
  Result<std::string> body =
      cleanup::CleanPageBody(std::move(row.Body), k == 0, job.cleanup_options, between_passes);
  if (!body) {
    page.status = body.status();
    return;
  }
  // The navigation stage's table of contents follows the home page's body.
  if (k == 0 && job.document.Toc == kFlagOn) *body += BuildTocBlock(sections, job.document);
  if (row.Level != kHomePageLevel) body->insert(0, PageHeading(row));
  *body += BuildRelatedBlock(sections, k, job.document);
  body->insert(0, row.HeaderHtml);
  *body += row.FooterHtml;
  // Whatever a document holds, no page ends inside a comment that hides it.
  *body = cleanup::EndOpenComment(std::move(*body));
  row.Body = cleanup::WrapPageWidth(std::move(*body), job.page_width, job.page_setup);
  page.clean_up_seconds = since(start);

  PlaceholderMap values = job.values;
  values["title"] = row.PageTitle;
  Result<std::string> keywords = PageMetaKeywords(job.document, values["title"], row.Body);
  if (!keywords) {
    page.status = keywords.status();
    return;
  }
  values["metakey"] = std::move(*keywords);
  values["metadesc"] = PageMetaDescription(job.document, values["title"], values["metakey"]);
  values["nav"] = row.Nav;
  values["content"] = std::move(row.Body);  // lent to the template, and taken back
  page.meta_seconds = since(start);

  Result<ContentPageFile> file = ContentPageBytes(job.page_skeleton, values, project_.OutputDir,
                                                  row.PageFile, project_.FileEncode);
  if (file) {
    page.file = std::move(*file);
  } else {
    page.status = file.status();
  }
  row.Body = std::move(values["content"]);
  // The pictures it shows, found here rather than in all pages joined at the
  // end. A prefix that is not plain fails when they are copied.
  if (page.status && CheckPlainPrefix(job.document.FilenamePre)) {
    Result<std::vector<std::string>> images = PageImageNames(row.Body, job.document.FilenamePre);
    if (images) {
      page.image_names = std::move(*images);
    } else {
      page.status = images.status();
    }
  }
  page.writing_seconds = since(start);
}

// The template's tfiles/ into the output folder's tfiles/, replacing files of
// the same name. A template without resources leaves the folder empty.
Status SiteBuild::CopyTemplateResources() {
  const std::string target = project_.OutputDir + std::string(kTemplateResources);
  if (Status s = CreateFolder(target); !s) return s;
  const std::string source = template_folder_ + std::string(kTemplateResources);
  if (!support::FolderExists(source)) return Status::Ok();
  return support::CopyFolderTree(source, target);
}

std::string SiteBuild::HomePage() const {
  std::string frameset = project_.OutputDir + std::string(kHomeName) + project_.FileExt;
  if (support::FileExists(frameset)) return frameset;
  for (const SectionTable& sections : outcome_.site_sections) {
    if (!sections.empty()) return project_.OutputDir + sections.front().PageFile;
  }
  return {};
}

}  // namespace

int16_t WholeStep(double size) {
  if (std::isnan(size)) return 0;
  constexpr double kMin = std::numeric_limits<int16_t>::min();
  constexpr double kMax = std::numeric_limits<int16_t>::max();
  if (size <= kMin) return std::numeric_limits<int16_t>::min();
  if (size >= kMax) return std::numeric_limits<int16_t>::max();
  const double floor = std::floor(size);
  const double fraction = size - floor;
  double whole = floor;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0)) whole += 1.0;
  return static_cast<int16_t>(whole);
}

ProgressStep::ProgressStep(BuildProgress& progress, const std::atomic<bool>& stop_requested)
    : progress_(progress), stop_requested_(stop_requested) {}

Status ProgressStep::operator()(int16_t step, std::string_view label) {
  if (step > 0) {
    value_ = std::min(value_ + step, kProgressCap);
    shown_ = value_;
    progress_.SetValue(value_);
  }
  progress_.StageEnded(label);
  return StopRequested();
}

Status ProgressStep::Within(int16_t step, double done) {
  if (step > 0) {
    const double share = std::floor(step * std::clamp(done, 0.0, 1.0));
    const int shown = std::min(value_ + static_cast<int>(share), kProgressCap);
    if (shown > shown_) {
      shown_ = shown;
      progress_.SetValue(shown_);
    }
  }
  return StopRequested();
}

Status ProgressStep::StopRequested() {
  if (!stop_requested_.load()) return Status::Ok();
  if (!stopped_) progress_.SetState(kStateInterrupted);
  stopped_ = true;
  return Status::Stopped();
}

unsigned AllCores() {
  return std::max(1u, std::thread::hardware_concurrency());
}

BuildOutcome BuildSite(const ProjectSettings& settings, BuildProgress& progress,
                       const std::atomic<bool>& stop_requested, unsigned jobs) {
  return BuildSite(settings, progress, stop_requested, support::DataFolder(), jobs);
}

BuildOutcome BuildSite(const ProjectSettings& settings, BuildProgress& progress,
                       const std::atomic<bool>& stop_requested, const std::string& data_folder,
                       unsigned jobs) {
  BuildOutcome outcome;
  // Outside the build, so that what it met stays even when it throws.
  support::DiagnosticSink diagnostics;
  try {
    ProjectSettings project = settings;
    if (auto failure = project::ValidateBuild(project, data_folder)) {
      outcome.status = Status::Error(support::StatusCode::kInvalidInput, failure->message);
      return outcome;
    }
    SiteBuild build(project, data_folder + "template/" + project.Template + "/", progress,
                    stop_requested, jobs, outcome, diagnostics);
    outcome.status = build.Run();
    outcome.stopped = build.stopped();
    // Only a failure leaves its scratch folder behind, for a look at the
    // pictures the converter wrote there (those too large to hold); a stop
    // is the user's choice and explains itself.
    if (outcome.ok() || outcome.stopped) {
      support::DeleteFolder(outcome.scratch_folder);
      outcome.scratch_folder.clear();
    }
    outcome.stage_times = build.StageTimes();
  } catch (const std::bad_alloc&) {
    outcome.status =
        Status::Error(support::StatusCode::kResourceLimit, "not enough memory to build the site");
  } catch (const std::exception& e) {
    outcome.status = Status::Error(support::StatusCode::kInternal,
                                   std::string("unexpected internal error: ") + e.what());
  }
  outcome.diagnostics = diagnostics.Take();
  if (!outcome.ok()) outcome.home_page.clear();
  return outcome;
}

}  // namespace tessarine::site
