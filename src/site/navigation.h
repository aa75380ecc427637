// Navigation stage: the breadcrumb bar of every page, the table of contents
// of a document's home page and the related-topics block of a page with
// sub-pages, all derived from the Section table once the pages have their
// file names and titles.
//
// Links are written as the table holds them, without escaping; the blocks
// carry the ids "tessarine_nav", "tessarine_toc" and "tessarine_relative"
// for the template's style sheet.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "project/document_record.h"
#include "site/section.h"

namespace tessarine::site {

// Fills Nav of every row: the project's lead-in (PageNavPreHTML), then links
// down from the document's home page to the page's parent, joined by the
// project's PageNavSep; the home page's own bar ends with its plain title,
// unlinked. A page whose parent level is missing (a level-3 heading right
// after a level-1 heading) gets an empty bar. Called after AssignPageFiles
// and before AssignChapterNumbers rewrites the titles.
void BuildNavBars(SectionTable& sections, std::string_view page_nav_pre_html,
                  std::string_view page_nav_sep);

// The table of contents of the document: one paragraph per page after the
// home page, in row order, indented by the record's TocIndent once per level
// below 1, linking PageFile with Title. A table without headings gives the
// empty block "<div id="tessarine_toc"></div>". The caller decides whether
// the record's Toc asks for it.
std::string BuildTocBlock(const SectionTable& sections, const project::DocumentRecord& document);

// The related-topics block of row `row`: the record's RelativeTitle and a
// list of links to the row's direct sub-pages, when the record's Relative is
// "1" and the row has children; deeper descendants are not listed. Empty
// text for the home page, for a row out of range and for every other row.
std::string BuildRelatedBlock(const SectionTable& sections, size_t row,
                              const project::DocumentRecord& document);

}  // namespace tessarine::site
