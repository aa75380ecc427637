// A real document of the corpus built into a site beside a small one.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <string_view>

#include "project/project_settings.h"
#include "site/build_site.h"
#include "test_support.h"
#include "zip_writer.h"

namespace tessarine::site {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;

class QuietProgress : public BuildProgress {
 public:
  void SetValue(int /*value*/) override {}
  void SetState(std::string_view /*state*/) override {}
};

TEST(SiteBuildCorpus, ARealDocumentBuildsAsUtf8) {
  const fs::path corpus = testing::SharedDir() / "corpus/docx/poi__Numbering.docx";
  ASSERT_TRUE(fs::exists(corpus)) << corpus;
  testing::TempDir temp;
  fs::create_directories(temp.path() / "home/template");
  fs::copy(fs::path(TESSARINE_SOURCE_DIR) / "template/default",
           temp.path() / "home/template/default", fs::copy_options::recursive);
  fs::create_directories(temp.path() / "out");
  project::ProjectSettings settings = project::DefaultProjectSettings();
  settings.OutputDir = temp.File("out");
  project::AddDocumentRecord(settings, corpus.string());
  testing::WriteDocx(temp.File("guide.docx"), {{1, "Guide"}, {0, "Text"}, {1, "More"}});
  project::AddDocumentRecord(settings, temp.File("guide.docx"));
  settings.FileEncode = "1";  // UTF-8

  QuietProgress progress;
  std::atomic<bool> stop{false};
  const BuildOutcome outcome = BuildSite(settings, progress, stop, temp.File("home") + "/");
  ASSERT_TRUE(outcome.ok()) << outcome.status.message();
  ASSERT_FALSE(outcome.site_sections.empty());
  ASSERT_FALSE(outcome.site_sections[0].empty());
  const std::string home = ReadBytes(temp.File("out/doc1.htm"));
  EXPECT_EQ(home.rfind("\xEF\xBB\xBF", 0), 0u);  // UTF-8 with its mark
  EXPECT_NE(home.find("<title>poi__Numbering"), std::string::npos);
  EXPECT_TRUE(fs::exists(temp.File("out/doc1.files/tessarine.css")));
}

}  // namespace
}  // namespace tessarine::site
