// The reader of converted pages: reads the Word HTML the converter wrote,
// cuts it into its head and the rest, collects the head's style blocks into
// one style sheet, reads the paper width and margins from its @page rule,
// reduces the sheet to what a browser needs, and extracts the body.
//
// The site build and the batch run call ReadWordPage, ParseHead,
// ParseStyleSheet with ReadPageSetup, OptimizeStyleSheet and (the site
// build) ExtractBody in that order. Every function that runs a regular
// expression returns a Result: a pattern that runs out of resources fails
// the stage with the regex service's message instead of leaving Word's
// markup in place unnoticed.
//
// Tag searches ignore ASCII letter case; offsets are byte offsets of UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "support/regex.h"
#include "support/status.h"

namespace tessarine::cleanup {

// Lead of the failure of a converted page that cannot be read; the path and
// the reason follow.
inline constexpr std::string_view kReadFileFailure = "ReadFile:";

// The text of the Word HTML the converter wrote at `path`. The converter said
// it wrote the file: one that cannot be opened now fails, rather than read as
// empty text that would make the document vanish as if it were blank.
support::Result<std::string> ReadWordPage(const std::string& path);

// Word HTML cut at its head.
struct HeadParts {
  // Text between the end of the title element and the head end tag, with
  // Word's "[if gte mso N]" conditional blocks (and the style blocks inside
  // them) removed.
  std::string head;
  // Everything after the head end tag; ExtractBody takes the body from it.
  std::string rest;

  bool operator==(const HeadParts&) const = default;
};

// Without "</title>" the head starts at the beginning of the text; without
// "</head>" the head text and the rest are both the whole remaining text.
support::Result<HeadParts> ParseHead(std::string_view word_html);
// The same without a copy of the rest: gives the head, and leaves only the
// rest in `word_html` (unchanged on failure).
support::Result<std::string> TakeHead(std::string& word_html);

// The content of every "<style>" block of the head, in order, joined with
// CR LF and without the style tags; empty when there is none. Blocks whose
// start tag carries attributes are not collected.
support::Result<std::string> ParseStyleSheet(std::string_view head);

// Paper size and margins of the sheet's first "@page" rule that has them.
struct PageSetup {
  std::string size_text;    // e.g. "595.3pt 841.9pt"; empty without a size
  std::string margin_text;  // e.g. "72.0pt 90.0pt 72.0pt 90.0pt", passed on as it stands
  // First word of size_text without "pt" ("21.0cm" keeps its unit); empty
  // unless size_text is exactly two words separated by one space.
  std::string page_width;
  // Fourth and second word of margin_text without "pt"; both empty unless
  // margin_text is exactly four words separated by single spaces.
  std::string left_margin;
  std::string right_margin;

  bool operator==(const PageSetup&) const = default;
};

support::Result<PageSetup> ReadPageSetup(std::string_view style_sheet);

// The document's OptimizeMode (record Index "0", "1" or "2").
enum class OptimizeMode {
  kNone = 0,       // the sheet is kept as Word wrote it
  kSelective = 1,  // Word-only rules and properties are removed
  kAllClear = 2,   // the sheet is emptied
};

// Reads the record's OptimizeMode text; anything but "0", "1" or "2" (a
// hand-edited project file) is refused rather than guessed.
support::Result<OptimizeMode> OptimizeModeFromIndex(std::string_view index);

// The comment every generated sheet starts with.
inline constexpr std::string_view kGeneratorComment = "/* Generator: Tessarine */";

// The sheet as written to the document's "tessarine.css": kNone and
// kSelective put the generator comment and CR LF in front of the (reduced)
// sheet; kAllClear gives the comment alone. `remove_vml_rules` is the
// document's Opt1VML flag: only then do kSelective's passes drop the VML
// behaviour rules.
support::Result<std::string> OptimizeStyleSheet(std::string_view style_sheet, OptimizeMode mode,
                                                bool remove_vml_rules);

// The content of the body element of `rest` (ParseHead) with every div start
// and end tag removed. Without a "<body" tag the whole rest is used; the body
// ends at the last "</body>". The UTF-8 of `rest` is checked, so a body it
// gives is known to be valid.
support::Result<std::string> ExtractBody(std::string_view rest);
// The same for a rest whose UTF-8 is known to be valid, which is not checked
// again.
support::Result<std::string> ExtractBody(support::ValidUtf8 rest);

}  // namespace tessarine::cleanup
