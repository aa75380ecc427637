// Links inside one document once it is cut into pages.
//
// Word writes a document as one page: its bookmarks, cross-references, table
// of contents and note references link to "#name" on that page, and the
// footnotes and endnotes stand together at its end. After the split a target
// can live on another page; these routines keep every such link working and
// bring each note to the page that refers to it. They run on the Section
// table after the page files are named and before the bodies are cleaned.
#pragma once

#include <string>
#include <string_view>

#include "site/section.h"

namespace tessarine::site {

// Moves every footnote and endnote out of the document's note lists to the
// end of the first page whose body refers to it, inside a note list of the
// same kind (Word's separator included), so that a reader finds the note
// below the text that cites it. A note no page refers to stays where it was;
// a list left without notes goes.
void MoveNotesToTheirPages(SectionTable& sections);

// Rewrites every link "#name" in a page body whose target (an element's name
// or id, in a body or in the page's heading) stands on another page into
// "page#name". Links to names no page holds stay as they are.
void LinkAcrossPages(SectionTable& sections);

// The anchors ("<a name=...></a>") of a heading element, for the fresh page
// heading that replaces it; empty when the heading holds none.
std::string HeadingAnchors(std::string_view heading_html);

}  // namespace tessarine::site
