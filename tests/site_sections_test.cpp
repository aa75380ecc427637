#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "cleanup/head_style.h"
#include "site/sections.h"
#include "support/text_file.h"
#include "test_support.h"

namespace tessarine::site {
namespace {

using cleanup::ExtractBody;
using cleanup::ParseHead;
using cleanup::ParseStyleSheet;

template <typename T>
T Ok(support::Result<T> result) {
  EXPECT_TRUE(result.ok()) << result.message();
  return result.ok() ? std::move(result).value() : T();
}

std::string SampleBody(const std::string& relative) {
  const std::string html =
      support::ReadTextFile((testing::SharedDir() / "wordhtml-samples" / relative).string());
  EXPECT_FALSE(html.empty()) << relative;
  return Ok(ExtractBody(Ok(ParseHead(html)).rest));
}

// Home text, then every heading followed by its page body, gives back the
// body: nothing lost, nothing doubled.
std::string Reassembled(const SectionTable& table) {
  std::string out = table.at(0).Body;
  for (size_t k = 1; k < table.size(); ++k) out += table[k].HeadingHtml + table[k].Body;
  return out;
}

template <typename T>
std::vector<T> Column(const SectionTable& table, T Section::*field) {
  std::vector<T> values;
  for (const Section& row : table) values.push_back(row.*field);
  return values;
}

using Texts = std::vector<std::string>;

// --- Real Word HTML -----------------------------------------------------------

// Word's numbered headings carry "<![if !supportLists]>...3.1<span ...>&nbsp;
// </span>...<![endif]>" in front of the heading text.
TEST(SplitSectionsSample, NumberedHeadingsGiveTitleAndPlainTitle) {
  TESSARINE_SKIP_WITHOUT_SHARED_INPUTS();
  const std::string body = SampleBody("cn-jahhan-doc-cp20936/index.htm");
  const SectionTable table = Ok(SplitSections(body, "2", "Jahhan"));
  ASSERT_EQ(table.size(), 1u + 16 + 26);  // the sample's h2 and h3 elements
  EXPECT_EQ(Reassembled(table), body);

  const std::string framework = "\xe6\xa1\x86\xe6\x9e\xb6\xe8\xaf\xb4\xe6\x98\x8e";  // 框架说明
  int numbered = 0;
  for (size_t k = 1; k < table.size(); ++k) {
    const Section& row = table[k];
    EXPECT_EQ(body.substr(row.HeadingPos, row.HeadingLen), row.HeadingHtml);
    EXPECT_EQ(row.HeadingHtml.substr(0, 3), "<h" + row.Level);
    if (row.PlainTitle == framework) {
      EXPECT_EQ(row.Title, "3.1 " + framework);
      EXPECT_EQ(row.HasChildren, 1);  // 3.1.1 follows
    }
    if (row.HeadingHtml.find("supportLists") != std::string::npos) {
      ++numbered;
      EXPECT_TRUE(row.Title.ends_with(" " + row.PlainTitle)) << row.Title;
      EXPECT_EQ(row.Title.find_first_of("0123456789"), 0u) << row.Title;
    }
  }
  EXPECT_GT(numbered, 30);

  // ParseLevel "0" wants h1, which this document does not have.
  EXPECT_EQ(Column(Ok(SplitSections(body, "0", "Jahhan")), &Section::Body), Texts{body});
}

TEST(SplitSectionsSample, DeeperHeadingsStayInsideTheirPage) {
  TESSARINE_SKIP_WITHOUT_SHARED_INPUTS();
  const std::string body = SampleBody("cn-suzhouxing/index.htm");
  const SectionTable table = Ok(SplitSections(body, "1", "Su"));
  EXPECT_EQ(Reassembled(table), body);
  EXPECT_EQ(Column(table, &Section::Level), (Texts{"0", "1", "2", "2", "2"}));
  EXPECT_EQ(Column(table, &Section::HasChildren), (std::vector<int>{1, 1, 0, 0, 0}));
  // A bullet ("l" in Wingdings) is a list number too.
  EXPECT_EQ(Column(table, &Section::Title),
            (Texts{"Su", "Zhouxing Su", "l Git Repositories", "l Social Networks", "l Articles"}));
  EXPECT_EQ(Column(table, &Section::PlainTitle),
            (Texts{"Su", "Zhouxing Su", "Git Repositories", "Social Networks", "Articles"}));
  EXPECT_NE(table.back().Body.find("English</span></h3>"), std::string::npos);
}

// --- Edge cases ---------------------------------------------------------------

TEST(SplitSections, WhereThePagesAreCut) {
  struct Case {
    std::string body, parse_level;
    Texts levels, titles;  // rows 0..n
  };
  const std::vector<Case> cases = {
      {"a<h1>A</h1>b<h2>B</h2>c", "0", {"0", "1"}, {"N", "A"}},
      {"<p>text</p>", "8", {"0"}, {"N"}},
      {"<H1 style='x'>A</H1><p class=msoheading2>B</P>", "1", {"0", "1", "2"}, {"N", "A", "B"}},
      // Only a start tag that is exactly the class makes a heading paragraph.
      {"<p class=MsoHeading1 style='margin:0'>X</p><p class=MsoHeading1>Y</p>",
       "0",
       {"0", "1"},
       {"N", "Y"}},
      {"<h2>A<h1>x</h1>B</h2>", "1", {"0", "2"}, {"N", "AxB"}},  // end tag of the same level
      {"<h1>A</h1><hr><h3>C</h3>", "1", {"0", "1"}, {"N", "A"}},
  };
  for (const Case& c : cases) {
    const SectionTable table = Ok(SplitSections(c.body, c.parse_level, "N"));
    EXPECT_EQ(Column(table, &Section::Level), c.levels) << c.body;
    EXPECT_EQ(Column(table, &Section::Title), c.titles) << c.body;
    EXPECT_EQ(Reassembled(table), c.body) << c.body;
  }
}

TEST(SplitSectionsOutline, ParagraphsWithAnOutlineLevelStartPages) {
  const OutlineClasses classes = {{"a7", 1}, {"a3", 2}, {"a0", 3}, {"MsoHeading7", 7}};
  struct Case {
    std::string body, parse_level;
    Texts levels, titles;
  };
  const std::vector<Case> cases = {
      // The class's level, the paragraph's own declaration over it, and
      // "mso-outline-level:10" (body text) over a class level.
      {"a<p class=a7>One</p>b<p class=a3 style='mso-outline-level:3'>Two</p>c"
       "<p class=a0 style='mso-outline-level: 10'>body</p><p class=MsoNormal "
       "style=\"mso-outline-level:2\">Three</p>",
       "8",
       {"0", "1", "3", "2"},
       {"N", "One", "Two", "Three"}},
      // ParseLevel bounds the levels; built-in headings keep theirs, and the
      // exact MsoHeading paragraph is cut once.
      {"<h1>A</h1><p class=a3>B</p><p class=a0>C</p><p class=MsoHeading7>D</p>",
       "1",
       {"0", "1", "2"},
       {"N", "A", "B"}},
      {"<h1>A</h1><p class=MsoHeading7>D</p><p class=MsoHeading7 style='x'>E</p>",
       "8",
       {"0", "1", "7", "7"},
       {"N", "A", "D", "E"}},
      // Not in tables or text boxes, not when nothing shows.
      {"<table><tr><td><p class=a7>cell</p></td></tr></table><!--[if gte vml 1]><v:rect><v:textbox>"
       "<p class=a7>box</p></v:textbox></v:rect><![endif]--><![if !vml]><span><p class=a7>box "
       "<![if !supportLists]>1<![endif]></p></span><![endif]><v:textbox inset=\"0\"/>"
       "<p class=a7><span>&nbsp;</span></p><p class=a7 >End</p>",
       "8",
       {"0", "1"},
       {"N", "End"}},
  };
  for (const Case& c : cases) {
    const SectionTable table = Ok(SplitSections(c.body, c.parse_level, "N", classes));
    EXPECT_EQ(Column(table, &Section::Level), c.levels) << c.body;
    EXPECT_EQ(Column(table, &Section::Title), c.titles) << c.body;
    EXPECT_EQ(Reassembled(table), c.body) << c.body;
  }
  // Without outline paragraphs the table is the plain split's.
  const std::string plain = "x<h1>A</h1><p class=MsoNormal>y</p><h2>B</h2>";
  EXPECT_EQ(Ok(SplitSections(plain, "8", "N", classes)), Ok(SplitSections(plain, "8", "N")));
}

TEST(OutlineLevelClasses, ReadsTheParagraphRulesOfWordsSheet) {
  TESSARINE_SKIP_WITHOUT_SHARED_INPUTS();
  const std::string sheet =
      "<!--\r\n /* Style Definitions */\r\n p.MsoNormal, li.MsoNormal, div.MsoNormal\r\n"
      "\t{mso-style-parent:\"\";\r\n\tmargin:0cm;}\r\nh1\r\n\t{mso-outline-level:1;}\r\n"
      "p.a7, li.a7, div.a7\r\n\t{mso-style-name:\"章标题\";\r\n\tmso-outline-level:1;}\r\n"
      "p.afff9, li.afff9, div.afff9\r\n\t{mso-outline-level: 2 ;}\r\n"
      "span.a3\r\n\t{mso-outline-level:4;}\r\n@list "
      "l0:level1\r\n\t{mso-level-text:\"%1.\";}\r\n-->";
  EXPECT_EQ(OutlineLevelClasses(sheet), (OutlineClasses{{"a7", 1}, {"afff9", 2}}));

  // A sheet Word saved: its thirteen paragraph styles with a level.
  const std::string html = support::ReadTextFile(
      (testing::SharedDir() / "wordhtml-samples/cn-jahhan-doc-utf8/index.htm").string());
  const OutlineClasses classes = OutlineLevelClasses(Ok(ParseStyleSheet(Ok(ParseHead(html)).head)));
  EXPECT_EQ(classes.size(), 13u);
  EXPECT_EQ(classes.count("af4") ? classes.at("af4") : 0, 6);
}

TEST(SplitSections, HomeRowBodiesAndChildren) {
  const SectionTable table = Ok(SplitSections("<h1>A</h1>one<h2>B</h2>two", "8", "Node"));
  ASSERT_EQ(table.size(), 3u);
  Section home;
  home.HeadingHtml = home.Title = home.PlainTitle = "Node";
  home.Level = "0";
  home.HasChildren = 1;
  EXPECT_EQ(table[0], home);  // the body starts with a heading: empty home Body
  EXPECT_EQ(Column(table, &Section::Body), (Texts{"", "one", "two"}));
  EXPECT_EQ(Column(table, &Section::HeadingPos), (std::vector<size_t>{0, 0, 13}));

  EXPECT_EQ(Column(Ok(SplitSections("<p>x</p>", "8", "Node")), &Section::HasChildren),
            std::vector<int>{0});
  EXPECT_EQ(Column(Ok(SplitSections("<h1>a</h1><h2>b</h2><h2>c</h2><h1>d</h1>", "8", "N")),
                   &Section::HasChildren),
            (std::vector<int>{1, 1, 0, 0, 0}));
}

TEST(SplitSections, TitlesAndPlainTitles) {
  struct Case {
    std::string heading, title, plain_title;
  };
  const std::vector<Case> cases = {
      {"<h2><![if !supportLists]><span style='mso-list:Ignore'>1.1<span "
       "style='font:7.0pt \"Times New Roman\"'>&nbsp; </span></span><![endif]>Setup</h2>",
       "1.1 Setup", "Setup"},
      // Word wraps long lines: the break is deleted, not made a space.
      {"<h1>Long\r\nheading</h1>", "Longheading", "Longheading"},
      {"<h1>  a&nbsp;&nbsp;b   c&nbsp;</h1>", "a b c", "a b c"},
  };
  for (const Case& c : cases) {
    const SectionTable table = Ok(SplitSections(c.heading, "8", "N"));
    ASSERT_EQ(table.size(), 2u) << c.heading;
    EXPECT_EQ(table[1].Title, c.title);
    EXPECT_EQ(table[1].PlainTitle, c.plain_title);
  }
}

TEST(SplitSections, RefusesParseLevelOutsideTheList) {
  for (const char* bad : {"", "9", "-1", "12", "x"}) {
    EXPECT_FALSE(SplitSections("<h1>a</h1>", bad, "N").ok()) << bad;
  }
}

}  // namespace
}  // namespace tessarine::site
