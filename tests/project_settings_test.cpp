// Defaults of the project settings and of a new document record, and how
// AddDocumentRecord names records.
#include "project/project_settings.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "project/document_list.h"
#include "support/files.h"

namespace tessarine::project {
namespace {

TEST(DocumentRecord, FieldTableWalksEveryFieldOnceInRecordOrder) {
  const std::vector<std::string_view> expected = {
      "Path",          "FileName",        "NodeName",      "NumberlistRule", "FilenamePre",
      "FileNameRule",  "Header",          "Footer",        "HFHome",         "Toc",
      "TocIndent",     "Relative",        "RelativeTitle", "ParseLevel",     "ExpandLevel",
      "HeadTitleMode", "HeadTitle",       "MetaKeyMode",   "MetaKey",        "MetaDescMode",
      "MetaDesc",      "SpecialFileName", "OptimizeMode",  "Opt1VML",        "Opt1Absolute",
      "Opt1EQ",        "Opt1Margin",      "Opt1Space",     "Opt2Image",      "Opt2Table",
      "Opt2EQ",        "Opt2Indent",      "Opt2PtoBR",     "OptPageWidth",   "OptPageMargin",
      "OptPageEffect", "OutlineHeadings"};
  ASSERT_EQ(kDocumentFields.size(), expected.size());
  DocumentRecord record;
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(kDocumentFields[i].name, expected[i]);
    record.*kDocumentFields[i].member = std::string(kDocumentFields[i].name);
  }
  // Two entries sharing a member would leave one field with the other's name.
  for (const DocumentField& field : kDocumentFields) EXPECT_EQ(record.*field.member, field.name);
}

TEST(ProjectSettings, FieldTableWalksEverySettingOnce) {
  ProjectSettings settings;
  for (const SettingField& field : kSettingFields) {
    settings.*field.member = std::string(field.name);
  }
  std::set<std::string_view> names;
  for (const SettingField& field : kSettingFields) {
    EXPECT_EQ(settings.*field.member, field.name);
    names.insert(field.name);
  }
  EXPECT_EQ(names.size(), 16u);
  EXPECT_EQ(kSettingFields.front().name, "OutputDir");
  EXPECT_EQ(kSettingFields.back().name, "SiteSearch");
}

TEST(AddDocumentRecord, FillsTheDefaultsOfANewRecord) {
  ProjectSettings settings;
  EXPECT_EQ(AddDocumentRecord(settings, "/docs/user.guide.final.docx"), 1);
  const std::map<std::string_view, std::string> expected = {{"Path", "/docs/user.guide.final.docx"},
                                                            {"FileName", "user.guide.final.docx"},
                                                            {"NodeName", "user.guide.final"},
                                                            {"FilenamePre", "doc1"},
                                                            {"NumberlistRule", "0"},
                                                            {"FileNameRule", "0"},
                                                            {"Header", "0"},
                                                            {"Footer", "0"},
                                                            {"HFHome", "0"},
                                                            {"Toc", "1"},
                                                            {"TocIndent", "..."},
                                                            {"Relative", "1"},
                                                            {"RelativeTitle", ""},
                                                            {"ParseLevel", "8"},
                                                            {"ExpandLevel", "1"},
                                                            {"HeadTitleMode", "0"},
                                                            {"HeadTitle", ""},
                                                            {"MetaKeyMode", "0"},
                                                            {"MetaKey", ""},
                                                            {"MetaDescMode", "0"},
                                                            {"MetaDesc", ""},
                                                            {"SpecialFileName", ""},
                                                            {"OptimizeMode", "1"},
                                                            {"Opt1VML", "1"},
                                                            {"Opt1Absolute", "1"},
                                                            {"Opt1EQ", "1"},
                                                            {"Opt1Margin", "1"},
                                                            {"Opt1Space", "0"},
                                                            {"Opt2Image", "1"},
                                                            {"Opt2Table", "1"},
                                                            {"Opt2EQ", "1"},
                                                            {"Opt2Indent", "0"},
                                                            {"Opt2PtoBR", "0"},
                                                            {"OptPageWidth", "0"},
                                                            {"OptPageMargin", "0"},
                                                            {"OptPageEffect", "0"},
                                                            {"OutlineHeadings", "1"}};
  ASSERT_EQ(settings.Documents.size(), 1u);
  for (const DocumentField& field : kDocumentFields) {
    EXPECT_EQ(settings.Documents[0].*field.member, expected.at(field.name)) << field.name;
  }
}

TEST(AddDocumentRecord, NamesNodesAfterTheFileName) {
  struct Case {
    std::string path, file_name, node_name;
  };
  const Case cases[] = {
      {"D:\\docs\\user.guide.final.docx", "user.guide.final.docx", "user.guide.final"},
      {"/docs/report.DOC", "report.DOC", "report"},
      {"/docs/README", "README", "README"},  // no "." keeps the whole name
  };
  for (const Case& c : cases) {
    ProjectSettings settings;
    AddDocumentRecord(settings, c.path);
    EXPECT_EQ(settings.Documents[0].Path, c.path);
    EXPECT_EQ(settings.Documents[0].FileName, c.file_name) << c.path;
    EXPECT_EQ(settings.Documents[0].NodeName, c.node_name) << c.path;
  }
}

TEST(AddDocumentRecord, PrefixesAreNeverHandedOutTwice) {
  ProjectSettings settings;
  for (const char* path : {"/d/a.docx", "/d/b.docx", "/d/c.docx"})
    AddDocumentRecord(settings, path);
  EXPECT_EQ(settings.Documents[2].FilenamePre, "doc3");
  EmptyDocuments(settings.Documents);
  ResetProjectSettings(settings);  // a new project keeps the counter too
  EXPECT_EQ(AddDocumentRecord(settings, "/d/a.docx"), 1);
  EXPECT_EQ(settings.Documents[0].FilenamePre, "doc4");
}

TEST(ResetProjectSettings, GivesTheDefaultsAndKeepsCounterAndModifiedFlag) {
  ProjectSettings settings;
  AddDocumentRecord(settings, "/d/a.docx");
  settings.FileExt = ".html";
  settings.Charset = "big5";
  settings.ProjectFile = "/p/old.tsn";
  settings.ProjectModified = true;
  ResetProjectSettings(settings);

  EXPECT_EQ(settings.OutputDir, support::DefaultOutputFolder());
  EXPECT_EQ(settings.FileExt, ".htm");
  EXPECT_EQ(settings.Template, "default");
  EXPECT_EQ(settings.Charset, "gb2312");
  EXPECT_EQ(settings.FileEncode, "0");
  EXPECT_EQ(settings.PageNav, "1");
  EXPECT_EQ(settings.PageNavSep, "&nbsp;&gt;&gt;&nbsp;");
  EXPECT_EQ(settings.PageNavPreHTML, "<a href=\"default.htm\" target=\"_top\">网站首页</a>");
  EXPECT_EQ(settings.Copyright, "1");
  EXPECT_NE(settings.CopyrightHTML.find("&copy;"), std::string::npos);
  EXPECT_EQ(settings.CopyrightHTML.find_first_of("\r\n"), std::string::npos);
  EXPECT_EQ(settings.PageTopLogo, "");
  EXPECT_EQ(MultiLineToText(settings.PageTopNav), "首页|default.htm");
  EXPECT_EQ(settings.HeadTitle, "在线文档中心");
  EXPECT_EQ(settings.MetaKey, "");
  EXPECT_EQ(settings.MetaDesc, "");
  EXPECT_EQ(settings.SiteSearch, "1");
  EXPECT_TRUE(settings.Documents.empty());
  EXPECT_EQ(settings.ProjectFile, "");
  EXPECT_TRUE(settings.ProjectModified);
  EXPECT_EQ(settings.DocCounter, 1);
}

TEST(MultiLine, LinesAndEmptyLinesSurviveBothWays) {
  const std::string text = "首页|/\r\n\r\n在线文档|/doc/\r\nx";
  const std::string stored = TextToMultiLine(text);
  EXPECT_EQ(stored, "首页|/||||||在线文档|/doc/|||x");
  EXPECT_EQ(MultiLineToText(stored), text);
}

}  // namespace
}  // namespace tessarine::project
