// What the tests of the Word HTML writer check pages with, shared by the
// programs on small built documents and on the corpus: the later stages' own
// patterns, the page read whole and in stretches, and the site's header and
// footer stage over a converted document.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "convert/docx_package.h"
#include "site/section.h"

namespace tessarine::testing {

// How often `piece` occurs in `text`, overlaps included.
size_t Count(std::string_view text, std::string_view piece);

// The body markup only: from the body start tag on.
std::string BodyOf(const std::string& html);

// The head and style parse: head text between </title> and </head> without
// Word's conditional blocks, then the joined <style> blocks, then size and
// margin of the first named @page rule.
struct PageSetup {
  std::string size, margin;
};
PageSetup ParsePageSetup(const std::string& html);

// The section splitter's heading pattern for levels 1 to 9.
inline constexpr char kHeadingPattern[] =
    "(<h(1|2|3|4|5|6|7|8|9)[^>]*>((?:[^a]|a)*?)</h\\2>|<p class=MsoHeading(1|2|3|4|5|6|7|8|9)>"
    "((?:[^a]|a)*?)</p>)";

// Package limits that read the body whole, and that cut it at every
// top-level element (every border is a stretch's).
inline constexpr convert::PackageLimits kWholeBody{.body_piece_bytes = 0};
inline constexpr convert::PackageLimits kTinyPieces{.whole_body_bytes = 0, .body_piece_bytes = 1};

// The page and the reason for a failed Open, read whole and in stretches,
// the stretches on one thread and parsed ahead on a second.
struct WholeAndPieces {
  std::string whole, pieces, pieces_parsed_ahead;
  bool read_in_pieces = false;
};
WholeAndPieces RenderWholeAndInPieces(const std::string& path);

// Where two pages part, with some context; empty when they do not.
std::string Difference(const std::string& whole, const std::string& pieces);

// The site stage's header and footers for `pages` pages of the document
// converted to <scratch>/doc.htm, with header, footer and home-page header on.
site::SectionTable SitePages(const std::string& scratch, const std::string& output, int pages);

// Numbers standing directly before "</span>" (the page-number spans keep
// their tag after the tidy passes).
std::vector<std::string> SpanNumbers(const std::string& html);

}  // namespace tessarine::testing
