// List numbering: the definitions in word/numbering.xml, the counting Word
// does over the paragraphs of a document, and the label text of each item.
//
// Three pieces, used in this order by the Word HTML writer:
//
//   Numbering numbering = Numbering::Parse(numbering_root, styles_root);
//   ListCounter counter(numbering);             // one per story, see below
//   for each paragraph with w:numPr (num_id, ilvl), in document order:
//     if (auto label = counter.Next(num_id, ilvl))
//       write "mso-list:l<label->list_index> level<label->level> lfo<label->lfo>"
//       and label->text inside <![if !supportLists]>…<![endif]>.
//
// The style sheet's `@list lN` / `@list lN:levelM` rules come from
// Numbering::lists() (one ListDefinition per w:abstractNum, N = list_index).
//
// Element names are matched with the `w:` prefix (the package reader
// normalises prefixes, strict namespace included). Parsing never fails on odd
// content: what cannot be used is skipped and reported in warnings().
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "support/status.h"

namespace tessarine::convert {

// w:numFmt values Word users meet. Anything else reads as kDecimal (with a
// warning), which is also what Word shows for formats it cannot render.
enum class NumberFormat {
  kDecimal,                       // 1 2 3
  kDecimalZero,                   // 01 02 … 10
  kUpperRoman,                    // I II III
  kLowerRoman,                    // i ii iii
  kUpperLetter,                   // A … Z AA BB
  kLowerLetter,                   // a … z aa bb
  kOrdinal,                       // 1st 2nd 3rd
  kCardinalText,                  // One Two Three
  kOrdinalText,                   // First Second Third
  kChineseCounting,               // 一 二 … 十 十一 … 二十 … 一百零一
  kChineseCountingThousand,       // as above, with 千 and 万
  kChineseLegalSimplified,        // 壹 贰 叁 … 壹拾 壹拾壹 (never shortened)
  kIdeographDigital,              // 〇 一 二 … digit by digit (10 → 一〇)
  kIdeographTraditional,          // 甲 乙 丙 … 癸, cycling after 10
  kIdeographZodiac,               // 子 丑 寅 … 亥, cycling after 12
  kDecimalEnclosedCircle,         // ① … ⑳, plain digits beyond 20
  kDecimalEnclosedCircleChinese,  // same glyphs, Chinese-locale variant
  kDecimalFullWidth,              // １ ２ … １０
  kDecimalZero3,                  // custom "001, 002, 003, ..."
  kDecimalZero4,                  // custom "0001, 0002, 0003, ..."
  kDecimalZero5,                  // custom "00001, 00002, 00003, ..."
  kLowerGreek,                    // custom "α, β, γ, ..."
  kUpperGreek,                    // custom "Α, Β, Γ, ..."
  kBullet,                        // the lvlText character itself
  kNone,                          // no number (lvlText literals still show)
};

// The w:numFmt value (for "custom", the w:format text, e.g. "001, 002, 003,
// ..."); nullopt when unknown.
std::optional<NumberFormat> ParseNumberFormat(std::string_view numfmt_val,
                                              std::string_view custom_format = {});

// Value of `mso-level-number-format` in Word's style sheet ("roman-lower",
// "alpha-upper", "arabic-leading-zero", "bullet", …). Empty for kDecimal:
// Word leaves the property out for plain decimal levels.
std::string_view NumberFormatCssName(NumberFormat format);

// `value` in `format`, UTF-8. Formats with no way to show a value (0 or less
// in roman and letters, letters beyond 780, roman beyond 3999, text formats
// beyond 999999) fall back to decimal. kBullet and kNone give "".
std::string FormatNumber(int value, NumberFormat format);

// What follows the label (w:suff): Word's default is a tab.
enum class LevelSuffix { kTab, kSpace, kNothing };
// w:lvlJc (`mso-level-number-position`): "start"/"end" read as left/right.
enum class LevelJustification { kLeft, kCenter, kRight };

// Fonts and emphasis of the label run (the level's w:rPr).
struct LabelRunFormat {
  std::string ascii_font;               // w:rFonts/@w:ascii (Symbol, Wingdings for bullets)
  std::string h_ansi_font;              // @w:hAnsi
  std::string east_asia_font;           // @w:eastAsia
  std::string cs_font;                  // @w:cs
  std::optional<bool> bold;             // w:b
  std::optional<bool> italic;           // w:i
  std::optional<int> size_half_points;  // w:sz
  std::string color;                    // w:color/@w:val ("FF0000", "auto")
  bool operator==(const LabelRunFormat&) const = default;
};

// One w:lvl as read. Numbering::Level returns the one a paragraph uses, with
// a w:lvlOverride/w:lvl already substituted.
struct ListLevel {
  int ilvl = 0;   // 0-8
  int start = 0;  // w:start; Word's value when absent is 0
  NumberFormat format = NumberFormat::kDecimal;
  std::string lvl_text;        // w:lvlText, raw: "%1.%2.", "\uF0B7"
  bool is_legal = false;       // w:isLgl
  std::optional<int> restart;  // w:lvlRestart (0 = never); nullopt = after any higher level
  LevelSuffix suffix = LevelSuffix::kTab;
  LevelJustification justification = LevelJustification::kLeft;
  std::string style_id;                  // w:pStyle: the paragraph style tied to this level
  std::optional<int> picture_bullet_id;  // w:lvlPicBulletId
  // w:pPr/w:ind and the first w:tabs/w:tab, in twips (1/20 pt).
  std::optional<int> indent_left_twips;
  std::optional<int> indent_hanging_twips;
  std::optional<int> indent_first_line_twips;
  std::optional<int> tab_stop_twips;
  LabelRunFormat run;
  // The level's w:pPr and w:rPr for anything not extracted above. Handles into
  // the parsed XML: valid only while the document passed to Parse lives; empty
  // handles when the level has none (pugixml makes empty handles safe to use).
  pugi::xml_node paragraph_properties;
  pugi::xml_node run_properties;
  bool operator==(const ListLevel&) const = default;
};

// One w:abstractNum: the `@list lN` rule of the style sheet.
struct ListDefinition {
  int abstract_num_id = 0;
  int list_index = 0;            // N of "lN": position among the w:abstractNum elements, from 0
  std::optional<uint32_t> nsid;  // w:nsid (hex in the file) → `mso-list-id` in decimal
  std::optional<uint32_t> tmpl;  // w:tmpl → `mso-list-template-ids`
  // w:multiLevelType: "hybridMultilevel" (→ mso-list-type:hybrid),
  // "multilevel" or "singleLevel".
  std::string multi_level_type;
  std::string style_link;      // w:styleLink: this is the definition of that numbering style
  std::string num_style_link;  // w:numStyleLink: levels come from that numbering style's list
  // Levels by ilvl. Undefined levels are nullopt. For a definition with
  // numStyleLink these are the linked definition's levels (when resolvable).
  std::array<std::optional<ListLevel>, 9> levels;
  bool operator==(const ListDefinition&) const = default;
};

// One w:num: a list instance (`lfoN` in Word HTML).
struct ListInstance {
  int num_id = 0;
  int abstract_num_id = 0;
  int lfo = 0;  // position among the w:num elements, from 1 (equals numId in files Word saved)
  std::array<std::optional<int>, 9> start_overrides;  // w:lvlOverride/w:startOverride
  // w:lvlOverride/w:lvl, one per overridden ilvl (ListLevel::ilvl), in the
  // order met. Most instances override nothing: nine empty levels each would
  // make a document of thousands of lists hold megabytes of nothing.
  std::vector<ListLevel> level_overrides;
  bool operator==(const ListInstance&) const = default;
};

class Numbering {
 public:
  // numbering_root: the w:numbering element or its document (empty handle =
  // a package without numbering). styles_root: w:styles or its document, used
  // only to resolve w:numStyleLink (style → w:pPr/w:numPr/w:numId → abstract
  // definition); may be empty. Never fails; problems land in warnings().
  static Numbering Parse(pugi::xml_node numbering_root, pugi::xml_node styles_root = {});
  // The same from XML text. Fails only when the text is not well-formed XML,
  // with the parser's reason and offset in the message. Keeps its own copy of
  // the parsed XML, so the xml_node handles in levels stay valid.
  static support::Result<Numbering> ParseXml(std::string_view numbering_xml,
                                             std::string_view styles_xml = {});

  // All abstract definitions, ordered by list_index.
  const std::vector<ListDefinition>& lists() const { return lists_; }
  // All instances, ordered by lfo.
  const std::vector<ListInstance>& instances() const { return instances_; }

  const ListInstance* Instance(int num_id) const;
  // The definition a w:num names directly (its list_index is the "lA" of the
  // paragraph), nullptr for numId 0 or unknown ids.
  const ListDefinition* ListForNum(int num_id) const;
  // The definition whose levels and counters serve a w:num: ListForNum with
  // one w:numStyleLink followed.
  const ListDefinition* CountingListForNum(int num_id) const;
  // The level a paragraph with (num_id, ilvl) uses: w:lvlOverride/w:lvl if
  // present, else the (linked) definition's level. nullptr when undefined.
  const ListLevel* Level(int num_id, int ilvl) const;
  // The ilvl tied to a paragraph style (w:lvl/w:pStyle) in the list of
  // num_id; used when a style's w:numPr gives numId without ilvl.
  std::optional<int> LevelForStyle(int num_id, std::string_view style_id) const;

  // Oddities met while parsing (unknown formats, dangling references), for
  // the conversion's diagnostics.
  const std::vector<std::string>& warnings() const { return warnings_; }

 private:
  friend class NumberingParser;
  std::vector<ListDefinition> lists_;
  std::vector<ListInstance> instances_;
  std::vector<std::string> warnings_;
  std::map<int, size_t> instance_by_num_id_;
  // Index into lists_ of the definition that counts for each entry of
  // instances_, after the style link (-1 = none).
  std::vector<int> counting_list_;
  // Index into lists_ of each instance's own definition (-1 = none).
  std::vector<int> own_list_;
  // Owns the XML when built by ParseXml (shared so Numbering stays copyable).
  std::shared_ptr<const void> owned_xml_;
};

// The computed label of one list paragraph.
struct ListLabel {
  // What Word writes inside <span style='mso-list:Ignore'>…: the number
  // text, or for a bullet the bullet character as Word writes it. Symbol and
  // Wingdings bullets are stored as private-use characters (U+F0B7); Word
  // writes their low byte as a Windows-1252 character in that font
  // (U+F0B7 → "·" with font-family:Symbol, U+F0A7 → "§" with Wingdings).
  std::string text;
  // The same label with symbol-font bullets mapped to the Unicode character
  // they show (Symbol F0B7 → "•", Wingdings F0A7 → "▪"), for plain text.
  std::string display_text;
  bool is_bullet = false;
  // For a symbol-font bullet, the font that gives `text` its shape (Symbol,
  // Wingdings, Webdings …), to be written as font-family; otherwise empty.
  std::string symbol_font;
  int list_index = 0;  // A of "mso-list:lA"
  int level = 1;       // B of "levelB": the ilvl used, plus 1
  int lfo = 0;         // C of "lfoC"
  LevelSuffix suffix = LevelSuffix::kTab;
  const ListLevel* definition = nullptr;  // points into the Numbering
  bool operator==(const ListLabel&) const = default;
};

// Word's counting over the paragraphs of one story. Feed every displayed
// paragraph that carries numbering, in document order. Use one counter for
// the main text and a separate one for each other story (header, footer,
// note, text box). Holds a reference to `numbering`, which must outlive it.
//
// Word's rules, as implemented:
// * Counters belong to the abstract definition (after a w:numStyleLink), not
//   to the w:num: two w:num of one w:abstractNum continue each other.
// * A w:lvlOverride/w:startOverride restarts its level at that value, once:
//   when the w:num is first used (by any level). Later items continue the
//   shared counter; a level restart after a higher level uses w:start.
// * An item restarts every deeper level, unless that level's w:lvlRestart r
//   says otherwise: 0 = never; r = only after items at levels 1..r (1-based),
//   so an item at ilvl L restarts it when L + 1 <= r. Values naming the level
//   itself or a deeper one are ignored. A restarted level's next item shows
//   w:start.
// * An item also counts as a use of each level above it not yet started:
//   such a level takes its start value then, so a later item at that level
//   shows start + 1 (list 1. / 1.1 / 1.2 then "2.", even when the list began
//   at the second level).
// * %N in lvlText is level N-1's current value in that level's format; a
//   level restarted and not used since shows its w:start. A %N naming a
//   bullet or "none" level shows nothing.
// * w:isLgl on the level being formatted shows the other levels' %N in
//   decimal; its own number keeps its format (Word's "Section 1.01").
// * A w:lvlOverride/w:lvl replaces that level's definition for the w:num.
class ListCounter {
 public:
  explicit ListCounter(const Numbering& numbering);

  // The label of the next paragraph with w:numPr (num_id, ilvl). nullopt when
  // num_id is 0 (numbering removed), unknown, or names an undefined level;
  // such a paragraph changes no counter. ilvl outside 0-8 reads as 0, and so
  // does an undefined ilvl in a w:multiLevelType "singleLevel" list.
  std::optional<ListLabel> Next(int num_id, int ilvl);

 private:
  struct LevelState {
    int value = 0;
    bool started = false;               // false: the next item shows its start value
    std::optional<int> start_override;  // pending w:startOverride
  };
  struct ListState {
    std::array<LevelState, 9> levels;
  };
  const Numbering& numbering_;
  std::vector<ListState> lists_;     // by list_index of the counting list
  std::vector<bool> instance_used_;  // by lfo - 1
};

}  // namespace tessarine::convert
