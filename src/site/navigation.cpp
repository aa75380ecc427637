#include "site/navigation.h"

#include <charconv>
#include <vector>

namespace tessarine::site {
namespace {

constexpr std::string_view kFlagOn = "1";
constexpr std::string_view kNavStart = R"(<div id="tessarine_nav">)";
constexpr std::string_view kTocStart = R"(<div id="tessarine_toc">)";
constexpr std::string_view kRelatedStart = R"(<div id="tessarine_relative"><p>)";
constexpr std::string_view kRelatedListStart = "</p><ul>";
constexpr std::string_view kRelatedEnd = "</ul></div>";
constexpr std::string_view kDivEnd = "</div>";

// The row's heading level; the splitter writes "0" to "9", so anything else
// would be a table built by hand and counts as the home page's level.
int LevelOf(const Section& row) {
  int level = 0;
  const char* end = row.Level.data() + row.Level.size();
  const auto [stop, error] = std::from_chars(row.Level.data(), end, level);
  if (error != std::errc() || stop != end || level < 0) return 0;
  return level;
}

std::string Link(const Section& row) {
  return R"(<a href=")" + row.PageFile + R"(">)";
}

}  // namespace

void BuildNavBars(SectionTable& sections, std::string_view page_nav_pre_html,
                  std::string_view page_nav_sep) {
  // crumbs[l]: the trail down to and including the latest page of level l.
  // Going up a level drops the deeper entries; skipping a level leaves the
  // skipped entry empty, so its descendants' trails start with a separator.
  std::vector<std::string> crumbs;
  for (Section& row : sections) {
    const size_t level = static_cast<size_t>(LevelOf(row));
    crumbs.resize(level + 1);
    const std::string link = Link(row) + row.PlainTitle + "</a>";
    std::string trail;
    if (level == 0) {
      const std::string lead_in = std::string(page_nav_pre_html) + std::string(page_nav_sep);
      crumbs[0] = lead_in + link;
      trail = lead_in + row.PlainTitle;
    } else {
      crumbs[level] = crumbs[level - 1] + std::string(page_nav_sep) + link;
      trail = crumbs[level - 1];
    }
    row.Nav = std::string(kNavStart) + trail + std::string(kDivEnd);
  }
}

std::string BuildTocBlock(const SectionTable& sections, const project::DocumentRecord& document) {
  std::string block(kTocStart);
  for (size_t k = 1; k < sections.size(); ++k) {
    const Section& row = sections[k];
    block += "<p>";
    for (int indent = 1; indent < LevelOf(row); ++indent) block += document.TocIndent;
    block += Link(row) + row.Title + "</a></p>";
  }
  block += kDivEnd;
  return block;
}

std::string BuildRelatedBlock(const SectionTable& sections, size_t row,
                              const project::DocumentRecord& document) {
  if (document.Relative != kFlagOn || row == 0 || row >= sections.size() ||
      sections[row].HasChildren != 1) {
    return {};
  }
  const int level = LevelOf(sections[row]);
  std::string items;
  for (size_t j = row + 1; j < sections.size(); ++j) {
    const int child_level = LevelOf(sections[j]);
    if (child_level == level + 1) {
      items += "<li>" + Link(sections[j]) + sections[j].Title + "</a></li>";
    }
    if (child_level <= level) break;
  }
  return std::string(kRelatedStart) + document.RelativeTitle + std::string(kRelatedListStart) +
         items + std::string(kRelatedEnd);
}

}  // namespace tessarine::site
