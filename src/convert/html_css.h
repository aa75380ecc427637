// Word formatting as CSS declarations, the way Word's HTML spells them.
//
// The same property structs serve the style sheet (a style's complete
// formatting) and the body (direct formatting on one paragraph or run), so
// each builder takes a mode. Declarations are appended as "name:value;";
// the caller turns the list into a `style='…'` attribute (AppendStyleAttribute)
// or a rule body (AppendRuleBody).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "convert/docx_properties.h"
#include "convert/docx_styles.h"
#include "convert/numbering.h"

namespace tessarine::convert {

enum class CssMode {
  kStyleSheet,  // everything as CSS; full margins; bold as font-weight
  kDirect,      // body markup: emphasis goes into tags, only negations stay CSS
};

// How font references turn into names: theme references through the theme,
// generic families (serif, sans-serif) from the font table.
struct CssFonts {
  const ThemeFonts* theme = nullptr;
  const ThemeFontLanguages* languages = nullptr;
  const FontTable* table = nullptr;

  // The font a slot names: the theme reference when set and known, else the
  // name; empty when the slot is unset.
  std::string Resolve(const std::optional<std::string>& name,
                      const std::optional<std::string>& theme_reference) const;
};

// The document's default languages as HTML codes ("EN-US", "ZH-CN"), against
// which runs report their own.
struct CssLanguages {
  std::string latin, east_asia, bidi;
};

// Run formatting. `east_asian_text` chooses the font Word would name first in
// font-family for body runs.
void AppendRunCss(std::string& css, const RunProperties& run, const CssFonts& fonts,
                  const CssLanguages& languages, CssMode mode, bool east_asian_text);

// Paragraph formatting. `font_size_pt` converts character-unit indents;
// `list_css` ("mso-list:l0 level1 lfo1") is placed where Word puts it.
void AppendParagraphCss(std::string& css, const ParagraphProperties& paragraph, CssMode mode,
                        double font_size_pt, std::string_view list_css);

// A list paragraph's indent as Word shows it: the level's w:ind replaces the
// indent `paragraph` has from its style; with `keep_own` (direct formatting)
// the paragraph's own left and first-line indents stay where it gives them.
void ApplyListIndent(ParagraphProperties& paragraph, const ListLevel& level, bool keep_own);

// "solid windowtext .5pt"; "none" for nil/none borders. `minimum_one_point`
// writes widths below 1pt as 1.0pt (what Word shows browsers; the real width
// then goes into an mso-…-alt declaration).
void AppendBorderValue(std::string& css, const Border& border, bool minimum_one_point);
bool IsVisibleBorder(const std::optional<Border>& border);
// A table's inside border as Word declares it, width first
// ("mso-border-insideh:.5pt solid windowtext;"); nothing for none.
void AppendInsideBorder(std::string& css, std::string_view name, const std::optional<Border>& b);
// True when a border is thinner than one point, so Word adds an -alt value.
bool IsThinBorder(const Border& border);

// "background:#RRGGBB;" for a shading with a real fill (or a solid pattern).
void AppendShadingCss(std::string& css, const Shading& shading);

// `style='…'` from "a:b;c:d;" (no attribute for an empty list). Nothing is
// appended when `declarations` is empty.
void AppendStyleAttribute(std::string& out, std::string_view declarations);
// "\t{a:b;\r\n\tc:d;}" for the style sheet.
void AppendRuleBody(std::string& out, std::string_view declarations);

}  // namespace tessarine::convert
