#include "site/build_site.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <filesystem>
#include <limits>
#include <new>

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
using cleanup::HeadParts;
using cleanup::PageSetup;
using cleanup::PageWidthOptions;
using project::DocumentRecord;
using project::ProjectSettings;
using support::Result;
using support::Status;

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
    for (StageTime& time : times_) {
      if (time.stage == stage) {
        time.seconds += seconds;
        return;
      }
    }
    times_.push_back(StageTime{std::string(stage), seconds, pattern_passes});
  }
  std::vector<StageTime> Times() const { return times_; }

 private:
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

// The build of one project: the working values every document shares.
class SiteBuild {
 public:
  SiteBuild(const ProjectSettings& project, std::string template_folder, BuildProgress& progress,
            const std::atomic<bool>& stop_requested, BuildOutcome& outcome,
            support::DiagnosticSink& diagnostics)
      : project_(project),
        template_folder_(std::move(template_folder)),
        stop_requested_(stop_requested),
        step_(progress, stop_requested),
        step_size_(kDocumentsShare / static_cast<double>(project.Documents.size())),
        outcome_(outcome),
        page_names_(project),
        search_(project.SiteSearch != "0"),
        diagnostics_(diagnostics) {}

  Status Run();
  bool stopped() const { return step_.stopped(); }
  std::vector<StageTime> StageTimes() const { return clock_.Times(); }

 private:
  Status BuildDocument(size_t number);
  Status BuildDocumentInto(size_t number, const std::string& resource_folder);
  Status Convert(const DocumentRecord& document, const std::string& word_html);
  Result<std::string> WritePages(SectionTable& sections, const DocumentRecord& document,
                                 const CleanupOptions& cleanup_options, const PageSetup& page_setup,
                                 std::string_view page_skeleton);
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

  for (size_t number = 1; number <= project_.Documents.size(); ++number) {
    if (Status s = BuildDocument(number); !s) return s;
  }

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

  const std::string word_html = scratch_ + prefix + ".htm";
  if (Status s = Convert(document, word_html); !s) return s;
  clock_.Lap("convert", false);
  Result<std::string> text = cleanup::ReadWordPage(word_html);
  if (!text) return text.status();
  clock_.Lap("read", false);

  Result<HeadParts> head = cleanup::ParseHead(*text);
  if (!head) return head.status();
  text = std::string();  // the head and the rest hold it all now
  if (Status s = DocumentStep("head parse"); !s) return s;
  Result<std::string> style_sheet = cleanup::ParseStyleSheet(head->head);
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

  Result<std::string> body = cleanup::ExtractBody(head->rest);
  if (!body) return body.status();
  head = HeadParts();
  Result<bool> blank = cleanup::IsBlankHtml(*body);
  if (!blank) return blank.status();
  clock_.Lap("head, style sheet and body", true);
  if (*blank) return Status::Ok();  // skipped without a message; its slot stays empty

  Result<SectionTable> sections =
      document.OutlineHeadings == kFlagOn
          ? SplitSections(*body, document.ParseLevel, document.NodeName, outline_classes)
          : SplitSections(*body, document.ParseLevel, document.NodeName);
  if (!sections) return sections.status();
  body = std::string();
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
  if (Status s = BuildHeaders(*sections, document, scratch_, project_.OutputDir); !s) return s;
  if (Status s = BuildFooters(*sections, document, scratch_, project_.OutputDir); !s) return s;
  if (Status s = DocumentStep("init numberlist"); !s) return s;
  clock_.Lap("sections, names and navigation", true);

  Result<std::string> skeleton =
      ApplyTemplateBlocks(template_folder_, project_.PageNav, project_.Copyright);
  if (!skeleton) return skeleton.status();
  if (Status s = DocumentStep("into loop"); !s) return s;
  clock_.Lap("page template", true);
  Result<std::string> all_bodies =
      WritePages(*sections, document, *cleanup_options, *page_setup, *skeleton);
  if (!all_bodies) return all_bodies.status();
  if (Status s = DocumentStep("write mainpage"); !s) return s;

  if (Status s = CopyPageImages(*all_bodies, scratch_, project_.OutputDir, prefix); !s) return s;
  if (Status s = support::WriteTextFile(resource_folder + std::string(kStyleSheetFile),
                                        *style_sheet, project_.FileEncode);
      !s) {
    return s;
  }
  clock_.Lap("pictures and style sheet", false);

  search_.AddDocument(*sections);
  clock_.Lap("search index", false);
  for (Section& row : *sections) row.Body = std::string();
  if (outcome_.site_sections.size() < number) outcome_.site_sections.resize(number);
  outcome_.site_sections[number - 1] = std::move(*sections);
  return Status::Ok();
}

// Word HTML and its companion folder at `word_html`, with the converter's
// three progress steps (saving weighs double).
Status SiteBuild::Convert(const DocumentRecord& document, const std::string& word_html) {
  Status stop = Status::Ok();
  const convert::ConvertProgress on_step = [&](convert::ConvertStep done) {
    stop = DocumentStep(convert::StepLabel(done), convert::StepWeight(done));
    return stop;
  };
  convert::LegacyDocOptions legacy;
  legacy.stop_requested = [this] { return stop_requested_.load(); };
  convert::ConvertOutcome converted =
      convert::ConvertToWordHtml(document.Path, word_html, on_step, legacy);
  diagnostics_.ReportAll(std::move(converted.diagnostics));
  // A stop the converter saw itself (inside LibreOffice or the body) came
  // between two steps: it ends the build as one seen at a step does.
  if (converted.stopped()) return stop.ok() ? step_.Within(0, 0.0) : stop;
  if (!converted.ok()) return converted.status;
  return Status::Ok();
}

// Every row of the table as a page, in row order; gives all finished bodies
// joined, for the picture copying.
Result<std::string> SiteBuild::WritePages(SectionTable& sections, const DocumentRecord& document,
                                          const CleanupOptions& cleanup_options,
                                          const PageSetup& page_setup,
                                          std::string_view page_skeleton) {
  const PageWidthOptions page_width = cleanup::PageWidthOptionsOf(document);
  PlaceholderMap values = {
      {"charset", project_.Charset},
      {"filekey", document.FilenamePre},
      {"copyright", project_.CopyrightHTML},
      {"title", ""},
      {"metakey", ""},
      {"metadesc", ""},
      {"nav", ""},
      {"content", ""},
  };
  std::string all_bodies;
  // The loop is the stage that "write mainpage" ends: the bar moves through
  // that step page by page, and a stop is seen before every page and
  // between the clean-up passes of a large one.
  const int16_t loop_step = WholeStep(step_size_);
  double done = 0;
  const cleanup::BetweenPasses between_passes = [&] { return step_.Within(loop_step, done); };

  for (size_t k = 0; k < sections.size(); ++k) {
    done = static_cast<double>(k) / static_cast<double>(sections.size());
    if (Status s = between_passes(); !s) return s;
    Section& row = sections[k];
    Result<std::string> body =
        cleanup::CleanPageBody(row.Body, k == 0, cleanup_options, between_passes);
    if (!body) return body.status();
    // The navigation stage's table of contents follows the home page's body.
    if (k == 0 && document.Toc == kFlagOn) *body += BuildTocBlock(sections, document);
    if (row.Level != kHomePageLevel) *body = PageHeading(row) + *body;
    *body += BuildRelatedBlock(sections, k, document);
    // Whatever a document holds, no page ends inside a comment that hides it.
    *body = cleanup::EndOpenComment(row.HeaderHtml + *body + row.FooterHtml);
    row.Body = cleanup::WrapPageWidth(*body, page_width, page_setup);
    all_bodies += row.Body;
    clock_.Lap("page clean-up", true);

    values["title"] = row.PageTitle;
    Result<std::string> keywords = PageMetaKeywords(document, values["title"], row.Body);
    if (!keywords) return keywords.status();
    values["metakey"] = std::move(*keywords);
    values["metadesc"] = PageMetaDescription(document, values["title"], values["metakey"]);
    values["nav"] = row.Nav;
    values["content"] = row.Body;
    clock_.Lap("page meta texts", true);

    if (Status s = WriteContentPage(page_skeleton, values, project_.OutputDir, row.PageFile,
                                    project_.FileEncode);
        !s) {
      return s;
    }
    clock_.Lap("page writing", false);
  }
  return all_bodies;
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

BuildOutcome BuildSite(const ProjectSettings& settings, BuildProgress& progress,
                       const std::atomic<bool>& stop_requested) {
  return BuildSite(settings, progress, stop_requested, support::DataFolder());
}

BuildOutcome BuildSite(const ProjectSettings& settings, BuildProgress& progress,
                       const std::atomic<bool>& stop_requested, const std::string& data_folder) {
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
                    stop_requested, outcome, diagnostics);
    outcome.status = build.Run();
    outcome.stopped = build.stopped();
    // Only a failure leaves its scratch folder behind, for a look at what
    // the converter wrote; a stop is the user's choice and explains itself.
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
