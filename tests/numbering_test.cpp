#include "convert/numbering.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace tessarine::convert {
namespace {

// ---------------------------------------------------------------------------
// Number formats

struct FormatCase {
  NumberFormat format;
  int value;
  const char* expected;
};

TEST(FormatNumber, WritesEachFormatAsWordDoes) {
  const std::vector<FormatCase> cases = {
      {NumberFormat::kDecimal, 0, "0"},
      {NumberFormat::kDecimal, 1, "1"},
      {NumberFormat::kDecimal, 1000, "1000"},
      {NumberFormat::kDecimal, -3, "-3"},
      // Zero-padded to two digits, then as is.
      {NumberFormat::kDecimalZero, 0, "00"},
      {NumberFormat::kDecimalZero, 1, "01"},
      {NumberFormat::kDecimalZero, 9, "09"},
      {NumberFormat::kDecimalZero, 10, "10"},
      {NumberFormat::kDecimalZero, 101, "101"},
      {NumberFormat::kDecimalZero3, 7, "007"},
      {NumberFormat::kDecimalZero4, 21, "0021"},
      {NumberFormat::kDecimalZero5, 1000, "01000"},
      // Roman numerals up to 3999, decimal outside.
      {NumberFormat::kUpperRoman, 0, "0"},
      {NumberFormat::kUpperRoman, 1, "I"},
      {NumberFormat::kUpperRoman, 9, "IX"},
      {NumberFormat::kUpperRoman, 19, "XIX"},
      {NumberFormat::kUpperRoman, 99, "XCIX"},
      {NumberFormat::kUpperRoman, 110, "CX"},
      {NumberFormat::kUpperRoman, 1000, "M"},
      {NumberFormat::kUpperRoman, 3999, "MMMCMXCIX"},
      {NumberFormat::kUpperRoman, 4000, "4000"},
      {NumberFormat::kLowerRoman, 4, "iv"},
      {NumberFormat::kLowerRoman, 21, "xxi"},
      {NumberFormat::kLowerRoman, 101, "ci"},
      // Letters repeat instead of counting on: 27 = aa, 28 = bb.
      {NumberFormat::kLowerLetter, 0, "0"},
      {NumberFormat::kLowerLetter, 1, "a"},
      {NumberFormat::kLowerLetter, 26, "z"},
      {NumberFormat::kLowerLetter, 27, "aa"},
      {NumberFormat::kLowerLetter, 28, "bb"},
      {NumberFormat::kLowerLetter, 53, "aaa"},
      {NumberFormat::kUpperLetter, 20, "T"},
      {NumberFormat::kUpperLetter, 100, "VVVV"},
      {NumberFormat::kUpperLetter, 780, "ZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZ"},
      {NumberFormat::kUpperLetter, 781, "781"},
      {NumberFormat::kLowerGreek, 1, "α"},
      {NumberFormat::kLowerGreek, 25, "αα"},
      {NumberFormat::kUpperGreek, 24, "Ω"},
      // English ordinals, with the teens irregular.
      {NumberFormat::kOrdinal, 1, "1st"},
      {NumberFormat::kOrdinal, 2, "2nd"},
      {NumberFormat::kOrdinal, 3, "3rd"},
      {NumberFormat::kOrdinal, 11, "11th"},
      {NumberFormat::kOrdinal, 12, "12th"},
      {NumberFormat::kOrdinal, 13, "13th"},
      {NumberFormat::kOrdinal, 21, "21st"},
      {NumberFormat::kOrdinal, 101, "101st"},
      {NumberFormat::kOrdinal, 111, "111th"},
      {NumberFormat::kOrdinal, 0, "0th"},
      {NumberFormat::kCardinalText, 1, "One"},
      {NumberFormat::kCardinalText, 11, "Eleven"},
      {NumberFormat::kCardinalText, 20, "Twenty"},
      {NumberFormat::kCardinalText, 21, "Twenty-one"},
      {NumberFormat::kCardinalText, 101, "One hundred one"},
      {NumberFormat::kCardinalText, 110, "One hundred ten"},
      {NumberFormat::kCardinalText, 1000, "One thousand"},
      {NumberFormat::kCardinalText, 2021, "Two thousand twenty-one"},
      {NumberFormat::kOrdinalText, 1, "First"},
      {NumberFormat::kOrdinalText, 9, "Ninth"},
      {NumberFormat::kOrdinalText, 12, "Twelfth"},
      {NumberFormat::kOrdinalText, 20, "Twentieth"},
      {NumberFormat::kOrdinalText, 21, "Twenty-first"},
      {NumberFormat::kOrdinalText, 100, "One hundredth"},
      {NumberFormat::kOrdinalText, 103, "One hundred third"},
      {NumberFormat::kOrdinalText, 1000, "One thousandth"},
      // Chinese counting: 十 alone for 10-19, 零 for a gap, silent trailing zeros.
      {NumberFormat::kChineseCounting, 0, "〇"},
      {NumberFormat::kChineseCounting, 1, "一"},
      {NumberFormat::kChineseCounting, 9, "九"},
      {NumberFormat::kChineseCounting, 10, "十"},
      {NumberFormat::kChineseCounting, 11, "十一"},
      {NumberFormat::kChineseCounting, 19, "十九"},
      {NumberFormat::kChineseCounting, 20, "二十"},
      {NumberFormat::kChineseCounting, 21, "二十一"},
      {NumberFormat::kChineseCounting, 99, "九十九"},
      {NumberFormat::kChineseCounting, 100, "一百"},
      {NumberFormat::kChineseCounting, 101, "一百零一"},
      {NumberFormat::kChineseCounting, 110, "一百一十"},
      {NumberFormat::kChineseCountingThousand, 1000, "一千"},
      {NumberFormat::kChineseCountingThousand, 1001, "一千零一"},
      {NumberFormat::kChineseCountingThousand, 1010, "一千零一十"},
      {NumberFormat::kChineseCountingThousand, 1100, "一千一百"},
      {NumberFormat::kChineseCountingThousand, 10000, "一万"},
      {NumberFormat::kChineseCountingThousand, 10001, "一万零一"},
      {NumberFormat::kChineseCountingThousand, 10010, "一万零一十"},
      {NumberFormat::kChineseCountingThousand, 100100, "十万零一百"},
      {NumberFormat::kChineseCountingThousand, 32767, "三万二千七百六十七"},
      {NumberFormat::kChineseCountingThousand, 100001000, "一亿零一千"},
      {NumberFormat::kChineseCountingThousand, 100010000, "一亿零一万"},
      // Financial numerals are never shortened.
      {NumberFormat::kChineseLegalSimplified, 1, "壹"},
      {NumberFormat::kChineseLegalSimplified, 10, "壹拾"},
      {NumberFormat::kChineseLegalSimplified, 11, "壹拾壹"},
      {NumberFormat::kChineseLegalSimplified, 101, "壹佰零壹"},
      {NumberFormat::kChineseLegalSimplified, 1000, "壹仟"},
      {NumberFormat::kIdeographDigital, 0, "〇"},
      {NumberFormat::kIdeographDigital, 10, "一〇"},
      {NumberFormat::kIdeographDigital, 101, "一〇一"},
      {NumberFormat::kIdeographTraditional, 1, "甲"},
      {NumberFormat::kIdeographTraditional, 10, "癸"},
      {NumberFormat::kIdeographTraditional, 11, "甲"},
      {NumberFormat::kIdeographTraditional, 0, "0"},
      {NumberFormat::kIdeographZodiac, 1, "子"},
      {NumberFormat::kIdeographZodiac, 12, "亥"},
      {NumberFormat::kIdeographZodiac, 13, "子"},
      {NumberFormat::kDecimalEnclosedCircle, 1, "①"},
      {NumberFormat::kDecimalEnclosedCircle, 10, "⑩"},
      {NumberFormat::kDecimalEnclosedCircle, 20, "⑳"},
      {NumberFormat::kDecimalEnclosedCircle, 21, "21"},
      {NumberFormat::kDecimalEnclosedCircle, 0, "0"},
      {NumberFormat::kDecimalEnclosedCircleChinese, 11, "⑪"},
      {NumberFormat::kDecimalFullWidth, 0, "０"},
      {NumberFormat::kDecimalFullWidth, 110, "１１０"},
      {NumberFormat::kBullet, 3, ""},
      {NumberFormat::kNone, 3, ""},
  };
  for (const FormatCase& c : cases) {
    EXPECT_EQ(FormatNumber(c.value, c.format), c.expected)
        << "format " << static_cast<int>(c.format) << ", value " << c.value;
  }
}

TEST(FormatNumber, HugeAndNegativeValuesStayShort) {
  const int kHuge = 2147483647;
  for (NumberFormat format : {NumberFormat::kUpperLetter, NumberFormat::kLowerGreek,
                              NumberFormat::kUpperRoman, NumberFormat::kCardinalText,
                              NumberFormat::kOrdinalText, NumberFormat::kDecimalEnclosedCircle}) {
    EXPECT_EQ(FormatNumber(kHuge, format), "2147483647") << static_cast<int>(format);
    EXPECT_EQ(FormatNumber(-5, format), "-5") << static_cast<int>(format);
  }
  EXPECT_EQ(FormatNumber(kHuge, NumberFormat::kChineseCountingThousand),
            "二十一亿四千七百四十八万三千六百四十七");
  EXPECT_EQ(FormatNumber(-5, NumberFormat::kChineseCounting), "-5");
}

TEST(NumberFormatNames, ReadOoxmlAndWriteWordCss) {
  EXPECT_EQ(ParseNumberFormat("lowerRoman"), NumberFormat::kLowerRoman);
  EXPECT_EQ(ParseNumberFormat("chineseCountingThousand"), NumberFormat::kChineseCountingThousand);
  EXPECT_EQ(ParseNumberFormat("custom", "001, 002, 003, ..."), NumberFormat::kDecimalZero3);
  EXPECT_EQ(ParseNumberFormat("custom", "x, y, z"), std::nullopt);
  EXPECT_EQ(ParseNumberFormat("hebrew2"), std::nullopt);

  EXPECT_EQ(NumberFormatCssName(NumberFormat::kDecimal), "");
  EXPECT_EQ(NumberFormatCssName(NumberFormat::kLowerRoman), "roman-lower");
  EXPECT_EQ(NumberFormatCssName(NumberFormat::kUpperLetter), "alpha-upper");
  EXPECT_EQ(NumberFormatCssName(NumberFormat::kDecimalZero), "arabic-leading-zero");
  EXPECT_EQ(NumberFormatCssName(NumberFormat::kChineseCountingThousand),
            "chinese-counting-thousand");
  EXPECT_EQ(NumberFormatCssName(NumberFormat::kBullet), "bullet");
}

// ---------------------------------------------------------------------------
// numbering.xml builders

constexpr const char* kNamespace =
    "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
    "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\" "
    "xmlns:w14=\"http://schemas.microsoft.com/office/word/2010/wordml\"";

std::string Lvl(int ilvl, const std::string& format, const std::string& text, int start = 1,
                const std::string& extra = "") {
  return "<w:lvl w:ilvl=\"" + std::to_string(ilvl) + "\"><w:start w:val=\"" +
         std::to_string(start) + "\"/><w:numFmt w:val=\"" + format + "\"/><w:lvlText w:val=\"" +
         text + "\"/>" + extra + "</w:lvl>";
}

std::string AbstractNum(int id, const std::string& levels, const std::string& head = "") {
  return "<w:abstractNum w:abstractNumId=\"" + std::to_string(id) + "\">" + head + levels +
         "</w:abstractNum>";
}

std::string Num(int num_id, int abstract_id, const std::string& overrides = "") {
  return "<w:num w:numId=\"" + std::to_string(num_id) + "\"><w:abstractNumId w:val=\"" +
         std::to_string(abstract_id) + "\"/>" + overrides + "</w:num>";
}

std::string StartOverride(int ilvl, int value) {
  return "<w:lvlOverride w:ilvl=\"" + std::to_string(ilvl) + "\"><w:startOverride w:val=\"" +
         std::to_string(value) + "\"/></w:lvlOverride>";
}

std::string NumberingXml(const std::string& body) {
  return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><w:numbering ") + kNamespace + ">" +
         body + "</w:numbering>";
}

// Three decimal outline levels "%1." / "%1.%2." / "%1.%2.%3.".
std::string Outline(int id, const std::string& level2_extra = "") {
  return AbstractNum(id, Lvl(0, "decimal", "%1.") + Lvl(1, "decimal", "%1.%2.") +
                             Lvl(2, "decimal", "%1.%2.%3.", 1, level2_extra));
}

Numbering MustParse(const std::string& body, const std::string& styles = "") {
  auto parsed = Numbering::ParseXml(NumberingXml(body), styles);
  EXPECT_TRUE(parsed.ok()) << parsed.message();
  return parsed.ok() ? std::move(parsed).value() : Numbering();
}

// Labels of paragraphs given as (numId, ilvl); "-" for no label.
std::vector<std::string> Labels(const Numbering& numbering,
                                const std::vector<std::pair<int, int>>& paragraphs) {
  ListCounter counter(numbering);
  std::vector<std::string> labels;
  for (const auto& [num_id, ilvl] : paragraphs) {
    const std::optional<ListLabel> label = counter.Next(num_id, ilvl);
    labels.push_back(label ? label->text : "-");
  }
  return labels;
}

using Strings = std::vector<std::string>;

// ---------------------------------------------------------------------------
// Counting

TEST(ListCounter, DeeperLevelsRestartAfterAHigherLevel) {
  const Numbering numbering = MustParse(Outline(0) + Num(1, 0));
  EXPECT_EQ(Labels(numbering, {{1, 0}, {1, 1}, {1, 1}, {1, 2}, {1, 0}, {1, 1}, {1, 2}, {1, 1}}),
            (Strings{"1.", "1.1.", "1.2.", "1.2.1.", "2.", "2.1.", "2.1.1.", "2.2."}));
}

TEST(ListCounter, LvlRestartZeroNeverRestarts) {
  const Numbering numbering =
      MustParse(AbstractNum(0, Lvl(0, "decimal", "%1.") +
                                   Lvl(1, "lowerLetter", "%2)", 1, "<w:lvlRestart w:val=\"0\"/>")) +
                Num(1, 0));
  EXPECT_EQ(Labels(numbering, {{1, 0}, {1, 1}, {1, 1}, {1, 0}, {1, 1}}),
            (Strings{"1.", "a)", "b)", "2.", "c)"}));
}

TEST(ListCounter, LvlRestartNamesTheLevelThatRestarts) {
  // Level 3 restarts only after level 1, not after level 2.
  const Numbering numbering = MustParse(Outline(0, "<w:lvlRestart w:val=\"1\"/>") + Num(1, 0));
  EXPECT_EQ(Labels(numbering, {{1, 0}, {1, 1}, {1, 2}, {1, 1}, {1, 2}, {1, 0}, {1, 1}, {1, 2}}),
            (Strings{"1.", "1.1.", "1.1.1.", "1.2.", "1.2.2.", "2.", "2.1.", "2.1.1."}));
}

TEST(ListCounter, InstancesOfOneAbstractListContinueEachOther) {
  const Numbering numbering =
      MustParse(Outline(0) + Outline(1) + Num(1, 0) + Num(2, 0) + Num(3, 1));
  EXPECT_EQ(Labels(numbering, {{1, 0}, {1, 0}, {3, 0}, {2, 0}, {2, 1}, {1, 1}}),
            (Strings{"1.", "2.", "1.", "3.", "3.1.", "3.2."}));
}

TEST(ListCounter, StartOverrideRestartsOnceWhenTheInstanceIsFirstUsed) {
  const Numbering numbering = MustParse(Outline(0) + Num(1, 0) + Num(2, 0, StartOverride(0, 1)) +
                                        Num(3, 0, StartOverride(0, 5)));
  EXPECT_EQ(Labels(numbering, {{1, 0}, {1, 0}, {2, 0}, {2, 0}, {1, 0}, {2, 0}, {3, 0}, {3, 0}}),
            (Strings{"1.", "2.", "1.", "2.", "3.", "4.", "5.", "6."}));
}

TEST(ListCounter, StartOverrideOfAnUpperLevelLeavesDeeperCountersAlone) {
  // A fresh instance whose first item sits at level 2 continues level 2;
  // its level 1 override shows in %1 and counts as used.
  const Numbering numbering = MustParse(Outline(0) + Num(1, 0) + Num(2, 0, StartOverride(0, 7)));
  EXPECT_EQ(Labels(numbering, {{1, 0}, {1, 1}, {1, 1}, {2, 1}, {2, 0}}),
            (Strings{"1.", "1.1.", "1.2.", "7.3.", "8."}));
}

TEST(ListCounter, SkippedLevelsShowTheirStartAndCountAsUsed) {
  const Numbering numbering =
      MustParse(AbstractNum(0, Lvl(0, "decimal", "%1.", 3) + Lvl(1, "decimal", "%1.%2.") +
                                   Lvl(2, "lowerLetter", "%1.%2.%3", 2)) +
                Num(1, 0));
  // A list that begins at level 2, then a level 3 item right after level 1:
  // the skipped levels show their start and the next item there counts on.
  EXPECT_EQ(Labels(numbering, {{1, 1}, {1, 1}, {1, 0}, {1, 2}, {1, 1}}),
            (Strings{"3.1.", "3.2.", "4.", "4.1.b", "4.2."}));
}

TEST(ListCounter, SkippedLevelCountsOnWithoutBeingReferenced) {
  // tika__testWORD_numbered_list.docx: A / i / ii / a / b, then level 4
  // shows 2 although no label ever named level 4.
  const Numbering numbering =
      MustParse(AbstractNum(0, Lvl(0, "upperLetter", "%1.") + Lvl(1, "lowerLetter", "%2.") +
                                   Lvl(2, "lowerRoman", "%3.") + Lvl(3, "decimal", "%4.") +
                                   Lvl(4, "lowerLetter", "%5.")) +
                Num(1, 0));
  EXPECT_EQ(Labels(numbering, {{1, 0}, {1, 2}, {1, 2}, {1, 4}, {1, 4}, {1, 3}}),
            (Strings{"A.", "i.", "ii.", "a.", "b.", "2."}));
}

TEST(ListCounter, BulletAndNoneLevelsShowNothingWhenReferenced) {
  const Numbering numbering =
      MustParse(AbstractNum(0, Lvl(0, "decimal", "%1.") + Lvl(1, "decimal", "%1.%2.") +
                                   Lvl(2, "bullet", "\xEF\x82\xB7") +
                                   Lvl(3, "decimal", "%1.%2.%3%4.") + Lvl(4, "none", "(%5)")) +
                Num(1, 0));
  EXPECT_EQ(Labels(numbering, {{1, 0}, {1, 1}, {1, 3}, {1, 3}, {1, 4}}),
            (Strings{"1.", "1.1.", "1.1.1.", "1.1.2.", "()"}));
}

TEST(ListCounter, IsLglShowsOtherLevelsInDecimal) {
  // Word's "Article I / Section 1.01" list.
  const std::string levels = Lvl(0, "upperRoman", "Article %1") +
                             Lvl(1, "decimalZero", "Section %1.%2", 1, "<w:isLgl/>") +
                             Lvl(2, "lowerLetter", "%1.%2.%3");
  const Numbering numbering = MustParse(AbstractNum(0, levels) + Num(1, 0));
  EXPECT_EQ(Labels(numbering, {{1, 0}, {1, 1}, {1, 1}, {1, 0}, {1, 1}, {1, 2}}),
            (Strings{"Article I", "Section 1.01", "Section 1.02", "Article II", "Section 2.01",
                     "II.01.a"}));
}

TEST(ListCounter, NumIdZeroUnknownIdsAndUndefinedLevelsGiveNoLabel) {
  const Numbering numbering =
      MustParse(AbstractNum(0, Lvl(0, "decimal", "%1.")) + Num(1, 0) + Num(2, 9));
  // None of them moves a counter.
  EXPECT_EQ(Labels(numbering, {{1, 0}, {0, 0}, {7, 0}, {2, 0}, {1, 4}, {1, 0}}),
            (Strings{"1.", "-", "-", "-", "-", "2."}));
  EXPECT_FALSE(numbering.warnings().empty());
}

TEST(ListCounter, IlvlOutsideTheNineLevelsReadsAsTheFirst) {
  const Numbering numbering = MustParse(Outline(0) + Num(1, 0));
  EXPECT_EQ(Labels(numbering, {{1, 0}, {1, 12}, {1, -1}}), (Strings{"1.", "2.", "3."}));
}

TEST(ListCounter, SingleLevelListsUseTheirOnlyLevelForAnyIlvl) {
  const std::string single = "<w:multiLevelType w:val=\"singleLevel\"/>";
  const Numbering numbering =
      MustParse(AbstractNum(0, Lvl(0, "decimal", "%1)"), single) +
                AbstractNum(1, Lvl(0, "decimal", "%1)")) + Num(1, 0) + Num(2, 1));
  EXPECT_EQ(Labels(numbering, {{1, 0}, {1, 1}, {2, 0}, {2, 1}}), (Strings{"1)", "2)", "1)", "-"}));
  ListCounter counter(numbering);
  EXPECT_EQ(counter.Next(1, 3)->level, 1);
}

TEST(ListCounter, LevelOverrideReplacesTheLevelButSharesTheCounter) {
  const std::string override_level =
      "<w:lvlOverride w:ilvl=\"0\">" + Lvl(0, "upperLetter", "%1)", 1) + "</w:lvlOverride>";
  const Numbering numbering = MustParse(Outline(0) + Num(1, 0) + Num(2, 0, override_level));
  EXPECT_EQ(Labels(numbering, {{1, 0}, {1, 0}, {2, 0}, {2, 1}, {1, 0}}),
            (Strings{"1.", "2.", "C)", "C.1.", "4."}));
  ASSERT_NE(numbering.Level(2, 0), nullptr);
  EXPECT_EQ(numbering.Level(2, 0)->format, NumberFormat::kUpperLetter);
  EXPECT_EQ(numbering.Level(1, 0)->format, NumberFormat::kDecimal);
}

TEST(ListCounter, LabelNamesListLevelAndInstance) {
  // List and instance numbers follow the order in the file, whatever the ids.
  const Numbering numbering =
      MustParse(Outline(4) + Outline(2) + Num(9, 2) + Num(5, 4) + Num(7, 2));
  ListCounter counter(numbering);
  const std::optional<ListLabel> first = counter.Next(7, 1);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->list_index, 1);
  EXPECT_EQ(first->level, 2);
  EXPECT_EQ(first->lfo, 3);
  EXPECT_EQ(first->definition, numbering.Level(7, 1));
  const std::optional<ListLabel> second = counter.Next(5, 0);
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->list_index, 0);
  EXPECT_EQ(second->lfo, 2);
}

TEST(ListCounter, ChineseHeadingLabels) {
  const Numbering numbering = MustParse(
      AbstractNum(0, Lvl(0, "chineseCountingThousand", "第%1章") +
                         Lvl(1, "chineseCounting", "%2、", 1, "<w:suff w:val=\"nothing\"/>") +
                         Lvl(2, "decimal", "%1.%2.%3", 1, "<w:isLgl/>") +
                         Lvl(3, "ideographTraditional", "%4.") +
                         Lvl(4, "decimalEnclosedCircle", "%5")) +
      Num(1, 0));
  std::vector<std::pair<int, int>> paragraphs(11, {1, 1});
  paragraphs.insert(paragraphs.begin(), {1, 0});
  paragraphs.push_back({1, 2});
  paragraphs.push_back({1, 3});
  paragraphs.push_back({1, 4});
  const Strings labels = Labels(numbering, paragraphs);
  EXPECT_EQ(labels.front(), "第一章");
  EXPECT_EQ(labels[1], "一、");
  EXPECT_EQ(labels[10], "十、");
  EXPECT_EQ(labels[11], "十一、");
  EXPECT_EQ(labels[12], "1.11.1");
  EXPECT_EQ(labels[13], "甲.");
  EXPECT_EQ(labels[14], "①");
  ListCounter counter(numbering);
  EXPECT_EQ(counter.Next(1, 1)->suffix, LevelSuffix::kNothing);
}

TEST(ListCounter, CountingStopsAtTheLargestStartInsteadOfOverflowing) {
  const Numbering numbering =
      MustParse(AbstractNum(0, Lvl(0, "decimal", "%1", 2147483646)) + Num(1, 0));
  EXPECT_EQ(Labels(numbering, {{1, 0}, {1, 0}, {1, 0}}),
            (Strings{"2147483646", "2147483647", "2147483647"}));
}

TEST(ListCounter, PercentSignsWithoutALevelStayLiteral) {
  const Numbering numbering = MustParse(AbstractNum(0, Lvl(0, "decimal", "%1% %0 %")) + Num(1, 0));
  EXPECT_EQ(Labels(numbering, {{1, 0}}), (Strings{"1% %0 %"}));
}

// ---------------------------------------------------------------------------
// Bullets

struct BulletCase {
  const char* lvl_text;  // UTF-8
  const char* font;
  const char* text;
  const char* display_text;
  const char* symbol_font;
};

TEST(ListCounter, SymbolFontBulletsKeepWordsByteAndMapToUnicode) {
  const std::vector<BulletCase> cases = {
      {"\xEF\x82\xB7", "Symbol", "·", "•", "Symbol"},            // U+F0B7
      {"\xEF\x82\xA7", "Wingdings", "§", "▪", "Wingdings"},      // U+F0A7
      {"\xEF\x83\x98", "Wingdings", "Ø", "➢", "Wingdings"},      // U+F0D8
      {"\xEF\x83\xBC", "Wingdings", "ü", "✔", "Wingdings"},      // U+F0FC
      {"\xEF\x81\xAC", "Wingdings", "l", "●", "Wingdings"},      // U+F06C
      {"\xEF\x82\x95", "Wingdings 2", "•", "•", "Wingdings 2"},  // 0x95 is a cp1252 byte
      {"\xC2\xB7", "Symbol", "·", "•", "Symbol"},                // old files: the byte itself
      {"o", "Courier New", "o", "o", ""},
      {"\xE2\x80\xA2", "", "•", "•", ""},
      {"\xE2\x97\x86", "Arial", "◆", "◆", ""},
  };
  for (const BulletCase& c : cases) {
    const std::string fonts = *c.font == '\0' ? ""
                                              : std::string("<w:rPr><w:rFonts w:ascii=\"") +
                                                    c.font + "\" w:hAnsi=\"" + c.font +
                                                    "\" w:hint=\"default\"/></w:rPr>";
    const Numbering numbering =
        MustParse(AbstractNum(0, Lvl(0, "bullet", c.lvl_text, 1, fonts)) + Num(1, 0));
    ListCounter counter(numbering);
    const std::optional<ListLabel> label = counter.Next(1, 0);
    ASSERT_TRUE(label.has_value()) << c.lvl_text;
    EXPECT_TRUE(label->is_bullet);
    EXPECT_EQ(label->text, c.text) << c.lvl_text;
    EXPECT_EQ(label->display_text, c.display_text) << c.lvl_text;
    EXPECT_EQ(label->symbol_font, c.symbol_font) << c.lvl_text;
  }
}

// ---------------------------------------------------------------------------
// Parsing

TEST(Numbering, ReadsLevelPropertiesForTheStyleSheet) {
  const std::string extra =
      "<w:suff w:val=\"space\"/><w:lvlJc w:val=\"right\"/><w:pStyle w:val=\"Heading2\"/>"
      "<w:pPr><w:tabs><w:tab w:val=\"num\" w:pos=\"851\"/></w:tabs>"
      "<w:ind w:left=\"851\" w:hanging=\"426\"/></w:pPr>"
      "<w:rPr><w:rFonts w:ascii=\"Arial\" w:eastAsia=\"SimHei\"/><w:b/><w:i w:val=\"0\"/>"
      "<w:sz w:val=\"21\"/><w:color w:val=\"FF0000\"/></w:rPr>";
  const std::string head =
      "<w:nsid w:val=\"382FA83F\"/><w:multiLevelType w:val=\"hybridMultilevel\"/>"
      "<w:tmpl w:val=\"0616A3A6\"/>";
  // Strict files give lengths with their unit and the bidi-neutral name.
  const std::string strict = "<w:pPr><w:ind w:start=\"36pt\" w:hanging=\"18pt\"/></w:pPr>";
  const Numbering numbering = MustParse(
      AbstractNum(3, Lvl(0, "decimal", "%1", 1, strict) + Lvl(1, "lowerRoman", "(%2)", 4, extra),
                  head) +
      Num(1, 3));
  EXPECT_EQ(numbering.Level(1, 0)->indent_left_twips, 720);
  EXPECT_EQ(numbering.Level(1, 0)->indent_hanging_twips, 360);
  ASSERT_EQ(numbering.lists().size(), 1u);
  const ListDefinition& list = numbering.lists()[0];
  EXPECT_EQ(list.abstract_num_id, 3);
  EXPECT_EQ(list.nsid, 942647359u);
  EXPECT_EQ(list.tmpl, 0x0616A3A6u);
  EXPECT_EQ(list.multi_level_type, "hybridMultilevel");
  EXPECT_FALSE(list.levels[2].has_value());

  const ListLevel* level = numbering.Level(1, 1);
  ASSERT_NE(level, nullptr);
  EXPECT_EQ(level, &*list.levels[1]);
  EXPECT_EQ(level->start, 4);
  EXPECT_EQ(level->format, NumberFormat::kLowerRoman);
  EXPECT_EQ(level->lvl_text, "(%2)");
  EXPECT_EQ(level->suffix, LevelSuffix::kSpace);
  EXPECT_EQ(level->justification, LevelJustification::kRight);
  EXPECT_EQ(level->style_id, "Heading2");
  EXPECT_EQ(level->tab_stop_twips, 851);
  EXPECT_EQ(level->indent_left_twips, 851);
  EXPECT_EQ(level->indent_hanging_twips, 426);
  EXPECT_EQ(level->indent_first_line_twips, std::nullopt);
  EXPECT_EQ(level->run.ascii_font, "Arial");
  EXPECT_EQ(level->run.east_asia_font, "SimHei");
  EXPECT_EQ(level->run.bold, true);
  EXPECT_EQ(level->run.italic, false);
  EXPECT_EQ(level->run.size_half_points, 21);
  EXPECT_EQ(level->run.color, "FF0000");
  EXPECT_STREQ(level->run_properties.child("w:sz").attribute("w:val").value(), "21");
  EXPECT_EQ(numbering.LevelForStyle(1, "Heading2"), 1);
  EXPECT_EQ(numbering.LevelForStyle(1, "Heading3"), std::nullopt);

  const ListLevel* first = numbering.Level(1, 0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->suffix, LevelSuffix::kTab);
  EXPECT_FALSE(first->run_properties);
}

TEST(Numbering, MissingStartCountsFromZeroAsWordDoes) {
  const Numbering numbering =
      MustParse(AbstractNum(0,
                            "<w:lvl w:ilvl=\"0\"><w:numFmt w:val=\"decimal\"/><w:lvlText "
                            "w:val=\"%1.\"/></w:lvl>") +
                Num(1, 0));
  EXPECT_EQ(Labels(numbering, {{1, 0}, {1, 0}}), (Strings{"0.", "1."}));
}

TEST(Numbering, CustomFormatsComeFromAlternateContent) {
  auto level = [](int ilvl, const std::string& custom) {
    return "<w:lvl w:ilvl=\"" + std::to_string(ilvl) +
           "\"><w:start w:val=\"1\"/><mc:AlternateContent><mc:Choice Requires=\"w14\">"
           "<w:numFmt w:val=\"custom\" w:format=\"" +
           custom +
           "\"/></mc:Choice><mc:Fallback><w:numFmt w:val=\"lowerLetter\"/></mc:Fallback>"
           "</mc:AlternateContent><w:lvlText w:val=\"%" +
           std::to_string(ilvl + 1) + ".\"/></w:lvl>";
  };
  const Numbering numbering =
      MustParse(AbstractNum(0, level(0, "001, 002, 003, ...") + level(1, "??")) + Num(1, 0));
  EXPECT_EQ(Labels(numbering, {{1, 0}, {1, 1}}), (Strings{"001.", "a."}));
}

TEST(Numbering, UnknownFormatsReadAsDecimalWithAWarning) {
  const Numbering numbering = MustParse(AbstractNum(0, Lvl(0, "hebrew2", "%1.", 5)) + Num(1, 0));
  EXPECT_EQ(Labels(numbering, {{1, 0}}), (Strings{"5."}));
  ASSERT_EQ(numbering.warnings().size(), 1u);
  EXPECT_NE(numbering.warnings()[0].find("hebrew2"), std::string::npos);
}

TEST(Numbering, NumStyleLinkTakesLevelsAndCountersFromTheStyleList) {
  // Abstract 0 is the definition of numbering style "OutlineList" (num 1);
  // abstract 1 only links to it (num 2). Both count together.
  const std::string body =
      AbstractNum(0, Lvl(0, "upperRoman", "%1."), "<w:styleLink w:val=\"OutlineList\"/>") +
      AbstractNum(1, "", "<w:numStyleLink w:val=\"OutlineList\"/>") + Num(1, 0) + Num(2, 1);
  const std::string styles = std::string("<w:styles ") + kNamespace +
                             "><w:style w:type=\"numbering\" w:styleId=\"OutlineList\">"
                             "<w:pPr><w:numPr><w:numId w:val=\"1\"/></w:numPr></w:pPr>"
                             "</w:style></w:styles>";
  for (const std::string& styles_xml : {styles, std::string()}) {
    const Numbering numbering = MustParse(body, styles_xml);
    EXPECT_EQ(Labels(numbering, {{2, 0}, {2, 0}, {1, 0}}), (Strings{"I.", "II.", "III."}));
    EXPECT_EQ(numbering.ListForNum(2)->list_index, 1);
    EXPECT_EQ(numbering.CountingListForNum(2)->list_index, 0);
    EXPECT_TRUE(numbering.warnings().empty());
    ListCounter counter(numbering);
    EXPECT_EQ(counter.Next(2, 0)->list_index, 1);
  }
}

TEST(Numbering, UnresolvableStyleLinkGivesNoLabelAndAWarning) {
  const Numbering numbering =
      MustParse(AbstractNum(0, "", "<w:numStyleLink w:val=\"Missing\"/>") + Num(1, 0));
  EXPECT_EQ(Labels(numbering, {{1, 0}}), (Strings{"-"}));
  ASSERT_EQ(numbering.warnings().size(), 1u);
  EXPECT_NE(numbering.warnings()[0].find("Missing"), std::string::npos);
}

TEST(Numbering, ToleratesBrokenDefinitions) {
  const std::string body =
      "<w:abstractNum><w:lvl w:ilvl=\"0\"/></w:abstractNum>" +  // no id
      AbstractNum(1, Lvl(12, "decimal", "%1") + Lvl(0, "decimal", "[%1]") +
                         Lvl(0, "upperRoman", "%1")) +  // out of range, duplicate
      AbstractNum(1, Lvl(0, "upperLetter", "%1")) +     // duplicate id
      "<w:num><w:abstractNumId w:val=\"1\"/></w:num>" +
      Num(1, 1) + Num(1, 1) + "<w:num w:numId=\"3\"><w:abstractNumId w:val=\"x\"/></w:num>";
  const Numbering numbering = MustParse(body);
  EXPECT_EQ(numbering.lists().size(), 1u);
  EXPECT_EQ(numbering.instances().size(), 2u);
  EXPECT_EQ(Labels(numbering, {{1, 0}, {3, 0}}), (Strings{"[1]", "-"}));
  EXPECT_EQ(numbering.warnings().size(), 6u);
}

TEST(Numbering, AcceptsTheElementOrItsDocumentAndEmptyHandles) {
  pugi::xml_document document;
  const std::string xml = NumberingXml(Outline(0) + Num(1, 0));
  ASSERT_TRUE(document.load_buffer(xml.data(), xml.size()));
  EXPECT_EQ(Numbering::Parse(document).instances().size(), 1u);
  EXPECT_EQ(Numbering::Parse(document.child("w:numbering")).instances().size(), 1u);
  const Numbering empty = Numbering::Parse(pugi::xml_node());
  EXPECT_TRUE(empty.lists().empty());
  ListCounter counter(empty);
  EXPECT_FALSE(counter.Next(1, 0).has_value());
}

TEST(Numbering, MalformedXmlIsAnErrorWithTheReason) {
  const auto parsed = Numbering::ParseXml("<w:numbering><w:num>");
  ASSERT_FALSE(parsed.ok());
  EXPECT_NE(parsed.message().find("numbering.xml"), std::string::npos);
  EXPECT_NE(parsed.message().find("offset"), std::string::npos);
  EXPECT_FALSE(Numbering::ParseXml(NumberingXml(""), "<w:styles>").ok());
}

TEST(Numbering, LevelHandlesOutliveMovesOfTheParsedResult) {
  auto parsed = Numbering::ParseXml(NumberingXml(
      AbstractNum(0, Lvl(0, "decimal", "%1", 1, "<w:rPr><w:b/></w:rPr>")) + Num(1, 0)));
  ASSERT_TRUE(parsed.ok());
  const Numbering moved = std::move(parsed).value();
  const Numbering copy = moved;  // NOLINT(performance-unnecessary-copy-initialization): the point
  EXPECT_TRUE(copy.Level(1, 0)->run_properties.child("w:b"));
}

}  // namespace
}  // namespace tessarine::convert
