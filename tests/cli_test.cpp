// The tessarine command run as a user runs it: exit statuses, messages and
// the project files it writes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "project/project_file.h"
#include "test_support.h"

namespace tessarine {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempDir;

struct CliRun {
  int status = -1;
  std::string out, err;
};

// A scratch data folder (with template/default/) and documents to add.
class Cli : public ::testing::Test {
 protected:
  Cli() {
    fs::create_directories(temp_.path() / "home/template/default");
    fs::create_directories(temp_.path() / "work/docs");
    testing::WriteBytes(temp_.File("work/docs/a.docx"), "PK");
    testing::WriteBytes(temp_.File("work/docs/b.DOC"), "doc");
  }

  // Runs tessarine in work/ with TESSARINE_HOME set to home/.
  CliRun Tessarine(const std::string& args) {
    const std::string command = "cd '" + temp_.File("work") + "' && TESSARINE_HOME='" +
                                temp_.File("home") + "' '" + TESSARINE_CLI + "' " + args + " >'" +
                                temp_.File("out") + "' 2>'" + temp_.File("err") + "'";
    CliRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadBytes(temp_.File("out"));
    run.err = ReadBytes(temp_.File("err"));
    return run;
  }

  project::ProjectSettings Load(const std::string& name) {
    project::ProjectSettings settings;
    const support::Status status = project::LoadProject(temp_.File("work/" + name), settings);
    EXPECT_TRUE(status.ok()) << status.message();
    return settings;
  }

  TempDir temp_;
};

TEST_F(Cli, VersionHelpAndUsageErrors) {
  CliRun run = Tessarine("--version");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, std::string("tessarine ") + TESSARINE_EXPECTED_VERSION + "\n");
  run = Tessarine("--help");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("tessarine check PROJECT.tsn"), std::string::npos) << run.out;
  for (const char* args : {"", "frobnicate", "check", "check a.tsn b.tsn", "new --bogus p.tsn"}) {
    run = Tessarine(args);
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_NE(run.err.find("--help"), std::string::npos) << args;
  }
}

TEST_F(Cli, NewWritesAProjectThatPassesCheck) {
  CliRun run = Tessarine("new site.tsn docs/a.docx ./docs/../docs/b.DOC");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const project::ProjectSettings settings = Load("site.tsn");
  ASSERT_EQ(settings.Documents.size(), 2u);
  EXPECT_EQ(settings.Documents[0].Path, temp_.File("work/docs/a.docx"));
  EXPECT_EQ(settings.Documents[1].Path, temp_.File("work/docs/b.DOC"));
  EXPECT_EQ(settings.Documents[0].FilenamePre, "doc1");
  EXPECT_EQ(settings.Documents[1].FilenamePre, "doc2");
  EXPECT_EQ(settings.Documents[1].NodeName, "b");
  EXPECT_EQ(settings.Template, "default");

  run = Tessarine("check site.tsn");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("OK"), std::string::npos);
}

TEST_F(Cli, NewKeepsAnExistingProjectUnlessForced) {
  ASSERT_EQ(Tessarine("new site.tsn docs/a.docx").status, 0);
  const std::string before = ReadBytes(temp_.File("work/site.tsn"));
  const CliRun run = Tessarine("new site.tsn");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("--force"), std::string::npos);
  EXPECT_EQ(ReadBytes(temp_.File("work/site.tsn")), before);
  ASSERT_EQ(Tessarine("new --force site.tsn").status, 0);
  EXPECT_TRUE(Load("site.tsn").Documents.empty());
}

TEST_F(Cli, CheckPrintsTheBuildMessageAndFails) {
  struct Case {
    std::function<void(project::ProjectSettings&)> edit;
    std::string expected_err;  // line breaks of the message become LF
  };
  const Case cases[] = {
      {[](auto& s) { s.Template = "../x"; }, "提示：无效的模板！\n"},
      {[](auto& s) { s.Documents[1].SpecialFileName = "下载|a/b"; },
       "无效的文件名特例设置：\n下载|a/b\n(document 2: " + temp_.File("work/docs/b.DOC") + ")\n"},
  };
  ASSERT_EQ(Tessarine("new site.tsn docs/a.docx docs/b.DOC").status, 0);
  for (const Case& c : cases) {
    project::ProjectSettings settings = Load("site.tsn");
    c.edit(settings);
    ASSERT_TRUE(project::SaveProject(temp_.File("work/bad.tsn"), settings).ok());
    const CliRun run = Tessarine("check bad.tsn");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, c.expected_err);
    EXPECT_EQ(run.out, "");
  }
}

TEST_F(Cli, CheckRefusesAFileThatIsNotAProject) {
  testing::WriteBytes(temp_.File("work/broken.tsn"), "{\"format\": \"tessarine-project\", ");
  const CliRun run = Tessarine("check broken.tsn");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("broken.tsn"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("不是有效的 JSON"), std::string::npos) << run.err;
}

// A real document converts; broken ones and unwritable targets fail with the
// step's message, and nothing is left behind for a document that never opened.
TEST_F(Cli, ConvertWritesWordHtmlOrSaysWhichStepFailed) {
  const fs::path corpus = testing::SharedDir() / "corpus/docx";
  CliRun run = Tessarine("convert '" + (corpus / "poi__bookmarks.docx").string() + "' page.htm");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("page.htm"), std::string::npos) << run.out;
  EXPECT_TRUE(fs::is_directory(temp_.path() / "work/page.files"));
  EXPECT_NE(ReadBytes(temp_.File("work/page.htm")).find("bookmarks"), std::string::npos);

  struct Case {
    std::string document;
    std::string target;
    std::string expected_prefix;
  };
  const Case cases[] = {
      {(corpus / "poi__truncated62886.docx").string(), "truncated.htm", "Open:"},
      {(corpus / "poi__bug53475-password-is-pass.docx").string(), "encrypted.htm", "Open:"},
      {temp_.File("work/docs/missing.docx"), "missing.htm", "Open:"},
      // docs/a.docx is a file, so no folder can be made under it.
      {(corpus / "poi__bookmarks.docx").string(), "docs/a.docx/page.htm", "SaveAs:"},
  };
  for (const Case& c : cases) {
    run = Tessarine("convert '" + c.document + "' " + c.target);
    EXPECT_EQ(run.status, 1) << c.document;
    // Warnings may come first; the failure is the last line.
    const size_t last_line = run.err.rfind('\n', run.err.size() - 2) + 1;
    EXPECT_EQ(run.err.compare(last_line, c.expected_prefix.size(), c.expected_prefix), 0)
        << run.err;
    EXPECT_GT(run.err.size() - last_line, c.expected_prefix.size() + 1) << "no reason: " << run.err;
    EXPECT_EQ(run.out, "");
    if (c.expected_prefix == "Open:") {
      EXPECT_FALSE(fs::exists(temp_.path() / "work" / c.target)) << c.target;
    }
  }
  EXPECT_EQ(Tessarine("convert page.htm").status, 2);
}

}  // namespace
}  // namespace tessarine
