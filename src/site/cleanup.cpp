#include "site/cleanup.h"

#include "support/regex.h"

namespace tessarine::site {
namespace {

using support::Result;

constexpr std::string_view kFlagOn = "1";

// Every tag, Word's conditional markers ("<![if ...]>") included; "[^a]|a"
// crosses line breaks, which a dot would not.
constexpr std::string_view kAnyTag = "<([^a]|a)*?>";
// White space as a page shows it: none of it is visible on its own.
constexpr std::string_view kWhiteSpace = "\r\n\t ";

bool IsOn(std::string_view flag) {
  return flag == kFlagOn;
}

}  // namespace

Result<CleanupOptions> CleanupOptionsOf(const project::DocumentRecord& document) {
  Result<OptimizeMode> mode = OptimizeModeFromIndex(document.OptimizeMode);
  if (!mode) return mode.status();
  CleanupOptions options;
  options.mode = *mode;
  options.Opt1VML = IsOn(document.Opt1VML);
  options.Opt1Absolute = IsOn(document.Opt1Absolute);
  options.Opt1EQ = IsOn(document.Opt1EQ);
  options.Opt1Margin = IsOn(document.Opt1Margin);
  options.Opt1Space = IsOn(document.Opt1Space);
  options.Opt2Image = IsOn(document.Opt2Image);
  options.Opt2Table = IsOn(document.Opt2Table);
  options.Opt2EQ = IsOn(document.Opt2EQ);
  options.Opt2Indent = IsOn(document.Opt2Indent);
  options.Opt2PtoBR = IsOn(document.Opt2PtoBR);
  return options;
}

// Passes the body through unchanged until the clean-up passes are built.
Result<std::string> CleanPageBody(const SectionTable& sections, size_t row,
                                  const project::DocumentRecord& /*document*/,
                                  const CleanupOptions& /*options*/) {
  return sections.at(row).Body;
}

PageWidthOptions PageWidthOptionsOf(const project::DocumentRecord& document) {
  return PageWidthOptions{IsOn(document.OptPageWidth), IsOn(document.OptPageMargin),
                          IsOn(document.OptPageEffect)};
}

// Passes the page through unchanged until the page-width wrapper is built.
std::string WrapPageWidth(std::string_view page, const PageWidthOptions& /*options*/,
                          const PageSetup& /*page_setup*/) {
  return std::string(page);
}

// Blank when nothing but white space stands between the tags. Visible text
// comes early in a real document, so the scan stops at its first character
// rather than building a tag-free copy of the whole body.
Result<bool> IsBlankHtml(std::string_view html) {
  const auto all_white = [](std::string_view text) {
    return text.find_first_not_of(kWhiteSpace) == std::string_view::npos;
  };
  support::RegexMatcher tags(kAnyTag, html);
  size_t text_start = 0;
  while (tags.Next()) {
    const support::RegexMatch& tag = tags.match();
    if (!all_white(html.substr(text_start, tag.offset - text_start))) return false;
    text_start = tag.offset + tag.value.size();
  }
  if (!tags.status()) return tags.status();
  return all_white(html.substr(text_start));
}

}  // namespace tessarine::site
