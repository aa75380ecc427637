// The Word HTML writer over every document of the corpus: well-formed pages
// that the later stages can read, the same page whether the body is read whole
// or in stretches, every picture on the page with its file, alternative
// chunks with their text, and first headers and footers the site stage finds
// and numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "convert/docx_package.h"
#include "convert/html_document.h"
#include "convert/html_header.h"
#include "convert/word_html_writer.h"
#include "support/regex.h"
#include "support/text_file.h"
#include "test_support.h"
#include "word_html_checks.h"

namespace tessarine::convert {
namespace {

namespace fs = std::filesystem;
using testing::BodyOf;
using testing::Count;
using testing::Difference;
using testing::kHeadingPattern;
using testing::PageSetup;
using testing::ParsePageSetup;
using testing::ReadBytes;
using testing::RenderWholeAndInPieces;
using testing::SharedDir;
using testing::SitePages;
using testing::SoundCorpusDocuments;
using testing::SpanNumbers;
using testing::TempDir;
using testing::WholeAndPieces;

// --- The page -------------------------------------------------------------------

TEST(WordHtmlWriterTest, CorpusDocumentsGiveWellFormedWordHtml) {
  size_t converted = 0;
  for (const auto& entry : fs::directory_iterator(SharedDir() / "corpus" / "docx")) {
    if (entry.path().extension() != ".docx") continue;
    auto package = DocxPackage::Open(entry.path().string());
    if (!package.ok()) continue;  // broken inputs are the package reader's concern
    SCOPED_TRACE(entry.path().filename().string());
    std::vector<std::string> diagnostics;
    const std::string html = RenderWordHtml(*package, "doc.files", &diagnostics);
    // Deterministic: a second rendering is identical.
    EXPECT_EQ(html, RenderWordHtml(*package, "doc.files", nullptr));
    ++converted;
    EXPECT_EQ(html.rfind("<html ", 0), 0u);
    EXPECT_EQ(Count(html, "<body"), 1u);
    EXPECT_LT(html.find("<title>"), html.find("</head>"));
    EXPECT_TRUE(html.ends_with("</body>\r\n\r\n</html>\r\n"));
    EXPECT_EQ(Count(html, "\n"), Count(html, "\r\n"));
    const std::string body = BodyOf(html);
    // Every conditional comment (field codes, VML drawings, equations) and
    // every downlevel-revealed block (list labels, the helper row of irregular
    // tables, note marks, picture and text-box fallbacks) is closed.
    EXPECT_EQ(Count(body, "<!--[if "), Count(body, "<![endif]-->"));
    EXPECT_EQ(Count(body, "<![if "), Count(body, "<![endif]>"));
    EXPECT_EQ(Count(body, "<table"), Count(body, "</table>"));
    EXPECT_EQ(Count(body, "<td"), Count(body, "</td>"));
    EXPECT_EQ(Count(body, "<div"), Count(body, "</div>"));
    // Word's placeholder cells hold an unclosed paragraph.
    EXPECT_EQ(Count(body, "<p ") - Count(body, "<p class='MsoNormal'>&nbsp;</td>"),
              Count(body, "</p>"));
    const PageSetup setup = ParsePageSetup(html);
    EXPECT_NE(support::RegexpTest("^[0-9.]+pt [0-9.]+pt$", setup.size).value_or(false), false)
        << setup.size;
    EXPECT_NE(support::RegexpTest("^-?[0-9.]+pt -?[0-9.]+pt -?[0-9.]+pt -?[0-9.]+pt$", setup.margin)
                  .value_or(false),
              false)
        << setup.margin;
    auto headings = support::RegexpExecute(kHeadingPattern, body);
    EXPECT_TRUE(headings.ok()) << headings.message();
  }
  EXPECT_GE(converted, 40u);
}

TEST(BodyPiecesTest, CorpusDocumentsConvertTheSameInStretches) {
  size_t in_pieces = 0;
  for (const auto& path : SoundCorpusDocuments("docx")) {
    SCOPED_TRACE(path.filename().string());
    const WholeAndPieces both = RenderWholeAndInPieces(path.string());
    EXPECT_EQ(Difference(both.whole, both.pieces), "");
    EXPECT_EQ(Difference(both.pieces, both.pieces_parsed_ahead), "");
    in_pieces += both.read_in_pieces ? 1 : 0;
  }
  EXPECT_GE(in_pieces, 30u);
}

// --- Pictures --------------------------------------------------------------------

const std::string* RelationshipTarget(const DocxPackage& package, pugi::xml_node node,
                                      const char* attribute) {
  const char* id = node.attribute(attribute).value();
  if (*id == '\0') return nullptr;
  const Relationship* rel = package.MainRelationship(id);
  if (rel == nullptr || rel->external || !package.HasPart(rel->target)) return nullptr;
  return &rel->target;
}

// The pictures document.xml shows: embedded DrawingML blips and VML image
// data, one branch of each alternate-content pair.
size_t CountPictures(const DocxPackage& package, pugi::xml_node node) {
  size_t count = 0;
  for (pugi::xml_node child : node.children()) {
    const std::string_view name = child.name();
    if (name == "mc:AlternateContent") {
      const size_t choice = CountPictures(package, child.child("mc:Choice"));
      count += choice > 0 ? choice : CountPictures(package, child.child("mc:Fallback"));
    } else if (name == "c:chart") {
      ++count;  // drawn as an SVG picture
    } else if (name == "dgm:relIds") {
      // drawn as an SVG picture when the package stores the diagram's drawing
      const std::string* data = RelationshipTarget(package, child, "r:dm");
      const pugi::xml_document* part = data != nullptr ? package.XmlPart(*data) : nullptr;
      if (part == nullptr) continue;
      for (pugi::xml_node ext :
           part->child("dgm:dataModel").child("dgm:extLst").children("a:ext")) {
        if (RelationshipTarget(package, ext.child("dsp:dataModelExt"), "relId") != nullptr) {
          ++count;
          break;
        }
      }
    } else if (name == "a:blip") {
      count += RelationshipTarget(package, child, "r:embed") != nullptr ? 1 : 0;
    } else if (name == "v:imagedata") {
      count += RelationshipTarget(package, child, "r:id") != nullptr ||
                       RelationshipTarget(package, child, "o:relid") != nullptr
                   ? 1
                   : 0;
    } else {
      count += CountPictures(package, child);
    }
  }
  return count;
}

TEST(WordHtmlPictures, EveryCorpusPictureReachesThePageWithItsFile) {
  size_t documents = 0, with_pictures = 0, passing = 0, charts = 0, diagrams = 0;
  for (const auto& entry : fs::directory_iterator(SharedDir() / "corpus" / "docx")) {
    if (entry.path().extension() != ".docx") continue;
    auto package = DocxPackage::Open(entry.path().string());
    if (!package.ok()) continue;  // the broken ones have their own tests
    ++documents;
    SCOPED_TRACE(entry.path().filename().string());
    const size_t expected = CountPictures(*package, package->body());
    TempDir dir;
    auto result = WriteWordHtml(*package, dir.File("doc.htm"));
    ASSERT_TRUE(result.ok()) << result.message();
    const std::string html =
        support::DecodeText(ReadBytes(dir.path() / "doc.htm"), support::EncodingAnsi);
    const std::string body = html.substr(
        html.find("<body"), html.find("mso-element:footnote-list") - html.find("<body"));
    const size_t images = Count(body.substr(0, body.find("mso-element:endnote-list")), "<img ");
    EXPECT_EQ(images, expected);
    // Every conditional block is closed, and text boxes leave their wrappers
    // balanced.
    const std::string whole_body = html.substr(html.find("<body"));
    EXPECT_EQ(Count(whole_body, "<!--[if "), Count(whole_body, "<![endif]-->"));
    EXPECT_EQ(Count(whole_body, "<![if "), Count(whole_body, "<![endif]>"));
    EXPECT_EQ(Count(whole_body, "<table"), Count(whole_body, "</table>"));
    EXPECT_EQ(Count(whole_body, "<div"), Count(whole_body, "</div>"));
    // A drawn chart shows one bar per cached value.
    size_t cached = 0;
    for (const Relationship& rel : package->Relationships(package->main_part_name())) {
      if (rel.type != kRelChart) continue;
      const pugi::xml_document* chart = package->XmlPart(rel.target);
      ASSERT_NE(chart, nullptr);
      pugi::xml_node plot = chart->child("c:chartSpace").child("c:chart").child("c:plotArea");
      for (pugi::xml_node bars : plot.children("c:barChart")) {
        for (pugi::xml_node ser : bars.children("c:ser")) {
          pugi::xml_node cache = ser.child("c:val").child("c:numRef").child("c:numCache");
          cached += static_cast<size_t>(
              std::distance(cache.children("c:pt").begin(), cache.children("c:pt").end()));
        }
      }
    }
    // A drawn diagram shows every text of its stored drawing.
    for (const Relationship& rel : package->Relationships(package->main_part_name())) {
      if (!rel.type.ends_with("/diagramDrawing")) continue;
      const pugi::xml_document* drawing = package->XmlPart(rel.target);
      ASSERT_NE(drawing, nullptr);
      // The words of every text element, without the spaces its lines break at.
      std::string words;
      for (const auto& file : fs::directory_iterator(dir.path() / "doc.files")) {
        if (file.path().extension() != ".svg") continue;
        pugi::xml_document svg;
        ASSERT_TRUE(svg.load_string(ReadBytes(file.path()).c_str()));
        for (pugi::xpath_node text : svg.select_nodes("//text")) words += text.node().child_value();
      }
      std::erase(words, ' ');
      size_t texts = 0;
      for (pugi::xpath_node t : drawing->select_nodes("//a:t")) {
        std::string text = t.node().child_value();
        std::erase(text, ' ');
        ++texts;
        EXPECT_NE(words.find(text), std::string::npos) << text;
      }
      EXPECT_GT(texts, 0u);
      ++diagrams;
    }
    if (cached > 0) {
      size_t drawn = 0;
      for (const auto& file : fs::directory_iterator(dir.path() / "doc.files")) {
        if (file.path().extension() == ".svg")
          drawn += Count(ReadBytes(file.path()), "class=\"bar\"");
      }
      EXPECT_EQ(drawn, cached);
      ++charts;
    }
    auto sources = support::RegexpExecute("src=\"doc\\.files/([^\"]+)\"", html);
    ASSERT_TRUE(sources.ok());
    bool files_exist = true;
    for (const auto& source : *sources) {
      const std::string file = source.groups[0].value_or("");
      files_exist = files_exist && fs::is_regular_file(dir.path() / "doc.files" / file);
      EXPECT_TRUE(fs::is_regular_file(dir.path() / "doc.files" / file)) << file;
    }
    with_pictures += expected > 0 ? 1 : 0;
    passing += images == expected && files_exist ? 1 : 0;
  }
  std::printf(
      "corpus pictures: %zu of %zu documents pass (%zu have pictures, %zu bar charts, %zu "
      "diagrams)\n",
      passing, documents, with_pictures, charts, diagrams);
  EXPECT_GT(with_pictures, 10u);
  EXPECT_GE(charts, 2u);
  EXPECT_GE(diagrams, 1u);
}

// --- Notes, headers and footers --------------------------------------------------

TEST(WordHtmlNotes, CorpusAltChunkKeepsItsText) {
  const auto path = SharedDir() / "corpus" / "docx" / "poi__stress012.docx";
  auto package = DocxPackage::Open(path.string());
  ASSERT_TRUE(package.ok()) << package.message();
  const std::string html = RenderWordHtml(*package, "x.files", nullptr);
  EXPECT_NE(html.find("Milj\u00F6bilaga Terminalglas\u00F6gon"), std::string::npos);
  EXPECT_EQ(html.find("font-family: sans-serif"), std::string::npos);  // the chunk's style sheet
}

// The header file is rendered in memory here, without the page and its
// pictures (whose conversion dominates the time); the tests above cover
// writing it. The site stage then reads it from a scratch folder.
TEST(WordHtmlHeaderTest, CorpusDocumentsGetTheirFirstHeaderAndFooter) {
  int with_stories = 0, checked = 0, numbered = 0;
  for (const fs::path& path : SoundCorpusDocuments("docx")) {
    SCOPED_TRACE(path.filename().string());
    auto package = DocxPackage::Open(path.string());
    if (!package.ok()) continue;
    bool has_parts = false;
    for (const std::string& name : package->PartNames()) {
      has_parts = has_parts || name.starts_with("word/header") || name.starts_with("word/footer");
    }
    if (!has_parts) continue;
    ++with_stories;
    // What the first section itself names; Word then writes h1 / f1.
    const SectionProperties first = ParseSectionProperties(SectionNodes(package->body()).front());
    auto names = [&](const std::vector<HeaderFooterReference>& references) {
      for (const HeaderFooterReference& reference : references) {
        const Relationship* rel = package->MainRelationship(reference.id);
        if (reference.type == "default" && rel != nullptr && !rel->external) return true;
      }
      return false;
    };
    const bool header = names(first.headers), footer = names(first.footers);

    const HtmlDocument doc = BuildHtmlDocument(*package, "doc.files", nullptr);
    const std::string text = RenderHeaderFile(doc, PlanHeaderFooters(doc), "doc.htm", nullptr);
    EXPECT_EQ(text.find("<div style='mso-element:header' id=h1>") != std::string::npos, header);
    EXPECT_EQ(text.find("<div style='mso-element:footer' id=f1>") != std::string::npos, footer);
    if (!header && !footer) continue;
    ++checked;

    // A first footer with a PAGE field whose result is a number gets each
    // page's own number from the site stage.
    const size_t f1 = text.find("id=f1>");
    const std::string story = f1 == std::string::npos
                                  ? ""
                                  : text.substr(f1, text.find("<div style='mso-element:", f1) - f1);
    auto page_field =
        support::RegexpTest(R"(mso-field-code:"\s*PAGE[^>]*>(<[^>]*>)*[0-9]+</span>)", story);
    ASSERT_TRUE(page_field.ok());
    if (!*page_field) continue;
    ++numbered;
    TempDir dir;
    const std::string scratch = dir.File("scratch/"), output = dir.File("output/");
    fs::create_directories(scratch + "doc.files");
    fs::create_directories(output);
    ASSERT_TRUE(support::WriteTextFile(scratch + "doc.files/header.htm", text, "0").ok());
    const site::SectionTable pages = SitePages(scratch, output, 2);
    for (size_t k = 0; k < pages.size(); ++k) {
      const std::vector<std::string> numbers = SpanNumbers(pages[k].FooterHtml);
      EXPECT_NE(std::find(numbers.begin(), numbers.end(), std::to_string(k + 1)), numbers.end())
          << pages[k].FooterHtml;
    }
  }
  std::cout << "corpus documents with header or footer parts: " << with_stories
            << "; with h1 or f1 in their first section: " << checked
            << "; of these with a page number in f1: " << numbered << "\n";
  EXPECT_GT(checked, 0);
  EXPECT_GT(numbered, 0);
}

}  // namespace
}  // namespace tessarine::convert
