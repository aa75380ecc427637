// Section splitting: cuts a document's body HTML at its headings into the
// Section table, one row per page.
#pragma once

#include <string_view>

#include "site/section.h"
#include "support/status.h"

namespace tessarine::site {

// Splits `body` (ExtractBody) at every heading of levels 1 to parse_level+1:
// an "<hN ...>" element up to its "</hN>", or a paragraph whose start tag is
// exactly "<p class=MsoHeadingN>" up to the first "</p>". Tag names and the
// class ignore letter case.
//
// Row 0 is the home page: HeadingHtml, Title and PlainTitle are `node_name`,
// Level "0", Body the text before the first heading (all of it when there is
// none), HasChildren 1 when any heading exists. Row k (from 1) is the k-th
// heading in document order: HeadingHtml/HeadingPos/HeadingLen the matched
// element (byte offset and length in `body`), Level its digit, Body the text
// up to the next heading (the heading itself belongs to no Body), HasChildren
// 1 when the next row is deeper. Title is the heading's text with tags
// removed, line breaks deleted, "&nbsp;" runs and space runs made one space
// and trimmed; PlainTitle is the same without Word's list number (the
// "<![if !supportLists]>" block). The other fields stay empty.
//
// `parse_level` is the document's ParseLevel, "0" to "8"; any other value
// fails, as does a regular expression that runs out of resources.
support::Result<SectionTable> SplitSections(std::string_view body, std::string_view parse_level,
                                            std::string_view node_name);

}  // namespace tessarine::site
