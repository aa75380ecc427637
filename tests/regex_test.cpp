#include "support/regex.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/text_file.h"
#include "test_support.h"

namespace tessarine::support {
namespace {

std::string Replace(std::string_view text, std::string_view pattern, std::string_view with) {
  auto result = RegexpReplace(text, pattern, with);
  EXPECT_TRUE(result.ok()) << result.message();
  return result.value_or("<error>");
}

bool Matches(std::string_view pattern, std::string_view text) {
  auto result = RegexpTest(pattern, text);
  EXPECT_TRUE(result.ok()) << result.message();
  return result.value_or(false);
}

struct TestCase {
  const char* pattern;
  const char* text;
  bool matches;
};

// The meaning the clean-up passes rely on, one row per rule of the dialect.
TEST(RegexDialect, MatchesAsTheDialectDoes) {
  const std::vector<TestCase> cases = {
      // Case-insensitive everywhere: literals, sets, non-ASCII letters.
      {"^\\.[a-zA-Z0-9]+$", ".HTM", true},
      {"[^a-z0-9]+", "Doc2", false},
      {"\u00e9t\u00e9", "\u00c9T\u00c9", true},
      // `$` anchors only at the very end of the whole text, `^` at its start.
      {"^\\.[a-zA-Z0-9]+$", ".htm\n", false},
      {"^\\.[a-zA-Z0-9]+$", ".htm x", false},
      {"^b", "a\nb", false},
      // A dot stops at CR and at LF; the any-character idiom crosses both.
      {"a.b", "a\rb", false},
      {"a.b", "a\nb", false},
      {"a.b", "a\tb", true},
      {"a([^a]|a)+?b", "a\r\nb", true},
      {"a(?:[^a]|a)b", "a\nb", true},
      // \w and \s are ASCII classes; NBSP and the ideographic space are not \s.
      {"^\\w$", "\u00e9", false},
      {"^\\s$", "\u00a0", false},
      {"^\\s$", "\u3000", false},
      {"^\\s+$", " \t\r\n\f", true},
      // \v is only the vertical tab.
      {"a\\vb", "a\nb", false},
      {"a\\vb", "a\vb", true},
      // A backslash before a letter without meaning is the letter itself.
      {"^\\e\\h\\R\\K\\Q\\z$", "ehRKQz", true},
      {"^\\p$", "p", true},
      // "[" inside a set is a plain character, never a POSIX class.
      {"^[[:alpha:]]$", ":]", true},
      {"^[[:alpha:]]$", "b", false},
      // Empty and negated empty sets.
      {"a[]", "a", false},
      {"^a[^]b$", "a\nb", true},
      // \xHH and \uHHHH.
      {"^\\x41\\u4e2d$", "a\u4e2d", true},
      {"^\\xZ$", "xZ", true},
      // A quantified negative lookahead is that lookahead, tested once.
      {"^<(?!(p|/p|br))+?[^>]*?>$", "<span>", true},
      {"^<(?!(p|/p|br))+?[^>]*?>$", "<pre>", false},
      // Escaped hyphen, dot and braces in a set.
      {"^[a-z0-9_\\-\\.]+$", "download-2.0", true},
      {"^[^\\|]+\\|[a-z0-9_\\-\\.]+$", "\u5e38\u89c1\u95ee\u9898|faq", true},
      {"^[^\\|]+\\|[a-z0-9_\\-\\.]+$", "a|b|c", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Matches(c.pattern, c.text), c.matches) << "pattern " << c.pattern << " on " << c.text;
  }
}

TEST(RegexDialect, BackReferencesIgnoreCaseAndUnsetGroupsMatchEmpty) {
  // Word writes smart tags with mixed case; the end tag names them differently.
  EXPECT_EQ(Replace("<st1:PersonName w:st=\"on\">\u5f20\u4e09</ST1:personname>",
                    "<(st[0-9]+:\\w+)[^>]*?>((?:[^a]|a)+?)</\\1>", "$2"),
            "\u5f20\u4e09");
  // A back-reference to a group that did not take part matches nothing.
  EXPECT_TRUE(Matches("^(?:(a)|b)\\1c$", "bc"));
  // ... and expands to nothing in a replacement.
  EXPECT_EQ(Replace("b", "(a)|b", "[$1]"), "[]");
  EXPECT_EQ(Replace("<p style=''>x</p>", "(<\\w+\\s+[^>]*?)style=(['\"])\\s*?\\2([^>]*?>)", "$1$3"),
            "<p >x</p>");
}

TEST(RegexReplace, ExpandsTheReplacementLikeTheDialect) {
  const std::string twelve = "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)";
  struct Row {
    std::string pattern, text, replacement, expected;
  };
  const std::vector<Row> rows = {
      {twelve, "abcdefghijkl", "$10$12$1", "jla"},
      {"(a)(b)(c)", "abc", "$10", "a0"},  // $1 then a literal 0
      {"(a)(b)(c)", "abc", "$03", "c"},
      {"(a)", "a", "$0", "$0"},
      {"(a)", "a", "$5", "$5"},
      {"(a)", "a", "$$1", "$1"},
      {"b", "abc", "[$&]", "a[b]c"},
      {"b", "abc", "[$`|$']", "a[a|c]c"},
      {"b", "abc", "$", "a$c"},
      {"b", "abc", "$x", "a$xc"},
      {"(b)", "abc", "\\1", "a\\1c"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(Replace(r.text, r.pattern, r.replacement), r.expected)
        << r.pattern << " with " << r.replacement;
  }
}

TEST(RegexReplace, AnEmptyMatchAdvancesOneCharacter) {
  EXPECT_EQ(Replace("aaa", "a??", "-"), "-a-a-a-");
  EXPECT_EQ(Replace("abc", "b*", "-"), "-a--c-");
  // One character is a whole UTF-8 sequence.
  EXPECT_EQ(Replace("\u4e2d\u6587", "x*", "-"), "-\u4e2d-\u6587-");
  EXPECT_EQ(Replace("", "x*", "-"), "-");
  EXPECT_EQ(Replace("", "x", "-"), "");
  EXPECT_EQ(Replace("abc", "x", "-"), "abc");
}

TEST(RegexReplace, ResumesAfterEachMatchWithoutOverlap) {
  EXPECT_EQ(Replace("aaaa", "aa", "b"), "bb");
  EXPECT_EQ(Replace("<b><i>x</i></b>", "<[^>]*?>", ""), "x");
}

TEST(RegexReplaceRepeat, RemovesEveryMsoDeclarationToAFixedPoint) {
  const char* pattern =
      "(<\\w+\\s+[^>]*?style='[^'>]*?)(mso-[\\w\\-]+:[^;'>]+;?)+([^'>]*?'[^>]*?>)";
  const std::string tag =
      "<span style='mso-a:1;mso-b:2;color:red;mso-c:3;font-size:9pt;mso-d:x'>t</span>";
  // One pass removes one run of declarations per tag.
  const std::string once = Replace(tag, pattern, "$1$3");
  EXPECT_NE(once.find("mso-"), std::string::npos);
  auto repeated = RegexpReplaceRepeat(tag, pattern, "$1$3");
  ASSERT_TRUE(repeated.ok()) << repeated.message();
  EXPECT_EQ(*repeated, "<span style='color:red;font-size:9pt;'>t</span>");
}

TEST(RegexReplaceRepeat, EmptySpansThatNestGoLayerByLayer) {
  auto result = RegexpReplaceRepeat("a<span><span class=x><span></span></span></span>b",
                                    "<span(?:\\s+[^>]*)?></span>", "");
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(*result, "ab");
}

TEST(RegexSubMatch, GivesTheGroupOfTheFirstMatchOrNothing) {
  const std::string css = "@page Section1\n{size:595.3pt 841.9pt;\n margin:72.0pt 90.0pt;}";
  auto size = RegexpSubMatch(css, "@page Section1\\s*?\\{size:([0-9\\.]+)pt", 0);
  ASSERT_TRUE(size.ok());
  EXPECT_EQ(*size, "595.3");
  auto none = RegexpSubMatch(css, "@page Section9", 0);
  ASSERT_TRUE(none.ok());
  EXPECT_EQ(*none, "");
  auto unset = RegexpSubMatch("b", "(a)?b", 0);
  ASSERT_TRUE(unset.ok());
  EXPECT_EQ(*unset, "");
}

TEST(RegexGetElement, CutsTheElementAtItsOwnEndTag) {
  const char* footer_pattern = "<div style='mso-element:footer' id=f1>(?:[^a]|a)*</div>";
  const std::string footer =
      "<div style='mso-element:footer' id=f1>\r\n<div class=a><div>1</div></div>\r\n"
      "<p>f</p></div>";
  const std::string text = "<div style='mso-element:header' id=h1>h</div>\r\n" + footer +
                           "\r\n<div style='mso-element:footer' id=ff1>x</div>\r\n<div>y</div>";
  auto element = RegexpGetElement(text, "div", footer_pattern);
  ASSERT_TRUE(element.ok()) << element.message();
  EXPECT_EQ(*element, footer);

  // Without its end tag the whole first match comes back.
  const std::string broken = "<div style='mso-element:footer' id=f1><div>a</div>b</div>";
  auto unbalanced = RegexpGetElement(broken, "div", footer_pattern);
  ASSERT_TRUE(unbalanced.ok());
  EXPECT_EQ(*unbalanced, broken.substr(0));
  auto missing_end =
      RegexpGetElement("<div style='mso-element:footer' id=f1><div>a</div>", "div", footer_pattern);
  ASSERT_TRUE(missing_end.ok());
  EXPECT_EQ(*missing_end, "<div style='mso-element:footer' id=f1><div>a</div>");

  auto absent = RegexpGetElement("<p>no footer</p>", "div", footer_pattern);
  ASSERT_TRUE(absent.ok());
  EXPECT_EQ(*absent, "");
}

TEST(RegexMatcher, WalksMatchesWithOffsetsAndGroups) {
  const std::string body = "<h1>A</h1>x<p class=MsoHeading2>B</p><h3 id=q>C</h3>";
  RegexMatcher m(
      "(<h([1-9])[^>]*>((?:[^a]|a)*?)</h\\2>|<p class=MsoHeading([1-9])>((?:[^a]|a)*?)</p>)", body);
  std::vector<std::string> levels;
  std::vector<size_t> offsets;
  while (m.Next()) {
    const auto& match = m.match();
    levels.emplace_back(match.Group(1).empty() ? match.Group(3) : match.Group(1));
    offsets.push_back(match.offset);
    EXPECT_EQ(body.substr(match.offset, match.value.size()), match.value);
  }
  ASSERT_TRUE(m.status().ok());
  EXPECT_EQ(levels, (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(offsets, (std::vector<size_t>{0, 11, 37}));

  auto all = RegexpExecute("(a)|(b)", "ab");
  ASSERT_TRUE(all.ok());
  ASSERT_EQ(all->size(), 2u);
  EXPECT_EQ((*all)[1].groups[0], std::nullopt);
  EXPECT_EQ((*all)[1].groups[1], std::optional<std::string>("b"));
}

TEST(RegexErrors, ABadPatternOrExhaustedResourcesAreErrorsNotMisses) {
  auto bad = RegexpReplace("text", "(unclosed", "");
  ASSERT_FALSE(bad.ok());
  EXPECT_NE(bad.message().find("(unclosed"), std::string::npos);
  EXPECT_FALSE(RegexpTest("[z-a]", "x").ok());

  RegexMatcher matcher("a(", "aaa");
  EXPECT_FALSE(matcher.Next());
  EXPECT_FALSE(matcher.status().ok());

  // A capturing group repeated once per character needs a backtracking frame
  // per character; over a few megabytes that exhausts the bounded stack and
  // must surface as an error, not as "no match".
  const std::string huge(6 * 1024 * 1024, 'a');
  auto exhausted = RegexpReplace(huge + "b", "(a|aa)*?c", "");
  ASSERT_FALSE(exhausted.ok());
  EXPECT_NE(exhausted.message().find("regular expression failed"), std::string::npos);
}

TEST(RegexIdiom, AMultiMegabyteCommentIsRemovedWithoutExhaustingTheStack) {
  const std::string comment = "<!--" + std::string(3 * 1024 * 1024, 'x') + "\r\n-->";
  const std::string text = "<p>a</p>" + comment + "<p>b</p>";
  EXPECT_EQ(Replace(text, "<!--([^a]|a)*?-->", ""), "<p>a</p><p>b</p>");
  EXPECT_EQ(Replace(text, "<!--(?:[^a]|a)*-->", "[$1]"), "<p>a</p>[$1]<p>b</p>");
  // The capturing idiom keeps its group: it holds the last character taken.
  EXPECT_EQ(Replace("<!--xyz-->", "<!--([^a]|a)*?-->", "$1"), "z");
  EXPECT_EQ(Replace("<!--xyz-->", "<!--([^a]|a)+-->", "$1"), "z");
  EXPECT_EQ(Replace("<!---->", "<!--([^a]|a)*?-->", "[$1]"), "[]");
}

// The idiom rewrite must not change any result. "[a]" in place of the bare
// letter is the same pattern to the dialect but is not rewritten, so the two
// forms run through different machinery over Word's real output.
std::string Literal(std::string pattern) {
  for (const char* idiom : {"[^a]|a)", "a|[^a])"}) {
    std::string written(idiom);
    std::string literal = written == "[^a]|a)" ? "[^a]|[a])" : "[a]|[^a])";
    for (size_t at = pattern.find(written); at != std::string::npos;
         at = pattern.find(written, at + literal.size())) {
      pattern.replace(at, written.size(), literal);
    }
  }
  return pattern;
}

// Every page of Word's own HTML among the shared samples, decoded.
std::vector<std::string> WordHtmlSamples() {
  std::vector<std::string> texts;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(testing::SharedDir() / "wordhtml-samples")) {
    const auto ext = entry.path().extension();
    if (ext != ".htm" && ext != ".html") continue;
    texts.push_back(ReadTextFile(entry.path().string()));
    EXPECT_FALSE(texts.back().empty()) << entry.path();
  }
  return texts;
}

TEST(RegexIdiom, RewriteGivesByteIdenticalOutputOnWordHtml) {
  TESSARINE_SKIP_WITHOUT_SHARED_INPUTS();
  struct Pass {
    const char* pattern;
    const char* replacement;
  };
  const std::vector<Pass> passes = {
      {"<p class=MsoToc[^>]*?>((?:[^a]|a)*?)</p>", ""},
      {"<!\\[if !supportMisalignedColumns\\]>([^a]|a)+?<tr height=0>([^a]|a)+?<!\\[endif\\]>", ""},
      {"<!--\\[if mso[^>]*?>([^a]|a)*?<!\\[endif\\]-->", "[$1]"},
      {"<!--([^a]|a)*?-->", "<$1>"},
      {"<!\\[if !vml\\]>(([^a]|a)+?)<!\\[endif\\]>", "$1|$2"},
      {"<(st[0-9]+:\\w+)[^>]*?>((?:[^a]|a)+?)</\\1>", "$2"},
      {"(<h([1-9])[^>]*>((?:[^a]|a)*?)</h\\2>|<p class=MsoHeading([1-9])>((?:[^a]|a)*?)</p>)",
       "{$2$4:$3$5}"},
      {"<style>(?:[^a]|a)*</style>", "<style/>"},
      {"<div style='mso-element:footer' id=f1>(?:[^a]|a)*</div>", "[footer]"},
  };
  for (const auto& pass : passes) ASSERT_NE(Literal(pass.pattern), pass.pattern);
  int compared = 0;
  for (const std::string& text : WordHtmlSamples()) {
    for (const auto& pass : passes) {
      auto rewritten = RegexpReplace(text, pass.pattern, pass.replacement);
      auto literal = RegexpReplace(text, Literal(pass.pattern), pass.replacement);
      ASSERT_TRUE(rewritten.ok()) << rewritten.message();
      if (!literal.ok()) continue;  // the unrewritten form may run out of stack
      EXPECT_EQ(*rewritten, *literal) << pass.pattern;
      ++compared;
    }
  }
  EXPECT_GT(compared, 100);
}

// Text checked once goes to the engine without a second check: every service
// must give for it exactly what it gives for the same text as a plain view,
// over Word's real output, and only well-formed UTF-8 passes the check.
TEST(RegexValidUtf8, CheckedTextGivesWhatAPlainViewGives) {
  for (std::string_view bad : {std::string_view("a\xC0\xAF"
                                                "b"),
                               std::string_view("\xED\xA0\x80"), std::string_view("ab\xE4\xB8"),
                               std::string_view("\xF4\x90\x80\x80"), std::string_view("\xFF")}) {
    EXPECT_FALSE(ValidUtf8::Check(bad).has_value()) << bad;
    auto plain = RegexpReplace(bad, "b", "c");
    ASSERT_FALSE(plain.ok());
    EXPECT_NE(plain.message().find("UTF-8"), std::string::npos) << plain.message();
  }
  // A long ASCII run with one fault far inside it, where the check reads
  // eight bytes at a time.
  EXPECT_FALSE(ValidUtf8::Check(std::string(1001, 'a') + "\x80" + std::string(64, 'b')));
  EXPECT_TRUE(ValidUtf8::Check(std::string(1001, 'a') + "\xE4\xB8\xAD\xF0\x9F\x98\x80"));
  // What a replacement puts into valid text must be valid too.
  EXPECT_FALSE(RegexpReplace(ValidUtf8::Known("abc"), "b", "\xC3").ok());

  TESSARINE_SKIP_WITHOUT_SHARED_INPUTS();
  int compared = 0;
  for (const std::string& text : WordHtmlSamples()) {
    const std::optional<ValidUtf8> valid = ValidUtf8::Check(text);
    ASSERT_TRUE(valid);
    const char* kStyle =
        R"re((<\w+\s+[^>]*?style='[^'>]*?)(mso-[\w\-]+:[^;'>]+;?)+([^'>]*?'[^>]*?>))re";
    EXPECT_EQ(RegexpReplace(*valid, kStyle, "$1$3").value_or("a"),
              RegexpReplace(text, kStyle, "$1$3").value_or("b"));
    EXPECT_EQ(RegexpReplaceRepeat(*valid, kStyle, "$1$3").value_or("a"),
              RegexpReplaceRepeat(text, kStyle, "$1$3").value_or("b"));
    // Into a string that held a longer text: its content goes, its room is used.
    // Without a match it says so and leaves nothing.
    std::string into(text.size() + 100, 'x');
    const std::string replaced = RegexpReplace(text, kStyle, "$1$3").value_or("b");
    EXPECT_EQ(RegexpReplaceInto(*valid, kStyle, "$1$3", into).value_or(false), replaced != text);
    EXPECT_EQ(into, replaced != text ? replaced : "");
    EXPECT_FALSE(RegexpReplaceInto(*valid, "<no such tag>", "", into).value_or(true));
    EXPECT_TRUE(into.empty());
    EXPECT_EQ(RegexpTest("<table", *valid).value_or(false),
              RegexpTest("<table", text).value_or(true));
    EXPECT_EQ(RegexpSubMatch(*valid, "<title>([^<]*)", 0).value_or("a"),
              RegexpSubMatch(text, "<title>([^<]*)", 0).value_or("b"));
    EXPECT_EQ(RegexpGetElement(*valid, "div", "<div[^>]*>(?:[^a]|a)*</div>").value_or("a"),
              RegexpGetElement(text, "div", "<div[^>]*>(?:[^a]|a)*</div>").value_or("b"));
    const auto all_valid = RegexpExecute("<(span|a)\\b[^>]*>", *valid);
    const auto all_plain = RegexpExecute("<(span|a)\\b[^>]*>", text);
    ASSERT_TRUE(all_valid.ok() && all_plain.ok());
    ASSERT_EQ(all_valid->size(), all_plain->size());
    for (size_t i = 0; i < all_valid->size(); ++i) {
      EXPECT_EQ((*all_valid)[i].value, (*all_plain)[i].value);
      EXPECT_EQ((*all_valid)[i].offset, (*all_plain)[i].offset);
    }
    ++compared;
  }
  EXPECT_GT(compared, 10);
}

}  // namespace
}  // namespace tessarine::support
