// Page file names, head titles, chapter numbers and meta texts of one
// document's pages.
//
// Everything here is derived from the Section table (the rows' Level, Title,
// PlainTitle and Body) and from the document's own settings. The build calls
// the table routines once per document in this order: AssignPageFiles,
// AssignPageTitles, (the breadcrumb builder), AssignChapterNumbers; so the
// special-name lookup sees Title as the splitter cut it, before numbering
// rewrites it. The meta routines run once per page as it is written.
//
// Record values outside their documented choices leave the fields concerned
// untouched (file names, titles) or give empty text (meta texts). Nothing here
// reports an error except a case-insensitive comparison that the pattern
// engine could not run.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "project/document_record.h"
#include "project/project_settings.h"
#include "site/section.h"
#include "support/status.h"

namespace tessarine::site {

// Fills PageFile of every row. Row 0 is FilenamePre & file_ext under every
// rule. Content pages, by FileNameRule:
//   "0" chapter numbers:  prefix.1.2 & file_ext, or prefix.SPECIAL & file_ext;
//   "1" sequence numbers: prefix007 & file_ext (zero-padded to the digits of
//       the number of content pages), or prefix-SPECIAL & file_ext;
//   other values: no file name.
support::Status AssignPageFiles(SectionTable& sections, const project::DocumentRecord& document,
                                std::string_view file_ext);

// The page file names of one site. The frameset pages and every document's
// home page are fixed before any document is built; content pages then claim
// their names document by document in row order, so that no page ever
// overwrites another: a name already given (ignoring ASCII case, as the file
// systems a site is copied to may) goes to the later page with the first free
// suffix, "stem_2.ext", "stem_3.ext", ...
class SitePageNames {
 public:
  explicit SitePageNames(const project::ProjectSettings& project);

  // Makes the PageFile of every content row of document `number` (from 1)
  // unique in the site. Gives one warning per renamed page, naming both pages.
  std::vector<std::string> Claim(SectionTable& sections, size_t number);

 private:
  struct Owner {
    size_t document = 0;  // 0: the frameset
    std::string title;
  };
  std::string FreeName(const std::string& file);

  std::string file_ext_;
  std::unordered_map<std::string, Owner> taken_;      // by lower-case file name
  std::unordered_map<std::string, int> next_suffix_;  // by lower-case stem
};

// The special file name for a page title: the first keyword|name line of
// `special_file_name` (lines joined by "|||") whose keyword the title contains,
// ignoring case, made unique against `given`; empty text when none applies.
// Lines without exactly one "|" or with an empty side (after trimming spaces)
// are skipped.
support::Result<std::string> FindSpecialFileName(std::string_view special_file_name,
                                                 std::string_view page_title,
                                                 const std::vector<std::string>& given);

// `name` followed by the smallest suffix that makes it differ from every entry
// of `given` (exact comparison): name, name1, name2, ... `suffix` is where the
// search starts; 0 stands for no suffix.
std::string UniqueSpecialName(std::string_view name, const std::vector<std::string>& given,
                              int suffix = 0);

// Fills PageTitle of every row. HeadTitleMode "0": the plain titles chained
// from the home page down, "Node : Chapter : Section"; "1": the document's
// HeadTitle on every row.
void AssignPageTitles(SectionTable& sections, const project::DocumentRecord& document);

// Fills ChapterNumber (1, 1.1, 1.2, 2, ...; empty for row 0) and rewrites
// Title by NumberlistRule: "0" number, space, PlainTitle; "1" unchanged;
// "2" PlainTitle.
void AssignChapterNumbers(SectionTable& sections, const project::DocumentRecord& document);

// The page's meta keywords by MetaKeyMode: "0" the page title; "1" those of
// the comma-separated MetaKey keywords the page body contains, ignoring case,
// joined by ","; "2" MetaKey as it stands.
support::Result<std::string> PageMetaKeywords(const project::DocumentRecord& document,
                                              std::string_view page_title,
                                              std::string_view page_body);

// The page's meta description by MetaDescMode: "0" the page title; "1" the
// page's keywords; "2" MetaDesc as it stands.
std::string PageMetaDescription(const project::DocumentRecord& document,
                                std::string_view page_title, std::string_view page_keywords);

}  // namespace tessarine::site
