// Word formatting as CSS: the builders the style sheet and the body share,
// checked on small property sets against the declarations Word writes.
#include "convert/html_css.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessarine::convert {
namespace {

TEST(HtmlCss, RunFormatting) {
  struct Case {
    const char* what;
    RunProperties run;
    CssMode mode;
    std::string css;
  };
  const auto run = [](auto set) {
    RunProperties r;
    set(r);
    return r;
  };
  const std::vector<Case> cases = {
      {"size in the body", run([](RunProperties& r) { r.size = 21; }), CssMode::kDirect,
       "font-size:10.5pt;"},
      {"size in the sheet names the ANSI size too", run([](RunProperties& r) { r.size = 21; }),
       CssMode::kStyleSheet, "font-size:10.5pt;mso-ansi-font-size:10.5pt;"},
      {"a complex-script size only where it differs", run([](RunProperties& r) {
         r.size = 24;
         r.size_cs = 20;
       }),
       CssMode::kDirect, "font-size:12.0pt;mso-bidi-font-size:10.0pt;"},
      {"colour, automatic colour", run([](RunProperties& r) { r.color = "2E74B5"; }),
       CssMode::kDirect, "color:#2E74B5;"},
      {"automatic colour", run([](RunProperties& r) { r.color = "auto"; }), CssMode::kDirect,
       "color:windowtext;"},
      {"emphasis is a tag in the body: only switching it off is CSS", run([](RunProperties& r) {
         r.bold = true;
         r.italic = false;
         r.underline = "none";
       }),
       CssMode::kDirect, "font-style:normal;text-decoration:none;text-underline:none;"},
      {"emphasis in the sheet", run([](RunProperties& r) {
         r.bold = true;
         r.italic = true;
         r.underline = "double";
       }),
       CssMode::kStyleSheet,
       "font-weight:bold;font-style:italic;text-decoration:underline;text-underline:double;"},
      {"raised text", run([](RunProperties& r) { r.position = 6; }), CssMode::kDirect,
       "position:relative;top:-3.0pt;mso-text-raise:3.0pt;"},
      {"highlight wins over shading", run([](RunProperties& r) {
         r.highlight = "yellow";
         r.shading = Shading{"clear", "auto", "FF0000", ""};
       }),
       CssMode::kDirect, "background:yellow;mso-highlight:yellow;"},
      {"hidden text", run([](RunProperties& r) { r.vanish = true; }), CssMode::kDirect,
       "display:none;mso-hide:all;"},
      {"a language other than the document's", run([](RunProperties& r) {
         r.lang = "en-US";
         r.lang_east_asia = "zh-CN";
       }),
       CssMode::kDirect, "mso-ansi-language:EN-US;"},
      {"a thin border keeps its real width in the -alt twin",
       run([](RunProperties& r) { r.border = Border{"single", 4, 0, "auto", "", false, false}; }),
       CssMode::kDirect,
       "border:solid windowtext 1.0pt;mso-border-alt:solid windowtext .5pt;padding:0cm;"},
  };
  const CssFonts fonts;
  const CssLanguages languages{"ZH-CN", "ZH-CN", "AR-SA"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string css;
    AppendRunCss(css, c.run, fonts, languages, c.mode, false);
    EXPECT_EQ(css, c.css);
  }
}

TEST(HtmlCss, ParagraphFormatting) {
  struct Case {
    const char* what;
    ParagraphProperties paragraph;
    CssMode mode;
    std::string list;
    std::string css;
  };
  const auto para = [](auto set) {
    ParagraphProperties p;
    set(p);
    return p;
  };
  const std::vector<Case> cases = {
      {"the sheet states every margin", para([](ParagraphProperties&) {}), CssMode::kStyleSheet, "",
       "margin:0cm;margin-bottom:.0001pt;mso-pagination:widow-orphan;"},
      {"the body only what is given", para([](ParagraphProperties&) {}), CssMode::kDirect, "", ""},
      {"hanging indent of a list level", para([](ParagraphProperties& p) {
         p.indent_left = 425;
         p.indent_hanging = 425;
       }),
       CssMode::kDirect, "mso-list:l4 level1 lfo6",
       "margin-left:21.25pt;text-indent:-21.25pt;mso-list:l4 level1 lfo6;"},
      {"whole centimetres", para([](ParagraphProperties& p) {
         p.indent_left = 567;
         p.indent_first_line = 1134;
       }),
       CssMode::kDirect, "", "margin-left:1.0cm;text-indent:2.0cm;"},
      {"character units win over lengths", para([](ParagraphProperties& p) {
         p.indent_first_line = 480;
         p.indent_first_line_chars = 200;
       }),
       CssMode::kDirect, "", "text-indent:21.0pt;mso-char-indent-count:2.0;"},
      {"justified, and distributed", para([](ParagraphProperties& p) { p.justification = "both"; }),
       CssMode::kDirect, "", "text-align:justify;text-justify:inter-ideograph;"},
      {"line spacing in percent", para([](ParagraphProperties& p) { p.spacing_line = 360; }),
       CssMode::kDirect, "", "line-height:150%;"},
      {"exact line spacing", para([](ParagraphProperties& p) {
         p.spacing_line = 240;
         p.spacing_line_rule = "exact";
       }),
       CssMode::kDirect, "", "line-height:12.0pt;mso-line-height-rule:exactly;"},
      {"keep with next, page break before", para([](ParagraphProperties& p) {
         p.keep_next = true;
         p.page_break_before = true;
       }),
       CssMode::kDirect, "", "page-break-before:always;page-break-after:avoid;"},
      {"tab stops with leaders", para([](ParagraphProperties& p) {
         p.tabs = {TabStop{"center", "dot", 4153}, TabStop{"left", "", 8306}};
       }),
       CssMode::kDirect, "", "tab-stops:center dotted 207.65pt 415.3pt;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string css;
    AppendParagraphCss(css, c.paragraph, c.mode, 10.5, c.list);
    EXPECT_EQ(css, c.css);
  }
}

}  // namespace
}  // namespace tessarine::convert
