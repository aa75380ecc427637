// Documents built to hurt: counts that claim far more than the document
// holds, attribute values no word processor writes, text that is not what its
// encoding says. Each converts with bounded work and output, or fails with the
// reason; no text is dropped without a warning.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/conversion.h"
#include "support/text_file.h"
#include "test_support.h"
#include "zip_writer.h"

namespace tessarine::convert {
namespace {

namespace fs = std::filesystem;
using tessarine::testing::ReadBytes;
using tessarine::testing::TempDir;

// A package with `document` as its whole main part (declaration included)
// and `more` parts after it.
std::string WritePackage(const TempDir& dir, const std::string& document,
                         const std::string& name = "in.docx",
                         const tessarine::testing::ZipEntries& more = {}) {
  tessarine::testing::DocxBuilder builder;
  builder.MainPart(document);
  for (const auto& [entry, bytes] : more) builder.Entry(entry, bytes);
  return builder.Write(dir.File(name));
}

std::string Body(const std::string& body,
                 const std::string& declaration = R"(<?xml version="1.0" encoding="UTF-8"?>)") {
  return declaration + "<w:document" + std::string(tessarine::testing::kWordNamespaces) +
         "><w:body>" + body + "</w:body></w:document>";
}

struct Converted {
  ConvertOutcome outcome;
  std::string html;  // UTF-8
  size_t bytes = 0;
  double seconds = 0;
  int pictures = 0;  // files written to the companion folder
};

Converted ConvertPackage(const TempDir& dir, const std::string& path) {
  Converted result;
  const auto start = std::chrono::steady_clock::now();
  result.outcome = ConvertToWordHtml(path, dir.File("out.htm"), {});
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir.path() / "out.files", ec)) {
    if (entry.path().filename().string().starts_with("image")) ++result.pictures;
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (result.outcome.ok()) {
    const std::string bytes = ReadBytes(dir.File("out.htm"));
    result.bytes = bytes.size();
    result.html = support::DecodeText(bytes, support::EncodingAnsi);
  }
  return result;
}

Converted Convert(const std::string& document) {
  TempDir dir;
  return ConvertPackage(dir, WritePackage(dir, document));
}

bool Warned(const Converted& c, const std::string& piece) {
  for (const support::Diagnostic& d : c.outcome.diagnostics) {
    if (d.message.find(piece) != std::string::npos) return true;
  }
  return false;
}

TEST(HostileInputTest, DeclaredGridSizesAreBoundedByWhatWordWrites) {
  const std::string row_props =
      R"(<w:trPr><w:gridBefore w:val="2147483647"/><w:gridAfter w:val="2147483647"/></w:trPr>)";
  for (const std::string span : {"2147483647", "10000000", "-2147483648"}) {
    const std::string cell = "<w:tc><w:tcPr><w:gridSpan w:val=\"" + span +
                             "\"/></w:tcPr><w:p><w:r><w:t>cell</w:t></w:r></w:p></w:tc>";
    const Converted c =
        Convert(Body("<w:tbl><w:tblGrid><w:gridCol w:w=\"2000\"/></w:tblGrid>"
                     "<w:tr>" +
                     row_props + cell + cell + "</w:tr><w:tr>" + cell + "</w:tr></w:tbl>"));
    ASSERT_TRUE(c.outcome.ok()) << span << ": " << c.outcome.message();
    EXPECT_LT(c.bytes, 64u << 10) << span;
    EXPECT_LT(c.seconds, 2.0) << span;
    EXPECT_NE(c.html.find("cell"), std::string::npos);
  }
}

// Text is kept, or its loss is reported: a NUL reference costs only the NUL,
// a legacy character set is decoded, and bytes that had to be replaced are
// reported.
TEST(HostileInputTest, TextIsKeptOrItsLossReported) {
  const Converted nul = Convert(Body("<w:p><w:r><w:t>before&#0;after&#x00;end</w:t></w:r></w:p>"));
  ASSERT_TRUE(nul.outcome.ok()) << nul.outcome.message();
  EXPECT_NE(nul.html.find("beforeafterend"), std::string::npos);
  EXPECT_TRUE(Warned(nul, "NUL"));

  // 中文测试 in GB2312, in a part that says so.
  const std::string chinese = "\xD6\xD0\xCE\xC4\xB2\xE2\xCA\xD4";
  const Converted gb = Convert(Body("<w:p><w:r><w:t>" + chinese + "</w:t></w:r></w:p>",
                                    R"(<?xml version="1.0" encoding="GB2312"?>)"));
  ASSERT_TRUE(gb.outcome.ok()) << gb.outcome.message();
  EXPECT_NE(gb.html.find("中文测试"), std::string::npos);
  EXPECT_EQ(gb.html.find("\xEF\xBF\xBD"), std::string::npos);
  EXPECT_TRUE(gb.outcome.diagnostics.empty());
  // A byte GB2312 cannot read is replaced, and said so.
  const Converted bad_gb = Convert(Body("<w:p><w:r><w:t>" + chinese + "\xFF</w:t></w:r></w:p>",
                                        R"(<?xml version="1.0" encoding='gb2312'?>)"));
  ASSERT_TRUE(bad_gb.outcome.ok()) << bad_gb.outcome.message();
  EXPECT_NE(bad_gb.html.find("中文测试"), std::string::npos);
  EXPECT_TRUE(Warned(bad_gb, "not valid gb2312"));

  const Converted bad_utf8 = Convert(Body("<w:p><w:r><w:t>ok \xC3\x28 ok</w:t></w:r></w:p>"));
  ASSERT_TRUE(bad_utf8.outcome.ok()) << bad_utf8.outcome.message();
  EXPECT_TRUE(Warned(bad_utf8, "not valid UTF-8"));
  const Converted good = Convert(Body("<w:p><w:r><w:t>中文 &amp; &#233;</w:t></w:r></w:p>"));
  EXPECT_TRUE(good.outcome.diagnostics.empty());
}

// Attribute values Word never writes long are left out at reading, so the
// megabytes of one value cost no later pass its length again.
TEST(HostileInputTest, OversizedAttributeValuesAreLeftOut) {
  const std::string color(4 << 20, 'A');
  const std::string font(1 << 20, 'F');
  const Converted c = Convert(Body(
      "<w:p><w:pPr><w:pStyle w:val=\"" + font + "\"/></w:pPr><w:r><w:rPr><w:rFonts w:ascii=\"" +
      font + "\"/><w:color w:val=\"" + color + "\"/></w:rPr><w:t>kept</w:t></w:r></w:p>"));
  ASSERT_TRUE(c.outcome.ok()) << c.outcome.message();
  EXPECT_NE(c.html.find("kept"), std::string::npos);
  EXPECT_LT(c.bytes, 64u << 10);
  EXPECT_TRUE(Warned(c, "3 attribute value(s)"));
}

// The zip directory's entries over one compressed stream: `copies` pictures
// of `bytes` bytes each that the package holds once.
std::string OverlappingPictures(const TempDir& dir, int copies, size_t bytes) {
  std::string rels;
  for (int i = 0; i < copies; ++i) {
    rels += "<Relationship Id=\"p" + std::to_string(i) +
            "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
            "image\" Target=\"media/p" +
            std::to_string(100 + i) + ".png\"/>";
  }
  const std::string path = WritePackage(
      dir, Body("<w:p><w:r><w:t>pictures</w:t></w:r></w:p>"), "in.docx",
      {{"word/_rels/document.xml.rels",
        R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)" +
            rels + "</Relationships>"},
       {"word/media/p100.png", std::string(bytes, '\0')}});
  std::string zip = ReadBytes(path);
  const auto u16 = [&](size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(zip[at]) |
                                 static_cast<unsigned char>(zip[at + 1]) << 8);
  };
  const auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  const auto put16 = [](std::string& to, size_t at, uint32_t v) {
    to[at] = static_cast<char>(v & 0xFF);
    to[at + 1] = static_cast<char>(v >> 8 & 0xFF);
  };
  const size_t end = zip.rfind(std::string("PK\x05\x06", 4));
  const size_t directory = u32(end + 16);
  std::string records = zip.substr(directory, end - directory);
  // The last record is the picture's; each copy differs only in its name.
  size_t last = 0;
  for (size_t at = 0; at < records.size();
       at += 46 + u16(directory + at + 28) + u16(directory + at + 30) + u16(directory + at + 32)) {
    last = at;
  }
  const std::string picture = records.substr(last);
  for (int i = 1; i < copies; ++i) {
    std::string copy = picture;
    const std::string name = "word/media/p" + std::to_string(100 + i) + ".png";
    copy.replace(46, name.size(), name);  // the same length as "word/media/p100.png"
    records += copy;
  }
  std::string tail = zip.substr(end, 22);
  const uint32_t entries = u16(end + 10) + static_cast<uint32_t>(copies - 1);
  put16(tail, 8, entries);
  put16(tail, 10, entries);
  const auto size = static_cast<uint32_t>(records.size());
  put16(tail, 12, size & 0xFFFF);
  put16(tail, 14, size >> 16);
  tessarine::testing::WriteBytes(path, zip.substr(0, directory) + records + tail);
  return path;
}

// A small package whose picture entries inflate to hundreds of megabytes
// fails before a picture is written, instead of filling the disk.
TEST(HostileInputTest, PicturesThatInflateFarPastThePackageFailEarly) {
  TempDir dir;
  const std::string path = OverlappingPictures(dir, 40, 10 << 20);
  ASSERT_LT(fs::file_size(path), 64u << 10);
  const Converted c = ConvertPackage(dir, path);
  ASSERT_FALSE(c.outcome.ok());
  EXPECT_EQ(c.outcome.status.code(), support::StatusCode::kSaveFailed) << c.outcome.message();
  EXPECT_NE(c.outcome.message().find("400 MiB"), std::string::npos) << c.outcome.message();
  EXPECT_EQ(c.pictures, 0);
  EXPECT_LT(c.seconds, 2.0);

  // Five of them stay within the budget: the document converts.
  TempDir small;
  const Converted five = ConvertPackage(small, OverlappingPictures(small, 5, 10 << 20));
  ASSERT_TRUE(five.outcome.ok()) << five.outcome.message();
}

}  // namespace
}  // namespace tessarine::convert
