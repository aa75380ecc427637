// Project files: a full round trip, relative document paths, refusal of bad
// files without touching the open project, and saving that never leaves half
// a file.
#include "project/project_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>

#include "project/validation.h"
#include "test_support.h"

namespace tessarine::project {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

// Every setting and field set to a value of its own, with Chinese text and
// multi-line values; one document inside the project folder, one outside.
ProjectSettings FullProject(const fs::path& project_folder) {
  ProjectSettings settings;
  // Fields the build reads as a list choice or a flag hold "1", a value of
  // theirs the defaults do not all have; the others text of their own.
  for (const SettingField& field : kSettingFields) {
    settings.*field.member = std::string(field.name) + " 设置|||第二行\"引号\"";
    if (CheckSettingValues(settings)) settings.*field.member = "1";
  }
  for (const std::string& path :
       {(project_folder / "docs/第一章.docx").string(), std::string("/elsewhere/b.doc")}) {
    AddDocumentRecord(settings, path);
    for (const DocumentField& field : kDocumentFields) {
      if (field.name == "Path") continue;
      DocumentRecord& record = settings.Documents.back();
      record.*field.member = std::string(field.name) + "·值|||二";
      if (CheckRecordValues(record)) record.*field.member = "1";
    }
  }
  settings.Documents.back().SpecialFileName = "常见问题|faq|||下载|download-2.0";
  settings.PageTopLogo = (project_folder / "图片/logo.png").string();
  return settings;
}

TEST(ProjectFile, RoundTripKeepsEveryField) {
  TempDir temp;
  const std::string file = temp.File("site.tsn");
  ProjectSettings saved = FullProject(temp.path());
  saved.ProjectModified = true;
  ASSERT_TRUE(SaveProject(file, saved).ok());
  EXPECT_EQ(saved.ProjectFile, file);
  EXPECT_FALSE(saved.ProjectModified);

  ProjectSettings loaded;
  loaded.ProjectModified = true;
  const support::Status status = LoadProject(file, loaded);
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_EQ(loaded, saved);

  // Inside the project folder relative, elsewhere absolute; text kept as UTF-8.
  const nlohmann::json json = nlohmann::json::parse(ReadBytes(file));
  EXPECT_EQ(json["documents"][0]["Path"], "docs/第一章.docx");
  EXPECT_EQ(json["documents"][1]["Path"], "/elsewhere/b.doc");
  EXPECT_EQ(json["settings"]["PageTopLogo"], "图片/logo.png");
  EXPECT_EQ(json["DocCounter"], 2);
  EXPECT_FALSE(json["settings"].contains("ProjectModified"));
  EXPECT_NE(ReadBytes(file).find("下载|download-2.0"), std::string::npos);
}

TEST(ProjectFile, AProjectFolderMovesWithItsDocuments) {
  TempDir temp;
  fs::create_directories(temp.path() / "a");
  ProjectSettings settings = FullProject(temp.path() / "a");
  ASSERT_TRUE(SaveProject(temp.File("a/site.tsn"), settings).ok());
  fs::rename(temp.path() / "a", temp.path() / "b");

  ProjectSettings loaded;
  ASSERT_TRUE(LoadProject(temp.File("b/site.tsn"), loaded).ok());
  EXPECT_EQ(loaded.Documents[0].Path, temp.File("b/docs/第一章.docx"));
  EXPECT_EQ(loaded.Documents[1].Path, "/elsewhere/b.doc");
  EXPECT_EQ(loaded.PageTopLogo, temp.File("b/图片/logo.png"));
  EXPECT_EQ(loaded.ProjectFile, temp.File("b/site.tsn"));
}

TEST(ProjectFile, ReadsAVersionOneFileAndIgnoresUnknownKeys) {
  TempDir temp;
  fs::copy_file(testing::FixturesDir() / "project/relative_v1.tsn", temp.path() / "p.tsn");
  ProjectSettings settings;
  settings.DocCounter = 3;
  ASSERT_TRUE(LoadProject(temp.File("p.tsn"), settings).ok());
  EXPECT_EQ(settings.PageTopNav, "首页|/|||手册|/manual/");
  ASSERT_EQ(settings.Documents.size(), 1u);
  EXPECT_EQ(settings.Documents[0].Path, temp.File("documents/guide.docx"));
  EXPECT_EQ(settings.Documents[0].NodeName, "使用指南");
  // Written before outline-level headings existed: they are on, as for a new record.
  EXPECT_EQ(settings.Documents[0].OutlineHeadings, "1");
  // ...and before readers' search existed: the site gets it.
  EXPECT_EQ(settings.SiteSearch, "1");
  EXPECT_EQ(settings.DocCounter, 7);  // raised to the file's counter

  settings.DocCounter = 40;  // ...but never lowered
  ASSERT_TRUE(LoadProject(temp.File("p.tsn"), settings).ok());
  EXPECT_EQ(settings.DocCounter, 40);
}

TEST(ProjectFile, RefusesBadFilesAndChangesNothing) {
  using Edit = std::function<void(nlohmann::ordered_json&)>;
  struct Case {
    std::string name;
    Edit edit;
    std::string problem;  // part of the message
  };
  const Case cases[] = {
      {"foreign",
       [](auto& j) {
         j = {{"name", "package"}, {"version", 1}};
       },
       "不是 Tessarine 项目文件"},
      {"other format", [](auto& j) { j["format"] = "other-project"; }, "不是 Tessarine 项目文件"},
      {"array", [](auto& j) { j = nlohmann::ordered_json::array(); }, "不是 Tessarine 项目文件"},
      {"newer", [](auto& j) { j["version"] = 2; }, "格式版本为 2"},
      {"version text", [](auto& j) { j["version"] = "1"; }, "\"version\" 的类型不对"},
      {"no version", [](auto& j) { j.erase("version"); }, "缺少格式版本 \"version\""},
      {"settings array", [](auto& j) { j["settings"] = nlohmann::ordered_json::array(); },
       "\"settings\" 的类型不对"},
      {"missing setting", [](auto& j) { j["settings"].erase("FileExt"); }, "缺少 \"FileExt\""},
      {"number field", [](auto& j) { j["documents"][0]["Toc"] = 1; }, "\"Toc\" 不是文本"},
      {"missing path", [](auto& j) { j["documents"][0].erase("Path"); },
       "documents 第 1 项缺少 \"Path\""},
      {"documents object", [](auto& j) { j["documents"] = nlohmann::ordered_json::object(); },
       "\"documents\" 的类型不对"},
      {"negative counter", [](auto& j) { j["DocCounter"] = -1; }, "\"DocCounter\""},
      {"choice out of range", [](auto& j) { j["documents"][0]["ParseLevel"] = "99"; },
       "ParseLevel 无效：\"99\""},
      {"flag out of range", [](auto& j) { j["settings"]["FileEncode"] = "7"; }, "FileEncode"},
  };
  TempDir temp;
  const std::string fixture = ReadBytes(testing::FixturesDir() / "project/relative_v1.tsn");
  ProjectSettings settings = FullProject(temp.path());
  settings.ProjectFile = "/p/open.tsn";
  const ProjectSettings before = settings;
  for (const Case& c : cases) {
    auto json = nlohmann::ordered_json::parse(fixture);
    c.edit(json);
    const std::string file = temp.File(c.name + ".tsn");
    WriteBytes(file, json.dump());
    const support::Status status = LoadProject(file, settings);
    EXPECT_FALSE(status.ok()) << c.name;
    EXPECT_NE(status.message().find(file), std::string::npos) << status.message();
    EXPECT_NE(status.message().find(c.problem), std::string::npos) << status.message();
    EXPECT_EQ(settings, before) << c.name;
  }

  const std::string truncated = temp.File("truncated.tsn");
  WriteBytes(truncated, fixture.substr(0, fixture.size() / 2));
  fs::copy_file(testing::FixturesDir() / "project/not_json.tsn", temp.path() / "not_json.tsn");
  WriteBytes(temp.File("empty.tsn"), "");
  for (const std::string& file : {truncated, temp.File("not_json.tsn"), temp.File("empty.tsn")}) {
    const support::Status status = LoadProject(file, settings);
    EXPECT_NE(status.message().find("不是有效的 JSON"), std::string::npos) << status.message();
    EXPECT_NE(status.message().find(file), std::string::npos) << status.message();
    EXPECT_EQ(settings, before) << file;
  }
  const support::Status missing = LoadProject(temp.File("missing.tsn"), settings);
  EXPECT_NE(missing.message().find(temp.File("missing.tsn")), std::string::npos);
  EXPECT_EQ(settings, before);
}

// Saves `settings` over `file`, expecting a failure that leaves the old file
// exactly as it was and no temporary file behind.
void ExpectFailedSaveKeepsOldFile(const TempDir& temp, const std::string& file,
                                  ProjectSettings settings) {
  const std::string old_bytes = ReadBytes(file);
  const ProjectSettings before = settings;
  const support::Status status = SaveProject(file, settings);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find(file), std::string::npos) << status.message();
  EXPECT_EQ(ReadBytes(file), old_bytes);
  EXPECT_EQ(settings, before);
  for (const auto& entry : fs::directory_iterator(temp.path())) {
    EXPECT_EQ(entry.path().string(), file) << "left behind";
  }
}

TEST(SaveProject, AWriteThatFailsHalfwayKeepsTheOldFile) {
  TempDir temp;
  const std::string file = temp.File("site.tsn");
  ProjectSettings settings = FullProject(temp.path());
  ASSERT_TRUE(SaveProject(file, settings).ok());

  // A file-size limit binds root too: the new, larger text cannot be written
  // in full.
  settings.CopyrightHTML.assign(256 * 1024, 'x');
  rlimit old_limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  rlimit limit = old_limit;
  limit.rlim_cur = 64 * 1024;
  const auto old_handler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  ExpectFailedSaveKeepsOldFile(temp, file, settings);
  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);
}

TEST(SaveProject, TextThatIsNotUtf8IsRefusedBeforeWriting) {
  TempDir temp;
  const std::string file = temp.File("site.tsn");
  ProjectSettings settings = FullProject(temp.path());
  ASSERT_TRUE(SaveProject(file, settings).ok());
  settings.MetaKey = "\xff\xfe";
  ExpectFailedSaveKeepsOldFile(temp, file, settings);
}

TEST(SaveProject, AFolderThatIsAFileOrATargetThatIsAFolderFails) {
  TempDir temp;
  WriteBytes(temp.File("folder"), "a regular file");
  ProjectSettings settings = FullProject(temp.path());
  const ProjectSettings before = settings;
  const support::Status status = SaveProject(temp.File("folder/site.tsn"), settings);
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find(temp.File("folder/site.tsn")), std::string::npos);
  EXPECT_EQ(settings, before);
  EXPECT_EQ(ReadBytes(temp.File("folder")), "a regular file");

  fs::create_directories(temp.path() / "site.tsn/inside");
  EXPECT_FALSE(SaveProject(temp.File("site.tsn"), settings).ok());
  EXPECT_TRUE(fs::is_directory(temp.path() / "site.tsn/inside"));
  EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), fs::directory_iterator()), 2);
}

}  // namespace
}  // namespace tessarine::project
