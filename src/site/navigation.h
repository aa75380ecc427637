// Navigation stage: the breadcrumb bar of every page and the related-topics
// block of a page with sub-pages, both derived from the Section table once
// the pages have their file names and titles.
//
// Links are written as the table holds them, without escaping; the blocks
// carry the ids "tessarine_nav" and "tessarine_relative" for the template's
// style sheet.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "project/document_record.h"
#include "site/section.h"

namespace tessarine::site {

// Fills Nav of every row: the project's lead-in (PageNavPreHTML), then links
// down from the document's home page to the page's parent, joined by the
// project's PageNavSep. Called after AssignPageFiles and before
// AssignChapterNumbers rewrites the titles.
void BuildNavBars(SectionTable& sections, std::string_view page_nav_pre_html,
                  std::string_view page_nav_sep);

// The related-topics block of row `row`: links to its direct sub-pages when
// the record's Relative is "1" and the row has children; empty text for the
// home page and every other row.
std::string BuildRelatedBlock(const SectionTable& sections, size_t row,
                              const project::DocumentRecord& document);

}  // namespace tessarine::site
