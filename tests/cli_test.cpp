// The tessarine commands as a user runs them: exit statuses, messages and
// the project files they write. The commands run in-process; the last test
// runs the installed-style program itself.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>

#include "cli_runner.h"
#include "project/project_file.h"
#include "test_support.h"
#include "zip_writer.h"

namespace tessarine {
namespace {

namespace fs = std::filesystem;
using testing::CliRun;
using testing::ReadBytes;
using testing::TempDir;

// A scratch data folder (with template/default/) and documents to add.
class Cli : public ::testing::Test {
 protected:
  Cli() {
    fs::create_directories(temp_.path() / "home/template/default");
    fs::create_directories(temp_.path() / "work/docs");
    testing::WriteBytes(temp_.File("work/docs/a.docx"), "PK");
    testing::WriteBytes(temp_.File("work/docs/b.DOC"), "doc");
  }

  // Runs the command line in work/ with TESSARINE_HOME set to home/.
  CliRun Tessarine(const std::vector<std::string>& args, const std::string& input = "") {
    return testing::RunTessarine(temp_.path() / "work", temp_.path() / "home", args, input);
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
  CliRun run = Tessarine({"--version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, std::string("tessarine ") + TESSARINE_EXPECTED_VERSION + "\n");
  run = Tessarine({"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("tessarine check PROJECT.tsn"), std::string::npos) << run.out;
  const std::vector<std::vector<std::string>> usage_errors = {
      {}, {"frobnicate"}, {"check"}, {"check", "a.tsn", "b.tsn"}, {"new", "--bogus", "p.tsn"}};
  for (const std::vector<std::string>& args : usage_errors) {
    run = Tessarine(args);
    EXPECT_EQ(run.status, 2) << ::testing::PrintToString(args);
    EXPECT_NE(run.err.find("--help"), std::string::npos) << ::testing::PrintToString(args);
    EXPECT_EQ(run.out, "");
  }
}

TEST_F(Cli, NewWritesAProjectThatPassesCheck) {
  CliRun run = Tessarine({"new", "site.tsn", "docs/a.docx", "./docs/../docs/b.DOC"});
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

  run = Tessarine({"check", "site.tsn"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("OK"), std::string::npos);
}

TEST_F(Cli, NewKeepsAnExistingProjectUnlessForced) {
  ASSERT_EQ(Tessarine({"new", "site.tsn", "docs/a.docx"}).status, 0);
  const std::string before = ReadBytes(temp_.File("work/site.tsn"));
  const CliRun run = Tessarine({"new", "site.tsn"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("--force"), std::string::npos);
  EXPECT_EQ(ReadBytes(temp_.File("work/site.tsn")), before);
  ASSERT_EQ(Tessarine({"new", "--force", "site.tsn"}).status, 0);
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
  ASSERT_EQ(Tessarine({"new", "site.tsn", "docs/a.docx", "docs/b.DOC"}).status, 0);
  for (const Case& c : cases) {
    project::ProjectSettings settings = Load("site.tsn");
    c.edit(settings);
    ASSERT_TRUE(project::SaveProject(temp_.File("work/bad.tsn"), settings).ok());
    const CliRun run = Tessarine({"check", "bad.tsn"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, c.expected_err);
    EXPECT_EQ(run.out, "");
  }
}

TEST_F(Cli, CheckRefusesAFileThatIsNotAProject) {
  testing::WriteBytes(temp_.File("work/broken.tsn"), "{\"format\": \"tessarine-project\", ");
  const CliRun run = Tessarine({"check", "broken.tsn"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("broken.tsn"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("不是有效的 JSON"), std::string::npos) << run.err;
}

// A real document converts; broken ones and unwritable targets fail with the
// step's message, and nothing is left behind for a document that never opened.
TEST_F(Cli, ConvertWritesWordHtmlOrSaysWhichStepFailed) {
  const std::string sound = temp_.File("work/docs/bookmarks.docx");
  testing::WriteDocx(sound, {{1, "Bookmarks"}, {0, "bookmarks and their text"}});
  // Half a package, and an OLE compound file (what an encrypted package is)
  // under a .docx name.
  const std::string whole = ReadBytes(sound);
  const std::string truncated = temp_.File("work/docs/truncated.docx");
  testing::WriteBytes(truncated, whole.substr(0, whole.size() / 2));
  const std::string encrypted = temp_.File("work/docs/encrypted.docx");
  testing::WriteBytes(encrypted,
                      std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0'));
  CliRun run = Tessarine({"convert", sound, "page.htm"});
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
      {truncated, "truncated.htm", "Open:"},
      {encrypted, "encrypted.htm", "Open:"},
      {temp_.File("work/docs/missing.docx"), "missing.htm", "Open:"},
      // docs/a.docx is a file, so no folder can be made under it.
      {sound, "docs/a.docx/page.htm", "SaveAs:"},
  };
  for (const Case& c : cases) {
    run = Tessarine({"convert", c.document, c.target});
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
  EXPECT_EQ(Tessarine({"convert", "page.htm"}).status, 2);
}

// Shards of one list: for every N from 1 to 5 the shards' pages together are
// one run's pages byte for byte, numbered across the whole list, and no page
// comes from two shards. The list is NUL-separated and names documents with
// spaces, Chinese characters and a newline.
TEST_F(Cli, ShardsOfAListTogetherMakeOneRun) {
  // Three small documents of different text: the test is about the lists.
  std::vector<std::string> sources;
  for (const char* text : {"First", "Second", "Third"}) {
    sources.push_back(temp_.File(std::string("work/") + text + ".docx"));
    testing::WriteDocx(sources.back(), {{1, text}, {0, std::string(text) + " body text"}});
  }
  const std::vector<std::string> names = {
      "b two words.docx", "文档 三.docx", "a\nnewline.docx", "c.docx",
      "zz 最后.docx",     "d.docx",       "e.docx"};
  std::vector<std::string> paths;
  for (size_t i = 0; i < names.size(); ++i) {
    paths.push_back(temp_.File("work/docs/" + names[i]));
    fs::copy_file(sources[i % 3], paths.back());
  }
  std::string list;  // in the order given, not sorted
  for (const std::string& path : paths) list += path + '\0';
  testing::WriteBytes(temp_.File("work/list"), list);
  std::vector<std::string> sorted = paths;
  std::sort(sorted.begin(), sorted.end());
  std::string sorted_list;
  for (const std::string& path : sorted) sorted_list += path + '\0';
  testing::WriteBytes(temp_.File("work/sorted"), sorted_list);

  fs::create_directories(temp_.path() / "work/single");
  CliRun run = Tessarine(
      {"batch", "--names", "number", "-0", "--files-from", "sorted", "--output", "single"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto single = testing::FileTree(temp_.path() / "work/single");
  ASSERT_TRUE(single.contains("1.htm") && single.contains("7.htm")) << single.size();

  for (int shards = 1; shards <= 5; ++shards) {
    std::map<std::string, std::string> joined;
    for (int k = 1; k <= shards; ++k) {
      const std::string out = "shard" + std::to_string(k) + "of" + std::to_string(shards);
      fs::create_directories(temp_.path() / "work" / out);
      run = Tessarine({"batch", "--names", "number", "--files-from", "list", "-0", "--shard",
                       std::to_string(k) + "/" + std::to_string(shards), "--output", out});
      ASSERT_EQ(run.status, 0) << run.err;
      for (auto& [file, bytes] : testing::FileTree(temp_.path() / "work" / out)) {
        EXPECT_TRUE(joined.emplace(file, std::move(bytes)).second) << file << " twice in " << out;
      }
    }
    EXPECT_TRUE(joined == single) << shards << " shards";
  }

  // A newline-separated list on standard input, pages named after the
  // documents, beside names given on the command line.
  fs::create_directories(temp_.path() / "work/by-name");
  fs::create_directories(temp_.path() / "work/by-name-stdin");
  ASSERT_EQ(
      Tessarine({"batch", "--output", "by-name", "docs/c.docx", "docs/文档 三.docx", "docs/d.docx"})
          .status,
      0);
  run = Tessarine({"batch", "--output", "by-name-stdin", "--files-from", "-", "docs/c.docx"},
                  "\ndocs/文档 三.docx\ndocs/d.docx\n");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(testing::FileTree(temp_.path() / "work/by-name") ==
              testing::FileTree(temp_.path() / "work/by-name-stdin"));
}

TEST_F(Cli, BatchListAndShardMistakes) {
  fs::create_directories(temp_.path() / "work/out");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err_part;
  };
  const Case cases[] = {
      {{"batch", "--output", "out"}, 2, "--files-from"},
      {{"batch", "--output", "out", "-0", "docs/a.docx"}, 2, "-0"},
      {{"batch", "--output", "out", "--shard", "0/3", "docs/a.docx"}, 2, "K/N"},
      {{"batch", "--output", "out", "--shard", "4/3", "docs/a.docx"}, 2, "K/N"},
      {{"batch", "--output", "out", "--shard", "2", "docs/a.docx"}, 2, "K/N"},
      {{"batch", "--output", "out", "--files-from", "missing.list"}, 1, "missing.list"},
      {{"batch", "--output", "out", "--files-from", "/dev/null"}, 1, "至少要有一个文档"},
  };
  for (const Case& c : cases) {
    const CliRun run = Tessarine(c.args);
    const std::string shown = ::testing::PrintToString(c.args);
    EXPECT_EQ(run.status, c.status) << shown << ": " << run.err;
    EXPECT_NE(run.err.find(c.err_part), std::string::npos) << shown << ": " << run.err;
  }
  // More shards than documents: the empty ones succeed without a page.
  const CliRun run =
      Tessarine({"batch", "--output", "out", "--shard", "1/3", "docs/a.docx", "docs/b.DOC"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("empty"), std::string::npos) << run.out;
  EXPECT_TRUE(fs::is_empty(temp_.path() / "work/out"));
}

// The program itself hands its arguments, standard streams and exit status
// to the commands: an answer on standard output, a refusal on standard error
// with its status, and `--files-from -` reading standard input.
TEST_F(Cli, TheProgramConnectsTheCommandsToItsStreams) {
  struct Case {
    std::string args;
    int status;
    std::string out_part;
    std::string err_part;
  };
  const Case cases[] = {
      {"--version", 0, std::string("tessarine ") + TESSARINE_EXPECTED_VERSION + "\n", ""},
      {"frobnicate", 2, "", "unknown command 'frobnicate'"},
      {"batch --output . --files-from - </dev/null", 1, "", "至少要有一个文档"},
  };
  for (const Case& c : cases) {
    const std::string command = "cd '" + temp_.File("work") + "' && TESSARINE_HOME='" +
                                temp_.File("home") + "' '" + TESSARINE_CLI + "' " + c.args + " >'" +
                                temp_.File("out") + "' 2>'" + temp_.File("err") + "'";
    const int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw)) << c.args;
    EXPECT_EQ(WEXITSTATUS(raw), c.status) << c.args;
    const std::string out = ReadBytes(temp_.File("out"));
    const std::string err = ReadBytes(temp_.File("err"));
    EXPECT_NE(out.find(c.out_part), std::string::npos) << c.args << ": " << out;
    EXPECT_NE(err.find(c.err_part), std::string::npos) << c.args << ": " << err;
    if (c.out_part.empty()) {
      EXPECT_EQ(out, "") << c.args;
    }
    if (c.err_part.empty()) {
      EXPECT_EQ(err, "") << c.args;
    }
  }
}

}  // namespace
}  // namespace tessarine
