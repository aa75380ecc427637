#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "site/navigation.h"

namespace tessarine::site {
namespace {

constexpr char kPre[] = "<a href=\"/\">Site</a>";
constexpr char kSep[] = "&nbsp;&gt;&gt;&nbsp;";

// A table with a home page and one page per level given; page k links
// "p<k>.htm", is titled "T<k>" in the contents and "P<k>" in the breadcrumb,
// and has children when the next page is deeper.
SectionTable Pages(const std::vector<int>& levels) {
  SectionTable sections(levels.size() + 1);
  sections[0].Level = "0";
  sections[0].PageFile = "home.htm";
  sections[0].PlainTitle = "Home";
  for (size_t k = 1; k < sections.size(); ++k) {
    sections[k].Level = std::to_string(levels[k - 1]);
    sections[k].PageFile = "p" + std::to_string(k) + ".htm";
    sections[k].Title = "T" + std::to_string(k);
    sections[k].PlainTitle = "P" + std::to_string(k);
  }
  for (size_t k = 0; k + 1 < sections.size(); ++k) {
    sections[k].HasChildren = std::stoi(sections[k + 1].Level) > std::stoi(sections[k].Level);
  }
  return sections;
}

std::string Crumb(const std::string& file, const std::string& title) {
  return std::string(kSep) + "<a href=\"" + file + "\">" + title + "</a>";
}

std::string Nav(const std::string& trail) {
  return "<div id=\"tessarine_nav\">" + trail + "</div>";
}

TEST(BuildNavBars, TrailEndsWithTheParent) {
  SectionTable sections = Pages({1, 2});
  sections[2].Nav = "stale";
  BuildNavBars(sections, kPre, kSep);
  const std::string home = kPre + Crumb("home.htm", "Home");
  EXPECT_EQ(sections[0].Nav, Nav(std::string(kPre) + kSep + "Home"));
  EXPECT_EQ(sections[1].Nav, Nav(home));
  EXPECT_EQ(sections[2].Nav, Nav(home + Crumb("p1.htm", "P1")));
}

TEST(BuildNavBars, SkippedAndAbandonedLevelsLeaveEmptyTrails) {
  // 1, 3, 4: the level-3 page has no level-2 parent; its child's trail starts
  // with the separator.
  SectionTable skipped = Pages({1, 3, 4});
  BuildNavBars(skipped, kPre, kSep);
  EXPECT_EQ(skipped[2].Nav, Nav(""));
  EXPECT_EQ(skipped[3].Nav, Nav(Crumb("p2.htm", "P2")));

  // 1, 2, 3, 1, 3: back at level 1 the deeper entries are dropped.
  SectionTable back_up = Pages({1, 2, 3, 1, 3});
  BuildNavBars(back_up, kPre, kSep);
  const std::string home = kPre + Crumb("home.htm", "Home");
  EXPECT_EQ(back_up[3].Nav, Nav(home + Crumb("p1.htm", "P1") + Crumb("p2.htm", "P2")));
  EXPECT_EQ(back_up[4].Nav, Nav(home));
  EXPECT_EQ(back_up[5].Nav, Nav(""));
}

TEST(BuildTocBlock, IndentsByLevel) {
  project::DocumentRecord document;
  document.TocIndent = "..";
  const SectionTable sections = Pages({1, 2, 3});
  EXPECT_EQ(BuildTocBlock(sections, document),
            "<div id=\"tessarine_toc\"><p><a href=\"p1.htm\">T1</a></p>"
            "<p>..<a href=\"p2.htm\">T2</a></p><p>....<a href=\"p3.htm\">T3</a></p></div>");
  document.TocIndent = "";
  EXPECT_EQ(BuildTocBlock(sections, document),
            "<div id=\"tessarine_toc\"><p><a href=\"p1.htm\">T1</a></p>"
            "<p><a href=\"p2.htm\">T2</a></p><p><a href=\"p3.htm\">T3</a></p></div>");
  EXPECT_EQ(BuildTocBlock(Pages({}), document), "<div id=\"tessarine_toc\"></div>");
}

TEST(BuildRelatedBlock, ListsDirectChildrenOnly) {
  project::DocumentRecord document;
  document.Relative = "1";
  document.RelativeTitle = "See also";
  // 1 [2 [3] 2] 1: page 1 lists pages 2 and 4, not the grandchild 3, and
  // stops at page 5.
  const SectionTable sections = Pages({1, 2, 3, 2, 1, 2});
  EXPECT_EQ(BuildRelatedBlock(sections, 1, document),
            "<div id=\"tessarine_relative\"><p>See also</p><ul>"
            "<li><a href=\"p2.htm\">T2</a></li><li><a href=\"p4.htm\">T4</a></li></ul></div>");
  EXPECT_EQ(BuildRelatedBlock(sections, 3, document), "");  // no children
  EXPECT_EQ(BuildRelatedBlock(sections, 0, document), "");  // the home page has the contents
  EXPECT_EQ(BuildRelatedBlock(sections, 99, document), "");

  // Children two levels deeper only: the block is written with an empty list,
  // and an empty title still gives its paragraph.
  document.RelativeTitle = "";
  EXPECT_EQ(BuildRelatedBlock(Pages({1, 3, 3}), 1, document),
            "<div id=\"tessarine_relative\"><p></p><ul></ul></div>");

  document.Relative = "0";
  EXPECT_EQ(BuildRelatedBlock(sections, 1, document), "");
}

}  // namespace
}  // namespace tessarine::site
