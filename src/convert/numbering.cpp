#include "convert/numbering.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <utility>

#include "convert/docx_xml.h"
#include "convert/html_text.h"

namespace tessarine::convert {

namespace {

constexpr int kMaxLevels = 9;

// ---------------------------------------------------------------------------
// Small XML helpers (UTF-8 from html_text.h)

std::optional<int> ParseInt(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

std::optional<uint32_t> ParseHex32(std::string_view text) {
  uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

std::string_view Val(pugi::xml_node node, const char* attribute = "w:val") {
  return node.attribute(attribute).as_string();
}

std::optional<int> IntAttr(pugi::xml_node node, const char* attribute = "w:val") {
  const pugi::xml_attribute attr = node.attribute(attribute);
  if (!attr) return std::nullopt;
  return ParseInt(attr.as_string());
}

// w:b, w:i …: present without w:val means on.
std::optional<bool> OnOff(pugi::xml_node node) {
  if (!node) return std::nullopt;
  const pugi::xml_attribute attr = node.attribute("w:val");
  if (!attr) return true;
  const std::string_view v = attr.as_string();
  return !(v == "0" || v == "false" || v == "off");
}

std::string_view LocalName(std::string_view name) {
  const size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// The w:numFmt of a level. Word 2010 writes formats older readers do not know
// (custom "001, 002, 003, ...") inside mc:AlternateContent with a plain
// fallback; take the choice when we know it, else the fallback
// [poi__Numbering.docx, tika__testWORD_numbered_list.docx].
pugi::xml_node NumFmtNode(pugi::xml_node lvl) {
  if (pugi::xml_node direct = lvl.child("w:numFmt")) return direct;
  for (pugi::xml_node alt : lvl.children()) {
    if (LocalName(alt.name()) != "AlternateContent") continue;
    pugi::xml_node fallback;
    for (pugi::xml_node branch : alt.children()) {
      const std::string_view name = LocalName(branch.name());
      pugi::xml_node fmt = branch.child("w:numFmt");
      if (!fmt) continue;
      if (name == "Choice" && ParseNumberFormat(Val(fmt), Val(fmt, "w:format"))) return fmt;
      if (name == "Fallback") fallback = fmt;
    }
    if (fallback) return fallback;
  }
  return {};
}

// ---------------------------------------------------------------------------
// Number formats

struct FormatName {
  std::string_view ooxml;
  NumberFormat format;
  std::string_view css;
};

// `css` is Word's mso-level-number-format. The roman, alpha, bullet, none,
// arabic-leading-zero, chinese-counting-thousand, ideograph-traditional and
// decimal-enclosed-circle(-chinese) names are seen in Word's own pages; the
// others follow the same rule (the OOXML name hyphenated).
constexpr FormatName kFormatNames[] = {
    {"decimal", NumberFormat::kDecimal, ""},
    {"decimalZero", NumberFormat::kDecimalZero, "arabic-leading-zero"},
    {"upperRoman", NumberFormat::kUpperRoman, "roman-upper"},
    {"lowerRoman", NumberFormat::kLowerRoman, "roman-lower"},
    {"upperLetter", NumberFormat::kUpperLetter, "alpha-upper"},
    {"lowerLetter", NumberFormat::kLowerLetter, "alpha-lower"},
    {"ordinal", NumberFormat::kOrdinal, "ordinal"},
    {"cardinalText", NumberFormat::kCardinalText, "cardinal-text"},
    {"ordinalText", NumberFormat::kOrdinalText, "ordinal-text"},
    {"chineseCounting", NumberFormat::kChineseCounting, "chinese-counting"},
    {"chineseCountingThousand", NumberFormat::kChineseCountingThousand,
     "chinese-counting-thousand"},
    {"chineseLegalSimplified", NumberFormat::kChineseLegalSimplified, "chinese-legal-simplified"},
    {"ideographDigital", NumberFormat::kIdeographDigital, "ideograph-digital"},
    {"ideographTraditional", NumberFormat::kIdeographTraditional, "ideograph-traditional"},
    {"ideographZodiac", NumberFormat::kIdeographZodiac, "ideograph-zodiac"},
    {"decimalEnclosedCircle", NumberFormat::kDecimalEnclosedCircle, "decimal-enclosed-circle"},
    {"decimalEnclosedCircleChinese", NumberFormat::kDecimalEnclosedCircleChinese,
     "decimal-enclosed-circle-chinese"},
    {"decimalFullWidth", NumberFormat::kDecimalFullWidth, "decimal-full-width"},
    {"bullet", NumberFormat::kBullet, "bullet"},
    {"none", NumberFormat::kNone, "none"},
};

struct CustomFormat {
  std::string_view text;
  NumberFormat format;
  std::string_view css;
};

constexpr CustomFormat kCustomFormats[] = {
    {"001, 002, 003, ...", NumberFormat::kDecimalZero3, "arabic-leading-zero2"},
    {"0001, 0002, 0003, ...", NumberFormat::kDecimalZero4, "arabic-leading-zero3"},
    {"00001, 00002, 00003, ...", NumberFormat::kDecimalZero5, "arabic-leading-zero4"},
    {"\u03B1, \u03B2, \u03B3, ...", NumberFormat::kLowerGreek, "greek-lower"},
    {"\u0391, \u0392, \u0393, ...", NumberFormat::kUpperGreek, "greek-upper"},
};

std::string Decimal(int value) {
  return std::to_string(value);
}

std::string ZeroPadded(int value, size_t width) {
  std::string digits = std::to_string(value);
  if (value < 0 || digits.size() >= width) return digits;
  return std::string(width - digits.size(), '0') + digits;
}

std::string Roman(int value, bool upper) {
  static constexpr std::pair<int, std::string_view> kRoman[] = {
      {1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"}, {50, "l"},
      {40, "xl"},  {10, "x"},   {9, "ix"},  {5, "v"},    {4, "iv"},  {1, "i"}};
  if (value <= 0 || value > 3999) return Decimal(value);
  std::string out;
  for (const auto& [amount, digits] : kRoman) {
    for (; value >= amount; value -= amount) out += digits;
  }
  if (upper) {
    for (char& c : out) c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// Word repeats the letter instead of counting in base 26 (27 = aa, 28 = bb)
// and stops at 780, thirty z.
std::string Alphabetic(int value, const char32_t* alphabet, int size) {
  if (value <= 0 || value > size * 30) return Decimal(value);
  const char32_t letter = alphabet[(value - 1) % size];
  std::string out;
  for (int i = 0; i <= (value - 1) / size; ++i) AppendUtf8(out, letter);
  return out;
}

constexpr char32_t kLatinLower[] = U"abcdefghijklmnopqrstuvwxyz";
constexpr char32_t kLatinUpper[] = U"ABCDEFGHIJKLMNOPQRSTUVWXYZ";
// Without the final sigma, as Greek numbering does.
constexpr char32_t kGreekLower[] = U"αβγδεζηθικλμνξοπρστυφχψω";
constexpr char32_t kGreekUpper[] = U"ΑΒΓΔΕΖΗΘΙΚΛΜΝΞΟΠΡΣΤΥΦΧΨΩ";

std::string Ordinal(int value) {
  const int last_two = std::abs(value % 100);
  const int last = std::abs(value % 10);
  std::string_view suffix = "th";
  if (last_two < 11 || last_two > 13) {
    if (last == 1) suffix = "st";
    if (last == 2) suffix = "nd";
    if (last == 3) suffix = "rd";
  }
  return Decimal(value) + std::string(suffix);
}

constexpr std::string_view kOnes[] = {"zero",    "one",     "two",       "three",    "four",
                                      "five",    "six",     "seven",     "eight",    "nine",
                                      "ten",     "eleven",  "twelve",    "thirteen", "fourteen",
                                      "fifteen", "sixteen", "seventeen", "eighteen", "nineteen"};
constexpr std::string_view kTens[] = {"",      "",      "twenty",  "thirty", "forty",
                                      "fifty", "sixty", "seventy", "eighty", "ninety"};

// 1-999 in words, US style without "and" (101 = "one hundred one").
std::string BelowThousandWords(int value) {
  std::string out;
  if (value >= 100) {
    out = std::string(kOnes[value / 100]) + " hundred";
    value %= 100;
    if (value == 0) return out;
    out += ' ';
  }
  if (value < 20) return out + std::string(kOnes[value]);
  out += kTens[value / 10];
  if (value % 10 != 0) out += "-" + std::string(kOnes[value % 10]);
  return out;
}

std::string CardinalWords(int value) {
  if (value == 0) return "zero";
  std::string out;
  if (value >= 1000) {
    out = BelowThousandWords(value / 1000) + " thousand";
    value %= 1000;
    if (value == 0) return out;
    out += ' ';
  }
  return out + BelowThousandWords(value);
}

// The last word of a cardinal turned ordinal: "twenty-one" → "twenty-first".
std::string OrdinalWords(int value) {
  static constexpr std::pair<std::string_view, std::string_view> kIrregular[] = {
      {"one", "first"},    {"two", "second"}, {"three", "third"},   {"five", "fifth"},
      {"eight", "eighth"}, {"nine", "ninth"}, {"twelve", "twelfth"}};
  std::string words = CardinalWords(value);
  const size_t start =
      words.find_last_of(" -") == std::string::npos ? 0 : words.find_last_of(" -") + 1;
  const std::string last = words.substr(start);
  words.erase(start);
  for (const auto& [cardinal, ordinal] : kIrregular) {
    if (last == cardinal) return words + std::string(ordinal);
  }
  if (last.back() == 'y') return words + last.substr(0, last.size() - 1) + "ieth";
  return words + last + "th";
}

std::string Capitalized(std::string words) {
  if (!words.empty()) words[0] = static_cast<char>(words[0] - 'a' + 'A');
  return words;
}

struct ChineseDigits {
  const char32_t* digits;  // 0-9
  char32_t ten, hundred, thousand;
  bool short_ten;  // 10-19 written 十, 十一 (no leading 一)
};

constexpr ChineseDigits kChineseCounting = {U"〇一二三四五六七八九", U'十', U'百', U'千', true};
// Amounts in financial (legal) numerals are never shortened: 10 = 壹拾.
constexpr ChineseDigits kChineseLegal = {U"零壹贰叁肆伍陆柒捌玖", U'拾', U'佰', U'仟', false};

// 1-9999 in Chinese counting; `leading` says whether nothing precedes it.
// A run of zeros between digits reads as one 零 (101 = 一百零一, 1001 =
// 一千零一); trailing zeros are silent (110 = 一百一十).
void AppendChineseGroup(std::string& out, int value, const ChineseDigits& style, bool leading) {
  const char32_t units[] = {style.thousand, style.hundred, style.ten, 0};
  const int divisors[] = {1000, 100, 10, 1};
  bool pending_zero = false;
  bool wrote = false;
  for (int i = 0; i < 4; ++i) {
    const int digit = value / divisors[i] % 10;
    if (digit == 0) {
      if (wrote || !leading) pending_zero = true;
      continue;
    }
    if (pending_zero) AppendUtf8(out, U'零');
    pending_zero = false;
    const bool bare_ten = i == 2 && digit == 1 && leading && !wrote && style.short_ten;
    if (!bare_ten) AppendUtf8(out, style.digits[digit]);
    if (units[i] != 0) AppendUtf8(out, units[i]);
    wrote = true;
  }
}

std::string ChineseNumber(int value, const ChineseDigits& style) {
  if (value < 0) return Decimal(value);
  std::string out;
  if (value == 0) {
    AppendUtf8(out, style.digits[0]);
    return out;
  }
  // Groups of four digits: 亿 (10^8), 万 (10^4), units.
  const int groups[] = {value / 100000000, value / 10000 % 10000, value % 10000};
  const char32_t group_units[] = {U'亿', U'万', 0};
  bool wrote = false;
  bool zero_gap = false;
  for (int g = 0; g < 3; ++g) {
    const int group = groups[g];
    if (group == 0) {
      if (wrote) zero_gap = true;
      continue;
    }
    // A group after a written one reads its own leading zeros as 零 (10001 =
    // 一万零一); a whole zero group before it needs one too (100001000 = 一亿零一千).
    if (zero_gap && group >= 1000) AppendUtf8(out, U'零');
    AppendChineseGroup(out, group, style, !wrote);
    if (group_units[g] != 0) AppendUtf8(out, group_units[g]);
    wrote = true;
    zero_gap = false;
  }
  return out;
}

std::string PerDigit(int value, const char32_t* digits) {
  if (value < 0) return Decimal(value);
  std::string out;
  for (char c : std::to_string(value)) AppendUtf8(out, digits[c - '0']);
  return out;
}

std::string Cyclic(int value, const char32_t* symbols, int size) {
  if (value <= 0) return Decimal(value);
  std::string out;
  AppendUtf8(out, symbols[(value - 1) % size]);
  return out;
}

// ---------------------------------------------------------------------------
// Symbol-font bullets

// Word's HTML writes a symbol-font character as its low byte read in
// Windows-1252; 0x80-0x9F are the only bytes that differ from Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t Cp1252(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : byte;
}

struct GlyphMap {
  unsigned char code;
  char32_t unicode;
};

// The bullets Word's gallery offers and documents use, with the Unicode
// character that looks the same.
constexpr GlyphMap kSymbolGlyphs[] = {
    {0x2A, U'∗'}, {0x2D, U'−'}, {0xA7, U'♣'}, {0xA8, U'♦'}, {0xA9, U'♥'}, {0xAA, U'♠'},
    {0xAE, U'→'}, {0xB0, U'°'}, {0xB7, U'•'}, {0xD8, U'¬'}, {0xDE, U'⇒'}, {0xE0, U'◊'},
};
constexpr GlyphMap kWingdingsGlyphs[] = {
    {0x46, U'☞'}, {0x4A, U'☺'}, {0x6C, U'●'}, {0x6E, U'■'}, {0x6F, U'□'},
    {0x71, U'❑'}, {0x75, U'◆'}, {0x76, U'❖'}, {0x77, U'⬥'}, {0x9F, U'•'},
    {0xA1, U'○'}, {0xA7, U'▪'}, {0xA8, U'◻'}, {0xD8, U'➢'}, {0xE8, U'➔'},
    {0xF0, U'⇨'}, {0xFB, U'✘'}, {0xFC, U'✔'}, {0xFE, U'☑'},
};

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool IsSymbolFont(std::string_view font) {
  return EqualsIgnoreCase(font, "Symbol") || EqualsIgnoreCase(font, "Wingdings") ||
         EqualsIgnoreCase(font, "Wingdings 2") || EqualsIgnoreCase(font, "Wingdings 3") ||
         EqualsIgnoreCase(font, "Webdings");
}

char32_t SymbolGlyph(std::string_view font, unsigned char code) {
  const auto find = [code](const auto& table) -> char32_t {
    for (const GlyphMap& entry : table) {
      if (entry.code == code) return entry.unicode;
    }
    return 0;
  };
  char32_t mapped = 0;
  if (EqualsIgnoreCase(font, "Symbol")) mapped = find(kSymbolGlyphs);
  if (EqualsIgnoreCase(font, "Wingdings")) mapped = find(kWingdingsGlyphs);
  return mapped != 0 ? mapped : Cp1252(code);
}

// The font that draws the label's characters.
std::string_view LabelFont(const LabelRunFormat& run) {
  if (!run.ascii_font.empty()) return run.ascii_font;
  if (!run.h_ansi_font.empty()) return run.h_ansi_font;
  if (!run.cs_font.empty()) return run.cs_font;
  return run.east_asia_font;
}

// ---------------------------------------------------------------------------
// Parsing

LabelRunFormat ReadRunFormat(pugi::xml_node rpr) {
  LabelRunFormat run;
  const pugi::xml_node fonts = rpr.child("w:rFonts");
  run.ascii_font = fonts.attribute("w:ascii").as_string();
  run.h_ansi_font = fonts.attribute("w:hAnsi").as_string();
  run.east_asia_font = fonts.attribute("w:eastAsia").as_string();
  run.cs_font = fonts.attribute("w:cs").as_string();
  run.bold = OnOff(rpr.child("w:b"));
  run.italic = OnOff(rpr.child("w:i"));
  run.size_half_points = IntAttr(rpr.child("w:sz"));
  run.color = Val(rpr.child("w:color"));
  return run;
}

pugi::xml_node Root(pugi::xml_node node, const char* name) {
  if (node.type() == pugi::node_document) return node.child(name);
  return node;
}

}  // namespace

std::optional<NumberFormat> ParseNumberFormat(std::string_view numfmt_val,
                                              std::string_view custom_format) {
  if (numfmt_val == "custom") {
    for (const CustomFormat& entry : kCustomFormats) {
      if (entry.text == custom_format) return entry.format;
    }
    return std::nullopt;
  }
  for (const FormatName& entry : kFormatNames) {
    if (entry.ooxml == numfmt_val) return entry.format;
  }
  return std::nullopt;
}

std::string_view NumberFormatCssName(NumberFormat format) {
  for (const FormatName& entry : kFormatNames) {
    if (entry.format == format) return entry.css;
  }
  for (const CustomFormat& entry : kCustomFormats) {
    if (entry.format == format) return entry.css;
  }
  return "";
}

std::string FormatNumber(int value, NumberFormat format) {
  switch (format) {
    case NumberFormat::kDecimal:
      return Decimal(value);
    case NumberFormat::kDecimalZero:
      return ZeroPadded(value, 2);
    case NumberFormat::kDecimalZero3:
      return ZeroPadded(value, 3);
    case NumberFormat::kDecimalZero4:
      return ZeroPadded(value, 4);
    case NumberFormat::kDecimalZero5:
      return ZeroPadded(value, 5);
    case NumberFormat::kUpperRoman:
      return Roman(value, true);
    case NumberFormat::kLowerRoman:
      return Roman(value, false);
    case NumberFormat::kUpperLetter:
      return Alphabetic(value, kLatinUpper, 26);
    case NumberFormat::kLowerLetter:
      return Alphabetic(value, kLatinLower, 26);
    case NumberFormat::kLowerGreek:
      return Alphabetic(value, kGreekLower, 24);
    case NumberFormat::kUpperGreek:
      return Alphabetic(value, kGreekUpper, 24);
    case NumberFormat::kOrdinal:
      return Ordinal(value);
    case NumberFormat::kCardinalText:
      if (value < 0 || value > 999999) return Decimal(value);
      return Capitalized(CardinalWords(value));
    case NumberFormat::kOrdinalText:
      if (value < 0 || value > 999999) return Decimal(value);
      return Capitalized(OrdinalWords(value));
    case NumberFormat::kChineseCounting:
    case NumberFormat::kChineseCountingThousand:
      return ChineseNumber(value, kChineseCounting);
    case NumberFormat::kChineseLegalSimplified:
      return ChineseNumber(value, kChineseLegal);
    case NumberFormat::kIdeographDigital:
      return PerDigit(value, U"〇一二三四五六七八九");
    case NumberFormat::kDecimalFullWidth:
      return PerDigit(value, U"０１２３４５６７８９");
    case NumberFormat::kIdeographTraditional:
      return Cyclic(value, U"甲乙丙丁戊己庚辛壬癸", 10);
    case NumberFormat::kIdeographZodiac:
      return Cyclic(value, U"子丑寅卯辰巳午未申酉戌亥", 12);
    case NumberFormat::kDecimalEnclosedCircle:
    case NumberFormat::kDecimalEnclosedCircleChinese: {
      if (value < 1 || value > 20) return Decimal(value);
      std::string out;
      AppendUtf8(out, U'①' + static_cast<char32_t>(value - 1));
      return out;
    }
    case NumberFormat::kBullet:
    case NumberFormat::kNone:
      return "";
  }
  return Decimal(value);
}

// Reads numbering.xml into a Numbering. A friend so the parse can fill the
// private indexes in one pass.
class NumberingParser {
 public:
  NumberingParser(Numbering& out, pugi::xml_node styles_root)
      : out_(out), styles_(Root(styles_root, "w:styles")) {}

  void Run(pugi::xml_node numbering) {
    std::map<int, int> list_by_abstract_id;
    for (pugi::xml_node node : numbering.children("w:abstractNum")) {
      const std::optional<int> id = IntAttr(node, "w:abstractNumId");
      if (!id) {
        Warn("numbering: w:abstractNum without a usable w:abstractNumId skipped");
        continue;
      }
      if (list_by_abstract_id.count(*id) != 0) {
        Warn("numbering: duplicate w:abstractNumId " + std::to_string(*id) + " ignored");
        continue;
      }
      ListDefinition list;
      list.abstract_num_id = *id;
      list.list_index = static_cast<int>(out_.lists_.size());
      list.nsid = ParseHex32(Val(node.child("w:nsid")));
      list.tmpl = ParseHex32(Val(node.child("w:tmpl")));
      list.multi_level_type = Val(node.child("w:multiLevelType"));
      list.style_link = Val(node.child("w:styleLink"));
      list.num_style_link = Val(node.child("w:numStyleLink"));
      for (pugi::xml_node lvl : node.children("w:lvl")) {
        const std::optional<int> ilvl = IntAttr(lvl, "w:ilvl");
        if (!ilvl || *ilvl < 0 || *ilvl >= kMaxLevels) {
          Warn("numbering: list " + std::to_string(*id) + " has a level outside 0-8");
          continue;
        }
        if (!list.levels[*ilvl]) list.levels[*ilvl] = ReadLevel(lvl, *ilvl);
      }
      list_by_abstract_id[*id] = list.list_index;
      out_.lists_.push_back(std::move(list));
    }

    // An instance carries nine optional levels, so regrowth would copy a
    // lot: generated documents have thousands of w:num.
    const auto nums = numbering.children("w:num");
    const auto num_count = static_cast<size_t>(std::distance(nums.begin(), nums.end()));
    out_.instances_.reserve(num_count);
    out_.own_list_.reserve(num_count);
    for (pugi::xml_node node : numbering.children("w:num")) {
      const std::optional<int> num_id = IntAttr(node, "w:numId");
      if (!num_id) {
        Warn("numbering: w:num without a usable w:numId skipped");
        continue;
      }
      if (out_.instance_by_num_id_.count(*num_id) != 0) {
        Warn("numbering: duplicate w:numId " + std::to_string(*num_id) + " ignored");
        continue;
      }
      ListInstance instance;
      instance.num_id = *num_id;
      instance.lfo = static_cast<int>(out_.instances_.size()) + 1;
      const std::optional<int> abstract_id = IntAttr(node.child("w:abstractNumId"));
      instance.abstract_num_id = abstract_id.value_or(-1);
      int own = -1;
      if (abstract_id && list_by_abstract_id.count(*abstract_id) != 0) {
        own = list_by_abstract_id[*abstract_id];
      } else {
        Warn("numbering: list instance " + std::to_string(*num_id) +
             " names no known abstract list");
      }
      for (pugi::xml_node override_node : node.children("w:lvlOverride")) {
        const std::optional<int> ilvl = IntAttr(override_node, "w:ilvl");
        if (!ilvl || *ilvl < 0 || *ilvl >= kMaxLevels) continue;
        if (pugi::xml_node start = override_node.child("w:startOverride")) {
          instance.start_overrides[*ilvl] = IntAttr(start);
        }
        if (pugi::xml_node lvl = override_node.child("w:lvl")) {
          ListLevel level = ReadLevel(lvl, *ilvl);
          const auto same =
              std::find_if(instance.level_overrides.begin(), instance.level_overrides.end(),
                           [&](const ListLevel& overridden) { return overridden.ilvl == *ilvl; });
          if (same != instance.level_overrides.end()) {
            *same = std::move(level);
          } else {
            instance.level_overrides.push_back(std::move(level));
          }
        }
      }
      out_.instance_by_num_id_[*num_id] = out_.instances_.size();
      out_.instances_.push_back(std::move(instance));
      out_.own_list_.push_back(own);
    }

    // Style links are resolved after every instance is known, since the
    // numbering style's w:numPr names a w:num.
    std::vector<int> counting(out_.lists_.size());
    for (size_t i = 0; i < out_.lists_.size(); ++i) {
      counting[i] = static_cast<int>(i);
      ListDefinition& list = out_.lists_[i];
      if (list.num_style_link.empty()) continue;
      const int target = ResolveStyleLink(list, list_by_abstract_id);
      if (target < 0) {
        Warn("numbering: list " + std::to_string(list.abstract_num_id) +
             " links to numbering style \"" + list.num_style_link + "\", which has no list");
        continue;
      }
      counting[i] = target;
      list.levels = out_.lists_[target].levels;
    }
    for (int own : out_.own_list_) out_.counting_list_.push_back(own < 0 ? -1 : counting[own]);
  }

 private:
  void Warn(std::string message) { out_.warnings_.push_back(std::move(message)); }

  ListLevel ReadLevel(pugi::xml_node lvl, int ilvl) {
    ListLevel level;
    level.ilvl = ilvl;
    level.start = IntAttr(lvl.child("w:start")).value_or(0);
    const pugi::xml_node numfmt = NumFmtNode(lvl);
    if (numfmt) {
      const std::string_view val = Val(numfmt);
      const std::optional<NumberFormat> format = ParseNumberFormat(val, Val(numfmt, "w:format"));
      if (format) {
        level.format = *format;
      } else {
        Warn("numbering: number format \"" + std::string(val) + "\" shown as decimal");
      }
    }
    level.lvl_text = Val(lvl.child("w:lvlText"));
    level.is_legal = OnOff(lvl.child("w:isLgl")).value_or(false);
    level.restart = IntAttr(lvl.child("w:lvlRestart"));
    const std::string_view suffix = Val(lvl.child("w:suff"));
    if (suffix == "space") level.suffix = LevelSuffix::kSpace;
    if (suffix == "nothing") level.suffix = LevelSuffix::kNothing;
    const std::string_view jc = Val(lvl.child("w:lvlJc"));
    if (jc == "center") level.justification = LevelJustification::kCenter;
    if (jc == "right" || jc == "end") level.justification = LevelJustification::kRight;
    level.style_id = Val(lvl.child("w:pStyle"));
    level.picture_bullet_id = IntAttr(lvl.child("w:lvlPicBulletId"));
    level.paragraph_properties = lvl.child("w:pPr");
    level.run_properties = lvl.child("w:rPr");
    const pugi::xml_node ind = level.paragraph_properties.child("w:ind");
    // w:start/w:end are the bidi-neutral spellings of left/right; strict
    // files may give lengths with a unit ("36pt").
    level.indent_left_twips = TwipsAttribute(ind, "w:left");
    if (!level.indent_left_twips) level.indent_left_twips = TwipsAttribute(ind, "w:start");
    level.indent_hanging_twips = TwipsAttribute(ind, "w:hanging");
    level.indent_first_line_twips = TwipsAttribute(ind, "w:firstLine");
    for (pugi::xml_node tab : level.paragraph_properties.child("w:tabs").children("w:tab")) {
      if (Val(tab) == "clear") continue;
      level.tab_stop_twips = TwipsAttribute(tab, "w:pos");
      break;
    }
    level.run = ReadRunFormat(level.run_properties);
    return level;
  }

  // w:numStyleLink names a numbering style; that style's w:numPr names the
  // w:num whose abstract list holds the levels (and whose w:styleLink names
  // the style back). Without styles.xml, or when the style has no w:numPr,
  // the list carrying the matching w:styleLink is taken. One level only: a
  // target that links on again is not followed.
  int ResolveStyleLink(const ListDefinition& list, const std::map<int, int>& list_by_abstract_id) {
    for (pugi::xml_node style : styles_.children("w:style")) {
      if (Val(style, "w:styleId") != list.num_style_link) continue;
      const std::optional<int> num_id =
          IntAttr(style.child("w:pPr").child("w:numPr").child("w:numId"));
      if (!num_id) break;
      const auto instance = out_.instance_by_num_id_.find(*num_id);
      if (instance == out_.instance_by_num_id_.end()) break;
      const auto target =
          list_by_abstract_id.find(out_.instances_[instance->second].abstract_num_id);
      if (target == list_by_abstract_id.end()) break;
      if (target->second != list.list_index && out_.lists_[target->second].num_style_link.empty()) {
        return target->second;
      }
      break;
    }
    for (const ListDefinition& candidate : out_.lists_) {
      if (candidate.style_link == list.num_style_link && candidate.num_style_link.empty()) {
        return candidate.list_index;
      }
    }
    return -1;
  }

  Numbering& out_;
  pugi::xml_node styles_;
};

Numbering Numbering::Parse(pugi::xml_node numbering_root, pugi::xml_node styles_root) {
  Numbering numbering;
  NumberingParser(numbering, styles_root).Run(Root(numbering_root, "w:numbering"));
  return numbering;
}

support::Result<Numbering> Numbering::ParseXml(std::string_view numbering_xml,
                                               std::string_view styles_xml) {
  auto document = std::make_shared<pugi::xml_document>();
  const pugi::xml_parse_result parsed =
      document->load_buffer(numbering_xml.data(), numbering_xml.size());
  if (!parsed) {
    return support::Status::Error(support::StatusCode::kInvalidInput,
                                  "numbering.xml is not well-formed XML (" +
                                      std::string(parsed.description()) + " at offset " +
                                      std::to_string(parsed.offset) + ")");
  }
  pugi::xml_document styles;
  if (!styles_xml.empty()) {
    const pugi::xml_parse_result styles_parsed =
        styles.load_buffer(styles_xml.data(), styles_xml.size());
    if (!styles_parsed) {
      return support::Status::Error(support::StatusCode::kInvalidInput,
                                    "styles.xml is not well-formed XML (" +
                                        std::string(styles_parsed.description()) + " at offset " +
                                        std::to_string(styles_parsed.offset) + ")");
    }
  }
  Numbering numbering = Parse(*document, styles);
  numbering.owned_xml_ = std::move(document);
  return numbering;
}

const ListInstance* Numbering::Instance(int num_id) const {
  const auto found = instance_by_num_id_.find(num_id);
  return found == instance_by_num_id_.end() ? nullptr : &instances_[found->second];
}

const ListDefinition* Numbering::ListForNum(int num_id) const {
  const auto found = instance_by_num_id_.find(num_id);
  if (found == instance_by_num_id_.end() || own_list_[found->second] < 0) return nullptr;
  return &lists_[own_list_[found->second]];
}

const ListDefinition* Numbering::CountingListForNum(int num_id) const {
  const auto found = instance_by_num_id_.find(num_id);
  if (found == instance_by_num_id_.end() || counting_list_[found->second] < 0) return nullptr;
  return &lists_[counting_list_[found->second]];
}

const ListLevel* Numbering::Level(int num_id, int ilvl) const {
  if (ilvl < 0 || ilvl >= kMaxLevels) return nullptr;
  const ListInstance* instance = Instance(num_id);
  if (instance == nullptr) return nullptr;
  for (const ListLevel& overridden : instance->level_overrides) {
    if (overridden.ilvl == ilvl) return &overridden;
  }
  const ListDefinition* list = ListForNum(num_id);
  if (list == nullptr || !list->levels[ilvl]) return nullptr;
  return &*list->levels[ilvl];
}

std::optional<int> Numbering::LevelForStyle(int num_id, std::string_view style_id) const {
  if (style_id.empty()) return std::nullopt;
  for (int ilvl = 0; ilvl < kMaxLevels; ++ilvl) {
    const ListLevel* level = Level(num_id, ilvl);
    if (level != nullptr && level->style_id == style_id) return ilvl;
  }
  return std::nullopt;
}

ListCounter::ListCounter(const Numbering& numbering)
    : numbering_(numbering),
      lists_(numbering.lists().size()),
      instance_used_(numbering.instances().size(), false) {}

std::optional<ListLabel> ListCounter::Next(int num_id, int ilvl) {
  if (num_id == 0) return std::nullopt;
  if (ilvl < 0 || ilvl >= kMaxLevels) ilvl = 0;
  const ListInstance* instance = numbering_.Instance(num_id);
  const ListDefinition* own = numbering_.ListForNum(num_id);
  const ListDefinition* counting = numbering_.CountingListForNum(num_id);
  const ListLevel* level = numbering_.Level(num_id, ilvl);
  // A single-level list (Word's "simple list", typical of converted .doc
  // files) has one level whatever ilvl the paragraph claims: a bullet among
  // its siblings, not a paragraph without label [oxsdk__BackgroundReport -
  // THE WORKING GROUP ON INTERNET GOVERNANCE.docx, ilvl 1 in "WW8Num6"].
  if (level == nullptr && counting != nullptr && counting->multi_level_type == "singleLevel") {
    ilvl = 0;
    level = numbering_.Level(num_id, 0);
  }
  if (instance == nullptr || own == nullptr || counting == nullptr || level == nullptr) {
    return std::nullopt;
  }
  std::array<LevelState, 9>& states = lists_[counting->list_index].levels;

  if (!instance_used_[instance->lfo - 1]) {
    instance_used_[instance->lfo - 1] = true;
    for (int l = 0; l < kMaxLevels; ++l) {
      if (!instance->start_overrides[l]) continue;
      states[l].started = false;
      states[l].start_override = instance->start_overrides[l];
    }
  }

  // The value a level shows: its counter once used, else where it would start.
  const auto shown_value = [&](int l, const ListLevel& definition) {
    const LevelState& state = states[l];
    return state.started ? state.value : state.start_override.value_or(definition.start);
  };

  // An item counts as a use of every level above it that has not started:
  // those keep the value they show now, so the next item at a skipped level
  // shows start + 1 [tika__testWORD_numbered_list.docx: "A ii 2", and "2."
  // after a list that began at level 2].
  for (int upper = 0; upper < ilvl; ++upper) {
    const ListLevel* definition = numbering_.Level(num_id, upper);
    if (definition == nullptr || states[upper].started) continue;
    states[upper].value = shown_value(upper, *definition);
    states[upper].started = true;
    states[upper].start_override.reset();
  }

  // Counting stops at the largest int rather than overflowing on a hostile
  // w:start.
  LevelState& state = states[ilvl];
  const int current = shown_value(ilvl, *level);
  state.value = state.started && current < std::numeric_limits<int>::max() ? current + 1 : current;
  state.started = true;
  state.start_override.reset();

  for (int deeper = ilvl + 1; deeper < kMaxLevels; ++deeper) {
    const ListLevel* definition = numbering_.Level(num_id, deeper);
    const std::optional<int> restart = definition ? definition->restart : std::nullopt;
    // w:lvlRestart names the lowest level (1-based) whose items restart this
    // one; values naming this level or a deeper one are ignored (the default).
    bool restarts = true;
    if (restart && *restart == 0) restarts = false;
    if (restart && *restart >= 1 && *restart <= deeper) restarts = ilvl + 1 <= *restart;
    if (restarts) {
      states[deeper].started = false;
      states[deeper].start_override.reset();
    }
  }

  // Expand %1…%9.
  std::string text;
  const std::string_view pattern = level->lvl_text;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c != '%' || i + 1 >= pattern.size() || pattern[i + 1] < '1' || pattern[i + 1] > '9') {
      text += c;
      continue;
    }
    const int referenced = pattern[++i] - '1';
    const ListLevel* definition = numbering_.Level(num_id, referenced);
    if (definition == nullptr || definition->format == NumberFormat::kBullet ||
        definition->format == NumberFormat::kNone) {
      continue;
    }
    const int value = shown_value(referenced, *definition);
    const NumberFormat format =
        level->is_legal && referenced != ilvl ? NumberFormat::kDecimal : definition->format;
    text += FormatNumber(value, format);
  }

  ListLabel label;
  label.is_bullet = level->format == NumberFormat::kBullet;
  label.list_index = own->list_index;
  label.level = ilvl + 1;
  label.lfo = instance->lfo;
  label.suffix = level->suffix;
  label.definition = level;

  // Symbol-font characters: private-use U+F020-U+F0FF always; plain
  // U+0020-U+00FF too when the label font is a symbol font (older files).
  const std::string_view font = LabelFont(level->run);
  const bool symbol_font = IsSymbolFont(font);
  bool used_symbol = false;
  for (size_t pos = 0; pos < text.size();) {
    const char32_t c = NextCodePoint(text, pos);
    const bool private_use = c >= 0xF020 && c <= 0xF0FF;
    if (private_use || (symbol_font && c >= 0x20 && c <= 0xFF)) {
      const auto code = static_cast<unsigned char>(c & 0xFF);
      AppendUtf8(label.text, Cp1252(code));
      AppendUtf8(label.display_text, SymbolGlyph(font, code));
      used_symbol = true;
    } else {
      AppendUtf8(label.text, c);
      AppendUtf8(label.display_text, c);
    }
  }
  if (used_symbol) label.symbol_font = font;
  return label;
}

}  // namespace tessarine::convert
