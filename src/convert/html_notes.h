// Footnotes, endnotes and alternative-format chunks in the Word HTML writer.
//
// A note reference becomes Word's anchor pair: the reference in the text
// links to "#_ftnN" and is named "_ftnrefN"; the mark inside the note links
// back the other way. The notes themselves are listed at the end of the body
// in `mso-element:footnote-list` / `endnote-list` blocks, numbered in the
// order of their first reference. The visible mark "[N]" stands in a
// downlevel-revealed `<![if !supportFootnotes]>` block, which the clean-up
// passes keep (it is not a comment), so the number survives every mode.
//
// An alternative-format chunk (w:altChunk: HTML, XHTML, MHT or plain text
// that Word merges when it opens the file) is written as plain paragraphs of
// its visible text.
#pragma once

#include <functional>
#include <map>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "convert/docx_properties.h"

namespace tessarine::convert {

// The notes of one kind a document refers to, in the order of their first
// reference; the Nth note in this order is written as ftnN / ednN.
struct NoteList {
  std::vector<std::string> ids;                     // w:id values, in order
  std::map<std::string, int, std::less<>> numbers;  // w:id -> sequence number (1-based)
  // Index of the notes part by w:id; built on first use.
  std::map<std::string, pugi::xml_node, std::less<>> nodes;
  bool indexed = false;
  std::string part_name;  // the notes part, for its relationships
  NoteSettings settings;  // number format and start
  bool closed = false;    // the list is written; later references cannot join it
};

// Note state of one body writer.
struct NoteState {
  NoteList footnotes, endnotes;
  bool prepared = false;
  // The note whose content is being written (0: none) and whether its back
  // link has been written yet.
  int current_number = 0;
  bool current_endnote = false;
  bool current_mark_written = false;
  bool missing_reported = false;
};

// The mark text of the note with sequence number `number` (1-based), in the
// settings' w:numFmt counted from w:numStart. Word's defaults: footnotes
// decimal, endnotes lower-case roman.
std::string NoteMarkText(int number, const NoteSettings& settings, bool endnote);

// The visible text of an alternative-format chunk, one string per paragraph
// ("\n" inside a string is a line break). `content_type` is the part's
// content type: text/html, application/xhtml+xml, text/plain or
// message/rfc822 (a web archive, whose first HTML part is used). Other types
// give nothing. Scripts, styles and the head are left out; input beyond a
// fixed size is not looked at.
std::vector<std::string> AltChunkParagraphs(std::string_view content,
                                            std::string_view content_type);

}  // namespace tessarine::convert
