#include "site/sections.h"

#include <array>
#include <string>
#include <utility>

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
  for (const TitlePass& pass : kTitlePasses) {
    auto next = support::RegexpReplace(text, pass.pattern, pass.replacement);
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

Section HomeRow(std::string_view node_name) {
  Section home;
  home.HeadingHtml = std::string(node_name);
  home.Level = "0";
  home.Title = std::string(node_name);
  home.PlainTitle = std::string(node_name);
  return home;
}

}  // namespace

Result<SectionTable> SplitSections(std::string_view body, std::string_view parse_level,
                                   std::string_view node_name) {
  // A level outside the list would build a pattern that matches "<hr>" and
  // "<html>" (no levels) or nothing sensible; only a project file edited by
  // hand can carry one.
  if (parse_level.size() != 1 || parse_level[0] < '0' || parse_level[0] > '8') {
    return Status::Error("ParseLevel \"" + std::string(parse_level) +
                         "\" is not a heading level index from 0 to 8");
  }
  const int deepest_level = parse_level[0] - '0' + 1;

  SectionTable table;
  table.push_back(HomeRow(node_name));
  support::RegexMatcher headings(HeadingPattern(deepest_level), body);
  while (headings.Next()) {
    const support::RegexMatch& match = headings.match();
    Section row;
    row.HeadingHtml = std::string(match.value);
    row.HeadingPos = match.offset;
    row.HeadingLen = match.value.size();
    const std::string_view element_level = match.Group(kElementLevelGroup);
    row.Level =
        std::string(element_level.empty() ? match.Group(kParagraphLevelGroup) : element_level);
    table.push_back(std::move(row));
  }
  if (!headings.status()) return headings.status();

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

}  // namespace tessarine::site
