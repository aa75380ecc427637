// The package reader and the style model on the documents of the corpus:
// every sound file opens, every broken one says why, and what Chinese Word and
// the strict dialect write reads as Word means it.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "convert/docx_package.h"
#include "convert/docx_styles.h"
#include "convert/docx_xml.h"
#include "test_support.h"

namespace tessarine::convert {
namespace {

using tessarine::testing::SharedDir;

struct CorpusFile {
  std::string name;
  std::string status;
};

// The docx rows of the corpus's provenance table: file name and status.
std::vector<CorpusFile> CorpusDocx() {
  std::ifstream in(SharedDir() / "corpus" / "PROVENANCE.md");
  std::vector<CorpusFile> files;
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("| docx/", 0) != 0) continue;
    std::vector<std::string> cells;
    std::stringstream row(line.substr(1));
    std::string cell;
    while (std::getline(row, cell, '|')) {
      cells.push_back(cell.substr(cell.find_first_not_of(' ')));
      cells.back().erase(cells.back().find_last_not_of(' ') + 1);
    }
    files.push_back({cells[0].substr(5), cells[8]});
  }
  return files;
}

// What each broken corpus file must be reported as.
const std::map<std::string, std::string> kBrokenCorpus = {
    {"poi__bug53475-password-is-pass.docx", "password-protected"},
    {"poi__clusterfuzz-testcase-minimized-POIXWPFFuzzer-4959857092198400.docx",
     "damaged or truncated"},
    {"poi__truncated62886.docx", "damaged or truncated"},
    {"tika__testWORD_truncated.docx", "damaged or truncated"},
    {"poi__ExternalEntityInText.docx", "DTD"},
};

TEST(DocxPackageCorpus, OkFilesOpenAndBrokenOnesSayWhy) {
  std::vector<CorpusFile> files = CorpusDocx();
  ASSERT_EQ(files.size(), 53u);
  size_t broken = 0;
  for (const CorpusFile& file : files) {
    SCOPED_TRACE(file.name);
    auto package = DocxPackage::Open((SharedDir() / "corpus" / "docx" / file.name).string());
    if (file.status == "ok") {
      ASSERT_TRUE(package.ok()) << package.message();
      EXPECT_TRUE(package->body().first_child()) << "empty body";
      EXPECT_EQ(package->main_document().document_element().name(), std::string("w:document"));
      continue;
    }
    ++broken;
    ASSERT_FALSE(package.ok());
    ASSERT_EQ(kBrokenCorpus.count(file.name), 1u)
        << "unexpected broken file; status " << file.status;
    EXPECT_NE(package.message().find(kBrokenCorpus.at(file.name)), std::string::npos)
        << package.message();
  }
  EXPECT_EQ(broken, kBrokenCorpus.size());
}

TEST(DocxPackageCorpus, StrictDocumentReadsWithCanonicalNames) {
  auto package =
      DocxPackage::Open((SharedDir() / "corpus" / "docx" / "oxsdk__Strict01.docx").string());
  ASSERT_TRUE(package.ok()) << package.message();
  EXPECT_TRUE(package->body().child("w:p"));
  EXPECT_STREQ(package->main_document().document_element().attribute("w:conformance").value(),
               "strict");
  // mc:Ignorable keeps naming the namespaces it ignores, by canonical prefix.
  EXPECT_STREQ(package->main_document().document_element().attribute("mc:Ignorable").value(),
               "w14 w15 wne wp14");
  ASSERT_NE(package->styles_part(), nullptr);
  EXPECT_TRUE(package->styles_part()->child("w:styles").child("w:docDefaults"));
  // Strict relationship types read as the transitional ones.
  int headers = 0;
  for (const Relationship& rel : package->Relationships(package->main_part_name())) {
    if (rel.type == kRelHeader) ++headers;
  }
  EXPECT_EQ(headers, 9);
  // Universal measures ("36pt", "120%") and the strict app-properties
  // namespace.
  EXPECT_EQ(package->settings().default_tab_stop, 720);
  EXPECT_EQ(package->settings().zoom_percent, 120);
  EXPECT_EQ(package->settings().theme_font_lang.latin, "en-US");
  EXPECT_EQ(package->app_properties().words, 1832);
  EXPECT_EQ(package->core_properties().creator, "Eric White");
  EXPECT_EQ(package->theme_fonts().minor.latin, "Calibri");
  EXPECT_NE(package->font_table().Find("Calibri"), nullptr);
  ASSERT_NE(package->RelatedXmlPart("rId13"), nullptr);
  EXPECT_TRUE(package->RelatedXmlPart("rId13")->child("w:hdr"));
}

// --- Built-in identification and class names ------------------------------------

// Chinese Word stores "heading 1" under styleId "1", "toc 1" under "10" and
// Normal under "a" (oxsdk__TOC2.docx).
TEST(DocxStylesNames, BuiltinsAreKnownByNameNotId) {
  auto package = DocxPackage::Open((SharedDir() / "corpus" / "docx" / "oxsdk__TOC2.docx").string());
  ASSERT_TRUE(package.ok()) << package.message();
  StyleSheet sheet = StyleSheet::Parse(package->styles_part());

  const Style* heading = sheet.FindByName("Heading 1");
  ASSERT_NE(heading, nullptr);
  EXPECT_EQ(heading->style_id, "1");
  EXPECT_EQ(HeadingLevel(*heading), 1);
  EXPECT_EQ(HeadingLevel(*sheet.Find("2")), 2);
  EXPECT_EQ(HeadingLevel(*sheet.Find("1Char")), 0);  // "标题 1 Char" is no heading
  EXPECT_EQ(TocLevel(*sheet.Find("20")), 2);
  EXPECT_EQ(sheet.DefaultStyle(StyleType::kParagraph)->style_id, "a");

  const std::pair<const char*, const char*> classes[] = {
      {"a", "MsoNormal"},       {"1", "MsoHeading1"}, {"10", "MsoToc1"},   {"a3", "MsoHyperlink"},
      {"a1", "MsoNormalTable"}, {"1Char", "a1Char"},  {"2Char", "a2Char"}, {"unknown", ""},
  };
  for (const auto& [id, class_name] : classes) EXPECT_EQ(sheet.ClassName(id), class_name) << id;

  RunProperties run = sheet.ResolveRunProperties("1", {});
  EXPECT_EQ(run.bold, true);
  EXPECT_EQ(run.size, 44);
  EXPECT_EQ(sheet.ResolveParagraphProperties("1", {}).justification, "both");
}

}  // namespace
}  // namespace tessarine::convert
