#include "convert/docx_styles.h"

#include <gtest/gtest.h>

#include <string>

#include "convert/docx_package.h"
#include "convert/docx_xml.h"
#include "test_support.h"

namespace tessarine::convert {
namespace {

// A styles part from the styles' XML (namespace declaration added).
StyleSheet SheetOf(const std::string& body) {
  pugi::xml_document doc;
  support::Status parsed = ParseXmlPart(
      R"(<w:styles xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">)" +
          body + "</w:styles>",
      doc);
  EXPECT_TRUE(parsed.ok()) << parsed.message();
  return StyleSheet::Parse(&doc);
}

RunProperties RunOf(const std::string& rpr) {
  pugi::xml_document doc;
  EXPECT_TRUE(
      ParseXmlPart(
          R"(<w:rPr xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">)" +
              rpr + "</w:rPr>",
          doc)
          .ok());
  return ParseRunProperties(doc.child("w:rPr"));
}

ParagraphProperties ParagraphOf(const std::string& ppr) {
  pugi::xml_document doc;
  EXPECT_TRUE(ParseXmlPart(R"(<w:pPr xmlns:w="http://purl.oclc.org/ooxml/wordprocessingml/main">)" +
                               ppr + "</w:pPr>",
                           doc)
                  .ok());
  return ParseParagraphProperties(doc.child("w:pPr"));
}

std::string ParagraphStyle(const std::string& id, const std::string& name,
                           const std::string& based_on, const std::string& content,
                           bool is_default = false) {
  return "<w:style w:type=\"paragraph\" w:styleId=\"" + id + "\"" +
         (is_default ? " w:default=\"1\"" : "") + "><w:name w:val=\"" + name + "\"/>" +
         (based_on.empty() ? "" : "<w:basedOn w:val=\"" + based_on + "\"/>") + content +
         "</w:style>";
}

std::string CharacterStyle(const std::string& id, const std::string& name,
                           const std::string& content) {
  return "<w:style w:type=\"character\" w:customStyle=\"1\" w:styleId=\"" + id +
         "\"><w:name w:val=\"" + name + "\"/>" + content + "</w:style>";
}

// --- Parsing direct formatting ------------------------------------------------------

TEST(DocxStylesParse, OnOffValuesFollowTheSchema) {
  const std::pair<const char*, bool> cases[] = {
      {"<w:b/>", true},
      {"<w:b w:val=\"1\"/>", true},
      {"<w:b w:val=\"true\"/>", true},
      {"<w:b w:val=\"on\"/>", true},
      {"<w:b w:val=\"0\"/>", false},
      {"<w:b w:val=\"false\"/>", false},
      {"<w:b w:val=\"off\"/>", false},
      {"<w:b w:val=\"Off\"/>", false},
  };
  for (const auto& [xml, expected] : cases) {
    EXPECT_EQ(RunOf(xml).bold, expected) << xml;
  }
  EXPECT_EQ(RunOf("<w:i/>").bold, std::nullopt);
}

TEST(DocxStylesParse, RunAndParagraphProperties) {
  RunProperties run = RunOf(
      R"(<w:rStyle w:val="a3"/><w:rFonts w:ascii="Times New Roman" w:eastAsia="宋体" w:cstheme="minorBidi"/>)"
      R"(<w:sz w:val="21"/><w:szCs w:val="11pt"/><w:u w:val="double" w:color="FF0000"/><w:color w:val="auto"/>)"
      R"(<w:vertAlign w:val="superscript"/><w:lang w:val="en-US" w:eastAsia="zh-CN"/><w:kern w:val="2"/>)"
      R"(<w:position w:val="-6"/><w:shd w:val="clear" w:color="auto" w:fill="FFFF00"/><w:vanish/>)");
  EXPECT_EQ(run.style_id, "a3");
  EXPECT_EQ(run.fonts.ascii, "Times New Roman");
  EXPECT_EQ(run.fonts.east_asia, "宋体");
  EXPECT_EQ(run.fonts.cs_theme, "minorBidi");
  EXPECT_EQ(run.size, 21);
  EXPECT_EQ(run.size_cs, 22);  // a strict universal measure in half-points
  EXPECT_EQ(run.underline, "double");
  EXPECT_EQ(run.underline_color, "FF0000");
  EXPECT_EQ(run.vert_align, "superscript");
  EXPECT_EQ(run.lang_east_asia, "zh-CN");
  EXPECT_EQ(run.position, -6);
  ASSERT_TRUE(run.shading);
  EXPECT_EQ(run.shading->fill, "FFFF00");
  EXPECT_EQ(run.vanish, true);

  // Strict names (start/end) arrive as left/right; line without a rule is auto.
  ParagraphProperties para = ParagraphOf(
      R"(<w:pStyle w:val="1"/><w:jc w:val="start"/><w:ind w:start="420" w:end="10pt" w:hangingChars="200" w:hanging="420"/>)"
      R"(<w:spacing w:before="8pt" w:beforeLines="50" w:line="360"/><w:numPr><w:ilvl w:val="1"/><w:numId w:val="3"/></w:numPr>)"
      R"(<w:outlineLvl w:val="0"/><w:pBdr><w:bottom w:val="single" w:sz="6" w:space="1" w:color="auto"/></w:pBdr>)"
      R"(<w:tabs><w:tab w:val="end" w:leader="dot" w:pos="8296"/></w:tabs><w:keepNext/><w:widowControl w:val="0"/>)");
  EXPECT_EQ(para.style_id, "1");
  EXPECT_EQ(para.justification, "left");
  EXPECT_EQ(para.indent_left, 420);
  EXPECT_EQ(para.indent_right, 200);
  EXPECT_EQ(para.indent_hanging, 420);
  EXPECT_EQ(para.indent_hanging_chars, 200);
  EXPECT_EQ(para.spacing_before, 160);
  EXPECT_EQ(para.spacing_before_lines, 50);
  EXPECT_EQ(para.spacing_line, 360);
  EXPECT_EQ(para.spacing_line_rule, "auto");
  EXPECT_EQ(para.num_id, 3);
  EXPECT_EQ(para.num_level, 1);
  EXPECT_EQ(para.outline_level, 0);
  ASSERT_TRUE(para.borders.bottom);
  EXPECT_EQ(para.borders.bottom->size, 6);
  ASSERT_EQ(para.tabs.size(), 1u);
  EXPECT_EQ(para.tabs[0], (TabStop{"right", "dot", 8296}));
  EXPECT_EQ(para.keep_next, true);
  EXPECT_EQ(para.widow_control, false);
}

// --- Resolution along basedOn -------------------------------------------------------

TEST(DocxStylesResolve, DocDefaultsThenTheBasedOnChainThenDirect) {
  StyleSheet sheet = SheetOf(
      R"(<w:docDefaults><w:rPrDefault><w:rPr><w:rFonts w:asciiTheme="minorHAnsi" w:eastAsiaTheme="minorEastAsia"/>)"
      R"(<w:kern w:val="2"/><w:sz w:val="21"/><w:lang w:val="en-US" w:eastAsia="zh-CN"/></w:rPr></w:rPrDefault>)"
      R"(<w:pPrDefault><w:pPr><w:spacing w:after="160" w:line="259" w:lineRule="auto"/></w:pPr></w:pPrDefault></w:docDefaults>)" +
      ParagraphStyle(
          "a", "Normal", "",
          R"(<w:pPr><w:widowControl w:val="0"/><w:jc w:val="both"/><w:ind w:firstLine="420"/>)"
          R"(<w:tabs><w:tab w:val="left" w:pos="420"/><w:tab w:val="left" w:pos="840"/></w:tabs></w:pPr>)",
          true) +
      ParagraphStyle(
          "1", "heading 1", "a",
          R"(<w:pPr><w:keepNext/><w:spacing w:before="340" w:after="330" w:line="578" w:lineRule="exact"/>)"
          R"(<w:ind w:hanging="420"/><w:tabs><w:tab w:val="clear" w:pos="420"/></w:tabs><w:outlineLvl w:val="0"/></w:pPr>)"
          R"(<w:rPr><w:rFonts w:ascii="Arial"/><w:b/><w:sz w:val="44"/></w:rPr>)") +
      ParagraphStyle(
          "x", "Chapter", "1",
          R"(<w:pPr><w:spacing w:line="300"/></w:pPr><w:rPr><w:color w:val="C00000"/></w:rPr>)"));

  ParagraphProperties para = sheet.ResolveParagraphProperties("x", {});
  EXPECT_EQ(para.justification, "both");      // from Normal
  EXPECT_EQ(para.widow_control, false);       // from Normal
  EXPECT_EQ(para.keep_next, true);            // from heading 1
  EXPECT_EQ(para.spacing_before, 340);        // from heading 1
  EXPECT_EQ(para.spacing_after, 330);         // heading 1 over docDefaults
  EXPECT_EQ(para.spacing_line, 300);          // own
  EXPECT_EQ(para.spacing_line_rule, "auto");  // own line, so not heading 1's "exact"
  EXPECT_EQ(para.indent_hanging, 420);        // replaces Normal's first line
  EXPECT_EQ(para.indent_first_line, std::nullopt);
  ASSERT_EQ(para.tabs.size(), 1u);  // heading 1 clears the stop at 420
  EXPECT_EQ(para.tabs[0].position, 840);

  RunProperties run = sheet.ResolveRunProperties("x", {});
  EXPECT_EQ(run.size, 44);
  EXPECT_EQ(run.kern, 2);
  EXPECT_EQ(run.color, "C00000");
  EXPECT_EQ(run.bold, true);
  EXPECT_EQ(run.italic, false);  // every toggle is decided
  EXPECT_EQ(run.fonts.ascii, "Arial");
  EXPECT_EQ(run.fonts.ascii_theme, std::nullopt);  // a name beats the inherited theme font
  EXPECT_EQ(run.fonts.east_asia_theme, "minorEastAsia");
  EXPECT_EQ(run.lang_east_asia, "zh-CN");

  // An empty or unknown paragraph style means the default one (Normal).
  EXPECT_EQ(sheet.ResolveParagraphProperties("", {}).justification, "both");
  EXPECT_EQ(sheet.ResolveParagraphProperties("nope", {}).indent_first_line, 420);
  // Direct formatting wins.
  ParagraphProperties direct;
  direct.justification = "center";
  EXPECT_EQ(sheet.ResolveParagraphProperties("x", direct).justification, "center");
  EXPECT_TRUE(sheet.diagnostics().empty());
}

TEST(DocxStylesResolve, BasedOnLoopsAreCutAndReported) {
  StyleSheet sheet = SheetOf(ParagraphStyle("A", "A", "B", R"(<w:rPr><w:sz w:val="30"/></w:rPr>)") +
                             ParagraphStyle("B", "B", "A", R"(<w:rPr><w:i/></w:rPr>)") +
                             ParagraphStyle("C", "C", "C", "") +
                             ParagraphStyle("D", "D", "missing", R"(<w:rPr><w:b/></w:rPr>)"));
  EXPECT_EQ(sheet.Chain("A"), (std::vector<std::string>{"A", "B"}));
  RunProperties a = sheet.EffectiveRun("A");
  EXPECT_EQ(a.size, 30);
  EXPECT_EQ(a.italic, true);
  EXPECT_EQ(sheet.Chain("C"), (std::vector<std::string>{"C"}));
  EXPECT_EQ(sheet.EffectiveRun("D").bold, true);
  ASSERT_EQ(sheet.diagnostics().size(), 4u);  // A, B and C loop; D's parent is unknown
  EXPECT_NE(sheet.diagnostics()[3].find("unknown style \"missing\""), std::string::npos);
}

// Toggle properties: on at a style level flips, off leaves; along one chain
// the derived style's value replaces; direct formatting is absolute.
TEST(DocxStylesResolve, TogglePropertiesFollowTheHierarchyRule) {
  StyleSheet sheet = SheetOf(
      ParagraphStyle("Normal", "Normal", "", "", true) +
      ParagraphStyle("Bold", "Bold Para", "Normal", R"(<w:rPr><w:b/><w:caps/></w:rPr>)") +
      ParagraphStyle("Unbold", "Unbold Para", "Bold", R"(<w:rPr><w:b w:val="0"/></w:rPr>)") +
      CharacterStyle("BoldChar", "Bold Char", R"(<w:rPr><w:b/></w:rPr>)") +
      CharacterStyle("OffChar", "Off Char", R"(<w:rPr><w:b w:val="false"/></w:rPr>)") +
      CharacterStyle("Derived", "Derived",
                     R"(<w:basedOn w:val="BoldChar"/><w:rPr><w:i/></w:rPr>)"));
  struct Case {
    const char* paragraph_style;
    const char* run_style;  // "" for none
    std::optional<bool> direct_bold;
    bool bold;
  };
  const Case cases[] = {
      {"Normal", "", std::nullopt, false},
      {"Bold", "", std::nullopt, true},
      {"Unbold", "", std::nullopt, false},        // derived style turns it off
      {"Bold", "BoldChar", std::nullopt, false},  // on + on flips back
      {"Bold", "OffChar", std::nullopt, true},    // off leaves the state
      {"Normal", "BoldChar", std::nullopt, true},
      {"Bold", "Derived", std::nullopt, false},  // the chain's bold still flips
      {"Bold", "", false, false},                // direct is absolute
      {"Bold", "BoldChar", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.paragraph_style) + " / " + c.run_style);
    RunProperties direct;
    if (*c.run_style != '\0') direct.style_id = c.run_style;
    direct.bold = c.direct_bold;
    RunProperties run = sheet.ResolveRunProperties(c.paragraph_style, direct);
    EXPECT_EQ(run.bold, c.bold);
    EXPECT_EQ(run.caps, std::string(c.paragraph_style) != "Normal");
  }
}

// --- Built-in identification and class names ------------------------------------

TEST(DocxStylesNames, BuiltinClassNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"Normal", "MsoNormal"},
      {"normal", "MsoNormal"},
      {"heading 7", "MsoHeading7"},
      {"toc 9", "MsoToc9"},
      {"Title", "MsoTitle"},
      {"Subtitle", "MsoSubtitle"},
      {"header", "MsoHeader"},
      {"footer", "MsoFooter"},
      {"List Paragraph", "MsoListParagraph"},
      {"footnote text", "MsoFootnoteText"},
      {"footnote reference", "MsoFootnoteReference"},
      {"endnote text", "MsoEndnoteText"},
      {"annotation text", "MsoCommentText"},
      {"Balloon Text", "MsoAcetate"},
      {"Hyperlink", "MsoHyperlink"},
      {"FollowedHyperlink", "MsoHyperlinkFollowed"},
      {"page number", "MsoPageNumber"},
      {"Body Text 2", "MsoBodyText2"},
      {"caption", "MsoCaption"},
      {"Table Grid", "MsoTableGrid"},
      {"Normal Table", "MsoNormalTable"},
      {"List Bullet 2", "MsoListBullet2"},
      {"index 1", "MsoIndex1"},
      {"heading 10", ""},
      {"My Heading", ""},
  };
  for (const auto& [name, class_name] : cases) {
    EXPECT_EQ(BuiltinClassName(name), class_name) << name;
    EXPECT_EQ(IsBuiltinStyleName(name), *class_name != '\0') << name;
  }
}

// Custom classes as Word derived them in saved pages (wordhtml-samples:
// cn-jahhan-doc, cn-softwaretesting): ASCII letters, digits and "-" only,
// "a" when none is left, clashes resolved with 0-9 then a-f; unlike Word's,
// every name is a CSS identifier ("a" in front where needed).
TEST(DocxStylesNames, CustomClassNamesAreSafeAndUnique) {
  const std::pair<const char*, const char*> bases[] = {
      {"Table Subheading", "TableSubheading"},
      {"标题 1 Char", "a1Char"},
      {"zgb_正文五号不缩进", "zgb"},
      {"apple-style-span", "apple-style-span"},
      {"章标题", "a"},
      {"1", "a1"},
      {"-1x", "a-1x"},
      {"-x", "-x"},
      {"--", "a--"},
      {"a\"b'c<d>e", "abcde"},
  };
  for (const auto& [name, base] : bases) EXPECT_EQ(CustomClassBase(name), base) << name;

  std::string styles =
      ParagraphStyle("Normal", "Normal", "", "", true) + ParagraphStyle("m", "msonormal", "", "") +
      CharacterStyle("c1", "页脚 Char", "") + CharacterStyle("c2", "Char", "") +
      CharacterStyle("c3", "Char2", "") + CharacterStyle("c4", "批注框文本 Char", "") +
      CharacterStyle("c5", "Char2", "");
  for (int i = 0; i < 18; ++i) styles += ParagraphStyle("z" + std::to_string(i), "章标题", "", "");
  StyleSheet sheet = SheetOf(styles);
  EXPECT_EQ(sheet.ClassName("m"), "msonormal0");  // MsoNormal is taken, whatever the case
  EXPECT_EQ(sheet.ClassName("c1"), "Char");
  EXPECT_EQ(sheet.ClassName("c2"), "Char0");
  EXPECT_EQ(sheet.ClassName("c3"), "Char2");
  EXPECT_EQ(sheet.ClassName("c4"), "Char1");
  EXPECT_EQ(sheet.ClassName("c5"), "Char20");
  const char* expected[] = {"a",  "a0", "a1", "a2", "a3", "a4", "a5", "a6", "a7",
                            "a8", "a9", "aa", "ab", "ac", "ad", "ae", "af", "af0"};
  for (int i = 0; i < 18; ++i) {
    EXPECT_EQ(sheet.ClassName("z" + std::to_string(i)), expected[i]) << i;
  }
}

}  // namespace
}  // namespace tessarine::convert
