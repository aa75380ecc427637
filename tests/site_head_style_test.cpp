#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "cleanup/head_style.h"
#include "support/regex.h"
#include "support/text_file.h"
#include "test_support.h"

namespace tessarine::cleanup {
namespace {

using testing::FixturesDir;
using testing::SharedDir;
using testing::TempDir;

template <typename T>
T Ok(support::Result<T> result) {
  EXPECT_TRUE(result.ok()) << result.message();
  return result.ok() ? std::move(result).value() : T();
}

bool Has(std::string_view text, std::string_view pattern) {
  return Ok(support::RegexpTest(pattern, text));
}

std::string WithComment(std::string_view sheet) {
  return std::string(kGeneratorComment) + "\r\n" + std::string(sheet);
}

HeadParts HeadOfSample(const std::string& relative) {
  const std::string html =
      support::ReadTextFile((SharedDir() / "wordhtml-samples" / relative).string());
  EXPECT_FALSE(html.empty()) << relative;
  return Ok(ParseHead(html));
}

HeadParts HeadOfFixture(const std::string& name) {
  TempDir temp;
  std::filesystem::copy_file(FixturesDir() / "site" / name, temp.path() / name);
  return Ok(ParseHead(support::ReadTextFile(temp.File(name))));
}

// --- Real Word HTML -----------------------------------------------------------

TEST(HeadStyleSample, ProbabilityFormula) {
  TESSARINE_SKIP_WITHOUT_SHARED_INPUTS();
  const HeadParts parts = HeadOfSample("cn-probability-formula/index.htm");
  EXPECT_FALSE(Has(parts.head, R"(<title|\[if gte mso)"));
  EXPECT_TRUE(parts.rest.starts_with("\r\n\r\n<body lang=ZH-CN"));

  const std::string sheet = Ok(ParseStyleSheet(parts.head));
  // The table-style sheet in "<!--[if gte mso 10]>" went with its block.
  EXPECT_FALSE(Has(sheet, "</?style|mso-tstyle-rowband-size"));
  EXPECT_TRUE(Has(sheet, R"(st1\\:\*\{behavior:url\(#ieooui\) \})"));
  // The sheet's first @page rule has no size; the section rule has.
  EXPECT_EQ(Ok(ReadPageSetup(sheet)),
            (PageSetup{"595.3pt 841.9pt", "72.0pt 90.0pt 72.0pt 90.0pt", "595.3", "90.0", "90.0"}));

  EXPECT_EQ(Ok(OptimizeStyleSheet(sheet, OptimizeMode::kNone, true)), WithComment(sheet));
  EXPECT_EQ(Ok(OptimizeStyleSheet(sheet, OptimizeMode::kAllClear, true)), kGeneratorComment);
  const std::string css = Ok(OptimizeStyleSheet(sheet, OptimizeMode::kSelective, true));
  ASSERT_TRUE(css.starts_with(WithComment("")));
  EXPECT_FALSE(Has(css, "mso-|@page|@font-face|@list|ieooui|<!--|-->"));
  EXPECT_TRUE(Has(css, R"(\r\np\.MsoNormal, li\.MsoNormal, div\.MsoNormal \{margin:0cm;)"));
  // After the comment, one "selector {properties}" rule per line, nothing
  // empty, padded or spaced between properties.
  const std::string rules = css.substr(WithComment("").size());
  for (size_t start = 0, end = 0; end != std::string::npos; start = end + 2) {
    end = rules.find("\r\n", start);
    const std::string line = rules.substr(start, end - start);
    EXPECT_TRUE(Has(line, R"(^[^\s{}][^{}]* \{[^{}\s][^{}]*\}$)")) << line;
    EXPECT_FALSE(Has(line, R"(;\s)")) << line;
  }

  const std::string body = Ok(ExtractBody(parts.rest));
  // The body tag's line end, a blank line, the section div's line, a blank line.
  EXPECT_TRUE(body.starts_with("\r\n\r\n\r\n\r\n<p class=MsoNormal align=center"));
  EXPECT_FALSE(Has(body, "</?div|<body|</body|</html"));
}

// Word writes its VML behaviour rules in a style block before the title; a
// document without a title (cn-jahhan-doc has none) brings them into the head.
TEST(HeadStyleSample, VmlBehaviourRulesKeptUnlessOpt1VmlIsOn) {
  TESSARINE_SKIP_WITHOUT_SHARED_INPUTS();
  const std::string sheet =
      Ok(ParseStyleSheet(HeadOfSample("cn-jahhan-doc-cp20936/index.htm").head));
  EXPECT_TRUE(Ok(OptimizeStyleSheet(sheet, OptimizeMode::kSelective, false))
                  .starts_with(WithComment("v\\:* {behavior:url(#default#VML);}\r\n"
                                           "o\\:* {behavior:url(#default#VML);}\r\n"
                                           "w\\:* {behavior:url(#default#VML);}\r\n"
                                           ".shape {behavior:url(#default#VML);}\r\n")));
  EXPECT_FALSE(Has(Ok(OptimizeStyleSheet(sheet, OptimizeMode::kSelective, true)), "behavior"));
}

// --- Fixtures -----------------------------------------------------------------

TEST(HeadStyleFixture, TwoStyleBlocksMakeOneSheet) {
  const HeadParts parts = HeadOfFixture("head_style_blocks.htm");
  // Both blocks, one CR LF between them; the block in "[if gte mso 10]" is gone.
  EXPECT_EQ(Ok(ParseStyleSheet(parts.head)),
            "\r\n<!--\r\np.MsoNormal\r\n\t{margin:0cm;\r\n\tmso-pagination:widow-orphan;}\r\n"
            "-->\r\n\r\n\r\nh1\r\n\t{font-size:16.0pt;}\r\n");
  EXPECT_EQ(Ok(ExtractBody(parts.rest)),
            "\r\n\r\n\r\n\r\n<p class=MsoNormal>One</p>\r\n\r\n\r\n\r\n");
}

TEST(HeadStyleFixture, WithoutBodyTagTheBodyIsWhatFollowsTheHead) {
  EXPECT_EQ(Ok(ExtractBody(HeadOfFixture("no_body_tag.htm").rest)),
            "\r\n\r\n<p class=MsoNormal>Text</p>\r\n\r\n</html>\r\n");
}

// --- Edge cases ---------------------------------------------------------------

TEST(ParseHead, CutsAtTitleEndAndHeadEnd) {
  struct Case {
    std::string html, head, rest;
  };
  const std::vector<Case> cases = {
      {"<HEAD><TITLE>T</TITLE>H</HEAD>R", "H", "R"},
      {"<head>H</head>R", "<head>H", "R"},                   // no title end
      {"<title>T</title>H<body>B", "H<body>B", "H<body>B"},  // no head end
      {"<title>T</title>a<!--[if gte mso 9]><xml>x</xml><![endif]-->b"
       "<!--[if gte mso 10]>\r\n<style>s{}</style>\r\n<![endif]-->c</head>",
       "abc", ""},
      {"<title>T</title><!--[if !mso]><style>v</style><![endif]--></head>",
       "<!--[if !mso]><style>v</style><![endif]-->", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Ok(ParseHead(c.html)), (HeadParts{c.head, c.rest}));
    // In place: the head given, the rest left.
    std::string text = c.html;
    EXPECT_EQ(Ok(TakeHead(text)), c.head);
    EXPECT_EQ(text, c.rest);
  }
}

TEST(ReadPageSetup, WidthAndMarginsFromTheirWords) {
  struct Case {
    std::string size, margin, width, left, right;
  };
  const std::vector<Case> cases = {
      {"612.0pt 792.0pt", "1.0in 80.0pt 1.0in 95.5pt", "612.0", "95.5", "80.0"},
      {"21.0cm 29.7cm", "2.54cm 3.17cm 2.54cm 3.18cm", "21.0cm", "3.18cm", "3.17cm"},
      {"595.3pt  841.9pt", "72.0pt", "", "", ""},  // two spaces; one margin value
      {"595.3pt", "72.0pt 90.0pt", "", "", ""},
  };
  for (const Case& c : cases) {
    const std::string sheet = "@page Section1\r\n\t{size:" + c.size + ";\r\n\tmargin:" + c.margin +
                              ";\r\n\tmso-header-margin:42.55pt;}\r\n";
    EXPECT_EQ(Ok(ReadPageSetup(sheet)), (PageSetup{c.size, c.margin, c.width, c.left, c.right}));
  }
  EXPECT_EQ(Ok(ReadPageSetup("p {margin:0cm;}")), PageSetup{});
}

TEST(OptimizeStyleSheet, SelectivePassesOnWordsSheet) {
  const std::string sheet =
      "\r\n<!--\r\n /* Font Definitions */\r\n@font-face\r\n\t{font-family:Calibri;"
      "\r\n\tpanose-1:2 1 6 0 3 1 1 1 1 1;}\r\n /* Style Definitions */\r\n"
      "p.MsoNormal, li.MsoNormal\r\n\t{mso-style-unhide:no;\r\n\tmargin:0cm;\r\n"
      "\tmso-pagination:widow-orphan;\r\n\tfont-size:10.5pt;\r\n\tmso-bidi-font-size:12.0pt;}\r\n"
      ".MsoChpDefault\r\n\t{mso-style-type:export-only;}\r\n"
      "@page WordSection1\r\n\t{size:595.3pt 841.9pt;}\r\n"
      "div.WordSection1\r\n\t{page:WordSection1;}\r\n-->\r\n";
  EXPECT_EQ(Ok(OptimizeStyleSheet(sheet, OptimizeMode::kSelective, true)),
            WithComment("p.MsoNormal, li.MsoNormal {margin:0cm;font-size:10.5pt;}\r\n"
                        "div.WordSection1 {page:WordSection1;}"));
  // A head without style blocks.
  EXPECT_EQ(Ok(OptimizeStyleSheet("", OptimizeMode::kNone, true)), WithComment(""));
  EXPECT_EQ(Ok(OptimizeStyleSheet("", OptimizeMode::kSelective, true)), WithComment(""));
  EXPECT_EQ(Ok(OptimizeStyleSheet("", OptimizeMode::kAllClear, true)), kGeneratorComment);
}

TEST(OptimizeModeFromIndex, OnlyTheThreeIndexes) {
  EXPECT_EQ(Ok(OptimizeModeFromIndex("2")), OptimizeMode::kAllClear);
  for (const char* bad : {"", "3", " 1", "01"})
    EXPECT_FALSE(OptimizeModeFromIndex(bad).ok()) << bad;
}

TEST(ExtractBody, ContentOfTheBodyElement) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"<BODY LANG=EN-US><DIV>x</DIV></BODY>", "x"},
      {"<body>a</body>b</body>c", "a</body>b"},  // cut at the last end tag
      {"<body lang=PL style='tab-interval:\r\n36.0pt'>\r\n<div class=WordSection1>y</div>",
       "\r\ny"},
  };
  for (const auto& [rest, body] : cases) EXPECT_EQ(Ok(ExtractBody(rest)), body) << rest;
}

}  // namespace
}  // namespace tessarine::cleanup
