#include "convert/docx_package.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <utility>
#include <vector>

#include "convert/docx_xml.h"
#include "test_support.h"
#include "zip_writer.h"

namespace tessarine::convert {
namespace {

using tessarine::testing::ReadBytes;
using tessarine::testing::Rel;
using tessarine::testing::Rels;
using tessarine::testing::TempDir;
using tessarine::testing::WriteBytes;

using Entries = std::vector<std::pair<std::string, std::string>>;

constexpr char kContentTypes[] =
    R"(<?xml version="1.0" encoding="UTF-8"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">
  <Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>
  <Default Extension="xml" ContentType="application/xml"/>
  <Default Extension="png" ContentType="image/png"/>
  <Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>
</Types>)";

constexpr char kPackageRels[] =
    R"(<?xml version="1.0" encoding="UTF-8"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
  <Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>
  <Relationship Id="rId2" Type="http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties" Target="docProps/core.xml"/>
</Relationships>)";

constexpr char kDocument[] =
    R"(<?xml version="1.0" encoding="UTF-8"?>
<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">
  <w:body><w:p><w:r><w:t xml:space="preserve"> </w:t></w:r></w:p></w:body>
</w:document>)";

std::string DocumentRels(const std::string& relationships) {
  return R"(<?xml version="1.0" encoding="UTF-8"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)" +
         relationships + "</Relationships>";
}

// The smallest package Word accepts, plus `extra` entries; an entry of the
// same name replaces the default one.
Entries MinimalDocx(const Entries& extra = {}) {
  std::map<std::string, std::string> entries = {
      {"[Content_Types].xml", kContentTypes},
      {"_rels/.rels", kPackageRels},
      {"word/document.xml", kDocument},
  };
  for (const auto& [name, content] : extra) entries[name] = content;
  return Entries(entries.begin(), entries.end());
}

// Writes a zip with libzip; `stored` keeps the data uncompressed so a test
// can find and damage it.
std::string WriteZip(const TempDir& dir, const Entries& entries, bool stored = false,
                     const std::string& name = "test.docx") {
  return tessarine::testing::WriteZip(dir.File(name), entries, stored);
}

// Rewrites the uncompressed size that the local header and the central
// directory state for `entry`, leaving the data alone: a lying header.
void PatchDeclaredSize(const std::string& path, const std::string& entry, std::uint32_t size) {
  std::string bytes = ReadBytes(path);
  auto put32 = [&](size_t at) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
  };
  size_t patched = 0;
  for (size_t at = bytes.find("PK\x03\x04"); at != std::string::npos;
       at = bytes.find("PK\x03\x04", at + 4)) {
    if (bytes.compare(at + 30, entry.size(), entry) == 0) put32(at + 22), ++patched;
  }
  for (size_t at = bytes.find("PK\x01\x02"); at != std::string::npos;
       at = bytes.find("PK\x01\x02", at + 4)) {
    if (bytes.compare(at + 46, entry.size(), entry) == 0) put32(at + 24), ++patched;
  }
  ASSERT_EQ(patched, 2u);
  WriteBytes(path, bytes);
}

// --- Reasons for refusing a file ------------------------------------------------

TEST(DocxPackageOpen, NonPackagesSayWhatTheyAre) {
  TempDir dir;
  struct Case {
    std::string bytes;
    std::string expected;
  };
  const Case cases[] = {
      {"", "empty"},
      {"Hello, this is plain text.", "not a zip"},
      {"<?xml version=\"1.0\"?><w:wordDocument/>", "XML document"},
      {"{\\rtf1\\ansi hello}", "RTF"},
      {std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0'),
       "older Word (.doc)"},
      {std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0') +
           std::string("E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0", 32),
       "password-protected"},
      {"PK\x03\x04 and then nothing of a zip", "damaged or truncated"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    WriteBytes(dir.File("in.docx"), c.bytes);
    auto package = DocxPackage::Open(dir.File("in.docx"));
    ASSERT_FALSE(package.ok());
    EXPECT_NE(package.message().find(c.expected), std::string::npos) << package.message();
  }
  auto missing = DocxPackage::Open(dir.File("no-such.docx"));
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.message().find("cannot be read"), std::string::npos) << missing.message();
}

TEST(DocxPackageOpen, ZipThatIsNotAWordDocument) {
  TempDir dir;
  const std::string spreadsheet_rels =
      R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
      R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/></Relationships>)";
  const std::string spreadsheet_types =
      R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
      R"(<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/></Types>)";
  const std::pair<Entries, std::string> cases[] = {
      {{{"readme.txt", "just a zip"}}, "not a Word document"},
      {{{"[Content_Types].xml", spreadsheet_types},
        {"_rels/.rels", spreadsheet_rels},
        {"xl/workbook.xml", "<workbook/>"}},
       "not a Word document"},
      {MinimalDocx({{"word/document.xml", "<html><body/></html>"}}), "not a Word document"},
      {MinimalDocx({{"word/document.xml", "<w:document xmlns:w='x'><w:body>"}}),
       "not well-formed XML"},
      {MinimalDocx({{"_rels/.rels", DocumentRels(Rel("rId1", "officeDocument", "word/gone.xml"))}}),
       "missing"},
  };
  for (const auto& [entries, expected] : cases) {
    SCOPED_TRACE(expected);
    auto package = DocxPackage::Open(WriteZip(dir, entries));
    ASSERT_FALSE(package.ok());
    EXPECT_NE(package.message().find(expected), std::string::npos) << package.message();
  }
}

TEST(DocxPackageOpen, ChecksumErrorInTheMainPartIsDamage) {
  TempDir dir;
  std::string path = WriteZip(dir, MinimalDocx(), /*stored=*/true);
  std::string bytes = ReadBytes(path);
  size_t at = bytes.find("xml:space");
  ASSERT_NE(at, std::string::npos);
  bytes[at] = 'X';  // still well-formed, but no longer what the CRC covers
  WriteBytes(path, bytes);
  auto package = DocxPackage::Open(path);
  ASSERT_FALSE(package.ok());
  EXPECT_NE(package.message().find("damaged"), std::string::npos) << package.message();
  EXPECT_NE(package.message().find("word/document.xml"), std::string::npos);
}

// --- Paths never leave the package ----------------------------------------------

TEST(DocxPackageSafety, UnsafeEntryNamesRefuseThePackage) {
  TempDir dir;
  for (const std::string name :
       {"../evil.xml", "/etc/evil.xml", "word/../../evil.xml", "C:/evil.xml", "word\\evil.xml"}) {
    SCOPED_TRACE(name);
    auto package = DocxPackage::Open(WriteZip(dir, MinimalDocx({{name, "x"}})));
    ASSERT_FALSE(package.ok());
    EXPECT_NE(package.message().find("unsafe entry name"), std::string::npos) << package.message();
  }
}

TEST(DocxPackageSafety, RelationshipTargetsOutsideThePackageAreRefused) {
  TempDir dir;
  for (const std::string target :
       {"../../etc/passwd", "/../secret.xml", "media/../../../x.png", "file:///etc/passwd",
        "C:\\Windows\\win.ini", "..%2F..%2Fetc%2Fpasswd"}) {
    SCOPED_TRACE(target);
    auto package = DocxPackage::Open(WriteZip(
        dir, MinimalDocx(
                 {{"word/_rels/document.xml.rels", DocumentRels(Rel("rId7", "image", target))}})));
    ASSERT_FALSE(package.ok());
    EXPECT_NE(package.message().find("unsafe target"), std::string::npos) << package.message();
  }
}

TEST(DocxPackageSafety, TargetsInsideThePackageResolveToPartNames) {
  TempDir dir;
  // Word itself writes "../customXml/item1.xml"; other producers write
  // package-absolute "/word/..." targets (poi__stress012.docx).
  auto package = DocxPackage::Open(WriteZip(
      dir, MinimalDocx({{"word/_rels/document.xml.rels",
                         DocumentRels(Rel("rId1", "customXml", "../customXml/item1.xml") +
                                      Rel("rId2", "image", "/word/media/image1.png") +
                                      Rel("rId3", "image", "media/./image%202.png") +
                                      Rel("rId4", "hyperlink", "http://example.com/../a b", true))},
                        {"customXml/item1.xml", "<b/>"},
                        {"word/media/image1.png", "PNG1"},
                        {"word/media/image 2.png", "PNG2"}})));
  ASSERT_TRUE(package.ok()) << package.message();
  const std::pair<std::string, std::string> expected[] = {
      {"rId1", "customXml/item1.xml"},
      {"rId2", "word/media/image1.png"},
      {"rId3", "word/media/image 2.png"},
      {"rId4", "http://example.com/../a b"},
  };
  for (const auto& [id, target] : expected) {
    const Relationship* rel = package->MainRelationship(id);
    ASSERT_NE(rel, nullptr) << id;
    EXPECT_EQ(rel->target, target) << id;
  }
  EXPECT_TRUE(package->MainRelationship("rId4")->external);
  EXPECT_EQ(package->BinaryPart("word/media/image 2.png").value_or(""), "PNG2");
  EXPECT_EQ(package->content_types().Of("word/media/IMAGE1.PNG"), "image/png");
  EXPECT_EQ(package->content_types().Of("/word/document.xml"),
            package->content_types().Of("word/document.xml"));
  EXPECT_NE(package->content_types().Of("word/document.xml").find("wordprocessingml"),
            std::string::npos);
}

// --- Size bounds ------------------------------------------------------------------

TEST(DocxPackageBounds, PartsLargerThanTheBoundAreRefused) {
  TempDir dir;
  const std::string big(4u << 20, ' ');  // deflates to a few KiB
  PackageLimits limits;
  limits.max_part_bytes = 1u << 20;

  std::string path = WriteZip(dir, MinimalDocx({{"word/media/big.bin", big}}));
  auto package = DocxPackage::Open(path, limits);
  ASSERT_TRUE(package.ok()) << package.message();
  auto part = package->BinaryPart("word/media/big.bin");
  ASSERT_FALSE(part.ok());
  EXPECT_NE(part.message().find("larger than"), std::string::npos) << part.message();

  // The same bomb as the main document refuses the package.
  auto bomb = DocxPackage::Open(
      WriteZip(dir, MinimalDocx({{"word/document.xml", std::string(kDocument) + big}}), false,
               "bomb.docx"),
      limits);
  ASSERT_FALSE(bomb.ok());
  EXPECT_NE(bomb.message().find("larger than"), std::string::npos) << bomb.message();
}

TEST(DocxPackageBounds, LyingSizeHeadersCannotMakeTheReaderAllocate) {
  TempDir dir;
  PackageLimits limits;
  limits.max_part_bytes = 1u << 20;
  // A header claiming 10 bytes for 4 MiB of data: reading stops at the bound.
  std::string small_claim =
      WriteZip(dir, MinimalDocx({{"word/media/big.bin", std::string(4u << 20, ' ')}}));
  PatchDeclaredSize(small_claim, "word/media/big.bin", 10);
  auto package = DocxPackage::Open(small_claim, limits);
  ASSERT_TRUE(package.ok()) << package.message();
  auto part = package->BinaryPart("word/media/big.bin");
  ASSERT_FALSE(part.ok());
  EXPECT_NE(part.message().find("larger than"), std::string::npos) << part.message();

  // A header claiming 4 GiB for a few bytes is refused before any reading
  // (an allocation of that size would abort under the address sanitizer).
  std::string huge_claim =
      WriteZip(dir, MinimalDocx({{"word/media/tiny.bin", "tiny"}}), false, "huge.docx");
  PatchDeclaredSize(huge_claim, "word/media/tiny.bin", 0xFFFFFFF0u);
  auto huge = DocxPackage::Open(huge_claim);
  ASSERT_TRUE(huge.ok()) << huge.message();
  auto tiny = huge->BinaryPart("word/media/tiny.bin");
  ASSERT_FALSE(tiny.ok());
  EXPECT_NE(tiny.message().find("larger than"), std::string::npos) << tiny.message();
}

// --- Parts and their models ---------------------------------------------------------

TEST(DocxPackageParts, SmallPartsAreParsedIntoTheirModels) {
  TempDir dir;
  const std::string rels = DocumentRels(
      Rel("rId1", "settings", "settings.xml") + Rel("rId2", "theme", "theme/theme1.xml") +
      Rel("rId3", "fontTable", "fontTable.xml") + Rel("rId4", "header", "header1.xml") +
      Rel("rId5", "footer", "footer1.xml"));
  const std::string w = R"(xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main")";
  auto package = DocxPackage::Open(WriteZip(
      dir,
      MinimalDocx({
          {"word/_rels/document.xml.rels", rels},
          {"word/settings.xml",
           "<w:settings " + w +
               R"(><w:defaultTabStop w:val="420"/><w:evenAndOddHeaders/>)"
               R"(<w:footnotePr><w:footnote w:id="-1"/><w:footnote w:id="0"/></w:footnotePr>)"
               R"(<w:themeFontLang w:val="en-US" w:eastAsia="zh-CN"/></w:settings>)"},
          {"word/theme/theme1.xml",
           R"(<a:theme xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main"><a:themeElements><a:fontScheme>)"
           R"(<a:majorFont><a:latin typeface="Calibri Light"/><a:ea typeface=""/><a:cs typeface=""/>)"
           R"(<a:font script="Hans" typeface="宋体"/><a:font script="Arab" typeface="Times New Roman"/></a:majorFont>)"
           R"(<a:minorFont><a:latin typeface="Calibri"/><a:ea typeface=""/><a:cs typeface="Arial"/>)"
           R"(<a:font script="Hans" typeface="等线"/></a:minorFont></a:fontScheme></a:themeElements></a:theme>)"},
          {"word/fontTable.xml",
           "<w:fonts " + w +
               R"(><w:font w:name="宋体"><w:altName w:val="SimSun"/><w:panose1 w:val="02010600030101010101"/>)"
               R"(<w:charset w:val="86"/><w:family w:val="auto"/><w:pitch w:val="variable"/>)"
               R"(<w:sig w:usb0="00000003" w:usb1="288F0000" w:usb2="00000016" w:usb3="00000000" w:csb0="00040001" w:csb1="00000000"/></w:font></w:fonts>)"},
          {"word/header1.xml", "<w:hdr " + w + "><w:p/></w:hdr>"},
          {"word/footer1.xml", "<w:ftr " + w + "><w:p>"},
          {"docProps/core.xml",
           R"(<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties" xmlns:dc="http://purl.org/dc/elements/1.1/">)"
           R"(<dc:title>概率论</dc:title><dc:creator>Li</dc:creator><cp:revision>3</cp:revision></cp:coreProperties>)"},
      })));
  ASSERT_TRUE(package.ok()) << package.message();

  const DocumentSettings& settings = package->settings();
  EXPECT_EQ(settings.default_tab_stop, 420);
  EXPECT_TRUE(settings.even_and_odd_headers);
  EXPECT_EQ(settings.footnotes.special_ids, (std::vector<int>{-1, 0}));
  EXPECT_EQ(settings.theme_font_lang.east_asia, "zh-CN");

  const ThemeFonts& theme = package->theme_fonts();
  EXPECT_EQ(ResolveThemeFont(theme, settings.theme_font_lang, "minorHAnsi"), "Calibri");
  EXPECT_EQ(ResolveThemeFont(theme, settings.theme_font_lang, "majorAscii"), "Calibri Light");
  // An empty East Asian typeface falls back to the font for zh-CN's script.
  EXPECT_EQ(ResolveThemeFont(theme, settings.theme_font_lang, "minorEastAsia"), "等线");
  EXPECT_EQ(ResolveThemeFont(theme, settings.theme_font_lang, "majorEastAsia"), "宋体");
  EXPECT_EQ(ResolveThemeFont(theme, settings.theme_font_lang, "minorBidi"), "Arial");
  EXPECT_EQ(ResolveThemeFont(theme, {"en-US", "", "ar-SA"}, "majorBidi"), "Times New Roman");
  EXPECT_EQ(ResolveThemeFont(theme, settings.theme_font_lang, "nonsense"), "");

  const FontInfo* song = package->font_table().Find("宋体");
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->alt_name, "SimSun");
  EXPECT_EQ(song->charset, 134);
  ASSERT_TRUE(song->panose1);
  EXPECT_EQ((*song->panose1)[0], 2);
  EXPECT_EQ((*song->panose1)[3], 0);
  ASSERT_TRUE(song->signature);
  EXPECT_EQ((*song->signature)[1], 0x288F0000u);
  EXPECT_EQ(song->family, "auto");

  EXPECT_EQ(package->core_properties().title, "概率论");
  EXPECT_EQ(package->core_properties().revision, "3");

  // Headers come on request; an ill-formed footer is left out with a note.
  ASSERT_NE(package->RelatedXmlPart("rId4"), nullptr);
  EXPECT_TRUE(package->RelatedXmlPart("rId4")->child("w:hdr").child("w:p"));
  EXPECT_EQ(package->RelatedXmlPart("rId5"), nullptr);
  ASSERT_FALSE(package->diagnostics().empty());
  EXPECT_NE(package->diagnostics().back().find("word/footer1.xml"), std::string::npos);
  EXPECT_EQ(package->RelatedXmlPart("rId99"), nullptr);

  // A space that is a run's whole text survives parsing.
  EXPECT_STREQ(package->body().child("w:p").child("w:r").child("w:t").text().get(), " ");
}

// --- Namespace normalisation and values ---------------------------------------------

TEST(DocxXml, PrefixesFollowTheNamespaceNotTheFile) {
  pugi::xml_document doc;
  ASSERT_TRUE(
      ParseXmlPart(
          R"(<ns0:document xmlns:ns0="http://schemas.openxmlformats.org/wordprocessingml/2006/main")"
          R"( xmlns:w="urn:example:not-word"><ns0:body>)"
          R"(<p xmlns="http://purl.oclc.org/ooxml/wordprocessingml/main" val="1"><r/></p>)"
          R"(<w:p ns0:val="2"/></ns0:body></ns0:document>)",
          doc)
          .ok());
  pugi::xml_node body = doc.child("w:document").child("w:body");
  ASSERT_TRUE(body);
  // Default-namespace elements get the prefix; unprefixed attributes stay.
  EXPECT_TRUE(body.child("w:p").child("w:r"));
  EXPECT_STREQ(body.child("w:p").attribute("val").value(), "1");
  // A foreign namespace bound to "w" can never pass for WordprocessingML.
  pugi::xml_node foreign = body.child("w:p").next_sibling();
  EXPECT_STRNE(foreign.name(), "w:p");
  EXPECT_STREQ(foreign.attribute("w:val").value(), "2");
  EXPECT_FALSE(doc.document_element().attribute("xmlns:ns0"));
}

// Names are rewritten only where the file's prefix differs from ours, and the
// prefix lists of markup compatibility follow; parsing in place must give the
// very same tree as parsing a copy.
TEST(DocxXml, InPlaceParsingRenamesAsACopyDoes) {
  const std::string xml =
      R"(<x:document xmlns:x="http://schemas.openxmlformats.org/wordprocessingml/2006/main")"
      R"( xmlns:q="http://schemas.microsoft.com/office/word/2010/wordml")"
      R"( xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006")"
      R"( mc:Ignorable="q"><x:body><x:p q:paraId="1"><x:r><x:t xml:space="preserve"> </x:t>)"
      R"(</x:r></x:p><x:p xmlns:x="urn:example:other"><x:r/></x:p></x:body></x:document>)";
  pugi::xml_document copied;
  ASSERT_TRUE(ParseXmlPart(xml, copied).ok());
  std::string text = xml;
  pugi::xml_document in_place;
  ASSERT_TRUE(ParseXmlPartInPlace(text.data(), text.size(), in_place).ok());

  std::ostringstream from_copy, from_place;
  copied.save(from_copy, "", pugi::format_raw);
  in_place.save(from_place, "", pugi::format_raw);
  EXPECT_EQ(from_place.str(), from_copy.str());
  pugi::xml_node body = in_place.child("w:document").child("w:body");
  EXPECT_STREQ(in_place.document_element().attribute("mc:Ignorable").value(), "w14");
  EXPECT_STREQ(body.child("w:p").attribute("w14:paraId").value(), "1");
  EXPECT_STREQ(body.child("w:p").child("w:r").child("w:t").text().get(), " ");
  // Redeclared for an unknown namespace, the prefix means that one inside its
  // scope only; "x" being one of ours (Excel), it becomes a private prefix.
  EXPECT_STREQ(body.last_child().name(), "ns1:p");
  EXPECT_STREQ(body.last_child().first_child().name(), "ns1:r");
  EXPECT_STREQ(body.first_child().name(), "w:p");
}

// Trees take their memory from chunks of a few MiB that go back whole; trees
// larger than a chunk, alive together and freed in any order, must each stay
// intact and leave the next parse sound.
TEST(DocxXml, LargeTreesParseAndFreeInAnyOrder) {
  std::string xml =
      R"(<w:body xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">)";
  for (int i = 0; i < 150000; ++i) xml += "<w:p w:i=\"" + std::to_string(i) + "\"><w:r/></w:p>";
  xml += "</w:body>";
  for (int round = 0; round < 2; ++round) {
    auto first = std::make_unique<pugi::xml_document>();
    auto second = std::make_unique<pugi::xml_document>();
    ASSERT_TRUE(ParseXmlPart(xml, *first).ok());
    std::string text = xml;
    ASSERT_TRUE(ParseXmlPartInPlace(text.data(), text.size(), *second).ok());
    first.reset();  // the older tree goes first: the newer must be untouched
    pugi::xml_node body = second->child("w:body");
    EXPECT_STREQ(body.last_child().attribute("w:i").value(), "149999");
    EXPECT_EQ(std::distance(body.begin(), body.end()), 150000);
  }
}

TEST(DocxXml, BadXmlAndDtdsAreRefused) {
  pugi::xml_document doc;
  EXPECT_NE(ParseXmlPart("<a><b></a>", doc).message().find("not well-formed"), std::string::npos);
  EXPECT_NE(ParseXmlPart("<!DOCTYPE a [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><a>&e;</a>", doc)
                .message()
                .find("DTD"),
            std::string::npos);
  EXPECT_FALSE(doc.document_element());
  EXPECT_FALSE(ParseXmlPart("", doc).ok());
}

TEST(DocxXml, MeasuresInTwips) {
  const std::pair<const char*, std::optional<int>> cases[] = {
      {"720", 720},           {"-240", -240},     {"36pt", 720},
      {"12.95pt", 259},       {"1in", 1440},      {"2.54cm", 1440},
      {"10mm", 567},          {"1pc", 240},       {"abc", std::nullopt},
      {"12px", std::nullopt}, {"", std::nullopt}, {"99999999999", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    pugi::xml_document doc;
    doc.append_child("x").append_attribute("w:val") = text;
    EXPECT_EQ(TwipsAttribute(doc.child("x"), "w:val"), expected) << text;
  }
}

}  // namespace
}  // namespace tessarine::convert
