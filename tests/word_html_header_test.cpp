// header.htm and page-number fields in the Word HTML writer, on small
// documents built here and on the corpus: the stories Word writes and in its
// order, the @page rules that name them, and that the site's own header and
// footer stage finds the first header and footer and numbers the pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "convert/docx_package.h"
#include "convert/html_document.h"
#include "convert/html_header.h"
#include "convert/word_html_writer.h"
#include "project/document_record.h"
#include "site/header_footer.h"
#include "support/regex.h"
#include "support/text_file.h"
#include "test_support.h"
#include "word_html_checks.h"
#include "zip_writer.h"

namespace tessarine::convert {
namespace {

namespace fs = std::filesystem;
using tessarine::testing::Count;
using tessarine::testing::ReadBytes;
using tessarine::testing::Rel;
using tessarine::testing::Rels;
using tessarine::testing::SpanNumbers;
using tessarine::testing::TempDir;

constexpr const char* kNamespaces = tessarine::testing::kWordNamespaces;

constexpr char kStyles[] =
    R"(<w:docDefaults><w:rPrDefault><w:rPr><w:lang w:val="en-US"/></w:rPr></w:rPrDefault></w:docDefaults>)"
    R"(<w:style w:type="paragraph" w:default="1" w:styleId="Normal"><w:name w:val="Normal"/></w:style>)"
    R"(<w:style w:type="character" w:default="1" w:styleId="DefaultParagraphFont"><w:name w:val="Default Paragraph Font"/></w:style>)"
    R"(<w:style w:type="paragraph" w:styleId="Header"><w:name w:val="header"/><w:basedOn w:val="Normal"/></w:style>)"
    R"(<w:style w:type="paragraph" w:styleId="Footer"><w:name w:val="footer"/><w:basedOn w:val="Normal"/></w:style>)"
    R"(<w:style w:type="character" w:styleId="PageNumber"><w:name w:val="page number"/></w:style>)";

constexpr char kNumbering[] =
    R"(<w:abstractNum w:abstractNumId="0"><w:lvl w:ilvl="0"><w:start w:val="1"/>)"
    R"(<w:numFmt w:val="decimal"/><w:lvlText w:val="%1."/></w:lvl></w:abstractNum>)"
    R"(<w:num w:numId="1"><w:abstractNumId w:val="0"/></w:num>)";

// A story part (header or footer) with relationships of its own.
struct Story {
  std::string id;  // relationship id in the main document
  bool footer = false;
  std::string content;        // inside w:hdr / w:ftr
  std::string relationships;  // the part's own; no relationship part when empty
};

Story Header(std::string id, std::string content, std::string relationships = "") {
  return Story{std::move(id), false, std::move(content), std::move(relationships)};
}
Story Footer(std::string id, std::string content) {
  return Story{std::move(id), true, std::move(content), ""};
}

struct Docx {
  std::string body;  // inside w:body
  std::vector<Story> stories;
  std::string settings;       // inside w:settings; no part when empty
  std::string footnotes;      // inside w:footnotes; no part when empty
  std::string relationships;  // extra main-document relationships
  bool numbering = false;
  std::map<std::string, std::string> media;  // further parts by name ("word/media/x.png")
};

std::string Part(const char* root, const std::string& content) {
  return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><") + root + kNamespaces + ">" +
         content + "</" + root + ">";
}

std::string WriteDocx(const std::string& path, const Docx& docx) {
  std::map<std::string, std::string> parts = docx.media;
  parts["[Content_Types].xml"] =
      R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
      R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
      R"(<Default Extension="xml" ContentType="application/xml"/>)"
      R"(<Default Extension="png" ContentType="image/png"/>)"
      R"(<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>)"
      "</Types>";
  parts["_rels/.rels"] = Rels(
      R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>)");
  std::string rels = Rel("rIdS", "styles", "styles.xml") + docx.relationships;
  parts["word/styles.xml"] = Part("w:styles", kStyles);
  if (docx.numbering) {
    rels += Rel("rIdN", "numbering", "numbering.xml");
    parts["word/numbering.xml"] = Part("w:numbering", kNumbering);
  }
  if (!docx.settings.empty()) {
    rels += Rel("rIdT", "settings", "settings.xml");
    parts["word/settings.xml"] = Part("w:settings", docx.settings);
  }
  if (!docx.footnotes.empty()) {
    rels += Rel("rIdF", "footnotes", "footnotes.xml");
    parts["word/footnotes.xml"] = Part("w:footnotes", docx.footnotes);
  }
  for (const Story& story : docx.stories) {
    const std::string name = story.id + ".xml";
    rels += Rel(story.id, story.footer ? "footer" : "header", name);
    parts["word/" + name] = Part(story.footer ? "w:ftr" : "w:hdr", story.content);
    if (!story.relationships.empty()) {
      parts["word/_rels/" + name + ".rels"] = Rels(story.relationships);
    }
  }
  parts["word/_rels/document.xml.rels"] = Rels(rels);
  parts["word/document.xml"] = Part("w:document", "<w:body>" + docx.body + "</w:body>");
  return tessarine::testing::WriteZip(path, {parts.begin(), parts.end()});
}

std::string R(const std::string& text, const std::string& rpr = "") {
  return "<w:r>" + (rpr.empty() ? "" : "<w:rPr>" + rpr + "</w:rPr>") +
         "<w:t xml:space=\"preserve\">" + text + "</w:t></w:r>";
}
std::string P(const std::string& content, const std::string& style = "") {
  return "<w:p>" + (style.empty() ? "" : "<w:pPr><w:pStyle w:val=\"" + style + "\"/></w:pPr>") +
         content + "</w:p>";
}
std::string FieldChar(const std::string& type, const std::string& rpr = "") {
  return "<w:r>" + (rpr.empty() ? "" : "<w:rPr>" + rpr + "</w:rPr>") +
         "<w:fldChar w:fldCharType=\"" + type + "\"/></w:r>";
}
std::string Instr(const std::string& text, const std::string& rpr = "") {
  return "<w:r>" + (rpr.empty() ? "" : "<w:rPr>" + rpr + "</w:rPr>") +
         "<w:instrText xml:space=\"preserve\">" + text + "</w:instrText></w:r>";
}
// A complex field with `result` as its cached result (none: never updated,
// so no separator either).
std::string ComplexField(const std::string& instruction, const std::string& result,
                         const std::string& rpr = "") {
  std::string field = FieldChar("begin", rpr) + Instr(instruction, rpr);
  if (!result.empty()) field += FieldChar("separate", rpr) + R(result, rpr);
  return field + FieldChar("end", rpr);
}
std::string SimpleField(const std::string& instruction, const std::string& result,
                        const std::string& rpr = "") {
  return "<w:fldSimple w:instr=\"" + instruction + "\">" + (result.empty() ? "" : R(result, rpr)) +
         "</w:fldSimple>";
}
std::string SectPr(const std::string& references, const std::string& extra = "") {
  return "<w:sectPr>" + references + extra + "</w:sectPr>";
}
std::string HeaderRef(const std::string& type, const std::string& id) {
  return "<w:headerReference w:type=\"" + type + "\" r:id=\"" + id + "\"/>";
}
std::string FooterRef(const std::string& type, const std::string& id) {
  return "<w:footerReference w:type=\"" + type + "\" r:id=\"" + id + "\"/>";
}

constexpr char kPageNumberRun[] = R"(<w:rStyle w:val="PageNumber"/><w:noProof/>)";

// Word's "Page X of Y" footer: a complex PAGE field and a simple NUMPAGES one.
std::string PageXOfYFooter() {
  return P(R("Page ", R"(<w:rStyle w:val="PageNumber"/>)") +
               ComplexField(" PAGE ", "3", kPageNumberRun) +
               R(" of ", R"(<w:rStyle w:val="PageNumber"/>)") +
               SimpleField(" NUMPAGES ", "9", kPageNumberRun),
           "Footer");
}

// The ids of header.htm's stories, in order.
std::vector<std::string> StoryIds(const std::string& header) {
  std::vector<std::string> ids;
  auto matches = support::RegexpExecute("<div style='mso-element:[a-z-]+' id=([a-z0-9]+)>", header);
  EXPECT_TRUE(matches.ok());
  if (matches.ok()) {
    for (const auto& m : *matches) ids.push_back(*m.groups[0]);
  }
  return ids;
}

// One converted document in a scratch folder laid out as the site build lays
// it: <scratch>/doc.htm and <scratch>/doc.files/.
struct Converted {
  TempDir dir;
  std::string main;    // doc.htm, decoded
  std::string header;  // doc.files/header.htm, decoded; empty when absent
  bool header_exists = false;
  std::string filelist;
  std::vector<std::string> diagnostics;

  std::string Scratch() const { return dir.path().string() + "/scratch/"; }
  std::string Output() const { return dir.path().string() + "/output/"; }
};

void Convert(const Docx& docx, Converted& converted) {
  fs::create_directories(converted.Scratch());
  fs::create_directories(converted.Output());
  auto package = DocxPackage::Open(WriteDocx(converted.dir.File("in.docx"), docx));
  ASSERT_TRUE(package.ok()) << package.message();
  auto result = WriteWordHtml(*package, converted.Scratch() + "doc.htm");
  ASSERT_TRUE(result.ok()) << result.message();
  converted.diagnostics = result->diagnostics;
  converted.main = support::ReadTextFile(converted.Scratch() + "doc.htm");
  const fs::path header = fs::path(converted.Scratch()) / "doc.files" / "header.htm";
  converted.header_exists = fs::exists(header);
  if (converted.header_exists) converted.header = support::ReadTextFile(header.string());
  converted.filelist = support::ReadTextFile(converted.Scratch() + "doc.files/filelist.xml");
}

// The site stage's header and footers for `pages` pages of the document.
site::SectionTable SitePages(const Converted& converted, int pages) {
  return tessarine::testing::SitePages(converted.Scratch(), converted.Output(), pages);
}

// The numbering takes the first number after a page-number mark: a field's
// code half must not offer one.
bool CodeHalvesHoldNoNumber(const std::string& html) {
  auto matches =
      support::RegexpExecute(R"(<!--\[if supportFields\]>((?:[^a]|a)*?)<!\[endif\]-->)", html);
  EXPECT_TRUE(matches.ok());
  if (!matches.ok()) return false;
  for (const auto& m : *matches) {
    if (m.groups[0]->find_first_of("0123456789") != std::string::npos) return false;
  }
  return true;
}

// --- The site reads what the writer writes -------------------------------------

TEST(WordHtmlHeaderTest, PageXOfYFooterIsNumberedByTheSiteStage) {
  Docx docx;
  docx.body = P(R("body")) + SectPr(HeaderRef("default", "rIdH1") + FooterRef("default", "rIdF1"));
  docx.stories = {
      Header("rIdH1", P(R("Handbook \xE9\xA1\xB5\xE7\x9C\x89 \xF0\x9F\x98\x80"), "Header")),
      Footer("rIdF1", PageXOfYFooter())};
  Converted converted;
  Convert(docx, converted);
  ASSERT_TRUE(converted.header_exists);

  const std::string& header = converted.header;
  EXPECT_EQ(Count(header, "<div style='mso-element:header' id=h1>"), 1u);
  EXPECT_EQ(Count(header, "<div style='mso-element:footer' id=f1>"), 1u);
  EXPECT_NE(header.find("<link id=Main-File rel=Main-File href=\"../doc.htm\">"),
            std::string::npos);
  EXPECT_EQ(header.find("<style"), std::string::npos);
  EXPECT_NE(header.find("<body lang=EN-US>"), std::string::npos);
  EXPECT_NE(header.find("<p class=MsoHeader>"), std::string::npos) << header;
  // The page file's encoding: code page 936, a reference for what it lacks,
  // CR LF.
  const std::string bytes = ReadBytes(fs::path(converted.Scratch()) / "doc.files" / "header.htm");
  EXPECT_NE(bytes.find("\xD2\xB3\xC3\xBC"), std::string::npos);  // 页眉
  EXPECT_NE(bytes.find("&#128512;"), std::string::npos);
  EXPECT_EQ(Count(bytes, "\n"), Count(bytes, "\r\n"));

  EXPECT_NE(converted.main.find("mso-header:url(\"doc.files/header.htm\") h1;\r\n\t"
                                "mso-footer:url(\"doc.files/header.htm\") f1;"),
            std::string::npos);
  EXPECT_NE(converted.filelist.find(" <o:File HRef=\"header.htm\"/>\r\n <o:File "
                                    "HRef=\"filelist.xml\"/>"),
            std::string::npos)
      << converted.filelist;

  const site::SectionTable pages = SitePages(converted, 4);
  for (size_t k = 0; k < pages.size(); ++k) {
    EXPECT_NE(pages[k].HeaderHtml.find("Handbook"), std::string::npos) << pages[k].HeaderHtml;
    const std::vector<std::string> expected = {std::to_string(k + 1), "4"};
    EXPECT_EQ(SpanNumbers(pages[k].FooterHtml), expected) << pages[k].FooterHtml;
    EXPECT_NE(pages[k].FooterHtml.find("Page "), std::string::npos);
  }
}

struct FieldCase {
  const char* name;
  std::string paragraph;  // the footer's paragraph
  std::string written;    // what the footer story must hold
};

TEST(WordHtmlHeaderTest, PageFieldsTakeTheFormThePageNumbersAreFoundBy) {
  const std::string code_end = "<![endif]-->";
  const std::string code_begin = "<!--[if supportFields]>";
  const std::string page_code = "<span style='mso-field-code:\" PAGE \"'>";
  const FieldCase cases[] = {
      {"complex, page-number style, cached result", P(ComplexField(" PAGE ", "12", kPageNumberRun)),
       code_end + page_code +
           "<span class=MsoPageNumber><span style='mso-no-proof:yes'>12</span></span></span>" +
           code_begin},
      {"complex, plain run without w:noProof", P(ComplexField("PAGE  \\* MERGEFORMAT", "5")),
       code_end + "<span style='mso-field-code:\"PAGE  \\* MERGEFORMAT\"'>" +
           "<span style='mso-no-proof:yes'>5</span></span>" + code_begin},
      {"complex, never updated", P(ComplexField(" PAGE ", "", R"(<w:rStyle w:val="PageNumber"/>)")),
       "<span style='mso-element:field-separator'></span></span>" + code_end + page_code +
           "<span class=MsoPageNumber><span style='mso-no-proof:yes'>1</span></span></span>" +
           code_begin},
      {"result split over two runs",
       P(FieldChar("begin") + Instr(" PAGE ") + FieldChar("separate") + R("1") + R("4") +
         FieldChar("end")),
       page_code + "<span style='mso-no-proof:yes'>14</span></span>"},
      {"simple, without a result", P(SimpleField(" PAGE ", "")),
       page_code + "<span style='mso-no-proof:yes'>1</span></span>"},
      {"simple, in a formatted run", P(SimpleField(" PAGE ", "2", "<w:b/>")),
       page_code +
           "<b style='mso-bidi-font-weight:normal'><span style='mso-no-proof:yes'>2</span></b>"
           "</span>"},
  };
  for (const FieldCase& c : cases) {
    SCOPED_TRACE(c.name);
    Docx docx;
    docx.body = P(R("body")) + SectPr(FooterRef("default", "rIdF1"));
    docx.stories = {Footer("rIdF1", c.paragraph)};
    Converted converted;
    Convert(docx, converted);
    EXPECT_NE(converted.header.find(c.written), std::string::npos) << converted.header;
    EXPECT_TRUE(CodeHalvesHoldNoNumber(converted.header));
    const site::SectionTable pages = SitePages(converted, 3);
    for (size_t k = 0; k < pages.size(); ++k) {
      EXPECT_EQ(SpanNumbers(pages[k].FooterHtml), std::vector<std::string>{std::to_string(k + 1)})
          << pages[k].FooterHtml;
    }
  }
}

TEST(WordHtmlHeaderTest, ARomanPageNumberLeavesLaterNumbersAlone) {
  Docx docx;
  docx.body = P(R("body")) + SectPr(FooterRef("default", "rIdF1"));
  docx.stories = {
      Footer("rIdF1", P(ComplexField(" PAGE \\* roman ", "iv") + R(" 2024", "<w:noProof/>")))};
  Converted converted;
  Convert(docx, converted);
  EXPECT_NE(converted.header.find("<![endif]--><span style='mso-no-proof:yes'>iv</span>"),
            std::string::npos)
      << converted.header;
  EXPECT_EQ(converted.header.find("mso-field-code"), std::string::npos);
  for (const site::Section& page : SitePages(converted, 2)) {
    EXPECT_NE(page.FooterHtml.find("2024"), std::string::npos) << page.FooterHtml;
  }
}

TEST(WordHtmlHeaderTest, PageFieldsInTheBodyTakeTheSameForm) {
  Docx docx;
  docx.body = P(R("Page ") + ComplexField(" PAGE ", "") + R(" of ") + SimpleField("NUMPAGES", "7"));
  Converted converted;
  Convert(docx, converted);
  EXPECT_NE(converted.main.find("<span style='mso-element:field-separator'></span><![endif]-->"
                                "<span style='mso-field-code:\" PAGE \"'><span "
                                "style='mso-no-proof:yes'>1</span></span><!--[if supportFields]>"),
            std::string::npos)
      << converted.main;
  EXPECT_NE(
      converted.main.find(
          "<span style='mso-field-code:\"NUMPAGES\"'><span style='mso-no-proof:yes'>7</span>"),
      std::string::npos);
  EXPECT_FALSE(converted.header_exists);
}

// --- Which stories, in which order ----------------------------------------------

TEST(WordHtmlHeaderTest, EvenAndFirstPageStoriesFollowWordsOrder) {
  Docx docx;
  docx.settings = "<w:evenAndOddHeaders/>";
  // References in an order of their own; the file keeps Word's.
  docx.body =
      P(R("body")) + SectPr(FooterRef("first", "rIdFF") + HeaderRef("first", "rIdFH") +
                                FooterRef("default", "rIdF") + HeaderRef("default", "rIdH") +
                                FooterRef("even", "rIdEF") + HeaderRef("even", "rIdEH"),
                            "<w:titlePg/>");
  for (const auto& [id, footer] : std::vector<std::pair<std::string, bool>>{{"rIdFF", true},
                                                                            {"rIdFH", false},
                                                                            {"rIdF", true},
                                                                            {"rIdH", false},
                                                                            {"rIdEF", true},
                                                                            {"rIdEH", false}}) {
    docx.stories.push_back(footer ? Footer(id, P(R("text of " + id)))
                                  : Header(id, P(R("text of " + id))));
  }
  Converted converted;
  Convert(docx, converted);
  const std::vector<std::string> expected = {"eh1", "h1", "ef1", "f1", "fh1", "ff1"};
  EXPECT_EQ(StoryIds(converted.header), expected);
  EXPECT_NE(converted.header.find("<div style='mso-element:header' id=h1>\r\n\r\n<p "
                                  "class=MsoNormal>text of rIdH<o:p></o:p></p>\r\n\r\n</div>"),
            std::string::npos)
      << converted.header;
  const std::string url = "url(\"doc.files/header.htm\") ";
  EXPECT_NE(converted.main.find("mso-title-page:yes;\r\n\tmso-even-header:" + url +
                                "eh1;\r\n\tmso-header:" + url + "h1;\r\n\tmso-even-footer:" + url +
                                "ef1;\r\n\tmso-footer:" + url + "f1;\r\n\tmso-first-header:" + url +
                                "fh1;\r\n\tmso-first-footer:" + url + "ff1;"),
            std::string::npos);
  // The site takes the default stories only.
  const site::SectionTable pages = SitePages(converted, 1);
  EXPECT_NE(pages[0].HeaderHtml.find("text of rIdH<"), std::string::npos) << pages[0].HeaderHtml;
  EXPECT_NE(pages[0].FooterHtml.find("text of rIdF<"), std::string::npos) << pages[0].FooterHtml;
}

// The @page rule of section `number` (1-based), up to its closing brace.
std::string PageRule(const std::string& main, int number) {
  const size_t at = main.find("@page WordSection" + std::to_string(number) + "\r\n");
  if (at == std::string::npos) return {};
  return main.substr(at, main.find('}', at) - at);
}

TEST(WordHtmlHeaderTest, LaterSectionsWriteOnlyTheirOwnStories) {
  auto section_end = [](const std::string& references, const std::string& text) {
    return "<w:p><w:pPr>" + SectPr(references) + "</w:pPr>" + R(text) + "</w:p>";
  };
  Docx docx;
  docx.body = section_end(HeaderRef("default", "rIdH1") + FooterRef("default", "rIdF1"), "one") +
              section_end(HeaderRef("default", "rIdH2"), "two") +     // the footer goes on
              P(R("three")) + SectPr(HeaderRef("default", "rIdH1"));  // the first one again
  docx.stories = {Header("rIdH1", P(R("first header"))), Footer("rIdF1", P(R("footer"))),
                  Header("rIdH2", P(R("second header")))};
  Converted converted;
  Convert(docx, converted);
  EXPECT_EQ(StoryIds(converted.header), (std::vector<std::string>{"h1", "f1", "h2"}));
  const std::string url = "url(\"doc.files/header.htm\") ";
  const std::string second = PageRule(converted.main, 2);
  EXPECT_NE(second.find("mso-header:" + url + "h2;"), std::string::npos) << second;
  EXPECT_NE(second.find("mso-footer:" + url + "f1;"), std::string::npos) << second;
  // A part named again is not written again.
  const std::string third = PageRule(converted.main, 3);
  EXPECT_NE(third.find("mso-header:" + url + "h1;"), std::string::npos) << third;
  EXPECT_NE(third.find("mso-footer:" + url + "f1;"), std::string::npos) << third;
  const std::string h2 = converted.header.substr(converted.header.find("id=h2>"));
  EXPECT_NE(h2.find("second header"), std::string::npos);
  EXPECT_EQ(Count(converted.header, "first header"), 1u);
}

TEST(WordHtmlHeaderTest, NotesAloneWriteTheSeparators) {
  Docx plain;
  plain.body = P(R("no header"));
  Converted without;
  Convert(plain, without);
  EXPECT_FALSE(without.header_exists);
  EXPECT_EQ(without.filelist.find("header.htm"), std::string::npos);
  EXPECT_EQ(without.main.find("header.htm"), std::string::npos);

  Docx notes;
  notes.body = P(R("text"));
  notes.footnotes =
      R"(<w:footnote w:type="separator" w:id="-1"><w:p><w:r><w:separator/></w:r></w:p></w:footnote>)"
      R"(<w:footnote w:type="continuationSeparator" w:id="0"><w:p><w:r><w:continuationSeparator/></w:r></w:p></w:footnote>)";
  Converted with;
  Convert(notes, with);
  ASSERT_TRUE(with.header_exists);
  EXPECT_EQ(StoryIds(with.header), (std::vector<std::string>{"fs", "fcs", "es", "ecs"}));
  EXPECT_NE(with.main.find(" @page\r\n\t{mso-footnote-separator:url(\"doc.files/header.htm\") fs;"),
            std::string::npos);
  EXPECT_NE(with.filelist.find("header.htm"), std::string::npos);
  // Nothing for the site to show.
  const site::SectionTable pages = SitePages(with, 1);
  EXPECT_TRUE(pages[0].HeaderHtml.empty());
  EXPECT_TRUE(pages[0].FooterHtml.empty());
}

TEST(WordHtmlHeaderTest, ConvertingAgainWithoutHeadersRemovesTheOldFile) {
  Docx with;
  with.body = P(R("x")) + SectPr(HeaderRef("default", "rIdH1"));
  with.stories = {Header("rIdH1", P(R("old header")))};
  Docx without;
  without.body = P(R("x"));
  TempDir dir;
  for (const Docx* docx : {&with, &without}) {
    auto package = DocxPackage::Open(WriteDocx(dir.File("in.docx"), *docx));
    ASSERT_TRUE(package.ok()) << package.message();
    ASSERT_TRUE(WriteWordHtml(*package, dir.File("doc.htm")).ok());
  }
  EXPECT_FALSE(fs::exists(dir.path() / "doc.files" / "header.htm"));
}

// --- Each story is a document of its own ------------------------------------------

TEST(WordHtmlHeaderTest, StoriesUseTheirOwnRelationshipsAndListCounters) {
  Docx docx;
  docx.numbering = true;
  const std::string item =
      "<w:p><w:pPr><w:numPr><w:ilvl w:val=\"0\"/><w:numId w:val=\"1\"/>"
      "</w:numPr></w:pPr>";
  docx.relationships = Rel("rIdL", "hyperlink", "http://main.example/", true);
  docx.body = item + R("a") + "</w:p>" + item + R("b") + "</w:p>" +
              P(R"(<w:hyperlink r:id="rIdL">)" + R("main link") + "</w:hyperlink>") +
              SectPr(HeaderRef("default", "rIdH1"));
  docx.stories = {
      Header("rIdH1",
             item + R("header item") + "</w:p>" +
                 P(R"(<w:hyperlink r:id="rIdL">)" + R("header link") + "</w:hyperlink>"),
             Rel("rIdL", "hyperlink", "http://header.example/", true))};
  Converted converted;
  Convert(docx, converted);
  EXPECT_NE(converted.main.find("<a href=\"http://main.example/\">"), std::string::npos);
  EXPECT_NE(converted.header.find("<a href=\"http://header.example/\">"), std::string::npos)
      << converted.header;
  EXPECT_EQ(converted.header.find("main.example"), std::string::npos);
  // The body counted 1. and 2.; the header starts its own count.
  EXPECT_NE(converted.header.find(">1.<"), std::string::npos) << converted.header;
  EXPECT_EQ(converted.header.find(">3.<"), std::string::npos);
}

// A 1x1 PNG.
constexpr unsigned char kPng[] = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48,
    0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00,
    0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x44, 0x41, 0x54, 0x78,
    0x9C, 0x63, 0xF8, 0xCF, 0xC0, 0xF0, 0x1F, 0x00, 0x05, 0x00, 0x01, 0xFF, 0x89, 0x99,
    0x3D, 0x1D, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};

TEST(WordHtmlHeaderTest, HeaderPicturesAreNamedFromInsideTheCompanionFolder) {
  Docx docx;
  docx.body = P(R("x")) + SectPr(HeaderRef("default", "rIdH1"));
  // The id is the main document's too, for another part: the header's own
  // relationships decide.
  docx.relationships = Rel("rIdImg", "hyperlink", "http://not.a.picture/", true);
  docx.media["word/media/logo.png"] = std::string(std::begin(kPng), std::end(kPng));
  docx.stories = {
      Header("rIdH1",
             P(R"(<w:r><w:drawing><wp:inline><wp:extent cx="254000" cy="127000"/>)"
               R"(<wp:docPr id="1" name="Logo 1"/><a:graphic><a:graphicData)"
               R"( uri="http://schemas.openxmlformats.org/drawingml/2006/picture"><pic:pic>)"
               R"(<pic:nvPicPr><pic:cNvPr id="0" name="logo.png"/><pic:cNvPicPr/></pic:nvPicPr>)"
               R"(<pic:blipFill><a:blip r:embed="rIdImg"/></pic:blipFill><pic:spPr/></pic:pic>)"
               R"(</a:graphicData></a:graphic></wp:inline></w:drawing></w:r>)"),
             Rel("rIdImg", "image", "media/logo.png"))};
  Converted converted;
  Convert(docx, converted);
  EXPECT_NE(converted.header.find("<v:imagedata src=\"image001.png\""), std::string::npos)
      << converted.header;
  EXPECT_EQ(converted.header.find("doc.files/"), std::string::npos);
  EXPECT_TRUE(fs::exists(fs::path(converted.Scratch()) / "doc.files" / "image001.png"));
  EXPECT_NE(converted.filelist.find("image001.png"), std::string::npos);
  // The site stage turns the drawing into an image of the resource folder.
  const site::SectionTable pages = SitePages(converted, 1);
  EXPECT_NE(pages[0].HeaderHtml.find("src=\"doc.files/image001.png\""), std::string::npos)
      << pages[0].HeaderHtml;
  EXPECT_TRUE(fs::exists(fs::path(converted.Output()) / "doc.files" / "image001.png"));
}

TEST(WordHtmlHeaderTest, AMissingStoryPartIsWrittenEmptyAndReported) {
  Docx docx;
  docx.relationships = Rel("rIdGone", "header", "gone.xml");
  docx.body = P(R("x")) + SectPr(HeaderRef("default", "rIdGone"));
  Converted converted;
  Convert(docx, converted);
  EXPECT_NE(converted.header.find("<div style='mso-element:header' id=h1>\r\n\r\n<p "
                                  "class=MsoHeader><o:p>&nbsp;</o:p></p>"),
            std::string::npos)
      << converted.header;
  bool reported = false;
  for (const std::string& message : converted.diagnostics) {
    reported = reported || message.find("header or footer part") != std::string::npos;
  }
  EXPECT_TRUE(reported);
}

}  // namespace
}  // namespace tessarine::convert
