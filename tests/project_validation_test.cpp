// The build's checks and the document dialog's OK checks, each with its
// exact message and the control that gets the focus.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

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
    for (const char* name : {"a.docx", "b.docx"}) {
      testing::WriteBytes(temp_.File(name), "");
      AddDocumentRecord(settings_, temp_.File(name));
    }
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

// Whatever the build would stop at later, validation refuses first, naming
// the document (by position, and in the message for stored values) and the
// field.
TEST_F(BuildChecks, EveryValueTheBuildWouldRefuseIsRefusedFirst) {
  struct Case {
    std::string DocumentRecord::*member;
    std::string value, message_piece;
  };
  const Case cases[] = {
      {&DocumentRecord::ParseLevel, "99", "ParseLevel 无效：\"99\"，只能是 0 到 8"},
      {&DocumentRecord::OptimizeMode, "7", "OptimizeMode 无效：\"7\""},
      {&DocumentRecord::NumberlistRule, "-3", "NumberlistRule"},
      {&DocumentRecord::FileNameRule, "9", "FileNameRule"},
      {&DocumentRecord::HeadTitleMode, "5", "HeadTitleMode"},
      {&DocumentRecord::MetaKeyMode, "abc", "MetaKeyMode"},
      {&DocumentRecord::MetaDescMode, "", "MetaDescMode"},
      {&DocumentRecord::ExpandLevel, "10", "ExpandLevel"},
      {&DocumentRecord::Toc, "yes", "Toc"},
      {&DocumentRecord::FilenamePre, std::string(65, 'a'), "最多 64 个字符"},
      {&DocumentRecord::SpecialFileName, "k|" + std::string(129, 'a'), "无效的文件名特例设置"},
      {&DocumentRecord::Path, temp_.File("missing.docx"),
       "无效的 Word 文档：\r\n" + temp_.File("missing.docx")},
  };
  for (const Case& c : cases) {
    const std::string kept = settings_.Documents[1].*c.member;
    settings_.Documents[1].*c.member = c.value;
    const auto failure = Validate();
    ASSERT_TRUE(failure.has_value()) << c.message_piece;
    EXPECT_EQ(failure->document, 2) << c.message_piece;
    EXPECT_NE(failure->message.find(c.message_piece), std::string::npos) << failure->message;
    if (c.member != &DocumentRecord::Path && c.member != &DocumentRecord::FilenamePre &&
        c.member != &DocumentRecord::SpecialFileName) {
      EXPECT_NE(failure->message.find("b.docx"), std::string::npos) << failure->message;
    }
    settings_.Documents[1].*c.member = kept;
  }
  settings_.FileExt = "." + std::string(16, 'h');
  EXPECT_EQ(Validate()->focus, FocusControl::kTxtFileExt);
  settings_.FileExt = ".htm";
  settings_.Template = std::string("default\0x", 9);
  EXPECT_EQ(Validate(), (ValidationFailure{"提示：无效的模板！"}));
  settings_.Template = "default";
  settings_.FileEncode = "2";
  EXPECT_NE(Validate()->message.find("FileEncode"), std::string::npos);
  settings_.FileEncode = "1";
  EXPECT_EQ(Validate(), std::nullopt);
}

// The logo must be a picture by its content, whatever its name says.
TEST_F(BuildChecks, TheLogoMustBeAPicture) {
  const std::pair<const char*, std::string> refused[] = {
      {"passwd", "root:x:0:0:root:/root:/bin/bash\n"},
      {"doc1.htm", "<html><body>page</body></html>"},
      {"fake.png", "not a picture"},
      {"text.svg", "plain text that mentions <svg but is no markup"},
  };
  for (const auto& [name, bytes] : refused) {
    testing::WriteBytes(temp_.File(name), bytes);
    settings_.PageTopLogo = temp_.File(name);
    const auto failure = Validate();
    ASSERT_TRUE(failure.has_value()) << name;
    EXPECT_NE(failure->message.find("Logo"), std::string::npos) << failure->message;
    EXPECT_NE(failure->message.find(name), std::string::npos) << failure->message;
  }
  const std::pair<const char*, std::string> accepted[] = {
      {"a.png", std::string("\x89PNG\r\n\x1a\n", 8) + "rest"},
      {"a.jpeg", "\xff\xd8\xff\xe0rest"},
      {"a.gif", "GIF89arest"},
      {"a.webp", std::string("RIFF\x10\0\0\0WEBPVP8 ", 16)},
      {"a.svg", "\xef\xbb\xbf<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\"/>"},
  };
  for (const auto& [name, bytes] : accepted) {
    testing::WriteBytes(temp_.File(name), bytes);
    settings_.PageTopLogo = temp_.File(name);
    EXPECT_EQ(Validate(), std::nullopt) << name;
  }
  settings_.PageTopLogo = temp_.File("no-such-logo.png");  // the template's logo is used
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
