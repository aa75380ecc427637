#include "cleanup/head_style.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "support/regex.h"
#include "support/text_file.h"

namespace tessarine::cleanup {
namespace {

using support::RegexpReplace;
using support::RegexpReplaceRepeat;
using support::Result;
using support::Status;

constexpr std::string_view kCrLf = "\r\n";

// --- Head parse ------------------------------------------------------------

// Word wraps its document properties, its table-style sheet and other
// Word-only data in "<!--[if gte mso 9]>" ... "<![endif]-->"; the table-style
// sheet of cn-probability-formula sits in such a block ("gte mso 10").
constexpr std::string_view kWordOnlyHeadBlock =
    R"re(<!--\[if gte mso [0-9]+\]>([^a]|a)+?<!\[endif\]-->)re";

// --- Style parse -------------------------------------------------------------

// Only bare "<style>" start tags count: that is how Word writes its sheets.
constexpr std::string_view kStyleBlock = R"re(<style>([^a]|a)+?</style>)re";
constexpr std::string_view kStyleTag = R"re(</?style>)re";

// Word puts a page rule without size before the section rules ("@page\r\n
// {mso-page-border-surround-header:no;...}"); the patterns skip it because a
// rule body cannot run past its closing brace.
constexpr std::string_view kPageSize = R"re(@page\s[^\{]+?\{[^\}]*?size:([^;\}]+);[^\}]*?\})re";
constexpr std::string_view kPageMargin = R"re(@page\s[^\{]+?\{[^\}]*?margin:([^;\}]+);[^\}]*?\})re";

// --- Style optimize, selective mode --------------------------------------------

// 1. Smart-tag behaviour rules such as "st1\:*{behavior:url(#ieooui) }".
constexpr std::string_view kSmartTagBehaviourRule =
    R"re(st[0-9]+\\:\*\s*\{\s*behavior:url\(#ieooui\)[^\}]*?\})re";
// 2. VML behaviour rules of namespaces: "v\:* {behavior:url(#default#VML);}".
constexpr std::string_view kVmlNamespaceBehaviourRule =
    R"re([\w]+\\:\*\s*\{\s*behavior:url\(#default#VML\)[^\}]*?\})re";
// 3. VML behaviour rules of classes: ".shape {behavior:url(#default#VML);}".
constexpr std::string_view kVmlClassBehaviourRule =
    R"re([\w\.]+\s*\{\s*behavior:url\(#default#VML\)[^\}]*?\})re";
// 4, 5. The comment markers that hide the sheet from old browsers.
constexpr std::string_view kCommentOpen = R"re(<!--\s+)re";
constexpr std::string_view kCommentClose = R"re(\s+-->)re";
// 6. Comments of word characters and spaces only ("/* Font Definitions */").
constexpr std::string_view kPlainComment = R"re(/\*[\w\s]+\*/)re";
// 7. At-rules with one block: @page, @font-face, @list.
constexpr std::string_view kAtRule = R"re(@[^\{";]+?\{[^\}]*?\})re";
// 8. mso- properties inside rule bodies; one run per rule and round, so it
//    repeats until none is left.
constexpr std::string_view kMsoProperties = R"re((\{[^\}]*?)(mso-[\w\-]+:[^;\}]+;?)+([^}]*?\}))re";
constexpr std::string_view kMsoPropertiesReplacement = "$1$3";
// 9. Rules left without properties.
constexpr std::string_view kEmptyRule = R"re([^\s\}\{][^\}\{]+?\{\s*?\})re";
// 10, 11. One space before "{", none inside it; one rule per line.
constexpr std::string_view kRuleOpen = R"re(\s*\{\s*)re";
constexpr std::string_view kRuleOpenReplacement = " {";
constexpr std::string_view kRuleClose = R"re(\s*\}\s*)re";
constexpr std::string_view kRuleCloseReplacement = "}\r\n";
// 12. White space between properties, one gap per rule and round.
constexpr std::string_view kPropertyGap = R"re(\{((?:[\w\-]+:[^\};]+;)+)\s+([^\}]*?\}))re";
constexpr std::string_view kPropertyGapReplacement = "{$1$2";
// 13. Runs of line breaks.
constexpr std::string_view kLineBreaks = R"re((\r\n)+)re";
constexpr std::string_view kLineBreaksReplacement = "\r\n";
// 14. White space around the whole sheet.
constexpr std::string_view kSheetPadding = R"re(\s*([^\s](?:[^a]|a)+[^\s])\s*)re";
constexpr std::string_view kSheetPaddingReplacement = "$1";

struct StylePass {
  std::string_view pattern;
  std::string_view replacement;
  bool until_stable;  // RegexpReplaceRepeat rather than one RegexpReplace
  bool vml_only;      // runs only when the document's Opt1VML flag is on
};

constexpr std::array<StylePass, 14> kSelectivePasses = {{
    {kSmartTagBehaviourRule, "", false, false},
    {kVmlNamespaceBehaviourRule, "", false, true},
    {kVmlClassBehaviourRule, "", false, true},
    {kCommentOpen, "", false, false},
    {kCommentClose, "", false, false},
    {kPlainComment, "", false, false},
    {kAtRule, "", false, false},
    {kMsoProperties, kMsoPropertiesReplacement, true, false},
    {kEmptyRule, "", false, false},
    {kRuleOpen, kRuleOpenReplacement, false, false},
    {kRuleClose, kRuleCloseReplacement, false, false},
    {kPropertyGap, kPropertyGapReplacement, true, false},
    {kLineBreaks, kLineBreaksReplacement, false, false},
    {kSheetPadding, kSheetPaddingReplacement, false, false},
}};

// --- Body extraction -------------------------------------------------------------

// Word wraps each section in "<div class=WordSection1>"; the pages get their
// own wrapper later, so all div tags go.
constexpr std::string_view kDivStartTag = R"re(<div([^>])*?>)re";
constexpr std::string_view kDivEndTag = R"re(</div>)re";

// --- Helpers -------------------------------------------------------------------

bool EqualsIgnoreAsciiCase(char a, char b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return lower(a) == lower(b);
}

// Byte offset of the first (or last) occurrence of an ASCII needle, ignoring
// letter case; npos when absent.
size_t FindIgnoreCase(std::string_view text, std::string_view needle, bool last = false) {
  const auto found = last ? std::find_end(text.begin(), text.end(), needle.begin(), needle.end(),
                                          EqualsIgnoreAsciiCase)
                          : std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                                        EqualsIgnoreAsciiCase);
  if (found == text.end()) return std::string_view::npos;
  return static_cast<size_t>(found - text.begin());
}

// The text cut at every single space, as a split on one separator does:
// two spaces in a row give an empty piece.
std::vector<std::string_view> SplitAtSpaces(std::string_view text) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  for (;;) {
    const size_t space = text.find(' ', start);
    if (space == std::string_view::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, space - start));
    start = space + 1;
  }
}

// A size or margin value in points as a number text: spaces trimmed, every
// (case-sensitive) "pt" removed.
std::string WithoutPoints(std::string_view value) {
  const size_t first = value.find_first_not_of(' ');
  if (first == std::string_view::npos) return std::string();
  value = value.substr(first, value.find_last_not_of(' ') - first + 1);
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    if (value.substr(i, 2) == "pt") {
      ++i;
      continue;
    }
    out.push_back(value[i]);
  }
  return out;
}

}  // namespace

namespace {

// The head text before its clean-up, and where the rest begins.
std::pair<std::string_view, size_t> HeadAndRest(std::string_view word_html) {
  std::string_view rest = word_html;
  if (const size_t title_end = FindIgnoreCase(rest, "</title>");
      title_end != std::string_view::npos) {
    rest = rest.substr(title_end + std::string_view("</title>").size());
  }
  std::string_view head = rest;
  if (const size_t head_end = FindIgnoreCase(rest, "</head>"); head_end != std::string_view::npos) {
    head = rest.substr(0, head_end);
    rest = rest.substr(head_end + std::string_view("</head>").size());
  }
  return {head, word_html.size() - rest.size()};
}

}  // namespace

Result<HeadParts> ParseHead(std::string_view word_html) {
  const auto [head, rest_at] = HeadAndRest(word_html);
  auto cleaned = RegexpReplace(head, kWordOnlyHeadBlock, "");
  if (!cleaned) return cleaned.status();
  return HeadParts{std::move(cleaned).value(), std::string(word_html.substr(rest_at))};
}

Result<std::string> TakeHead(std::string& word_html) {
  const auto [head, rest_at] = HeadAndRest(word_html);
  auto cleaned = RegexpReplace(head, kWordOnlyHeadBlock, "");
  if (!cleaned) return cleaned.status();
  word_html.erase(0, rest_at);
  return cleaned;
}

Result<std::string> ParseStyleSheet(std::string_view head) {
  std::string sheet;
  support::RegexMatcher blocks(kStyleBlock, head);
  for (bool first = true; blocks.Next(); first = false) {
    if (!first) sheet.append(kCrLf);
    sheet.append(blocks.match().value);
  }
  if (!blocks.status()) return blocks.status();
  return RegexpReplace(sheet, kStyleTag, "");
}

Result<PageSetup> ReadPageSetup(std::string_view style_sheet) {
  PageSetup page;
  auto size = support::RegexpSubMatch(style_sheet, kPageSize, 0);
  if (!size) return size.status();
  page.size_text = std::move(size).value();
  auto margin = support::RegexpSubMatch(style_sheet, kPageMargin, 0);
  if (!margin) return margin.status();
  page.margin_text = std::move(margin).value();

  if (const auto pieces = SplitAtSpaces(page.size_text); pieces.size() == 2) {
    page.page_width = WithoutPoints(pieces[0]);
  }
  // CSS order: top, right, bottom, left.
  if (const auto pieces = SplitAtSpaces(page.margin_text); pieces.size() == 4) {
    page.right_margin = WithoutPoints(pieces[1]);
    page.left_margin = WithoutPoints(pieces[3]);
  }
  return page;
}

Result<std::string> ReadWordPage(const std::string& path) {
  errno = 0;
  if (std::ifstream probe(path, std::ios::binary); !probe) {
    const char* reason = errno != 0 ? std::strerror(errno) : "cannot be opened";
    return Status::Error(support::StatusCode::kIoFailed,
                         std::string(kReadFileFailure) + path + ": " + reason);
  }
  return support::ReadTextFile(path);
}

Result<OptimizeMode> OptimizeModeFromIndex(std::string_view index) {
  if (index == "0") return OptimizeMode::kNone;
  if (index == "1") return OptimizeMode::kSelective;
  if (index == "2") return OptimizeMode::kAllClear;
  return Status::Error(support::StatusCode::kInvalidInput,
                       "OptimizeMode \"" + std::string(index) + "\" is not 0, 1 or 2");
}

Result<std::string> OptimizeStyleSheet(std::string_view style_sheet, OptimizeMode mode,
                                       bool remove_vml_rules) {
  if (mode == OptimizeMode::kAllClear) return std::string(kGeneratorComment);

  std::string sheet(style_sheet);
  if (mode == OptimizeMode::kSelective) {
    // Checked once: each pass's result is as valid as the sheet it read.
    const bool valid = support::ValidUtf8::Check(sheet).has_value();
    for (const StylePass& pass : kSelectivePasses) {
      if (pass.vml_only && !remove_vml_rules) continue;
      const auto run = [&](auto text) {
        return pass.until_stable ? RegexpReplaceRepeat(text, pass.pattern, pass.replacement)
                                 : RegexpReplace(text, pass.pattern, pass.replacement);
      };
      auto next = valid ? run(support::ValidUtf8::Known(sheet)) : run(std::string_view(sheet));
      if (!next) return next.status();
      sheet = std::move(next).value();
    }
  }
  std::string out;
  out.reserve(kGeneratorComment.size() + kCrLf.size() + sheet.size());
  out.append(kGeneratorComment).append(kCrLf).append(sheet);
  return out;
}

namespace {

Result<std::string> Body(std::string_view rest, bool known_valid) {
  if (const size_t body_tag = FindIgnoreCase(rest, "<body"); body_tag != std::string_view::npos) {
    rest = rest.substr(body_tag + std::string_view("<body").size());
    if (const size_t tag_end = rest.find('>'); tag_end != std::string_view::npos) {
      rest = rest.substr(tag_end + 1);
    }
  }
  if (const size_t body_end = FindIgnoreCase(rest, "</body>", /*last=*/true);
      body_end != std::string_view::npos) {
    rest = rest.substr(0, body_end);
  }
  auto without_starts = known_valid
                            ? RegexpReplace(support::ValidUtf8::Known(rest), kDivStartTag, "")
                            : RegexpReplace(rest, kDivStartTag, "");
  if (!without_starts) return without_starts;
  // The engine checked the body's UTF-8 in the first pass; what that pass
  // made of it is as valid.
  return RegexpReplace(support::ValidUtf8::Known(*without_starts), kDivEndTag, "");
}

}  // namespace

Result<std::string> ExtractBody(std::string_view rest) {
  return Body(rest, false);
}
Result<std::string> ExtractBody(support::ValidUtf8 rest) {
  return Body(rest.text(), true);
}

}  // namespace tessarine::cleanup
