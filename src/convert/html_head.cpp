// The head of a Word HTML file: namespaces, meta elements, the VML behaviour
// block, the title, the document-property islands and the style sheet (font,
// style, page and list definitions), then the table styles in their own
// conditional block. The later stages read the title, the bare <style>
// elements and the first named @page rule; everything inside
// <!--[if gte mso N]> blocks is for Word only and is dropped by them.
#include <cstdint>
#include <string>

#include "convert/html_document.h"
#include "convert/html_header.h"
#include "convert/html_text.h"

namespace tessarine::convert {

namespace {

constexpr std::string_view kCrLf = "\r\n";

// A style or font name as a CSS value in mso-style-* declarations: quoted
// when it holds a space, as Word writes `mso-style-link:"标题 1 Char"`.
void AppendCssName(std::string& out, std::string_view name) {
  const bool quote = name.find(' ') != std::string_view::npos;
  if (quote) out += '"';
  for (char c : name) {
    if (c == '"' || c == '\'' || c == ';' || c == '{' || c == '}' || c == '<' || c == '>') continue;
    out += c;
  }
  if (quote) out += '"';
}

void AppendXmlText(std::string& out, std::string_view text) {
  AppendEscapedText(out, text);
}

void AppendProperty(std::string& out, std::string_view name, std::string_view value) {
  if (value.empty()) return;
  out += "  <o:";
  out += name;
  out += '>';
  AppendXmlText(out, value);
  out += "</o:";
  out += name;
  out += '>';
  out += kCrLf;
}

void AppendNumberProperty(std::string& out, std::string_view name,
                          const std::optional<long long>& value) {
  if (value) AppendProperty(out, name, std::to_string(*value));
}

void WriteDocumentProperties(const HtmlDocument& doc, std::string& out) {
  const CoreProperties& core = doc.package->core_properties();
  const AppProperties& app = doc.package->app_properties();
  out += "<!--[if gte mso 9]><xml>\r\n <o:DocumentProperties>\r\n";
  AppendProperty(out, "Title", core.title);
  AppendProperty(out, "Subject", core.subject);
  AppendProperty(out, "Author", core.creator);
  AppendProperty(out, "Keywords", core.keywords);
  AppendProperty(out, "Description", core.description);
  AppendProperty(out, "Template", app.template_name);
  AppendProperty(out, "LastAuthor", core.last_modified_by);
  AppendProperty(out, "Revision", core.revision);
  AppendNumberProperty(out, "TotalTime", app.total_time);
  AppendProperty(out, "LastPrinted", core.last_printed);
  AppendProperty(out, "Created", core.created);
  AppendProperty(out, "LastSaved", core.modified);
  AppendNumberProperty(out, "Pages", app.pages);
  AppendNumberProperty(out, "Words", app.words);
  AppendNumberProperty(out, "Characters", app.characters);
  AppendProperty(out, "Category", core.category);
  AppendProperty(out, "Manager", app.manager);
  AppendProperty(out, "Company", app.company);
  AppendNumberProperty(out, "Lines", app.lines);
  AppendNumberProperty(out, "Paragraphs", app.paragraphs);
  AppendNumberProperty(out, "CharactersWithSpaces", app.characters_with_spaces);
  AppendProperty(out, "Version", "15.00");
  out += " </o:DocumentProperties>\r\n</xml><![endif]-->\r\n";
}

void WriteWordDocumentSettings(const HtmlDocument& doc, std::string& out) {
  const DocumentSettings& settings = doc.package->settings();
  out += "<!--[if gte mso 9]><xml>\r\n <w:WordDocument>\r\n";
  if (settings.view == "print") out += "  <w:View>Print</w:View>\r\n";
  if (settings.zoom_percent) {
    out += "  <w:Zoom>" + std::to_string(*settings.zoom_percent) + "</w:Zoom>\r\n";
  }
  if (settings.track_revisions) out += "  <w:TrackRevisions/>\r\n";
  out += "  <w:TrackMoves>false</w:TrackMoves>\r\n  <w:TrackFormatting/>\r\n";
  if (settings.even_and_odd_headers) out += "  <w:EvenAndOddHeaders/>\r\n";
  if (settings.mirror_margins) out += "  <w:MirrorMargins/>\r\n";
  out +=
      "  <w:ValidateAgainstSchemas/>\r\n  <w:SaveIfXMLInvalid>false</w:SaveIfXMLInvalid>\r\n"
      "  <w:IgnoreMixedContent>false</w:IgnoreMixedContent>\r\n"
      "  <w:AlwaysShowPlaceholderText>false</w:AlwaysShowPlaceholderText>\r\n"
      "  <w:DoNotPromoteQF/>\r\n";
  const ThemeFontLanguages& langs = settings.theme_font_lang;
  out += "  <w:LidThemeOther>";
  out += langs.latin.empty() ? std::string("EN-US") : HtmlLanguage(langs.latin);
  out += "</w:LidThemeOther>\r\n  <w:LidThemeAsian>";
  out += langs.east_asia.empty() ? std::string("ZH-CN") : HtmlLanguage(langs.east_asia);
  out += "</w:LidThemeAsian>\r\n  <w:LidThemeComplexScript>";
  out += langs.bidi.empty() ? std::string("X-NONE") : HtmlLanguage(langs.bidi);
  out += "</w:LidThemeComplexScript>\r\n";
  out +=
      "  <w:BrowserLevel>MicrosoftInternetExplorer4</w:BrowserLevel>\r\n"
      " </w:WordDocument>\r\n</xml><![endif]-->\r\n";
}

// --- Font definitions --------------------------------------------------------

bool IsEastAsianCharset(const std::optional<int>& charset) {
  return charset == 128 || charset == 129 || charset == 134 || charset == 136;
}

void WriteFontFace(const FontInfo& font, std::string_view name, std::string& out) {
  std::string css = "font-family:";
  AppendCssFontName(css, name);
  css += ';';
  if (font.panose1) {
    css += "panose-1:";
    for (size_t i = 0; i < font.panose1->size(); ++i) {
      if (i > 0) css += ' ';
      css += std::to_string((*font.panose1)[i]);
    }
    css += ';';
  }
  if (!font.alt_name.empty()) {
    css += "mso-font-alt:";
    AppendCssFontName(css, font.alt_name);
    css += ';';
  }
  if (font.charset) css += "mso-font-charset:" + std::to_string(*font.charset) + ';';
  if (!font.family.empty()) css += "mso-generic-font-family:" + font.family + ';';
  if (!font.pitch.empty() && font.pitch != "default") css += "mso-font-pitch:" + font.pitch + ';';
  if (font.signature) {
    css += "mso-font-signature:";
    for (size_t i = 0; i < font.signature->size(); ++i) {
      if (i > 0) css += ' ';
      // Word writes the signature words as signed 32-bit numbers.
      css += std::to_string(static_cast<int32_t>((*font.signature)[i]));
    }
    css += ';';
  }
  out += "@font-face\r\n";
  AppendRuleBody(out, css);
  out += kCrLf;
}

void WriteFontDefinitions(const HtmlDocument& doc, std::string& out) {
  const FontTable& table = doc.package->font_table();
  out += " /* Font Definitions */\r\n ";
  for (const FontInfo& font : table.fonts) {
    if (!font.name.empty()) WriteFontFace(font, font.name, out);
  }
  // East Asian fonts also get their vertical-writing twin, as in Word's sheet.
  for (const FontInfo& font : table.fonts) {
    if (!font.name.empty() && font.name.front() != '@' && IsEastAsianCharset(font.charset)) {
      WriteFontFace(font, "@" + font.name, out);
    }
  }
}

// --- Style definitions -------------------------------------------------------

// "mso-list:l0 level1 lfo2" for a numbered style; empty otherwise. `level`
// gets the list level the style's paragraphs use.
std::string StyleListCss(const HtmlDocument& doc, const Style& style,
                         const ParagraphProperties& resolved, const ListLevel** level) {
  if (!resolved.num_id || *resolved.num_id == 0) return {};
  const ListDefinition* list = doc.numbering.ListForNum(*resolved.num_id);
  const ListInstance* instance = doc.numbering.Instance(*resolved.num_id);
  if (list == nullptr || instance == nullptr) return {};
  int ilvl = 0;
  if (resolved.num_level) {
    ilvl = *resolved.num_level;
  } else if (auto tied = doc.numbering.LevelForStyle(*resolved.num_id, style.style_id)) {
    ilvl = *tied;
  }
  *level = doc.numbering.Level(*resolved.num_id, ilvl);
  return "mso-list:l" + std::to_string(list->list_index) + " level" + std::to_string(ilvl + 1) +
         " lfo" + std::to_string(instance->lfo);
}

void AppendStyleMeta(const HtmlDocument& doc, const Style& style, const std::string& class_name,
                     std::string& css) {
  const std::string builtin = BuiltinClassName(style.name);
  if (builtin.empty() || builtin != class_name) {
    css += "mso-style-name:";
    AppendCssName(css, style.name);
    css += ';';
  }
  if (style.semi_hidden) css += "mso-style-noshow:yes;";
  if (style.ui_priority) css += "mso-style-priority:" + std::to_string(*style.ui_priority) + ';';
  if (!style.unhide_when_used && !style.semi_hidden) css += "mso-style-unhide:no;";
  if (style.q_format) css += "mso-style-qformat:yes;";
  if (style.type == StyleType::kParagraph || style.type == StyleType::kTable) {
    const Style* parent = style.based_on.empty() ? nullptr : doc.styles.Find(style.based_on);
    css += "mso-style-parent:";
    if (parent == nullptr) {
      css += "\"\"";
    } else {
      AppendCssName(css, parent->name);
    }
    css += ';';
  }
  if (const Style* link = style.link.empty() ? nullptr : doc.styles.Find(style.link)) {
    css += "mso-style-link:";
    AppendCssName(css, link->name);
    css += ';';
  }
  if (const Style* next = style.next.empty() ? nullptr : doc.styles.Find(style.next);
      next != nullptr && next != &style) {
    css += "mso-style-next:";
    AppendCssName(css, next->name);
    css += ';';
  }
}

void WriteRule(std::string_view selector, std::string_view css, std::string& out) {
  out += selector;
  out += kCrLf;
  AppendRuleBody(out, css);
  out += kCrLf;
}

void WriteParagraphStyle(const HtmlDocument& doc, const Style& style, std::string& out) {
  const std::string class_name = doc.styles.ClassName(style.style_id);
  const int heading = HeadingLevel(style);
  std::string selector;
  if (heading >= 1 && heading <= 6) {
    selector = "h" + std::to_string(heading);
  } else if (!class_name.empty()) {
    selector = "p." + class_name + ", li." + class_name + ", div." + class_name;
  } else {
    return;
  }
  std::string css;
  AppendStyleMeta(doc, style, class_name, css);
  ParagraphProperties paragraph = doc.styles.ResolveParagraphProperties(style.style_id, {});
  const RunProperties run = doc.styles.ResolveRunProperties(style.style_id, {});
  const ListLevel* level = nullptr;
  const std::string list_css = StyleListCss(doc, style, paragraph, &level);
  // A numbered style shows its level's indent, as Word's sheet has it.
  if (level != nullptr) ApplyListIndent(paragraph, *level, false);
  const double font_size_pt = run.size.value_or(20) / 2.0;
  AppendParagraphCss(css, paragraph, CssMode::kStyleSheet, font_size_pt, list_css);
  AppendRunCss(css, run, doc.fonts, doc.languages, CssMode::kStyleSheet, false);
  // Without a size anywhere in its chain the text is 10pt, not the
  // browser's own size.
  if (!run.size) css += "font-size:10.0pt;";
  WriteRule(selector, css, out);
  if (heading != 0 || !paragraph.contextual_spacing.value_or(false)) return;
  // Paragraphs of a style with contextual spacing take one of three classes
  // by their neighbours: the spacing between two of them is dropped.
  static constexpr std::string_view kVariants[] = {"CxSpFirst", "CxSpMiddle", "CxSpLast"};
  for (size_t i = 0; i < 3; ++i) {
    const std::string variant = class_name + std::string(kVariants[i]);
    ParagraphProperties joined = paragraph;
    if (i > 0) {
      joined.spacing_before = 0;
      joined.spacing_before_auto.reset();
      joined.spacing_before_lines.reset();
    }
    if (i < 2) {
      joined.spacing_after = 0;
      joined.spacing_after_auto.reset();
      joined.spacing_after_lines.reset();
    }
    css.clear();
    AppendStyleMeta(doc, style, class_name, css);
    css += "mso-style-type:export-only;";
    AppendParagraphCss(css, joined, CssMode::kStyleSheet, font_size_pt, list_css);
    AppendRunCss(css, run, doc.fonts, doc.languages, CssMode::kStyleSheet, false);
    if (!run.size) css += "font-size:10.0pt;";
    WriteRule("p." + variant + ", li." + variant + ", div." + variant, css, out);
  }
}

void WriteCharacterStyle(const HtmlDocument& doc, const Style& style, std::string& out) {
  if (style.is_default) return;  // "Default Paragraph Font" has no rule of its own
  const std::string class_name = doc.styles.ClassName(style.style_id);
  if (class_name.empty()) return;
  std::string selector;
  if (class_name == "MsoHyperlink") {
    selector = "a:link, span.MsoHyperlink";
  } else if (class_name == "MsoHyperlinkFollowed") {
    selector = "a:visited, span.MsoHyperlinkFollowed";
  } else {
    selector = "span." + class_name;
  }
  std::string css;
  AppendStyleMeta(doc, style, class_name, css);
  AppendRunCss(css, doc.styles.EffectiveRun(style.style_id), doc.fonts, doc.languages,
               CssMode::kStyleSheet, false);
  WriteRule(selector, css, out);
}

void WriteStyleDefinitions(const HtmlDocument& doc, std::string& out) {
  out += " /* Style Definitions */\r\n ";
  bool normal = false;
  for (const Style& style : doc.styles.styles()) {
    if (style.type != StyleType::kParagraph) continue;
    WriteParagraphStyle(doc, style, out);
    normal = normal || doc.styles.ClassName(style.style_id) == "MsoNormal";
  }
  if (!normal) {
    // Paragraphs without a style of the package's own are MsoNormal: the
    // class gets the document defaults, as Word's sheet always has it.
    std::string css = "mso-style-parent:\"\";";
    AppendParagraphCss(css, doc.styles.default_paragraph(), CssMode::kStyleSheet,
                       doc.styles.default_run().size.value_or(20) / 2.0, {});
    AppendRunCss(css, doc.styles.default_run(), doc.fonts, doc.languages, CssMode::kStyleSheet,
                 false);
    if (!doc.styles.default_run().size) css += "font-size:10.0pt;";  // Word's size without one
    WriteRule("p.MsoNormal, li.MsoNormal, div.MsoNormal", css, out);
  }
  for (const Style& style : doc.styles.styles()) {
    if (style.type == StyleType::kCharacter) WriteCharacterStyle(doc, style, out);
  }
  std::string css = "mso-style-type:export-only;mso-default-props:yes;";
  AppendRunCss(css, doc.styles.default_run(), doc.fonts, doc.languages, CssMode::kStyleSheet,
               false);
  WriteRule(".MsoChpDefault", css, out);
  const ParagraphProperties& pap = doc.styles.default_paragraph();
  if (pap.spacing_after || pap.spacing_line) {
    css = "mso-style-type:export-only;";
    if (pap.spacing_after) {
      css += "margin-bottom:";
      AppendTwipsLength(css, *pap.spacing_after);
      css += ';';
    }
    ParagraphProperties line_only;
    line_only.spacing_line = pap.spacing_line;
    line_only.spacing_line_rule = pap.spacing_line_rule;
    AppendParagraphCss(css, line_only, CssMode::kDirect, 10.0, {});
    WriteRule(".MsoPapDefault", css, out);
  }
}

// --- Page definitions --------------------------------------------------------

std::string_view PageNumberFormatCss(std::string_view format) {
  if (format == "upperRoman") return "roman-upper";
  if (format == "lowerRoman") return "roman-lower";
  if (format == "upperLetter") return "alpha-upper";
  if (format == "lowerLetter") return "alpha-lower";
  if (format == "chineseCounting" || format == "chineseCountingThousand") {
    return "chinese-counting";
  }
  if (format == "decimalFullWidth") return "arabic-full-width";
  return {};
}

// Page size and margins are always in points: the page-width stage reads
// them as numbers once "pt" is stripped, so zero is "0pt", not "0cm".
void AppendPagePoints(std::string& out, int twips) {
  AppendPoints(out, twips / 20.0);
  out += "pt";
}

void WritePageDefinitions(const HtmlDocument& doc, std::string& out) {
  out += " /* Page Definitions */\r\n ";
  // The unnamed rule names the note separators of header.htm; the page
  // stages look for a named rule and pass over it.
  const HeaderFooterPlan stories = PlanHeaderFooters(doc);
  if (stories.note_separators) WriteRule("@page", NoteSeparatorPageCss(doc.files_folder), out);
  for (size_t i = 0; i < doc.sections.size(); ++i) {
    const SectionProperties& s = doc.sections[i];
    const std::string name = "WordSection" + std::to_string(i + 1);
    // Word's defaults for a section without page setup: Letter, 1-inch margins.
    const int width = s.page_width.value_or(12240), height = s.page_height.value_or(15840);
    std::string css = "size:";
    AppendPagePoints(css, width);
    css += ' ';
    AppendPagePoints(css, height);
    css += ";margin:";
    AppendPagePoints(css, s.margin_top.value_or(1440));
    css += ' ';
    AppendPagePoints(css, s.margin_right.value_or(1440));
    css += ' ';
    AppendPagePoints(css, s.margin_bottom.value_or(1440));
    css += ' ';
    AppendPagePoints(css, s.margin_left.value_or(1440));
    css += ';';
    if (s.landscape) css += "mso-page-orientation:landscape;";
    if (s.margin_header) {
      css += "mso-header-margin:";
      AppendTwipsPt(css, *s.margin_header);
      css += ';';
    }
    if (s.margin_footer) {
      css += "mso-footer-margin:";
      AppendTwipsPt(css, *s.margin_footer);
      css += ';';
    }
    if (s.margin_gutter && *s.margin_gutter != 0) {
      css += "mso-gutter-margin:";
      AppendTwipsPt(css, *s.margin_gutter);
      css += ';';
    }
    const std::string_view number_format = PageNumberFormatCss(s.page_number_format);
    if (!number_format.empty() || s.page_number_start) {
      css += "mso-page-numbers:";
      css += number_format;
      if (s.page_number_start) {
        if (!number_format.empty()) css += ' ';
        css += std::to_string(*s.page_number_start);
      }
      css += ';';
    }
    if (s.title_page) css += "mso-title-page:yes;";
    AppendPageStoryCss(css, stories, i, doc.files_folder);
    if (s.columns && *s.columns > 1) {
      css += "mso-columns:" + std::to_string(*s.columns);
      css += s.equal_width_columns ? " even " : " not-even ";
      AppendTwipsPt(css, s.column_space.value_or(720));
      css += ';';
    }
    css += "mso-paper-source:0;";
    if (s.doc_grid_line_pitch &&
        (s.doc_grid_type == "lines" || s.doc_grid_type == "linesAndChars" ||
         s.doc_grid_type == "snapToChars")) {
      css += "layout-grid:";
      AppendTwipsPt(css, *s.doc_grid_line_pitch);
      css += ';';
    }
    WriteRule("@page " + name, css, out);
    WriteRule("div." + name, "page:" + name + ";", out);
  }
}

// --- List definitions --------------------------------------------------------

// lvlText as Word's mso-level-text: %N kept, ASCII punctuation escaped with a
// backslash (and the whole value then quoted), symbol-font characters
// (U+F0xx) as "\F0B7".
std::string LevelTextCss(std::string_view lvl_text) {
  std::string text;
  bool quote = lvl_text.empty();
  size_t pos = 0;
  while (pos < lvl_text.size()) {
    const char c = lvl_text[pos];
    if (c == '%' && pos + 1 < lvl_text.size() && lvl_text[pos + 1] >= '1' &&
        lvl_text[pos + 1] <= '9') {
      text.append(lvl_text.substr(pos, 2));
      pos += 2;
      continue;
    }
    const char32_t cp = NextCodePoint(lvl_text, pos);
    if (cp >= 0xF000 && cp <= 0xF0FF) {
      static constexpr char kHex[] = "0123456789ABCDEF";
      text += '\\';
      for (int shift = 12; shift >= 0; shift -= 4) text += kHex[(cp >> shift) & 0xF];
    } else if (cp < 0x80 && !((cp >= '0' && cp <= '9') || (cp >= 'a' && cp <= 'z') ||
                              (cp >= 'A' && cp <= 'Z'))) {
      if (cp < 0x20 || cp == '<' || cp == '>') continue;
      text += '\\';
      text += static_cast<char>(cp);
      quote = true;
    } else {
      AppendUtf8(text, cp);
    }
  }
  return quote ? "\"" + text + "\"" : text;
}

void WriteListDefinitions(const HtmlDocument& doc, std::string& out) {
  const std::vector<ListDefinition>& lists = doc.numbering.lists();
  if (lists.empty()) return;
  out += " /* List Definitions */\r\n ";
  for (const ListDefinition& list : lists) {
    const std::string name = "@list l" + std::to_string(list.list_index);
    std::string css;
    if (list.nsid) css += "mso-list-id:" + std::to_string(static_cast<int32_t>(*list.nsid)) + ';';
    if (list.multi_level_type == "hybridMultilevel") css += "mso-list-type:hybrid;";
    if (list.multi_level_type == "singleLevel") css += "mso-list-type:simple;";
    if (list.tmpl) {
      css += "mso-list-template-ids:" + std::to_string(static_cast<int32_t>(*list.tmpl)) + ';';
    }
    if (!list.style_link.empty()) {
      if (const Style* style = doc.styles.Find(list.style_link)) {
        css += "mso-style-link:";
        AppendCssName(css, style->name);
        css += ';';
      }
    }
    if (!css.empty()) WriteRule(name, css, out);
    for (const std::optional<ListLevel>& level : list.levels) {
      if (!level) continue;
      css.clear();
      const std::string_view format = NumberFormatCssName(level->format);
      if (!format.empty()) {
        css += "mso-level-number-format:";
        css += format;
        css += ';';
      }
      if (!level->style_id.empty()) {
        if (const Style* style = doc.styles.Find(level->style_id)) {
          css += "mso-level-style-link:";
          AppendCssName(css, style->name);
          css += ';';
        }
      }
      if (level->start != 1 && level->format != NumberFormat::kBullet) {
        css += "mso-level-start-at:" + std::to_string(level->start) + ';';
      }
      if (level->suffix == LevelSuffix::kSpace) css += "mso-level-suffix:space;";
      if (level->suffix == LevelSuffix::kNothing) css += "mso-level-suffix:none;";
      css += "mso-level-text:" + LevelTextCss(level->lvl_text) + ';';
      css += "mso-level-tab-stop:";
      if (level->tab_stop_twips) {
        AppendTwipsLength(css, *level->tab_stop_twips);
      } else {
        css += "none";
      }
      css += ';';
      css += "mso-level-number-position:";
      css += level->justification == LevelJustification::kCenter  ? "center"
             : level->justification == LevelJustification::kRight ? "right"
                                                                  : "left";
      css += ';';
      if (level->is_legal) css += "mso-level-legal-format:yes;";
      if (level->indent_left_twips) {
        css += "margin-left:";
        AppendTwipsLength(css, *level->indent_left_twips);
        css += ';';
      }
      if (level->indent_hanging_twips) {
        css += "text-indent:";
        AppendTwipsLength(css, -static_cast<long long>(*level->indent_hanging_twips));
        css += ';';
      } else if (level->indent_first_line_twips) {
        css += "text-indent:";
        AppendTwipsLength(css, *level->indent_first_line_twips);
        css += ';';
      }
      if (!level->run.ascii_font.empty()) {
        css += "font-family:";
        AppendCssFontName(css, level->run.ascii_font);
        css += ';';
      }
      WriteRule(name + ":level" + std::to_string(level->ilvl + 1), css, out);
    }
  }
}

// --- Table styles ------------------------------------------------------------

void AppendPadding(std::string& css, const CellMargins& margins) {
  const auto side = [](const std::optional<TableWidth>& w, int fallback) {
    return w && w->type != "pct" ? w->value : fallback;
  };
  css += "mso-padding-alt:";
  AppendTwipsPt(css, side(margins.top, 0));
  css += ' ';
  AppendTwipsPt(css, side(margins.right, 108));
  css += ' ';
  AppendTwipsPt(css, side(margins.bottom, 0));
  css += ' ';
  AppendTwipsPt(css, side(margins.left, 108));
  css += ';';
}

void WriteTableStyles(const HtmlDocument& doc, std::string& out) {
  out += "<!--[if gte mso 10]>\r\n<style>\r\n /* Style Definitions */\r\n ";
  bool wrote_normal = false;
  std::string tables;
  for (const Style& style : doc.styles.styles()) {
    if (style.type != StyleType::kTable) continue;
    const std::string class_name = doc.styles.ClassName(style.style_id);
    if (class_name.empty()) continue;
    wrote_normal = wrote_normal || class_name == "MsoNormalTable";
    std::string css = "mso-style-name:";
    AppendCssName(css, style.name);
    css += ";mso-tstyle-rowband-size:0;mso-tstyle-colband-size:0;";
    std::string meta;
    AppendStyleMeta(doc, style, class_name, meta);
    // AppendStyleMeta starts with the name only for custom styles; skip it.
    if (meta.rfind("mso-style-name:", 0) == 0) meta.erase(0, meta.find(';') + 1);
    css += meta;
    const TableProperties table = doc.styles.EffectiveTable(style.style_id);
    const TableBorders& b = table.borders;
    if (IsVisibleBorder(b.top) || IsVisibleBorder(b.left)) {
      const Border& outer = IsVisibleBorder(b.top) ? *b.top : *b.left;
      css += "border:";
      AppendBorderValue(css, outer, true);
      css += ';';
      if (IsThinBorder(outer)) {
        css += "mso-border-alt:";
        AppendBorderValue(css, outer, false);
        css += ';';
      }
    }
    AppendPadding(css, table.cell_margins);
    AppendInsideBorder(css, "mso-border-insideh", b.inside_h);
    AppendInsideBorder(css, "mso-border-insidev", b.inside_v);
    const ParagraphProperties paragraph = doc.styles.EffectiveParagraph(style.style_id);
    if (paragraph.spacing_after.value_or(0) == 0) {
      css += "mso-para-margin:0cm;mso-para-margin-bottom:.0001pt;";
    }
    css += "mso-pagination:widow-orphan;";
    RunProperties run = doc.styles.EffectiveRun(style.style_id);
    if (!run.size) run.size = doc.styles.default_run().size;
    AppendRunCss(css, run, doc.fonts, doc.languages, CssMode::kStyleSheet, false);
    tables += "table." + class_name + "\r\n";
    AppendRuleBody(tables, css);
    tables += kCrLf;
  }
  if (!wrote_normal) {
    std::string css =
        "mso-style-name:\"Table Normal\";mso-tstyle-rowband-size:0;mso-tstyle-colband-size:0;"
        "mso-style-noshow:yes;mso-style-priority:99;mso-style-parent:\"\";"
        "mso-padding-alt:0cm 5.4pt 0cm 5.4pt;mso-para-margin:0cm;"
        "mso-para-margin-bottom:.0001pt;mso-pagination:widow-orphan;";
    RunProperties run;
    run.size = doc.styles.default_run().size.value_or(20);
    AppendRunCss(css, run, doc.fonts, doc.languages, CssMode::kStyleSheet, false);
    out += "table.MsoNormalTable\r\n";
    AppendRuleBody(out, css);
    out += kCrLf;
  }
  out += tables;
  out += "</style>\r\n<![endif]-->\r\n";
}

}  // namespace

void WriteHtmlHead(const HtmlDocument& doc, std::string& out) {
  out += kWordHtmlOpening;
  out += "<link rel=File-List href=\"";
  AppendEscapedText(out, doc.files_folder);
  out += "/filelist.xml\">\r\n";
  out +=
      "<!--[if !mso]>\r\n<style>\r\n"
      "v\\:* {behavior:url(#default#VML);}\r\n"
      "o\\:* {behavior:url(#default#VML);}\r\n"
      "w\\:* {behavior:url(#default#VML);}\r\n"
      ".shape {behavior:url(#default#VML);}\r\n"
      "</style>\r\n<![endif]-->\r\n";
  out += "<title>";
  AppendEscapedText(out, doc.title);
  out += "</title>\r\n";
  WriteDocumentProperties(doc, out);
  WriteWordDocumentSettings(doc, out);
  out += "<style>\r\n<!--\r\n";
  WriteFontDefinitions(doc, out);
  WriteStyleDefinitions(doc, out);
  WritePageDefinitions(doc, out);
  WriteListDefinitions(doc, out);
  out += "ol\r\n\t{margin-bottom:0cm;}\r\nul\r\n\t{margin-bottom:0cm;}\r\n-->\r\n</style>\r\n";
  WriteTableStyles(doc, out);
  out += "</head>\r\n\r\n";
}

}  // namespace tessarine::convert
