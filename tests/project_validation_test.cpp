// The build's checks and the document dialog's OK checks, each with its
// exact message and the control that gets the focus.
#include <gtest/gtest.h>

#include <filesystem>

#include "project/validation.h"
#include "test_support.h"

namespace tessarine::project {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

constexpr char kBadPrefix[] = "无效的文件名前缀，不能为空，只允许英文字母和数字！";
constexpr char kReservedPrefix[] = "无效的文件名前缀，不能为以下关键字：\r\ndefault, left, top";
constexpr char kBadSpecial[] = "无效的文件名特例设置：\r\n";

// A data folder with template/default/, an output folder and a project with
// two valid documents.
class BuildChecks : public ::testing::Test {
 protected:
  BuildChecks() {
    fs::create_directories(temp_.path() / "data/template/default");
    fs::create_directories(temp_.path() / "out");
    data_folder_ = temp_.File("data") + "/";
    settings_.OutputDir = temp_.File("out");
    AddDocumentRecord(settings_, "/d/a.docx");
    AddDocumentRecord(settings_, "/d/b.docx");
  }
  std::optional<ValidationFailure> Validate() { return ValidateBuild(settings_, data_folder_); }

  TempDir temp_;
  std::string data_folder_;
  ProjectSettings settings_;
};

TEST_F(BuildChecks, AValidProjectPassesWithItsValuesNormalised) {
  settings_.OutputDir = temp_.path().string() + "\\out";
  settings_.FileExt = " .HTML ";
  EXPECT_EQ(Validate(), std::nullopt);
  EXPECT_EQ(settings_.OutputDir, temp_.File("out") + "/");
  EXPECT_EQ(settings_.FileExt, ".HTML");
}

TEST_F(BuildChecks, OutputFolderMustExist) {
  testing::WriteBytes(temp_.File("file"), "");
  for (const std::string& dir : {temp_.File("missing"), temp_.File("file"), std::string()}) {
    settings_.OutputDir = dir;
    const ValidationFailure expected{"提示：无效的输出文件夹！", FocusControl::kTxtOutputDir, 0};
    EXPECT_EQ(Validate(), expected) << dir;
  }
  EXPECT_EQ(ControlName(FocusControl::kTxtOutputDir), "txtOutputDir");
}

TEST_F(BuildChecks, FileExtensionIsADotWithLettersAndDigits) {
  for (const char* ext : {".ht-m", "htm", ".", "", ".htm\n", ". htm"}) {
    settings_.FileExt = ext;
    const ValidationFailure expected{"提示：无效的输出文件扩展名格式！", FocusControl::kTxtFileExt,
                                     0};
    EXPECT_EQ(Validate(), expected) << ext;
    // The normalised folder was stored back before the failing check.
    EXPECT_EQ(settings_.OutputDir, temp_.File("out") + "/");
  }
}

TEST_F(BuildChecks, TemplateIsOneExistingFolderName) {
  fs::create_directories(temp_.path() / "data/x");             // reachable only through ".."
  testing::WriteBytes(temp_.File("data/template/plain"), "");  // a file, not a folder
  for (const char* name : {"", "missing", "../x", ".", "..", "default/", "/tmp", "a\\b", "plain"}) {
    settings_.Template = name;
    settings_.FileExt = " .htm";
    EXPECT_EQ(Validate(), (ValidationFailure{"提示：无效的模板！"})) << name;
    EXPECT_EQ(settings_.FileExt, ".htm");
  }
}

TEST_F(BuildChecks, CharsetDocumentsAndPrefixesInTurn) {
  settings_.Charset = "";
  EXPECT_EQ(Validate(), (ValidationFailure{"提示：无效的页面字符集！"}));
  settings_.Charset = "big5";
  settings_.Documents[0].FilenamePre = "Doc";
  settings_.Documents[1].FilenamePre = "doc";
  EXPECT_EQ(Validate(), (ValidationFailure{"提示：有多个文档的生成文件名前缀相同！"}));
  settings_.Documents.clear();
  EXPECT_EQ(Validate(), (ValidationFailure{"提示：请选择要转换的 Word 文档，至少要有一个文档！"}));
}

TEST_F(BuildChecks, RecordsThatWouldWriteOutsideTheOutputFolderAreRefused) {
  struct Case {
    std::string prefix, special, message;
  };
  const Case cases[] = {
      {"../x", "", kBadPrefix},
      {"", "", kBadPrefix},
      {"LEFT", "", kReservedPrefix},
      {"doc9", "ok|fine||| a|b/c ", std::string(kBadSpecial) + "a|b/c"},
      {"doc9", "常见问题|../../etc", std::string(kBadSpecial) + "常见问题|../../etc"},
  };
  for (const Case& c : cases) {
    settings_.Documents[1].FilenamePre = c.prefix;
    settings_.Documents[1].SpecialFileName = c.special;
    EXPECT_EQ(Validate(), (ValidationFailure{c.message, FocusControl::kNone, 2})) << c.prefix;
  }
  settings_.Documents[1].SpecialFileName = " 常见问题|faq |||||| 下载|download-2.0";
  EXPECT_EQ(Validate(), std::nullopt);
}

TEST(PrefixesUnique, ComparesIgnoringCase) {
  const auto list = [](std::vector<std::string> prefixes) {
    DocumentList documents(prefixes.size());
    for (size_t i = 0; i < prefixes.size(); ++i) documents[i].FilenamePre = prefixes[i];
    return documents;
  };
  EXPECT_TRUE(PrefixesUnique(list({})));
  EXPECT_TRUE(PrefixesUnique(list({"doc1", "doc2", "doc12"})));
  EXPECT_FALSE(PrefixesUnique(list({"doc1", "x", "DOC1"})));
}

// An existing report.DOCX for the dialog checks.
class DialogChecks : public ::testing::Test {
 protected:
  DialogChecks() { testing::WriteBytes(document_, "PK"); }
  DocumentEntriesCheck Check(std::string prefix, std::string special = "") {
    return CheckDocumentEntries({document_, std::move(prefix), std::move(special)});
  }
  TempDir temp_;
  std::string document_ = temp_.File("report.DOCX");
};

TEST_F(DialogChecks, PathIsTrimmedAndMustNameAWordFile) {
  DocumentEntriesCheck check = CheckDocumentEntries({"  " + document_ + "  ", "doc1", ""});
  EXPECT_TRUE(check.ok());
  EXPECT_EQ(check.entries.Path, document_);

  testing::WriteBytes(temp_.File("notes.txt"), "x");
  for (const std::string& path :
       {temp_.File("missing.docx"), temp_.File("notes.txt"), temp_.path().string()}) {
    check = CheckDocumentEntries({" " + path, " doc1 ", ""});
    const ValidationFailure expected{"无效的 Word 文件，请检查指定路径下的文件是否存在！",
                                     FocusControl::kTxtPath, 0};
    EXPECT_EQ(check.failure, expected) << path;
    EXPECT_EQ(check.entries.Path, path);
    EXPECT_EQ(check.entries.FilenamePre, " doc1 ");  // not validated yet, so untouched
  }
}

TEST_F(DialogChecks, PrefixIsLettersAndDigitsAndNoReservedName) {
  struct Case {
    std::string prefix;
    std::optional<std::string> message;
  };
  const Case cases[] = {
      {"Doc2", std::nullopt},    {" doc2 ", std::nullopt},
      {"doc_2", kBadPrefix},     {"doc 2", kBadPrefix},
      {"", kBadPrefix},          {"文档", kBadPrefix},
      {"LEFT", kReservedPrefix}, {"default", kReservedPrefix},
      {"Top", kReservedPrefix},  {"topx", std::nullopt},
  };
  for (const Case& c : cases) {
    const DocumentEntriesCheck check = Check(c.prefix);
    if (!c.message) {
      EXPECT_TRUE(check.ok()) << c.prefix;
      continue;
    }
    EXPECT_EQ(check.failure, (ValidationFailure{*c.message, FocusControl::kTxtFilenamePre, 0}))
        << c.prefix;
  }
  EXPECT_EQ(Check(" doc2 ").entries.FilenamePre, "doc2");
}

TEST_F(DialogChecks, SpecialNamesAreTrimmedAndJoined) {
  const DocumentEntriesCheck check =
      Check("doc1", "  常见问题|faq  \r\n\r\n   \r\n下载|download-2.0\r\n");
  ASSERT_TRUE(check.ok());
  EXPECT_EQ(check.entries.SpecialFileNameText, "常见问题|faq\r\n下载|download-2.0");
  EXPECT_EQ(TextToMultiLine(check.entries.SpecialFileNameText), "常见问题|faq|||下载|download-2.0");
  EXPECT_EQ(Check("doc1", "a|b.htm\nc|d").entries.SpecialFileNameText, "a|b.htm\r\nc|d");
}

TEST_F(DialogChecks, ABadSpecialLineIsNamedAndTheTextKeptTrimmed) {
  for (const std::string line : {"faq", "a|b|c", "常见问题|常见", "|faq", "下载|a b"}) {
    const std::string text = "  ok|fine\r\n " + line + "  ";
    const DocumentEntriesCheck check = Check("doc1", text);
    EXPECT_EQ(check.failure, (ValidationFailure{kBadSpecial + line, FocusControl::kNone, 0}))
        << line;
    EXPECT_EQ(check.entries.SpecialFileNameText, "ok|fine\r\n " + line);
  }
}

}  // namespace
}  // namespace tessarine::project
