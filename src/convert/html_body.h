// The body writer of the Word HTML writer, shared by html_body.cpp
// (sections, paragraphs, runs, fields, links) and html_table.cpp (tables).
// Internal to the convert library.
//
// One pass over document.xml, appending to one string. A paragraph is opened
// lazily, at its first content, so that a page break at its start can stand
// between paragraphs as Word writes it, and so that bookmark anchors and the
// list label come first inside it. Runs with identical formatting share one
// set of wrapper tags, as in Word's output.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "convert/html_document.h"
#include "convert/html_notes.h"
#include "convert/html_picture.h"
#include "convert/picture_files.h"
#include "support/status.h"

namespace tessarine::convert {

struct DrawnShape;
struct PageGeometry;

class BodyWriter {
 public:
  BodyWriter(const HtmlDocument& doc, std::string& out);
  // `drain` empties `out` when it has grown large (see WriteHtmlBody).
  void SetDrain(const std::function<void(std::string&)>* drain) { drain_ = drain; }
  // Where pictures go; without it they are named but not written.
  void SetPictures(PictureFiles* pictures) { pictures_ = pictures; }
  // What picture sources start with: "<files folder>/" unless set. header.htm,
  // which lies in that folder, names its pictures bare ("image003.gif"), as
  // Word does and the page-header stage expects: it passes "".
  void SetPictureSourcePrefix(std::string prefix) { picture_prefix_ = std::move(prefix); }
  void Write();
  // Whether Write could read the whole body (see DocxPackage::ForEachBodyPiece).
  const support::Status& status() const { return status_; }
  // Most bytes of HTML the body may come to (drained pieces included); past
  // it writing stops and budget_status() says why.
  void SetBudget(size_t bytes) { budget_ = bytes; }
  const support::Status& budget_status() const { return budget_status_; }
  // Asked between blocks (every few dozen): true ends the writing early and
  // stopped() says so.
  void SetStop(const std::function<bool()>* stop_requested) { stop_requested_ = stop_requested; }
  bool stopped() const { return stopped_; }
  // One header or footer story (a w:hdr or w:ftr root) for header.htm: its
  // blocks only, with fields, lists and bookmarks of its own, and links and
  // pictures resolved against `part_name`'s relationships.
  void WriteStory(pugi::xml_node story, const std::string& part_name);

 private:
  // Per paragraph style: what every paragraph of that style needs.
  struct StyleInfo {
    std::string id;
    std::string class_name;
    int heading_level = 0;
    bool contextual_spacing = false;
    bool outline_level = false;  // the style gives its paragraphs an outline level (1-9)
    std::optional<int> num_id, num_level;
    double font_size_pt = 10.0;
    std::string mark_language_latin, mark_language_east_asia;
  };
  // Inherited languages for a paragraph style / character style / table
  // style combination.
  struct InheritedRun {
    std::string latin, east_asia;
  };
  // An element opened inside a paragraph that must be closed in order.
  struct InlineElement {
    std::string close;
    std::string bookmark_id;  // a wrapping <a name> for this bookmark
    int field = -1;           // the <a href> of this field's result
    bool in_comment = false;  // opened inside a field-code comment
  };
  struct Field {
    std::string instruction;
    bool in_result = false;
    bool hide_result = false;  // TOC page numbers (\z): hidden on screen
    bool anchor_open = false;
    // PAGE and NUMPAGES: the result is held back and written at the end in
    // the one form the page-footer stage renumbers.
    bool page_number = false;
    std::string cached_result;              // the result text the document holds
    std::string result_open, result_close;  // the first result run's wrapper
    bool result_wrapper_set = false;
  };
  struct Paragraph {
    std::string open_tag, close_tag;
    std::string style_id, table_style_id;
    bool opened = false;
    bool has_content = false;
    bool at_line_start = true;
    std::string label_html;  // written once, after the anchors
    bool label_written = false;
    // Bookmarks met before the paragraph opened: name, and the id when the
    // anchor wraps the bookmarked text (empty for an empty anchor).
    std::vector<std::pair<std::string, std::string>> pending_bookmarks;
    int depth = 0;  // table nesting; 0 = the body
    std::vector<InlineElement> inline_stack;
    std::string run_open, run_close;  // the wrapper tags now open (empty: none)
    bool comment_open = false;        // inside <!--[if supportFields]>
  };

  // --- blocks (html_body.cpp) ---
  // False (and reported once) when content is nested too deep to follow.
  bool EnterNested();
  void WriteBlocks(pugi::xml_node container, int depth);
  // The siblings [first, end); an empty `end`: to the last.
  void WriteBlocks(pugi::xml_node first, pugi::xml_node end, int depth);
  void WriteParagraph(pugi::xml_node p, int depth);
  void WriteSectionBreak(const SectionProperties& next);
  void BlockLineStart(int depth);
  void BlockLineEnd(int depth);

  // --- paragraph state ---
  void OpenParagraph();
  void CloseParagraph(std::string_view mark_wrapper_open, std::string_view mark_wrapper_close);
  void PrepareContent();  // opens the paragraph and the field-code comment as needed
  void SyncComment(bool code);
  void UseWrapper(std::string_view open, std::string_view close);
  void CloseWrapper();
  void PushInline(const std::string& open, InlineElement element);
  void PopInline();
  void CloseAllInline();
  bool InFieldCode() const;
  bool HideFieldResult() const;
  // Inside a hyperlink's <a href> (not a bookmark's <a name>).
  bool InHyperlink() const;
  // What a link shows unless its text says otherwise: the Hyperlink style's
  // colour ("0000FF", a browser's blue, without one) and underline.
  struct LinkLook {
    std::string color = "0000FF";
    bool underline = true;
  };
  const LinkLook& HyperlinkLook();

  // --- inline content ---
  void WriteInline(pugi::xml_node parent);
  void WriteRun(pugi::xml_node r);
  void WriteHyperlink(pugi::xml_node link);
  void WriteSimpleField(pugi::xml_node field);
  void WriteBookmarkStart(pugi::xml_node start);
  void WriteBookmarkEnd(pugi::xml_node end);
  void WriteFieldChar(pugi::xml_node fld_char, std::string_view wrapper_open,
                      std::string_view wrapper_close);
  // Page-number fields (PAGE, NUMPAGES): the result text of the innermost
  // field is kept instead of written (false when it is no such field), and
  // written at the field's end as digits directly inside a tag with
  // mso-no-proof; a complex field's result also inside its code's span.
  bool HoldPageNumberText(std::string_view text, std::string_view wrapper_open,
                          std::string_view wrapper_close);
  void FinishPageNumberField(std::string_view wrapper_open, std::string_view wrapper_close);
  void WritePageNumber(std::string_view cached, std::string_view wrapper_open,
                       std::string_view wrapper_close, std::string_view complex_instruction);
  void WriteText(std::string_view text, bool is_content);
  void WriteTabs(int count);
  void WriteBreak(pugi::xml_node br, std::string_view wrapper_open, std::string_view wrapper_close);
  void WriteSymbol(pugi::xml_node sym);
  // The wrapper tags for a run's properties; `text_sample` decides the
  // East Asian font and language.
  void RunWrapper(const RunProperties& direct, bool east_asian_text, std::string& open,
                  std::string& close);
  std::string ListLabelHtml(const ListLabel& label, const ParagraphProperties& resolved,
                            const RunProperties& mark);

  // --- pictures, text boxes and drawn shapes (html_picture.cpp) ---
  // A w:drawing, w:pict, w:object or mc:AlternateContent met in a run.
  void WriteRunObject(pugi::xml_node object, std::string_view open, std::string_view close);
  void WritePicture(const DrawnShape& shape, std::string_view open, std::string_view close);
  // A chart, or a diagram's stored drawing, drawn as an SVG picture; false
  // when it cannot be drawn.
  bool WriteChart(const DrawnShape& shape, std::string_view open, std::string_view close);
  // A relationship of the story being written.
  const Relationship* StoryRelationship(std::string_view id) const;
  const Relationship* DiagramDrawing(const Relationship& data) const;
  void ReportRenderedDrawings();
  // The theme's a:clrScheme; an empty handle without a theme.
  pugi::xml_node ThemeColorScheme() const;
  void WriteTextBox(const DrawnShape& shape);
  PictureFiles& Pictures();
  PageGeometry CurrentPage() const;

  // --- tables (html_table.cpp) ---
  void WriteTable(pugi::xml_node tbl, int depth);

  // --- notes and embedded chunks (html_notes.cpp) ---
  // Returns the last node it used (a custom mark's text follows the reference).
  pugi::xml_node WriteNoteReference(pugi::xml_node ref, std::string_view open,
                                    std::string_view close);
  void WriteNoteMark(pugi::xml_node mark, std::string_view open, std::string_view close);
  void WriteNoteLists();
  void WriteAltChunk(pugi::xml_node chunk, int depth);

  // --- caches ---
  const StyleInfo& ParagraphStyle(std::string_view style_id);
  const InheritedRun& Inherited(std::string_view paragraph_style, std::string_view char_style,
                                std::string_view table_style);
  const std::string& CharacterClass(std::string_view style_id);
  std::string Href(pugi::xml_node link) const;

  const HtmlDocument& doc_;
  std::string& out_;
  const std::function<void(std::string&)>* drain_ = nullptr;
  ListCounter main_counter_;
  ListCounter text_box_counter_;
  ListCounter* counter_;
  std::vector<Field> fields_;
  Paragraph* para_ = nullptr;
  std::string current_table_style_;
  size_t section_index_ = 0;
  std::vector<std::string> block_bookmarks_;  // bookmarks between paragraphs
  std::map<std::string, StyleInfo, std::less<>> styles_;
  std::map<std::string, InheritedRun, std::less<>> inherited_;
  std::map<std::string, std::string, std::less<>> char_classes_;
  std::string default_paragraph_style_;
  std::string scratch_css_;
  int nesting_ = 0;
  bool nesting_reported_ = false;
  // Whether the written HTML has passed the budget; once it has, every
  // writer of blocks, rows and cells stops.
  bool OverBudget();
  size_t budget_ = static_cast<size_t>(-1);
  size_t drained_ = 0;
  support::Status budget_status_ = support::Status::Ok();
  const std::function<bool()>* stop_requested_ = nullptr;
  unsigned blocks_since_stop_check_ = 0;
  bool stopped_ = false;
  NoteState notes_;
  std::string story_part_;  // whose relationships links use; empty: the main document
  PictureFiles* pictures_ = nullptr;
  std::optional<std::string> picture_prefix_;
  std::unique_ptr<PictureFiles> own_pictures_;  // names only, when none was set
  bool picture_type_written_ = false;           // the VML shape type goes once per file
  // The text-box chains of each part met, by its tree.
  std::map<const void*, TextBoxChains> text_box_chains_;
  bool rendered_drawings_reported_ = false;
  bool linked_pictures_reported_ = false;
  bool invalid_text_reported_ = false;
  std::optional<LinkLook> link_look_;
  support::Status status_ = support::Status::Ok();
};

// Escapes a URL or name for a double-quoted attribute value.
void AppendAttributeText(std::string& out, std::string_view text);

}  // namespace tessarine::convert
