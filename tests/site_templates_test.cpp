// Template blocks, placeholders, content-page writing and the shipped
// default template.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "site/templates.h"
#include "test_support.h"

namespace tessarine::site {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempDir;

std::string Resolve(std::string_view text, std::string_view page_nav, std::string_view copyright) {
  const auto skeleton = ResolveTemplateBlocks(text, page_nav, copyright);
  EXPECT_TRUE(skeleton.ok()) << skeleton.message();
  return skeleton.value_or("<error>");
}

std::string Fill(std::string_view text, const PlaceholderMap& values,
                 std::string_view names = kPagePlaceholderNames) {
  const auto filled = FillPlaceholders(text, names, values);
  EXPECT_TRUE(filled.ok()) << filled.message();
  return filled.value_or("<error>");
}

TEST(TemplateBlocks, KeptWithoutMarkersOrDroppedByTheSwitches) {
  const struct {
    const char* text;
    const char* nav_on;      // PageNav "1", Copyright "1"
    const char* nav_off;     // PageNav "0", Copyright "1"
    const char* rights_off;  // PageNav "1", Copyright "0"
  } cases[] = {
      {"a<!--Begin:NAV-->x<!--End:NAV  -->b", "axb", "ab", "axb"},
      {"<!--  begin:nav -->x\r\ny<!--END:Nav-->", "x\r\ny", "", "x\r\ny"},
      {"<!--Begin:copyright-->(c)<!--End:copyright-->", "(c)", "(c)", ""},
      {"<!--Begin:nav-->1<!--End:nav-->-<!--Begin:nav-->2<!--End:nav-->", "1-2", "-", "1-2"},
      // Not blocks: they stay as written.
      {"<!--Begin: nav-->x<!--End: nav-->", "<!--Begin: nav-->x<!--End: nav-->",
       "<!--Begin: nav-->x<!--End: nav-->", "<!--Begin: nav-->x<!--End: nav-->"},
      {"<!--Begin:ads-->x<!--End:ads-->", "<!--Begin:ads-->x<!--End:ads-->",
       "<!--Begin:ads-->x<!--End:ads-->", "<!--Begin:ads-->x<!--End:ads-->"},
      {"<!--Begin:nav-->x<!--End:copyright-->", "<!--Begin:nav-->x<!--End:copyright-->",
       "<!--Begin:nav-->x<!--End:copyright-->", "<!--Begin:nav-->x<!--End:copyright-->"},
      {"<!--Begin:nav--><!--End:nav-->", "<!--Begin:nav--><!--End:nav-->",
       "<!--Begin:nav--><!--End:nav-->", "<!--Begin:nav--><!--End:nav-->"},
      // An empty block is no block: the content runs on to the next end marker.
      {"<!--Begin:nav--><!--End:nav-->x<!--End:nav-->y", "<!--End:nav-->xy", "y",
       "<!--End:nav-->xy"},
      {"no blocks {nav}", "no blocks {nav}", "no blocks {nav}", "no blocks {nav}"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Resolve(c.text, "1", "1"), c.nav_on) << c.text;
    EXPECT_EQ(Resolve(c.text, "0", "1"), c.nav_off) << c.text;
    EXPECT_EQ(Resolve(c.text, "1", "0"), c.rights_off) << c.text;
  }
  // Only "0" switches a block off.
  EXPECT_EQ(Resolve("<!--Begin:nav-->x<!--End:nav-->", "", ""), "x");
}

TEST(Placeholders, ReplacedOnceIgnoringCase) {
  const PlaceholderMap values = {
      {"title", "T"}, {"content", "<p>{title} and {content}</p>"}, {"charset", "gb2312"}};
  const struct {
    const char* text;
    const char* filled;
  } cases[] = {
      {"{TITLE}{Title}{title}", "TTT"},
      {"{title }{ title}{foo}", "{title }{ title}{foo}"},
      {"p {color:red} {charset}", "p {color:red} gb2312"},
      {"<b>{metakey}</b>{nav}", "<b></b>"},  // listed names without a value
      {"{{title}}", "{T}"},
      // A value is never searched again for placeholders.
      {"{content}", "<p>{title} and {content}</p>"},
      {"\u6587\u6863{title}\u6587\u6863", "\u6587\u6863T\u6587\u6863"},
      {"", ""},
      {"no placeholders at all", "no placeholders at all"},
  };
  for (const auto& c : cases) EXPECT_EQ(Fill(c.text, values), c.filled) << c.text;
}

TEST(Placeholders, OnlyTheNamesOfTheList) {
  const PlaceholderMap values = {{"linktop", "top.htm"}, {"filekey", "doc1"}};
  EXPECT_EQ(Fill("{LinkTop}|{filekey}", values, "charset|linktop"), "top.htm|{filekey}");
}

class TemplateFolderTest : public ::testing::Test {
 protected:
  TemplateFolderTest() {
    fs::copy(testing::FixturesDir() / "site/templates", temp_.path() / "templates",
             fs::copy_options::recursive);
  }
  TempDir temp_;
};

TEST_F(TemplateFolderTest, AMissingMainFailsNamingIt) {
  fs::create_directory(temp_.path() / "templates/empty");
  const std::string folder = temp_.File("templates/empty") + "/";
  const auto skeleton = ApplyTemplateBlocks(folder, "1", "1");
  ASSERT_FALSE(skeleton.ok());
  EXPECT_NE(skeleton.message().find(folder + "main.htm"), std::string::npos) << skeleton.message();
}

PlaceholderMap PageValues() {
  return {{"charset", "gb2312"},
          {"filekey", "doc1"},
          {"copyright", "(c)"},
          {"title", "\u6587\u6863"},
          {"metakey", "k"},
          {"metadesc", "d"},
          {"nav", "<div id=\"tessarine_nav\"></div>"},
          {"content", "<p>\U0001F600{title}</p>"}};
}

constexpr char kSkeleton[] = "<title>{title}</title>{content}";

// The page in the FileEncode encoding, replacing an earlier longer file.
TEST_F(TemplateFolderTest, WritesThePageInEitherEncoding) {
  const struct {
    const char* file_encode;
    std::string bytes;
  } cases[] = {
      {"0", "<title>\xCE\xC4\xB5\xB5</title><p>&#128512;{title}</p>"},
      {"1", "\xEF\xBB\xBF<title>\u6587\u6863</title><p>\U0001F600{title}</p>"},
  };
  const std::string out = temp_.File("out") + "/";
  fs::create_directory(out);
  for (const auto& c : cases) {
    testing::WriteBytes(out + "doc1.1.htm", std::string(500, 'x'));
    ASSERT_TRUE(WriteContentPage(kSkeleton, PageValues(), out, "doc1.1.htm", c.file_encode).ok());
    EXPECT_EQ(ReadBytes(out + "doc1.1.htm"), c.bytes) << c.file_encode;
  }
}

TEST_F(TemplateFolderTest, AnUnwritablePageFailsNamingTheFileAndTheReason) {
  // A regular file where the output folder should be: no write can succeed,
  // not even as root.
  testing::WriteBytes(temp_.File("blocker"), "");
  const std::string out = temp_.File("blocker") + "/";
  const auto status = WriteContentPage(kSkeleton, PageValues(), out, "doc1.htm", "0");
  ASSERT_FALSE(status.ok());
  EXPECT_NE(status.message().find(out + "doc1.htm"), std::string::npos) << status.message();
  EXPECT_NE(status.message().find("Not a directory"), std::string::npos) << status.message();
}

TEST_F(TemplateFolderTest, APageNeverLandsOutsideTheOutputFolder) {
  const std::string out = temp_.File("out") + "/";
  fs::create_directory(out);
  for (const char* page_file : {"../escape.htm", "sub/x.htm", "..", ".", "", "a\\b.htm"}) {
    const auto status = WriteContentPage(kSkeleton, PageValues(), out, page_file, "0");
    ASSERT_FALSE(status.ok()) << page_file;
    EXPECT_NE(status.message().find(out + page_file), std::string::npos) << status.message();
  }
  EXPECT_FALSE(fs::exists(temp_.path() / "escape.htm"));
  EXPECT_TRUE(fs::is_empty(out));
}

// A template folder end to end: main.htm read as code page 936, the nav
// block dropped, the copyright block kept, the placeholders filled.
TEST_F(TemplateFolderTest, FixtureTemplateBecomesAPage) {
  const auto skeleton = ApplyTemplateBlocks(temp_.File("templates/blocks") + "/", "0", "1");
  ASSERT_TRUE(skeleton.ok()) << skeleton.message();
  const std::string out = temp_.File("out") + "/";
  fs::create_directory(out);
  ASSERT_TRUE(WriteContentPage(*skeleton, PageValues(), out, "doc1.htm", "1").ok());
  EXPECT_EQ(
      ReadBytes(out + "doc1.htm"),
      "\xEF\xBB\xBF<html><head><meta charset=\"gb2312\"><title>\u6587\u6863</title></head>\r\n"
      "<body>\r\n\r\n<h1>\u9996\u9875</h1>\r\n<p>\U0001F600{title}</p>\r\n<p>(c)</p>\r\n"
      "</body></html>\r\n");
}

// The shipped default template: every placeholder, each block holding its own
// placeholder, ASCII only (it is read as code page 936), and its resources.
TEST(ShippedTemplate, DefaultUsesEveryPlaceholderAndBothBlocks) {
  const fs::path folder = fs::path(TESSARINE_SOURCE_DIR) / "template";
  const std::string main = ReadBytes(folder / "default/main.htm");
  for (const char c : main) EXPECT_LT(static_cast<unsigned char>(c), 0x80) << "non-ASCII byte";

  for (const char* name :
       {"charset", "filekey", "copyright", "title", "metakey", "metadesc", "nav", "content"}) {
    EXPECT_NE(main.find("{" + std::string(name) + "}"), std::string::npos) << name;
  }
  const std::string both_off = Resolve(main, "0", "0");
  EXPECT_EQ(both_off.find("{nav}"), std::string::npos);
  EXPECT_EQ(both_off.find("{copyright}"), std::string::npos);
  EXPECT_NE(both_off.find("{content}"), std::string::npos);
  const std::string both_on = Resolve(main, "1", "1");
  EXPECT_NE(both_on.find("{nav}"), std::string::npos);
  EXPECT_NE(both_on.find("{copyright}"), std::string::npos);
  EXPECT_EQ(both_on.find("Begin:"), std::string::npos);

  const std::string css = ReadBytes(folder / "default/tfiles/style.css");
  for (const char* selector :
       {".pagewidth", ".pageeffect", "#tessarine_nav", "#tessarine_toc", "#tessarine_relative"}) {
    EXPECT_NE(css.find(selector), std::string::npos) << selector;
  }
  EXPECT_NE(main.find("tfiles/style.css"), std::string::npos);
  for (const char* gif : {"default/preview.gif", "nopreview.gif"}) {
    EXPECT_EQ(ReadBytes(folder / gif).substr(0, 6), "GIF89a") << gif;
  }
}

}  // namespace
}  // namespace tessarine::site
