#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "site/links.h"

namespace tessarine::site {
namespace {

// Rows of the given bodies, named p0.htm, p1.htm, ...
SectionTable Pages(const std::vector<std::string>& bodies) {
  SectionTable table;
  for (size_t k = 0; k < bodies.size(); ++k) {
    Section row;
    row.Body = bodies[k];
    row.PageFile = "p" + std::to_string(k) + ".htm";
    table.push_back(row);
  }
  return table;
}

std::string Cite(const std::string& n) {
  return R"(<a style='mso-footnote-id:ftn)" + n + R"(' href="#_ftn)" + n + R"(" name="_ftnref)" +
         n + R"(">[)" + n + "]</a>";
}
std::string Note(const std::string& n) {
  return "<div style='mso-element:footnote' id=ftn" + n + R"(><p><a href="#_ftnref)" + n +
         R"(" name="_ftn)" + n + R"(">[)" + n + "]</a> note " + n + "</p></div>";
}
const std::string kListStart =
    "<div style='mso-element:footnote-list'><![if !supportFootnotes]><hr><![endif]>";
const std::string kEndnoteListStart = "<div style='mso-element:endnote-list'>";

TEST(MoveNotesToTheirPages, EachNoteFollowsItsFirstCitation) {
  // Note 1 cited on the home page, 2 on page 1 (twice, and page 2 again), 3
  // on the last page itself, 4 nowhere; an endnote cited on page 1.
  const std::string endnote =
      "<div style='mso-element:endnote' id=edn1><p><a href=\"#_ednref1\" name=\"_edn1\">i</a> "
      "end</p></div>";
  SectionTable table =
      Pages({"home " + Cite("1"),
             "one " + Cite("2") + Cite("2") + "<a href=\"#_edn1\" name=\"_ednref1\">i</a>",
             "two <a href=\"#_ftn2\">again</a>",
             "last " + Cite("3") + kListStart + Note("1") + Note("2") + Note("3") + Note("4") +
                 "</div>" + kEndnoteListStart + endnote + "</div>"});
  MoveNotesToTheirPages(table);
  EXPECT_EQ(table[0].Body, "home " + Cite("1") + kListStart + Note("1") + "</div>");
  EXPECT_EQ(table[1].Body, "one " + Cite("2") + Cite("2") +
                               "<a href=\"#_edn1\" name=\"_ednref1\">i</a>" + kListStart +
                               Note("2") + "</div>" + kEndnoteListStart + endnote + "</div>");
  EXPECT_EQ(table[2].Body, "two <a href=\"#_ftn2\">again</a>");
  // The endnote list is left empty and goes; the footnote list keeps 3 and 4.
  EXPECT_EQ(table[3].Body, "last " + Cite("3") + kListStart + Note("3") + Note("4") + "</div>");

  // Then every link names the page of its target.
  LinkAcrossPages(table);
  EXPECT_NE(table[2].Body.find(R"(href="p1.htm#_ftn2")"), std::string::npos) << table[2].Body;
  EXPECT_EQ(table[1].Body.find("p1.htm#"), std::string::npos);  // on its own page: unchanged
}

TEST(MoveNotesToTheirPages, NotesAlreadyBelowTheirCitationStayByteForByte) {
  const std::string last = "last " + Cite("1") + kListStart + Note("1") + "</div>";
  SectionTable table = Pages({"home", last});
  MoveNotesToTheirPages(table);
  EXPECT_EQ(table[1].Body, last);
  EXPECT_EQ(table[0].Body, "home");
}

TEST(LinkAcrossPages, EveryQuotingAndHeadingAnchorsFindTheirPage) {
  SectionTable table = Pages({R"(<a href="#h">a</a><a href='#b'>b</a><a href=#b>c</a>)"
                              R"(<a href="#nowhere">d</a><a href="other.htm#b">e</a>)",
                              R"(<p><a name=b></a></p><span id="i">x</span><a href="#i">f</a>)"});
  table[1].HeadingHtml = R"(<h1><a name="h">Title</a></h1>)";
  LinkAcrossPages(table);
  EXPECT_EQ(table[0].Body,
            R"(<a href="p1.htm#h">a</a><a href='p1.htm#b'>b</a><a href=p1.htm#b>c</a>)"
            R"(<a href="#nowhere">d</a><a href="other.htm#b">e</a>)");
  EXPECT_EQ(table[1].Body, R"(<p><a name=b></a></p><span id="i">x</span><a href="#i">f</a>)");
  EXPECT_EQ(HeadingAnchors(table[1].HeadingHtml), R"(<a name="h"></a>)");
  EXPECT_EQ(HeadingAnchors("<h2>plain</h2>"), "");
}

}  // namespace
}  // namespace tessarine::site
