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
constexpr std::string_view kWhiteSpaceRun = "[\\r\\n\\t ]+";

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

Result<bool> IsBlankHtml(std::string_view html) {
  Result<std::string> text = support::RegexpReplace(html, kAnyTag, "");
  if (!text) return text.status();
  Result<std::string> visible = support::RegexpReplace(*text, kWhiteSpaceRun, "");
  if (!visible) return visible.status();
  return visible->empty();
}

}  // namespace tessarine::site
