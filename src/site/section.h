// The Section table: one row per page of a document, row 0 being the
// document's home page and one row per heading after it, in document order.
// Every stage of the page pipeline reads it and fills its own fields; rows
// are never reordered after the split.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tessarine::site {

struct Section {
  std::string HeadingHtml;    // the heading element as matched; row 0: NodeName
  size_t HeadingPos = 0;      // byte offset of the match in the body; row 0: 0
  size_t HeadingLen = 0;      // byte length of the match; row 0: 0
  std::string Level;          // "1".."9"; row 0: "0"
  std::string Body;           // the page's body HTML
  int HasChildren = 0;        // 1 when the next row is one level deeper
  std::string Title;          // display title (with Word's list number, or numbered)
  std::string PageFile;       // file name relative to the output folder
  std::string PageTitle;      // text for the template's {title}
  std::string Nav;            // breadcrumb HTML
  std::string PlainTitle;     // heading text without Word's list number
  std::string ChapterNumber;  // "1.2.3"; row 0: empty
  std::string HeaderHtml;     // put before the page body
  std::string FooterHtml;     // put after the page body

  bool operator==(const Section&) const = default;
};

using SectionTable = std::vector<Section>;

// One entry per document of the list, by position; a skipped (blank)
// document leaves an empty table at its position.
using SiteSections = std::vector<SectionTable>;

}  // namespace tessarine::site
