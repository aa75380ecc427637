#include "convert/docx_styles.h"

#include <algorithm>
#include <set>

#include "convert/docx_xml.h"

namespace tessarine::convert {
namespace {

constexpr size_t kMaxChain = 64;

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::optional<std::string> Val(pugi::xml_node parent, const char* name) {
  pugi::xml_node child = parent.child(name);
  if (!child) return std::nullopt;
  return std::string(child.attribute("w:val").as_string());
}

// A length under its transitional name or, failing that, the strict
// (bidi-neutral) one: w:left / w:start.
std::optional<int> TwipsEither(pugi::xml_node node, const char* name, const char* strict) {
  return node.attribute(name) ? TwipsAttribute(node, name) : TwipsAttribute(node, strict);
}

std::optional<int> IntEither(pugi::xml_node node, const char* name, const char* strict) {
  return node.attribute(name) ? IntAttribute(node, name) : IntAttribute(node, strict);
}

// Half-points; strict files may write a universal measure ("11pt").
std::optional<int> HalfPoints(pugi::xml_node node, const char* name) {
  if (std::optional<int> plain = IntAttribute(node, name)) return plain;
  std::optional<int> twips = TwipsAttribute(node, name);
  if (!twips) return std::nullopt;
  return (*twips >= 0 ? *twips + 5 : *twips - 5) / 10;
}

std::optional<Border> ParseBorder(pugi::xml_node node) {
  if (!node) return std::nullopt;
  Border border;
  border.val = node.attribute("w:val").as_string();
  border.size = IntAttribute(node, "w:sz");
  border.space = IntAttribute(node, "w:space");
  border.color = node.attribute("w:color").as_string();
  border.theme_color = node.attribute("w:themeColor").as_string();
  border.shadow = node.attribute("w:shadow") && OnOffValue(node.attribute("w:shadow").as_string());
  border.frame = node.attribute("w:frame") && OnOffValue(node.attribute("w:frame").as_string());
  return border;
}

std::optional<Shading> ParseShading(pugi::xml_node node) {
  if (!node) return std::nullopt;
  Shading shading;
  shading.val = node.attribute("w:val").as_string();
  shading.color = node.attribute("w:color").as_string();
  shading.fill = node.attribute("w:fill").as_string();
  shading.theme_fill = node.attribute("w:themeFill").as_string();
  return shading;
}

std::optional<TableWidth> ParseWidth(pugi::xml_node node) {
  if (!node) return std::nullopt;
  TableWidth width;
  width.type = node.attribute("w:type").as_string();
  if (width.type.empty()) width.type = "dxa";
  std::optional<int> value =
      width.type == "pct" ? PercentAttribute(node, "w:w", 50) : TwipsAttribute(node, "w:w");
  width.value = value.value_or(0);
  return width;
}

TableBorders ParseTableBorders(pugi::xml_node node) {
  TableBorders borders;
  borders.top = ParseBorder(node.child("w:top"));
  borders.left = ParseBorder(node.child("w:left") ? node.child("w:left") : node.child("w:start"));
  borders.bottom = ParseBorder(node.child("w:bottom"));
  borders.right = ParseBorder(node.child("w:right") ? node.child("w:right") : node.child("w:end"));
  borders.inside_h = ParseBorder(node.child("w:insideH"));
  borders.inside_v = ParseBorder(node.child("w:insideV"));
  return borders;
}

CellMargins ParseCellMargins(pugi::xml_node node) {
  CellMargins margins;
  margins.top = ParseWidth(node.child("w:top"));
  margins.left = ParseWidth(node.child("w:left") ? node.child("w:left") : node.child("w:start"));
  margins.bottom = ParseWidth(node.child("w:bottom"));
  margins.right = ParseWidth(node.child("w:right") ? node.child("w:right") : node.child("w:end"));
  return margins;
}

template <typename T>
void Take(std::optional<T>& into, const std::optional<T>& from) {
  if (from) into = from;
}

void MergeBorders(TableBorders& into, const TableBorders& from) {
  Take(into.top, from.top);
  Take(into.left, from.left);
  Take(into.bottom, from.bottom);
  Take(into.right, from.right);
  Take(into.inside_h, from.inside_h);
  Take(into.inside_v, from.inside_v);
}

void MergeMargins(CellMargins& into, const CellMargins& from) {
  Take(into.top, from.top);
  Take(into.left, from.left);
  Take(into.bottom, from.bottom);
  Take(into.right, from.right);
}

// The toggle properties of a run, for the hierarchy rule.
constexpr std::optional<bool> RunProperties::*kToggles[] = {
    &RunProperties::bold,      &RunProperties::bold_cs, &RunProperties::italic,
    &RunProperties::italic_cs, &RunProperties::caps,    &RunProperties::small_caps,
    &RunProperties::strike,    &RunProperties::dstrike, &RunProperties::outline,
    &RunProperties::shadow,    &RunProperties::emboss,  &RunProperties::imprint,
    &RunProperties::vanish,
};

struct BuiltinName {
  std::string_view name;  // lower case, as compared
  std::string_view class_name;
};

// Word's built-in style names (w:name, the same in every UI language) and
// the classes its HTML gives them. Most follow "Mso" + the name in
// CamelCase; the exceptions ("annotation text" -> MsoCommentText, "Balloon
// Text" -> MsoAcetate, "FollowedHyperlink" -> MsoHyperlinkFollowed) are
// Word's own. Numbered families are generated in BuiltinClassName.
constexpr BuiltinName kBuiltins[] = {
    {"normal", "MsoNormal"},
    {"title", "MsoTitle"},
    {"subtitle", "MsoSubtitle"},
    {"header", "MsoHeader"},
    {"footer", "MsoFooter"},
    {"footnote text", "MsoFootnoteText"},
    {"footnote reference", "MsoFootnoteReference"},
    {"endnote text", "MsoEndnoteText"},
    {"endnote reference", "MsoEndnoteReference"},
    {"annotation text", "MsoCommentText"},
    {"annotation reference", "MsoCommentReference"},
    {"annotation subject", "MsoCommentSubject"},
    {"balloon text", "MsoAcetate"},
    {"hyperlink", "MsoHyperlink"},
    {"followedhyperlink", "MsoHyperlinkFollowed"},
    {"page number", "MsoPageNumber"},
    {"line number", "MsoLineNumber"},
    {"body text", "MsoBodyText"},
    {"body text 2", "MsoBodyText2"},
    {"body text 3", "MsoBodyText3"},
    {"body text indent", "MsoBodyTextIndent"},
    {"body text indent 2", "MsoBodyTextIndent2"},
    {"body text indent 3", "MsoBodyTextIndent3"},
    {"body text first indent", "MsoBodyTextFirstIndent"},
    {"body text first indent 2", "MsoBodyTextFirstIndent2"},
    {"caption", "MsoCaption"},
    {"table grid", "MsoTableGrid"},
    {"normal table", "MsoNormalTable"},
    {"table normal", "MsoNormalTable"},
    {"list paragraph", "MsoListParagraph"},
    {"document map", "MsoDocumentMap"},
    {"plain text", "MsoPlainText"},
    {"normal indent", "MsoNormalIndent"},
    {"normal (web)", "MsoNormalWeb"},
    {"list", "MsoList"},
    {"list bullet", "MsoListBullet"},
    {"list number", "MsoListNumber"},
    {"list continue", "MsoListContinue"},
    {"date", "MsoDate"},
    {"signature", "MsoSignature"},
    {"salutation", "MsoSalutation"},
    {"closing", "MsoClosing"},
    {"block text", "MsoBlockText"},
    {"index heading", "MsoIndexHeading"},
    {"table of figures", "MsoTableofFigures"},
    {"table of authorities", "MsoTableofAuthorities"},
    {"toa heading", "MsoToaHeading"},
    {"macro", "MsoMacroText"},
    {"envelope address", "MsoEnvelopeAddress"},
    {"envelope return", "MsoEnvelopeReturn"},
    {"message header", "MsoMessageHeader"},
    {"note heading", "MsoNoteHeading"},
    {"toc heading", "MsoTocHeading"},
    {"no spacing", "MsoNoSpacing"},
    {"quote", "MsoQuote"},
    {"intense quote", "MsoIntenseQuote"},
    {"subtle emphasis", "MsoSubtleEmphasis"},
    {"intense emphasis", "MsoIntenseEmphasis"},
    {"subtle reference", "MsoSubtleReference"},
    {"intense reference", "MsoIntenseReference"},
    {"book title", "MsoBookTitle"},
    {"bibliography", "MsoBibliography"},
    {"placeholder text", "MsoPlaceholderText"},
    {"default paragraph font", "MsoDefaultParagraphFont"},
};

// "heading 3" -> 3 for prefix "heading "; 0 otherwise.
int NumberedName(std::string_view lower_name, std::string_view prefix) {
  if (lower_name.size() != prefix.size() + 1 || lower_name.substr(0, prefix.size()) != prefix) {
    return 0;
  }
  char digit = lower_name.back();
  return digit >= '1' && digit <= '9' ? digit - '0' : 0;
}

// Numbered families: "heading 1".."heading 9" and similar, with the class
// prefix Word uses and the highest number (lists go to 5, the rest to 9).
struct NumberedFamily {
  std::string_view prefix;
  std::string_view class_prefix;
  int max;
};
constexpr NumberedFamily kNumberedFamilies[] = {
    {"heading ", "MsoHeading", 9},
    {"toc ", "MsoToc", 9},
    {"index ", "MsoIndex", 9},
    {"list ", "MsoList", 5},
    {"list bullet ", "MsoListBullet", 5},
    {"list number ", "MsoListNumber", 5},
    {"list continue ", "MsoListContinue", 5},
};

bool IsAsciiAlnumOrHyphen(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

}  // namespace

// --- Parsers -----------------------------------------------------------------

ParagraphProperties ParseParagraphProperties(pugi::xml_node ppr) {
  ParagraphProperties p;
  if (!ppr) return p;
  p.style_id = Val(ppr, "w:pStyle");
  if (std::optional<std::string> jc = Val(ppr, "w:jc")) {
    // Strict documents say start/end where transitional ones say left/right.
    if (*jc == "start") *jc = "left";
    if (*jc == "end") *jc = "right";
    p.justification = jc;
  }
  if (pugi::xml_node ind = ppr.child("w:ind")) {
    p.indent_left = TwipsEither(ind, "w:left", "w:start");
    p.indent_right = TwipsEither(ind, "w:right", "w:end");
    p.indent_first_line = TwipsAttribute(ind, "w:firstLine");
    p.indent_hanging = TwipsAttribute(ind, "w:hanging");
    p.indent_left_chars = IntEither(ind, "w:leftChars", "w:startChars");
    p.indent_right_chars = IntEither(ind, "w:rightChars", "w:endChars");
    p.indent_first_line_chars = IntAttribute(ind, "w:firstLineChars");
    p.indent_hanging_chars = IntAttribute(ind, "w:hangingChars");
  }
  if (pugi::xml_node spacing = ppr.child("w:spacing")) {
    p.spacing_before = TwipsAttribute(spacing, "w:before");
    p.spacing_after = TwipsAttribute(spacing, "w:after");
    p.spacing_before_lines = IntAttribute(spacing, "w:beforeLines");
    p.spacing_after_lines = IntAttribute(spacing, "w:afterLines");
    if (pugi::xml_attribute a = spacing.attribute("w:beforeAutospacing")) {
      p.spacing_before_auto = OnOffValue(a.as_string());
    }
    if (pugi::xml_attribute a = spacing.attribute("w:afterAutospacing")) {
      p.spacing_after_auto = OnOffValue(a.as_string());
    }
    p.spacing_line = TwipsAttribute(spacing, "w:line");
    p.spacing_line_rule = TextAttribute(spacing, "w:lineRule");
    // A line height without a rule is "auto"; saying so keeps a merged
    // result from pairing it with an inherited "exact".
    if (p.spacing_line && !p.spacing_line_rule) p.spacing_line_rule = "auto";
  }
  p.keep_next = OnOffChild(ppr, "w:keepNext");
  p.keep_lines = OnOffChild(ppr, "w:keepLines");
  p.page_break_before = OnOffChild(ppr, "w:pageBreakBefore");
  p.widow_control = OnOffChild(ppr, "w:widowControl");
  p.contextual_spacing = OnOffChild(ppr, "w:contextualSpacing");
  p.snap_to_grid = OnOffChild(ppr, "w:snapToGrid");
  p.suppress_auto_hyphens = OnOffChild(ppr, "w:suppressAutoHyphens");
  p.suppress_line_numbers = OnOffChild(ppr, "w:suppressLineNumbers");
  p.bidi = OnOffChild(ppr, "w:bidi");
  p.word_wrap = OnOffChild(ppr, "w:wordWrap");
  p.kinsoku = OnOffChild(ppr, "w:kinsoku");
  p.overflow_punct = OnOffChild(ppr, "w:overflowPunct");
  p.top_line_punct = OnOffChild(ppr, "w:topLinePunct");
  p.auto_space_de = OnOffChild(ppr, "w:autoSpaceDE");
  p.auto_space_dn = OnOffChild(ppr, "w:autoSpaceDN");
  p.adjust_right_ind = OnOffChild(ppr, "w:adjustRightInd");
  p.mirror_indents = OnOffChild(ppr, "w:mirrorIndents");
  p.outline_level = IntAttribute(ppr.child("w:outlineLvl"), "w:val");
  if (pugi::xml_node num = ppr.child("w:numPr")) {
    p.num_id = IntAttribute(num.child("w:numId"), "w:val");
    p.num_level = IntAttribute(num.child("w:ilvl"), "w:val");
  }
  if (pugi::xml_node bdr = ppr.child("w:pBdr")) {
    p.borders.top = ParseBorder(bdr.child("w:top"));
    p.borders.left = ParseBorder(bdr.child("w:left") ? bdr.child("w:left") : bdr.child("w:start"));
    p.borders.bottom = ParseBorder(bdr.child("w:bottom"));
    p.borders.right = ParseBorder(bdr.child("w:right") ? bdr.child("w:right") : bdr.child("w:end"));
    p.borders.between = ParseBorder(bdr.child("w:between"));
    p.borders.bar = ParseBorder(bdr.child("w:bar"));
  }
  p.shading = ParseShading(ppr.child("w:shd"));
  for (pugi::xml_node tab = ppr.child("w:tabs").child("w:tab"); tab;
       tab = tab.next_sibling("w:tab")) {
    std::optional<int> position = TwipsAttribute(tab, "w:pos");
    if (!position) continue;
    std::string val = tab.attribute("w:val").as_string();
    if (val == "start") val = "left";
    if (val == "end") val = "right";
    p.tabs.push_back({val, tab.attribute("w:leader").as_string(), *position});
  }
  p.text_alignment = Val(ppr, "w:textAlignment");
  p.text_direction = Val(ppr, "w:textDirection");
  return p;
}

RunProperties ParseRunProperties(pugi::xml_node rpr) {
  RunProperties r;
  if (!rpr) return r;
  r.style_id = Val(rpr, "w:rStyle");
  if (pugi::xml_node fonts = rpr.child("w:rFonts")) {
    r.fonts.ascii = TextAttribute(fonts, "w:ascii");
    r.fonts.h_ansi = TextAttribute(fonts, "w:hAnsi");
    r.fonts.east_asia = TextAttribute(fonts, "w:eastAsia");
    r.fonts.cs = TextAttribute(fonts, "w:cs");
    r.fonts.ascii_theme = TextAttribute(fonts, "w:asciiTheme");
    r.fonts.h_ansi_theme = TextAttribute(fonts, "w:hAnsiTheme");
    r.fonts.east_asia_theme = TextAttribute(fonts, "w:eastAsiaTheme");
    // The schema spells this one in lower case.
    r.fonts.cs_theme = TextAttribute(fonts, "w:cstheme");
    r.fonts.hint = TextAttribute(fonts, "w:hint");
  }
  r.bold = OnOffChild(rpr, "w:b");
  r.bold_cs = OnOffChild(rpr, "w:bCs");
  r.italic = OnOffChild(rpr, "w:i");
  r.italic_cs = OnOffChild(rpr, "w:iCs");
  r.caps = OnOffChild(rpr, "w:caps");
  r.small_caps = OnOffChild(rpr, "w:smallCaps");
  r.strike = OnOffChild(rpr, "w:strike");
  r.dstrike = OnOffChild(rpr, "w:dstrike");
  r.outline = OnOffChild(rpr, "w:outline");
  r.shadow = OnOffChild(rpr, "w:shadow");
  r.emboss = OnOffChild(rpr, "w:emboss");
  r.imprint = OnOffChild(rpr, "w:imprint");
  r.vanish = OnOffChild(rpr, "w:vanish");
  r.spec_vanish = OnOffChild(rpr, "w:specVanish");
  r.web_hidden = OnOffChild(rpr, "w:webHidden");
  r.no_proof = OnOffChild(rpr, "w:noProof");
  r.rtl = OnOffChild(rpr, "w:rtl");
  r.cs = OnOffChild(rpr, "w:cs");
  r.snap_to_grid = OnOffChild(rpr, "w:snapToGrid");
  if (pugi::xml_node u = rpr.child("w:u")) {
    std::string val = u.attribute("w:val").as_string();
    r.underline = val.empty() ? "single" : val;
    r.underline_color = TextAttribute(u, "w:color");
  }
  if (pugi::xml_node color = rpr.child("w:color")) {
    r.color = TextAttribute(color, "w:val");
    r.theme_color = TextAttribute(color, "w:themeColor");
  }
  r.size = HalfPoints(rpr.child("w:sz"), "w:val");
  r.size_cs = HalfPoints(rpr.child("w:szCs"), "w:val");
  r.highlight = Val(rpr, "w:highlight");
  r.shading = ParseShading(rpr.child("w:shd"));
  r.vert_align = Val(rpr, "w:vertAlign");
  r.spacing = TwipsAttribute(rpr.child("w:spacing"), "w:val");
  r.position = HalfPoints(rpr.child("w:position"), "w:val");
  r.kern = HalfPoints(rpr.child("w:kern"), "w:val");
  r.width_scale = PercentAttribute(rpr.child("w:w"), "w:val", 1);
  if (pugi::xml_node lang = rpr.child("w:lang")) {
    r.lang = TextAttribute(lang, "w:val");
    r.lang_east_asia = TextAttribute(lang, "w:eastAsia");
    r.lang_bidi = TextAttribute(lang, "w:bidi");
  }
  r.emphasis_mark = Val(rpr, "w:em");
  r.border = ParseBorder(rpr.child("w:bdr"));
  return r;
}

TableProperties ParseTableProperties(pugi::xml_node tbl_pr) {
  TableProperties t;
  if (!tbl_pr) return t;
  t.style_id = Val(tbl_pr, "w:tblStyle");
  t.width = ParseWidth(tbl_pr.child("w:tblW"));
  if (std::optional<std::string> jc = Val(tbl_pr, "w:jc")) {
    if (*jc == "start") *jc = "left";
    if (*jc == "end") *jc = "right";
    t.justification = jc;
  }
  t.indent = ParseWidth(tbl_pr.child("w:tblInd"));
  t.cell_spacing = ParseWidth(tbl_pr.child("w:tblCellSpacing"));
  if (pugi::xml_node layout = tbl_pr.child("w:tblLayout")) {
    t.layout = layout.attribute("w:type").as_string();
  }
  t.borders = ParseTableBorders(tbl_pr.child("w:tblBorders"));
  t.cell_margins = ParseCellMargins(tbl_pr.child("w:tblCellMar"));
  t.shading = ParseShading(tbl_pr.child("w:shd"));
  t.bidi_visual = OnOffChild(tbl_pr, "w:bidiVisual");
  if (pugi::xml_node look = tbl_pr.child("w:tblLook")) t.look = TextAttribute(look, "w:val");
  return t;
}

CellProperties ParseCellProperties(pugi::xml_node tc_pr) {
  CellProperties c;
  if (!tc_pr) return c;
  c.width = ParseWidth(tc_pr.child("w:tcW"));
  c.grid_span = IntAttribute(tc_pr.child("w:gridSpan"), "w:val");
  if (pugi::xml_node merge = tc_pr.child("w:vMerge")) {
    std::string val = merge.attribute("w:val").as_string();
    c.vertical_merge = val.empty() ? "continue" : val;
  }
  if (pugi::xml_node merge = tc_pr.child("w:hMerge")) {
    std::string val = merge.attribute("w:val").as_string();
    c.horizontal_merge = val.empty() ? "continue" : val;
  }
  c.borders = ParseTableBorders(tc_pr.child("w:tcBorders"));
  c.shading = ParseShading(tc_pr.child("w:shd"));
  c.vertical_align = Val(tc_pr, "w:vAlign");
  c.no_wrap = OnOffChild(tc_pr, "w:noWrap");
  c.margins = ParseCellMargins(tc_pr.child("w:tcMar"));
  c.text_direction = Val(tc_pr, "w:textDirection");
  return c;
}

// --- Merging -------------------------------------------------------------------

ParagraphProperties Merge(const ParagraphProperties& base, const ParagraphProperties& over) {
  ParagraphProperties p = base;
  Take(p.style_id, over.style_id);
  Take(p.justification, over.justification);
  Take(p.indent_left, over.indent_left);
  Take(p.indent_right, over.indent_right);
  // First-line and hanging indents exclude each other: setting one replaces
  // both inherited values.
  if (over.indent_first_line || over.indent_hanging) {
    p.indent_first_line = over.indent_first_line;
    p.indent_hanging = over.indent_hanging;
  }
  Take(p.indent_left_chars, over.indent_left_chars);
  Take(p.indent_right_chars, over.indent_right_chars);
  if (over.indent_first_line_chars || over.indent_hanging_chars) {
    p.indent_first_line_chars = over.indent_first_line_chars;
    p.indent_hanging_chars = over.indent_hanging_chars;
  }
  Take(p.spacing_before, over.spacing_before);
  Take(p.spacing_after, over.spacing_after);
  Take(p.spacing_before_lines, over.spacing_before_lines);
  Take(p.spacing_after_lines, over.spacing_after_lines);
  Take(p.spacing_before_auto, over.spacing_before_auto);
  Take(p.spacing_after_auto, over.spacing_after_auto);
  Take(p.spacing_line, over.spacing_line);
  Take(p.spacing_line_rule, over.spacing_line_rule);
  for (auto field :
       {&ParagraphProperties::keep_next, &ParagraphProperties::keep_lines,
        &ParagraphProperties::page_break_before, &ParagraphProperties::widow_control,
        &ParagraphProperties::contextual_spacing, &ParagraphProperties::snap_to_grid,
        &ParagraphProperties::suppress_auto_hyphens, &ParagraphProperties::suppress_line_numbers,
        &ParagraphProperties::bidi, &ParagraphProperties::word_wrap, &ParagraphProperties::kinsoku,
        &ParagraphProperties::overflow_punct, &ParagraphProperties::top_line_punct,
        &ParagraphProperties::auto_space_de, &ParagraphProperties::auto_space_dn,
        &ParagraphProperties::adjust_right_ind, &ParagraphProperties::mirror_indents}) {
    Take(p.*field, over.*field);
  }
  Take(p.outline_level, over.outline_level);
  Take(p.num_id, over.num_id);
  Take(p.num_level, over.num_level);
  Take(p.borders.top, over.borders.top);
  Take(p.borders.left, over.borders.left);
  Take(p.borders.bottom, over.borders.bottom);
  Take(p.borders.right, over.borders.right);
  Take(p.borders.between, over.borders.between);
  Take(p.borders.bar, over.borders.bar);
  Take(p.shading, over.shading);
  std::vector<TabStop> tabs;
  for (const TabStop& tab : base.tabs) {
    if (tab.val != "clear") tabs.push_back(tab);
  }
  for (const TabStop& tab : over.tabs) {
    std::erase_if(tabs, [&](const TabStop& t) { return t.position == tab.position; });
    if (tab.val != "clear") tabs.push_back(tab);
  }
  std::stable_sort(tabs.begin(), tabs.end(),
                   [](const TabStop& a, const TabStop& b) { return a.position < b.position; });
  p.tabs = std::move(tabs);
  Take(p.text_alignment, over.text_alignment);
  Take(p.text_direction, over.text_direction);
  return p;
}

RunProperties Merge(const RunProperties& base, const RunProperties& over) {
  RunProperties r = base;
  Take(r.style_id, over.style_id);
  for (auto field : {&FontSlots::ascii, &FontSlots::h_ansi, &FontSlots::east_asia, &FontSlots::cs,
                     &FontSlots::ascii_theme, &FontSlots::h_ansi_theme, &FontSlots::east_asia_theme,
                     &FontSlots::cs_theme, &FontSlots::hint}) {
    Take(r.fonts.*field, over.fonts.*field);
  }
  // A font name set at this level beats a theme reference inherited for the
  // same slot, and the other way round.
  if (over.fonts.ascii && !over.fonts.ascii_theme) r.fonts.ascii_theme.reset();
  if (over.fonts.h_ansi && !over.fonts.h_ansi_theme) r.fonts.h_ansi_theme.reset();
  if (over.fonts.east_asia && !over.fonts.east_asia_theme) r.fonts.east_asia_theme.reset();
  if (over.fonts.cs && !over.fonts.cs_theme) r.fonts.cs_theme.reset();
  for (auto field : kToggles) Take(r.*field, over.*field);
  for (auto field :
       {&RunProperties::spec_vanish, &RunProperties::web_hidden, &RunProperties::no_proof,
        &RunProperties::rtl, &RunProperties::cs, &RunProperties::snap_to_grid}) {
    Take(r.*field, over.*field);
  }
  Take(r.underline, over.underline);
  Take(r.underline_color, over.underline_color);
  Take(r.color, over.color);
  Take(r.theme_color, over.theme_color);
  Take(r.size, over.size);
  Take(r.size_cs, over.size_cs);
  Take(r.highlight, over.highlight);
  Take(r.shading, over.shading);
  Take(r.vert_align, over.vert_align);
  Take(r.spacing, over.spacing);
  Take(r.position, over.position);
  Take(r.kern, over.kern);
  Take(r.width_scale, over.width_scale);
  Take(r.lang, over.lang);
  Take(r.lang_east_asia, over.lang_east_asia);
  Take(r.lang_bidi, over.lang_bidi);
  Take(r.emphasis_mark, over.emphasis_mark);
  Take(r.border, over.border);
  return r;
}

TableProperties Merge(const TableProperties& base, const TableProperties& over) {
  TableProperties t = base;
  Take(t.style_id, over.style_id);
  Take(t.width, over.width);
  Take(t.justification, over.justification);
  Take(t.indent, over.indent);
  Take(t.cell_spacing, over.cell_spacing);
  Take(t.layout, over.layout);
  MergeBorders(t.borders, over.borders);
  MergeMargins(t.cell_margins, over.cell_margins);
  Take(t.shading, over.shading);
  Take(t.bidi_visual, over.bidi_visual);
  Take(t.look, over.look);
  return t;
}

CellProperties Merge(const CellProperties& base, const CellProperties& over) {
  CellProperties c = base;
  Take(c.width, over.width);
  Take(c.grid_span, over.grid_span);
  Take(c.vertical_merge, over.vertical_merge);
  Take(c.horizontal_merge, over.horizontal_merge);
  MergeBorders(c.borders, over.borders);
  Take(c.shading, over.shading);
  Take(c.vertical_align, over.vertical_align);
  Take(c.no_wrap, over.no_wrap);
  MergeMargins(c.margins, over.margins);
  Take(c.text_direction, over.text_direction);
  return c;
}

// --- Built-in names and classes ---------------------------------------------

int HeadingLevel(const Style& style) {
  return NumberedName(Lower(style.name), "heading ");
}

int TocLevel(const Style& style) {
  return NumberedName(Lower(style.name), "toc ");
}

std::string BuiltinClassName(std::string_view name) {
  std::string lower = Lower(name);
  for (const auto& builtin : kBuiltins) {
    if (builtin.name == lower) return std::string(builtin.class_name);
  }
  for (const auto& family : kNumberedFamilies) {
    int number = NumberedName(lower, family.prefix);
    if (number >= 1 && number <= family.max) {
      return std::string(family.class_prefix) + std::to_string(number);
    }
  }
  return {};
}

bool IsBuiltinStyleName(std::string_view name) {
  return !BuiltinClassName(name).empty();
}

std::string CustomClassBase(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (IsAsciiAlnumOrHyphen(c)) out += c;
  }
  // Browsers drop a rule whose class is no CSS identifier: one that starts
  // with a digit or with "-" not followed by a letter.
  const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (out.empty() || !(letter(out[0]) || (out[0] == '-' && out.size() > 1 && letter(out[1])))) {
    out.insert(0, 1, 'a');
  }
  return out;
}

// --- StyleSheet ----------------------------------------------------------------

StyleSheet StyleSheet::Parse(const pugi::xml_document* styles_part) {
  StyleSheet sheet;
  if (styles_part == nullptr) return sheet;
  pugi::xml_node root = styles_part->child("w:styles");
  pugi::xml_node defaults = root.child("w:docDefaults");
  sheet.default_run_ = ParseRunProperties(defaults.child("w:rPrDefault").child("w:rPr"));
  sheet.default_paragraph_ =
      ParseParagraphProperties(defaults.child("w:pPrDefault").child("w:pPr"));

  std::set<std::string> seen;
  for (pugi::xml_node node = root.child("w:style"); node; node = node.next_sibling("w:style")) {
    Style style;
    style.style_id = node.attribute("w:styleId").as_string();
    std::string_view type = node.attribute("w:type").as_string();
    if (type == "character") {
      style.type = StyleType::kCharacter;
    } else if (type == "table") {
      style.type = StyleType::kTable;
    } else if (type == "numbering") {
      style.type = StyleType::kNumbering;
    }
    if (pugi::xml_attribute a = node.attribute("w:default"))
      style.is_default = OnOffValue(a.value());
    if (pugi::xml_attribute a = node.attribute("w:customStyle")) {
      style.custom_style = OnOffValue(a.value());
    }
    style.name = Val(node, "w:name").value_or("");
    style.based_on = Val(node, "w:basedOn").value_or("");
    style.link = Val(node, "w:link").value_or("");
    style.next = Val(node, "w:next").value_or("");
    style.q_format = OnOffChild(node, "w:qFormat").value_or(false);
    style.semi_hidden = OnOffChild(node, "w:semiHidden").value_or(false);
    style.unhide_when_used = OnOffChild(node, "w:unhideWhenUsed").value_or(false);
    style.hidden = OnOffChild(node, "w:hidden").value_or(false);
    style.ui_priority = IntAttribute(node.child("w:uiPriority"), "w:val");
    std::string aliases = Val(node, "w:aliases").value_or("");
    for (size_t pos = 0; pos < aliases.size();) {
      size_t end = aliases.find(',', pos);
      if (end == std::string::npos) end = aliases.size();
      if (end > pos) style.aliases.push_back(aliases.substr(pos, end - pos));
      pos = end + 1;
    }
    style.paragraph = ParseParagraphProperties(node.child("w:pPr"));
    style.run = ParseRunProperties(node.child("w:rPr"));
    style.table = ParseTableProperties(node.child("w:tblPr"));
    style.cell = ParseCellProperties(node.child("w:tcPr"));
    if (style.style_id.empty()) {
      sheet.diagnostics_.push_back("a style without a styleId (" + style.name + ") is left out");
      continue;
    }
    if (!seen.insert(style.style_id).second) {
      sheet.diagnostics_.push_back("style id \"" + style.style_id +
                                   "\" is defined twice; the first definition is used");
      continue;
    }
    sheet.styles_.push_back(std::move(style));
  }

  for (size_t i = 0; i < sheet.styles_.size(); ++i) sheet.index_[sheet.styles_[i].style_id] = i;

  for (const Style& style : sheet.styles_) {
    if (style.based_on.empty()) continue;
    if (sheet.Find(style.based_on) == nullptr) {
      sheet.diagnostics_.push_back("style \"" + style.style_id + "\" is based on unknown style \"" +
                                   style.based_on + "\"");
      continue;
    }
    // Walk the raw basedOn links; coming back to the start is a loop.
    std::set<std::string> visited{style.style_id};
    for (const Style* next = sheet.Find(style.based_on); next != nullptr;
         next = next->based_on.empty() ? nullptr : sheet.Find(next->based_on)) {
      if (next->style_id == style.style_id) {
        sheet.diagnostics_.push_back("style \"" + style.style_id +
                                     "\" is based on itself through its basedOn chain; the loop "
                                     "is cut");
        break;
      }
      if (!visited.insert(next->style_id).second) break;
    }
  }

  // Class names: built-ins keep Word's fixed names and are placed first, so
  // a custom style can never take one; custom styles follow in file order.
  std::set<std::string> taken;  // lower case
  sheet.class_names_.resize(sheet.styles_.size());
  for (size_t i = 0; i < sheet.styles_.size(); ++i) {
    std::string builtin = BuiltinClassName(sheet.styles_[i].name);
    if (builtin.empty() || !taken.insert(Lower(builtin)).second) continue;
    sheet.class_names_[i] = builtin;
  }
  static constexpr std::string_view kSuffixes = "0123456789abcdef";
  for (size_t i = 0; i < sheet.styles_.size(); ++i) {
    if (!sheet.class_names_[i].empty()) continue;
    const Style& style = sheet.styles_[i];
    std::string base = CustomClassBase(style.name.empty() ? style.style_id : style.name);
    std::string candidate = base;
    while (taken.count(Lower(candidate)) != 0) {
      bool found = false;
      for (char suffix : kSuffixes) {
        candidate = base + suffix;
        if (taken.count(Lower(candidate)) == 0) {
          found = true;
          break;
        }
      }
      if (found) break;
      base = candidate;  // all sixteen taken: grow from the last try
    }
    taken.insert(Lower(candidate));
    sheet.class_names_[i] = candidate;
  }
  return sheet;
}

const Style* StyleSheet::Find(std::string_view style_id) const {
  auto it = index_.find(std::string(style_id));
  return it == index_.end() ? nullptr : &styles_[it->second];
}

const Style* StyleSheet::FindByName(std::string_view name) const {
  std::string lower = Lower(name);
  for (const Style& style : styles_) {
    if (Lower(style.name) == lower) return &style;
  }
  return nullptr;
}

const Style* StyleSheet::DefaultStyle(StyleType type) const {
  for (const Style& style : styles_) {
    if (style.type == type && style.is_default) return &style;
  }
  return nullptr;
}

std::vector<std::string> StyleSheet::Chain(std::string_view style_id) const {
  std::vector<std::string> chain;
  const Style* style = Find(style_id);
  while (style != nullptr && chain.size() < kMaxChain) {
    if (std::find(chain.begin(), chain.end(), style->style_id) != chain.end()) break;
    chain.push_back(style->style_id);
    if (style->based_on.empty()) break;
    const Style* parent = Find(style->based_on);
    // Word ignores a basedOn that crosses style types.
    if (parent == nullptr || parent->type != style->type) break;
    style = parent;
  }
  return chain;
}

ParagraphProperties StyleSheet::EffectiveParagraph(std::string_view style_id) const {
  std::vector<std::string> chain = Chain(style_id);
  ParagraphProperties result;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    result = Merge(result, Find(*it)->paragraph);
  }
  return result;
}

RunProperties StyleSheet::EffectiveRun(std::string_view style_id) const {
  std::vector<std::string> chain = Chain(style_id);
  RunProperties result;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) result = Merge(result, Find(*it)->run);
  return result;
}

TableProperties StyleSheet::EffectiveTable(std::string_view style_id) const {
  std::vector<std::string> chain = Chain(style_id);
  TableProperties result;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    result = Merge(result, Find(*it)->table);
  }
  return result;
}

CellProperties StyleSheet::EffectiveCell(std::string_view style_id) const {
  std::vector<std::string> chain = Chain(style_id);
  CellProperties result;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) result = Merge(result, Find(*it)->cell);
  return result;
}

ParagraphProperties StyleSheet::ResolveParagraphProperties(
    std::string_view paragraph_style_id, const ParagraphProperties& direct) const {
  const Style* style = Find(paragraph_style_id);
  if (style == nullptr || style->type != StyleType::kParagraph) {
    style = DefaultStyle(StyleType::kParagraph);
  }
  ParagraphProperties result = default_paragraph_;
  if (style != nullptr) result = Merge(result, EffectiveParagraph(style->style_id));
  return Merge(result, direct);
}

RunProperties StyleSheet::ResolveRunProperties(std::string_view paragraph_style_id,
                                               const RunProperties& direct,
                                               std::string_view table_style_id) const {
  RunProperties result = default_run_;
  auto apply_level = [&](const RunProperties& level) {
    RunProperties toggles_before = result;
    result = Merge(result, level);
    for (auto field : kToggles) {
      bool state = (toggles_before.*field).value_or(false);
      if ((level.*field).value_or(false)) state = !state;
      result.*field = state;
    }
  };
  const Style* table = Find(table_style_id);
  if (table != nullptr && table->type == StyleType::kTable) {
    apply_level(EffectiveRun(table->style_id));
  }
  const Style* paragraph = Find(paragraph_style_id);
  if (paragraph == nullptr || paragraph->type != StyleType::kParagraph) {
    paragraph = DefaultStyle(StyleType::kParagraph);
  }
  if (paragraph != nullptr) apply_level(EffectiveRun(paragraph->style_id));
  const Style* character = direct.style_id ? Find(*direct.style_id) : nullptr;
  if (character == nullptr || character->type != StyleType::kCharacter) {
    character = DefaultStyle(StyleType::kCharacter);
  }
  if (character != nullptr) apply_level(EffectiveRun(character->style_id));
  result = Merge(result, direct);
  for (auto field : kToggles) result.*field = (result.*field).value_or(false);
  return result;
}

std::string StyleSheet::ClassName(std::string_view style_id) const {
  auto it = index_.find(std::string(style_id));
  return it == index_.end() ? std::string() : class_names_[it->second];
}

}  // namespace tessarine::convert
