// The Word HTML writer on small documents built here, one feature each, and
// on the real corpus. Besides the markup itself, the key cases run the very
// patterns the later stages use (head and style parse, section splitting,
// clean-up passes) to show that those stages find what they look for.
#include "convert/word_html_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "convert/conversion.h"
#include "convert/docx_package.h"
#include "convert/html_text.h"
#include "support/regex.h"
#include "support/text_file.h"
#include "test_support.h"
#include "word_html_checks.h"
#include "zip_writer.h"

namespace tessarine::convert {
namespace {

namespace fs = std::filesystem;
using tessarine::testing::BodyOf;
using tessarine::testing::Count;
using tessarine::testing::kHeadingPattern;
using tessarine::testing::PageSetup;
using tessarine::testing::ParsePageSetup;
using tessarine::testing::ReadBytes;
using tessarine::testing::TempDir;

// --- Building packages ---------------------------------------------------------

constexpr const char* kNamespaces = tessarine::testing::kWordNamespaces;

struct Docx {
  std::string body;           // inside w:body
  std::string styles;         // inside w:styles (docDefaults and styles)
  std::string numbering;      // inside w:numbering; no part when empty
  std::string relationships;  // extra document relationships
  std::string title;          // core Title property
};

// Latin text in English, East Asian text in Chinese: body lang=ZH-CN.
constexpr char kDocDefaults[] =
    R"(<w:docDefaults><w:rPrDefault><w:rPr><w:rFonts w:ascii="Times New Roman" w:eastAsia="宋体" w:hAnsi="Times New Roman"/>)"
    R"(<w:sz w:val="21"/><w:lang w:val="en-US" w:eastAsia="zh-CN" w:bidi="ar-SA"/></w:rPr></w:rPrDefault></w:docDefaults>)"
    R"(<w:style w:type="paragraph" w:default="1" w:styleId="Normal"><w:name w:val="Normal"/><w:qFormat/></w:style>)"
    R"(<w:style w:type="character" w:default="1" w:styleId="DefaultParagraphFont"><w:name w:val="Default Paragraph Font"/></w:style>)";

std::string Heading(const std::string& id, int level, const std::string& extra = "") {
  const std::string n = std::to_string(level);
  return R"(<w:style w:type="paragraph" w:styleId=")" + id + R"("><w:name w:val="heading )" + n +
         R"("/><w:basedOn w:val="Normal"/><w:next w:val="Normal"/><w:qFormat/><w:pPr><w:keepNext/>)" +
         extra + R"(<w:outlineLvl w:val=")" + std::to_string(level - 1) +
         R"("/></w:pPr><w:rPr><w:b/><w:sz w:val="32"/></w:rPr></w:style>)";
}

std::string WriteDocx(const TempDir& dir, const Docx& docx, const std::string& name = "in.docx") {
  std::map<std::string, std::string> parts;
  parts["[Content_Types].xml"] =
      R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
      R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
      R"(<Default Extension="xml" ContentType="application/xml"/>)"
      R"(<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>)"
      R"(</Types>)";
  parts["_rels/.rels"] =
      R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
      R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>)"
      R"(<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties" Target="docProps/core.xml"/>)"
      R"(</Relationships>)";
  parts["docProps/core.xml"] =
      R"(<?xml version="1.0" encoding="UTF-8"?><cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties" xmlns:dc="http://purl.org/dc/elements/1.1/">)"
      R"(<dc:title>)" +
      docx.title + R"(</dc:title></cp:coreProperties>)";
  std::string rels =
      R"(<Relationship Id="rIdS" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/>)";
  parts["word/styles.xml"] = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><w:styles") +
                             kNamespaces + ">" + kDocDefaults + docx.styles + "</w:styles>";
  if (!docx.numbering.empty()) {
    rels +=
        R"(<Relationship Id="rIdN" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/numbering" Target="numbering.xml"/>)";
    parts["word/numbering.xml"] =
        std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><w:numbering") + kNamespaces + ">" +
        docx.numbering + "</w:numbering>";
  }
  parts["word/_rels/document.xml.rels"] =
      R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)" +
      rels + docx.relationships + "</Relationships>";
  parts["word/document.xml"] =
      std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><w:document") + kNamespaces +
      "><w:body>" + docx.body + "</w:body></w:document>";

  return tessarine::testing::WriteZip(dir.File(name), {parts.begin(), parts.end()});
}

std::string Render(const Docx& docx, std::vector<std::string>* diagnostics = nullptr) {
  TempDir dir;
  auto package = DocxPackage::Open(WriteDocx(dir, docx));
  EXPECT_TRUE(package.ok()) << package.message();
  if (!package.ok()) return {};
  return RenderWordHtml(*package, "in.files", diagnostics);
}

std::string R(const std::string& text, const std::string& rpr = "") {
  return "<w:r>" + (rpr.empty() ? "" : "<w:rPr>" + rpr + "</w:rPr>") +
         "<w:t xml:space=\"preserve\">" + text + "</w:t></w:r>";
}
std::string P(const std::string& content, const std::string& ppr = "") {
  return "<w:p>" + (ppr.empty() ? "" : "<w:pPr>" + ppr + "</w:pPr>") + content + "</w:p>";
}
std::string Styled(const std::string& style, const std::string& content,
                   const std::string& ppr = "") {
  return P(content, "<w:pStyle w:val=\"" + style + "\"/>" + ppr);
}
std::string FieldChar(const std::string& type) {
  return "<w:r><w:fldChar w:fldCharType=\"" + type + "\"/></w:r>";
}
std::string Instr(const std::string& text) {
  return "<w:r><w:instrText xml:space=\"preserve\">" + text + "</w:instrText></w:r>";
}

// --- The later stages' own patterns ------------------------------------------------

struct FoundHeading {
  std::string level, title, plain_title;
};

std::string TitleText(std::string text) {
  text = support::RegexpReplace(text, "<([^a]|a)*?>", "").value_or("");
  text = support::RegexpReplace(text, "[\\r\\n]+", "").value_or("");
  text = support::RegexpReplace(text, "(&nbsp;)+", " ").value_or("");
  text = support::RegexpReplace(text, " +", " ").value_or("");
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::vector<FoundHeading> SplitHeadings(const std::string& html) {
  std::vector<FoundHeading> found;
  auto matches = support::RegexpExecute(kHeadingPattern, BodyOf(html));
  EXPECT_TRUE(matches.ok()) << matches.message();
  for (const auto& match : matches.value_or({})) {
    FoundHeading heading;
    heading.level = match.groups[1].value_or("");
    if (heading.level.empty()) heading.level = match.groups[3].value_or("");
    heading.title = TitleText(match.value);
    heading.plain_title = TitleText(
        support::RegexpReplace(match.value, "<!\\[if !supportLists\\]>([^a]|a)*?<!\\[endif\\]>", "")
            .value_or(""));
    found.push_back(heading);
  }
  return found;
}

// The texts inside every list-number block, in order.
std::vector<std::string> ListLabels(const std::string& html) {
  std::vector<std::string> labels;
  auto matches = support::RegexpExecute("<span style='mso-list:Ignore'>([^<]*)<", BodyOf(html));
  for (const auto& match : matches.value_or({})) labels.push_back(match.groups[0].value_or(""));
  return labels;
}

// --- Spelling of numbers and codes -----------------------------------------------------

TEST(WordHtmlWriterTest, LengthsAreSpelledAsWordSpellsThem) {
  const std::vector<std::pair<long long, std::string>> twips = {
      {11906, "595.3pt"}, {16838, "841.9pt"}, {1440, "72.0pt"},   {851, "42.55pt"},
      {10, ".5pt"},       {-1, "-.05pt"},     {-425, "-21.25pt"}, {0, "0cm"},
      {567, "1.0cm"},     {-1134, "-2.0cm"},  {210, "10.5pt"},
  };
  for (const auto& [value, text] : twips) {
    std::string out;
    AppendTwipsLength(out, value);
    EXPECT_EQ(out, text) << value;
  }
  EXPECT_EQ(TwipsToPixels(6589), 439);  // 329.45pt, as in Word's <td width=439>
  const std::vector<std::pair<std::string, std::string>> languages = {
      {"en-US", "EN-US"},   {"zh-CN", "ZH-CN"}, {"de-DE", "DE"},    {"ja-JP", "JA"},
      {"x-none", "X-NONE"}, {"en-GB", "EN-GB"}, {"zh-TW", "ZH-TW"}, {"", ""},
  };
  for (const auto& [tag, code] : languages) EXPECT_EQ(HtmlLanguage(tag), code) << tag;
}

// --- Page setup and head -------------------------------------------------------------

constexpr char kA4[] =
    R"(<w:pgSz w:w="11906" w:h="16838"/><w:pgMar w:top="1440" w:right="1800" w:bottom="1440" w:left="1800" w:header="851" w:footer="992" w:gutter="0"/>)";

TEST(WordHtmlWriterTest, PageSetupIsWhereTheStyleStageReadsIt) {
  Docx docx;
  docx.body = P(R("Hello")) + "<w:sectPr>" + kA4 +
              R"(<w:docGrid w:type="lines" w:linePitch="312"/></w:sectPr>)";
  const std::string html = Render(docx);
  EXPECT_NE(
      html.find("@page WordSection1\r\n\t{size:595.3pt 841.9pt;\r\n\tmargin:72.0pt 90.0pt "
                "72.0pt 90.0pt;\r\n\tmso-header-margin:42.55pt;\r\n\tmso-footer-margin:49.6pt;"),
      std::string::npos);
  EXPECT_NE(html.find("layout-grid:15.6pt;}\r\ndiv.WordSection1\r\n\t{page:WordSection1;}"),
            std::string::npos);
  const PageSetup setup = ParsePageSetup(html);
  EXPECT_EQ(setup.size, "595.3pt 841.9pt");
  EXPECT_EQ(setup.margin, "72.0pt 90.0pt 72.0pt 90.0pt");
  EXPECT_NE(html.find("<div class=WordSection1>"), std::string::npos);
}

TEST(WordHtmlWriterTest, HeadHasWordsSkeleton) {
  Docx docx;
  docx.body = P(R("First words of the text")) + P(R("More"));
  const std::string html = Render(docx);
  EXPECT_EQ(html.rfind("<html xmlns:v=\"urn:schemas-microsoft-com:vml\"\r\n", 0), 0u);
  EXPECT_NE(html.find("<meta http-equiv=Content-Type content=\"text/html; charset=gb2312\">"),
            std::string::npos);
  EXPECT_NE(html.find("<link rel=File-List href=\"in.files/filelist.xml\">"), std::string::npos);
  EXPECT_NE(html.find("<!--[if !mso]>\r\n<style>\r\nv\\:* {behavior:url(#default#VML);}"),
            std::string::npos);
  // Without a Title property the first words make the title.
  EXPECT_NE(html.find("<title>First words of the text</title>"), std::string::npos);
  EXPECT_NE(html.find("<style>\r\n<!--\r\n /* Font Definitions */"), std::string::npos);
  EXPECT_NE(html.find("p.MsoNormal, li.MsoNormal, div.MsoNormal\r\n\t{"), std::string::npos);
  EXPECT_NE(
      html.find(
          "<!--[if gte mso 10]>\r\n<style>\r\n /* Style Definitions */\r\n table.MsoNormalTable"),
      std::string::npos);
  EXPECT_NE(html.find("<body lang=ZH-CN link=blue vlink=purple style='tab-interval:36.0pt;"),
            std::string::npos);
  EXPECT_EQ(html.find("\n"), html.find("\r\n") + 1) << "line ends are CR LF";
  EXPECT_EQ(Count(html, "\n"), Count(html, "\r\n"));

  docx.title = "Q&amp;A &lt;guide&gt;";
  EXPECT_NE(Render(docx).find("<title>Q&amp;A &lt;guide&gt;</title>"), std::string::npos);
}

TEST(WordHtmlWriterTest, SectionsWithTwoPageSizes) {
  Docx docx;
  docx.body =
      P(R("Portrait"), std::string("<w:sectPr>") + kA4 + "</w:sectPr>") + P(R("Landscape")) +
      R"(<w:sectPr><w:type w:val="nextPage"/><w:pgSz w:w="16838" w:h="11906" w:orient="landscape"/>)"
      R"(<w:pgMar w:top="1800" w:right="1440" w:bottom="1800" w:left="1440" w:header="851" w:footer="992" w:gutter="0"/></w:sectPr>)";
  const std::string html = Render(docx);
  EXPECT_NE(html.find("@page WordSection2\r\n\t{size:841.9pt 595.3pt;\r\n\tmargin:90.0pt 72.0pt "
                      "90.0pt 72.0pt;\r\n\tmso-page-orientation:landscape;"),
            std::string::npos);
  // The first named rule is section 1's, which is what the page width uses.
  EXPECT_EQ(ParsePageSetup(html).size, "595.3pt 841.9pt");
  const std::string body = BodyOf(html);
  const size_t first = body.find("<div class=WordSection1>");
  const size_t brk = body.find(
      "</div>\r\n\r\n<br clear=all style='page-break-before:always;mso-break-type:section-break'>");
  const size_t second = body.find("<div class=WordSection2>");
  ASSERT_NE(first, std::string::npos);
  ASSERT_NE(brk, std::string::npos);
  ASSERT_NE(second, std::string::npos);
  EXPECT_LT(first, body.find("Portrait"));
  EXPECT_LT(body.find("Portrait"), brk);
  EXPECT_LT(brk, second);
  EXPECT_LT(second, body.find("Landscape"));
  EXPECT_EQ(Count(body, "<div"), 2u);
  EXPECT_EQ(Count(body, "</div>"), 2u);
}

// --- Paragraphs and runs -------------------------------------------------------------

TEST(WordHtmlWriterTest, ParagraphsAndRunsAsWordWritesThem) {
  Docx docx;
  docx.body = P("") +  // empty
              P(R("a &lt; b &amp; &quot;c&quot;\xC2\xA0"
                  "d")) +                                           // escaping
              P(R("x   y")) +                                       // space run
              P(R("t") + "<w:r><w:tab/><w:tab/></w:r>" + R("u")) +  // tabs
              P(R("bold", "<w:b/>") + R("it", "<w:i/>") + R("under", "<w:u w:val=\"single\"/>") +
                R("up", "<w:vertAlign w:val=\"superscript\"/>") + R("gone", "<w:strike/>")) +
              P(R("red", "<w:color w:val=\"FF0000\"/><w:sz w:val=\"28\"/>") +
                R("mark", "<w:highlight w:val=\"yellow\"/>") + R("secret", "<w:vanish/>")) +
              P(R("中文") + R("Latin")) +
              P(R("centred"), "<w:jc w:val=\"center\"/><w:ind w:firstLine=\"420\"/>") +
              P(R("line") + "<w:r><w:br/></w:r>" + R("next"));
  const std::string body = BodyOf(Render(docx));
  const std::vector<std::string> expected = {
      // The mark keeps its Latin language, as in Word's Chinese documents.
      "<p class=MsoNormal><span lang=EN-US><o:p>&nbsp;</o:p></span></p>",
      "a &lt; b &amp; &quot;c&quot;&nbsp;d<o:p></o:p></span></p>",
      "x<span style='mso-spacerun:yes'>&nbsp;&nbsp; </span>y",
      "<span style='mso-tab-count:2'>",
      "<b style='mso-bidi-font-weight:normal'><span lang=EN-US>bold</span></b>",
      "<i style='mso-bidi-font-style:normal'><span lang=EN-US>it</span></i>",
      "<u><span lang=EN-US>under</span></u>",
      "<sup><span lang=EN-US>up</span></sup>",
      "<s><span lang=EN-US>gone</span></s>",
      "<span lang=EN-US style='font-size:14.0pt;color:#FF0000'>red</span>",
      "<span lang=EN-US style='background:yellow;mso-highlight:yellow'>mark</span>",
      "<span lang=EN-US style='display:none;mso-hide:all'>secret</span>",
      // Chinese text keeps the body's language; Latin text says its own.
      "<p class=MsoNormal>中文<span lang=EN-US>Latin<o:p></o:p></span></p>",
      "<p class=MsoNormal align=center style='text-align:center;text-indent:21.0pt'>",
      "line<br>next",
  };
  for (const std::string& piece : expected) {
    EXPECT_NE(body.find(piece), std::string::npos) << piece;
  }
  EXPECT_EQ(Count(body, "<o:p></o:p>") + Count(body, "<o:p>&nbsp;</o:p>"), 9u);
}

TEST(WordHtmlWriterTest, PageBreakStandsBetweenParagraphs) {
  Docx docx;
  docx.body = P(R("before") + "<w:r><w:br w:type=\"page\"/></w:r>" + R("after")) +
              P("<w:r><w:br w:type=\"page\"/></w:r>" + R("top of page"));
  const std::string body = BodyOf(Render(docx));
  EXPECT_NE(body.find("<p class=MsoNormal><span lang=EN-US>before<o:p></o:p></span></p>\r\n\r\n"
                      "<span lang=EN-US><br clear=all style='page-break-before:always'>\r\n</span>"
                      "\r\n\r\n<p class=MsoNormal><span lang=EN-US>after<o:p></o:p></span></p>"),
            std::string::npos)
      << body;
  // A break at the start of a paragraph leaves no empty paragraph before it.
  EXPECT_NE(body.find("</span>\r\n\r\n<p class=MsoNormal><span lang=EN-US>top of page"),
            std::string::npos);
  EXPECT_EQ(Count(body, "<p "), 3u);
}

// --- Headings ------------------------------------------------------------------------------

TEST(WordHtmlWriterTest, HeadingsAreFoundByTheSectionSplitter) {
  Docx docx;
  docx.styles =
      Heading("Heading1", 1) + Heading("Heading2", 2) + Heading("Heading3", 3) +
      Heading("Heading7", 7) +
      R"(<w:style w:type="paragraph" w:styleId="Title"><w:name w:val="Title"/><w:basedOn w:val="Normal"/></w:style>)"
      R"(<w:style w:type="paragraph" w:customStyle="1" w:styleId="MyNote"><w:name w:val="My Note_2"/><w:basedOn w:val="Normal"/></w:style>)";
  docx.body =
      Styled("Title", R("Document")) + Styled("Heading1", R("One")) + Styled("Heading2", R("Two")) +
      Styled("Heading3", R("Three")) + Styled("Heading7", R("Seven")) +
      Styled("Heading2", R("Indented"), "<w:ind w:left=\"420\"/>") + Styled("MyNote", R("note"));
  const std::string html = Render(docx);
  const std::string body = BodyOf(html);
  EXPECT_NE(body.find("<p class=MsoTitle><span lang=EN-US>Document"), std::string::npos);
  EXPECT_NE(body.find("<h1><span lang=EN-US>One<o:p></o:p></span></h1>"), std::string::npos);
  EXPECT_NE(body.find("<h2><span lang=EN-US>Two"), std::string::npos);
  EXPECT_NE(body.find("<h3><span lang=EN-US>Three"), std::string::npos);
  EXPECT_NE(body.find("<p class=MsoHeading7><span lang=EN-US>Seven"), std::string::npos);
  EXPECT_NE(body.find("<h2 style='margin-left:21.0pt'>"), std::string::npos);
  EXPECT_NE(body.find("<p class=MyNote2>"), std::string::npos);
  EXPECT_NE(html.find("\r\nh1\r\n\t{"), std::string::npos);
  EXPECT_NE(html.find("p.MsoHeading7, li.MsoHeading7, div.MsoHeading7\r\n\t{"), std::string::npos);

  const std::vector<FoundHeading> headings = SplitHeadings(html);
  ASSERT_EQ(headings.size(), 5u);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"1", "One"}, {"2", "Two"}, {"3", "Three"}, {"7", "Seven"}, {"2", "Indented"}};
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(headings[i].level, expected[i].first);
    EXPECT_EQ(headings[i].title, expected[i].second);
  }
}

TEST(WordHtmlWriterTest, ChineseHeadingStylesAreKnownByName) {
  // Chinese Word stores "heading 1" under the id "1" and a custom style may
  // use any id; only the w:name says which is which.
  Docx docx;
  docx.styles =
      Heading("1", 1) + Heading("2", 2) +
      R"(<w:style w:type="paragraph" w:customStyle="1" w:styleId="a3"><w:name w:val="章标题"/><w:basedOn w:val="Normal"/>)"
      R"(<w:pPr><w:outlineLvl w:val="0"/></w:pPr></w:style>)";
  docx.body = Styled("1", R("第一章")) + Styled("2", R("第一节")) + Styled("a3", R("附录"));
  const std::string html = Render(docx);
  const std::string body = BodyOf(html);
  EXPECT_NE(body.find("<h1>第一章<span lang=EN-US><o:p></o:p></span></h1>"), std::string::npos)
      << body;
  EXPECT_NE(body.find("<h2>第一节<span lang=EN-US><o:p></o:p></span></h2>"), std::string::npos);
  EXPECT_NE(body.find("<p class=a>附录"), std::string::npos);
  const std::vector<FoundHeading> headings = SplitHeadings(html);
  ASSERT_EQ(headings.size(), 2u);
  EXPECT_EQ(headings[0].title, "第一章");
  EXPECT_EQ(headings[1].level, "2");
}

// --- Lists ---------------------------------------------------------------------------------------

// The rule a selector opens, up to its closing brace.
std::string RuleOf(const std::string& html, const std::string& selector) {
  const size_t start = html.find("\r\n" + selector + "\r\n");
  if (start == std::string::npos) return {};
  return html.substr(start, html.find('}', start) - start);
}

TEST(WordHtmlWriterTest, NumberedHeadingsCarryTheirLabel) {
  Docx docx;
  docx.styles =
      Heading("Heading1", 1, R"(<w:numPr><w:numId w:val="1"/></w:numPr>)") +
      Heading("Heading2", 2, R"(<w:numPr><w:ilvl w:val="1"/><w:numId w:val="1"/></w:numPr>)");
  docx.numbering =
      R"(<w:abstractNum w:abstractNumId="0"><w:multiLevelType w:val="multilevel"/>)"
      R"(<w:lvl w:ilvl="0"><w:start w:val="1"/><w:numFmt w:val="decimal"/><w:pStyle w:val="Heading1"/><w:lvlText w:val="%1"/><w:lvlJc w:val="left"/><w:pPr><w:ind w:left="425" w:hanging="425"/></w:pPr></w:lvl>)"
      R"(<w:lvl w:ilvl="1"><w:start w:val="1"/><w:numFmt w:val="decimal"/><w:pStyle w:val="Heading2"/><w:lvlText w:val="%1.%2"/><w:lvlJc w:val="left"/><w:pPr><w:ind w:left="567" w:hanging="567"/></w:pPr></w:lvl>)"
      R"(</w:abstractNum><w:num w:numId="1"><w:abstractNumId w:val="0"/></w:num>)";
  docx.body = Styled("Heading1", R("Intro")) + Styled("Heading2", R("Setup")) +
              Styled("Heading2", R("Usage")) + Styled("Heading1", R("Next")) +
              Styled("Heading2", R("More"));
  const std::string html = Render(docx);
  EXPECT_EQ(ListLabels(html), (std::vector<std::string>{"1", "1.1", "1.2", "2", "2.1"}));
  // The level's indent is the heading's own, on the element and in its rule.
  EXPECT_NE(html.find("<h2 style='margin-left:1.0cm;text-indent:-1.0cm;mso-list:l0 level2 "
                      "lfo1'><![if !supportLists]><span "
                      "lang=EN-US><span style='mso-list:Ignore'>1.1<span style='font:7.0pt "
                      "\"Times New Roman\"'>"),
            std::string::npos)
      << BodyOf(html);
  const std::string h2 = RuleOf(html, "h2");
  EXPECT_NE(h2.find("margin-left:1.0cm;"), std::string::npos) << h2;
  EXPECT_NE(h2.find("text-indent:-1.0cm;"), std::string::npos) << h2;
  const std::vector<FoundHeading> headings = SplitHeadings(html);
  ASSERT_EQ(headings.size(), 5u);
  EXPECT_EQ(headings[1].title, "1.1 Setup");
  EXPECT_EQ(headings[1].plain_title, "Setup");
  EXPECT_EQ(headings[4].title, "2.1 More");
  EXPECT_NE(html.find("@list l0:level2\r\n\t{mso-level-style-link:\"heading 2\";\r\n\t"
                      "mso-level-text:\"%1\\.%2\";"),
            std::string::npos);
}

TEST(WordHtmlWriterTest, ContextualSpacingAndClassNamesWorkInBrowsers) {
  Docx docx;
  docx.styles =
      R"(<w:style w:type="paragraph" w:styleId="ListParagraph"><w:name w:val="List Paragraph"/><w:basedOn w:val="Normal"/><w:pPr><w:spacing w:before="120" w:after="200"/><w:ind w:left="720"/><w:contextualSpacing/></w:pPr></w:style>)"
      R"(<w:style w:type="paragraph" w:styleId="S1"><w:name w:val="1 正文"/><w:basedOn w:val="Normal"/><w:rPr><w:color w:val="FF0000"/></w:rPr></w:style>)";
  docx.body = Styled("ListParagraph", R("a")) + Styled("ListParagraph", R("b")) +
              Styled("ListParagraph", R("c")) + Styled("S1", R("red")) +
              P(R("x"), "<w:contextualSpacing/>") + P(R("y"), "<w:contextualSpacing/>");
  const std::string html = Render(docx);
  const std::string body = BodyOf(html);
  // A style whose name starts with a digit: a class browsers accept, the
  // same in the sheet and the body.
  EXPECT_NE(RuleOf(html, "p.a1, li.a1, div.a1").find("color:#FF0000"), std::string::npos);
  EXPECT_NE(body.find("<p class=a1>"), std::string::npos);
  // The three contextual classes have rules: the spacing between
  // neighbours is dropped, the rest of the style kept.
  const std::string first = RuleOf(
      html,
      "p.MsoListParagraphCxSpFirst, li.MsoListParagraphCxSpFirst, div.MsoListParagraphCxSpFirst");
  const std::string middle = RuleOf(html,
                                    "p.MsoListParagraphCxSpMiddle, li.MsoListParagraphCxSpMiddle, "
                                    "div.MsoListParagraphCxSpMiddle");
  const std::string last = RuleOf(
      html,
      "p.MsoListParagraphCxSpLast, li.MsoListParagraphCxSpLast, div.MsoListParagraphCxSpLast");
  EXPECT_NE(first.find("margin-top:6.0pt;"), std::string::npos) << first;
  EXPECT_NE(first.find("margin-bottom:0cm;"), std::string::npos) << first;
  EXPECT_NE(middle.find("margin-top:0cm;"), std::string::npos) << middle;
  EXPECT_NE(middle.find("margin-bottom:0cm;"), std::string::npos) << middle;
  EXPECT_NE(last.find("margin-top:0cm;"), std::string::npos) << last;
  EXPECT_NE(last.find("margin-bottom:10.0pt;"), std::string::npos) << last;
  for (const std::string* rule : {&first, &middle, &last}) {
    EXPECT_NE(rule->find("margin-left:36.0pt;"), std::string::npos) << *rule;
  }
  EXPECT_NE(body.find("<p class=MsoListParagraphCxSpFirst>"), std::string::npos) << body;
  EXPECT_NE(body.find("<p class=MsoListParagraphCxSpMiddle>"), std::string::npos);
  EXPECT_NE(body.find("<p class=MsoListParagraphCxSpLast>"), std::string::npos);
  // Contextual spacing on the paragraphs alone keeps their class (it has a
  // rule) and collapses the spacing between them inline.
  EXPECT_NE(body.find("<p class=MsoNormal style='margin-bottom:0cm;mso-add-space:auto'>"),
            std::string::npos)
      << body;
  EXPECT_NE(body.find("<p class=MsoNormal style='margin-top:0cm;mso-add-space:auto'>"),
            std::string::npos);
}

TEST(WordHtmlWriterTest, MultiLevelListsRestartAndBullets) {
  Docx docx;
  docx.styles =
      R"(<w:style w:type="paragraph" w:styleId="ListParagraph"><w:name w:val="List Paragraph"/><w:basedOn w:val="Normal"/><w:pPr><w:ind w:firstLineChars="200" w:firstLine="420"/></w:pPr></w:style>)";
  docx.numbering =
      R"(<w:abstractNum w:abstractNumId="0"><w:nsid w:val="1A2B3C4D"/><w:multiLevelType w:val="hybridMultilevel"/>)"
      R"(<w:lvl w:ilvl="0"><w:start w:val="1"/><w:numFmt w:val="decimal"/><w:lvlText w:val="%1."/><w:lvlJc w:val="left"/><w:pPr><w:ind w:left="420" w:hanging="420"/></w:pPr></w:lvl>)"
      R"x(<w:lvl w:ilvl="1"><w:start w:val="1"/><w:numFmt w:val="lowerLetter"/><w:lvlText w:val="%2)"/><w:lvlJc w:val="left"/><w:pPr><w:ind w:left="840" w:hanging="420"/></w:pPr></w:lvl>)x"
      R"(</w:abstractNum>)"
      R"(<w:abstractNum w:abstractNumId="1"><w:multiLevelType w:val="hybridMultilevel"/>)"
      R"(<w:lvl w:ilvl="0"><w:start w:val="1"/><w:numFmt w:val="bullet"/><w:lvlText w:val=")"
      "\xEF\x82\xB7"
      R"("/><w:lvlJc w:val="left"/><w:pPr><w:ind w:left="420" w:hanging="420"/></w:pPr><w:rPr><w:rFonts w:ascii="Symbol" w:hAnsi="Symbol" w:hint="default"/></w:rPr></w:lvl>)"
      R"(</w:abstractNum>)"
      R"(<w:num w:numId="1"><w:abstractNumId w:val="0"/></w:num>)"
      R"(<w:num w:numId="2"><w:abstractNumId w:val="0"/><w:lvlOverride w:ilvl="0"><w:startOverride w:val="1"/></w:lvlOverride></w:num>)"
      R"(<w:num w:numId="3"><w:abstractNumId w:val="1"/></w:num>)";
  auto item = [](int num, int level, const std::string& text) {
    return Styled("ListParagraph", R(text),
                  "<w:numPr><w:ilvl w:val=\"" + std::to_string(level) + "\"/><w:numId w:val=\"" +
                      std::to_string(num) + "\"/></w:numPr>");
  };
  docx.body = item(1, 0, "a") + item(1, 1, "b") + item(1, 1, "c") + item(1, 0, "d") +
              item(1, 1, "e") + P(R("between")) +
              Styled("ListParagraph", R("restarted"),
                     R"(<w:numPr><w:ilvl w:val="0"/><w:numId w:val="2"/></w:numPr>)"
                     R"(<w:ind w:left="567"/>)") +
              item(3, 0, "bullet");
  const std::string html = Render(docx);
  EXPECT_EQ(ListLabels(html),
            (std::vector<std::string>{"1.", "a)", "b)", "2.", "a)", "1.", "\xC2\xB7"}));
  const std::string body = BodyOf(html);
  // Each level's indent from the numbering, over the style's first-line
  // indent; a paragraph's own indent wins over its level's.
  EXPECT_NE(body.find("<p class=MsoListParagraph style='margin-left:21.0pt;text-indent:-21.0pt;"
                      "mso-list:l0 level1 lfo1'>"),
            std::string::npos)
      << body;
  EXPECT_NE(body.find("<p class=MsoListParagraph style='margin-left:42.0pt;text-indent:-21.0pt;"
                      "mso-list:l0 level2 lfo1'>"),
            std::string::npos);
  EXPECT_NE(body.find("<p class=MsoListParagraph style='margin-left:1.0cm;text-indent:-21.0pt;"
                      "mso-list:l0 level1 lfo2'>"),
            std::string::npos);
  EXPECT_NE(body.find("mso-list:l0 level1 lfo2'><![if !supportLists]>"), std::string::npos);
  EXPECT_NE(body.find("<span lang=EN-US style='font-family:Symbol'><span "
                      "style='mso-list:Ignore'>\xC2\xB7"),
            std::string::npos)
      << body;
  // Every label block closes before anything else opens a conditional.
  EXPECT_EQ(Count(body, "<![if !supportLists]>"), 7u);
  EXPECT_EQ(Count(body, "<![endif]>"), 7u);
  EXPECT_NE(html.find("@list l0\r\n\t{mso-list-id:439041101;\r\n\tmso-list-type:hybrid;}"),
            std::string::npos);
  EXPECT_NE(html.find("@list l0:level2\r\n\t{mso-level-number-format:alpha-lower;"),
            std::string::npos);
}

// --- Tables ------------------------------------------------------------------------------------

TEST(WordHtmlWriterTest, TablesWithMergedAndNestedCells) {
  Docx docx;
  docx.styles =
      R"(<w:style w:type="table" w:default="1" w:styleId="TableNormal"><w:name w:val="Normal Table"/><w:tblPr><w:tblCellMar><w:left w:w="108" w:type="dxa"/><w:right w:w="108" w:type="dxa"/></w:tblCellMar></w:tblPr></w:style>)"
      R"(<w:style w:type="table" w:styleId="TableGrid"><w:name w:val="Table Grid"/><w:basedOn w:val="TableNormal"/><w:tblPr><w:tblBorders>)"
      R"(<w:top w:val="single" w:sz="4" w:space="0" w:color="auto"/><w:left w:val="single" w:sz="4" w:space="0" w:color="auto"/>)"
      R"(<w:bottom w:val="single" w:sz="4" w:space="0" w:color="auto"/><w:right w:val="single" w:sz="4" w:space="0" w:color="auto"/>)"
      R"(<w:insideH w:val="single" w:sz="4" w:space="0" w:color="auto"/><w:insideV w:val="single" w:sz="4" w:space="0" w:color="auto"/>)"
      R"(</w:tblBorders></w:tblPr></w:style>)";
  auto cell = [](const std::string& tc_pr, const std::string& content) {
    return "<w:tc><w:tcPr>" + tc_pr + "</w:tcPr>" + content + "</w:tc>";
  };
  const std::string nested =
      R"(<w:tbl><w:tblPr><w:tblStyle w:val="TableGrid"/><w:tblW w:w="0" w:type="auto"/></w:tblPr><w:tblGrid><w:gridCol w:w="1500"/></w:tblGrid>)"
      "<w:tr>" +
      cell(R"(<w:tcW w:w="1500" w:type="dxa"/>)", P(R("N"))) + "</w:tr></w:tbl>";
  docx.body =
      R"(<w:tbl><w:tblPr><w:tblStyle w:val="TableGrid"/><w:tblW w:w="0" w:type="auto"/><w:tblLook w:val="04A0"/></w:tblPr>)"
      R"(<w:tblGrid><w:gridCol w:w="2000"/><w:gridCol w:w="2000"/><w:gridCol w:w="2000"/></w:tblGrid>)"
      "<w:tr><w:trPr><w:trHeight w:val=\"400\"/></w:trPr>" +
      cell(R"(<w:tcW w:w="4000" w:type="dxa"/><w:gridSpan w:val="2"/>)", P(R("A"))) +
      cell(
          R"(<w:tcW w:w="2000" w:type="dxa"/><w:vMerge w:val="restart"/><w:vAlign w:val="center"/>)",
          P(R("B"))) +
      "</w:tr><w:tr>" + cell(R"(<w:tcW w:w="2000" w:type="dxa"/>)", P(R("C"))) +
      cell(R"(<w:tcW w:w="2000" w:type="dxa"/>)", nested + P("")) +
      cell(R"(<w:tcW w:w="2000" w:type="dxa"/><w:vMerge/>)", P("")) + "</w:tr></w:tbl>" + P("");
  const std::string body = BodyOf(Render(docx));
  const std::vector<std::string> expected = {
      "<table class=MsoTableGrid border=1 cellspacing=0 cellpadding=0 "
      "style='border-collapse:collapse;border:none;mso-border-alt:solid windowtext "
      ".5pt;mso-yfti-tbllook:1184;mso-padding-alt:0cm 5.4pt 0cm 5.4pt;mso-border-insideh:.5pt "
      "solid windowtext;mso-border-insidev:.5pt solid windowtext'>\r\n",
      " <tr style='mso-yfti-irow:0;mso-yfti-firstrow:yes;height:20.0pt'>\r\n",
      "  <td width=267 colspan=2 valign=top style='width:200.0pt;border:solid windowtext "
      "1.0pt;mso-border-alt:solid windowtext .5pt;padding:0cm 5.4pt 0cm 5.4pt;height:20.0pt'>\r\n"
      "  <p class=MsoNormal><span lang=EN-US>A<o:p></o:p></span></p>\r\n  </td>\r\n",
      "  <td width=133 rowspan=2 style='width:100.0pt;border:solid windowtext "
      "1.0pt;border-left:none;",
      " <tr style='mso-yfti-irow:1;mso-yfti-lastrow:yes'>\r\n",
      "  <td width=133 valign=top style='width:100.0pt;border:solid windowtext "
      "1.0pt;border-top:none;"
      "mso-border-top-alt:solid windowtext .5pt;mso-border-alt:solid windowtext .5pt;",
      // The nested table is indented one level deeper.
      "  <table class=MsoTableGrid border=1",
      "   <tr style='mso-yfti-irow:0;mso-yfti-firstrow:yes;mso-yfti-lastrow:yes'>\r\n"
      "    <td width=100 valign=top",
      "    <p class=MsoNormal><span lang=EN-US>N<o:p></o:p></span></p>",
      "</table>\r\n\r\n<p class=MsoNormal><span lang=EN-US><o:p>&nbsp;</o:p></span></p>",
  };
  for (const std::string& piece : expected) {
    EXPECT_NE(body.find(piece), std::string::npos) << piece << "\n" << body;
  }
  EXPECT_EQ(Count(body, "<td"), 5u);  // the merged-away cell is not written
  EXPECT_EQ(Count(body, "<tr"), 3u);
  EXPECT_EQ(body.find("supportMisalignedColumns"), std::string::npos);
}

TEST(WordHtmlWriterTest, IrregularRowsGetTheHelperRow) {
  Docx docx;
  docx.body =
      R"(<w:tbl><w:tblPr><w:tblW w:w="0" w:type="auto"/></w:tblPr><w:tblGrid><w:gridCol w:w="1500"/><w:gridCol w:w="3000"/></w:tblGrid>)"
      R"(<w:tr><w:tc><w:tcPr><w:tcW w:w="4500" w:type="dxa"/><w:gridSpan w:val="2"/></w:tcPr>)" +
      P(R("wide")) +
      R"(</w:tc></w:tr><w:tr><w:trPr><w:gridBefore w:val="1"/><w:wBefore w:w="1500" w:type="dxa"/></w:trPr>)"
      R"(<w:tc><w:tcPr><w:tcW w:w="3000" w:type="dxa"/></w:tcPr>)" +
      P(R("narrow")) + "</w:tc></w:tr></w:tbl>" + P("");
  const std::string body = BodyOf(Render(docx));
  EXPECT_NE(body.find("class=MsoNormalTable border=0"), std::string::npos);
  EXPECT_NE(body.find("  <td width=100 style='mso-cell-special:placeholder;border:none;"),
            std::string::npos);
  // The clean-up pass that removes the helper row must find it.
  auto helper = support::RegexpTest(
      "<!\\[if !supportMisalignedColumns\\]>([^a]|a)+?<tr height=0>([^a]|a)+?<!\\[endif\\]>", body);
  ASSERT_TRUE(helper.ok());
  EXPECT_TRUE(*helper);
  EXPECT_NE(body.find("<td width=200 style='border:none'></td>"), std::string::npos);
}

// --- Fields, links and bookmarks
// ------------------------------------------------------------------

TEST(WordHtmlWriterTest, TableOfContentsField) {
  Docx docx;
  docx.styles =
      Heading("Heading1", 1) +
      R"(<w:style w:type="paragraph" w:styleId="TOC1"><w:name w:val="toc 1"/><w:basedOn w:val="Normal"/></w:style>)"
      R"(<w:style w:type="character" w:styleId="Hyperlink"><w:name w:val="Hyperlink"/><w:rPr><w:color w:val="0563C1"/><w:u w:val="single"/></w:rPr></w:style>)";
  const std::string entry = R"(<w:hyperlink w:anchor="_Toc100" w:history="1">)" +
                            R("Intro", "<w:rStyle w:val=\"Hyperlink\"/>") + "<w:r><w:tab/></w:r>" +
                            FieldChar("begin") + Instr(" PAGEREF _Toc100 \\h ") +
                            FieldChar("separate") + R("1") + FieldChar("end") + "</w:hyperlink>";
  docx.body = Styled("TOC1", FieldChar("begin") + Instr(" TOC \\o \"1-3\" \\h \\z \\u ") +
                                 FieldChar("separate") + entry) +
              Styled("TOC1", FieldChar("end")) +
              Styled("Heading1", R"(<w:bookmarkStart w:id="0" w:name="_Toc100"/>)" + R("Intro") +
                                     R"(<w:bookmarkEnd w:id="0"/>)");
  const std::string html = Render(docx);
  const std::string body = BodyOf(html);
  EXPECT_NE(html.find("<body lang=ZH-CN link=\"#0563C1\""), std::string::npos);
  EXPECT_NE(body.find("<p class=MsoToc1><!--[if supportFields]><span lang=EN-US><span "
                      "style='mso-element:field-begin'></span><span "
                      "style='mso-spacerun:yes'>&nbsp;</span>TOC \\o &quot;1-3&quot; \\h \\z \\u "
                      "<span style='mso-element:field-separator'></span></span><![endif]--><a "
                      "href=\"#_Toc100\"><span class=MsoHyperlink><span lang=EN-US>Intro"),
            std::string::npos)
      << body;
  // The page number is hidden on screen, its code in a field block; text
  // of the link without the Hyperlink style shows its own colour, not the
  // link's.
  EXPECT_NE(body.find("<span lang=EN-US style='color:windowtext;text-decoration:none;"
                      "text-underline:none;display:none;mso-hide:screen'>1</span>"),
            std::string::npos)
      << body;
  EXPECT_NE(body.find("<h1><a name=\"_Toc100\"><span lang=EN-US>Intro</span></a>"),
            std::string::npos);
  EXPECT_EQ(Count(body, "<!--[if supportFields]>"), Count(body, "<![endif]-->"));

  // Step A of the clean-up removes both TOC paragraphs on the home page...
  auto toc = support::RegexpExecute("<p class=MsoToc[^>]*?>((?:[^a]|a)*?)</p>", body);
  ASSERT_TRUE(toc.ok());
  EXPECT_EQ(toc->size(), 2u);
  // ...and the comment pass removes every field code but keeps the result.
  const std::string cleaned = support::RegexpReplace(body, "<!--([^a]|a)*?-->", "").value_or("");
  EXPECT_EQ(cleaned.find("PAGEREF"), std::string::npos);
  EXPECT_EQ(cleaned.find("TOC \\o"), std::string::npos);
  EXPECT_NE(cleaned.find("Intro"), std::string::npos);
}

TEST(WordHtmlWriterTest, HyperlinksBookmarksAndSimpleFields) {
  Docx docx;
  docx.relationships =
      R"(<Relationship Id="rIdL" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/hyperlink" Target="http://example.com/?a=1&amp;b=2" TargetMode="External"/>)";
  docx.body = P(R"(<w:hyperlink r:id="rIdL">)" + R("external") + "</w:hyperlink>" +
                R"(<w:hyperlink w:anchor="there">)" + R("internal") + "</w:hyperlink>") +
              P(R"(<w:bookmarkStart w:id="5" w:name="across"/>)" + R("start")) +
              P(R("end") + R"(<w:bookmarkEnd w:id="5"/>)") +
              P(FieldChar("begin") + Instr(R"( HYPERLINK "http://field.example/" )") +
                FieldChar("separate") + R("field link") + FieldChar("end")) +
              P(R"(<w:fldSimple w:instr=" PAGE ">)" + R("7", "<w:noProof/>") + "</w:fldSimple>") +
              P(FieldChar("begin") + R"(<w:bookmarkStart w:id="6" w:name="inCode"/>)" +
                Instr(" FORMTEXT ") + FieldChar("separate") + R("form") + FieldChar("end") +
                R"(<w:bookmarkEnd w:id="6"/>)");
  const std::string body = BodyOf(Render(docx));
  // Without a Hyperlink style the linked text keeps its own look, as in Word.
  const std::string plain = " style='color:windowtext;text-decoration:none;text-underline:none'";
  const std::vector<std::string> expected = {
      "<a href=\"http://example.com/?a=1&amp;b=2\"><span lang=EN-US" + plain +
          ">external</span></a>",
      "<a href=\"#there\"><span lang=EN-US" + plain + ">internal</span></a>",
      // A bookmark over two paragraphs cannot wrap them: an empty anchor.
      "<p class=MsoNormal><a name=\"across\"></a><span lang=EN-US>start",
      "<![endif]--><a href=\"http://field.example/\"><span lang=EN-US" + plain +
          ">field link</span></a><!--[if supportFields]>",
      "<span style='mso-field-code:\" PAGE \"'><span lang=EN-US style='mso-no-proof:yes'>7</span>"
      "</span>",
  };
  for (const std::string& piece : expected) {
    EXPECT_NE(body.find(piece), std::string::npos) << piece << "\n" << body;
  }
  // A bookmark met inside a field code stays a target once the code is gone.
  const std::string cleaned = support::RegexpReplace(body, "<!--([^a]|a)*?-->", "").value_or("");
  EXPECT_NE(cleaned.find("<a name=\"inCode\"></a>"), std::string::npos) << body;
  auto page_number = support::RegexpTest(
      "mso-field-code[^>]+? PAGE [^>]+>(<[^>]+>)*?<span[^>]+mso-no-proof[^>]*?>[0-9]+</span>",
      body);
  ASSERT_TRUE(page_number.ok());
  EXPECT_TRUE(*page_number);
}

TEST(WordHtmlWriterTest, TrackedChangesAreShownAccepted) {
  Docx docx;
  const std::string change = R"( w:id="1" w:author="A" w:date="2020-01-01T00:00:00Z")";
  docx.body = P(R("kept ") + "<w:ins" + change + ">" + R("inserted ") + "</w:ins><w:del" + change +
                "><w:r><w:delText>deleted </w:delText></w:r></w:del><w:moveFrom" + change + ">" +
                R("moved-away ") + "</w:moveFrom><w:moveTo" + change + ">" + R("moved-here") +
                "</w:moveTo>" +
                R"(<w:commentRangeStart w:id="3"/><w:r><w:commentReference w:id="3"/></w:r>)") +
              P("<w:del" + change + "><w:r><w:delText>whole paragraph</w:delText></w:r></w:del>",
                "<w:rPr><w:del" + change + "/></w:rPr>") +
              P(R("last"));
  const std::string body = BodyOf(Render(docx));
  EXPECT_NE(body.find("kept inserted moved-here"), std::string::npos) << body;
  EXPECT_EQ(body.find("deleted"), std::string::npos);
  EXPECT_EQ(body.find("moved-away"), std::string::npos);
  EXPECT_EQ(body.find("whole paragraph"), std::string::npos);
  EXPECT_EQ(Count(body, "<p "), 2u);
}

TEST(WordHtmlWriterTest, TextBoxTextIsKeptOnce) {
  // A modern text box comes with its VML fallback: the same text twice, of
  // which only one may be written.
  const std::string box = "<w:txbxContent>" + P(R("inside the box")) + "</w:txbxContent>";
  Docx docx;
  docx.body = P(
      R("anchor") +
      R"(<w:r><mc:AlternateContent xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006">)"
      R"(<mc:Choice Requires="wps"><w:drawing><wps:txbx xmlns:wps="http://schemas.microsoft.com/office/word/2010/wordprocessingShape">)" +
      box + "</wps:txbx></w:drawing></mc:Choice><mc:Fallback>" +
      R"(<w:pict><v:shape xmlns:v="urn:schemas-microsoft-com:vml"><v:textbox>)" + box +
      "</v:textbox></v:shape></w:pict></mc:Fallback></mc:AlternateContent></w:r>");
  const std::string body = BodyOf(Render(docx));
  const size_t anchor = body.find("anchor");
  const size_t text = body.find("<p class=MsoNormal><span lang=EN-US>inside the box");
  ASSERT_NE(text, std::string::npos) << body;
  EXPECT_LT(anchor, text);
  EXPECT_EQ(Count(body, "inside the box"), 1u);
}

TEST(WordHtmlWriterTest, DeeplyNestedContentDoesNotExhaustTheStack) {
  std::string inline_nest, block_nest;
  for (int i = 0; i < 20000; ++i) inline_nest += "<w:smartTag w:element=\"x\">";
  inline_nest += R("deep");
  for (int i = 0; i < 20000; ++i) inline_nest += "</w:smartTag>";
  const std::string cell_open =
      "<w:tbl><w:tblGrid><w:gridCol w:w=\"100\"/></w:tblGrid><w:tr><w:tc>";
  for (int i = 0; i < 2000; ++i) block_nest += cell_open;
  block_nest += P(R("innermost"));
  for (int i = 0; i < 2000; ++i) block_nest += "</w:tc></w:tr></w:tbl>" + P("");
  Docx docx;
  docx.body = P(R("shallow") + inline_nest) + block_nest + P(R("after"));
  std::vector<std::string> diagnostics;
  const std::string body = BodyOf(Render(docx, &diagnostics));
  EXPECT_NE(body.find("shallow"), std::string::npos);
  EXPECT_NE(body.find("after"), std::string::npos);
  EXPECT_EQ(body.find("innermost"), std::string::npos);
  ASSERT_EQ(diagnostics.size(), 1u);
  EXPECT_NE(diagnostics[0].find("nested"), std::string::npos);
  EXPECT_EQ(Count(body, "<table"), Count(body, "</table>"));
}

// --- Files
// ---------------------------------------------------------------------------------------------

TEST(WordHtmlWriterTest, WritesCodePage936AndTheCompanionFolder) {
  TempDir dir;
  Docx docx;
  docx.body = P(R("中文 \xE2\x82\xAC \xF0\x9F\x98\x80 end"));
  auto package = DocxPackage::Open(WriteDocx(dir, docx));
  ASSERT_TRUE(package.ok()) << package.message();
  const std::string target = dir.File("out.htm");
  auto result = WriteWordHtml(*package, target);
  ASSERT_TRUE(result.ok()) << result.message();
  const std::string bytes = ReadBytes(target);
  // GBK bytes for 中文, the euro sign in code page 936, the emoji as a reference.
  EXPECT_NE(bytes.find("\xD6\xD0\xCE\xC4"), std::string::npos);
  EXPECT_NE(bytes.find("&#128512;"), std::string::npos);
  EXPECT_EQ(Count(bytes, "\n"), Count(bytes, "\r\n"));
  EXPECT_NE(support::ReadTextFile(target).find("中文"), std::string::npos);
  const std::string filelist = ReadBytes(dir.path() / "out.files" / "filelist.xml");
  EXPECT_NE(filelist.find("<o:MainFile HRef=\"../out.htm\"/>"), std::string::npos);
  EXPECT_NE(bytes.find("href=\"out.files/filelist.xml\""), std::string::npos);
}

TEST(WordHtmlWriterTest, AFailedWriteNamesTheFile) {
  TempDir dir;
  Docx docx;
  docx.body = P(R("text"));
  auto package = DocxPackage::Open(WriteDocx(dir, docx));
  ASSERT_TRUE(package.ok());
  // A file where the folder should be: nothing can be written below it.
  tessarine::testing::WriteBytes(dir.path() / "blocker", "x");
  auto result = WriteWordHtml(*package, dir.File("blocker/out.htm"));
  ASSERT_FALSE(result.ok());
  EXPECT_NE(result.message().find("blocker"), std::string::npos) << result.message();
}

// A stop asked for while the body is written ends the conversion early, as a
// stop and not a failure, and leaves no page behind.
TEST(WordHtmlWriterTest, AStopWhileTheBodyIsWrittenEndsItEarly) {
  testing::TempDir dir;
  testing::Blocks blocks;
  for (int i = 0; i < 4000; ++i) blocks.emplace_back(i % 40 == 0 ? 1 : 0, "Paragraph");
  const std::string document = dir.File("long.docx");
  testing::WriteDocx(document, blocks);
  int asked = 0;
  LegacyDocOptions options;
  options.stop_requested = [&asked] { return ++asked >= 3; };
  const ConvertOutcome outcome = ConvertToWordHtml(
      document, dir.File("long.htm"), [](ConvertStep) { return true; }, options);
  EXPECT_TRUE(outcome.stopped()) << outcome.message;
  EXPECT_EQ(asked, 3);  // asked now and then, and not again once it said yes
  EXPECT_FALSE(std::filesystem::exists(dir.File("long.htm")));

  options.stop_requested = [] { return false; };
  EXPECT_TRUE(ConvertToWordHtml(
                  document, dir.File("long.htm"), [](ConvertStep) { return true; }, options)
                  .ok());
  EXPECT_TRUE(std::filesystem::exists(dir.File("long.htm")));
}

}  // namespace
}  // namespace tessarine::convert
