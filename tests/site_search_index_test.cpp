// The readers' search index: page text, terms (CJK characters and pairs,
// folded words) and the script files in both output encodings.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "site/search_index.h"
#include "support/text_file.h"
#include "test_support.h"

namespace tessarine::site {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempDir;
using Strings = std::vector<std::string>;

TEST(SearchTerms, CjkByPairsOtherScriptsByFoldedWords) {
  EXPECT_EQ(SearchTerms("中文检索"), (Strings{"中文", "文检", "检索"}));
  // A run of CJK ends at anything else: no pair across a space or a Latin
  // word; a character on its own is a term by itself.
  EXPECT_EQ(SearchTerms("表格 Word文档 页"), (Strings{"表格", "word", "文档", "页"}));
  EXPECT_EQ(SearchTerms("𠀋𠀌a"), (Strings{"𠀋𠀌", "a"}));
  EXPECT_EQ(SearchTerms("Hello, WORLD! Straße ÄÖÜ x2 3.14"),
            (Strings{"hello", "world", "straße", "äöü", "x2", "3", "14"}));
  EXPECT_EQ(SearchTerms("ひらがなカタ 한국어"),
            (Strings{"ひら", "らが", "がな", "なカ", "カタ", "한국", "국어"}));
  // Greek and Cyrillic fold too; combining marks stay inside their word.
  EXPECT_EQ(SearchTerms("ΑΘΗΝΑ Москва cafe\u0301"), (Strings{"αθηνα", "москва", "cafe\u0301"}));
  EXPECT_TRUE(SearchTerms(" \t—…, ").empty());
}

TEST(VisibleText, DropsMarkupKeepsWhatTheReaderSees) {
  EXPECT_EQ(VisibleText("<p>中<span lang=ZH-CN>文</span></p><p>next&nbsp;line</p>"),
            "中文 next line");
  EXPECT_EQ(VisibleText("<style>p{}</style><script>var a='<p>';</script><!--[if gte mso 9]>x<!"
                        "[endif]--><b>A</b>&amp;&#20013;&#x6587;&lt;&unknown;"),
            "A&中文<&unknown;");
  EXPECT_EQ(VisibleText("a<br>b<td>c</td>  \r\n d<img src=x.png>e"), "a b c d e");
  EXPECT_EQ(VisibleText("<p>open <b>tag"), "open tag");
  // The generated lists of other pages are not this page's text.
  EXPECT_EQ(VisibleText(R"(a<div id="tessarine_toc"><div><a href="x.htm">Other</a></div></div>b)"
                        R"(<div id="tessarine_relative"><p>Related</p><ul><li>x</li></ul></div>)"),
            "a b");
  EXPECT_EQ(VisibleText("<p>unclosed <a href='x"), "unclosed");
  // A byte that is no UTF-8 is U+FFFD; characters of every length stay.
  EXPECT_EQ(VisibleText("a\xFF"
                        "b\xE0\xA4\x85\xED\x9F\xBF\xEF\xBC\x8C\xF0\xA0\x80\x8B"),
            "a\uFFFD"
            "b\u0905\uD7FF\uFF0C\U0002000B");
}

Section Row(std::string level, std::string title, std::string file, std::string body) {
  Section row;
  row.Level = std::move(level);
  row.Title = std::move(title);
  row.PageFile = std::move(file);
  row.Body = std::move(body);
  return row;
}

// Two documents: a guide with a chapter and a section under it, and a second
// document of one page, with Chinese, Korean and characters scripts escape.
SearchIndexBuilder SampleSite() {
  SearchIndexBuilder builder;
  builder.AddDocument({Row("0", "使用指南", "guide.htm", "<p>欢迎使用 Tessarine。</p>"),
                       Row("1", "安装", "guide.1.htm", "<p>安装 Tessarine 前请阅读 Setup。</p>"),
                       Row("2", "Setup &amp; \"Tips\"", "guide.1.1.htm",
                           "<p>setup setup 한국어 €5 \\ &lt;/script&gt;</p>")});
  builder.AddDocument({Row("0", "常见问题", "faq.htm", "<table><tr><td>安装</td></tr></table>")});
  return builder;
}

// The object inside "tessarineSearchIndex(...);" of a written file.
nlohmann::json ReadIndex(const fs::path& file, support::TextEncoding encoding) {
  std::string bytes = ReadBytes(file);
  if (encoding == support::EncodingUtf8) {
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    bytes = bytes.substr(3);
  }
  const std::string text = support::DecodeText(bytes, encoding);
  const std::string head = "tessarineSearchIndex(";
  EXPECT_EQ(text.substr(0, head.size()), head);
  const size_t end = text.rfind(");");
  return nlohmann::json::parse(text.substr(head.size(), end - head.size()));
}

Strings Split(const std::string& text, char separator) {
  Strings parts;
  for (size_t pos = 0; pos <= text.size();) {
    const size_t end = std::min(text.find(separator, pos), text.size());
    parts.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return parts;
}

// The index's terms in their written order.
Strings Terms(const nlohmann::json& index) {
  Strings terms;
  for (const std::string& spaced : Split(index["terms"].get<std::string>(), ' ')) {
    for (size_t pos = 0; pos <= spaced.size();) {  // "|": the previous term's first character
      const size_t bar = std::min(spaced.find('|', pos), spaced.size());
      std::string term = spaced.substr(pos, bar - pos);
      if (pos > 0) {
        size_t first = 1;
        while (first < terms.back().size() && (terms.back()[first] & 0xC0) == 0x80) ++first;
        term = terms.back().substr(0, first) + term;
      }
      terms.push_back(term);
      pos = bar + 1;
    }
  }
  return terms;
}

// Term -> page files, from the terms and the postings; `files` are the pages
// in the order of the menu.
std::map<std::string, std::set<std::string>> Postings(const nlohmann::json& index,
                                                      const Strings& files) {
  const std::string last = "abcdefghijklmnopqrstuvwxyz012345";
  const std::string more = "ABCDEFGHIJKLMNOPQRSTUVWXYZ6789$_";
  const Strings terms = Terms(index);
  const Strings lists = Split(index["postings"].get<std::string>(), ' ');
  EXPECT_EQ(terms.size(), lists.size());
  std::map<std::string, std::set<std::string>> result;
  for (size_t i = 0; i < terms.size() && i < lists.size(); ++i) {
    std::vector<size_t> pages;
    if (lists[i].starts_with("~")) {
      const std::string digits = last + more;
      for (size_t k = 1; k < lists[i].size(); ++k) {
        const size_t bits = digits.find(lists[i][k]);
        for (size_t b = 0; b < 6; ++b) {
          if (bits & (size_t{1} << b)) pages.push_back((k - 1) * 6 + b);
        }
      }
    } else {
      size_t value = 0;
      for (char c : lists[i]) {
        if (const size_t digit = more.find(c); digit != std::string::npos) {
          value = value * 32 + digit;
          continue;
        }
        value = value * 32 + last.find(c);
        pages.push_back(pages.empty() ? value : pages.back() + value);
        value = 0;
      }
    }
    for (size_t page : pages) {
      result[terms[i]].insert(files.at(page));
    }
  }
  return result;
}

TEST(SearchIndex, BothEncodingsGiveTheSameIndex) {
  const SearchIndexBuilder builder = SampleSite();
  EXPECT_EQ(builder.page_count(), 4u);
  for (const auto encoding : {support::EncodingAnsi, support::EncodingUtf8}) {
    SCOPED_TRACE(encoding);
    TempDir temp;
    fs::create_directories(temp.path() / "tfiles");
    // A text file of an earlier, bigger build must not survive.
    testing::WriteBytes(temp.path() / "tfiles/search-text-7.js", "old");
    ASSERT_TRUE(builder.Write(temp.path().string() + "/", std::to_string(encoding)).ok());
    EXPECT_FALSE(fs::exists(temp.path() / "tfiles/search-text-7.js"));

    const std::string raw = ReadBytes(temp.path() / kSearchIndexFile);
    if (encoding == support::EncodingAnsi) {
      EXPECT_NE(raw.find("\xB0\xB2\xD7\xB0"), std::string::npos);  // 安装 in code page 936
      EXPECT_NE(raw.find("\\ud55c"), std::string::npos);           // 한 escaped
      EXPECT_EQ(raw.find("&#"), std::string::npos);
    } else {
      EXPECT_NE(raw.find("한국"), std::string::npos);
    }
    const nlohmann::json index = ReadIndex(temp.path() / kSearchIndexFile, encoding);
    EXPECT_EQ(index["count"], 4);
    const auto postings = Postings(index, {"guide.htm", "guide.1.htm", "guide.1.1.htm", "faq.htm"});
    // Titles count as text of their page.
    using Files = std::set<std::string>;
    EXPECT_EQ(postings.at("安装"), (Files{"guide.1.htm", "faq.htm"}));
    EXPECT_EQ(postings.at("setup"), (Files{"guide.1.htm", "guide.1.1.htm"}));
    EXPECT_EQ(postings.at("tessarine"), (Files{"guide.htm", "guide.1.htm"}));
    EXPECT_EQ(postings.at("한국"), (Files{"guide.1.1.htm"}));
    EXPECT_EQ(postings.count("装安") + postings.count("安"), 0u);
    // The terms are sorted as the search script compares strings (the same
    // as byte order for characters below U+D800), each once; "script" and
    // "setup" share their first letter.
    Strings sorted;
    for (const auto& [term, files] : postings) sorted.push_back(term);
    EXPECT_EQ(Terms(index), sorted);
    EXPECT_NE(index["terms"].get<std::string>().find("script|etup"), std::string::npos);

    // The snippet text: one file of up to 200 pages, the same text either way.
    const std::string text =
        support::DecodeText(ReadBytes(temp.path() / "tfiles/search-text-0.js")
                                .substr(encoding == support::EncodingUtf8 ? 3 : 0),
                            encoding);
    const std::string head = "tessarineSearchText(0,";
    ASSERT_EQ(text.substr(0, head.size()), head);
    const auto pages =
        nlohmann::json::parse(text.substr(head.size(), text.rfind(");") - head.size()));
    EXPECT_EQ(pages,
              nlohmann::json::parse(R"(["欢迎使用 Tessarine。","安装 Tessarine 前请阅读 Setup。",
        "setup setup 한국어 €5 \\ </script>","安装"])"));
    // "</script>" inside a string cannot end an inline script early.
    EXPECT_EQ(text.find("</script>"), std::string::npos);
  }
}

// The terms are gathered on the builder's own thread as documents come: the
// index must not depend on when it catches up, on a builder being moved, or
// on documents added after an index was made.
TEST(SearchIndex, GatheringAlongsideTheBuildGivesOneIndex) {
  SectionTable many;
  for (int k = 0; k < 300; ++k) {
    many.push_back(Row("1", "第" + std::to_string(k) + "页", "m" + std::to_string(k) + ".htm",
                       "<p>word" + std::to_string(k % 37) + " 共同 shared</p>"));
  }
  const std::string first = SampleSite().IndexScript(false);
  SearchIndexBuilder builder = SampleSite();
  builder.AddDocument(many);
  const std::string whole = builder.IndexScript(false);
  EXPECT_EQ(builder.IndexScript(false), whole);

  SearchIndexBuilder moved = SampleSite();
  EXPECT_EQ(moved.IndexScript(false), first);  // made before the last document
  SearchIndexBuilder target(std::move(moved));
  target.AddDocument(many);
  EXPECT_EQ(target.page_count(), 304u);
  EXPECT_EQ(target.IndexScript(false), whole);
  EXPECT_NE(whole.find("\"count\":304"), std::string::npos);
}

// The files of a folder, name -> bytes.
std::map<std::string, std::string> Files(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    files[entry.path().filename().string()] = ReadBytes(entry.path());
  }
  return files;
}

// Snippet files written along the build, page by page, are those Write makes
// at the end; until Write they wait under names no reader asks for, and a
// builder dropped without writing leaves nothing behind. The pages come to
// more HTML than the worker may have waiting, so adding them waits for it.
TEST(SearchIndex, TextsWrittenAlongTheBuildMatchTheOnesWrittenAtTheEnd) {
  SectionTable table;
  const std::string hidden = "<!--" + std::string(30000, 'x') + "-->";
  for (size_t i = 0; i < 2 * kTextChunk + 3; ++i) {
    table.push_back(
        Row("1", "页" + std::to_string(i), "p" + std::to_string(i) + ".htm",
            "<p>第" + std::to_string(i % 7) + "节 word" + std::to_string(i) + "</p>" + hidden));
  }
  for (const std::string encoding : {"0", "1"}) {
    SCOPED_TRACE(encoding);
    TempDir at_end;
    fs::create_directories(at_end.path() / "tfiles");
    SearchIndexBuilder plain;
    plain.AddDocument(table);
    ASSERT_TRUE(plain.Write(at_end.path().string() + "/", encoding).ok());

    TempDir along;
    const std::string out = along.path().string() + "/";
    {
      SearchIndexBuilder dropped;
      dropped.WriteTextsAlong(out, encoding);
      dropped.AddDocument(table);
      EXPECT_EQ(dropped.page_count(), table.size());
    }
    EXPECT_TRUE(!fs::exists(along.path() / "tfiles") || Files(along.path() / "tfiles").empty());

    SearchIndexBuilder builder;
    builder.WriteTextsAlong(out, encoding);
    for (const Section& row : table) builder.AddPage(row.Title, row.Body);
    EXPECT_EQ(builder.text_bytes(), plain.text_bytes());  // waits for the worker
    // The two full files are written already, the last one is Write's.
    const auto waiting = Files(along.path() / "tfiles");
    EXPECT_EQ(waiting.size(), 2u);
    for (const auto& [name, bytes] : waiting) {
      EXPECT_TRUE(name.starts_with(".search-text-")) << name;
    }
    ASSERT_TRUE(builder.Write(out, encoding).ok());
    EXPECT_EQ(Files(along.path() / "tfiles"), Files(at_end.path() / "tfiles"));
  }
}

TEST(SearchIndex, ManyPagesSplitTheTextAndTurnedOffLeavesNothing) {
  SearchIndexBuilder builder;
  SectionTable table;
  for (size_t i = 0; i < kTextChunk + 1; ++i) {
    table.push_back(Row(i == 0 ? "0" : "1", "页" + std::to_string(i),
                        "p" + std::to_string(i) + ".htm", "<p>word" + std::to_string(i) + "</p>"));
  }
  builder.AddDocument(table);
  TempDir temp;
  fs::create_directories(temp.path() / "tfiles");
  const std::string out = temp.path().string() + "/";
  ASSERT_TRUE(builder.Write(out, "1").ok());
  EXPECT_TRUE(fs::exists(temp.path() / "tfiles/search-text-1.js"));
  EXPECT_FALSE(fs::exists(temp.path() / "tfiles/search-text-2.js"));
  Strings files;
  for (const Section& row : table) files.push_back(row.PageFile);
  const auto postings =
      Postings(ReadIndex(temp.path() / kSearchIndexFile, support::EncodingUtf8), files);
  EXPECT_EQ(postings.at("word200"), (std::set<std::string>{"p200.htm"}));
  // On every page: written as a bitmap, read back whole.
  EXPECT_EQ(postings.at("页").size(), kTextChunk + 1);
  EXPECT_NE(ReadBytes(temp.path() / kSearchIndexFile).find("~"), std::string::npos);

  SearchIndexBuilder off(false);
  off.AddDocument(table);
  EXPECT_EQ(off.page_count(), 0u);
  ASSERT_TRUE(off.Write(out, "1").ok());
  EXPECT_EQ(ReadBytes(temp.path() / kSearchIndexFile), "\xEF\xBB\xBFtessarineSearchIndex(null);\n");
  EXPECT_FALSE(fs::exists(temp.path() / "tfiles/search-text-0.js"));
}

}  // namespace
}  // namespace tessarine::site
