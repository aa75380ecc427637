// Full-text search over the built site, for readers: the build hands every
// page over as it is written, a thread of the index's own gathers its plain
// text and terms (and writes the snippet files) meanwhile, and at the end the
// index is sorted and written beside the menu data, as scripts, so that the
// search works from a folder (file://) without a server.
//
//   tfiles/search-index.js      tessarineSearchIndex({count, terms, postings});
//                               the number of pages, which are numbered as the
//                               menu data (tfiles/dtree-data.js) lists them, so
//                               their titles, files and nesting come from there;
//                               the terms in the script's string order and
//                               their postings, each list one string with its
//                               entries separated by spaces ("|" before a term
//                               written without the first character it shares
//                               with the term before it)
//   tfiles/search-text-N.js     tessarineSearchText(N, ["text", ...]); the plain
//                               text of pages N*kTextChunk.., loaded only for
//                               the results shown, for their snippets
//
// Terms: runs of Chinese, Japanese or Korean characters give each pair of
// neighbouring characters (a character on its own gives itself); runs of
// letters and digits of other scripts give words folded to lower case. The
// template's search script splits a query the same way and finds a single
// character through the pairs that hold it. A term's postings are the pages
// holding it in ascending order, as distances written in digits of 32 (the
// last digit of each number from another alphabet, so no separator is
// needed), or "~" and a bitmap of the pages where that is shorter. The search
// script ranks by how rare the terms are and by hits in the title.
//
// Both files are written in the project's FileEncode. In ANSI every character
// outside ASCII and the CJK ideographs that code page 936 holds is written as
// a script escape, so no charset loses a character.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "project/project_settings.h"
#include "site/section.h"
#include "support/status.h"

namespace tessarine::site {

inline constexpr std::string_view kSearchIndexFile = "tfiles/search-index.js";
inline constexpr std::string_view kSearchTextPrefix = "tfiles/search-text-";
inline constexpr size_t kTextChunk = 200;
// The index of a project with search turned off.
inline constexpr std::string_view kNoSearchIndex = "tessarineSearchIndex(null);\n";

// The visible text of an HTML fragment: elements, comments, scripts, style
// sheets and the generated contents and related-topics blocks dropped, character references
// decoded, white space runs made one space, no space at either end.
std::string VisibleText(std::string_view html);

// The search terms of a text in the order they occur (repeats kept).
std::vector<std::string> SearchTerms(std::string_view text);

class SearchIndexBuilder {
 public:
  // A builder of a project whose SiteSearch is "0" gathers nothing, removes
  // an earlier build's files and writes kNoSearchIndex.
  explicit SearchIndexBuilder(bool enabled = true);
  SearchIndexBuilder(SearchIndexBuilder&&) noexcept;
  SearchIndexBuilder& operator=(SearchIndexBuilder&&) noexcept;
  ~SearchIndexBuilder();

  // Gives the worker the output folder: it writes each full file of snippet
  // text there, under a temporary name that Write puts in place, while the
  // build goes on. Only before the first page; without it Write makes them.
  void WriteTextsAlong(const std::string& output_dir, std::string_view file_encode);

  // Adds one page (its title and finished body, as HTML), in the order the
  // menu lists the pages: documents in list order, a skipped one adding
  // nothing. Its text and terms are gathered on a thread of the builder's own
  // while the build goes on; the index scripts wait for it.
  void AddPage(std::string title_html, std::string body_html);
  // Every page of one document's table, in order.
  void AddDocument(const SectionTable& sections);

  size_t page_count() const;
  // The sum of the pages' visible text (titles and bodies), in bytes of UTF-8.
  size_t text_bytes() const;

  // The script texts, in UTF-8, before encoding.
  std::string IndexScript(bool ansi) const;
  std::vector<std::string> TextScripts(bool ansi) const;

  // Writes the files into `output_dir`'s tfiles/ (made by the driver), after
  // removing the search files of an earlier build.
  support::Status Write(const std::string& output_dir, std::string_view file_encode) const;

 private:
  struct State;
  std::unique_ptr<State> state_;  // null when search is off
};

// Removes the search files of an earlier build but the first `kept_chunks`
// snippet files (which a build replaces) and, when it keeps any, the index.
void RemoveSearchFiles(const std::string& output_dir, size_t kept_chunks = 0);

}  // namespace tessarine::site
