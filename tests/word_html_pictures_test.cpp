// Pictures and text boxes in the Word HTML writer: the VML drawing and its
// fallback <img> in Word's exact form, the files in the companion folder and
// filelist.xml, web copies of metafiles, text boxes whose text survives every
// clean-up mode, and the real corpus, where every picture a document shows
// must reach the page with a file behind it (charts drawn as SVG pictures).
//
// The clean-up patterns used here are the later stages' own (body passes B5
// and S1, the header step's VML-to-img pass, the image copier's source
// pattern), so a change of markup that those stages would miss fails here.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "convert/docx_package.h"
#include "convert/html_picture.h"
#include "convert/picture_convert.h"
#include "convert/picture_files.h"
#include "convert/word_html_writer.h"
#include "support/base64.h"
#include "support/regex.h"
#include "support/sha256.h"
#include "support/text_file.h"
#include "test_support.h"
#include "word_html_checks.h"
#include "zip_writer.h"

namespace tessarine::convert {
namespace {

namespace fs = std::filesystem;
using tessarine::testing::Count;
using tessarine::testing::ReadBytes;
using tessarine::testing::TempDir;

// --- Building packages -------------------------------------------------------------

struct Docx {
  std::string body;
  std::string relationships;                               // extra document relationships
  std::vector<std::pair<std::string, std::string>> media;  // part name, bytes
};

std::string Bytes(std::string_view base64) {
  std::string bytes;
  EXPECT_TRUE(tessarine::support::DecodeBase64(base64, bytes));
  return bytes;
}

// A 1x1 PNG.
const std::string kPng = Bytes(
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNkYPhfDwAChwGA60e6kgAAAABJRU5ErkJggg"
    "==");
const std::string kJpeg = std::string("\xFF\xD8\xFF\xE0", 4) + "not really a JPEG";

// A 100x50 pixel EMF holding one rectangle: header, EMR_RECTANGLE, EMR_EOF.
std::string MinimalEmf() {
  std::string emf;
  auto put = [&](std::initializer_list<unsigned> values) {
    for (unsigned value : values) {
      for (int i = 0; i < 4; ++i) emf += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
  };
  put({1,       88,  0, 0, 99, 49, 0, 0,    2645, 1322, 0x464D4520,
       0x10000, 132, 3, 1, 0,  0,  0, 1024, 768,  270,  203});
  put({43, 24, 10, 10, 90, 40});
  put({14, 20, 0, 16, 20});
  return emf;
}

std::string WriteDocx(const TempDir& dir, const Docx& docx, const std::string& name = "doc.docx") {
  tessarine::testing::DocxBuilder builder;
  builder.Body(docx.body).Relationships(docx.relationships);
  for (const auto& [part, bytes] : docx.media) builder.Entry(part, bytes);
  return builder.Write(dir.File(name));
}

std::string ImageRel(const std::string& id, const std::string& target,
                     const std::string& mode = "") {
  return R"(<Relationship Id=")" + id +
         R"(" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/image" Target=")" +
         target + "\"" + (mode.empty() ? "" : " TargetMode=\"" + mode + "\"") + "/>";
}

std::string P(const std::string& content) {
  return "<w:p>" + content + "</w:p>";
}
std::string R(const std::string& text) {
  return "<w:r><w:t xml:space=\"preserve\">" + text + "</w:t></w:r>";
}
std::string InRun(const std::string& object) {
  return "<w:r>" + object + "</w:r>";
}

std::string PicGraphic(const std::string& embed, const std::string& blip_attributes = "") {
  return R"(<a:graphic><a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/picture">)"
         R"(<pic:pic><pic:nvPicPr><pic:cNvPr id="0" name="x.png"/><pic:cNvPicPr/></pic:nvPicPr>)"
         R"(<pic:blipFill><a:blip )" +
         (embed.empty() ? "" : "r:embed=\"" + embed + "\" ") + blip_attributes +
         R"(/></pic:blipFill><pic:spPr/></pic:pic></a:graphicData></a:graphic>)";
}

std::string DocPr(const std::string& name, const std::string& descr = "") {
  return R"(<wp:docPr id="1" name=")" + name + "\"" +
         (descr.empty() ? "" : " descr=\"" + descr + "\"") + "/>";
}

// 110.5pt by 136pt, as in Word's own sample (cn-lingfangzeng-gb2312).
std::string InlinePicture(const std::string& embed, const std::string& name = "Picture 1",
                          const std::string& descr = "") {
  return R"(<w:drawing><wp:inline><wp:extent cx="1403350" cy="1727200"/>)" + DocPr(name, descr) +
         PicGraphic(embed) + "</wp:inline></w:drawing>";
}

// 67.5pt by 24.75pt at 119pt from the column and 3pt below the paragraph.
std::string Anchor(const std::string& graphic, const std::string& name,
                   const std::string& extra = "") {
  return R"(<w:drawing><wp:anchor distT="0" distB="0" distL="114300" distR="114300" simplePos="0")"
         R"( relativeHeight="251659264" behindDoc="0" locked="0" layoutInCell="1" allowOverlap="1">)"
         R"(<wp:simplePos x="0" y="0"/>)"
         R"(<wp:positionH relativeFrom="column"><wp:posOffset>1511300</wp:posOffset></wp:positionH>)"
         R"(<wp:positionV relativeFrom="paragraph"><wp:posOffset>38100</wp:posOffset></wp:positionV>)"
         R"(<wp:extent cx="857250" cy="314325"/><wp:wrapSquare wrapText="bothSides"/>)" +
         extra + DocPr(name) + graphic + "</wp:anchor></w:drawing>";
}

std::string TextBoxGraphic(const std::string& paragraphs) {
  return R"(<a:graphic><a:graphicData uri="http://schemas.microsoft.com/office/word/2010/wordprocessingShape">)"
         R"(<wps:wsp><wps:cNvSpPr txBox="1"/><wps:spPr><a:solidFill><a:srgbClr val="ffffff"/></a:solidFill>)"
         R"(<a:ln w="6350"><a:solidFill><a:prstClr val="black"/></a:solidFill></a:ln></wps:spPr>)"
         R"(<wps:txbx><w:txbxContent>)" +
         paragraphs +
         R"(</w:txbxContent></wps:txbx><wps:bodyPr/></wps:wsp></a:graphicData></a:graphic>)";
}

struct Written {
  std::string html;
  fs::path folder;
  std::vector<std::string> diagnostics;
};

Written Convert(const TempDir& dir, const Docx& docx, const PackageLimits& limits = {}) {
  Written written;
  auto package = DocxPackage::Open(WriteDocx(dir, docx), limits);
  EXPECT_TRUE(package.ok()) << package.message();
  if (!package.ok()) return written;
  auto result = WriteWordHtml(*package, dir.File("doc.htm"));
  EXPECT_TRUE(result.ok()) << result.message();
  if (result.ok()) written.diagnostics = result->diagnostics;
  written.html = ReadBytes(dir.path() / "doc.htm");
  written.folder = dir.path() / "doc.files";
  return written;
}

size_t Count(const std::string& text, const std::string& piece) {
  size_t count = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) {
    ++count;
  }
  return count;
}

std::string Replace(const std::string& text, const std::string& pattern,
                    const std::string& replacement) {
  auto replaced = support::RegexpReplace(text, pattern, replacement);
  EXPECT_TRUE(replaced.ok()) << replaced.message();
  return replaced.value_or("");
}

// Body passes B4, B5 (every comment, the VML drawings with them) and S1,
// with the VML fallback kept (Opt1VML on) or dropped.
std::string CleanBody(const std::string& html, bool keep_fallback) {
  std::string body = html.substr(html.find("<body"));
  body = Replace(body, "<!--\\[if mso[^>]*?>([^a]|a)*?<!\\[endif\\]-->", "");
  body = Replace(body, "<!--([^a]|a)*?-->", "");
  return keep_fallback ? Replace(body, "<!\\[if !vml\\]>(([^a]|a)+?)<!\\[endif\\]>", "$1")
                       : Replace(body, "<!\\[if !vml\\]>([^a]|a)+?<!\\[endif\\]>", "");
}

// The header step's pass that turns a VML picture into an img, as first
// specified (unbounded).
std::string VmlToImg(const std::string& html) {
  std::string text = Replace(html, "<v:shapetype(?:[^a]|a)*?</v:shapetype>", "");
  return Replace(text,
                 "<v:shape(?:[^a]|a)*?width:([^;\"'>]*?);(?:[^a]|a)*?height:([^;\"'>]*?)['\";]"
                 "(?:[^a]|a)*?<v:imagedata src=\"([^\">]*?)\"(?:[^a]|a)*?</v:shape>",
                 "<img src=\"$3\" width=\"$1\" height=\"$2\">");
}

// --- Inline and floating pictures ----------------------------------------------------

// A document of one inline PNG picture.
Docx OnePicture() {
  Docx docx;
  docx.relationships = ImageRel("rId5", "media/image1.png");
  docx.media = {{"word/media/image1.png", kPng}};
  docx.body = P(InRun(InlinePicture("rId5")));
  return docx;
}

// Pictures too large to hold go to the spill folder with the lists, and the
// page is the same as with every file held.
TEST(WordHtmlPictures, PicturesTooLargeToHoldGoToTheSpillFolder) {
  TempDir dir;
  auto package = DocxPackage::Open(WriteDocx(dir, OnePicture()));
  ASSERT_TRUE(package.ok()) << package.message();
  const std::string spill = dir.File("spill") + "/";
  WordHtmlPage held, spilled;
  ASSERT_TRUE(RenderWordHtmlPage(*package, "doc.htm", held, spill).ok());
  EXPECT_TRUE(held.files.held());
  EXPECT_FALSE(fs::exists(spill));
  ASSERT_TRUE(RenderWordHtmlPage(*package, "doc.htm", spilled, spill, {}, kPng.size() - 1).ok());
  EXPECT_EQ(spilled.files.folder(), spill);
  EXPECT_EQ(spilled.html, held.html);
  EXPECT_EQ(held.files.held_files().size(), 2u);  // the picture and filelist.xml
  for (const CompanionFile& file : held.files.held_files()) {
    EXPECT_EQ(ReadBytes(spill + file.name), file.bytes) << file.name;
    EXPECT_EQ(spilled.files.ReadText(file.name), held.files.ReadText(file.name));
  }
}

TEST(WordHtmlPictures, InlinePictureIsVmlDrawingPlusFallbackImage) {
  TempDir dir;
  Docx docx;
  docx.relationships = ImageRel("rId5", "media/image1.png");
  docx.media = {{"word/media/image1.png", kPng}};
  docx.body = P(R("before ") + InRun(InlinePicture("rId5")) + R(" after"));
  const Written out = Convert(dir, docx);

  EXPECT_NE(out.html.find("<!--[if gte vml 1]><v:shapetype id=\"_x0000_t75\""), std::string::npos)
      << out.html;
  EXPECT_NE(out.html.find("</v:shapetype><v:shape id=\"Picture_x0020_1\" o:spid=\"_x0000_i1025\" "
                          "type=\"#_x0000_t75\"\r\n style='width:110.5pt;height:136pt;"
                          "visibility:visible;mso-wrap-style:square'>\r\n"
                          " <v:imagedata src=\"doc.files/image001.png\" o:title=\"\"/>\r\n"
                          "</v:shape><![endif]--><![if !vml]><img width=147 height=181\r\n"
                          "src=\"doc.files/image001.png\" v:shapes=\"Picture_x0020_1\"><![endif]>"),
            std::string::npos)
      << out.html;
  EXPECT_EQ(ReadBytes(out.folder / "image001.png"), kPng);
  EXPECT_NE(ReadBytes(out.folder / "filelist.xml")
                .find(" <o:File HRef=\"image001.png\"/>\r\n"
                      " <o:File HRef=\"filelist.xml\"/>"),
            std::string::npos);

  // What the later stages make of it: the fallback image stays with its
  // source in the companion folder, the header step finds the drawing's
  // size and source, and the image copier finds the file.
  const std::string kept = CleanBody(out.html, true);
  EXPECT_EQ(Count(kept, "<img "), 1u);
  EXPECT_NE(kept.find("before <img width=147 height=181\r\nsrc=\"doc.files/image001.png\""),
            std::string::npos)
      << kept;
  EXPECT_EQ(kept.find("v:shape "), std::string::npos);
  EXPECT_EQ(Count(CleanBody(out.html, false), "<img "), 0u);
  EXPECT_NE(VmlToImg(out.html).find(
                R"(<img src="doc.files/image001.png" width="110.5pt" height="136pt">)"),
            std::string::npos);
  auto sources = support::RegexpExecute("src=\".*?doc\\.files/.+?\"", out.html);
  ASSERT_TRUE(sources.ok());
  ASSERT_EQ(sources->size(), 2u);
  EXPECT_EQ((*sources)[1].value, "src=\"doc.files/image001.png\"");
}

TEST(WordHtmlPictures, FloatingPictureIsPositionedOnBothSides) {
  TempDir dir;
  Docx docx;
  docx.relationships = ImageRel("rId5", "media/image1.png") + ImageRel("rId6", "media/photo.jpeg");
  docx.media = {{"word/media/image1.png", kPng}, {"word/media/photo.jpeg", kJpeg}};
  docx.body = P(InRun(InlinePicture("rId5"))) +
              P(R("text") + InRun(Anchor(PicGraphic("rId6"), "Picture 2")));
  const Written out = Convert(dir, docx);

  // The shape type goes once, before the first picture only.
  EXPECT_EQ(Count(out.html, "<v:shapetype"), 1u);
  EXPECT_NE(out.html.find("<v:shape id=\"Picture_x0020_2\" o:spid=\"_x0000_s1025\" "
                          "type=\"#_x0000_t75\"\r\n style='position:absolute;margin-left:119pt;"
                          "margin-top:3pt;width:67.5pt;height:24.75pt;z-index:251659264;"
                          "visibility:visible;mso-wrap-style:square;mso-position-horizontal:"
                          "absolute;mso-position-horizontal-relative:text;mso-position-vertical:"
                          "absolute;mso-position-vertical-relative:text'>\r\n"
                          " <v:imagedata src=\"doc.files/image002.jpg\" o:title=\"\"/>\r\n"
                          " <w:wrap type=\"square\"/>\r\n</v:shape><![endif]-->"),
            std::string::npos)
      << out.html;
  EXPECT_NE(out.html.find("<![if !vml]><span style='mso-ignore:vglayout;position:absolute;"
                          "z-index:251659264;left:0px;margin-left:159px;margin-top:4px;"
                          "width:90px;height:33px'><img width=90 height=33\r\n"
                          "src=\"doc.files/image002.jpg\" v:shapes=\"Picture_x0020_2\"></span>"
                          "<![endif]>"),
            std::string::npos)
      << out.html;
  EXPECT_EQ(ReadBytes(out.folder / "image002.jpg"), kJpeg);
  const std::string kept = CleanBody(out.html, true);
  EXPECT_NE(kept.find("src=\"doc.files/image002.jpg\""), std::string::npos);
  EXPECT_NE(VmlToImg(out.html).find(
                R"(<img src="doc.files/image002.jpg" width="67.5pt" height="24.75pt">)"),
            std::string::npos);
}

TEST(WordHtmlPictures, AlignedPictureFallbackIsPlacedInTheColumn) {
  // Only alignments VML knows reach the style attribute; anything else would
  // be markup of the document's making inside Word's style.
  struct Case {
    const char* align;
    const char* vml;
    const char* fallback;
  };
  const Case cases[] = {
      // (415.3pt column - 67.5pt picture) / 2 = 173.9pt = 232px.
      {"center", "mso-position-horizontal:center;mso-position-horizontal-relative:margin;",
       "left:0px;margin-left:232px;"},
      {"right", "mso-position-horizontal:right;", "left:0px;margin-left:464px;"},
      {"center'&gt;&lt;b&gt;x", "mso-position-horizontal:absolute;", "left:0px;margin-left:0px;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.align);
    TempDir dir;
    Docx docx;
    docx.relationships = ImageRel("rId5", "media/image1.png");
    docx.media = {{"word/media/image1.png", kPng}};
    std::string anchor = Anchor(PicGraphic("rId5"), "Picture 1");
    const std::string offset =
        R"(<wp:positionH relativeFrom="column"><wp:posOffset>1511300</wp:posOffset></wp:positionH>)";
    anchor.replace(anchor.find(offset), offset.size(),
                   std::string(R"(<wp:positionH relativeFrom="margin"><wp:align>)") + c.align +
                       "</wp:align></wp:positionH>");
    docx.body = P(InRun(anchor));
    const Written out = Convert(dir, docx);
    EXPECT_NE(out.html.find(c.vml), std::string::npos) << out.html;
    EXPECT_NE(out.html.find(c.fallback), std::string::npos);
    EXPECT_EQ(out.html.find("<b>"), std::string::npos);
  }
}

TEST(WordHtmlPictures, AltTextAndNamesAreEscapedAndOnOneLine) {
  TempDir dir;
  Docx docx;
  docx.relationships = ImageRel("rId5", "media/image1.png");
  docx.media = {{"word/media/image1.png", kPng}};
  docx.body = P(InRun(InlinePicture("rId5", "图片 4:a", "Sales &amp; costs&#10;&quot;2024&quot;")));
  const Written out = Convert(dir, docx);
  const std::string utf8 = support::DecodeText(out.html, support::EncodingAnsi);
  EXPECT_NE(utf8.find("src=\"doc.files/image001.png\" alt=\"Sales &amp; costs &quot;2024&quot;\" "
                      "v:shapes=\"图片_x0020_4_x003A_a\">"),
            std::string::npos)
      << utf8;
  EXPECT_NE(utf8.find("<v:shape id=\"图片_x0020_4_x003A_a\""), std::string::npos);
}

TEST(WordHtmlPictures, APartShownTwiceIsOneFile) {
  TempDir dir;
  Docx docx;
  docx.relationships = ImageRel("rId5", "media/image1.png") + ImageRel("rId6", "media/image1.png");
  docx.media = {{"word/media/image1.png", kPng}};
  docx.body = P(InRun(InlinePicture("rId5")) + InRun(InlinePicture("rId6", "Picture 2")));
  const Written out = Convert(dir, docx);
  EXPECT_EQ(Count(out.html, "src=\"doc.files/image001.png\""), 4u);
  EXPECT_FALSE(fs::exists(out.folder / "image002.png"));
  EXPECT_EQ(Count(ReadBytes(out.folder / "filelist.xml"), "image001.png"), 1u);
  EXPECT_NE(out.html.find("o:spid=\"_x0000_i1026\""), std::string::npos);
}

TEST(WordHtmlPictures, VmlPictureAndObjectPreview) {
  TempDir dir;
  Docx docx;
  docx.relationships = ImageRel("rId7", "media/image1.png") + ImageRel("rId8", "media/image2.png");
  docx.media = {{"word/media/image1.png", kPng}, {"word/media/image2.png", kPng + "2"}};
  docx.body = P(
      InRun(R"(<w:pict><v:shapetype id="_x0000_t75" coordsize="21600,21600"/>)"
            R"(<v:shape id="_x0000_i1025" type="#_x0000_t75" style="width:415.5pt;height:297pt">)"
            R"(<v:imagedata r:id="rId7" o:title=""/></v:shape></w:pict>)") +
      InRun(R"(<w:object w:dxaOrig="1440" w:dyaOrig="720"><v:shape id="_x0000_i1026" )"
            R"(type="#_x0000_t75" style="width:1in;height:.5in" o:ole=""><v:imagedata r:id="rId8" )"
            R"(o:title=""/></v:shape><o:OLEObject Type="Embed" ProgID="Equation.3" )"
            R"(ShapeID="_x0000_i1026" DrawAspect="Content" ObjectID="_1"/></w:object>)"));
  const Written out = Convert(dir, docx);
  EXPECT_NE(out.html.find("<v:shape id=\"_x0000_i1025\" type=\"#_x0000_t75\"\r\n"
                          " style='width:415.5pt;height:297pt;visibility:visible;"
                          "mso-wrap-style:square'>"),
            std::string::npos)
      << out.html;
  EXPECT_NE(out.html.find("<img width=554 height=396\r\nsrc=\"doc.files/image001.png\" "
                          "v:shapes=\"_x0000_i1025\">"),
            std::string::npos);
  EXPECT_NE(out.html.find("style='width:72pt;height:36pt;visibility:visible;"
                          "mso-wrap-style:square' o:ole=\"\">"),
            std::string::npos);
  EXPECT_NE(out.html.find("<img width=96 height=48\r\nsrc=\"doc.files/image002.png\""),
            std::string::npos);
  EXPECT_EQ(Count(CleanBody(out.html, true), "<img "), 2u);
  // The equation object's picture, and only it, stands in a subscript as
  // Word writes it, so that the equation option of the clean-up applies.
  EXPECT_EQ(Count(out.html, "<sub><!--[if gte vml 1]><v:shape id=\"_x0000_i1026\""), 1u);
  EXPECT_EQ(Count(out.html, "<sub>"), 1u);
  EXPECT_NE(out.html.find("v:shapes=\"_x0000_i1026\"><![endif]></sub>"), std::string::npos);
}

// --- Pictures that cannot be shown -----------------------------------------------------

TEST(WordHtmlPictures, PicturesThatCannotBeShownLeaveTheirTextAndAReason) {
  struct Case {
    const char* name;
    std::string relationships;
    std::string run;
    const char* diagnostic;
  };
  const Case cases[] = {
      {"linked only", ImageRel("rId9", "http://example.com/a.png", "External"),
       InRun(R"(<w:drawing><wp:inline><wp:extent cx="1" cy="1"/>)" + DocPr("Linked") +
             PicGraphic("", R"(r:link="rId9")") + "</wp:inline></w:drawing>"),
       "Linked pictures"},
      {"external target", ImageRel("rId9", "http://example.com/a.png", "External"),
       InRun(InlinePicture("rId9")), "Linked pictures"},
      {"part missing", ImageRel("rId9", "media/none.png"), InRun(InlinePicture("rId9")),
       "missing from the package"},
      {"relationship missing", "", InRun(InlinePicture("rId404")), "rId404"},
      {"chart", "",
       InRun(
           R"(<w:drawing><wp:inline><wp:extent cx="1" cy="1"/><wp:docPr id="1" name="Chart 1"/>)"
           R"(<a:graphic><a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/chart">)"
           R"(<c:chart xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart" r:id="rId3"/>)"
           R"(</a:graphicData></a:graphic></wp:inline></w:drawing>)"),
       "Charts"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    Docx docx;
    docx.relationships = c.relationships;
    docx.body = P(R("before ") + c.run + R("after"));
    const Written out = Convert(dir, docx);
    EXPECT_EQ(out.html.find("<img"), std::string::npos);
    EXPECT_EQ(out.html.find("<v:shape "), std::string::npos);
    EXPECT_NE(out.html.find("before after"), std::string::npos) << out.html;
    ASSERT_FALSE(out.diagnostics.empty());
    EXPECT_NE(out.diagnostics.back().find(c.diagnostic), std::string::npos)
        << out.diagnostics.back();
  }
}

// A chart part: columns of two series, or the chart type `type` when given.
std::string ChartPart(const std::string& type = "barChart") {
  std::string series;
  for (int s = 0; s < 2; ++s) {
    series += "<c:ser><c:idx val=\"" + std::to_string(s) +
              "\"/><c:val><c:numRef><c:numCache><c:ptCount val=\"3\"/>";
    for (int i = 0; i < 3; ++i) {
      series += "<c:pt idx=\"" + std::to_string(i) + "\"><c:v>" + std::to_string(i + s + 1) +
                "</c:v></c:pt>";
    }
    series += "</c:numCache></c:numRef></c:val></c:ser>";
  }
  return R"(<?xml version="1.0" encoding="UTF-8"?><c:chartSpace xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart" xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main">)"
         "<c:chart><c:plotArea><c:" +
         type + "><c:barDir val=\"col\"/>" + series + "</c:" + type +
         "><c:catAx/><c:valAx/></c:plotArea></c:chart></c:chartSpace>";
}

std::string ChartRun(const std::string& id) {
  return R"(<w:drawing><wp:inline><wp:extent cx="3657600" cy="2743200"/><wp:docPr id="1" name="Chart 1"/>)"
         R"(<a:graphic><a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/chart">)"
         R"(<c:chart xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart" r:id=")" +
         id + R"("/></a:graphicData></a:graphic></wp:inline></w:drawing>)";
}

std::string ChartRel(const std::string& id, const std::string& target) {
  return R"(<Relationship Id=")" + id +
         R"(" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/chart" Target=")" +
         target + "\"/>";
}

TEST(WordHtmlPictures, AChartIsAnSvgPictureWithTheFallbackOfAnyPicture) {
  TempDir dir;
  Docx docx;
  docx.relationships = ChartRel("rId3", "charts/chart1.xml");
  docx.media = {{"word/charts/chart1.xml", ChartPart()}};
  docx.body = P(R("before ") + InRun(ChartRun("rId3")) + R(" after"));
  const Written out = Convert(dir, docx);
  EXPECT_TRUE(out.diagnostics.empty()) << out.diagnostics.front();
  EXPECT_NE(
      out.html.find("<v:shape id=\"Chart_x0020_1\" o:spid=\"_x0000_i1025\" type=\"#_x0000_t75\"\r\n"
                    " style='width:288pt;height:216pt;"),
      std::string::npos)
      << out.html;
  EXPECT_NE(out.html.find(" <v:imagedata src=\"doc.files/image001.svg\" o:title=\"\"/>"),
            std::string::npos);
  EXPECT_NE(out.html.find("<img width=384 height=288\r\nsrc=\"doc.files/image001.svg\" "
                          "v:shapes=\"Chart_x0020_1\">"),
            std::string::npos);
  const std::string svg = ReadBytes(out.folder / "image001.svg");
  EXPECT_EQ(Count(svg, "class=\"bar\""), 6u) << svg;
  EXPECT_NE(ReadBytes(out.folder / "filelist.xml").find("<o:File HRef=\"image001.svg\"/>"),
            std::string::npos);
  EXPECT_EQ(Count(CleanBody(out.html, true), "<img "), 1u);
}

TEST(WordHtmlPictures, AChartTypeNotDrawnShowsThePackagesFallbackPicture) {
  for (const bool with_fallback : {true, false}) {
    SCOPED_TRACE(with_fallback ? "with fallback" : "without");
    TempDir dir;
    Docx docx;
    docx.relationships =
        ChartRel("rId3", "charts/chart1.xml") + ImageRel("rId5", "media/image1.png");
    docx.media = {{"word/charts/chart1.xml", ChartPart("radarChart")},
                  {"word/media/image1.png", kPng}};
    const std::string run = with_fallback
                                ? "<mc:AlternateContent><mc:Choice Requires=\"wps\">" +
                                      ChartRun("rId3") + "</mc:Choice><mc:Fallback>" +
                                      InlinePicture("rId5") + "</mc:Fallback></mc:AlternateContent>"
                                : ChartRun("rId3");
    docx.body = P(R("before ") + InRun(run) + R(" after"));
    const Written out = Convert(dir, docx);
    EXPECT_EQ(Count(out.html, "<img "), with_fallback ? 1u : 0u) << out.html;
    EXPECT_EQ(out.html.find(".svg"), std::string::npos);
    if (with_fallback) {
      EXPECT_NE(out.html.find("src=\"doc.files/image001.png\""), std::string::npos);
      EXPECT_TRUE(out.diagnostics.empty());
    } else {
      ASSERT_EQ(out.diagnostics.size(), 1u);
      EXPECT_NE(out.diagnostics.front().find("Charts"), std::string::npos);
    }
  }
}

TEST(WordHtmlPictures, APictureOverThePackageLimitIsLeftOutNotWritten) {
  TempDir dir;
  Docx docx;
  docx.relationships = ImageRel("rId5", "media/image1.png");
  docx.media = {{"word/media/image1.png", kPng + std::string(64 * 1024, '\0')}};
  docx.body = P(R("text") + InRun(InlinePicture("rId5")));
  PackageLimits limits;
  limits.max_part_bytes = 16 * 1024;
  const Written out = Convert(dir, docx, limits);
  EXPECT_EQ(out.html.find("<img"), std::string::npos);
  EXPECT_FALSE(fs::exists(out.folder / "image001.png"));
  ASSERT_FALSE(out.diagnostics.empty());
  EXPECT_NE(out.diagnostics.back().find("picture"), std::string::npos);
}

TEST(WordHtmlPictures, AFileThatCannotBeWrittenFailsTheConversion) {
  TempDir dir;
  auto package = DocxPackage::Open(WriteDocx(dir, OnePicture()));
  ASSERT_TRUE(package.ok());
  // A folder where the picture must go stands for a full or read-only disk.
  fs::create_directories(dir.path() / "doc.files" / "image001.png");
  auto result = WriteWordHtml(*package, dir.File("doc.htm"));
  ASSERT_FALSE(result.ok());
  EXPECT_NE(result.message().find("image001.png"), std::string::npos) << result.message();
}

// --- Metafiles: a PNG copy for the fallback -------------------------------------------

Docx EmfDocx() {
  Docx docx;
  docx.relationships = ImageRel("rId5", "media/image1.emf");
  docx.media = {{"word/media/image1.emf", MinimalEmf()}};
  docx.body = P(InRun(InlinePicture("rId5")));
  return docx;
}

TEST(WordHtmlPictures, MetafileGetsAPngFallbackFromTheConverter) {
  if (PictureConverterName().empty()) GTEST_SKIP() << "neither LibreOffice nor ImageMagick";
  TempDir dir;
  const Written out = Convert(dir, EmfDocx());
  EXPECT_NE(out.html.find("<v:imagedata src=\"doc.files/image001.emf\""), std::string::npos);
  EXPECT_NE(out.html.find("src=\"doc.files/image002.png\" v:shapes=\"Picture_x0020_1\""),
            std::string::npos)
      << out.html;
  EXPECT_EQ(ReadBytes(out.folder / "image001.emf"), MinimalEmf());
  EXPECT_EQ(ReadBytes(out.folder / "image002.png").substr(0, 8), kPng.substr(0, 8));
  const std::string list = ReadBytes(out.folder / "filelist.xml");
  EXPECT_LT(list.find("image001.emf"), list.find("image002.png"));
  EXPECT_TRUE(out.diagnostics.empty()) << out.diagnostics.front();
}

TEST(PictureFiles, WebCopiesComeFromOneConverterRunAndTheOriginalStandsInWithoutOne) {
  TempDir dir;
  Docx docx = EmfDocx();
  docx.relationships += ImageRel("rId6", "media/image2.png") + ImageRel("rId7", "media/image3.emf");
  docx.media.emplace_back("word/media/image2.png", kPng);
  docx.media.emplace_back("word/media/image3.emf", MinimalEmf() + "x");
  auto package = DocxPackage::Open(WriteDocx(dir, docx));
  ASSERT_TRUE(package.ok());
  struct Case {
    const char* name;
    bool converts;
    const char* web;
    size_t diagnostics;
  };
  for (const Case& c : {Case{"converted", true, "image002.png", 0},
                        Case{"no converter", false, "image001.emf", 1}}) {
    SCOPED_TRACE(c.name);
    const fs::path folder = dir.path() / c.name;
    fs::create_directories(folder);
    std::vector<std::string> diagnostics;
    PictureFiles files(*package, folder.string(), &diagnostics);
    int runs = 0;
    size_t handed = 0;
    files.PrepareWebCopies({package->main_part_name()},
                           [&](const std::vector<PictureToConvert>& pictures) {
                             ++runs;
                             handed = pictures.size();
                             ConvertedPictures converted;
                             if (c.converts) {
                               for (const auto& picture : pictures)
                                 converted.png[picture.key] = kPng;
                             } else {
                               converted.problem = "no converter here";
                             }
                             return converted;
                           });
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(handed, 2u);  // the two metafiles, not the PNG
    const PictureFiles::Files* emf = files.Use("word/media/image1.emf");
    ASSERT_NE(emf, nullptr);
    EXPECT_EQ(emf->original, "image001.emf");
    EXPECT_EQ(emf->web, c.web);
    EXPECT_EQ(ReadBytes(folder / emf->web).substr(0, 4),
              c.converts ? kPng.substr(0, 4) : MinimalEmf().substr(0, 4));
    EXPECT_EQ(files.Use("word/media/image2.png")->web,
              files.Use("word/media/image2.png")->original);
    EXPECT_EQ(diagnostics.size(), c.diagnostics);
    if (!diagnostics.empty()) {
      EXPECT_NE(diagnostics[0].find("no converter here"), std::string::npos);
    }
    EXPECT_TRUE(files.status().ok());
  }
}

TEST(PictureConvert, ConverterTurnsAMetafileIntoAPng) {
  if (PictureConverterName().empty()) GTEST_SKIP() << "neither LibreOffice nor ImageMagick";
  const ConvertedPictures converted =
      ConvertPicturesToPng({{"emf", MinimalEmf(), "emf"}, {"junk", "not a picture", "wmf"}});
  ASSERT_EQ(converted.png.count("emf"), 1u) << converted.problem;
  EXPECT_EQ(converted.png.at("emf").substr(0, 8), kPng.substr(0, 8));
  EXPECT_EQ(converted.png.count("junk"), 0u);
  EXPECT_FALSE(converted.problem.empty());
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(PictureConvert, ConvertedPicturesComeFromTheCacheNextTime) {
  if (PictureConverterName().empty()) GTEST_SKIP() << "neither LibreOffice nor ImageMagick";
  TempDir cache;
  ScopedEnv own_cache("TESSARINE_PICTURE_CACHE", cache.path().string());
  const std::string emf = MinimalEmf() + "cache";
  ASSERT_EQ(ConvertPicturesToPng({{"a", emf, "emf"}}).png.count("a"), 1u);
  const fs::path cached = cache.path() / (support::Sha256Hex(emf) + ".emf.png");
  ASSERT_TRUE(fs::exists(cached));

  // Without any converter on the PATH the picture still gets its PNG.
  ScopedEnv no_converter("PATH", cache.File("empty"));
  ASSERT_TRUE(PictureConverterName().empty());
  ConvertedPictures again = ConvertPicturesToPng({{"b", emf, "emf"}});
  ASSERT_EQ(again.png.count("b"), 1u);
  EXPECT_EQ(again.png.at("b"), ReadBytes(cached));
  EXPECT_TRUE(again.problem.empty());

  // A damaged cache entry is not taken for a picture.
  testing::WriteBytes(cached, "not a png");
  again = ConvertPicturesToPng({{"c", emf, "emf"}});
  EXPECT_EQ(again.png.count("c"), 0u);
  EXPECT_FALSE(again.problem.empty());
}

TEST(PictureConvert, FormatsAreKnownByTheirBytes) {
  const std::pair<std::string, const char*> cases[] = {
      {kPng, "png"},
      {kJpeg, "jpg"},
      {"GIF89a....", "gif"},
      {MinimalEmf(), "emf"},
      {std::string("\xD7\xCD\xC6\x9A", 4) + "....", "wmf"},
      {std::string("II*\0", 4) + "....", "tif"},
      {"<?xml version=\"1.0\"?><svg/>", "svg"},
      {"plain text", ""},
  };
  for (const auto& [bytes, format] : cases) EXPECT_EQ(SniffPictureFormat(bytes), format) << format;
}

// --- Text boxes ------------------------------------------------------------------

// A diagram whose data part names its stored drawing (a rounded box and
// an ellipse with text) when `with_drawing`.
Docx DiagramDocx(bool with_drawing) {
  Docx docx;
  const std::string dsp = "http://schemas.microsoft.com/office/drawing/2008/diagram";
  docx.relationships =
      R"(<Relationship Id="rId7" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/diagramData" Target="diagrams/data1.xml"/>)";
  std::string data =
      R"(<?xml version="1.0" encoding="UTF-8"?><dgm:dataModel xmlns:dgm="http://schemas.openxmlformats.org/drawingml/2006/diagram" xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main"><dgm:ptLst/>)";
  if (with_drawing) {
    docx.relationships +=
        R"(<Relationship Id="rId8" Type="http://schemas.microsoft.com/office/2007/relationships/diagramDrawing" Target="diagrams/drawing1.xml"/>)";
    data += R"(<dgm:extLst><a:ext uri=")" + dsp + R"("><dsp:dataModelExt xmlns:dsp=")" + dsp +
            R"(" relId="rId8"/></a:ext></dgm:extLst>)";
    const auto shape = [](const std::string& preset, const std::string& text, int x) {
      return R"(<dsp:sp><dsp:spPr><a:xfrm><a:off x=")" + std::to_string(x) +
             R"(" y="0"/><a:ext cx="1270000" cy="635000"/></a:xfrm><a:prstGeom prst=")" + preset +
             R"("/><a:solidFill><a:srgbClr val="4472C4"><a:alpha val="90000"/></a:srgbClr></a:solidFill>)"
             R"(<a:ln w="12700"><a:solidFill><a:srgbClr val="FFFFFF"/></a:solidFill></a:ln></dsp:spPr>)"
             R"(<dsp:style><a:fontRef idx="minor"><a:srgbClr val="FFFFFF"/></a:fontRef></dsp:style>)"
             R"(<dsp:txBody><a:bodyPr anchor="ctr"/><a:p><a:pPr algn="ctr"/><a:r><a:rPr sz="1800"/><a:t>)" +
             text + "</a:t></a:r></a:p></dsp:txBody></dsp:sp>";
    };
    docx.media.emplace_back(
        "word/diagrams/drawing1.xml",
        R"(<?xml version="1.0" encoding="UTF-8"?><dsp:drawing xmlns:dsp=")" + dsp +
            R"(" xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main"><dsp:spTree>)" +
            shape("roundRect", "First &amp; best", 0) + shape("ellipse", "Second", 1905000) +
            "</dsp:spTree></dsp:drawing>");
  }
  data += "</dgm:dataModel>";
  docx.media.emplace_back("word/diagrams/data1.xml", data);
  docx.body = P(
      R("before ") +
      InRun(
          R"(<w:drawing><wp:inline><wp:extent cx="5486400" cy="3200400"/><wp:docPr id="1" name="Diagram 1"/>)"
          R"(<a:graphic><a:graphicData uri="http://schemas.openxmlformats.org/drawingml/2006/diagram">)"
          R"(<dgm:relIds xmlns:dgm="http://schemas.openxmlformats.org/drawingml/2006/diagram" r:dm="rId7"/>)"
          R"(</a:graphicData></a:graphic></wp:inline></w:drawing>)") +
      R(" after"));
  return docx;
}

TEST(WordHtmlPictures, ADiagramShowsItsStoredDrawingAndWithoutOneIsReported) {
  for (const bool with_drawing : {true, false}) {
    SCOPED_TRACE(with_drawing ? "stored drawing" : "none");
    TempDir dir;
    const Written out = Convert(dir, DiagramDocx(with_drawing));
    EXPECT_NE(out.html.find("before after"), std::string::npos);
    if (!with_drawing) {
      EXPECT_EQ(Count(out.html, "<img "), 0u);
      ASSERT_EQ(out.diagnostics.size(), 1u);
      EXPECT_NE(out.diagnostics.front().find("diagrams"), std::string::npos);
      continue;
    }
    EXPECT_TRUE(out.diagnostics.empty()) << out.diagnostics.front();
    EXPECT_NE(out.html.find("<v:shape id=\"Diagram_x0020_1\" o:spid=\"_x0000_i1025\" "
                            "type=\"#_x0000_t75\"\r\n style='width:432pt;height:252pt;"),
              std::string::npos)
        << out.html;
    EXPECT_NE(out.html.find("<img width=576 height=336\r\nsrc=\"doc.files/image001.svg\" "
                            "v:shapes=\"Diagram_x0020_1\">"),
              std::string::npos);
    const std::string svg = ReadBytes(out.folder / "image001.svg");
    EXPECT_EQ(Count(svg, "class=\"shape\""), 2u) << svg;
    EXPECT_NE(svg.find(" fill=\"#4472C4\" fill-opacity=\"0.9\" stroke=\"#FFFFFF\""),
              std::string::npos);
    EXPECT_NE(svg.find(" A"), std::string::npos);  // the rounded corners and the ellipse
    // Centred in its shape, broken into lines that fit it.
    EXPECT_NE(svg.find("<text x=\"50\" y=\"20.5\" font-size=\"18\" text-anchor=\"middle\" "
                       "fill=\"#FFFFFF\">First &amp;</text>\n<text x=\"50\" y=\"42.1\""),
              std::string::npos)
        << svg;
    EXPECT_NE(svg.find(">Second</text>"), std::string::npos);
    EXPECT_NE(ReadBytes(out.folder / "filelist.xml").find("<o:File HRef=\"image001.svg\"/>"),
              std::string::npos);
  }
}

// A chain of three DrawingML text boxes: the text is kept once, in the
// first (whose Word-written VML twin is in the fallback).
TEST(WordHtmlPictures, LinkedTextBoxesShowTheirTextOnceInTheFirstBox) {
  const auto box = [](const std::string& name, const std::string& text_part) {
    return Anchor(
        R"(<a:graphic><a:graphicData uri="http://schemas.microsoft.com/office/word/2010/wordprocessingShape">)"
        R"(<wps:wsp><wps:cNvSpPr txBox="1"/><wps:spPr><a:solidFill><a:srgbClr val="FFFF00"/></a:solidFill>)"
        R"(<a:ln><a:noFill/></a:ln></wps:spPr>)" +
            text_part + R"(<wps:bodyPr/></wps:wsp></a:graphicData></a:graphic>)",
        name);
  };
  const std::string head = R"(<wps:txbx id="5"><w:txbxContent>)" + P(R("Chained words")) +
                           P(R("more words")) + "</w:txbxContent></wps:txbx>";
  const auto vml = [](const std::string& id, const std::string& next, bool content) {
    return R"(<w:pict><v:shape id=")" + id +
           R"(" type="#_x0000_t202" style="position:absolute;width:50pt;height:40pt">)"
           R"(<v:textbox style="mso-next-textbox:#)" +
           next + "\">" +
           (content ? "<w:txbxContent>" + P(R("Chained words")) + P(R("more words")) +
                          "</w:txbxContent>"
                    : std::string()) +
           "</v:textbox></v:shape></w:pict>";
  };
  for (const bool drawing : {true, false}) {
    SCOPED_TRACE(drawing ? "DrawingML" : "VML");
    TempDir dir;
    Docx docx;
    if (drawing) {
      // The continuations come first in the document: the chain is known
      // before the first box is written.
      docx.body = P(InRun(box("Text Box 3", R"(<wps:linkedTxbx id="5" seq="2"/>)"))) +
                  P(InRun(box("Text Box 1", head))) +
                  P(InRun(box("Text Box 2", R"(<wps:linkedTxbx id="5" seq="1"/>)")));
    } else {
      // Each box of a VML chain may hold the chain's text; only the first shows it.
      docx.body = P(InRun(vml("Box1", "Box2", true))) + P(InRun(vml("Box2", "Box3", true))) +
                  P(InRun(vml("Box3", "Box3", true)));
    }
    const Written out = Convert(dir, docx);
    const std::string first = drawing ? "Text_x0020_Box_x0020_1" : "Box1";
    const std::string second = drawing ? "Text_x0020_Box_x0020_2" : "Box2";
    const std::string third = drawing ? "Text_x0020_Box_x0020_3" : "Box3";
    for (bool keep_fallback : {true, false}) {
      const std::string body = CleanBody(out.html, keep_fallback);
      EXPECT_EQ(Count(body, "Chained words"), 1u) << body;
      EXPECT_EQ(Count(body, "more words"), 1u);
    }
    // Three boxes, each named with the next, the first holding the text and
    // growing with it in the fallback; the others keep their size.
    EXPECT_EQ(Count(out.html, "<v:rect "), 3u);
    const size_t link1 = out.html.find("<v:textbox style='mso-next-textbox:#" + second + "'");
    const size_t link2 = out.html.find("<v:textbox style='mso-next-textbox:#" + third + "'");
    ASSERT_NE(link1, std::string::npos) << out.html;
    ASSERT_NE(link2, std::string::npos);
    EXPECT_EQ(Count(out.html, "mso-next-textbox"), 2u);
    const size_t text = out.html.find("Chained words", out.html.find("<body"));
    EXPECT_LT(out.html.find("<v:rect id=\"" + first + "\""), text);
    EXPECT_GT(text, link1);
    EXPECT_EQ(out.html.rfind("<v:rect ", text), out.html.rfind("<v:rect id=\"" + first, text));
    EXPECT_EQ(Count(out.html, drawing ? " height=33 style='" : " height=53 style='"), 2u)
        << out.html;
  }
}

TEST(WordHtmlPictures, AStrictDocumentsTextBoxKeepsItsText) {
  // ISO strict keeps the shape's elements in the drawing namespace.
  TempDir dir;
  Docx docx;
  docx.body = P(InRun(
      R"(<w:drawing xmlns:wp="http://purl.oclc.org/ooxml/drawingml/wordprocessingDrawing">)"
      R"(<wp:inline><wp:extent cx="857250" cy="314325"/><wp:docPr id="1" name="Text Box 9"/>)"
      R"(<a:graphic><a:graphicData uri="http://schemas.microsoft.com/office/word/2010/wordprocessingShape">)"
      R"(<wp:wsp><wp:cNvSpPr txBox="1"/><wp:spPr/><wp:txbx>)"
      R"(<wne:txbxContent xmlns:wne="http://schemas.microsoft.com/office/word/2006/wordml">)" +
      P(R("Strict words")) +
      R"(</wne:txbxContent></wp:txbx><wp:bodyPr/></wp:wsp></a:graphicData></a:graphic>)"
      R"(</wp:inline></w:drawing>)"));
  const Written out = Convert(dir, docx);
  EXPECT_EQ(Count(CleanBody(out.html, true), "Strict words"), 1u) << out.html;
  EXPECT_NE(out.html.find("<v:rect id=\"Text_x0020_Box_x0020_9\""), std::string::npos);
  EXPECT_TRUE(out.diagnostics.empty());
}

TEST(WordHtmlPictures, ShapesKeepFillOutlineAndTextDirection) {
  // Colours from the shape's style (no theme: Office's accents), text
  // running bottom to top; a VML box with vertical text.
  const std::string styled =
      R"(<a:graphic><a:graphicData uri="http://schemas.microsoft.com/office/word/2010/wordprocessingShape">)"
      R"(<wps:wsp><wps:spPr><a:xfrm rot="1800000"/><a:prstGeom prst="rect"/></wps:spPr>)"
      R"(<wps:style><a:lnRef idx="2"><a:schemeClr val="accent1"><a:shade val="50000"/></a:schemeClr></a:lnRef>)"
      R"(<a:fillRef idx="1"><a:schemeClr val="accent1"/></a:fillRef><a:effectRef idx="0"><a:schemeClr val="accent1"/></a:effectRef>)"
      R"(<a:fontRef idx="minor"><a:schemeClr val="lt1"/></a:fontRef></wps:style>)"
      R"(<wps:txbx><w:txbxContent><w:p><w:r><w:t>up</w:t></w:r></w:p></w:txbxContent></wps:txbx>)"
      R"(<wps:bodyPr vert="vert270"/></wps:wsp></a:graphicData></a:graphic>)";
  const std::string vml =
      R"(<w:pict><v:shape id="Box2" type="#_x0000_t202" style="width:50pt;height:80pt" fillcolor="#fc0">)"
      R"(<v:textbox style="layout-flow:vertical"><w:txbxContent><w:p><w:r><w:t>down</w:t></w:r></w:p>)"
      R"(</w:txbxContent></v:textbox></v:shape></w:pict>)";
  TempDir dir;
  Docx docx;
  docx.body = P(InRun(Anchor(styled, "Box 1"))) + P(InRun(vml));
  const Written out = Convert(dir, docx);
  EXPECT_NE(out.html.find(" fillcolor=\"#4472C4\" strokecolor=\"#223962\""), std::string::npos)
      << out.html;
  EXPECT_NE(
      out.html.find("<v:textbox style='layout-flow:vertical;mso-layout-flow-alt:bottom-to-top'"),
      std::string::npos);
  EXPECT_NE(out.html.find(";writing-mode:vertical-rl;transform:rotate(180deg)'"),
            std::string::npos);
  EXPECT_NE(out.html.find("background:#4472C4"), std::string::npos);
  EXPECT_NE(out.html.find(" fillcolor=\"#FFCC00\""), std::string::npos);
  EXPECT_NE(out.html.find("<v:textbox style='layout-flow:vertical' inset="), std::string::npos);
  EXPECT_EQ(Count(out.html, ";writing-mode:vertical-rl"), 2u);
  // Turned by 30 degrees, in the drawing and its fallback.
  EXPECT_NE(out.html.find(";width:67.5pt;height:24.75pt;rotation:30;z-index:"), std::string::npos);
  EXPECT_NE(out.html.find("<table cellpadding=0 cellspacing=0 style='transform:rotate(30deg)'>"),
            std::string::npos);
  EXPECT_EQ(Count(out.html, "rotate(30deg)"), 1u);
}

TEST(WordHtmlPictures, TextBoxTextStaysInWordsVmlAndFallbackForm) {
  TempDir dir;
  Docx docx;
  docx.relationships = ImageRel("rId5", "media/image1.png");
  docx.media = {{"word/media/image1.png", kPng}};
  docx.body = P(R("anchor ") + InRun(Anchor(TextBoxGraphic(P(R("Boxed words"))), "Text Box 2")) +
                R(" tail")) +
              P(InRun(InlinePicture("rId5")));
  const Written out = Convert(dir, docx);

  const size_t shape = out.html.find(
      "<!--[if gte vml 1]><v:rect id=\"Text_x0020_Box_x0020_2\" "
      "o:spid=\"_x0000_s1025\"\r\n style='position:absolute;");
  ASSERT_NE(shape, std::string::npos) << out.html;
  // No v:shape without a picture, so the header step cannot run on from the
  // box into the next picture.
  EXPECT_EQ(Count(out.html, "<v:shape "), Count(out.html, "<v:imagedata "));
  EXPECT_NE(out.html.find("fillcolor=\"#FFFFFF\" strokecolor=\"#000000\" strokeweight=\".5pt\">"),
            std::string::npos);
  EXPECT_NE(out.html.find("</v:rect><![endif]--><![if !vml]><span style='mso-ignore:vglayout;"
                          "position:absolute;z-index:251659264;left:0px;margin-left:159px;"
                          "margin-top:4px;width:90px;height:33px'>"),
            std::string::npos);
  EXPECT_NE(out.html.find("<td width=90 height=33 style='border:.5pt solid #000000;"
                          "vertical-align:top;background:#FFFFFF'><![endif]><![if !mso]><span"),
            std::string::npos);
  EXPECT_NE(out.html.find("<div v:shape=\"Text_x0020_Box_x0020_2\" style='padding:3.6pt 7.2pt "
                          "3.6pt 7.2pt'\r\n    class=shape>\r\n    <p class=MsoNormal>"),
            std::string::npos)
      << out.html;
  // Inside the anchoring paragraph, between its words.
  EXPECT_LT(out.html.find("anchor"), out.html.find("Boxed words"));
  EXPECT_LT(out.html.find("Boxed words"), out.html.find("tail"));

  for (bool keep_fallback : {true, false}) {
    SCOPED_TRACE(keep_fallback);
    const std::string body = CleanBody(out.html, keep_fallback);
    EXPECT_EQ(Count(body, "Boxed words"), 1u) << body;
    EXPECT_EQ(body.find("<v:"), std::string::npos);
    EXPECT_EQ(Count(body, "<table"), Count(body, "</table>"));
    EXPECT_EQ(Count(body, "<div"), Count(body, "</div>"));
  }
  EXPECT_EQ(Count(CleanBody(out.html, true), "<span"), Count(CleanBody(out.html, true), "</span>"));
  // The picture after the box keeps its own size and source.
  const std::string header = VmlToImg(out.html);
  EXPECT_NE(header.find(R"(<img src="doc.files/image001.png" width="110.5pt" height="136pt">)"),
            std::string::npos);
}

TEST(WordHtmlPictures, VmlTextBoxAndGroupsKeepTextAndPictures) {
  struct Case {
    const char* name;
    std::string run;
    std::vector<std::string> expected;
  };
  const std::string group =
      R"(<w:drawing><wp:anchor simplePos="0" relativeHeight="5" behindDoc="1"><wp:simplePos x="0" y="0"/>)"
      R"(<wp:positionH relativeFrom="column"><wp:posOffset>0</wp:posOffset></wp:positionH>)"
      R"(<wp:positionV relativeFrom="paragraph"><wp:posOffset>0</wp:posOffset></wp:positionV>)"
      R"(<wp:extent cx="2540000" cy="1270000"/><wp:wrapNone/><wp:docPr id="3" name="Group 3"/>)"
      R"(<a:graphic><a:graphicData uri="http://schemas.microsoft.com/office/word/2010/wordprocessingGroup">)"
      R"(<wpg:wgp><wpg:grpSpPr><a:xfrm><a:off x="0" y="0"/><a:ext cx="2540000" cy="1270000"/>)"
      R"(<a:chOff x="0" y="0"/><a:chExt cx="1270000" cy="635000"/></a:xfrm></wpg:grpSpPr>)"
      R"(<pic:pic><pic:nvPicPr><pic:cNvPr id="4" name="Inner Picture"/><pic:cNvPicPr/></pic:nvPicPr>)"
      R"(<pic:blipFill><a:blip r:embed="rId5"/></pic:blipFill><pic:spPr><a:xfrm><a:off x="635000" y="0"/>)"
      R"(<a:ext cx="127000" cy="127000"/></a:xfrm></pic:spPr></pic:pic>)"
      R"(<wps:wsp><wps:cNvPr id="5" name="Inner Box"/><wps:spPr><a:xfrm><a:off x="0" y="317500"/>)"
      R"(<a:ext cx="635000" cy="317500"/></a:xfrm><a:noFill/></wps:spPr><wps:txbx><w:txbxContent>)" +
      P(R("group words")) +
      R"(</w:txbxContent></wps:txbx><wps:bodyPr lIns="0" tIns="0" rIns="0" bIns="0"/></wps:wsp>)"
      R"(</wpg:wgp></a:graphicData></a:graphic></wp:anchor></w:drawing>)";
  const Case cases[] = {
      {"VML text box",
       InRun(
           R"(<w:pict><v:shape id="Box 1" o:spid="_x0000_s1030" type="#_x0000_t202" )"
           R"(style="position:absolute;margin-left:10pt;margin-top:2pt;width:100pt;height:20pt;z-index:3" )"
           R"(filled="f" strokecolor="red"><v:textbox inset="0,0,0,0"><w:txbxContent>)" +
           P(R("vml words")) +
           R"(</w:txbxContent></v:textbox><w10:wrap type="square"/></v:shape></w:pict>)"),
       {"<v:rect id=\"Box_x0020_1\" o:spid=\"_x0000_s1030\"\r\n",
        "margin-left:10pt;margin-top:2pt;width:100pt;height:20pt;z-index:3;",
        "filled=\"f\" stroked=\"f\">", "<v:textbox inset=\"0,0,0,0\"/>",
        "<w:wrap type=\"square\"/>", "margin-left:13px;margin-top:3px;width:133px;height:27px'>",
        "style='padding:0 0 0 0'", "vml words"}},
      {"DrawingML group",
       InRun(group),
       // Child coordinates are half size: the picture at 50pt across, the box 25pt down.
       {"<v:shape id=\"Inner_x0020_Picture\" o:spid=\"_x0000_s1025\" type=\"#_x0000_t75\"",
        "margin-left:100pt;margin-top:0;width:20pt;height:20pt;z-index:-5;",
        "src=\"doc.files/image001.png\"", "<v:rect id=\"Inner_x0020_Box\"",
        "margin-left:0;margin-top:50pt;width:100pt;height:50pt;z-index:-5;",
        "style='padding:0 0 0 0'", "group words"}},
      {"VML group",
       InRun(
           R"(<w:pict><v:group id="G" style="position:absolute;margin-left:20pt;margin-top:0;)"
           R"(width:200pt;height:100pt;z-index:7" coordsize="2000,1000" coordorigin="0,0">)"
           R"(<v:shape id="P" type="#_x0000_t75" style="position:absolute;left:1000;top:500;width:500;height:500">)"
           R"(<v:imagedata r:id="rId5" o:title=""/></v:shape>)"
           R"(<v:line id="L" from="0,0" to="10,10"/></v:group></w:pict>)"),
       {"<v:shape id=\"P\" type=\"#_x0000_t75\"",
        "margin-left:120pt;margin-top:50pt;width:50pt;height:50pt;z-index:7;",
        "src=\"doc.files/image001.png\""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    Docx docx;
    docx.relationships = ImageRel("rId5", "media/image1.png");
    docx.media = {{"word/media/image1.png", kPng}};
    docx.body = P(R("anchor") + c.run);
    const Written out = Convert(dir, docx);
    for (const std::string& piece : c.expected) {
      EXPECT_NE(out.html.find(piece), std::string::npos) << piece << "\n" << out.html;
    }
    EXPECT_EQ(out.html.find("v:line"), std::string::npos);
  }
}

TEST(WordHtmlPictures, APictureInsideATextBoxIsWrittenThere) {
  TempDir dir;
  Docx docx;
  docx.relationships = ImageRel("rId5", "media/image1.png");
  docx.media = {{"word/media/image1.png", kPng}};
  docx.body = P(InRun(
      Anchor(TextBoxGraphic(P(R("caption")) + P(InRun(InlinePicture("rId5")))), "Text Box 1")));
  const Written out = Convert(dir, docx);
  const size_t box = out.html.find("<div v:shape=\"Text_x0020_Box_x0020_1\"");
  const size_t picture = out.html.find("<img width=147");
  const size_t box_end = out.html.find("</div>", box);
  EXPECT_LT(box, picture);
  EXPECT_LT(picture, box_end);
  EXPECT_EQ(Count(CleanBody(out.html, true), "<img "), 1u);
}

}  // namespace
}  // namespace tessarine::convert
