// The whole site build, from .docx files written here to the pages in an
// output folder: page names and contents, the resource folders, the
// template's resources, progress, stop, refusals and failures, and the
// `tessarine build` command around it.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>  // setenv
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cleanup/cleanup.h"
#include "cli_runner.h"
#include "project/project_file.h"
#include "project/project_settings.h"
#include "site/build_site.h"
#include "support/text_file.h"
#include "test_support.h"
#include "zip_writer.h"

namespace tessarine::site {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempDir;

// --- Documents ---------------------------------------------------------------------------------

using testing::Blocks;
using testing::WriteDocx;
using testing::WriteDocxXml;

std::string Paragraph(const std::string& text, const std::string& properties = "") {
  std::string p = "<w:p>";
  if (!properties.empty()) p += "<w:pPr>" + properties + "</w:pPr>";
  if (!text.empty()) p += R"(<w:r><w:t xml:space="preserve">)" + text + "</w:t></w:r>";
  return p + "</w:p>";
}

const Blocks kGuide = {
    {0, "本指南介绍安装与使用。"}, {1, "安装"}, {0, "安装正文。"}, {2, "系统要求"},
    {0, "需要 Linux。"},           {1, "使用"}, {0, "使用正文。"},
};
const Blocks kNotes = {
    {0, "Release notes."}, {1, "Version 2"}, {0, "Many documents."},
    {1, "Version 1"},      {0, "First."},
};
// Not one paragraph. Empty paragraphs would not do: Word HTML writes each as
// "<o:p>&nbsp;</o:p>", and a non-breaking space is visible text.
const Blocks kBlank = {};

// The label of every progress step, in the order a document's stages end.
const std::vector<std::string> kDocumentLabels = {
    "CreateObject(Word.Application)",
    "Word.Open",
    "Word.SaveAs",
    "head parse",
    "style parse",
    "style optimize",
    "init a_doc 1",
    "init filename",
    "init numberlist",
    "into loop",
    "write mainpage",
};

// --- Progress ----------------------------------------------------------------------------------

class RecordingProgress : public BuildProgress {
 public:
  explicit RecordingProgress(std::atomic<bool>& stop) : stop_(stop) {}
  void SetValue(int value) override { values.push_back(value); }
  void SetState(std::string_view state) override { states.emplace_back(state); }
  void StageEnded(std::string_view label) override {
    labels.emplace_back(label);
    if (on_stage) on_stage(label);
    if (label == stop_at_label && ++seen_ == stop_at_count) stop_.store(true);
  }

  // Sets the stop flag when `label` ends for the `count`-th time.
  void StopAt(std::string label, int count) {
    stop_at_label = std::move(label);
    stop_at_count = count;
    seen_ = 0;
  }
  void Clear() {
    values.clear();
    states.clear();
    labels.clear();
    StopAt("", 0);
  }

  std::vector<int> values;
  std::vector<std::string> states;
  std::vector<std::string> labels;
  std::function<void(std::string_view)> on_stage;  // called as each stage ends

 private:
  std::atomic<bool>& stop_;
  std::string stop_at_label;
  int stop_at_count = 0;
  int seen_ = 0;
};

// --- Fixture -------------------------------------------------------------------------------------

// A data folder with a copy of the shipped default template, an output
// folder, and TMPDIR pointed at a folder of the test's own so that the
// build's scratch folders can be seen.
class SiteBuild : public ::testing::Test {
 protected:
  SiteBuild() {
    fs::create_directories(temp_.path() / "home/template");
    fs::copy(fs::path(TESSARINE_SOURCE_DIR) / "template/default",
             temp_.path() / "home/template/default", fs::copy_options::recursive);
    fs::create_directories(temp_.path() / "out");
    fs::create_directories(temp_.path() / "docs");
    fs::create_directories(temp_.path() / "tmp");
    const char* old = std::getenv("TMPDIR");
    old_tmpdir_ = old ? std::optional<std::string>(old) : std::nullopt;
    ::setenv("TMPDIR", temp_.File("tmp").c_str(), 1);
    settings_ = project::DefaultProjectSettings();
    settings_.OutputDir = temp_.File("out");
  }
  ~SiteBuild() override {
    if (old_tmpdir_) {
      ::setenv("TMPDIR", old_tmpdir_->c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }

  // Writes docs/NAME and adds it to the project.
  void AddDocument(const std::string& name, const Blocks& blocks) {
    WriteDocx(temp_.File("docs/" + name), blocks);
    project::AddDocumentRecord(settings_, temp_.File("docs/" + name));
  }

  BuildOutcome Build() { return BuildStoppingAt("", 0); }
  BuildOutcome BuildStoppingAt(const std::string& label, int count) {
    stop_.store(false);
    progress_.Clear();
    progress_.StopAt(label, count);
    return BuildSite(settings_, progress_, stop_, temp_.File("home") + "/");
  }

  std::string Out(const std::string& name) const { return temp_.File("out/" + name); }
  // A page as text (pages are written in code page 936).
  std::string Page(const std::string& name) const {
    return support::DecodeText(ReadBytes(Out(name)), support::EncodingAnsi);
  }
  std::set<std::string> Listing(const std::string& folder) const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(temp_.path() / folder)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  TempDir temp_;
  project::ProjectSettings settings_;
  std::atomic<bool> stop_{false};
  RecordingProgress progress_{stop_};
  std::optional<std::string> old_tmpdir_;
};

// --- The build ----------------------------------------------------------------------------------

TEST_F(SiteBuild, WritesEveryPageOfTwoDocuments) {
  AddDocument("guide.docx", kGuide);
  AddDocument("notes.docx", kNotes);
  const BuildOutcome outcome = Build();
  ASSERT_TRUE(outcome.ok()) << outcome.status.message();
  EXPECT_FALSE(outcome.stopped);

  EXPECT_EQ(Listing("out"),
            (std::set<std::string>{"default.htm", "top.htm", "left.htm", "doc1.htm", "doc1.1.htm",
                                   "doc1.1.1.htm", "doc1.2.htm", "doc1.files", "doc2.htm",
                                   "doc2.1.htm", "doc2.2.htm", "doc2.files", "tfiles"}));
  // Each page holds its own heading and text, and none of the next page's.
  const std::string home = Page("doc1.htm");
  EXPECT_NE(home.find("本指南介绍安装与使用。"), std::string::npos) << home;
  EXPECT_EQ(home.find("<h1>"), std::string::npos);
  EXPECT_EQ(home.find("安装正文"), std::string::npos);
  const std::string install = Page("doc1.1.htm");
  EXPECT_NE(install.find("<h1>1 安装</h1>"), std::string::npos) << install;
  EXPECT_NE(install.find("安装正文。"), std::string::npos);
  EXPECT_EQ(install.find("需要 Linux"), std::string::npos);
  const std::string requirements = Page("doc1.1.1.htm");
  EXPECT_NE(requirements.find("<h2>1.1 系统要求</h2>"), std::string::npos) << requirements;
  EXPECT_NE(requirements.find("需要 Linux。"), std::string::npos);
  EXPECT_NE(Page("doc1.2.htm").find("<h1>2 使用</h1>"), std::string::npos);
  EXPECT_NE(Page("doc2.2.htm").find("<h1>2 Version 1</h1>"), std::string::npos);
  EXPECT_NE(Page("doc2.2.htm").find("First."), std::string::npos);
  // The template's placeholders are filled for each document.
  EXPECT_NE(install.find("<title>guide : 安装</title>"), std::string::npos);
  EXPECT_NE(install.find(R"(href="doc1.files/tessarine.css")"), std::string::npos);
  EXPECT_NE(Page("doc2.htm").find(R"(href="doc2.files/tessarine.css")"), std::string::npos);
  EXPECT_NE(install.find("charset=gb2312"), std::string::npos);
  EXPECT_EQ(install.find("{content}"), std::string::npos);

  for (const char* prefix : {"doc1", "doc2"}) {
    const std::string css = Page(std::string(prefix) + ".files/tessarine.css");
    EXPECT_EQ(css.rfind("/* Generator: Tessarine */\r\n", 0), 0u) << prefix;
    EXPECT_EQ(css.find("mso-"), std::string::npos) << prefix;  // selective mode by default
  }
  EXPECT_EQ(ReadBytes(Out("tfiles/style.css")),
            ReadBytes(temp_.path() / "home/template/default/tfiles/style.css"));

  ASSERT_EQ(outcome.site_sections.size(), 2u);
  EXPECT_EQ(outcome.site_sections[0].size(), 4u);
  EXPECT_EQ(outcome.site_sections[1].size(), 3u);
  EXPECT_EQ(outcome.site_sections[0][2].PageFile, "doc1.1.1.htm");
  EXPECT_EQ(outcome.home_page, Out("default.htm"));
  EXPECT_TRUE(outcome.diagnostics.empty());
  // The scratch folder is gone after success.
  EXPECT_EQ(outcome.scratch_folder, "");
  EXPECT_TRUE(Listing("tmp").empty());

  // Two documents: steps of round(3.5) = 4 and round(7) = 7 would pass 97.
  ASSERT_FALSE(progress_.values.empty());
  EXPECT_EQ(progress_.values.back(), kProgressCap);
  EXPECT_TRUE(std::is_sorted(progress_.values.begin(), progress_.values.end()));
  EXPECT_TRUE(progress_.states.empty());
}

// Chapter styles of their own with an outline level (as Chinese standards
// drafts use), a style inheriting its level, a paragraph with its own level.
TEST_F(SiteBuild, OutlineLevelParagraphsStartPagesUnlessSwitchedOff) {
  const std::string styles =
      R"(<w:style w:type="paragraph" w:styleId="a7"><w:name w:val="章标题"/><w:basedOn w:val="Normal"/>)"
      R"(<w:pPr><w:outlineLvl w:val="0"/></w:pPr></w:style>)"
      R"(<w:style w:type="paragraph" w:styleId="a3"><w:name w:val="一级条标题"/><w:basedOn w:val="a7"/>)"
      R"(<w:pPr><w:outlineLvl w:val="1"/></w:pPr></w:style>)"
      R"(<w:style w:type="paragraph" w:styleId="b1"><w:name w:val="附录条"/><w:basedOn w:val="a3"/></w:style>)";
  const std::string body =
      Paragraph("前言。") + Paragraph("总则", R"(<w:pStyle w:val="a7"/>)") +
      Paragraph("总则正文。") + Paragraph("范围", R"(<w:pStyle w:val="a3"/>)") +
      Paragraph("范围正文。") + Paragraph("附录", R"(<w:pStyle w:val="b1"/>)") +
      Paragraph("附录正文。") +
      Paragraph("", R"(<w:pStyle w:val="a7"/>)") +  // an empty chapter paragraph cuts nothing
      // Made body text on the paragraph itself: no heading.
      Paragraph("正文段", R"(<w:pStyle w:val="a3"/><w:outlineLvl w:val="9"/>)") +
      Paragraph("直接", R"(<w:outlineLvl w:val="0"/>)") + Paragraph("直接正文。");
  WriteDocxXml(temp_.File("docs/std.docx"), body, styles);
  project::AddDocumentRecord(settings_, temp_.File("docs/std.docx"));

  BuildOutcome outcome = Build();
  ASSERT_TRUE(outcome.ok()) << outcome.status.message();
  const SectionTable& rows = outcome.site_sections.at(0);
  std::vector<std::string> levels, titles;
  for (const Section& row : rows) {
    levels.push_back(row.Level);
    titles.push_back(row.PlainTitle);
  }
  EXPECT_EQ(levels, (std::vector<std::string>{"0", "1", "2", "2", "1"}));
  EXPECT_EQ(titles, (std::vector<std::string>{"std", "总则", "范围", "附录", "直接"}));
  EXPECT_NE(Page("doc1.1.1.htm").find("<h2>1.1 范围</h2>"), std::string::npos);
  EXPECT_NE(Page("doc1.1.1.htm").find("范围正文。"), std::string::npos);
  EXPECT_EQ(Page("doc1.1.1.htm").find("附录正文。"), std::string::npos);
  EXPECT_NE(Page("doc1.2.htm").find("直接正文。"), std::string::npos);

  settings_.Documents[0].OutlineHeadings = "0";
  outcome = Build();
  ASSERT_TRUE(outcome.ok()) << outcome.status.message();
  EXPECT_EQ(outcome.site_sections.at(0).size(), 1u);
}

// With sequence names, document 1's first page is "doc1" + "1": document 11's
// home page. A special name may equal a chapter name. No page may overwrite
// another, and each renaming is reported.
TEST_F(SiteBuild, NoPageOverwritesAnother) {
  for (int n = 1; n <= 11; ++n) {
    const std::string k = std::to_string(n);
    AddDocument(
        "d" + k + ".docx",
        {{0, "home " + k}, {1, "A" + k}, {0, "text A" + k}, {1, "Usage" + k}, {0, "text U" + k}});
    settings_.Documents.back().FileNameRule = n == 2 ? "0" : "1";
  }
  settings_.Documents[1].SpecialFileName = "Usage|1";  // doc2.1.htm, chapter 1's name
  const BuildOutcome outcome = Build();
  ASSERT_TRUE(outcome.ok()) << outcome.status.message();

  std::set<std::string> files;
  for (size_t d = 0; d < outcome.site_sections.size(); ++d) {
    const std::string k = std::to_string(d + 1);
    const SectionTable& rows = outcome.site_sections[d];
    ASSERT_EQ(rows.size(), 3u);
    for (const Section& row : rows) EXPECT_TRUE(files.insert(row.PageFile).second) << row.PageFile;
    EXPECT_NE(Page(rows[0].PageFile).find("home " + k), std::string::npos) << rows[0].PageFile;
    EXPECT_NE(Page(rows[1].PageFile).find("text A" + k), std::string::npos) << rows[1].PageFile;
    EXPECT_NE(Page(rows[2].PageFile).find("text U" + k), std::string::npos) << rows[2].PageFile;
  }
  EXPECT_EQ(outcome.site_sections[0][1].PageFile, "doc11_2.htm");
  EXPECT_EQ(outcome.site_sections[1][2].PageFile, "doc2.1_2.htm");
  ASSERT_EQ(outcome.diagnostics.size(), 2u);
  EXPECT_NE(outcome.diagnostics[0].message.find("doc11.htm of document 1 (\"A1\")"),
            std::string::npos)
      << outcome.diagnostics[0].Text();
  EXPECT_NE(outcome.diagnostics[0].message.find("document 11"), std::string::npos);
  EXPECT_NE(outcome.diagnostics[1].message.find("doc2.1_2.htm"), std::string::npos);
  // The menu lists every page once.
  const std::string menu = Page("tfiles/dtree-data.js");
  for (const std::string& file : files) {
    const std::string quoted = "\"" + file + "\"";
    const size_t first = menu.find(quoted);
    EXPECT_NE(first, std::string::npos) << file;
    EXPECT_EQ(menu.find(quoted, first + 1), std::string::npos) << file;
  }
}

// A link to a bookmark in a heading and to one in a later page's text.
TEST_F(SiteBuild, LinksReachTargetsOnOtherPages) {
  const std::string body =
      Paragraph("") +
      R"(<w:p><w:hyperlink w:anchor="_Toc1"><w:r><w:t>to setup</w:t></w:r></w:hyperlink></w:p>)" +
      R"(<w:p><w:pPr><w:pStyle w:val="Heading1"/></w:pPr><w:r><w:t>Intro</w:t></w:r></w:p>)" +
      R"(<w:p><w:hyperlink w:anchor="later"><w:r><w:t>to the detail</w:t></w:r></w:hyperlink></w:p>)" +
      R"(<w:p><w:pPr><w:pStyle w:val="Heading1"/></w:pPr><w:bookmarkStart w:id="0" w:name="_Toc1"/>)"
      R"(<w:r><w:t>Setup</w:t></w:r><w:bookmarkEnd w:id="0"/></w:p>)" +
      R"(<w:p><w:bookmarkStart w:id="1" w:name="later"/><w:r><w:t>Detail</w:t></w:r>)"
      R"(<w:bookmarkEnd w:id="1"/></w:p>)";
  WriteDocxXml(temp_.File("docs/links.docx"), body, "");
  project::AddDocumentRecord(settings_, temp_.File("docs/links.docx"));
  const BuildOutcome outcome = Build();
  ASSERT_TRUE(outcome.ok()) << outcome.status.message();
  EXPECT_NE(Page("doc1.htm").find(R"(href="doc1.2.htm#_Toc1")"), std::string::npos)
      << Page("doc1.htm");
  EXPECT_NE(Page("doc1.1.htm").find(R"(href="doc1.2.htm#later")"), std::string::npos)
      << Page("doc1.1.htm");
  const std::string setup = Page("doc1.2.htm");
  EXPECT_NE(setup.find(R"(<h1><a name="_Toc1"></a>2 Setup</h1>)"), std::string::npos) << setup;
  EXPECT_NE(setup.find(R"(name="later")"), std::string::npos);
}

TEST_F(SiteBuild, OneDocumentRunsItsStagesInOrderAndReaches91) {
  AddDocument("guide.docx", kGuide);
  const BuildOutcome outcome = Build();
  ASSERT_TRUE(outcome.ok()) << outcome.status.message();
  std::vector<std::string> expected = {"开始"};
  expected.insert(expected.end(), kDocumentLabels.begin(), kDocumentLabels.end());
  expected.push_back("write otherpage");
  EXPECT_EQ(progress_.labels, expected);
  // 2, then 7 for each stage and 14 for saving, then 5: 2 + 84 + 5. The page
  // loop of four pages moves the bar through its step of 7 page by page
  // (1, 3 and 5 of it before pages 2, 3 and 4).
  const std::vector<int> values = {2, 9, 16, 30, 37, 44, 51, 58, 65, 72, 79, 80, 82, 84, 86, 91};
  EXPECT_EQ(progress_.values, values);
}

TEST_F(SiteBuild, SecondBuildOverwritesItsPagesAndKeepsOtherFiles) {
  AddDocument("guide.docx", kGuide);
  ASSERT_TRUE(Build().ok());
  testing::WriteBytes(Out("doc1.1.htm"), "stale");
  testing::WriteBytes(Out("notes.txt"), "mine");
  testing::WriteBytes(Out("tfiles/extra.js"), "mine too");

  const BuildOutcome again = Build();
  ASSERT_TRUE(again.ok()) << again.status.message();
  EXPECT_NE(Page("doc1.1.htm").find("安装正文。"), std::string::npos);
  EXPECT_EQ(ReadBytes(Out("notes.txt")), "mine");
  EXPECT_EQ(ReadBytes(Out("tfiles/extra.js")), "mine too");
  EXPECT_TRUE(Listing("tmp").empty());
}

// Every file under `folder`, by path relative to it, with its bytes.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) {
      files[fs::relative(entry.path(), folder).string()] = ReadBytes(entry.path());
    }
  }
  return files;
}

// A full disk during a rebuild: every file of the earlier build is the old
// file or the complete new one, no temporary file and no empty resource
// folder stays. Needs a small file system of its own, so it runs only where
// the test may mount one (as root).
TEST_F(SiteBuild, AFullDiskDuringARebuildDamagesNothing) {
  const std::string out = temp_.File("out");
  if (::mount("tmpfs", out.c_str(), "tmpfs", 0, "size=2m") != 0) {
    GTEST_SKIP() << "cannot mount a small tmpfs (needs root): " << std::strerror(errno);
  }
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{out};
  AddDocument("guide.docx", kGuide);
  AddDocument("notes.docx", kNotes);
  ASSERT_TRUE(Build().ok());
  const std::map<std::string, std::string> before = Snapshot(out);

  // The rebuild's pages are longer than the old ones, and a third document
  // joins; what they should come to is built elsewhere first.
  Blocks longer = kGuide;
  for (auto& [level, text] : longer) text += std::string(3000, 'y');
  WriteDocx(temp_.File("docs/guide.docx"), longer);
  AddDocument("more.docx", kNotes);
  fs::create_directories(temp_.path() / "reference");
  settings_.OutputDir = temp_.File("reference");
  ASSERT_TRUE(Build().ok());
  const std::map<std::string, std::string> reference = Snapshot(temp_.path() / "reference");
  settings_.OutputDir = out;

  int failures = 0;
  for (const size_t room : {size_t{0}, size_t{8} << 10, size_t{24} << 10}) {
    // Fill the disk, then give back `room` bytes.
    const std::string filler = out + "/.filler";
    {
      std::ofstream fill(filler, std::ios::binary);
      const std::string block(4096, 'f');
      while (fill.write(block.data(), static_cast<std::streamsize>(block.size()))) {
      }
    }
    fs::resize_file(filler, fs::file_size(filler) - room);
    const BuildOutcome outcome = Build();
    fs::remove(filler);
    if (!outcome.ok()) ++failures;
    const std::map<std::string, std::string> after = Snapshot(out);
    for (const auto& [name, bytes] : after) {
      EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name << " left behind";
      const auto old = before.find(name);
      const bool whole =
          (old != before.end() && old->second == bytes) || reference.at(name) == bytes;
      EXPECT_TRUE(whole) << name << " damaged with " << room << " bytes free";
    }
    for (const auto& [name, bytes] : before) EXPECT_TRUE(after.contains(name)) << name;
    if (!fs::exists(out + "/doc3.htm")) {
      EXPECT_FALSE(fs::exists(out + "/doc3.files")) << room << " bytes free";
    }
    if (!outcome.ok()) {
      EXPECT_NE(outcome.status.message().find("No space left on device"), std::string::npos)
          << outcome.status.message();
    }
  }
  EXPECT_GE(failures, 2);
}

TEST_F(SiteBuild, StopDuringTheSecondOfThreeDocumentsKeepsTheFirst) {
  AddDocument("guide.docx", kGuide);
  AddDocument("notes.docx", kNotes);
  AddDocument("more.docx", kNotes);
  // The second document's converter has started when the flag is set.
  const BuildOutcome outcome = BuildStoppingAt("CreateObject(Word.Application)", 2);
  ASSERT_FALSE(outcome.ok());
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(outcome.status.message(), kInterruptedMessage);
  EXPECT_EQ(progress_.states, std::vector<std::string>{std::string(kStateInterrupted)});
  EXPECT_EQ(progress_.labels.back(), "CreateObject(Word.Application)");

  EXPECT_TRUE(fs::exists(Out("doc1.htm")));
  EXPECT_TRUE(fs::exists(Out("doc1.2.htm")));
  EXPECT_TRUE(fs::exists(Out("doc1.files/tessarine.css")));
  EXPECT_FALSE(fs::exists(Out("doc2.htm")));
  EXPECT_FALSE(fs::exists(Out("doc3.htm")));
  EXPECT_FALSE(fs::exists(Out("tfiles")));
  EXPECT_EQ(outcome.site_sections.size(), 1u);
  EXPECT_EQ(outcome.home_page, "");
  // A stop leaves no scratch folder behind.
  EXPECT_EQ(outcome.scratch_folder, "");
  EXPECT_TRUE(Listing("tmp").empty());
}

// A stop during the page loop of a large document is seen before the next
// page: no page is written after the request. The bar moves through the
// loop's step page by page up to the request.
TEST_F(SiteBuild, StopDuringThePagesOfALargeDocumentEndsBeforeTheNextPage) {
  Blocks blocks;
  for (int chapter = 1; chapter <= 300; ++chapter) {
    blocks.emplace_back(1, "Chapter " + std::to_string(chapter));
    blocks.emplace_back(0, "Text of chapter " + std::to_string(chapter) + ".");
  }
  AddDocument("large.docx", blocks);

  // The request comes when the bar, inside the loop, has passed the value
  // "into loop" left it at by 4 of the loop's 7.
  struct StopInsideTheLoop : RecordingProgress {
    using RecordingProgress::RecordingProgress;
    void SetValue(int value) override {
      RecordingProgress::SetValue(value);
      if (loop_start > 0 && value == loop_start + 4 && pages_at_request < 0) {
        pages_at_request = count_pages();
        request();
      }
    }
    void StageEnded(std::string_view label) override {
      RecordingProgress::StageEnded(label);
      if (label == "into loop") loop_start = values.back();
    }
    int loop_start = 0;
    long pages_at_request = -1;
    std::function<long()> count_pages;
    std::function<void()> request;
  } progress(stop_);
  progress.count_pages = [&] {
    return static_cast<long>(std::count_if(fs::directory_iterator(temp_.path() / "out"),
                                           fs::directory_iterator(),
                                           [](const auto& e) { return e.is_regular_file(); }));
  };
  progress.request = [&] { stop_.store(true); };
  stop_.store(false);
  const BuildOutcome outcome = BuildSite(settings_, progress, stop_, temp_.File("home") + "/");

  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(outcome.status.message(), kInterruptedMessage);
  EXPECT_EQ(progress.states, std::vector<std::string>{std::string(kStateInterrupted)});
  // 4/7 of the 301 pages: the loop was well under way, and not one page
  // more was written after the request.
  EXPECT_GT(progress.pages_at_request, 150);
  EXPECT_EQ(progress.count_pages(), progress.pages_at_request);
  EXPECT_FALSE(fs::exists(Out("doc1.files/tessarine.css")));
  // The bar went through every value of the loop's step, one by one.
  const std::vector<int> inside(progress.values.end() - 4, progress.values.end());
  EXPECT_EQ(inside, (std::vector<int>{progress.loop_start + 1, progress.loop_start + 2,
                                      progress.loop_start + 3, progress.loop_start + 4}));
  EXPECT_TRUE(Listing("tmp").empty());
}

// The clean-up asks before every pass, so a large page stops between two.
TEST(CleanupStop, AFailureBetweenPassesEndsTheCleanUp) {
  cleanup::CleanupOptions options;
  options.mode = cleanup::OptimizeMode::kAllClear;
  const size_t passes = cleanup::CleanBodyPasses(options).size();
  ASSERT_GT(passes, 3u);
  size_t asked = 0;
  const auto ask = [&] {
    return ++asked < passes ? support::Status::Ok() : support::Status::Stopped();
  };
  const support::Result<std::string> cleaned =
      cleanup::CleanBody("<p class=x>text</p>", options, ask);
  ASSERT_FALSE(cleaned.ok());
  EXPECT_EQ(cleaned.code(), support::StatusCode::kStopped);
  EXPECT_EQ(asked, passes);  // before each pass, and none ran after the failure

  asked = 0;
  const auto never = [&] {
    ++asked;
    return support::Status::Ok();
  };
  EXPECT_EQ(*CleanBody("<p class=x>text</p>", options, never),
            *CleanBody("<p class=x>text</p>", options));
  EXPECT_EQ(asked, passes);
}

// Scratch folders that failed builds kept are removed by a later build once
// they are a week old; nothing else in the temporary folder is touched.
TEST_F(SiteBuild, OldKeptScratchFoldersAreRemovedWhenABuildStarts) {
  const auto age = [&](const std::string& name, int days) {
    fs::create_directories(temp_.path() / "tmp" / name / "inner");
    fs::last_write_time(temp_.path() / "tmp" / name,
                        fs::file_time_type::clock::now() - std::chrono::days(days));
  };
  age("tessarine-build-old111", 8);
  age("tessarine-build-new222", 6);
  age("someone-else-old333", 30);
  AddDocument("guide.docx", kGuide);
  ASSERT_TRUE(Build().ok());
  EXPECT_EQ(Listing("tmp"),
            (std::set<std::string>{"tessarine-build-new222", "someone-else-old333"}));
}

TEST_F(SiteBuild, StopAtTheLastStepStillFails) {
  AddDocument("guide.docx", kGuide);
  const BuildOutcome outcome = BuildStoppingAt("write otherpage", 1);
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(outcome.status.message(), kInterruptedMessage);
  EXPECT_TRUE(fs::exists(Out("tfiles/style.css")));  // copied before the step
}

TEST_F(SiteBuild, RefusesABrokenProjectBeforeWritingAnything) {
  const struct {
    const char* field;
    const char* value;
    const char* message;
  } cases[] = {
      {"FilenamePre", "../x", "无效的文件名前缀，不能为空，只允许英文字母和数字！"},
      {"FilenamePre", "left", "无效的文件名前缀，不能为以下关键字：\r\ndefault, left, top"},
      {"Template", "a/b", "提示：无效的模板！"},
      {"Template", "..", "提示：无效的模板！"},
      {"SpecialFileName", "Setup|../../evil", "无效的文件名特例设置：\r\nSetup|../../evil"},
      {"OutputDir", "", "提示：无效的输出文件夹！"},
  };
  AddDocument("guide.docx", kGuide);
  const project::ProjectSettings good = settings_;
  for (const auto& c : cases) {
    settings_ = good;
    const std::string field = c.field;
    if (field == "FilenamePre") settings_.Documents[0].FilenamePre = c.value;
    if (field == "SpecialFileName") settings_.Documents[0].SpecialFileName = c.value;
    if (field == "Template") settings_.Template = c.value;
    if (field == "OutputDir") settings_.OutputDir = c.value;
    const BuildOutcome outcome = Build();
    EXPECT_FALSE(outcome.ok()) << field << "=" << c.value;
    EXPECT_EQ(outcome.status.message(), c.message) << field << "=" << c.value;
    EXPECT_TRUE(progress_.labels.empty()) << field << "=" << c.value;
    EXPECT_TRUE(Listing("out").empty()) << field << "=" << c.value;
    EXPECT_TRUE(Listing("tmp").empty()) << field << "=" << c.value;
  }
}

// The converter hands each page over in memory: no Word HTML, picture or
// header file is written to the scratch folder and read back, with or without
// a conversion running ahead, and the pictures the pages show go straight
// into the site.
TEST_F(SiteBuild, PicturesAndWordHtmlNeverPassThroughTheScratchFolder) {
  TESSARINE_SKIP_WITHOUT_SHARED_INPUTS();
  for (const char* name : {"tika__testWORD_2006ml.docx", "poi__drawing.docx"}) {
    project::AddDocumentRecord(settings_, (testing::SharedDir() / "corpus/docx" / name).string());
    settings_.Documents.back().Header = settings_.Documents.back().Footer = "1";
  }
  std::vector<std::string> scratch_files;
  for (const unsigned jobs : {1u, 2u}) {
    progress_.Clear();
    progress_.on_stage = [&](std::string_view label) {
      for (const auto& entry : fs::recursive_directory_iterator(temp_.path() / "tmp")) {
        if (!entry.is_directory())
          scratch_files.push_back(std::string(label) + ": " + entry.path().string());
      }
    };
    const BuildOutcome outcome =
        BuildSite(settings_, progress_, stop_, temp_.File("home") + "/", jobs);
    ASSERT_TRUE(outcome.ok()) << outcome.status.message();
    EXPECT_EQ(progress_.labels.size(), 2 * kDocumentLabels.size() + 2);
    EXPECT_EQ(scratch_files, std::vector<std::string>()) << jobs << " jobs";
    for (const char* prefix : {"doc1", "doc2"}) {
      const std::set<std::string> resources = Listing(std::string("out/") + prefix + ".files");
      EXPECT_TRUE(std::any_of(resources.begin(), resources.end(), [](const std::string& file) {
        return file.starts_with("image");
      })) << prefix;
    }
  }
}

TEST_F(SiteBuild, DocumentsThatCannotBeReadEndTheBuild) {
  AddDocument("guide.docx", kGuide);
  testing::WriteBytes(temp_.File("docs/broken.docx"), "not a zip package");
  project::AddDocumentRecord(settings_, temp_.File("docs/broken.docx"));
  BuildOutcome outcome = Build();
  ASSERT_FALSE(outcome.ok());
  EXPECT_FALSE(outcome.stopped);
  EXPECT_EQ(outcome.status.code(), support::StatusCode::kOpenFailed) << outcome.status.message();
  EXPECT_FALSE(outcome.status.reason().empty());
  EXPECT_TRUE(fs::exists(Out("doc1.htm")));  // the document before it stays built
  EXPECT_FALSE(fs::exists(Out("doc2.htm")));
  EXPECT_FALSE(fs::exists(Out("doc2.files")));  // made for it, and gone again
  // Kept after a failure, and named for the message.
  EXPECT_EQ(Listing("tmp").size(), 1u);
  EXPECT_EQ(outcome.scratch_folder.rfind(temp_.File("tmp") + "/tessarine-build-", 0), 0u)
      << outcome.scratch_folder;
  // The pages are converted in memory: nothing of the built document is there.
  EXPECT_TRUE(fs::is_empty(outcome.scratch_folder));
  fs::remove_all(outcome.scratch_folder);
  // With several documents, the message names the one that failed.
  EXPECT_NE(outcome.status.message().find("\r\n文档：" + temp_.File("docs/broken.docx")),
            std::string::npos)
      << outcome.status.message();

  // A path that is not an existing .doc/.docx file.
  testing::WriteBytes(temp_.File("docs/notes.txt"), "text");
  for (const std::string& path : {temp_.File("docs/gone.docx"), temp_.File("docs/notes.txt")}) {
    settings_.Documents[1].Path = path;
    outcome = Build();
    EXPECT_EQ(outcome.status.message(), "无效的 Word 文档：\r\n" + path);
    EXPECT_TRUE(progress_.labels.empty());  // refused before the first document
  }
}

TEST_F(SiteBuild, BlankDocumentsAreSkippedWithAnEmptySlot) {
  AddDocument("guide.docx", kGuide);
  AddDocument("blank.docx", kBlank);
  AddDocument("notes.docx", kNotes);
  BuildOutcome outcome = Build();
  ASSERT_TRUE(outcome.ok()) << outcome.status.message();
  ASSERT_EQ(outcome.site_sections.size(), 3u);
  EXPECT_EQ(outcome.site_sections[0].size(), 4u);
  EXPECT_TRUE(outcome.site_sections[1].empty());
  EXPECT_EQ(outcome.site_sections[2].size(), 3u);
  EXPECT_FALSE(fs::exists(Out("doc2.htm")));
  EXPECT_FALSE(fs::exists(Out("doc2.files/tessarine.css")));
  EXPECT_TRUE(fs::exists(Out("doc3.htm")));
  // The skipped document's remaining steps never come.
  EXPECT_EQ(std::count(progress_.labels.begin(), progress_.labels.end(), "style optimize"), 3);
  EXPECT_EQ(std::count(progress_.labels.begin(), progress_.labels.end(), "init a_doc 1"), 2);

  // The frameset's main frame opens the first home page that was written.
  const auto main_frame = [&] {
    const std::string home = testing::ReadBytes(Out("default.htm"));
    const size_t at = home.find("name=\"tessarine_main\" src=\"");
    return at == std::string::npos ? std::string("(no main frame)")
                                   : home.substr(at + 27, home.find('"', at + 27) - at - 27);
  };

  // A blank first document: the site starts at the next one's home page.
  settings_.Documents.erase(settings_.Documents.begin());
  outcome = Build();
  ASSERT_TRUE(outcome.ok()) << outcome.status.message();
  ASSERT_EQ(outcome.site_sections.size(), 2u);
  EXPECT_TRUE(outcome.site_sections[0].empty());
  EXPECT_EQ(outcome.home_page, Out("default.htm"));
  EXPECT_EQ(main_frame(), "doc3.htm");

  // A blank last document: the list ends before it.
  std::swap(settings_.Documents[0], settings_.Documents[1]);
  outcome = Build();
  ASSERT_TRUE(outcome.ok()) << outcome.status.message();
  EXPECT_EQ(outcome.site_sections.size(), 1u);
  EXPECT_EQ(main_frame(), "doc3.htm");

  // Nothing but blank documents: a frameset over no pages.
  settings_.Documents.erase(settings_.Documents.begin());
  outcome = Build();
  ASSERT_TRUE(outcome.ok()) << outcome.status.message();
  EXPECT_TRUE(outcome.site_sections.empty());
  EXPECT_EQ(main_frame(), "about:blank");
}

// The demo's project: numbered headings (a Word multi-level list), a
// special page name and a table, with its document found beside it.
TEST_F(SiteBuild, TheSampleProjectBuilds) {
  const fs::path project_file = fs::path(TESSARINE_SOURCE_DIR) / "examples/guide.tsn";
  ASSERT_TRUE(project::LoadProject(project_file.string(), settings_).ok());
  settings_.OutputDir = temp_.File("out");
  const BuildOutcome outcome = Build();
  ASSERT_TRUE(outcome.ok()) << outcome.status.message();
  EXPECT_EQ(Listing("out"),
            (std::set<std::string>{
                "default.htm",   "top.htm",       "left.htm",      "guide.htm",     "guide.1.htm",
                "guide.1.1.htm", "guide.1.2.htm", "guide.1.3.htm", "guide.2.htm",   "guide.2.1.htm",
                "guide.3.htm",   "guide.3.1.htm", "guide.4.htm",   "guide.4.1.htm", "guide.5.htm",
                "guide.5.1.htm", "guide.5.2.htm", "guide.5.3.htm", "guide.faq.htm", "guide.files",
                "tfiles"}));
  const SectionTable& sections = outcome.site_sections.at(0);
  ASSERT_EQ(sections.size(), 16u);
  EXPECT_EQ(sections[2].Title, "1.1 准备文档");
  EXPECT_EQ(sections[2].PlainTitle, "准备文档");  // Word's list number is not part of it
  const std::string chapter = ReadBytes(Out("guide.2.htm")).substr(3);  // UTF-8 mark
  EXPECT_NE(chapter.find("<h1>2 项目设置</h1>"), std::string::npos) << chapter;
  EXPECT_NE(chapter.find("<table"), std::string::npos);
  EXPECT_NE(chapter.find("FileEncode"), std::string::npos);
  EXPECT_NE(ReadBytes(Out("guide.faq.htm")).find("<h1>6 常见问题</h1>"), std::string::npos);

  // The readers' search over every page; turned off, an empty index and no text.
  EXPECT_NE(ReadBytes(Out("tfiles/search-index.js")).find("{\"count\":16,"), std::string::npos);
  EXPECT_TRUE(fs::exists(Out("tfiles/search-text-0.js")));
  settings_.SiteSearch = "0";
  ASSERT_TRUE(Build().ok());
  EXPECT_NE(ReadBytes(Out("tfiles/search-index.js")).find("tessarineSearchIndex(null);"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(Out("tfiles/search-text-0.js")));
}

// --- Progress arithmetic -----------------------------------------------------------------------

TEST(ProgressArithmetic, StepSizesRoundHalfToEven) {
  const struct {
    double size;
    int16_t whole;
  } cases[] = {
      {0.0, 0},       {0.4, 0},     {0.5, 0},      {1.5, 2},      {2.5, 2},       {3.5, 4},
      {7.0, 7},       {7.0 / 3, 2}, {14.0 / 3, 5}, {7.0 / 14, 0}, {14.0 / 14, 1}, {14.0 / 28, 0},
      {14.0 / 27, 1}, {-0.5, 0},    {-1.5, -2},    {1e9, 32767},  {-1e9, -32768},
  };
  for (const auto& c : cases) EXPECT_EQ(WholeStep(c.size), c.whole) << c.size;
}

TEST(ProgressArithmetic, StepsAddUpToTheCapAndStopEndsTheBuild) {
  std::atomic<bool> stop{false};
  RecordingProgress progress(stop);
  ProgressStep step(progress, stop);
  EXPECT_TRUE(step(2, "a").ok());
  EXPECT_TRUE(step(0, "b").ok());   // leaves the bar
  EXPECT_TRUE(step(-3, "c").ok());  // leaves the bar
  EXPECT_TRUE(step(90, "d").ok());
  EXPECT_TRUE(step(7, "e").ok());
  EXPECT_EQ(progress.values, (std::vector<int>{2, 92, 97}));
  EXPECT_EQ(progress.labels, (std::vector<std::string>{"a", "b", "c", "d", "e"}));
  EXPECT_EQ(step.value(), 97);
  EXPECT_FALSE(step.stopped());

  stop.store(true);
  const support::Status stopped = step(1, "f");
  EXPECT_FALSE(stopped.ok());
  EXPECT_EQ(stopped.message(), "用户中断");
  EXPECT_TRUE(step.stopped());
  EXPECT_EQ(progress.states, (std::vector<std::string>{"中断！"}));
  EXPECT_EQ(progress.labels.back(), "f");  // the stage still ended
}

TEST(ProgressArithmetic, InsideAStageTheBarShowsItsShareAndNeverGoesBack) {
  std::atomic<bool> stop{false};
  RecordingProgress progress(stop);
  ProgressStep step(progress, stop);
  ASSERT_TRUE(step(10, "a").ok());
  for (double done : {0.0, 0.1, 0.3, 0.3, 0.2, 0.99, 1.0}) EXPECT_TRUE(step.Within(7, done).ok());
  // 0.7 rounds down to nothing; a repeated or smaller share shows nothing new.
  EXPECT_EQ(progress.values, (std::vector<int>{10, 12, 16, 17}));
  EXPECT_EQ(step.value(), 10);
  ASSERT_TRUE(step(7, "b").ok());
  EXPECT_EQ(progress.values.back(), 17);
  EXPECT_TRUE(step.Within(0, 0.5).ok());  // a step of 0 leaves the bar
  ASSERT_TRUE(step(80, "c").ok());
  EXPECT_TRUE(step.Within(7, 0.9).ok());  // never past the cap
  EXPECT_EQ(progress.values, (std::vector<int>{10, 12, 16, 17, 17, 97}));

  stop.store(true);
  EXPECT_EQ(step.Within(7, 0.5).message(), "用户中断");
  EXPECT_EQ(step.Within(7, 0.6).message(), "用户中断");
  EXPECT_TRUE(step.stopped());
  EXPECT_EQ(progress.states, (std::vector<std::string>{"中断！"}));  // said once
}

TEST(BlankHtml, OnlyTagsAndWhiteSpaceAreBlank) {
  const struct {
    const char* html;
    bool blank;
  } cases[] = {
      {"", true},
      {"<p>\r\n</p>", true},
      {"<p class=MsoNormal><span lang=EN-US><o:p></o:p></span></p>\r\n\t <p></p>", true},
      {"<p\r\nclass=x>\t</p>", true},  // a tag that wraps is still a tag
      {"<p>&nbsp;</p>", false},        // entities are visible
      {"<p>x</p>", false},
      {"<![if !supportLists]>1.<![endif]>", false},  // markers go, the number stays
      {"a < b", false},
  };
  for (const auto& c : cases) {
    const support::Result<bool> blank = cleanup::IsBlankHtml(c.html);
    ASSERT_TRUE(blank.ok()) << blank.message();
    EXPECT_EQ(*blank, c.blank) << c.html;
  }
}

// --- The build command ---------------------------------------------------------------------------

using testing::CliRun;

class BuildCommand : public SiteBuild {
 protected:
  // Runs `tessarine ARGS` in-process in the temporary folder with its own
  // data folder.
  CliRun Tessarine(const std::vector<std::string>& args) {
    return testing::RunTessarine(temp_.path(), temp_.path() / "home", args);
  }
  void SaveProject() { ASSERT_TRUE(project::SaveProject(temp_.File("site.tsn"), settings_).ok()); }
};

TEST_F(BuildCommand, BuildsIntoTheOutputFolderAndNamesTheHomePage) {
  AddDocument("guide.docx", kGuide);
  settings_.OutputDir = temp_.File("not-there");  // --output takes its place
  SaveProject();
  fs::create_directories(temp_.path() / "site");
  const CliRun run = Tessarine({"build", "site.tsn", "--output", "site", "--timings"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::exists(temp_.path() / "site/doc1.1.1.htm"));
  // Not a terminal: one line per progress value, 100 after success.
  EXPECT_EQ(run.out.rfind("progress 0%\nprogress 2%\n", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("progress 91%\nprogress 100%\n" + std::string(kBuildSucceeded) +
                         "\nhome page: " + temp_.File("site") + "/default.htm\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.err.find("regular-expression passes"), std::string::npos) << run.err;
}

TEST_F(BuildCommand, RefusalsAndFailuresExitWithOne) {
  AddDocument("guide.docx", kGuide);
  testing::WriteBytes(temp_.File("docs/broken.docx"), "junk");
  project::AddDocumentRecord(settings_, temp_.File("docs/broken.docx"));
  SaveProject();

  CliRun run = Tessarine({"build", "site.tsn", "--output", "missing"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "提示：无效的输出文件夹！\n");

  run = Tessarine({"build", "site.tsn"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind(std::string(kBuildFailedLead) + "\nOpen:", 0), 0u) << run.err;
  EXPECT_EQ(run.out.find(std::string(kBuildSucceeded)), std::string::npos);

  run = Tessarine({"build", "site.tsn", "--output"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("--output needs a value"), std::string::npos) << run.err;
}

// SIGTERM and SIGHUP stop a build of the program itself as Ctrl-C does: the message, exit status
// 1, no partial or temporary file in the output folder, and the scratch
// folder named (when it holds something) or gone.
TEST_F(BuildCommand, TerminationSignalsStopTheBuildCleanly) {
  Blocks long_document;
  for (int i = 1; i <= 40; ++i) {
    long_document.emplace_back(1, "第 " + std::to_string(i) + " 章");
    for (int j = 0; j < 20; ++j) long_document.emplace_back(0, std::string(200, 'x'));
  }
  for (int i = 1; i <= 12; ++i) AddDocument("d" + std::to_string(i) + ".docx", long_document);
  SaveProject();
  for (const int signal : {SIGTERM, SIGHUP}) {
    fs::remove_all(temp_.path() / "out");
    fs::create_directories(temp_.path() / "out");
    fs::remove_all(temp_.path() / "tmp");
    fs::create_directories(temp_.path() / "tmp");
    const std::string out_file = temp_.File("stdout");
    const std::string err_file = temp_.File("stderr");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      std::freopen(out_file.c_str(), "w", stdout);
      std::freopen(err_file.c_str(), "w", stderr);
      ::setenv("TESSARINE_HOME", temp_.File("home").c_str(), 1);
      if (::chdir(temp_.path().c_str()) == 0) {
        ::execl(TESSARINE_CLI, TESSARINE_CLI, "build", "site.tsn", static_cast<char*>(nullptr));
      }
      ::_exit(127);
    }
    // Once the second document's first page is written, the signal comes.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    const auto second_converted = [&] {
      std::error_code ec;
      return fs::exists(temp_.path() / "out/doc2.htm", ec);
    };
    while (!second_converted() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_EQ(::kill(child, signal), 0);
    int raw = 0;
    ASSERT_EQ(::waitpid(child, &raw, 0), child);
    ASSERT_TRUE(WIFEXITED(raw)) << "ended by signal " << (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    const std::string err = ReadBytes(err_file);
    EXPECT_NE(err.find(std::string(kInterruptedMessage)), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(temp_.path() / "out/default.htm")) << "the build was not stopped";
    for (const auto& entry : fs::recursive_directory_iterator(temp_.path() / "out")) {
      const std::string name = entry.path().filename().string();
      EXPECT_NE(name.front(), '.') << name << " left behind";
      if (entry.is_regular_file()) {
        EXPECT_GT(entry.file_size(), 0u) << name;
      }
    }
    const std::string kept_lead = "(the converted documents are kept in ";
    const size_t kept = err.find(kept_lead);
    if (kept == std::string::npos) {
      EXPECT_TRUE(Listing("tmp").empty()) << err;
    } else {
      const size_t start = kept + kept_lead.size();
      const std::string folder = err.substr(start, err.find(')', start) - start);
      EXPECT_FALSE(fs::is_empty(folder)) << folder;
      EXPECT_EQ(Listing("tmp").size(), 1u);
    }
  }
}

}  // namespace
}  // namespace tessarine::site
