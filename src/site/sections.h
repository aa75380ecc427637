// Section splitting: cuts a document's body HTML at its headings into the
// Section table, one row per page.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "site/section.h"
#include "support/regex.h"
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
// The same for a body whose UTF-8 is known to be valid, which is not checked
// again.
support::Result<SectionTable> SplitSections(support::ValidUtf8 body, std::string_view parse_level,
                                            std::string_view node_name);

// Paragraph classes that carry an outline level (1 to 9) in Word's style
// sheet: class name -> level. Word writes a style's whole basedOn chain into
// its rule, so the rule alone tells the effective level.
using OutlineClasses = std::unordered_map<std::string, int>;

// The outline levels of the "p.NAME" rules of a Word style sheet (the text
// ParseStyleSheet gives, before any optimisation removes mso- declarations).
OutlineClasses OutlineLevelClasses(std::string_view style_sheet);

// SplitSections, also cutting at paragraphs whose outline level is 1 to
// parse_level+1: their own "mso-outline-level" declaration, or else their
// class's level in `outline_classes`. Such a paragraph counts only outside
// tables and text boxes and when it shows any text; it runs to the first
// "</p>" like an MsoHeading paragraph. Built-in headings keep precedence: a
// paragraph the heading pattern matches is never cut a second time. Without
// outline paragraphs the table equals SplitSections's.
support::Result<SectionTable> SplitSections(std::string_view body, std::string_view parse_level,
                                            std::string_view node_name,
                                            const OutlineClasses& outline_classes);
support::Result<SectionTable> SplitSections(support::ValidUtf8 body, std::string_view parse_level,
                                            std::string_view node_name,
                                            const OutlineClasses& outline_classes);

}  // namespace tessarine::site
