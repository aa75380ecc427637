#include "site/sections.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <string>
#include <utility>
#include <vector>

#include "support/regex.h"

namespace tessarine::site {
namespace {

using support::Result;
using support::Status;

// A heading that starts a page: an hN element with any attributes up to the
// end tag of the same level, or a paragraph whose start tag is exactly the
// class MsoHeadingN (Word's heading style where it does not write hN), up to
// the first paragraph end. Both "{levels}" become the split levels ("1|2|3").
// Groups: 2 = level of an hN element, 4 = level of an MsoHeading paragraph.
constexpr std::string_view kHeadingPatternTemplate =
    R"re((<h({levels})[^>]*>((?:[^a]|a)*?)</h\2>|<p class=MsoHeading({levels})>((?:[^a]|a)*?)</p>))re";
constexpr std::string_view kLevelsPlaceholder = "{levels}";
constexpr size_t kElementLevelGroup = 1;    // group 2, counted from 0
constexpr size_t kParagraphLevelGroup = 3;  // group 4, counted from 0

// Word's automatic list number: "<![if !supportLists]>...3.1...<![endif]>".
constexpr std::string_view kListNumberBlock =
    R"re(<!\[if !supportLists\]>([^a]|a)*?<!\[endif\]>)re";

// Heading text for titles, in this order: tags (and Word's conditional
// markers) go; line breaks inside the text are deleted, not made spaces,
// because Word wraps long lines wherever a space falls; "&nbsp;" runs and
// space runs become one space.
constexpr std::string_view kAnyTag = R"re(<([^a]|a)*?>)re";
constexpr std::string_view kLineBreakRun = R"re([\r\n]+)re";
constexpr std::string_view kNbspRun = R"re((&nbsp;)+)re";
constexpr std::string_view kSpaceRun = R"re( +)re";

struct TitlePass {
  std::string_view pattern;
  std::string_view replacement;
};
constexpr std::array<TitlePass, 4> kTitlePasses = {{
    {kAnyTag, ""},
    {kLineBreakRun, ""},
    {kNbspRun, " "},
    {kSpaceRun, " "},
}};

std::string HeadingPattern(int deepest_level) {
  std::string levels;
  for (int level = 1; level <= deepest_level; ++level) {
    if (level > 1) levels += '|';
    levels += std::to_string(level);
  }
  std::string pattern(kHeadingPatternTemplate);
  for (size_t at = pattern.find(kLevelsPlaceholder); at != std::string::npos;
       at = pattern.find(kLevelsPlaceholder, at + levels.size())) {
    pattern.replace(at, kLevelsPlaceholder.size(), levels);
  }
  return pattern;
}

Result<std::string> TitleText(std::string_view heading_html) {
  std::string text(heading_html);
  // Checked once: each pass's result is as valid as the heading it read.
  const bool valid = support::ValidUtf8::Check(text).has_value();
  for (const TitlePass& pass : kTitlePasses) {
    auto next = valid ? support::RegexpReplace(support::ValidUtf8::Known(text), pass.pattern,
                                               pass.replacement)
                      : support::RegexpReplace(text, pass.pattern, pass.replacement);
    if (!next) return next;
    text = std::move(next).value();
  }
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

Result<std::string> PlainTitleText(std::string_view heading_html) {
  auto without_number = support::RegexpReplace(heading_html, kListNumberBlock, "");
  if (!without_number) return without_number;
  return TitleText(*without_number);
}

// A heading found in the body: where it stands and its level, 1 to 9.
struct HeadingMatch {
  size_t pos = 0;
  size_t len = 0;
  int level = 0;
};

constexpr std::string_view kOutlineDeclaration = "mso-outline-level";

bool StartsWithIgnoringCase(std::string_view text, size_t at, std::string_view prefix) {
  if (text.size() - std::min(at, text.size()) < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[at + i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

size_t FindIgnoringCase(std::string_view text, std::string_view piece, size_t from) {
  for (size_t at = text.find('<', from); at != std::string_view::npos;
       at = text.find('<', at + 1)) {
    if (StartsWithIgnoringCase(text, at, piece)) return at;
  }
  return std::string_view::npos;
}

// The tag starting at `at` ("<name" or "</name") has this name, ignoring case.
bool IsTag(std::string_view text, size_t at, std::string_view name) {
  if (!StartsWithIgnoringCase(text, at + 1, name)) return false;
  const size_t after = at + 1 + name.size();
  return after < text.size() && (text[after] == '>' || text[after] == '/' ||
                                 std::isspace(static_cast<unsigned char>(text[after])) != 0);
}

// The value of the first "mso-outline-level:N" in `declarations`; 0 when
// there is none or it is not a number.
int DeclaredOutlineLevel(std::string_view declarations) {
  for (size_t at = 0; at < declarations.size(); ++at) {
    at = declarations.find(kOutlineDeclaration, at);
    if (at == std::string_view::npos) return 0;
    size_t value = at + kOutlineDeclaration.size();
    while (value < declarations.size() && declarations[value] == ' ') ++value;
    if (value >= declarations.size() || declarations[value] != ':') continue;
    ++value;
    while (value < declarations.size() && declarations[value] == ' ') ++value;
    int level = 0;
    const char* begin = declarations.data() + value;
    const auto [stop, error] =
        std::from_chars(begin, declarations.data() + declarations.size(), level);
    return error == std::errc() && stop != begin ? level : 0;
  }
  return 0;
}

// The value of attribute `name` in a start tag: quoted with ' or ", or
// unquoted up to a blank or the tag end. Empty when the tag has none.
std::string_view AttributeValue(std::string_view tag, std::string_view name) {
  for (size_t at = 1; at + name.size() < tag.size(); ++at) {
    if (!std::isspace(static_cast<unsigned char>(tag[at - 1])) ||
        !StartsWithIgnoringCase(tag, at, name) || tag[at + name.size()] != '=') {
      continue;
    }
    size_t value = at + name.size() + 1;
    if (value < tag.size() && (tag[value] == '\'' || tag[value] == '"')) {
      const size_t end = tag.find(tag[value], value + 1);
      if (end == std::string_view::npos) return {};
      return tag.substr(value + 1, end - value - 1);
    }
    size_t end = value;
    while (end < tag.size() && tag[end] != '>' &&
           std::isspace(static_cast<unsigned char>(tag[end])) == 0) {
      ++end;
    }
    return tag.substr(value, end - value);
  }
  return {};
}

// True when the HTML shows any character: tags, comments, white space and
// "&nbsp;" do not count.
bool ShowsText(std::string_view html) {
  constexpr std::string_view kNbsp = "&nbsp;";
  for (size_t at = 0; at < html.size();) {
    const char c = html[at];
    if (c == '<') {
      const size_t end =
          html.compare(at, 4, "<!--") == 0 ? html.find("-->", at) : html.find('>', at);
      if (end == std::string_view::npos) return false;
      at = end + 1;
    } else if (html.compare(at, kNbsp.size(), kNbsp) == 0) {
      at += kNbsp.size();
    } else if (std::isspace(static_cast<unsigned char>(c)) != 0) {
      ++at;
    } else {
      return true;
    }
  }
  return false;
}

// Paragraphs outside tables and text boxes whose outline level is 1 to
// `deepest_level`, in document order. Word writes a text box twice: as VML
// inside a comment, and as the fallback for other browsers inside
// "<![if !vml]>...<![endif]>"; neither counts.
std::vector<HeadingMatch> OutlineParagraphs(std::string_view body, int deepest_level,
                                            const OutlineClasses& outline_classes) {
  constexpr std::string_view kCommentStart = "<!--";
  constexpr std::string_view kFallbackStart = "<![if !vml]>";
  std::vector<HeadingMatch> found;
  int tables = 0;
  std::vector<bool> conditions;  // open "<![if ...]>" blocks: true for a VML fallback
  int fallbacks = 0;
  for (size_t at = body.find('<'); at != std::string_view::npos; at = body.find('<', at + 1)) {
    if (body.compare(at, kCommentStart.size(), kCommentStart) == 0) {
      at = body.find("-->", at);
      if (at == std::string_view::npos) break;
    } else if (body.compare(at, 5, "<![if") == 0) {
      const bool fallback = body.compare(at, kFallbackStart.size(), kFallbackStart) == 0;
      conditions.push_back(fallback);
      fallbacks += fallback ? 1 : 0;
    } else if (body.compare(at, 10, "<![endif]>") == 0) {
      if (!conditions.empty()) {
        fallbacks -= conditions.back() ? 1 : 0;
        conditions.pop_back();
      }
    } else if (IsTag(body, at, "table")) {
      ++tables;
    } else if (IsTag(body, at, "/table")) {
      tables = std::max(tables - 1, 0);
    } else if (tables == 0 && fallbacks == 0 && IsTag(body, at, "p")) {
      const size_t tag_end = body.find('>', at);
      if (tag_end == std::string_view::npos) break;
      const std::string_view tag = body.substr(at, tag_end + 1 - at);
      int level = DeclaredOutlineLevel(AttributeValue(tag, "style"));
      if (level == 0) {
        const auto known = outline_classes.find(std::string(AttributeValue(tag, "class")));
        if (known != outline_classes.end()) level = known->second;
      }
      if (level < 1 || level > deepest_level) continue;
      const size_t end = FindIgnoringCase(body, "</p>", tag_end);
      if (end == std::string_view::npos) break;
      if (ShowsText(body.substr(tag_end + 1, end - tag_end - 1))) {
        found.push_back({at, end + 4 - at, level});
      }
      at = end + 3;
    }
  }
  return found;
}

// `outline` merged into `headings` by position, leaving out every outline
// paragraph that overlaps a heading.
std::vector<HeadingMatch> MergeHeadings(std::vector<HeadingMatch> headings,
                                        const std::vector<HeadingMatch>& outline) {
  std::vector<HeadingMatch> merged;
  merged.reserve(headings.size() + outline.size());
  size_t h = 0;
  for (const HeadingMatch& paragraph : outline) {
    while (h < headings.size() && headings[h].pos + headings[h].len <= paragraph.pos) {
      merged.push_back(headings[h++]);
    }
    const bool overlaps = h < headings.size() && headings[h].pos < paragraph.pos + paragraph.len;
    if (!overlaps) merged.push_back(paragraph);
  }
  merged.insert(merged.end(), headings.begin() + static_cast<std::ptrdiff_t>(h), headings.end());
  return merged;
}

Section HomeRow(std::string_view node_name) {
  Section home;
  home.HeadingHtml = std::string(node_name);
  home.Level = "0";
  home.Title = std::string(node_name);
  home.PlainTitle = std::string(node_name);
  return home;
}

}  // namespace

namespace {

Result<int> DeepestLevel(std::string_view parse_level) {
  // A level outside the list would build a pattern that matches "<hr>" and
  // "<html>" (no levels) or nothing sensible; only a project file edited by
  // hand can carry one.
  if (parse_level.size() != 1 || parse_level[0] < '0' || parse_level[0] > '8') {
    return Status::Error(
        support::StatusCode::kInvalidInput,
        "ParseLevel \"" + std::string(parse_level) + "\" is not a heading level index from 0 to 8");
  }
  return parse_level[0] - '0' + 1;
}

Result<std::vector<HeadingMatch>> BuiltInHeadings(std::string_view body, bool known_valid,
                                                  int deepest_level) {
  std::vector<HeadingMatch> found;
  const std::string pattern = HeadingPattern(deepest_level);
  support::RegexMatcher headings =
      known_valid ? support::RegexMatcher(pattern, support::ValidUtf8::Known(body))
                  : support::RegexMatcher(pattern, body);
  while (headings.Next()) {
    const support::RegexMatch& match = headings.match();
    const std::string_view element_level = match.Group(kElementLevelGroup);
    const std::string_view level =
        element_level.empty() ? match.Group(kParagraphLevelGroup) : element_level;
    found.push_back({match.offset, match.value.size(), level.empty() ? 0 : level[0] - '0'});
  }
  if (!headings.status()) return headings.status();
  return found;
}

Result<SectionTable> TableOf(std::string_view body, std::string_view node_name,
                             const std::vector<HeadingMatch>& headings) {
  SectionTable table;
  table.reserve(headings.size() + 1);
  table.push_back(HomeRow(node_name));
  for (const HeadingMatch& heading : headings) {
    Section row;
    row.HeadingHtml = std::string(body.substr(heading.pos, heading.len));
    row.HeadingPos = heading.pos;
    row.HeadingLen = heading.len;
    row.Level = std::to_string(heading.level);
    table.push_back(std::move(row));
  }

  if (table.size() == 1) {
    table[0].Body = std::string(body);
    return table;
  }

  table[0].Body = std::string(body.substr(0, table[1].HeadingPos));
  table[0].HasChildren = 1;
  for (size_t k = 1; k < table.size(); ++k) {
    Section& row = table[k];
    if (k > 1) {
      Section& previous = table[k - 1];
      const size_t end = previous.HeadingPos + previous.HeadingLen;
      previous.Body = std::string(body.substr(end, row.HeadingPos - end));
      // Levels are single digits, so comparing the texts compares the numbers.
      if (previous.Level < row.Level) previous.HasChildren = 1;
    }
    auto title = TitleText(row.HeadingHtml);
    if (!title) return title.status();
    row.Title = std::move(title).value();
    auto plain_title = PlainTitleText(row.HeadingHtml);
    if (!plain_title) return plain_title.status();
    row.PlainTitle = std::move(plain_title).value();
  }
  Section& last = table.back();
  last.Body = std::string(body.substr(last.HeadingPos + last.HeadingLen));
  return table;
}

// Both forms of SplitSections; without `outline_classes` only the built-in
// headings cut.
Result<SectionTable> Split(std::string_view body, bool known_valid, std::string_view parse_level,
                           std::string_view node_name, const OutlineClasses* outline_classes) {
  Result<int> deepest_level = DeepestLevel(parse_level);
  if (!deepest_level) return deepest_level.status();
  Result<std::vector<HeadingMatch>> headings = BuiltInHeadings(body, known_valid, *deepest_level);
  if (!headings) return headings.status();
  if (outline_classes == nullptr ||
      (outline_classes->empty() && body.find(kOutlineDeclaration) == std::string_view::npos)) {
    return TableOf(body, node_name, *headings);
  }
  return TableOf(body, node_name,
                 MergeHeadings(std::move(*headings),
                               OutlineParagraphs(body, *deepest_level, *outline_classes)));
}

}  // namespace

Result<SectionTable> SplitSections(std::string_view body, std::string_view parse_level,
                                   std::string_view node_name) {
  return Split(body, false, parse_level, node_name, nullptr);
}
Result<SectionTable> SplitSections(support::ValidUtf8 body, std::string_view parse_level,
                                   std::string_view node_name) {
  return Split(body.text(), true, parse_level, node_name, nullptr);
}

Result<SectionTable> SplitSections(std::string_view body, std::string_view parse_level,
                                   std::string_view node_name,
                                   const OutlineClasses& outline_classes) {
  return Split(body, false, parse_level, node_name, &outline_classes);
}
Result<SectionTable> SplitSections(support::ValidUtf8 body, std::string_view parse_level,
                                   std::string_view node_name,
                                   const OutlineClasses& outline_classes) {
  return Split(body.text(), true, parse_level, node_name, &outline_classes);
}

OutlineClasses OutlineLevelClasses(std::string_view style_sheet) {
  OutlineClasses classes;
  size_t rule_start = 0;
  for (size_t open = style_sheet.find('{'); open != std::string_view::npos;
       open = style_sheet.find('{', rule_start)) {
    const size_t close = style_sheet.find('}', open);
    if (close == std::string_view::npos) break;
    std::string_view selectors = style_sheet.substr(rule_start, open - rule_start);
    rule_start = close + 1;
    // A comment before the rule ("/* Style Definitions */") is no selector.
    if (const size_t comment_end = selectors.rfind("*/"); comment_end != std::string_view::npos) {
      selectors.remove_prefix(comment_end + 2);
    }
    const int level = DeclaredOutlineLevel(style_sheet.substr(open + 1, close - open - 1));
    if (level < 1 || level > 9) continue;
    for (size_t at = 0; (at = selectors.find("p.", at)) != std::string_view::npos; at += 2) {
      if (at > 0 && std::isalnum(static_cast<unsigned char>(selectors[at - 1])) != 0) continue;
      size_t end = at + 2;
      while (end < selectors.size() && selectors[end] != ',' && selectors[end] != '{' &&
             std::isspace(static_cast<unsigned char>(selectors[end])) == 0) {
        ++end;
      }
      if (end > at + 2) classes.emplace(std::string(selectors.substr(at + 2, end - at - 2)), level);
    }
  }
  return classes;
}

}  // namespace tessarine::site
