// header.htm of the Word HTML writer: the page headers and footers and the
// note separators, which Word keeps out of the page itself in a file of the
// companion folder, and the @page declarations of the main file that name
// them.
//
// Word's order in the file: the four note separators (fs fcs es ecs) when
// the document has a notes part, then for each section the stories it
// defines itself, as eh, h, ef, f, fh, ff followed by the section's number
// (cn-jahhan-doc-utf8/index.files/header.htm: fs fcs es ecs eh1 h1 ef1 f1
// fh1 ff1). A section without a reference of its own for a kind uses the
// previous section's story of that kind, so its @page rule names the earlier
// number and the file gets no story for it. Each story's opening tag is
// exactly <div style='mso-element:header' id=h1> or
// <div style='mso-element:footer' id=f1>: the page-footer stage finds the
// first header and footer by that text and nothing else.
//
// Internal to the convert library.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "convert/html_document.h"

namespace tessarine::convert {

class PictureFiles;

// One header or footer story as header.htm holds it.
struct HeaderFooterStory {
  std::string id;  // "h1", "ef2" ...: the kind, then the section that defines it
  bool footer = false;
  std::string part_name;  // "word/header1.xml"
  bool operator==(const HeaderFooterStory&) const = default;
};

// A story a section's @page rule names.
struct PageStoryReference {
  std::string_view property;  // "mso-header", "mso-even-footer" ...
  std::string story_id;
  bool operator==(const PageStoryReference&) const = default;
};

struct HeaderFooterPlan {
  bool note_separators = false;
  std::vector<HeaderFooterStory> stories;                 // in the file's order
  std::vector<std::vector<PageStoryReference>> sections;  // one per HtmlDocument section
  // Nothing to write: the document gets no header.htm.
  bool empty() const { return !note_separators && stories.empty(); }
};

// Which stories the document's sections define and name. A reference whose
// relationship is unknown or external counts as absent (the section then
// uses the previous one's story); one that names a part an earlier section
// already named for the same kind uses that section's story.
HeaderFooterPlan PlanHeaderFooters(const HtmlDocument& doc);

// The declarations of the unnamed @page rule that names the note
// separators ("mso-footnote-separator:url(\"NAME.files/header.htm\") fs;" ...).
std::string NoteSeparatorPageCss(std::string_view files_folder);

// Appends the declarations that name section `index`'s stories to a
// @page rule's `css`, in Word's order.
void AppendPageStoryCss(std::string& css, const HeaderFooterPlan& plan, size_t index,
                        std::string_view files_folder);

// The whole header.htm (UTF-8, CR LF), linking back to `main_file_name`
// ("NAME.htm"); empty when the plan is. Pictures go to `pictures` (the main
// file's, so one counter numbers them all; null: named but not written). A
// story whose part is missing or not well-formed is written empty and
// reported in the document's diagnostics.
std::string RenderHeaderFile(const HtmlDocument& doc, const HeaderFooterPlan& plan,
                             std::string_view main_file_name, PictureFiles* pictures);

}  // namespace tessarine::convert
