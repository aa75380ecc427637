// The site build on several threads against the build on one: the same
// projects built with one job and with two give the same files byte for
// byte, the same diagnostics and the same progress values and labels, and a
// stop or a failure leaves the same output behind. Runs under
// ThreadSanitizer too (the tsan preset).
#include <gtest/gtest.h>
#include <stdlib.h>  // setenv

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "project/project_settings.h"
#include "site/build_site.h"
#include "test_support.h"
#include "zip_writer.h"

namespace tessarine::site {
namespace {

namespace fs = std::filesystem;
using testing::Blocks;
using testing::FileTree;
using testing::TempDir;

class Recording : public BuildProgress {
 public:
  explicit Recording(std::atomic<bool>& stop) : stop_(stop) {}
  void SetValue(int value) override {
    values.push_back(value);
    if (on_value) on_value(value);
  }
  void SetState(std::string_view state) override { states.emplace_back(state); }
  void StageEnded(std::string_view label) override {
    labels.emplace_back(label);
    if (label == "into loop" && into_loop == 0) into_loop = values.back();
    if (label == stop_label && ++seen_ == stop_count) stop_.store(true);
  }
  void RequestStop() { stop_.store(true); }

  std::string stop_label;
  int stop_count = 0;
  std::function<void(int)> on_value;
  int into_loop = 0;  // the bar's value after the first "into loop"
  std::vector<int> values;
  std::vector<std::string> states;
  std::vector<std::string> labels;

 private:
  std::atomic<bool>& stop_;
  int seen_ = 0;
};

// What one build left: its outcome, its progress, and every file of the
// output folder and of the scratch folders (kept after a failure), the
// temporary files of unfinished pages included.
struct BuildRun {
  BuildOutcome outcome;
  std::vector<int> values;
  std::vector<std::string> states;
  std::vector<std::string> labels;
  std::map<std::string, std::string> output;
  std::map<std::string, std::string> scratch;
};

// Names every file that differs, rather than printing whole sites.
void ExpectSameFiles(const std::map<std::string, std::string>& one,
                     const std::map<std::string, std::string>& two, const std::string& what) {
  std::vector<std::string> differing;
  for (const auto& [name, bytes] : one) {
    const auto other = two.find(name);
    if (other == two.end() || other->second != bytes) differing.push_back(name);
  }
  for (const auto& [name, bytes] : two) {
    if (!one.contains(name)) differing.push_back(name);
  }
  EXPECT_TRUE(differing.empty()) << what << ": " << differing.size() << " of " << one.size()
                                 << " files differ, the first " << differing.front();
}

void ExpectSameRuns(const BuildRun& one, const BuildRun& two) {
  EXPECT_EQ(one.outcome.status.message(), two.outcome.status.message());
  EXPECT_EQ(one.outcome.stopped, two.outcome.stopped);
  EXPECT_EQ(one.outcome.diagnostics, two.outcome.diagnostics);
  EXPECT_EQ(one.outcome.site_sections, two.outcome.site_sections);
  EXPECT_EQ(one.values, two.values);
  EXPECT_EQ(one.states, two.states);
  EXPECT_EQ(one.labels, two.labels);
  ExpectSameFiles(one.output, two.output, "output folder");
  ExpectSameFiles(one.scratch, two.scratch, "scratch folder");
}

class ParallelBuild : public ::testing::Test {
 protected:
  ParallelBuild() {
    fs::create_directories(temp_.path() / "home/template");
    fs::copy(fs::path(TESSARINE_SOURCE_DIR) / "template/default",
             temp_.path() / "home/template/default", fs::copy_options::recursive);
    fs::create_directories(temp_.path() / "docs");
    settings_ = project::DefaultProjectSettings();
  }
  ~ParallelBuild() override {
    if (old_tmpdir_) {
      ::setenv("TMPDIR", old_tmpdir_->c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }

  void Add(const fs::path& document) { project::AddDocumentRecord(settings_, document.string()); }

  // Builds the project with `jobs` into a fresh output folder, with its own
  // folder for scratch space; `prepare` may set a stop point.
  BuildRun Build(unsigned jobs, const std::function<void(Recording&)>& prepare = {}) {
    const std::string name = "run" + std::to_string(++runs_);
    const fs::path out = temp_.path() / name / "out";
    const fs::path tmp = temp_.path() / name / "tmp";
    fs::create_directories(out);
    fs::create_directories(tmp);
    ::setenv("TMPDIR", tmp.c_str(), 1);
    settings_.OutputDir = out.string() + "/";
    std::atomic<bool> stop{false};
    Recording progress(stop);
    if (prepare) prepare(progress);
    BuildRun run;
    run.outcome = BuildSite(settings_, progress, stop, temp_.File("home") + "/", jobs);
    run.values = progress.values;
    run.states = progress.states;
    run.labels = progress.labels;
    run.output = FileTree(out);
    run.scratch = FileTree(tmp);
    // The scratch folder's own name is random; compare what it holds.
    std::map<std::string, std::string> inside;
    for (auto& [path, bytes] : run.scratch) {
      inside[path.substr(path.find('/') + 1)] = std::move(bytes);
    }
    run.scratch = std::move(inside);
    return run;
  }

  // Builds with one job and with two and expects the same of both; gives the
  // one-job run.
  BuildRun BuildBothWays(const std::function<void(Recording&)>& prepare = {}) {
    BuildRun one = Build(1, prepare);
    const BuildRun two = Build(2, prepare);
    ExpectSameRuns(one, two);
    return one;
  }

  TempDir temp_;
  project::ProjectSettings settings_;
  int runs_ = 0;
  std::optional<std::string> old_tmpdir_ = [] {
    const char* old = std::getenv("TMPDIR");
    return old ? std::optional<std::string>(old) : std::nullopt;
  }();
};

TEST_F(ParallelBuild, TheCorpusAsOneProjectGivesTheSameSite) {
  for (const fs::path& document : testing::SoundCorpusDocuments()) Add(document);
  ASSERT_GT(settings_.Documents.size(), 20u);
  const BuildRun run = BuildBothWays();
  ASSERT_TRUE(run.outcome.ok()) << run.outcome.status.message();
  EXPECT_GT(run.output.size(), 500u);
}

// Documents that grow in one dimension, and the generated benchmark tiers
// with their pictures, under every clean-up mode's neighbour settings.
TEST_F(ParallelBuild, GeneratedDocumentsGiveTheSameSite) {
  const fs::path docs = temp_.path() / "docs";
  const std::string scale = "python3 " + std::string(TESSARINE_SOURCE_DIR) +
                            "/bench/scale_docs.py " + docs.string() +
                            " headings:600 list:3000 table:40 >/dev/null";
  ASSERT_EQ(std::system(scale.c_str()), 0) << scale;
  for (const char* name : {"headings-600", "list-3000", "table-40"}) {
    Add(docs / (std::string(name) + ".docx"));
  }
  const std::string tiers =
      "BENCH_DOCS_DIR=" + docs.string() + " NO_DOC=1 bash " + testing::SharedDir().string() +
      "/bench/make-bench-docs.sh trivial S >" + docs.string() + "/tiers.log 2>&1";
  // Its exit status is not read: without .doc files (NO_DOC) its last
  // listing fails after the documents are written.
  (void)std::system(tiers.c_str());
  ASSERT_TRUE(fs::exists(docs / "trivial.docx") && fs::exists(docs / "S.docx"))
      << tiers << " (it needs pandoc):\n"
      << testing::ReadBytes(docs / "tiers.log");
  Add(docs / "trivial.docx");
  Add(docs / "S.docx");
  // Page width, header and footer on, related topics and the contents on
  // the home page: every piece a page is made of.
  for (project::DocumentRecord& document : settings_.Documents) {
    document.OptPageWidth = "1";
    document.Relative = "1";
    document.Toc = "1";
  }
  settings_.Documents[1].OptimizeMode = "2";
  settings_.Documents[2].OptimizeMode = "0";
  const BuildRun run = BuildBothWays();
  ASSERT_TRUE(run.outcome.ok()) << run.outcome.status.message();
  EXPECT_GT(run.output.size(), 600u);
}

// Stops at fixed points of the build, conversions of later documents
// included (with two jobs they run ahead and show their steps in turn), and
// a document that cannot be converted: the same is left behind either way.
TEST_F(ParallelBuild, StopsAndFailuresLeaveTheSame) {
  const Blocks chapters = [] {
    Blocks blocks;
    for (int chapter = 1; chapter <= 40; ++chapter) {
      blocks.emplace_back(1, "Chapter " + std::to_string(chapter));
      blocks.emplace_back(0, "Text of chapter " + std::to_string(chapter) + ".");
    }
    return blocks;
  }();
  for (const char* name : {"one.docx", "two.docx", "three.docx"}) {
    testing::WriteDocx(temp_.File("docs/") + name, chapters);
    Add(temp_.path() / "docs" / name);
  }
  for (const auto& [label, count] : std::vector<std::pair<std::string, int>>{
           {"CreateObject(Word.Application)", 2},
           {"Word.SaveAs", 3},
           {"into loop", 1},
           {"write mainpage", 2},
       }) {
    SCOPED_TRACE(label + " " + std::to_string(count));
    const BuildRun run = BuildBothWays([&](Recording& progress) {
      progress.stop_label = label;
      progress.stop_count = count;
    });
    EXPECT_TRUE(run.outcome.stopped);
    EXPECT_TRUE(run.scratch.empty());
  }

  // The third document is no .docx: its conversion fails (ahead of its turn
  // with two jobs) and the build reports it once the second is written.
  testing::WriteBytes(temp_.path() / "docs/three.docx", "not a zip package");
  const BuildRun failed = BuildBothWays();
  EXPECT_FALSE(failed.outcome.ok());
  EXPECT_FALSE(failed.outcome.stopped);
  EXPECT_TRUE(failed.output.contains("doc2.40.htm"));
  // Converted in memory, the documents leave nothing in the kept scratch folder.
  EXPECT_TRUE(failed.scratch.empty());
}

// A stop in the middle of a document's pages: the pages in place are the
// first ones in row order, up to the page whose turn it was, and no page
// made ahead of its turn is left, not even under a temporary name.
TEST_F(ParallelBuild, AStopInsideThePagesLeavesTheFirstPagesOnly) {
  Blocks blocks;
  for (int chapter = 1; chapter <= 300; ++chapter) {
    blocks.emplace_back(1, "Chapter " + std::to_string(chapter));
    blocks.emplace_back(0, "Text of chapter " + std::to_string(chapter) + ".");
  }
  testing::WriteDocx(temp_.File("docs/large.docx"), blocks);
  Add(temp_.path() / "docs/large.docx");

  // The request comes when the bar, inside the page loop, has passed the
  // value "into loop" left it at by 4 of the loop's 7.
  const fs::path out = temp_.path() / "run1/out";
  long pages_at_request = -1;
  const auto visible_pages = [&] {
    return std::count_if(fs::directory_iterator(out), fs::directory_iterator(), [](const auto& e) {
      return e.is_regular_file() && e.path().filename().string()[0] != '.';
    });
  };
  const BuildRun run = Build(2, [&](Recording& progress) {
    progress.on_value = [&](int value) {
      if (progress.into_loop > 0 && value == progress.into_loop + 4 && pages_at_request < 0) {
        pages_at_request = visible_pages();
        progress.RequestStop();
      }
    };
  });
  ASSERT_TRUE(run.outcome.stopped);
  EXPECT_EQ(run.outcome.status.message(), kInterruptedMessage);
  EXPECT_GT(pages_at_request, 150);
  EXPECT_EQ(visible_pages(), pages_at_request);
  // The home page and chapters 1 to m-1, every page under its own name.
  std::map<std::string, std::string> expected_names;
  for (long k = 0; k < pages_at_request; ++k) {
    const std::string name = k == 0 ? "doc1.htm" : "doc1." + std::to_string(k) + ".htm";
    expected_names[name] = "";
  }
  std::map<std::string, std::string> names;
  for (const auto& [name, bytes] : run.output) names[name] = "";
  EXPECT_EQ(names, expected_names);
  EXPECT_TRUE(run.scratch.empty());
}

}  // namespace
}  // namespace tessarine::site
