// A large body read a stretch at a time: the scan that cuts the text into
// top-level blocks, and the property everything rests on, that a document read
// in stretches converts to the same bytes (and fails to open for the same
// reason) as one read whole.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "convert/docx_package.h"
#include "convert/docx_xml.h"
#include "convert/word_html_writer.h"
#include "test_support.h"
#include "word_html_checks.h"
#include "zip_writer.h"

namespace tessarine::convert {
namespace {

using tessarine::testing::Difference;
using tessarine::testing::RenderWholeAndInPieces;
using tessarine::testing::TempDir;
using tessarine::testing::WholeAndPieces;

constexpr char kRoot[] =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    R"(<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main")"
    R"( xmlns:v="urn:schemas-microsoft-com:vml">)";

// --- The layout scan -------------------------------------------------------------

struct Block {
  std::string text;
  bool marker = false;
  bool section = false;
};

struct LayoutCase {
  const char* what;
  std::vector<Block> blocks;
};

TEST(BodyLayoutTest, CutsTheBodyAtItsTopLevelElementsOnly) {
  const std::vector<LayoutCase> cases = {
      {"nested tables",
       {{"<w:tbl><w:tr><w:tc><w:tbl><w:tr><w:tc><w:p/></w:tc></w:tr></w:tbl><w:p/></w:tc></w:tr>"
         "</w:tbl>\n"},
        {"<w:p><w:r><w:t>after</w:t></w:r></w:p>"}}},
      {"a content control around paragraphs",
       {{"<w:sdt><w:sdtPr/><w:sdtContent><w:p/><w:p/></w:sdtContent></w:sdt>"}, {"<w:p/>"}}},
      {"text-box paragraphs inside a paragraph",
       {{"<w:p><w:r><w:pict><v:shape><v:textbox><w:txbxContent><w:p><w:r><w:t>box</w:t></w:r>"
         "</w:p></w:txbxContent></v:textbox></v:shape></w:pict></w:r></w:p>"},
        {"<w:p/>"}}},
      {"markup that only looks like tags",
       {{R"(<w:p w:rsidR="a>b"><!-- <w:p> --><w:r><w:t><![CDATA[</w:p></w:body>]]></w:t></w:r>)"
         "<?pi <w:p>?></w:p>"},
        {R"(<w:p w:x='say "/>" here'/>)"}}},
      {"markers and sections",
       {{R"(<w:bookmarkStart w:id="0" w:name="a"/>)", true},
        {"<w:p><w:pPr><w:sectPr><w:pgSz/></w:sectPr></w:pPr></w:p>", false, true},
        {R"(<w:commentRangeEnd w:id="0"/>)", true},
        {"<w:p><w:r><w:t>sectPr</w:t></w:r><w:sectPrChange/></w:p>"},
        {"<w:sectPr><w:pgSz/></w:sectPr>", false, true}}},
      {"text before, between and after the blocks", {{"\n  <w:p/> stray text "}, {"<w:p/>\n"}}},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text = kRoot;
    text += "<w:body>";
    std::vector<size_t> begins;
    for (const Block& block : c.blocks) {
      begins.push_back(text.size());
      text += block.text;
    }
    const size_t content_end = text.size();
    text += "</w:body></w:document>";
    const std::optional<BodyLayout> layout = ScanBodyLayout(text);
    ASSERT_TRUE(layout.has_value());
    EXPECT_EQ(layout->content_begin, begins.front());
    EXPECT_EQ(layout->content_end, content_end);
    EXPECT_EQ(layout->body_index, 0u);
    ASSERT_EQ(layout->blocks.size(), c.blocks.size());
    for (size_t i = 0; i < c.blocks.size(); ++i) {
      SCOPED_TRACE(c.blocks[i].text);
      EXPECT_EQ(layout->blocks[i].begin, begins[i]);
      EXPECT_EQ(layout->blocks[i].marker, c.blocks[i].marker);
      EXPECT_EQ(layout->blocks[i].has_section, c.blocks[i].section);
    }
  }
}

TEST(BodyLayoutTest, FindsAnUnprefixedBodyAfterOtherChildren) {
  const std::string text =
      R"(<document xmlns="http://schemas.openxmlformats.org/wordprocessingml/2006/main">)"
      "<background/><!-- c --><body><p/><sectPr/></body></document>";
  const std::optional<BodyLayout> layout = ScanBodyLayout(text);
  ASSERT_TRUE(layout.has_value());
  EXPECT_EQ(layout->body_index, 1u);
  ASSERT_EQ(layout->blocks.size(), 2u);
  EXPECT_TRUE(layout->blocks[1].has_section);
}

TEST(BodyLayoutTest, GivesUpOnWhatItCannotCut) {
  const std::vector<std::string> texts = {
      std::string("\xFF\xFE<\0w\0", 6),  // UTF-16
      "<!DOCTYPE d><w:document><w:body><w:p/></w:body></w:document>",
      "<w:document><w:body/></w:document>",
      "<w:document><w:p/></w:document>",
      "<w:document><w:body> </w:body></w:document>",
      "<w:document><w:body><w:p><!-- </w:p></w:body></w:document>",
      "<w:document><w:body><w:p/>",
  };
  for (const std::string& text : texts) {
    EXPECT_FALSE(ScanBodyLayout(text).has_value()) << text;
  }
}

// --- Stretch by stretch as whole -------------------------------------------------------

std::string WriteDocx(const TempDir& dir, const std::string& document, const std::string& styles) {
  return tessarine::testing::DocxBuilder().MainPart(document).Styles(styles).Write(
      dir.File("in.docx"));
}

TEST(BodyPiecesTest, ContextualSpacingSectionsAndTitleCrossStretchBorders) {
  TempDir dir;
  const std::string styles =
      R"(<w:style w:type="paragraph" w:default="1" w:styleId="Normal"><w:name w:val="Normal"/></w:style>)"
      R"(<w:style w:type="paragraph" w:styleId="Item"><w:name w:val="List Paragraph"/>)"
      R"(<w:pPr><w:contextualSpacing/></w:pPr></w:style>)";
  const std::string item =
      R"(<w:p><w:pPr><w:pStyle w:val="Item"/></w:pPr><w:r><w:t>i</w:t></w:r></w:p>)";
  const std::string body =
      "<w:p/><w:p><w:r><w:t>The  title\twords</w:t></w:r></w:p>" + item +
      R"(<w:bookmarkStart w:id="1" w:name="m"/><w:proofErr w:type="spellStart"/>)" + item +
      R"(<w:bookmarkEnd w:id="1"/>)" + item +
      R"(<w:p><w:pPr><w:sectPr><w:type w:val="continuous"/></w:sectPr></w:pPr></w:p>)" + item +
      "<w:tbl><w:tr><w:tc>" + item + item + "</w:tc></w:tr></w:tbl>" + item +
      "<w:sdt><w:sdtContent>" + item + "</w:sdtContent></w:sdt>" +
      R"(<w:sectPr><w:pgSz w:w="11906" w:h="16838"/></w:sectPr>)";
  const WholeAndPieces both = RenderWholeAndInPieces(
      WriteDocx(dir, kRoot + ("<w:body>" + body + "</w:body></w:document>"), styles));
  EXPECT_TRUE(both.read_in_pieces);
  EXPECT_EQ(Difference(both.whole, both.pieces), "");
  EXPECT_EQ(Difference(both.pieces, both.pieces_parsed_ahead), "");
  for (const char* expected : {"CxSpFirst", "CxSpMiddle", "CxSpLast", "<div class=WordSection2>",
                               "<title>The title words</title>"}) {
    EXPECT_NE(both.whole.find(expected), std::string::npos) << expected;
  }
}

TEST(BodyPiecesTest, BrokenOrOddMainPartsOpenOrFailAsWhole) {
  const std::vector<std::string> documents = {
      kRoot + std::string("<w:body><w:p/><w:p><w:r></w:p></w:r><w:p/></w:body></w:document>"),
      kRoot + std::string("<w:body><w:p/><w:p/><!-- <w:p/></w:body></w:document>"),
      "<!DOCTYPE d>" + std::string(kRoot) + "<w:body><w:p/><w:p/></w:body></w:document>",
      R"(<w:hdr xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">)"
      "<w:body><w:p/><w:p/></w:body></w:hdr>",
      // The first child named body is not the document's: read whole.
      kRoot + std::string(R"(<x:body xmlns:x="urn:x"><w:p/></x:body>)") +
          "<w:body><w:p><w:r><w:t>real</w:t></w:r></w:p><w:p/></w:body></w:document>",
      kRoot + std::string("<w:p/></w:document>"),
  };
  for (const std::string& document : documents) {
    SCOPED_TRACE(document);
    TempDir dir;
    const WholeAndPieces both = RenderWholeAndInPieces(WriteDocx(dir, document, ""));
    EXPECT_EQ(Difference(both.whole, both.pieces), "");
    EXPECT_EQ(Difference(both.pieces, both.pieces_parsed_ahead), "");
    EXPECT_FALSE(both.read_in_pieces);
  }
}

// A page of several megabytes (drained to the page more than once), read in
// stretches: parsed ahead and taken through code page 936 on a second thread,
// it is the page made on one, and a stop on two threads ends it as on one.
TEST(BodyPiecesTest, TwoThreadsMakeThePageOneMakes) {
  TempDir dir;
  std::string body;
  const std::string filler(200, 'x');
  for (int i = 0; i < 30000; ++i) {
    // A character code page 936 lacks comes back as its reference.
    body += "<w:p><w:r><w:t>Paragraph " + std::to_string(i) + " 段落 \xF0\x9F\x98\x80 " + filler +
            "</w:t></w:r></w:p>";
  }
  body += "<w:p><w:r><w:t>last</w:t></w:r></w:p>";
  const std::string path =
      WriteDocx(dir, kRoot + ("<w:body>" + body + "</w:body></w:document>"), "");
  struct Made {
    WordHtmlPage page;
    bool stopped = false;
  };
  const auto make = [&](unsigned threads, int stop_after) {
    PackageLimits limits{.whole_body_bytes = 0, .body_piece_bytes = 64 << 10};
    limits.threads = threads;
    auto package = DocxPackage::Open(path, limits);
    EXPECT_TRUE(package.ok()) << package.message();
    int asked = 0;
    const std::function<bool()> stop = [&] { return stop_after >= 0 && ++asked > stop_after; };
    Made made;
    auto result = RenderWordHtmlPage(*package, "doc.htm", made.page, "", stop);
    EXPECT_TRUE(result.ok()) << result.message();
    if (result.ok()) made.stopped = result->stopped;
    return made;
  };
  const Made one = make(1, -1), two = make(2, -1);
  ASSERT_FALSE(one.stopped);
  EXPECT_GT(one.page.html.size(), size_t{8} << 20);
  EXPECT_EQ(Difference(one.page.html, two.page.html), "");
  EXPECT_NE(one.page.html.find("Paragraph 29999 段落 &#128512; x"), std::string::npos);
  EXPECT_TRUE(make(1, 100).stopped);
  EXPECT_TRUE(make(2, 100).stopped);
}

}  // namespace
}  // namespace tessarine::convert
