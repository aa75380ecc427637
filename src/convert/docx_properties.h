// Plain models of the small document-wide parts of a .docx: core and app
// properties, settings, the theme's fonts, the font table, and a section's
// page setup. Each Parse function takes a tree that went through
// ParseXmlPart (canonical prefixes) and never fails: what is missing keeps
// its default. Lengths keep the OOXML units named beside each field.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace tessarine::convert {

// docProps/core.xml. Dates as written (W3CDTF, "2015-11-18T04:45:00Z").
struct CoreProperties {
  std::string title, subject, creator, keywords, description, last_modified_by, revision, created,
      modified, category, content_status, last_printed;
  bool operator==(const CoreProperties&) const = default;
};
CoreProperties ParseCoreProperties(const pugi::xml_document& doc);

// docProps/app.xml (Word writes these into o:DocumentProperties).
struct AppProperties {
  std::optional<long long> pages, words, characters, characters_with_spaces, lines, paragraphs,
      total_time;
  std::string company, manager, template_name, application, app_version;
  bool operator==(const AppProperties&) const = default;
};
AppProperties ParseAppProperties(const pugi::xml_document& doc);

// settings.xml `w:footnotePr` / `w:endnotePr`.
struct NoteSettings {
  std::string position;          // w:pos: "pageBottom", "beneathText", "sectEnd", "docEnd"
  std::string number_format;     // w:numFmt: "decimal", "lowerRoman", ...
  std::optional<int> start;      // w:numStart
  std::string restart;           // w:numRestart: "continuous", "eachSect", "eachPage"
  std::vector<int> special_ids;  // ids of the separator/continuation notes
  bool operator==(const NoteSettings&) const = default;
};

// `w:themeFontLang`: the languages theme fonts are picked for.
struct ThemeFontLanguages {
  std::string latin;      // w:val, "en-US"
  std::string east_asia;  // w:eastAsia, "zh-CN"
  std::string bidi;       // w:bidi, "ar-SA"
  bool operator==(const ThemeFontLanguages&) const = default;
};

// settings.xml. Defaults are Word's when the element is absent.
struct DocumentSettings {
  int default_tab_stop = 720;  // twips (Word's 0.5 inch)
  bool even_and_odd_headers = false;
  bool mirror_margins = false;
  bool gutter_at_top = false;
  bool auto_hyphenation = false;
  bool track_revisions = false;
  bool display_background_shape = false;
  bool do_not_use_html_paragraph_auto_spacing = false;  // compat
  bool balance_single_byte_double_byte_width = false;   // compat
  std::string character_spacing_control;  // "doNotCompress", "compressPunctuation", ...
  std::optional<int> compatibility_mode;  // compatSetting compatibilityMode (11..15)
  std::optional<int> zoom_percent;
  std::string view;  // w:view: "print", "web", ...
  NoteSettings footnotes, endnotes;
  ThemeFontLanguages theme_font_lang;
  std::string decimal_symbol;
  std::string list_separator;
  bool operator==(const DocumentSettings&) const = default;
};
DocumentSettings ParseSettings(const pugi::xml_document& doc);

// One of the theme's font collections (a:majorFont / a:minorFont).
struct ThemeFontScheme {
  std::string latin, east_asia, complex_script;  // typefaces; may be empty
  std::map<std::string, std::string> by_script;  // a:font script="Hans" -> typeface
  bool operator==(const ThemeFontScheme&) const = default;
};
struct ThemeFonts {
  ThemeFontScheme major, minor;
  bool operator==(const ThemeFonts&) const = default;
};
ThemeFonts ParseThemeFonts(const pugi::xml_document& doc);

// The real font name for a theme font reference (w:asciiTheme etc.:
// "majorAscii", "majorHAnsi", "majorEastAsia", "majorBidi", "minorAscii",
// "minorHAnsi", "minorEastAsia", "minorBidi"). East Asian and complex-script
// references with an empty typeface fall back to the per-script font for the
// language in `languages` (zh-CN -> "Hans", zh-TW/zh-HK -> "Hant", ja -> "Jpan",
// ko -> "Hang", ar -> "Arab", he -> "Hebr", ...). Empty when unknown.
std::string ResolveThemeFont(const ThemeFonts& fonts, const ThemeFontLanguages& languages,
                             std::string_view theme_reference);

// fontTable.xml, one `w:font`.
struct FontInfo {
  std::string name;      // w:name
  std::string alt_name;  // w:altName
  std::optional<std::array<std::uint8_t, 10>> panose1;
  std::optional<int> charset;  // w:charset w:val (hex in the file): 0, 134 (GB2312), ...
  std::string family;          // "roman", "swiss", "modern", "script", "decorative", "auto"
  std::string pitch;           // "variable", "fixed", "default"
  // w:sig usb0 usb1 usb2 usb3 csb0 csb1 (hex in the file).
  std::optional<std::array<std::uint32_t, 6>> signature;
  bool operator==(const FontInfo&) const = default;
};
struct FontTable {
  std::vector<FontInfo> fonts;  // in file order
  // By name, exact match first, then case-insensitive; null when absent.
  const FontInfo* Find(std::string_view name) const;
  bool operator==(const FontTable&) const = default;
};
FontTable ParseFontTable(const pugi::xml_document& doc);

// A section's `w:sectPr`.
struct HeaderFooterReference {
  std::string type;  // "default", "even", "first"
  std::string id;    // relationship id in the main document's relationships
  bool operator==(const HeaderFooterReference&) const = default;
};
struct SectionProperties {
  std::string break_type;  // w:type: "nextPage" (default), "continuous", "evenPage", ...
  std::optional<int> page_width, page_height;  // twips
  bool landscape = false;                      // w:pgSz w:orient="landscape"
  std::optional<int> margin_top, margin_right, margin_bottom, margin_left, margin_header,
      margin_footer, margin_gutter;  // twips
  std::vector<HeaderFooterReference> headers, footers;
  bool title_page = false;  // w:titlePg
  std::string page_number_format;
  std::optional<int> page_number_start;
  std::string doc_grid_type;               // "default", "lines", "linesAndChars", "snapToChars"
  std::optional<int> doc_grid_line_pitch;  // twips
  std::optional<int> doc_grid_char_space;
  std::optional<int> columns;       // w:cols w:num
  std::optional<int> column_space;  // twips
  bool equal_width_columns = true;
  std::string vertical_align;  // w:vAlign
  bool bidi = false;
  std::string text_direction;
  bool operator==(const SectionProperties&) const = default;
};
// `sect_pr` is a `w:sectPr` node; an empty handle gives the defaults.
SectionProperties ParseSectionProperties(pugi::xml_node sect_pr);

}  // namespace tessarine::convert
