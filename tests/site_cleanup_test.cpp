#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "cleanup/cleanup.h"
#include "site/sections.h"
#include "support/regex.h"
#include "support/text_file.h"
#include "test_support.h"

namespace tessarine::cleanup {
namespace {

using site::Section;
using site::SplitSections;

template <typename T>
T Ok(support::Result<T> result) {
  EXPECT_TRUE(result.ok()) << result.message();
  return result.ok() ? std::move(result).value() : T();
}

size_t Count(std::string_view text, std::string_view pattern) {
  return Ok(support::RegexpExecute(pattern, text)).size();
}

// The body of a real Word HTML sample, decoded and cut out as the build does.
const std::string& SampleBody(const std::string& relative) {
  static std::vector<std::pair<std::string, std::string>> loaded;
  for (const auto& [name, body] : loaded) {
    if (name == relative) return body;
  }
  const std::string html =
      support::ReadTextFile((testing::SharedDir() / "wordhtml-samples" / relative).string());
  EXPECT_FALSE(html.empty()) << relative;
  std::string body = Ok(ExtractBody(Ok(ParseHead(html)).rest));
  loaded.emplace_back(relative, std::move(body));
  return loaded.back().second;
}

// Equation images, VML pictures with fallbacks, text boxes, smart tags.
constexpr char kFormulaSample[] = "cn-probability-formula/index.htm";
// 49 paragraphs of Word's own table of contents.
constexpr char kTocSample[] = "cn-jahhan-doc-utf8/index.htm";
constexpr char kVmlFallback[] = R"(<!\[if !vml\]>(?:[^a]|a)*?<!\[endif\]>)";

CleanupOptions Mode(OptimizeMode mode) {
  CleanupOptions options;
  options.mode = mode;
  return options;
}

std::string Clean(std::string_view body, const CleanupOptions& options) {
  return Ok(CleanBody(std::string(body), options));
}

// --- Flags: each one changes what it should and nothing else ---------------

// One difference a flag may make where the outputs without and with it part:
// `without` matches the next piece of the first, `with` the next piece of the
// second; either may be "" for a piece only one side has.
struct Edit {
  std::string without;
  std::string with;
};

size_t AnchoredMatch(const std::string& pattern, std::string_view text) {
  support::RegexMatcher matcher("^(?:" + pattern + ")", text);
  return matcher.Next() ? matcher.match().value.size() : std::string_view::npos;
}

// Walks both outputs side by side. Where they part, the difference must be
// explained by one of `edits`, tried at the parting point or at one of the
// few tag starts just before it (a removed element can share its start tag
// with the next one). Returns the first unexplained difference, or "".
std::string UnexplainedDifference(std::string_view without, std::string_view with,
                                  const std::vector<Edit>& edits) {
  constexpr int kTagsBack = 4;
  size_t i = 0;
  size_t j = 0;
  size_t synced = 0;  // i at the end of the last edit: no backing up past it
  while (i < without.size() || j < with.size()) {
    if (i < without.size() && j < with.size() && without[i] == with[j]) {
      ++i;
      ++j;
      continue;
    }
    // A difference inside a tag is a difference of the whole tag.
    const size_t open = without.rfind('<', i == 0 ? 0 : i - 1);
    const bool in_tag = open != std::string_view::npos && open >= synced && open < i &&
                        without.find('>', open) >= i;
    std::vector<size_t> starts;
    if (!in_tag) starts.push_back(i);
    for (size_t k = i; k > synced && starts.size() <= kTagsBack;) {
      k = without.rfind('<', k - 1);
      if (k == std::string_view::npos || k < synced) break;
      starts.push_back(k);
    }
    bool explained = false;
    for (size_t start = 0; start < starts.size() && !explained; ++start) {
      const size_t back = i - starts[start];
      for (const Edit& edit : edits) {
        const size_t a = AnchoredMatch(edit.without, without.substr(i - back));
        const size_t b = AnchoredMatch(edit.with, with.substr(j - back));
        if (a == std::string_view::npos || b == std::string_view::npos || a + b == 0) continue;
        i = i - back + a;
        j = j - back + b;
        synced = i;
        explained = true;
        break;
      }
    }
    if (!explained) {
      return "without: " + std::string(without.substr(i, 120)) +
             "\nwith:    " + std::string(with.substr(j, 120));
    }
  }
  return "";
}

constexpr char kImage[] = "<img[^>]*>";
constexpr char kCentredImage[] = R"(<img style="vertical-align:middle;"[^>]*>)";

struct FlagCase {
  bool CleanupOptions::*flag;
  OptimizeMode mode;
  bool CleanupOptions::*base;  // a flag on in both runs, or none
  std::vector<Edit> edits;
};

TEST(CleanupFlags, EachFlagChangesOnlyWhatItShouldOnRealWordHtml) {
  TESSARINE_SKIP_WITHOUT_SHARED_INPUTS();
  using O = CleanupOptions;
  constexpr OptimizeMode kOne = OptimizeMode::kSelective;
  constexpr OptimizeMode kTwo = OptimizeMode::kAllClear;
  const std::vector<FlagCase> cases = {
      // The fallback's picture, in its layout spans and tables, stays.
      {&O::Opt1VML,
       kOne,
       nullptr,
       {{"", kImage},
        {"", R"(</?(?:span|table|tr|td)\b[^>]*>)"},
        {"", R"((?:&nbsp;|\s+)(?=<))"},
        {"&nbsp;", kImage}}},
      {&O::Opt1Absolute, kOne, nullptr, {{R"(<[^>]*position:\s*absolute[^>]*>)", "<[^>]*>"}}},
      // A paragraph holding a picture is not empty: the tags allowed here
      // exclude img, so a lost picture shows as an unexplained difference.
      {&O::Opt1Space, kOne, &O::Opt1VML, {{R"(<p\s[^>]*>(?:<(?!img)[^>]*>|&nbsp;)*?</p>)", ""}}},
      {&O::Opt1EQ, kOne, &O::Opt1VML, {{"<sub><img[^>]*></sub>", kCentredImage}}},
      {&O::Opt1Margin, kOne, nullptr, {{R"(<[^>]*left:\s*-[0-9.]+[^>]*>)", "<[^>]*left:0[^>]*>"}}},
      {&O::Opt2Image, kTwo, nullptr, {{"", kImage}, {"&nbsp;", kImage}}},
      {&O::Opt2Table,
       kTwo,
       nullptr,
       {{"", R"(</?(?:table|tr|td|th)\b[^>]*>(?:&nbsp;(?=</t[dh]>))?)"}}},
      {&O::Opt2EQ,
       kTwo,
       nullptr,
       {{"<sub></sub>", kCentredImage}, {"", kImage}, {"&nbsp;", kImage}}},
      {&O::Opt2EQ, kTwo, &O::Opt2Image, {{"<sub><img[^>]*></sub>", kCentredImage}}},
      {&O::Opt2Indent, kTwo, nullptr, {{R"(<p\b[^>]*>)", R"(<p style="text-indent:2em;"[^>]*>)"}}},
      {&O::Opt2PtoBR,
       kTwo,
       nullptr,
       {{R"(<p\b[^>]*>&nbsp;</p>)", "<br>"}, {R"(<p\b[^>]*>)", ""}, {"</p>", "<br>"}}},
  };
  const std::string& body = SampleBody(kFormulaSample);
  for (size_t n = 0; n < cases.size(); ++n) {
    const FlagCase& c = cases[n];
    SCOPED_TRACE("case " + std::to_string(n));
    CleanupOptions options = Mode(c.mode);
    if (c.base != nullptr) options.*c.base = true;
    const std::string without = Clean(body, options);
    options.*c.flag = true;
    const std::string with = Clean(body, options);
    EXPECT_NE(without, with) << "the sample does not exercise the flag";
    EXPECT_EQ(UnexplainedDifference(without, with, c.edits), "");
  }
}

TEST(CleanupFlags, FlagsOfTheOtherModeChangeNothing) {
  TESSARINE_SKIP_WITHOUT_SHARED_INPUTS();
  const std::string& body = SampleBody(kFormulaSample);
  CleanupOptions selective_flags = Mode(OptimizeMode::kSelective);
  selective_flags.Opt1VML = selective_flags.Opt1Absolute = selective_flags.Opt1EQ =
      selective_flags.Opt1Margin = selective_flags.Opt1Space = true;
  CleanupOptions clear_flags = Mode(OptimizeMode::kSelective);
  clear_flags.Opt2Image = clear_flags.Opt2Table = clear_flags.Opt2EQ = clear_flags.Opt2Indent =
      clear_flags.Opt2PtoBR = true;

  EXPECT_EQ(Clean(body, clear_flags), Clean(body, Mode(OptimizeMode::kSelective)));
  selective_flags.mode = clear_flags.mode = OptimizeMode::kAllClear;
  EXPECT_EQ(Clean(body, selective_flags), Clean(body, Mode(OptimizeMode::kAllClear)));
  selective_flags.mode = clear_flags.mode = OptimizeMode::kNone;
  EXPECT_EQ(Clean(body, selective_flags), body);
  EXPECT_EQ(Clean(body, clear_flags), body);
}

// --- Modes on real Word HTML ---------------------------------------------------

TEST(CleanupModes, SelectiveModeLeavesNoWordOnlyMarkup) {
  TESSARINE_SKIP_WITHOUT_SHARED_INPUTS();
  CleanupOptions options = Mode(OptimizeMode::kSelective);
  options.Opt1VML = true;
  const std::string& body = SampleBody(kFormulaSample);
  const std::string out = Clean(body, options);
  // Word's other conditional markers ("<![if !supportLists]>") stay: a browser
  // ignores them.
  EXPECT_EQ(
      Count(out, R"(<!--|<!\[if !vml|<o:p>|</?st1:|\slang=|v:shapes=|style=''|<span></span>)"), 0u);
  EXPECT_EQ(Count(out, R"(<[^>]*style=[^>]*mso-[^>]*>)"), 0u);
  // Every picture Word wrote as VML with a fallback is the plain fallback.
  size_t fallback_pictures = 0;
  for (const auto& block : Ok(support::RegexpExecute(kVmlFallback, body))) {
    fallback_pictures += Count(block.value, "<img");
  }
  EXPECT_EQ(Count(out, "<img"), fallback_pictures);
  EXPECT_GT(Count(out, "<img"), 500u);
  EXPECT_GT(Count(out, "<table"), 0u);
}

TEST(CleanupModes, AllClearWithoutFlagsKeepsOnlyParagraphsBreaksAndScripts) {
  TESSARINE_SKIP_WITHOUT_SHARED_INPUTS();
  const std::string& body = SampleBody(kFormulaSample);
  const std::string out = Clean(body, Mode(OptimizeMode::kAllClear));
  const auto tags = Ok(support::RegexpExecute("<[^>]*>", out));
  ASSERT_FALSE(tags.empty());
  for (const auto& tag : tags) {
    EXPECT_TRUE(Ok(support::RegexpTest("^</?(p|br|sub|sup)", tag.value))) << tag.value;
  }
  EXPECT_EQ(Count(out, "</?(img|table|td|span|a|b)\\b|class=|style=|lang="), 0u);
  // Text stays: a run of text that sat between spans and links.
  EXPECT_NE(out.find("m+n"), std::string::npos);
}

TEST(CleanupModes, NoOptimisationTouchesOnlyTheHomePage) {
  TESSARINE_SKIP_WITHOUT_SHARED_INPUTS();
  const std::string body = SampleBody(kTocSample);
  const CleanupOptions options = Mode(OptimizeMode::kNone);
  // Word's contents paragraphs, cut out here by plain search.
  std::string expected = body;
  for (size_t at = expected.find("<p class=MsoToc"); at != std::string::npos;
       at = expected.find("<p class=MsoToc", at)) {
    expected.erase(at, expected.find("</p>", at) + 4 - at);
  }
  ASSERT_NE(expected, body);
  EXPECT_EQ(Ok(CleanPageBody(body, true, options)), expected);
  EXPECT_EQ(Ok(CleanPageBody(body, false, options)), body);
}

TEST(CleanupModes, HomePageStepsRunInEveryMode) {
  TESSARINE_SKIP_WITHOUT_SHARED_INPUTS();
  const std::string body = SampleBody(kTocSample);
  for (OptimizeMode mode : {OptimizeMode::kSelective, OptimizeMode::kAllClear}) {
    const std::string home = Ok(CleanPageBody(body, true, Mode(mode)));
    EXPECT_EQ(Count(home, "MsoToc"), 0u);
    // Without the home-page step the contents text would still be there.
    EXPECT_LT(home.size(), Clean(body, Mode(mode)).size());
  }
}

// --- Single passes ---------------------------------------------------------------

TEST(CleanupPasses, SmallInputs) {
  CleanupOptions selective = Mode(OptimizeMode::kSelective);
  selective.Opt1Space = true;
  selective.Opt1VML = true;
  CleanupOptions eq_only = Mode(OptimizeMode::kAllClear);
  eq_only.Opt2EQ = true;
  CleanupOptions indent_br = Mode(OptimizeMode::kAllClear);
  indent_br.Opt2Indent = indent_br.Opt2PtoBR = true;
  const struct {
    const char* what;
    CleanupOptions options;
    const char* in;
    const char* out;
  } cases[] = {
      {"mso- declarations around a colour", selective,
       "<p class=MsoNormal><span style='mso-a:1;color:red;mso-b-c:2'>x</span></p>",
       "<p class=MsoNormal><span style='color:red;'>x</span></p>"},
      {"only mso- declarations", selective,
       "<p class=MsoNormal><span style='mso-a:1;\r\nmso-b:2'>x</span></p>",
       "<p class=MsoNormal><span>x</span></p>"},
      {"empty paragraph, picture paragraph", selective,
       "<p class=MsoNormal><span>&nbsp;</span></p><p class=MsoNormal><span lang=EN-US>"
       "<![if !vml]><img width=1 src=\"a.gif\" v:shapes=\"_x0000_i1025\"><![endif]></span></p>",
       "<p class=MsoNormal><span><img width=1 src=\"a.gif\"></span></p>"},
      {"equation in a subscript, no picture kept", eq_only,
       "<p class=MsoNormal>a<sub><img src=x.gif></sub><img src=y.gif><span>b</span></p>",
       R"(<p>a<img style="vertical-align:middle;" src=x.gif><img src=y.gif>b</p>)"},
      {"MathML kept with the equation option, dropped without it", eq_only,
       "<p class=MsoNormal><![if !msEquation]><math><mrow><mi>x</mi><mo>=</mo>"
       "<mfrac><mi>b</mi><mn>2</mn></mfrac></mrow></math><![endif]><meta x></p>",
       "<p><math><mrow><mi>x</mi><mo>=</mo><mfrac><mi>b</mi><mn>2</mn></mfrac></mrow></math></p>"},
      {"MathML text only", Mode(OptimizeMode::kAllClear),
       "<p><math><mi>x</mi><mo>=</mo><mn>2</mn></math></p>", "<p>x=2</p>"},
      {"indent and line breaks", indent_br, "<p class=MsoNormal>a</p>\r\n<p>b</p><p></p>",
       "a<br>\r\nb<br><br>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Clean(c.in, c.options), c.out) << c.what;
  }
  EXPECT_EQ(Ok(TidyHeaderFooter("<p class=MsoHeader style='mso-x:y' lang=EN-US></p>")),
            "<p class=MsoHeader >&nbsp;</p>");
}

// The shortcuts of RunCleanupPass and CleanBody (tag-by-tag rounds,
// skipping a text without the pass's needle, one spare string for every
// pass) must give exactly what the plain services give:
// on sample bodies, on the pages of one (where most lack the needles), and on
// a tag whose mso- runs take several rounds beside text holding ">".
TEST(CleanupPasses, ShortcutsGiveWhatThePlainServicesGive) {
  TESSARINE_SKIP_WITHOUT_SHARED_INPUTS();
  std::vector<std::string> texts = {
      "<p class=x style='mso-a:1;b:1;mso-c:2;mso-d:3;e:1;mso-f:4'>a > b<span\r\n"
      "style='mso-g:1;h:2;position:absolute;left:-3pt'>c</span><td  a  b\r\n  c>d</td>>",
      // The marker in any case, outside a style, and in a tag the pattern
      // reaches only through a later style attribute.
      "<P CLASS=MSO-X STYLE='MSO-A:1;B:2;Mso-C:3'>x</P><p title='mso-z:1;' style='mso-q:1;r:2'>"
      "<span class=mso-b>y</span><img alt=\"a>b\" style=\"mso-w:1;MSO-V:2\">"};
  for (const char* sample : {kFormulaSample, kTocSample, "cn-lingfangzeng-gb2312/publication.htm",
                             "clip-ckeditor4/text-boxes.html"}) {
    texts.push_back(SampleBody(sample));
  }
  for (Section& page : Ok(SplitSections(SampleBody(kTocSample), "8", "toc"))) {
    texts.push_back(std::move(page.Body));
  }
  std::map<std::string_view, size_t> changed;
  for (const std::string& body : texts) {
    for (OptimizeMode mode : {OptimizeMode::kSelective, OptimizeMode::kAllClear}) {
      CleanupOptions options = Mode(mode);
      options.Opt1Absolute = options.Opt1Margin = true;
      std::string text = body;
      for (const CleanupPass& pass : CleanBodyPasses(options)) {
        std::string next = Ok(RunCleanupPass(text, pass));
        const std::string plain =
            pass.rounds == PassRounds::kOnce
                ? Ok(support::RegexpReplace(text, pass.pattern, pass.replacement))
                : Ok(support::RegexpReplaceRepeat(text, pass.pattern, pass.replacement));
        EXPECT_EQ(next, plain) << pass.name;
        if (next != text) ++changed[pass.name];
        text = std::move(next);
      }
      // The whole list in one run, each pass over the last one's string.
      EXPECT_EQ(Ok(CleanBody(body, options)), text);
    }
  }
  // The comparison saw every shortcut at work.
  for (std::string_view name : {"absolute positioning", "negative left offsets",
                                "mso- declarations ('...')", "white-space runs in tags"}) {
    EXPECT_GE(changed[name], 2u) << name;
  }
}

// A body that is not valid UTF-8 fails the clean-up with the engine's
// message, whichever pass meets it first; it is never read unchecked.
TEST(CleanupPasses, InvalidUtf8FailsNamingTheFault) {
  for (OptimizeMode mode : {OptimizeMode::kSelective, OptimizeMode::kAllClear}) {
    auto cleaned = CleanBody("<p style='mso-a:1'>a\xC3(</p>", Mode(mode));
    ASSERT_FALSE(cleaned.ok());
    EXPECT_NE(cleaned.message().find("UTF-8"), std::string::npos) << cleaned.message();
  }
  EXPECT_FALSE(TidyHeaderFooter("<p>\xFF</p>").ok());
}

TEST(CleanupPasses, ImageIsKeptOnceWhateverTheImageAndEquationFlags) {
  for (bool image : {false, true}) {
    for (bool eq : {false, true}) {
      CleanupOptions options = Mode(OptimizeMode::kAllClear);
      options.Opt2Image = image;
      options.Opt2EQ = eq;
      std::string filter;
      for (const CleanupPass& pass : CleanBodyPasses(options)) {
        if (pass.pattern.starts_with("<(?!(")) filter = pass.pattern;
      }
      EXPECT_EQ(Count(filter, R"(\|img)"), image || eq ? 1u : 0u) << filter;
    }
  }
}

// --- Page width and blank bodies -------------------------------------------------

TEST(WrapPageWidth, WidthMarginAndEffect) {
  const PageSetup a4{"595.3pt 841.9pt", "72.0pt 90.0pt 72.0pt 90.0pt", "595.3", "90.0", "90.0"};
  const std::string start =
      R"(<table border="0" cellpadding="0" cellspacing="0" class="pagewidth" )"
      R"(style="overflow-x:hidden;word-break:break-all;)";
  const std::string end = "\"><tr><td>P</td></tr></table>";
  EXPECT_EQ(WrapPageWidth("P", {true, false, false}, a4), start + "width:415.3pt;" + end);
  EXPECT_EQ(WrapPageWidth("P", {true, true, false}, a4),
            start + "width:595.3pt;padding:72.0pt 90.0pt 72.0pt 90.0pt;" + end);
  EXPECT_EQ(WrapPageWidth("P", {true, false, true}, a4),
            R"(<table cellspacing=0 cellpadding=0 class="pageeffect"><tr><td class="pageeffect">)" +
                start + "width:415.3pt;" + end + "</td></table>");

  EXPECT_EQ(WrapPageWidth("P", {false, true, true}, a4), "P");
  PageSetup cm = a4;
  cm.page_width = "21.0cm";
  EXPECT_EQ(WrapPageWidth("P", {true, true, true}, cm), "P");
  PageSetup no_margins = a4;
  no_margins.left_margin = "";
  EXPECT_EQ(WrapPageWidth("P", {true, false, false}, no_margins), "P");
}

TEST(WrapPageWidth, ShortestDecimal) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {595.3 - 90 - 90, "415.3"},
      {612.0 - 72 - 72, "468"},
      {0.1 + 0.2, "0.3"},
      {-12.5, "-12.5"},
      {0.00001, "0.00001"},
      {1e20, "100000000000000000000"},
      {0, "0"},
      {123456789.123456789, "123456789.123457"},
  };
  for (const auto& c : cases) EXPECT_EQ(ShortestDecimal(c.value), c.text) << c.value;
}

TEST(EndOpenComment, OnlyAnOpenerWithoutItsCloseGoes) {
  const std::pair<std::string, std::string> cases[] = {
      {"a<!-- x -->b", "a<!-- x -->b"},
      {"a<!--[if supportFields]>PAGE<span>1</span>", "aPAGE<span>1</span>"},
      {"a<!-- x -->b<!-- y", "a<!-- x -->b y"},
      // An opener inside the open comment would open again once the first goes.
      {"a<!-- one <!-- two", "a one  two"},
      {"<!--", ""},
      {"no comment", "no comment"},
  };
  for (const auto& [html, expected] : cases) EXPECT_EQ(EndOpenComment(html), expected) << html;
}

TEST(IsBlankHtml, WhiteSpaceIsBlankEntitiesAreNot) {
  TESSARINE_SKIP_WITHOUT_SHARED_INPUTS();
  EXPECT_TRUE(Ok(IsBlankHtml("")));
  EXPECT_TRUE(Ok(IsBlankHtml("<p class=MsoNormal>\r\n</p>")));
  EXPECT_TRUE(Ok(IsBlankHtml("<p\r\nclass=MsoNormal><![if !vml]>\t <![endif]></p>")));
  EXPECT_FALSE(Ok(IsBlankHtml("<p class=MsoNormal>&nbsp;</p>")));
  EXPECT_FALSE(Ok(IsBlankHtml(SampleBody(kFormulaSample))));
}

}  // namespace
}  // namespace tessarine::cleanup
