// The batch run over real documents of the corpus: page names, charsets,
// clean-up modes, stops and the parallel run.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "batch/batch_settings.h"
#include "batch/run_batch.h"
#include "convert/conversion.h"
#include "support/text_file.h"
#include "test_support.h"

namespace tessarine::batch {
namespace {

namespace fs = std::filesystem;
using testing::FileTree;
using testing::ReadBytes;
using testing::SharedDir;
using testing::TempDir;

fs::path Corpus(const std::string& name) {
  return SharedDir() / "corpus" / "docx" / name;
}

class RecordingProgress : public BatchProgress {
 public:
  void SetValue(double value) override {
    values.push_back(value);
    if (stop_after > 0 && values.size() >= stop_after) stop->store(true);
  }
  void SetState(std::string_view state) override { states.emplace_back(state); }

  std::vector<double> values;
  std::vector<std::string> states;
  size_t stop_after = 0;
  std::atomic<bool>* stop = nullptr;
};

BatchSettings SettingsFor(const TempDir& out, std::vector<std::string> documents) {
  BatchSettings settings;
  settings.OutputDir = out.path().string() + "/";
  settings.Documents = std::move(documents);
  return settings;
}

BatchOutcome RunOnce(const BatchSettings& settings, unsigned jobs = 1,
                     RecordingProgress* recorder = nullptr) {
  RecordingProgress local;
  std::atomic<bool> stop{false};
  RecordingProgress& progress = recorder != nullptr ? *recorder : local;
  if (progress.stop == nullptr) progress.stop = &stop;
  return RunBatch(settings, progress, *progress.stop, jobs);
}

TEST(RunBatch, NamesPagesByRuleAndKeepsCompanionFolders) {
  TempDir out;
  const std::vector<std::string> documents = {Corpus("poi__bookmarks.docx").string(),
                                              Corpus("docx4j__tables.docx").string()};
  BatchSettings settings = SettingsFor(out, documents);
  BatchOutcome outcome = RunOnce(settings);
  ASSERT_TRUE(outcome.ok()) << outcome.status.message();
  EXPECT_TRUE(fs::exists(out.File("poi__bookmarks.htm")));
  EXPECT_TRUE(fs::exists(out.File("docx4j__tables.htm")));
  EXPECT_TRUE(fs::exists(out.File("docx4j__tables.files/filelist.xml")));

  settings.NameRule = FileNameRule::kNumber;
  settings.FileExt = ".html";
  outcome = RunOnce(settings);
  ASSERT_TRUE(outcome.ok()) << outcome.status.message();
  EXPECT_EQ(outcome.pages, (std::vector<std::string>{out.File("1.html"), out.File("2.html")}));
  EXPECT_TRUE(fs::exists(out.File("2.files/filelist.xml")));
}

TEST(RunBatch, RewritesTheCharsetOnlyWhenOneIsGiven) {
  TempDir out;
  BatchSettings settings = SettingsFor(out, {Corpus("poi__bookmarks.docx").string()});
  settings.Charset = "utf-8";
  settings.FileEncode = "1";
  ASSERT_TRUE(RunOnce(settings).ok());
  std::string page = ReadBytes(out.File("poi__bookmarks.htm"));
  EXPECT_NE(page.find("<meta http-equiv=Content-Type content=\"text/html; charset=utf-8\">"),
            std::string::npos);

  settings.Charset.clear();
  ASSERT_TRUE(RunOnce(settings).ok());
  page = ReadBytes(out.File("poi__bookmarks.htm"));
  EXPECT_NE(page.find("charset=gb2312\">"), std::string::npos);

  // A "$" in the charset is text, not a group reference.
  settings.Charset = "x$1";
  ASSERT_TRUE(RunOnce(settings).ok());
  EXPECT_NE(ReadBytes(out.File("poi__bookmarks.htm")).find("charset=x$1\">"), std::string::npos);
}

TEST(RunBatch, ModeZeroChangesNothingButTheCharsetAndTheEncoding) {
  TempDir out, word;
  const std::string document = Corpus("docx4j__tables.docx").string();
  ASSERT_TRUE(convert::ConvertToWordHtml(document, word.File("docx4j__tables.htm"), {}).ok());
  const std::string word_html = support::ReadTextFile(word.File("docx4j__tables.htm"));

  BatchSettings settings = SettingsFor(out, {document});
  settings.OptimizeMode = 0;
  settings.Charset = "utf-8";
  settings.FileEncode = "1";
  ASSERT_TRUE(RunOnce(settings).ok());
  std::string page = ReadBytes(out.File("docx4j__tables.htm"));
  ASSERT_TRUE(page.starts_with("\xEF\xBB\xBF"));  // UTF-8 with its mark
  page.erase(0, 3);
  std::string expected = word_html;
  const std::string from = "charset=gb2312\">";
  expected.replace(expected.find(from), from.size(), "charset=utf-8\">");
  EXPECT_EQ(page, expected);
}

TEST(RunBatch, SelectiveAndAllClearPagesHaveTheirStyleSheetInline) {
  TempDir out;
  BatchSettings settings = SettingsFor(out, {Corpus("docx4j__tables.docx").string()});
  ASSERT_TRUE(RunOnce(settings).ok());
  const std::string selective = support::ReadTextFile(out.File("docx4j__tables.htm"));
  // Word's head to the title stays; one inline sheet; Word's body tag.
  EXPECT_NE(selective.find("<title>"), std::string::npos);
  EXPECT_NE(selective.find("</title><style>\r\n/* Generator: Tessarine */\r\n"), std::string::npos);
  EXPECT_NE(selective.find("</style></head><body lang="), std::string::npos);
  EXPECT_TRUE(selective.ends_with("</body></html>"));
  EXPECT_EQ(selective.find("<div"), std::string::npos);
  EXPECT_EQ(selective.find("mso-"), std::string::npos) << "mode 1 removes Word's declarations";

  settings.OptimizeMode = 2;
  ASSERT_TRUE(RunOnce(settings).ok());
  const std::string all_clear = support::ReadTextFile(out.File("docx4j__tables.htm"));
  const size_t sheet_start = all_clear.find("</title><style>");
  const size_t sheet_end = all_clear.find("</style>", sheet_start);
  ASSERT_NE(sheet_end, std::string::npos);
  // The whole sheet, Word's own declarations included, behind the comment.
  const std::string sheet = all_clear.substr(sheet_start, sheet_end - sheet_start);
  EXPECT_NE(sheet.find("mso-"), std::string::npos);
  EXPECT_NE(sheet.find("@page WordSection1"), std::string::npos);
  const std::string body = all_clear.substr(all_clear.find("<body"));
  EXPECT_EQ(body.find("<span"), std::string::npos);
  EXPECT_NE(body.find("<table"), std::string::npos) << "tables stay with Opt2Table";
}

TEST(RunBatch, WrapsThePageToItsPaperWidth) {
  TempDir out;
  BatchSettings settings = SettingsFor(out, {Corpus("docx4j__tables.docx").string()});
  settings.OptPageWidth = true;
  settings.OptPageEffect = true;
  ASSERT_TRUE(RunOnce(settings).ok());
  const std::string page = support::ReadTextFile(out.File("docx4j__tables.htm"));
  EXPECT_NE(page.find("<table cellspacing=0 cellpadding=0 class=\"pageeffect\"><tr><td "
                      "class=\"pageeffect\"><table border=\"0\" cellpadding=\"0\" "
                      "cellspacing=\"0\" class=\"pagewidth\""),
            std::string::npos);
  EXPECT_TRUE(page.ends_with("</td></tr></table></td></table></body></html>"));
}

TEST(RunBatch, AnInvalidThirdItemEndsTheRunAfterTwoPages) {
  for (unsigned jobs : {1u, 2u}) {
    TempDir out;
    const std::string missing = out.File("missing.docx");
    BatchSettings settings = SettingsFor(
        out, {Corpus("poi__bookmarks.docx").string(), Corpus("docx4j__tables.docx").string(),
              missing, Corpus("oxsdk__equation.docx").string()});
    const BatchOutcome outcome = RunOnce(settings, jobs);
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.status.message(), "无效的 Word 文档：\r\n" + missing) << jobs;
    EXPECT_EQ(outcome.pages.size(), 2u);
    EXPECT_TRUE(fs::exists(out.File("poi__bookmarks.htm")));
    EXPECT_TRUE(fs::exists(out.File("docx4j__tables.htm")));
    EXPECT_FALSE(fs::exists(out.File("oxsdk__equation.htm"))) << "jobs " << jobs;
    // No working folder of a parallel run is left behind.
    size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(out.path())) {
      EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path();
      ++entries;
    }
    EXPECT_EQ(entries, 4u);
  }
}

TEST(RunBatch, ProgressAccumulatesToTheCapAndAStopEndsTheRun) {
  TempDir out;
  BatchSettings settings = SettingsFor(
      out, {Corpus("poi__bookmarks.docx").string(), Corpus("docx4j__tables.docx").string()});
  RecordingProgress progress;
  ASSERT_TRUE(RunOnce(settings, 1, &progress).ok());
  ASSERT_FALSE(progress.values.empty());
  EXPECT_DOUBLE_EQ(progress.values.front(), 2);
  EXPECT_TRUE(std::is_sorted(progress.values.begin(), progress.values.end()));
  EXPECT_DOUBLE_EQ(progress.values.back(), 97);
  EXPECT_TRUE(progress.states.empty());

  // Mode 0 steps: 2 + (9 + 9 + 18 + 9) / 2 per document, then 5.
  settings.OptimizeMode = 0;
  RecordingProgress plain;
  ASSERT_TRUE(RunOnce(settings, 1, &plain).ok());
  EXPECT_DOUBLE_EQ(plain.values.back(), 2 + 45 + 5);

  for (unsigned jobs : {1u, 2u}) {
    TempDir stopped_out;
    BatchSettings again = SettingsFor(stopped_out, settings.Documents);
    RecordingProgress stopping;
    std::atomic<bool> stop{false};
    stopping.stop = &stop;
    stopping.stop_after = 3;  // during the first document's conversion
    const BatchOutcome outcome = RunOnce(again, jobs, &stopping);
    ASSERT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.status.message(), "用户中断");
    EXPECT_EQ(stopping.states, std::vector<std::string>{"中断！"});
  }
}

TEST(RunBatch, ParallelRunWritesWhatASerialRunWrites) {
  // Twenty sound documents of the corpus; the last is another document under
  // the first one's file name, so the later of two pages of the same name
  // must win in both runs.
  std::vector<std::string> documents;
  for (const fs::path& path : testing::SoundCorpusDocuments()) {
    if (documents.size() < 19) documents.push_back(path.string());
  }
  ASSERT_EQ(documents.size(), 19u);
  TempDir same_name;
  const fs::path impostor = same_name.path() / fs::path(documents.front()).filename();
  fs::copy_file(documents[1], impostor);
  documents.push_back(impostor.string());

  TempDir serial_out, parallel_out;
  BatchSettings serial = SettingsFor(serial_out, documents);
  serial.NameRule = FileNameRule::kDocumentName;
  BatchSettings parallel = serial;
  parallel.OutputDir = parallel_out.path().string() + "/";
  const BatchOutcome one = RunOnce(serial, 1);
  ASSERT_TRUE(one.ok()) << one.status.message();
  const BatchOutcome two = RunOnce(parallel, 2);
  ASSERT_TRUE(two.ok()) << two.status.message();
  EXPECT_EQ(one.pages.size(), two.pages.size());
  EXPECT_EQ(one.diagnostics, two.diagnostics);
  const auto serial_tree = FileTree(serial_out.path());
  const auto parallel_tree = FileTree(parallel_out.path());
  EXPECT_GT(serial_tree.size(), 20u);
  EXPECT_TRUE(serial_tree == parallel_tree);
  const std::string first_page = fs::path(documents.front()).stem().string() + ".htm";
  EXPECT_EQ(serial_tree.at(first_page), parallel_tree.at(first_page));
}

}  // namespace
}  // namespace tessarine::batch
