// Page file names, head titles, chapter numbers and meta texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "site/naming.h"

namespace tessarine::site {
namespace {

using project::DocumentRecord;

struct Heading {
  const char* level;
  const char* title;  // both Title and PlainTitle unless plain is given
  const char* plain = nullptr;
};

// A table as the splitter leaves it: row 0 the home page "Guide", then one row
// per heading.
SectionTable MakeTable(const std::vector<Heading>& headings) {
  SectionTable table(1);
  table[0].Level = "0";
  table[0].Title = table[0].PlainTitle = table[0].HeadingHtml = "Guide";
  for (const Heading& h : headings) {
    Section row;
    row.Level = h.level;
    row.Title = h.title;
    row.PlainTitle = h.plain != nullptr ? h.plain : h.title;
    table.push_back(row);
  }
  return table;
}

SectionTable TableOfLevels(const std::vector<const char*>& levels) {
  std::vector<Heading> headings;
  for (const char* level : levels) headings.push_back({level, "Topic"});
  return MakeTable(headings);
}

DocumentRecord Document(const char* file_name_rule = "0") {
  DocumentRecord document;
  document.FilenamePre = "abc";
  document.FileNameRule = file_name_rule;
  return document;
}

std::vector<std::string> PageFiles(const SectionTable& table) {
  std::vector<std::string> files;
  for (const Section& row : table) files.push_back(row.PageFile);
  return files;
}

std::vector<std::string> ChapterNumbers(const SectionTable& table) {
  std::vector<std::string> numbers;
  for (const Section& row : table) numbers.push_back(row.ChapterNumber);
  return numbers;
}

struct LevelCase {
  std::vector<const char*> levels;
  std::vector<std::string> files;    // row 0 first
  std::vector<std::string> numbers;  // row 0 first
};

// The file-name rule and the numbering count levels the same way: a skipped
// level leaves an empty counter, and going back up forgets deeper counts.
TEST(ChapterNaming, FileNamesAndNumbersFollowTheLevels) {
  const std::vector<LevelCase> cases = {
      {{"1", "2", "2", "1", "2"},
       {"abc.htm", "abc.1.htm", "abc.1.1.htm", "abc.1.2.htm", "abc.2.htm", "abc.2.1.htm"},
       {"", "1", "1.1", "1.2", "2", "2.1"}},
      {{"1", "3"}, {"abc.htm", "abc.1.htm", "abc.1..1.htm"}, {"", "1", "1..1"}},
      {{"2", "2", "1"}, {"abc.htm", "abc..1.htm", "abc..2.htm", "abc.1.htm"}, {"", "1", "2", "1"}},
      {{"1", "2", "3", "1", "3"},
       {"abc.htm", "abc.1.htm", "abc.1.1.htm", "abc.1.1.1.htm", "abc.2.htm", "abc.2..1.htm"},
       {"", "1", "1.1", "1.1.1", "2", "2..1"}},
      {{"1", "3", "2", "3"},
       {"abc.htm", "abc.1.htm", "abc.1..1.htm", "abc.1.1.htm", "abc.1.1.1.htm"},
       {"", "1", "1..1", "1.1", "1.1.1"}},
  };
  for (const LevelCase& c : cases) {
    SectionTable table = TableOfLevels(c.levels);
    ASSERT_TRUE(AssignPageFiles(table, Document("0"), ".htm").ok());
    AssignChapterNumbers(table, Document("0"));
    EXPECT_EQ(PageFiles(table), c.files) << c.levels.size() << " levels";
    EXPECT_EQ(ChapterNumbers(table), c.numbers) << c.levels.size() << " levels";
  }
}

TEST(SequenceNaming, PadsToTheDigitsOfThePageCount) {
  const struct {
    size_t pages;
    std::string first, last;
  } cases[] = {{1, "abc1.html", "abc1.html"},
               {9, "abc1.html", "abc9.html"},
               {10, "abc01.html", "abc10.html"},
               {100, "abc001.html", "abc100.html"}};
  for (const auto& c : cases) {
    SectionTable table = TableOfLevels(std::vector<const char*>(c.pages, "1"));
    ASSERT_TRUE(AssignPageFiles(table, Document("1"), ".html").ok());
    EXPECT_EQ(table[0].PageFile, "abc.html");
    EXPECT_EQ(table[1].PageFile, c.first) << c.pages;
    EXPECT_EQ(table.back().PageFile, c.last) << c.pages;
  }
}

TEST(PageFiles, AnUnknownRuleNamesOnlyTheHomePage) {
  SectionTable table = TableOfLevels({"1", "2"});
  ASSERT_TRUE(AssignPageFiles(table, Document("2"), ".htm").ok());
  EXPECT_EQ(PageFiles(table), (std::vector<std::string>{"abc.htm", "", ""}));
}

// Special names replace the numbered name but the chapter counters keep
// counting; repeats get 1, 2, ... and a malformed line never applies.
TEST(SpecialNames, ReplaceNumberedNamesUniquelyUnderBothRules) {
  const std::vector<Heading> headings = {
      {"1", "Intro"},   {"1", "Quick installation"}, {"2", "Install on Linux"}, {"1", "Usage"},
      {"2", "Details"}, {"1", "INSTALL again"}};
  DocumentRecord document = Document("0");
  document.SpecialFileName = "a|b|c||||x|||y| ||| Install | setup |||usage|use";

  SectionTable chapters = MakeTable(headings);
  ASSERT_TRUE(AssignPageFiles(chapters, document, ".htm").ok());
  EXPECT_EQ(PageFiles(chapters),
            (std::vector<std::string>{"abc.htm", "abc.1.htm", "abc.setup.htm", "abc.setup1.htm",
                                      "abc.use.htm", "abc.3.1.htm", "abc.setup2.htm"}));

  document.FileNameRule = "1";
  SectionTable sequence = MakeTable(headings);
  ASSERT_TRUE(AssignPageFiles(sequence, document, ".htm").ok());
  EXPECT_EQ(PageFiles(sequence),
            (std::vector<std::string>{"abc.htm", "abc1.htm", "abc-setup.htm", "abc-setup1.htm",
                                      "abc-use.htm", "abc5.htm", "abc-setup2.htm"}));
}

TEST(SpecialNames, MatchTheTitleAsLiteralTextIgnoringCase) {
  const struct {
    const char* special;
    const char* title;
    const char* name;
  } cases[] = {
      {"常见问题|faq", "产品常见问题解答", "faq"},
      {"\u00dcbersicht|ueber", "\u00fcbersicht der Teile", "ueber"},  // Ü and ü
      {"C++ (intro)|cpp", "Learning c++ (Intro) fast", "cpp"},
      {"a.b|dot", "axb", ""},
      {"[x]|set", "x", ""},
      {"a|b|c", "a", ""},
      {"|x", "x", ""},
      {"a|  ", "a", ""},
      {"first|one|||first|two", "the first page", "one"},
      {"", "anything", ""},
  };
  for (const auto& c : cases) {
    const auto name = FindSpecialFileName(c.special, c.title, {});
    ASSERT_TRUE(name.ok()) << name.message();
    EXPECT_EQ(*name, c.name) << c.special << " / " << c.title;
  }
}

TEST(SpecialNames, UniqueNameTakesTheSmallestFreeSuffix) {
  EXPECT_EQ(UniqueSpecialName("setup", {}), "setup");
  EXPECT_EQ(UniqueSpecialName("setup", {"setup", "setup1"}), "setup2");
  EXPECT_EQ(UniqueSpecialName("setup", {"setup", "setup2"}), "setup1");
  EXPECT_EQ(UniqueSpecialName("setup", {"Setup"}), "setup");  // exact comparison
  EXPECT_EQ(UniqueSpecialName("setup", {"setup"}, 4), "setup4");
}

TEST(ChapterNumbers, NumberlistRuleChoosesTheDisplayTitle) {
  const struct {
    const char* rule;
    const char* title;
  } cases[] = {
      {"0", "2.1 Overview"}, {"1", "2.1. Overview"}, {"2", "Overview"}, {"7", "2.1. Overview"}};
  for (const auto& c : cases) {
    SectionTable table = MakeTable({{"1", "1. Start", "Start"},
                                    {"1", "2. Parts", "Parts"},
                                    {"2", "2.1. Overview", "Overview"}});
    DocumentRecord document;
    document.NumberlistRule = c.rule;
    AssignChapterNumbers(table, document);
    EXPECT_EQ(table[3].ChapterNumber, "2.1") << c.rule;
    EXPECT_EQ(table[3].Title, c.title) << c.rule;
    EXPECT_EQ(table[0].Title, "Guide") << "the home page keeps its title";
  }
}

TEST(PageTitles, ChainedFromTheHomePageByLevel) {
  SectionTable table = MakeTable(
      {{"1", "1. Start", "Start"}, {"2", "Setup"}, {"1", "Use"}, {"3", "Deep"}, {"4", "Deeper"}});
  AssignPageTitles(table, DocumentRecord{});
  std::vector<std::string> titles;
  for (const Section& row : table) titles.push_back(row.PageTitle);
  EXPECT_EQ(titles, (std::vector<std::string>{"Guide", "Guide : Start", "Guide : Start : Setup",
                                              "Guide : Use", " : Deep", " : Deep : Deeper"}));
}

TEST(PageTitles, FixedModeAndUnknownMode) {
  DocumentRecord document;
  document.HeadTitleMode = "1";
  document.HeadTitle = "手册";
  SectionTable table = TableOfLevels({"1", "2"});
  AssignPageTitles(table, document);
  for (const Section& row : table) EXPECT_EQ(row.PageTitle, "手册");

  document.HeadTitleMode = "3";
  table = TableOfLevels({"1"});
  AssignPageTitles(table, document);
  EXPECT_EQ(table[0].PageTitle, "");
  EXPECT_EQ(table[1].PageTitle, "");
}

TEST(MetaTexts, KeywordsByMode) {
  const struct {
    const char* mode;
    const char* meta_key;
    const char* body;
    const char* keywords;
  } cases[] = {
      {"0", "html", "<p>html</p>", "Page Title"},
      {"2", "a,\r\nb", "", "a,\r\nb"},
      {"1", "html, word ,pdf", "<p>Save as HTML.</p>", "html"},
      {"1", "pdf, ,word", "<p>Word or PDF</p>", "pdf,word"},
      {"1", "ab\r\ncd,xy", "<p>abcd xy</p>", "abcd,xy"},
      {"1", "\u00c4rger,a+b", "<p>\u00e4rger, a+b</p>", "\u00c4rger,a+b"},
      {"1", "a.c", "<p>abc</p>", ""},
      {"1", "", "<p>anything</p>", ""},
      {"9", "html", "html", ""},
  };
  for (const auto& c : cases) {
    DocumentRecord document;
    document.MetaKeyMode = c.mode;
    document.MetaKey = c.meta_key;
    const auto keywords = PageMetaKeywords(document, "Page Title", c.body);
    ASSERT_TRUE(keywords.ok()) << keywords.message();
    EXPECT_EQ(*keywords, c.keywords) << c.mode << " " << c.meta_key;
  }
}

TEST(MetaTexts, DescriptionByMode) {
  const struct {
    const char* mode;
    const char* description;
  } cases[] = {{"0", "Title"}, {"1", "k1,k2"}, {"2", "Fixed\r\ntext"}, {"3", ""}};
  for (const auto& c : cases) {
    DocumentRecord document;
    document.MetaDescMode = c.mode;
    document.MetaDesc = "Fixed\r\ntext";
    EXPECT_EQ(PageMetaDescription(document, "Title", "k1,k2"), c.description) << c.mode;
  }
}

TEST(NoHeadings, TheHomePageAlone) {
  SectionTable table = TableOfLevels({});
  DocumentRecord document = Document("1");
  ASSERT_TRUE(AssignPageFiles(table, document, ".htm").ok());
  AssignPageTitles(table, document);
  AssignChapterNumbers(table, document);
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0].PageFile, "abc.htm");
  EXPECT_EQ(table[0].PageTitle, "Guide");
  EXPECT_EQ(table[0].ChapterNumber, "");
}

}  // namespace
}  // namespace tessarine::site
