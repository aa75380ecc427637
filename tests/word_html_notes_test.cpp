// Footnotes, endnotes and alternative-format chunks in the Word HTML writer,
// on small documents built here: the markup Word writes for them, and that
// the later clean-up passes leave the note text and numbers in place.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "convert/docx_package.h"
#include "convert/html_notes.h"
#include "convert/word_html_writer.h"
#include "support/regex.h"
#include "test_support.h"
#include "zip_writer.h"

namespace tessarine::convert {
namespace {

using tessarine::testing::Rel;
using tessarine::testing::Rels;
using tessarine::testing::TempDir;

constexpr const char* kNamespaces = tessarine::testing::kWordNamespaces;

struct Docx {
  std::string body;                           // inside w:body
  std::string footnotes;                      // inside w:footnotes; no part when empty
  std::string endnotes;                       // inside w:endnotes; no part when empty
  std::string settings;                       // inside w:settings; no part when empty
  std::string relationships;                  // extra document relationships
  std::string content_types;                  // extra Default/Override entries
  std::map<std::string, std::string> extras;  // further parts by name
};

constexpr char kStyles[] =
    R"(<w:docDefaults><w:rPrDefault><w:rPr><w:lang w:val="en-US"/></w:rPr></w:rPrDefault></w:docDefaults>)"
    R"(<w:style w:type="paragraph" w:default="1" w:styleId="Normal"><w:name w:val="Normal"/></w:style>)"
    R"(<w:style w:type="character" w:default="1" w:styleId="DefaultParagraphFont"><w:name w:val="Default Paragraph Font"/></w:style>)"
    R"(<w:style w:type="paragraph" w:styleId="FootnoteText"><w:name w:val="footnote text"/><w:basedOn w:val="Normal"/></w:style>)"
    R"(<w:style w:type="character" w:styleId="FootnoteReference"><w:name w:val="footnote reference"/><w:rPr><w:vertAlign w:val="superscript"/></w:rPr></w:style>)"
    R"(<w:style w:type="paragraph" w:styleId="EndnoteText"><w:name w:val="endnote text"/><w:basedOn w:val="Normal"/></w:style>)"
    R"(<w:style w:type="character" w:styleId="EndnoteReference"><w:name w:val="endnote reference"/><w:rPr><w:vertAlign w:val="superscript"/></w:rPr></w:style>)";

std::string Part(const char* root, const std::string& content) {
  return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><") + root + kNamespaces + ">" +
         content + "</" + root + ">";
}

std::string WriteDocx(const TempDir& dir, const Docx& docx) {
  std::map<std::string, std::string> parts = docx.extras;
  parts["[Content_Types].xml"] =
      R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
      R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
      R"(<Default Extension="xml" ContentType="application/xml"/>)"
      R"(<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>)" +
      docx.content_types + "</Types>";
  parts["_rels/.rels"] = Rels(
      R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>)");
  std::string rels = Rel("rIdS", "styles", "styles.xml");
  parts["word/styles.xml"] = Part("w:styles", kStyles);
  if (!docx.footnotes.empty()) {
    rels += Rel("rIdF", "footnotes", "footnotes.xml");
    parts["word/footnotes.xml"] = Part("w:footnotes", docx.footnotes);
  }
  if (!docx.endnotes.empty()) {
    rels += Rel("rIdE", "endnotes", "endnotes.xml");
    parts["word/endnotes.xml"] = Part("w:endnotes", docx.endnotes);
  }
  if (!docx.settings.empty()) {
    rels += Rel("rIdT", "settings", "settings.xml");
    parts["word/settings.xml"] = Part("w:settings", docx.settings);
  }
  parts["word/_rels/document.xml.rels"] = Rels(rels + docx.relationships);
  parts["word/document.xml"] = Part("w:document", "<w:body>" + docx.body + "</w:body>");

  return tessarine::testing::WriteZip(dir.File("in.docx"), {parts.begin(), parts.end()});
}

std::string Render(const Docx& docx, std::vector<std::string>* diagnostics = nullptr) {
  TempDir dir;
  auto package = DocxPackage::Open(WriteDocx(dir, docx));
  EXPECT_TRUE(package.ok()) << package.message();
  if (!package.ok()) return {};
  const std::string html = RenderWordHtml(*package, "in.files", diagnostics);
  return html.substr(html.find("<body"));
}

std::string R(const std::string& text) {
  return "<w:r><w:t xml:space=\"preserve\">" + text + "</w:t></w:r>";
}
std::string P(const std::string& content, const std::string& style = "") {
  return "<w:p>" + (style.empty() ? "" : "<w:pPr><w:pStyle w:val=\"" + style + "\"/></w:pPr>") +
         content + "</w:p>";
}
std::string FootnoteRef(const std::string& id) {
  return R"(<w:r><w:rPr><w:rStyle w:val="FootnoteReference"/></w:rPr><w:footnoteReference w:id=")" +
         id + "\"/></w:r>";
}
std::string EndnoteRef(const std::string& id) {
  return R"(<w:r><w:rPr><w:rStyle w:val="EndnoteReference"/></w:rPr><w:endnoteReference w:id=")" +
         id + "\"/></w:r>";
}
// A note as Word stores it: its mark run first, then the text.
std::string Footnote(const std::string& id, const std::string& paragraphs_after_mark,
                     const std::string& more = "") {
  return "<w:footnote w:id=\"" + id + "\">" +
         P(R"(<w:r><w:rPr><w:rStyle w:val="FootnoteReference"/></w:rPr><w:footnoteRef/></w:r>)" +
               paragraphs_after_mark,
           "FootnoteText") +
         more + "</w:footnote>";
}
constexpr char kSeparators[] =
    R"(<w:footnote w:type="separator" w:id="-1"><w:p><w:r><w:t>SEPARATOR</w:t></w:r></w:p></w:footnote>)"
    R"(<w:footnote w:type="continuationSeparator" w:id="0"><w:p><w:r><w:t>CONTINUATION</w:t></w:r></w:p></w:footnote>)";

size_t Find(const std::string& text, const std::string& piece) {
  const size_t at = text.find(piece);
  EXPECT_NE(at, std::string::npos) << "missing: " << piece;
  return at;
}

// --- Footnotes ------------------------------------------------------------------

TEST(WordHtmlNotes, FootnotesInWordsFormNumberedInReferenceOrder) {
  Docx docx;
  docx.body = P(R("First") + FootnoteRef("7")) + P(R("Second") + FootnoteRef("2"));
  docx.footnotes =
      std::string(kSeparators) + Footnote("2", R(" Note two")) + Footnote("7", R(" Note seven"));
  const std::string body = Render(docx);

  // The reference in the text: links to the note, named for the way back.
  const size_t ref1 = Find(
      body,
      "First<a style='mso-footnote-id:ftn1' href=\"#_ftn1\" name=\"_ftnref1\" title=\"\"><span "
      "class=MsoFootnoteReference><span style='mso-special-character:footnote'><![if "
      "!supportFootnotes]><span class=MsoFootnoteReference>[1]</span><![endif]></span></span></a>");
  const size_t ref2 = Find(body, "href=\"#_ftn2\" name=\"_ftnref2\"");
  // The list at the end of the body, inside the last section.
  const size_t list = Find(body,
                           "<div style='mso-element:footnote-list'><![if !supportFootnotes]><br "
                           "clear=all>\r\n\r\n<hr align=left size=1 width=\"33%\">\r\n\r\n<!["
                           "endif]>\r\n\r\n<div style='mso-element:footnote' id=ftn1>\r\n\r\n");
  const size_t note1 = Find(
      body,
      "<p class=MsoFootnoteText><a style='mso-footnote-id:ftn1' href=\"#_ftnref1\" name=\"_ftn1\" "
      "title=\"\"><span class=MsoFootnoteReference><span "
      "style='mso-special-character:footnote'><![if !supportFootnotes]><span "
      "class=MsoFootnoteReference>[1]</span><![endif]></span></span></a> Note seven");
  const size_t note2 = Find(body, "<div style='mso-element:footnote' id=ftn2>");
  const size_t text2 = Find(body, "Note two");
  EXPECT_LT(ref1, ref2);
  EXPECT_LT(ref2, list);
  EXPECT_LT(list, note1);
  EXPECT_LT(note1, note2);
  EXPECT_LT(note2, text2);
  EXPECT_NE(body.find("</div>\r\n\r\n</div>\r\n\r\n</div>\r\n\r\n</body>"), std::string::npos);
  // Separator stories belong to the header file, not the list.
  EXPECT_EQ(body.find("SEPARATOR"), std::string::npos);
  EXPECT_EQ(body.find("CONTINUATION"), std::string::npos);
  EXPECT_EQ(body.find("endnote"), std::string::npos);
}

TEST(WordHtmlNotes, NoteContentIsWrittenAsFullParagraphs) {
  Docx docx;
  docx.body = P(R("Text") + FootnoteRef("1"));
  docx.footnotes = Footnote(
      "1", R(" See ") + R"(<w:hyperlink r:id="rIdS"><w:r><w:t>the site</w:t></w:r></w:hyperlink>)",
      P(R("Second paragraph"), "FootnoteText"));
  // The note's link resolves through the notes part's relationships, whose
  // ids are independent of the main document's (rIdS is the style sheet there).
  docx.extras["word/_rels/footnotes.xml.rels"] =
      Rels(Rel("rIdS", "hyperlink", "http://example.com/note", true));
  const std::string body = Render(docx);
  const size_t div = Find(body, "<div style='mso-element:footnote' id=ftn1>");
  // Without a Hyperlink style the linked text keeps its own look.
  const size_t link = Find(body,
                           " See <a href=\"http://example.com/note\"><span style='color:windowtext;"
                           "text-decoration:none;text-underline:none'>the site</span></a>");
  const size_t second = Find(body, "<p class=MsoFootnoteText>Second paragraph<o:p></o:p></p>");
  const size_t end = body.find("</div>", second);
  EXPECT_LT(div, link);
  EXPECT_LT(link, second);
  EXPECT_NE(end, std::string::npos);
  EXPECT_EQ(body.find("styles.xml"), std::string::npos);
}

TEST(WordHtmlNotes, EndnotesHaveTheirOwnListAndRomanMarks) {
  Docx docx;
  docx.body = P(R("A") + EndnoteRef("3") + R("B") + FootnoteRef("1") + R("C") + EndnoteRef("4"));
  docx.footnotes = Footnote("1", R(" Foot"));
  docx.endnotes =
      R"(<w:endnote w:id="3"><w:p><w:pPr><w:pStyle w:val="EndnoteText"/></w:pPr><w:r><w:rPr><w:rStyle w:val="EndnoteReference"/></w:rPr><w:endnoteRef/></w:r><w:r><w:t xml:space="preserve"> End three</w:t></w:r></w:p></w:endnote>)"
      R"(<w:endnote w:id="4"><w:p><w:pPr><w:pStyle w:val="EndnoteText"/></w:pPr><w:r><w:rPr><w:rStyle w:val="EndnoteReference"/></w:rPr><w:endnoteRef/></w:r><w:r><w:t xml:space="preserve"> End four</w:t></w:r></w:p></w:endnote>)";
  const std::string body = Render(docx);
  Find(body,
       "A<a style='mso-endnote-id:edn1' href=\"#_edn1\" name=\"_ednref1\" title=\"\"><span "
       "class=MsoEndnoteReference><span style='mso-special-character:footnote'><![if "
       "!supportEndnotes]><span class=MsoEndnoteReference>[i]</span><![endif]></span></span></a>");
  Find(body, "href=\"#_edn2\" name=\"_ednref2\"");
  Find(body, "[ii]");
  Find(body, "href=\"#_ftn1\" name=\"_ftnref1\"");
  const size_t footnotes = Find(body, "<div style='mso-element:footnote-list'>");
  const size_t endnotes =
      Find(body, "<div style='mso-element:endnote-list'><![if !supportEndnotes]><br clear=all>");
  const size_t edn1 = Find(body, "<div style='mso-element:endnote' id=edn1>");
  Find(body,
       "<p class=MsoEndnoteText><a style='mso-endnote-id:edn1' href=\"#_ednref1\" name=\"_edn1\"");
  const size_t three = Find(body, "End three");
  const size_t four = Find(body, "End four");
  EXPECT_LT(footnotes, endnotes);
  EXPECT_LT(edn1, three);
  EXPECT_LT(three, four);
}

TEST(WordHtmlNotes, NumberFormatStartAndCustomMarks) {
  Docx docx;
  docx.settings =
      R"(<w:footnotePr><w:numFmt w:val="upperLetter"/><w:numStart w:val="3"/></w:footnotePr>)";
  docx.body = P(
      R("x") + FootnoteRef("1") +
      R"(<w:r><w:rPr><w:rStyle w:val="FootnoteReference"/></w:rPr><w:footnoteReference w:customMarkFollows="1" w:id="2"/><w:t>*</w:t></w:r>)" +
      FootnoteRef("3"));
  docx.footnotes =
      Footnote("1", R(" one")) +
      R"(<w:footnote w:id="2"><w:p><w:r><w:t>* custom</w:t></w:r></w:p></w:footnote>)" +
      Footnote("3", R(" three"));
  const std::string body = Render(docx);
  Find(body, ">[C]<");
  Find(body, ">[E]<");
  // The custom mark replaces the number and is not written twice.
  Find(body,
       "<a style='mso-footnote-id:ftn2' href=\"#_ftn2\" name=\"_ftnref2\" title=\"\"><span "
       "class=MsoFootnoteReference>*</span></a>");
  EXPECT_EQ(body.find("[D]"), std::string::npos);
  EXPECT_EQ(body.find("*</span></a>*"), std::string::npos);
  // A note without its own mark still holds the target its reference links to.
  Find(body, "id=ftn2>\r\n\r\n<p class=MsoNormal><a name=\"_ftn2\"></a>* custom");
}

TEST(WordHtmlNotes, RepeatedAndMissingReferences) {
  Docx docx;
  docx.body = P(R("a") + FootnoteRef("1") + R("b") + FootnoteRef("1") + R("c") + FootnoteRef("9") +
                EndnoteRef("1"));
  docx.footnotes = Footnote("1", R(" once")) + Footnote("2", R(" only from an endnote"));
  // The footnote list is written before the endnotes: a footnote first met
  // in an endnote cannot join it, and must not leave a dead link.
  docx.endnotes = R"(<w:endnote w:id="1"><w:p><w:r><w:t>end</w:t></w:r>)" + FootnoteRef("2") +
                  "</w:p></w:endnote>";
  std::vector<std::string> diagnostics;
  const std::string body = Render(docx, &diagnostics);
  // One note, listed once; a name is never given twice.
  size_t names = 0;
  for (size_t at = body.find("name=\"_ftnref1\""); at != std::string::npos;
       at = body.find("name=\"_ftnref1\"", at + 1)) {
    ++names;
  }
  EXPECT_EQ(names, 1u);
  EXPECT_EQ(body.find("id=ftn2"), std::string::npos);
  EXPECT_EQ(body.find("#_ftn2"), std::string::npos);
  EXPECT_EQ(body.find("only from an endnote"), std::string::npos);
  Find(body, "id=edn1>");
  Find(body, "b<a style='mso-footnote-id:ftn1' href=\"#_ftn1\" title=\"\">");
  EXPECT_FALSE(diagnostics.empty());
}

// The clean-up passes of both optimising modes keep the note numbers and the
// note text: the mark block is downlevel-revealed, not a comment.
TEST(WordHtmlNotes, NoteTextSurvivesTheCleanUpPasses) {
  Docx docx;
  docx.body = P(R("Body") + FootnoteRef("1"));
  docx.footnotes = Footnote("1", R(" Footnote words"));
  std::string text = Render(docx);
  for (const char* pattern : {"<o:p>(&nbsp;)*</o:p>", "<span[^>]*?></span>",
                              "<!--\\[if mso[^>]*?>([^a]|a)*?<!\\[endif\\]-->", "<!--([^a]|a)*?-->",
                              "<(?!(p|/p|br|sub|sup|/sub|/sup))+?[^>]*?>"}) {
    auto replaced = support::RegexpReplace(text, pattern, "");
    ASSERT_TRUE(replaced.ok()) << replaced.message();
    text = *replaced;
  }
  Find(text, "Body[1]");
  Find(text, "[1] Footnote words");
}

// --- Alternative-format chunks ---------------------------------------------------

struct ChunkCase {
  const char* name;
  std::string content;
  const char* type;
  std::vector<std::string> paragraphs;
};

TEST(WordHtmlNotes, AltChunkVisibleText) {
  const std::vector<ChunkCase> cases = {
      {"html body only, scripts and styles dropped",
       "<html><head><title>T</title><style>p{color:red}</style></head><body>"
       "<h1>Head&amp;ing</h1><script>var x = '<p>no</p>';</script>"
       "<p>One &lt;two&gt;<br>three&nbsp;&ouml;&#228;&#x4E2D;</p><!-- hidden --><div>  spaced\r\n"
       "  text </div><table><tr><td>a</td><td>b</td></tr></table></body></html>",
       "text/html",
       {"Head&ing", "One <two>\nthree\u00A0\u00F6\u00E4\u4E2D", "spaced text", "a b"}},
      {"fragment without body",
       "plain <b>bold</b> &bogus; & done",
       "application/xhtml+xml",
       {"plain bold &bogus; & done"}},
      {"latin-1 html", "<meta charset=iso-8859-1><p>caf\xE9</p>", "text/html", {"caf\u00E9"}},
      {"windows-1252 html",
       "<meta charset=windows-1252><p>\x93q\x94 \x80</p>",
       "text/html",
       {"\u201Cq\u201D \u20AC"}},
      {"plain text lines", "first\r\n\r\nthird\tcol\n", "text/plain", {"first", "", "third col"}},
      {"web archive, quoted-printable html",
       "MIME-Version: 1.0\r\nContent-Type: multipart/related; boundary=\"B1\"\r\n\r\n"
       "--B1\r\nContent-Type: text/html; charset=\"utf-8\"\r\n"
       "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
       "<p>Gr=C3=BC=C3=9F long =\r\nline</p>\r\n--B1\r\nContent-Type: "
       "image/png\r\n\r\nxx\r\n--B1--",
       "message/rfc822",
       {"Gr\u00FC\u00DF long line"}},
      {"web archive, base64 html",
       "Content-Type: text/html; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n"
       "PHA+SGVsbG88L3A+\r\n",
       "message/rfc822",
       {"Hello"}},
      {"unknown type", "{\\rtf1 x}", "application/rtf", {}},
      {"unterminated markup", "<p>ok</p><scr", "text/html", {"ok"}},
  };
  for (const ChunkCase& c : cases) {
    EXPECT_EQ(AltChunkParagraphs(c.content, c.type), c.paragraphs) << c.name;
  }
}

TEST(WordHtmlNotes, AltChunkMergedIntoTheBody) {
  Docx docx;
  docx.body = P(R("Before")) + R"(<w:altChunk r:id="rIdC"/>)" + P(R("After"));
  docx.relationships = Rel("rIdC", "aFChunk", "chunk.htm");
  docx.content_types = R"(<Default Extension="htm" ContentType="text/html"/>)";
  docx.extras["word/chunk.htm"] =
      "\xEF\xBB\xBF<html><body><p>Chunk &lt;one&gt;</p><p>two<br/>lines</p></body></html>";
  const std::string body = Render(docx);
  const size_t before = Find(body, "Before");
  const size_t one = Find(body, "<p class=MsoNormal>Chunk &lt;one&gt;<o:p></o:p></p>");
  const size_t two = Find(body, "<p class=MsoNormal>two<br>\r\nlines<o:p></o:p></p>");
  const size_t after = Find(body, "After");
  EXPECT_LT(before, one);
  EXPECT_LT(one, two);
  EXPECT_LT(two, after);
}

}  // namespace
}  // namespace tessarine::convert
