// Equations as MathML: small OMML fragments with the exact markup each
// construct becomes, and a document through the whole writer, whose
// equations must come through the clean-up passes: intact in selective
// mode, as their text in all-clear mode.
#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "convert/docx_package.h"
#include "convert/docx_xml.h"
#include "convert/html_math.h"
#include "convert/word_html_writer.h"
#include "support/regex.h"
#include "test_support.h"
#include "zip_writer.h"

namespace tessarine::convert {
namespace {

using tessarine::testing::TempDir;

constexpr const char* kNamespaces = tessarine::testing::kWordNamespaces;

// --- OMML pieces ---------------------------------------------------------------

std::string R(const std::string& text, const std::string& rpr = "") {
  return "<m:r>" + (rpr.empty() ? "" : "<m:rPr>" + rpr + "</m:rPr>") + "<m:t>" + text +
         "</m:t></m:r>";
}
// An element with content: E("f", E("num", R("a")) + ...).
std::string E(const std::string& name, const std::string& content) {
  return "<m:" + name + ">" + content + "</m:" + name + ">";
}
std::string Val(const std::string& name, const std::string& value) {
  return "<m:" + name + " m:val=\"" + value + "\"/>";
}
const std::string kPlain = Val("sty", "p");

// Appends the equation the way the writer does, from XML text.
std::string Append(const std::string& xml, bool* complete = nullptr) {
  pugi::xml_document doc;
  const support::Status parsed = ParseXmlPart(xml, doc);
  EXPECT_TRUE(parsed.ok()) << parsed.message();
  std::string out;
  const bool whole = AppendEquationHtml(doc.document_element(), out);
  if (complete != nullptr) *complete = whole;
  return out;
}

// The MathML inside <math> of an inline equation holding `omml`.
std::string MathMl(const std::string& omml) {
  const std::string out = Append(std::string("<m:oMath") + kNamespaces + ">" + omml + "</m:oMath>");
  constexpr std::string_view kOpen = "<![if !msEquation]><math>";
  constexpr std::string_view kClose = "</math><![endif]>";
  if (!out.starts_with(kOpen) || !out.ends_with(kClose)) {
    ADD_FAILURE() << "not one inline equation: " << out;
    return out;
  }
  return out.substr(kOpen.size(), out.size() - kOpen.size() - kClose.size());
}

struct Case {
  std::string name;
  std::string omml;
  std::string mathml;
};

void Check(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(MathMl(c.omml), c.mathml);
  }
}

TEST(EquationRuns, CharactersBecomeIdentifiersNumbersOperatorsAndText) {
  Check({
      {"letters one by one, a decimal number, hyphen as minus", R("x=3.14-yz"),
       "<mi>x</mi><mo>=</mo><mn>3.14</mn><mo>\u2212</mo><mi>y</mi><mi>z</mi>"},
      {"markup characters escaped", R("a&lt;b&amp;c"),
       "<mi>a</mi><mo>&lt;</mo><mi>b</mi><mo>&amp;</mo><mi>c</mi>"},
      {"Greek letters, infinity and an arrow", R("\u03B1\u2192\u221E"),
       "<mi>\u03B1</mi><mo>\u2192</mo><mi>\u221E</mi>"},
      {"plain style: a name is one upright identifier", R("sin", kPlain), "<mi>sin</mi>"},
      {"plain style: a single letter needs the variant", R("d", kPlain),
       "<mi mathvariant=\"normal\">d</mi>"},
      {"bold", R("v2", Val("sty", "b")),
       "<mi mathvariant=\"bold\">v</mi><mn mathvariant=\"bold\">2</mn>"},
      {"double-struck", R("R", Val("scr", "double-struck") + kPlain),
       "<mi mathvariant=\"double-struck\">R</mi>"},
      {"normal text keeps its spaces", R("if x ", "<m:nor/>"), "<mtext>if&nbsp;x&nbsp;</mtext>"},
      {"Chinese text inside an equation", R("\u5F53x&gt;0"),
       "<mtext>\u5F53</mtext><mi>x</mi><mo>&gt;</mo><mn>0</mn>"},
      {"spaces are kept as text", R("a  b"), "<mi>a</mi><mtext>&nbsp;&nbsp;</mtext><mi>b</mi>"},
      {"accepted insertions count, deletions do not",
       "<w:ins>" + R("a") + "</w:ins><w:del>" + R("b") + "</w:del>", "<mi>a</mi>"},
  });
}

TEST(EquationStructures, FractionsAndScripts) {
  const std::string a_over_b = E("num", R("a")) + E("den", R("b"));
  Check({
      {"fraction", E("f", a_over_b), "<mfrac><mi>a</mi><mi>b</mi></mfrac>"},
      {"arguments of several tokens are grouped", E("f", E("num", R("a+1")) + E("den", R("2"))),
       "<mfrac><mrow><mi>a</mi><mo>+</mo><mn>1</mn></mrow><mn>2</mn></mfrac>"},
      {"linear fraction", E("f", E("fPr", Val("type", "lin")) + a_over_b),
       "<mrow><mi>a</mi><mo>/</mo><mi>b</mi></mrow>"},
      {"skewed fraction", E("f", E("fPr", Val("type", "skw")) + a_over_b),
       "<mfrac bevelled=\"true\"><mi>a</mi><mi>b</mi></mfrac>"},
      {"fraction without bar", E("f", E("fPr", Val("type", "noBar")) + a_over_b),
       "<mfrac linethickness=\"0\"><mi>a</mi><mi>b</mi></mfrac>"},
      {"empty denominator stays a placeholder", E("f", E("num", R("a")) + "<m:den/>"),
       "<mfrac><mi>a</mi><mrow></mrow></mfrac>"},
      {"subscript", E("sSub", E("e", R("x")) + E("sub", R("i"))),
       "<msub><mi>x</mi><mi>i</mi></msub>"},
      {"superscript", E("sSup", E("e", R("x")) + E("sup", R("2"))),
       "<msup><mi>x</mi><mn>2</mn></msup>"},
      {"both", E("sSubSup", E("e", R("x")) + E("sub", R("i")) + E("sup", R("2"))),
       "<msubsup><mi>x</mi><mi>i</mi><mn>2</mn></msubsup>"},
      {"scripts before", E("sPre", E("sub", R("1")) + E("sup", R("2")) + E("e", R("X"))),
       "<mmultiscripts><mi>X</mi><mprescripts/><mn>1</mn><mn>2</mn></mmultiscripts>"},
  });
}

TEST(EquationStructures, RadicalsMatricesAndDelimiters) {
  const std::string identity =
      E("mr", E("e", R("1")) + E("e", R("0"))) + E("mr", E("e", R("0")) + E("e", R("1")));
  Check({
      {"square root, degree hidden",
       E("rad", E("radPr", "<m:degHide m:val=\"1\"/>") + "<m:deg/>" + E("e", R("x+1"))),
       "<msqrt><mi>x</mi><mo>+</mo><mn>1</mn></msqrt>"},
      {"root with a degree", E("rad", E("deg", R("3")) + E("e", R("x"))),
       "<mroot><mi>x</mi><mn>3</mn></mroot>"},
      {"matrix", E("m", identity),
       "<mtable><mtr><mtd><mn>1</mn></mtd><mtd><mn>0</mn></mtd></mtr>"
       "<mtr><mtd><mn>0</mn></mtd><mtd><mn>1</mn></mtd></mtr></mtable>"},
      {"matrix in brackets, columns aligned left",
       E("d", E("dPr", Val("begChr", "[") + Val("endChr", "]")) +
                  E("e", E("m", E("mPr", E("mcs", E("mc", E("mcPr", Val("count", "2") +
                                                                        Val("mcJc", "left"))))) +
                                    identity))),
       "<mrow><mo>[</mo><mtable columnalign=\"left left\"><mtr><mtd><mn>1</mn></mtd><mtd><mn>0</mn>"
       "</mtd></mtr><mtr><mtd><mn>0</mn></mtd><mtd><mn>1</mn></mtd></mtr></mtable><mo>]</mo></"
       "mrow>"},
      {"parentheses by default", E("d", E("e", R("x"))),
       "<mrow><mo>(</mo><mi>x</mi><mo>)</mo></mrow>"},
      {"own characters, separator, no closing one",
       E("d", E("dPr", Val("begChr", "{") + Val("sepChr", ",") + Val("endChr", "")) +
                  E("e", R("a+b")) + E("e", R("c"))),
       "<mrow><mo>{</mo><mrow><mi>a</mi><mo>+</mo><mi>b</mi></mrow><mo>,</mo><mi>c</mi></mrow>"},
      {"default separator, delimiters that do not grow",
       E("d", E("dPr", Val("grow", "0")) + E("e", R("a")) + E("e", R("b"))),
       "<mrow><mo stretchy=\"false\">(</mo><mi>a</mi><mo stretchy=\"false\">|</mo><mi>b</mi>"
       "<mo stretchy=\"false\">)</mo></mrow>"},
  });
}

TEST(EquationStructures, LargeOperators) {
  const std::string sum = Val("chr", "\u2211");
  Check({
      {"sum with limits above and below",
       E("nary", E("naryPr", sum + Val("limLoc", "undOvr")) + E("sub", R("i=1")) +
                     E("sup", R("n")) + E("e", E("sSub", E("e", R("x")) + E("sub", R("i"))))),
       "<mrow><munderover><mo>\u2211</mo><mrow><mi>i</mi><mo>=</mo><mn>1</mn></mrow><mi>n</mi>"
       "</munderover><msub><mi>x</mi><mi>i</mi></msub></mrow>"},
      {"integral by default, limits beside it",
       E("nary", E("sub", R("0")) + E("sup", R("1")) + E("e", R("x"))),
       "<mrow><msubsup><mo>\u222B</mo><mn>0</mn><mn>1</mn></msubsup><mi>x</mi></mrow>"},
      {"both limits hidden",
       E("nary", E("naryPr", sum + "<m:subHide/><m:supHide m:val=\"on\"/>") + "<m:sub/><m:sup/>" +
                     E("e", R("k"))),
       "<mrow><mo>\u2211</mo><mi>k</mi></mrow>"},
      {"upper limit hidden",
       E("nary",
         E("naryPr", sum + "<m:supHide/>") + E("sub", R("k")) + "<m:sup/>" + E("e", R("k"))),
       "<mrow><munder><mo>\u2211</mo><mi>k</mi></munder><mi>k</mi></mrow>"},
  });
}

TEST(EquationStructures, AccentsBarsGroupsLimitsAndFunctions) {
  Check({
      {"accent: circumflex by default, drawn from its spacing form", E("acc", E("e", R("x"))),
       "<mover accent=\"true\"><mi>x</mi><mo>\u02C6</mo></mover>"},
      {"vector arrow", E("acc", E("accPr", Val("chr", "\u20D7")) + E("e", R("v"))),
       "<mover accent=\"true\"><mi>v</mi><mo>\u2192</mo></mover>"},
      {"overbar", E("bar", E("barPr", Val("pos", "top")) + E("e", R("x"))),
       "<mover accent=\"true\"><mi>x</mi><mo>\u00AF</mo></mover>"},
      {"underbar by default", E("bar", E("e", R("x"))),
       "<munder accentunder=\"true\"><mi>x</mi><mo>_</mo></munder>"},
      {"group character: brace below by default", E("groupChr", E("e", R("a+b"))),
       "<munder><mrow><mi>a</mi><mo>+</mo><mi>b</mi></mrow><mo>\u23DF</mo></munder>"},
      {"group character above",
       E("groupChr", E("groupChrPr", Val("chr", "\u23DE") + Val("pos", "top")) + E("e", R("a"))),
       "<mover><mi>a</mi><mo>\u23DE</mo></mover>"},
      {"upper limit", E("limUpp", E("e", R("x")) + E("lim", R("k"))),
       "<mover><mi>x</mi><mi>k</mi></mover>"},
      {"function with a limit below its name",
       E("func", E("fName", E("limLow", E("e", R("lim", kPlain)) + E("lim", R("n\u2192\u221E")))) +
                     E("e", R("f"))),
       "<mrow><munder><mi>lim</mi><mrow><mi>n</mi><mo>\u2192</mo><mi>\u221E</mi></mrow></munder>"
       "<mo>\u2061</mo><mi>f</mi></mrow>"},
      {"function name without a style is upright", E("func", E("fName", R("sin")) + E("e", R("x"))),
       "<mrow><mi>sin</mi><mo>\u2061</mo><mi>x</mi></mrow>"},
  });
}

TEST(EquationStructures, BoxesArraysAndPhantoms) {
  Check({
      {"box groups", E("box", E("e", R("a+b"))), "<mrow><mi>a</mi><mo>+</mo><mi>b</mi></mrow>"},
      {"border box", E("borderBox", E("e", R("E"))),
       "<menclose notation=\"box\"><mi>E</mi></menclose>"},
      {"border box, sides hidden, struck through",
       E("borderBox", E("borderBoxPr", "<m:hideLeft/><m:hideRight/><m:strikeH/>") + E("e", R("E"))),
       "<menclose notation=\"top bottom horizontalstrike\"><mi>E</mi></menclose>"},
      {"equation array", E("eqArr", E("e", R("a")) + E("e", R("b"))),
       "<mtable><mtr><mtd><mi>a</mi></mtd></mtr><mtr><mtd><mi>b</mi></mtd></mtr></mtable>"},
      {"equation array aligned at =",
       E("eqArr", E("e", R("x") + R("=1", "<m:aln/>")) + E("e", R("yy") + R("=2", "<m:aln/>"))),
       "<mtable columnalign=\"right left\"><mtr><mtd><mi>x</mi></mtd><mtd><mo>=</mo><mn>1</mn>"
       "</mtd></mtr><mtr><mtd><mi>y</mi><mi>y</mi></mtd><mtd><mo>=</mo><mn>2</mn></mtd></mtr>"
       "</mtable>"},
      {"hidden phantom", E("phant", E("phantPr", Val("show", "0")) + E("e", R("x"))),
       "<mphantom><mi>x</mi></mphantom>"},
  });
}

TEST(EquationBlocks, AParagraphEquationIsOneDisplayBlockPerLine) {
  const std::string xml = std::string("<m:oMathPara") + kNamespaces + ">" +
                          E("oMathParaPr", Val("jc", "center")) + E("oMath", R("a")) +
                          E("oMath", R("b")) + "</m:oMathPara>";
  EXPECT_EQ(Append(xml),
            "<![if !msEquation]><math display=\"block\"><mi>a</mi></math><![endif]>"
            "<![if !msEquation]><math display=\"block\"><mi>b</mi></math><![endif]>");
}

size_t Count(std::string_view text, std::string_view what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

TEST(EquationBlocks, NestingTooDeepIsCutShortButStaysWellFormed) {
  std::string omml = R("x");
  for (int i = 0; i < 300; ++i) omml = E("f", E("num", omml) + E("den", R("2")));
  bool complete = true;
  const std::string out =
      Append(std::string("<m:oMath") + kNamespaces + ">" + omml + "</m:oMath>", &complete);
  EXPECT_FALSE(complete);
  EXPECT_GT(Count(out, "<mfrac>"), 20u);
  EXPECT_EQ(Count(out, "<mfrac>"), Count(out, "</mfrac>"));
  EXPECT_EQ(Count(out, "<mrow>"), Count(out, "</mrow>"));
  EXPECT_TRUE(out.ends_with("</math><![endif]>"));
}

// --- Through the writer and the clean-up passes --------------------------------

std::string RenderBody(const std::string& body) {
  TempDir dir;
  const std::string path =
      tessarine::testing::DocxBuilder().Body(body).Write(dir.File("math.docx"));
  auto package = DocxPackage::Open(path);
  EXPECT_TRUE(package.ok()) << package.message();
  if (!package.ok()) return {};
  return RenderWordHtml(*package, "math.files", nullptr);
}

std::string Replace(const std::string& text, std::string_view pattern,
                    std::string_view replacement) {
  auto replaced = support::RegexpReplace(text, pattern, replacement);
  EXPECT_TRUE(replaced.ok()) << replaced.message();
  return replaced.value_or(text);
}

std::string Between(const std::string& text, std::string_view from, std::string_view to) {
  const size_t start = text.find(from);
  if (start == std::string::npos) return {};
  const size_t end = text.find(to, start);
  return end == std::string::npos ? std::string() : text.substr(start, end + to.size() - start);
}

// A bold word before an inline equation, then a display equation on a
// paragraph of its own.
const std::string kEquationDocument =
    "<w:p><w:r><w:rPr><w:b/></w:rPr><w:t xml:space=\"preserve\">Energy </w:t></w:r>" +
    E("oMath", R("E=m") + E("sSup", E("e", R("c")) + E("sup", R("2")))) +
    "<w:r><w:t xml:space=\"preserve\"> holds.</w:t></w:r></w:p><w:p>" +
    E("oMathPara",
      E("oMath", E("f", E("num", R("\u03C0")) + E("den", R("4"))) + R("=") +
                     E("nary", E("sub", R("0")) + E("sup", R("1")) +
                                   E("e", E("rad", E("radPr", "<m:degHide/>") + "<m:deg/>" +
                                                       E("e", R("1-x"))))))) +
    "</w:p>";

TEST(EquationsInWordHtml, EquationsStandInTheirParagraphsOutsideRunFormatting) {
  const std::string html = RenderBody(kEquationDocument);
  // The bold run is closed before the equation, so that its weight does not
  // reach the MathML, and the text after it follows on the same line.
  EXPECT_NE(html.find("Energy </span></b><![if !msEquation]><math><mi>E</mi><mo>=</mo><mi>m</mi>"
                      "<msup><mi>c</mi><mn>2</mn></msup></math><![endif]><span lang=EN-US> holds."),
            std::string::npos)
      << html;
  EXPECT_NE(html.find("><![if !msEquation]><math display=\"block\"><mfrac><mi>\u03C0</mi>"
                      "<mn>4</mn></mfrac><mo>=</mo><mrow><msubsup><mo>\u222B</mo>"),
            std::string::npos)
      << html;
  // A paragraph holding only an equation is not empty.
  EXPECT_EQ(html.find("<o:p>&nbsp;</o:p>"), std::string::npos);
}

// Selective mode removes comments, Word-only blocks and (by flag) the VML
// fallbacks; the equation blocks are none of these.
TEST(EquationsInWordHtml, SelectiveCleanUpLeavesEquationsIntact) {
  const std::string html = RenderBody(kEquationDocument);
  const std::string inline_math = Between(html, "<math>", "</math>");
  const std::string display_math = Between(html, "<math display", "</math>");
  ASSERT_FALSE(inline_math.empty());
  ASSERT_FALSE(display_math.empty());
  for (const bool keep_vml_fallback : {true, false}) {
    SCOPED_TRACE(keep_vml_fallback ? "Opt1VML on" : "Opt1VML off");
    std::string body = Replace(html, "<!--\\[if mso[^>]*?>([^a]|a)*?<!\\[endif\\]-->", "");
    body = Replace(body, "<!--([^a]|a)*?-->", "");
    body = keep_vml_fallback ? Replace(body, "<!\\[if !vml\\]>(([^a]|a)+?)<!\\[endif\\]>", "$1")
                             : Replace(body, "<!\\[if !vml\\]>([^a]|a)+?<!\\[endif\\]>", "");
    body = Replace(body, "(<\\w+[^>]*?)\\slang=[\\w\\-]+([^>]*?>)", "$1$2");
    EXPECT_EQ(Between(body, "<math>", "</math>"), inline_math);
    EXPECT_EQ(Between(body, "<math display", "</math>"), display_math);
  }
}

// All-clear mode keeps only p, br, sub and sup tags: every MathML tag goes,
// the equation's characters stay in reading order.
TEST(EquationsInWordHtml, AllClearCleanUpLeavesTheEquationText) {
  const std::string html = RenderBody(kEquationDocument);
  const std::string body =
      Replace(Between(html, "<body", "</body>"), "<(?!(p|/p|br|sub|sup|/sub|/sup))+?[^>]*?>", "");
  EXPECT_NE(body.find("Energy E=mc2 holds."), std::string::npos) << body;
  EXPECT_NE(body.find("\u03C04=\u222B011\u2212x"), std::string::npos) << body;
  EXPECT_EQ(body.find("math"), std::string::npos);
  EXPECT_EQ(body.find("msEquation"), std::string::npos);
}

}  // namespace
}  // namespace tessarine::convert
