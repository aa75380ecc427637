// Text and number spelling shared by every part of the Word HTML writer:
// HTML escaping, CSS lengths written the way Word writes them, language
// codes, font names, and the few character classes the writer needs.
//
// Everything appends to a caller's string so the writer can build a whole
// document in one buffer without temporary strings per character.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessarine::convert {

// Text content: & < > " escaped, U+00A0 as &nbsp;, CR and LF as a space,
// other control characters but TAB dropped (XML 1.0 cannot carry most of
// them, and a stray one would only confuse the later stages).
void AppendEscapedText(std::string& out, std::string_view utf8);

// A number of points as Word writes it: at most two decimals, at least one
// ("72.0", "42.55"), no leading zero (".5", "-.05"). Values that round to
// zero give "0".
void AppendPoints(std::string& out, double points);
std::string PointsText(double points);

// A length in twentieths of a point as "595.3pt"; zero as "0cm", as Word does.
void AppendTwipsPt(std::string& out, long long twips);
// As AppendTwipsPt, but whole centimetres (multiples of 567 twips) as
// "1.0cm", which is how Word writes lengths entered in centimetres.
void AppendTwipsLength(std::string& out, long long twips);
// Pixels at 96 dpi (Word's `width=` attributes): twips / 15, rounded.
int TwipsToPixels(long long twips);

// An OOXML language tag ("en-US", "zh-CN", "de-DE", "x-none") as Word writes
// it in `lang=` ("EN-US", "ZH-CN", "DE", "X-NONE"). Empty for empty input.
std::string HtmlLanguage(std::string_view ooxml_language);

// A font name inside a CSS declaration: quoted when it holds a space or
// starts with "@" (written "\@"), else bare.
void AppendCssFontName(std::string& out, std::string_view name);

// A colour value "RRGGBB" as "#RRGGBB"; "auto" as `auto_text` ("windowtext"
// for text and borders). Anything that is not six hex digits is written as is.
void AppendCssColor(std::string& out, std::string_view value, std::string_view auto_text);

// Decodes one UTF-8 sequence at `pos`, advancing it; invalid bytes give
// U+FFFD and advance by one.
char32_t NextCodePoint(std::string_view text, size_t& pos);
void AppendUtf8(std::string& out, char32_t code_point);

// Characters Word sets in the East Asian font and language: CJK ideographs,
// kana, hangul, CJK punctuation and full-width forms.
bool IsEastAsian(char32_t c);
bool ContainsEastAsian(std::string_view utf8);

// True for text made only of ASCII spaces (and nothing else).
bool IsBlankText(std::string_view utf8);

}  // namespace tessarine::convert
