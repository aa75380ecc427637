#include "convert/html_css.h"

#include "convert/html_text.h"

namespace tessarine::convert {

namespace {

void Declare(std::string& css, std::string_view name, std::string_view value) {
  css += name;
  css += ':';
  css += value;
  css += ';';
}

void DeclarePoints(std::string& css, std::string_view name, double points) {
  css += name;
  css += ':';
  AppendPoints(css, points);
  css += "pt;";
}

void DeclareTwips(std::string& css, std::string_view name, long long twips) {
  css += name;
  css += ':';
  AppendTwipsLength(css, twips);
  css += ';';
}

// Word names serif and sans-serif fonts with their generic family in
// font-family ("Calibri",sans-serif); East Asian fonts stay bare.
void DeclareFontFamily(std::string& css, const std::string& font, const CssFonts& fonts) {
  css += "font-family:";
  const FontInfo* info = fonts.table != nullptr ? fonts.table->Find(font) : nullptr;
  std::string_view generic;
  if (info != nullptr) {
    const bool east_asian = info->charset == 128 || info->charset == 129 || info->charset == 134 ||
                            info->charset == 136;
    if (!east_asian && info->family == "roman") generic = "serif";
    if (!east_asian && info->family == "swiss") generic = "sans-serif";
  }
  if (!generic.empty()) {
    css += '"';
    for (char c : font) {
      if (c != '"' && c != '\'' && c != ';' && c != '<' && c != '>' && c != '&') css += c;
    }
    css += "\",";
    css += generic;
  } else {
    AppendCssFontName(css, font);
  }
  css += ';';
}

void DeclareFontName(std::string& css, std::string_view name, const std::string& font) {
  css += name;
  css += ':';
  AppendCssFontName(css, font);
  css += ';';
}

std::string_view HighlightCss(std::string_view value) {
  struct Pair {
    std::string_view ooxml, css;
  };
  static constexpr Pair kColors[] = {
      {"yellow", "yellow"},      {"green", "lime"},       {"cyan", "aqua"},
      {"magenta", "fuchsia"},    {"blue", "blue"},        {"red", "red"},
      {"darkBlue", "navy"},      {"darkCyan", "teal"},    {"darkGreen", "green"},
      {"darkMagenta", "purple"}, {"darkRed", "maroon"},   {"darkYellow", "olive"},
      {"darkGray", "gray"},      {"lightGray", "silver"}, {"black", "black"},
      {"white", "white"},
  };
  for (const Pair& pair : kColors) {
    if (pair.ooxml == value) return pair.css;
  }
  return {};
}

std::string_view BorderStyleCss(std::string_view val) {
  struct Pair {
    std::string_view ooxml, css;
  };
  static constexpr Pair kStyles[] = {
      {"single", "solid"},
      {"thick", "solid"},
      {"double", "double"},
      {"dotted", "dotted"},
      {"dashed", "dashed"},
      {"dashSmallGap", "dashed"},
      {"dotDash", "dot-dash"},
      {"dotDotDash", "dot-dot-dash"},
      {"triple", "triple"},
      {"thinThickSmallGap", "thin-thick-small-gap"},
      {"thickThinSmallGap", "thick-thin-small-gap"},
      {"thinThickThinSmallGap", "thin-thick-thin-small-gap"},
      {"thinThickMediumGap", "thin-thick-medium-gap"},
      {"thickThinMediumGap", "thick-thin-medium-gap"},
      {"thinThickLargeGap", "thin-thick-large-gap"},
      {"thickThinLargeGap", "thick-thin-large-gap"},
      {"wave", "wave"},
      {"doubleWave", "double-wave"},
      {"threeDEmboss", "three-d-emboss"},
      {"threeDEngrave", "three-d-engrave"},
      {"outset", "outset"},
      {"inset", "inset"},
  };
  for (const Pair& pair : kStyles) {
    if (pair.ooxml == val) return pair.css;
  }
  return "solid";
}

std::string_view TabLeaderCss(std::string_view leader) {
  if (leader == "dot" || leader == "middleDot") return "dotted";
  if (leader == "hyphen") return "dashed";
  if (leader == "underscore") return "lined";
  if (leader == "heavy") return "heavy";
  return {};
}

void AppendFonts(std::string& css, const RunProperties& run, const CssFonts& fonts, CssMode mode,
                 bool east_asian_text) {
  const std::string ascii = fonts.Resolve(run.fonts.ascii, run.fonts.ascii_theme);
  const std::string h_ansi = fonts.Resolve(run.fonts.h_ansi, run.fonts.h_ansi_theme);
  const std::string east_asia = fonts.Resolve(run.fonts.east_asia, run.fonts.east_asia_theme);
  const std::string cs = fonts.Resolve(run.fonts.cs, run.fonts.cs_theme);
  const bool east_asia_first = mode == CssMode::kDirect && east_asian_text && !east_asia.empty();
  if (east_asia_first) {
    DeclareFontFamily(css, east_asia, fonts);
    if (!ascii.empty() && ascii != east_asia) DeclareFontName(css, "mso-ascii-font-family", ascii);
    if (!h_ansi.empty() && h_ansi != east_asia) {
      DeclareFontName(css, "mso-hansi-font-family", h_ansi);
    }
    if (!cs.empty() && cs != east_asia) DeclareFontName(css, "mso-bidi-font-family", cs);
    return;
  }
  if (!ascii.empty()) {
    DeclareFontFamily(css, ascii, fonts);
    if (mode == CssMode::kStyleSheet) DeclareFontName(css, "mso-ascii-font-family", ascii);
  }
  if (!east_asia.empty() && east_asia != ascii) {
    DeclareFontName(css, "mso-fareast-font-family", east_asia);
  }
  if (!h_ansi.empty() && (h_ansi != ascii || mode == CssMode::kStyleSheet)) {
    DeclareFontName(css, "mso-hansi-font-family", h_ansi);
  }
  if (!cs.empty() && (cs != ascii || mode == CssMode::kStyleSheet)) {
    DeclareFontName(css, "mso-bidi-font-family", cs);
  }
}

}  // namespace

std::string CssFonts::Resolve(const std::optional<std::string>& name,
                              const std::optional<std::string>& theme_reference) const {
  if (theme_reference && !theme_reference->empty() && theme != nullptr && languages != nullptr) {
    std::string font = ResolveThemeFont(*theme, *languages, *theme_reference);
    if (!font.empty()) return font;
  }
  return name.value_or(std::string());
}

void AppendRunCss(std::string& css, const RunProperties& run, const CssFonts& fonts,
                  const CssLanguages& languages, CssMode mode, bool east_asian_text) {
  const bool sheet = mode == CssMode::kStyleSheet;
  if (run.size) {
    DeclarePoints(css, "font-size", *run.size / 2.0);
    if (sheet) DeclarePoints(css, "mso-ansi-font-size", *run.size / 2.0);
  }
  if (run.size_cs && (!run.size || *run.size_cs != *run.size || sheet)) {
    DeclarePoints(css, "mso-bidi-font-size", *run.size_cs / 2.0);
  }
  AppendFonts(css, run, fonts, mode, east_asian_text);
  if (run.color) {
    css += "color:";
    AppendCssColor(css, *run.color, "windowtext");
    css += ';';
  }
  if (run.caps.value_or(false)) Declare(css, "text-transform", "uppercase");
  if (run.small_caps.value_or(false)) Declare(css, "font-variant", "small-caps");
  if (run.spacing && *run.spacing != 0) DeclarePoints(css, "letter-spacing", *run.spacing / 20.0);
  if (run.width_scale && *run.width_scale != 100) {
    Declare(css, "mso-font-width", std::to_string(*run.width_scale) + "%");
  }
  if (run.kern) DeclarePoints(css, "mso-font-kerning", *run.kern / 2.0);
  if (run.position && *run.position != 0) {
    css += "position:relative;top:";
    AppendPoints(css, -*run.position / 2.0);
    css += "pt;mso-text-raise:";
    AppendPoints(css, *run.position / 2.0);
    css += "pt;";
  }
  if (run.lang && !run.lang->empty()) {
    const std::string lang = HtmlLanguage(*run.lang);
    if (lang != languages.latin) Declare(css, "mso-ansi-language", lang);
  }
  if (run.lang_east_asia && !run.lang_east_asia->empty()) {
    const std::string lang = HtmlLanguage(*run.lang_east_asia);
    if (lang != languages.east_asia) Declare(css, "mso-fareast-language", lang);
  }
  if (run.lang_bidi && !run.lang_bidi->empty()) {
    const std::string lang = HtmlLanguage(*run.lang_bidi);
    if (lang != languages.bidi) Declare(css, "mso-bidi-language", lang);
  }
  if (run.highlight && *run.highlight != "none") {
    const std::string_view color = HighlightCss(*run.highlight);
    if (!color.empty()) {
      Declare(css, "background", color);
      Declare(css, "mso-highlight", color);
    }
  } else if (run.shading) {
    AppendShadingCss(css, *run.shading);
  }
  if (run.border && IsVisibleBorder(run.border)) {
    css += "border:";
    AppendBorderValue(css, *run.border, true);
    css += ';';
    if (IsThinBorder(*run.border)) {
      css += "mso-border-alt:";
      AppendBorderValue(css, *run.border, false);
      css += ';';
    }
    Declare(css, "padding", "0cm");
  }
  if (run.no_proof.value_or(false)) Declare(css, "mso-no-proof", "yes");
  if (run.vanish.value_or(false) || run.spec_vanish.value_or(false)) {
    Declare(css, "display", "none");
    Declare(css, "mso-hide", "all");
  }
  if (run.outline.value_or(false)) Declare(css, "mso-effects-outline", "yes");
  if (run.shadow.value_or(false)) Declare(css, "text-shadow", "auto");
  if (run.emboss.value_or(false)) Declare(css, "mso-emboss", "yes");
  if (run.imprint.value_or(false)) Declare(css, "mso-imprint", "yes");
  if (run.emphasis_mark && *run.emphasis_mark != "none") {
    Declare(css, "text-emphasis", "dot");
  }
  if (run.rtl.value_or(false)) Declare(css, "direction", "rtl");

  // Emphasis. In the body the tags <b> <i> <u> <s> <sup> <sub> carry it and
  // only an inherited emphasis switched off needs a declaration.
  if (sheet) {
    if (run.bold.value_or(false)) Declare(css, "font-weight", "bold");
    if (run.italic.value_or(false)) Declare(css, "font-style", "italic");
    if (run.underline && *run.underline != "none") {
      Declare(css, "text-decoration", "underline");
      Declare(css, "text-underline", *run.underline == "double" ? "double" : "single");
    } else if (run.strike.value_or(false) || run.dstrike.value_or(false)) {
      Declare(css, "text-decoration", "line-through");
    }
    if (run.vert_align == "superscript") Declare(css, "vertical-align", "super");
    if (run.vert_align == "subscript") Declare(css, "vertical-align", "sub");
  } else {
    if (run.bold && !*run.bold) Declare(css, "font-weight", "normal");
    if (run.italic && !*run.italic) Declare(css, "font-style", "normal");
    if (run.underline && *run.underline == "none") {
      Declare(css, "text-decoration", "none");
      Declare(css, "text-underline", "none");
    }
  }
}

void ApplyListIndent(ParagraphProperties& p, const ListLevel& level, bool keep_own) {
  if (level.indent_left_twips && !(keep_own && (p.indent_left || p.indent_left_chars))) {
    p.indent_left = level.indent_left_twips;
    p.indent_left_chars.reset();
  }
  const bool own_first = p.indent_hanging || p.indent_first_line || p.indent_hanging_chars ||
                         p.indent_first_line_chars;
  if ((level.indent_hanging_twips || level.indent_first_line_twips) && !(keep_own && own_first)) {
    p.indent_hanging = level.indent_hanging_twips;
    p.indent_first_line = level.indent_first_line_twips;
    p.indent_hanging_chars.reset();
    p.indent_first_line_chars.reset();
  }
}

void AppendParagraphCss(std::string& css, const ParagraphProperties& p, CssMode mode,
                        double font_size_pt, std::string_view list_css) {
  const bool sheet = mode == CssMode::kStyleSheet;
  // Margins. Word's sheet always states all four and pins a zero bottom
  // margin with ".0001pt" so browsers do not add their own.
  long long left = p.indent_left.value_or(0);
  if (sheet) {
    const long long top = p.spacing_before.value_or(0), right = p.indent_right.value_or(0),
                    bottom = p.spacing_after.value_or(0);
    if (top == 0 && right == 0 && bottom == 0 && left == 0) {
      Declare(css, "margin", "0cm");
    } else {
      DeclareTwips(css, "margin-top", top);
      DeclareTwips(css, "margin-right", right);
      DeclareTwips(css, "margin-bottom", bottom);
      DeclareTwips(css, "margin-left", left);
    }
    if (bottom == 0) Declare(css, "margin-bottom", ".0001pt");
  } else {
    if (p.spacing_before) DeclareTwips(css, "margin-top", *p.spacing_before);
    if (p.indent_right) DeclareTwips(css, "margin-right", *p.indent_right);
    if (p.spacing_after) DeclareTwips(css, "margin-bottom", *p.spacing_after);
    if (p.indent_left) DeclareTwips(css, "margin-left", *p.indent_left);
  }
  if (p.spacing_before_auto.value_or(false)) Declare(css, "mso-margin-top-alt", "auto");
  if (p.spacing_after_auto.value_or(false)) Declare(css, "mso-margin-bottom-alt", "auto");
  if (p.spacing_before_lines) {
    css += "mso-para-margin-top:";
    AppendPoints(css, *p.spacing_before_lines / 100.0);
    css += "gd;";
  }
  if (p.spacing_after_lines) {
    css += "mso-para-margin-bottom:";
    AppendPoints(css, *p.spacing_after_lines / 100.0);
    css += "gd;";
  }
  if (p.indent_left_chars) {
    css += "mso-para-margin-left:";
    AppendPoints(css, *p.indent_left_chars / 100.0);
    css += "gd;";
  }
  if (p.justification) {
    const std::string& jc = *p.justification;
    if (jc == "both") {
      Declare(css, "text-align", "justify");
      Declare(css, "text-justify", "inter-ideograph");
    } else if (jc == "distribute") {
      Declare(css, "text-align", "justify");
      Declare(css, "text-justify", "distribute-all-lines");
    } else if (jc == "center" || jc == "right" || jc == "left") {
      Declare(css, "text-align", jc);
    }
  }
  // First-line and hanging indents: character units win when given, as in Word.
  if (p.indent_hanging_chars && *p.indent_hanging_chars != 0) {
    DeclarePoints(css, "text-indent", -*p.indent_hanging_chars / 100.0 * font_size_pt);
    css += "mso-char-indent-count:";
    AppendPoints(css, -*p.indent_hanging_chars / 100.0);
    css += ';';
  } else if (p.indent_first_line_chars && *p.indent_first_line_chars != 0) {
    DeclarePoints(css, "text-indent", *p.indent_first_line_chars / 100.0 * font_size_pt);
    css += "mso-char-indent-count:";
    AppendPoints(css, *p.indent_first_line_chars / 100.0);
    css += ';';
  } else if (p.indent_hanging && *p.indent_hanging != 0) {
    DeclareTwips(css, "text-indent", -static_cast<long long>(*p.indent_hanging));
  } else if (p.indent_first_line) {
    DeclareTwips(css, "text-indent", *p.indent_first_line);
  } else if (sheet && (p.indent_hanging || p.indent_first_line_chars)) {
    Declare(css, "text-indent", "0cm");
  }
  if (p.spacing_line) {
    const std::string rule = p.spacing_line_rule.value_or("auto");
    if (rule == "exact") {
      DeclarePoints(css, "line-height", *p.spacing_line / 20.0);
      Declare(css, "mso-line-height-rule", "exactly");
    } else if (rule == "atLeast") {
      DeclarePoints(css, "line-height", *p.spacing_line / 20.0);
    } else if (*p.spacing_line != 240 || sheet) {
      css += "line-height:";
      // Percent of single spacing, as Word writes it ("150%", "107%").
      const long long percent = (static_cast<long long>(*p.spacing_line) * 100 + 120) / 240;
      css += std::to_string(percent);
      css += "%;";
    }
  }
  const bool widow = p.widow_control.value_or(sheet);
  const bool keep_lines = p.keep_lines.value_or(false);
  if (sheet || p.widow_control || p.keep_lines) {
    if (widow && keep_lines) {
      Declare(css, "mso-pagination", "widow-orphan lines-together");
    } else if (widow) {
      Declare(css, "mso-pagination", "widow-orphan");
    } else if (keep_lines) {
      Declare(css, "mso-pagination", "lines-together");
    } else {
      Declare(css, "mso-pagination", "none");
    }
  }
  if (p.page_break_before.value_or(false)) Declare(css, "page-break-before", "always");
  if (p.keep_next.value_or(false)) Declare(css, "page-break-after", "avoid");
  if (p.outline_level && *p.outline_level >= 0 && *p.outline_level < 9) {
    Declare(css, "mso-outline-level", std::to_string(*p.outline_level + 1));
  }
  if (!list_css.empty()) {
    css += list_css;
    css += ';';
  }
  if (!p.tabs.empty()) {
    std::string stops;
    for (const TabStop& tab : p.tabs) {
      if (tab.val == "clear") continue;
      if (!stops.empty()) stops += ' ';
      if (tab.val == "center" || tab.val == "right" || tab.val == "decimal" || tab.val == "bar") {
        stops += tab.val;
        stops += ' ';
      } else if (tab.val == "num") {
        stops += "list ";
      }
      const std::string_view leader = TabLeaderCss(tab.leader);
      if (!leader.empty()) {
        stops += leader;
        stops += ' ';
      }
      AppendTwipsLength(stops, tab.position);
    }
    if (!stops.empty()) Declare(css, "tab-stops", stops);
  }
  if (p.contextual_spacing.value_or(false)) Declare(css, "mso-add-space", "auto");
  if (p.snap_to_grid && !*p.snap_to_grid) Declare(css, "layout-grid-mode", "char");
  if (p.bidi.value_or(false)) {
    Declare(css, "direction", "rtl");
    Declare(css, "unicode-bidi", "embed");
  }
  const ParagraphBorders& b = p.borders;
  const std::optional<Border>* sides[] = {&b.top, &b.right, &b.bottom, &b.left};
  static constexpr std::string_view kSideNames[] = {"top", "right", "bottom", "left"};
  bool any_border = false;
  for (const auto* side : sides) any_border = any_border || IsVisibleBorder(*side);
  if (any_border) {
    for (int i = 0; i < 4; ++i) {
      css += "border-";
      css += kSideNames[i];
      css += ':';
      if (IsVisibleBorder(*sides[i])) {
        AppendBorderValue(css, **sides[i], true);
      } else {
        css += "none";
      }
      css += ';';
    }
    for (int i = 0; i < 4; ++i) {
      if (!IsVisibleBorder(*sides[i]) || !IsThinBorder(**sides[i])) continue;
      css += "mso-border-";
      css += kSideNames[i];
      css += "-alt:";
      AppendBorderValue(css, **sides[i], false);
      css += ';';
    }
    css += "padding:";
    for (int i = 0; i < 4; ++i) {
      if (i > 0) css += ' ';
      const int space = IsVisibleBorder(*sides[i]) ? (*sides[i])->space.value_or(0) : 0;
      if (space == 0) {
        css += "0cm";
      } else {
        AppendPoints(css, space);
        css += "pt";
      }
    }
    css += ';';
  }
  if (p.shading) AppendShadingCss(css, *p.shading);
}

void AppendInsideBorder(std::string& css, std::string_view name, const std::optional<Border>& b) {
  if (!IsVisibleBorder(b)) return;
  css += name;
  css += ':';
  // mso-border-insideh and -insidev put the width first.
  AppendPoints(css, b->size.value_or(4) / 8.0);
  css += "pt ";
  css += BorderStyleCss(b->val);
  css += ' ';
  AppendCssColor(css, b->color, "windowtext");
  css += ';';
}

bool IsVisibleBorder(const std::optional<Border>& border) {
  return border && !border->val.empty() && border->val != "nil" && border->val != "none";
}

bool IsThinBorder(const Border& border) {
  return border.size.value_or(4) < 8;
}

void AppendBorderValue(std::string& css, const Border& border, bool minimum_one_point) {
  if (border.val.empty() || border.val == "nil" || border.val == "none") {
    css += "none";
    return;
  }
  css += BorderStyleCss(border.val);
  css += ' ';
  AppendCssColor(css, border.color, "windowtext");
  css += ' ';
  double points = border.size.value_or(4) / 8.0;
  if (minimum_one_point && points < 1.0) points = 1.0;
  AppendPoints(css, points);
  css += "pt";
}

void AppendShadingCss(std::string& css, const Shading& shading) {
  if (shading.val == "solid" && !shading.color.empty() && shading.color != "auto") {
    css += "background:";
    AppendCssColor(css, shading.color, "black");
    css += ';';
    return;
  }
  if (shading.fill.empty() || shading.fill == "auto") return;
  css += "background:";
  AppendCssColor(css, shading.fill, "white");
  css += ';';
}

void AppendStyleAttribute(std::string& out, std::string_view declarations) {
  if (declarations.empty()) return;
  if (declarations.back() == ';') declarations.remove_suffix(1);
  out += " style='";
  out += declarations;
  out += '\'';
}

void AppendRuleBody(std::string& out, std::string_view declarations) {
  out += "\t{";
  size_t start = 0;
  bool first = true;
  while (start < declarations.size()) {
    size_t end = declarations.find(';', start);
    if (end == std::string_view::npos) end = declarations.size();
    if (!first) out += "\r\n\t";
    out.append(declarations.data() + start, end - start);
    out += ';';
    first = false;
    start = end + 1;
  }
  out += '}';
}

}  // namespace tessarine::convert
