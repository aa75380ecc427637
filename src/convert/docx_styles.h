// The style model of a .docx: styles.xml as plain data, the parsers for
// paragraph, run, table and cell properties (used for styles and for direct
// formatting in document.xml alike), style resolution along `w:basedOn`, and
// the names Word gives styles in HTML.
//
// Units are those of the file: lengths in twips (1/20 pt) unless a field
// says otherwise, font sizes in half-points, border widths in eighths of a
// point, the *Chars and *Lines variants in hundredths of a character or line.
// Every field is optional (or empty): unset means "inherit", which is what
// Merge relies on.
//
// Toggle properties (b, bCs, i, iCs, caps, smallCaps, strike, dstrike,
// outline, shadow, emboss, imprint, vanish), following the OOXML rule:
//  * Along one style's basedOn chain a value set by the derived style
//    replaces the inherited one (Word writes `<w:b w:val="0"/>` to turn an
//    inherited bold off), so EffectiveStyle merges plainly.
//  * Between the levels of the style hierarchy (document defaults, table
//    style, paragraph style, character style) a level that sets the property
//    on flips the state reached so far; a level that sets it off leaves it.
//    A bold paragraph style with a bold character style gives plain text.
//  * Direct formatting sets the state absolutely (`w:val="0"` is off).
// ResolveRunProperties applies these rules; its result has every toggle
// field set.
#pragma once

#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tessarine::convert {

struct Border {
  std::string val;           // "single", "double", "dotted", "nil", "none", ...
  std::optional<int> size;   // w:sz, eighths of a point
  std::optional<int> space;  // w:space, points
  std::string color;         // "auto" or RRGGBB
  std::string theme_color;
  bool shadow = false;
  bool frame = false;
  bool operator==(const Border&) const = default;
};

struct Shading {
  std::string val;    // "clear", "solid", "pct10", ...
  std::string color;  // pattern colour
  std::string fill;   // background, "auto" or RRGGBB
  std::string theme_fill;
  bool operator==(const Shading&) const = default;
};

struct TabStop {
  std::string val;     // "left", "center", "right", "decimal", "bar", "num", "clear"
  std::string leader;  // "", "dot", "hyphen", "underscore", "heavy", "middleDot"
  int position = 0;    // twips
  bool operator==(const TabStop&) const = default;
};

struct ParagraphBorders {
  std::optional<Border> top, left, bottom, right, between, bar;
  bool operator==(const ParagraphBorders&) const = default;
};

// Run properties (`w:rPr`).
struct FontSlots {
  std::optional<std::string> ascii, h_ansi, east_asia, cs;  // font names
  // Theme references ("minorHAnsi" ...); when set they win over the name in
  // the same slot (ResolveThemeFont gives the font).
  std::optional<std::string> ascii_theme, h_ansi_theme, east_asia_theme, cs_theme;
  std::optional<std::string> hint;  // "default", "eastAsia", "cs"
  bool operator==(const FontSlots&) const = default;
};

struct RunProperties {
  std::optional<std::string> style_id;  // w:rStyle (direct formatting)
  FontSlots fonts;
  std::optional<bool> bold, bold_cs, italic, italic_cs, caps, small_caps, strike, dstrike, outline,
      shadow, emboss, imprint, vanish;  // toggles
  std::optional<bool> spec_vanish, web_hidden, no_proof, rtl, cs, snap_to_grid;
  std::optional<std::string> underline;        // w:u w:val: "single", "double", "none", ...
  std::optional<std::string> underline_color;  // w:u w:color
  std::optional<std::string> color;            // w:color w:val: "auto" or RRGGBB
  std::optional<std::string> theme_color;      // w:color w:themeColor
  std::optional<int> size, size_cs;            // half-points
  std::optional<std::string> highlight;        // "yellow", ...
  std::optional<Shading> shading;
  std::optional<std::string> vert_align;  // "superscript", "subscript", "baseline"
  std::optional<int> spacing;             // twips
  std::optional<int> position;            // half-points
  std::optional<int> kern;                // half-points
  std::optional<int> width_scale;         // w:w, percent
  std::optional<std::string> lang, lang_east_asia, lang_bidi;
  std::optional<std::string> emphasis_mark;  // w:em
  std::optional<Border> border;              // w:bdr
  bool operator==(const RunProperties&) const = default;
};

struct ParagraphProperties {
  std::optional<std::string> style_id;  // w:pStyle (direct formatting)
  // w:jc; strict "start"/"end" are read as "left"/"right".
  std::optional<std::string> justification;
  // w:ind; strict w:start/w:end are read as left/right.
  std::optional<int> indent_left, indent_right, indent_first_line, indent_hanging;
  std::optional<int> indent_left_chars, indent_right_chars, indent_first_line_chars,
      indent_hanging_chars;  // hundredths of a character
  // w:spacing
  std::optional<int> spacing_before, spacing_after;
  std::optional<int> spacing_before_lines, spacing_after_lines;  // hundredths of a line
  std::optional<bool> spacing_before_auto, spacing_after_auto;   // *Autospacing
  // For line_rule "auto" the line is in 240ths of a line; "exact"/"atLeast": twips.
  std::optional<int> spacing_line;
  std::optional<std::string> spacing_line_rule;
  std::optional<bool> keep_next, keep_lines, page_break_before, widow_control, contextual_spacing,
      snap_to_grid, suppress_auto_hyphens, suppress_line_numbers, bidi, word_wrap, kinsoku,
      overflow_punct, top_line_punct, auto_space_de, auto_space_dn, adjust_right_ind,
      mirror_indents;
  std::optional<int> outline_level;      // 0-based, 9 = body text
  std::optional<int> num_id, num_level;  // w:numPr; num_id 0 removes numbering
  ParagraphBorders borders;
  std::optional<Shading> shading;
  // Own tab stops as written; "clear" entries remove inherited stops (Merge).
  std::vector<TabStop> tabs;
  std::optional<std::string> text_alignment;  // w:textAlignment
  std::optional<std::string> text_direction;
  bool operator==(const ParagraphProperties&) const = default;
};

// Table properties (`w:tblPr`), table-level.
struct TableWidth {
  int value = 0;     // twips for "dxa", fiftieths of a percent for "pct"
  std::string type;  // "dxa", "pct", "auto", "nil"
  bool operator==(const TableWidth&) const = default;
};
struct TableBorders {
  std::optional<Border> top, left, bottom, right, inside_h, inside_v;
  bool operator==(const TableBorders&) const = default;
};
struct CellMargins {
  std::optional<TableWidth> top, left, bottom, right;
  bool operator==(const CellMargins&) const = default;
};
struct TableProperties {
  std::optional<std::string> style_id;  // w:tblStyle (direct formatting)
  std::optional<TableWidth> width;
  std::optional<std::string> justification;
  std::optional<TableWidth> indent;
  std::optional<TableWidth> cell_spacing;
  std::optional<std::string> layout;  // "fixed", "autofit"
  TableBorders borders;
  CellMargins cell_margins;
  std::optional<Shading> shading;
  std::optional<bool> bidi_visual;
  std::optional<std::string> look;  // w:tblLook w:val (hex) when written that way
  bool operator==(const TableProperties&) const = default;
};

// Table cell properties (`w:tcPr`).
struct CellProperties {
  std::optional<TableWidth> width;
  std::optional<int> grid_span;
  // w:vMerge: "restart" or "continue" (an empty w:vMerge means continue).
  std::optional<std::string> vertical_merge;
  std::optional<std::string> horizontal_merge;  // legacy w:hMerge
  TableBorders borders;  // inside_h/inside_v hold w:insideH/insideV; tl2br etc. left out
  std::optional<Shading> shading;
  std::optional<std::string> vertical_align;  // "top", "center", "bottom"
  std::optional<bool> no_wrap;
  CellMargins margins;
  std::optional<std::string> text_direction;
  bool operator==(const CellProperties&) const = default;
};

// Parsers for a `w:pPr`, `w:rPr`, `w:tblPr`, `w:tcPr` node; an empty handle
// gives an empty struct. ParseParagraphProperties ignores the paragraph
// mark's `w:rPr` and `w:sectPr` inside `w:pPr` (read them separately).
ParagraphProperties ParseParagraphProperties(pugi::xml_node ppr);
RunProperties ParseRunProperties(pugi::xml_node rpr);
TableProperties ParseTableProperties(pugi::xml_node tbl_pr);
CellProperties ParseCellProperties(pugi::xml_node tc_pr);

// `over` on top of `base`: every field set in `over` replaces the one in
// `base` (toggles included; see ResolveRunProperties for the hierarchy
// rule). Paragraph borders merge side by side, font slots slot by slot, tab
// stops accumulate by position with "clear" removing one (the result holds
// no "clear" entries and is sorted by position).
ParagraphProperties Merge(const ParagraphProperties& base, const ParagraphProperties& over);
RunProperties Merge(const RunProperties& base, const RunProperties& over);
TableProperties Merge(const TableProperties& base, const TableProperties& over);
CellProperties Merge(const CellProperties& base, const CellProperties& over);

enum class StyleType { kParagraph, kCharacter, kTable, kNumbering };

struct Style {
  std::string style_id;  // w:styleId
  std::string name;      // w:name ("heading 1" for a built-in, whatever the UI language)
  StyleType type = StyleType::kParagraph;
  std::string based_on, link, next;  // style ids; empty when absent
  bool is_default = false;           // w:default
  bool custom_style = false;         // w:customStyle
  bool q_format = false, semi_hidden = false, unhide_when_used = false, hidden = false;
  std::optional<int> ui_priority;
  std::vector<std::string> aliases;  // w:aliases, split at ","
  // Own properties as written in the style.
  ParagraphProperties paragraph;
  RunProperties run;
  TableProperties table;  // table styles
  CellProperties cell;    // table styles
  bool operator==(const Style&) const = default;
};

// 1..9 for a style named "heading 1".."heading 9" (case-insensitive, by
// w:name: Chinese Word stores "heading 1" under styleId "1"), else 0.
int HeadingLevel(const Style& style);
// 1..9 for "toc 1".."toc 9", else 0.
int TocLevel(const Style& style);
// True when `name` is one of Word's built-in style names (case-insensitive).
bool IsBuiltinStyleName(std::string_view name);

// The HTML class Word gives a built-in style, from its w:name
// (case-insensitive): "Normal" -> "MsoNormal", "heading 7" -> "MsoHeading7",
// "toc 3" -> "MsoToc3", "annotation text" -> "MsoCommentText",
// "Balloon Text" -> "MsoAcetate", "FollowedHyperlink" ->
// "MsoHyperlinkFollowed", "Normal Table" -> "MsoNormalTable" ...; empty for a
// name that is not built in. Headings 1-6 get "MsoHeading1".."MsoHeading6",
// though Word writes those as `<h1>`..`<h6>` elements (see HeadingLevel).
std::string BuiltinClassName(std::string_view name);

// The class derived from a custom style's name as Word derives it: ASCII
// letters, digits and "-" kept, everything else (spaces, "_", punctuation,
// CJK) dropped; then an "a" in front when what is left is no CSS identifier
// (empty, or starting with a digit or "-" without a letter after it), which
// Word does not do and browsers would reject. "Table Subheading" ->
// "TableSubheading", "标题 1 Char" -> "a1Char", "zgb_正文五号" -> "zgb",
// "章标题" -> "a". Not yet unique; StyleSheet::ClassName makes it so.
std::string CustomClassBase(std::string_view name);

// styles.xml.
class StyleSheet {
 public:
  // An empty handle (no styles part) gives a sheet with no styles and
  // empty defaults.
  static StyleSheet Parse(const pugi::xml_document* styles_part);

  const std::vector<Style>& styles() const { return styles_; }  // file order
  // By styleId (exact, as Word compares them); null when unknown.
  const Style* Find(std::string_view style_id) const;
  // By w:name, case-insensitive; null when unknown.
  const Style* FindByName(std::string_view name) const;
  // The style marked w:default="1" for the type (the first if several);
  // null when none.
  const Style* DefaultStyle(StyleType type) const;

  // w:docDefaults.
  const ParagraphProperties& default_paragraph() const { return default_paragraph_; }
  const RunProperties& default_run() const { return default_run_; }

  // The style's properties along its basedOn chain, root first, plainly
  // merged (no document defaults). A cycle or an unknown basedOn ends the
  // chain; the chain is at most 64 styles long. Unknown id: empty.
  ParagraphProperties EffectiveParagraph(std::string_view style_id) const;
  RunProperties EffectiveRun(std::string_view style_id) const;
  TableProperties EffectiveTable(std::string_view style_id) const;
  CellProperties EffectiveCell(std::string_view style_id) const;
  // The basedOn chain from the style itself to its root (ids), cycle-safe.
  std::vector<std::string> Chain(std::string_view style_id) const;

  // A paragraph's properties: document defaults, then the paragraph style's
  // chain (the default paragraph style when `paragraph_style_id` is empty or
  // unknown), then `direct`.
  ParagraphProperties ResolveParagraphProperties(std::string_view paragraph_style_id,
                                                 const ParagraphProperties& direct) const;
  // A run's properties by the toggle rule above: document defaults, table
  // style, paragraph style (default one when empty/unknown), character style
  // (direct.style_id), then direct formatting. Every toggle field is set in
  // the result.
  RunProperties ResolveRunProperties(std::string_view paragraph_style_id,
                                     const RunProperties& direct,
                                     std::string_view table_style_id = {}) const;

  // The HTML class of the style with this id, unique in the sheet
  // (case-insensitively): built-ins get BuiltinClassName; custom styles get
  // CustomClassBase, and on a clash a suffix 0-9 then a-f, then the last try
  // grows by one more character ("a", "a0".."a9", "aa".."af", "af0" ...),
  // assigned in file order after all built-ins, as Word does. Empty for an
  // unknown id.
  std::string ClassName(std::string_view style_id) const;

  // Oddities met (a basedOn cycle, an unknown basedOn, a duplicate styleId).
  const std::vector<std::string>& diagnostics() const { return diagnostics_; }

 private:
  std::vector<Style> styles_;
  std::unordered_map<std::string, size_t> index_;  // styleId -> position in styles_
  std::vector<std::string> class_names_;           // parallel to styles_
  ParagraphProperties default_paragraph_;
  RunProperties default_run_;
  std::vector<std::string> diagnostics_;
};

}  // namespace tessarine::convert
