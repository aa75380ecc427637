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

// A package with `document` as its whole main part (declaration included).
std::string WritePackage(const TempDir& dir, const std::string& document,
                         const std::string& name = "in.docx") {
  return tessarine::testing::WriteZip(
      dir.File(name),
      {{"[Content_Types].xml",
        R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
        R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
        R"(<Default Extension="xml" ContentType="application/xml"/>)"
        R"(<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/></Types>)"},
       {"_rels/.rels",
        R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
        R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/></Relationships>)"},
       {"word/document.xml", document}});
}

std::string Body(const std::string& body, const std::string& declaration =
                                              R"(<?xml version="1.0" encoding="UTF-8"?>)") {
  return declaration + "<w:document" + std::string(tessarine::testing::kWordNamespaces) +
         "><w:body>" + body + "</w:body></w:document>";
}

struct Converted {
  ConvertOutcome outcome;
  std::string html;  // UTF-8
  size_t bytes = 0;
  double seconds = 0;
};

Converted Convert(const std::string& document) {
  TempDir dir;
  const std::string path = WritePackage(dir, document);
  Converted result;
  const auto start = std::chrono::steady_clock::now();
  result.outcome = ConvertToWordHtml(path, dir.File("out.htm"), {});
  result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (result.outcome.ok()) {
    const std::string bytes = ReadBytes(dir.File("out.htm"));
    result.bytes = bytes.size();
    result.html = support::DecodeText(bytes, support::EncodingAnsi);
  }
  return result;
}

bool Warned(const Converted& c, const std::string& piece) {
  for (const std::string& d : c.outcome.diagnostics) {
    if (d.find(piece) != std::string::npos) return true;
  }
  return false;
}

TEST(HostileInputTest, DeclaredGridSizesAreBoundedByWhatWordWrites) {
  const std::string row_props =
      R"(<w:trPr><w:gridBefore w:val="2147483647"/><w:gridAfter w:val="2147483647"/></w:trPr>)";
  for (const std::string& span : {"2147483647", "10000000", "-2147483648"}) {
    const std::string cell = "<w:tc><w:tcPr><w:gridSpan w:val=\"" + span +
                             "\"/></w:tcPr><w:p><w:r><w:t>cell</w:t></w:r></w:p></w:tc>";
    const Converted c = Convert(Body("<w:tbl><w:tblGrid><w:gridCol w:w=\"2000\"/></w:tblGrid>"
                                     "<w:tr>" + row_props + cell + cell + "</w:tr><w:tr>" + cell +
                                     "</w:tr></w:tbl>"));
    ASSERT_TRUE(c.outcome.ok()) << span << ": " << c.outcome.message;
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
  ASSERT_TRUE(nul.outcome.ok()) << nul.outcome.message;
  EXPECT_NE(nul.html.find("beforeafterend"), std::string::npos);
  EXPECT_TRUE(Warned(nul, "NUL"));

  // 中文测试 in GB2312, in a part that says so.
  const std::string chinese = "\xD6\xD0\xCE\xC4\xB2\xE2\xCA\xD4";
  const Converted gb = Convert(Body("<w:p><w:r><w:t>" + chinese + "</w:t></w:r></w:p>",
                                    R"(<?xml version="1.0" encoding="GB2312"?>)"));
  ASSERT_TRUE(gb.outcome.ok()) << gb.outcome.message;
  EXPECT_NE(gb.html.find("中文测试"), std::string::npos);
  EXPECT_EQ(gb.html.find("\xEF\xBF\xBD"), std::string::npos);
  EXPECT_TRUE(gb.outcome.diagnostics.empty());
  // A byte GB2312 cannot read is replaced, and said so.
  const Converted bad_gb = Convert(Body("<w:p><w:r><w:t>" + chinese + "\xFF</w:t></w:r></w:p>",
                                        R"(<?xml version="1.0" encoding='gb2312'?>)"));
  ASSERT_TRUE(bad_gb.outcome.ok()) << bad_gb.outcome.message;
  EXPECT_NE(bad_gb.html.find("中文测试"), std::string::npos);
  EXPECT_TRUE(Warned(bad_gb, "not valid gb2312"));

  const Converted bad_utf8 = Convert(Body("<w:p><w:r><w:t>ok \xC3\x28 ok</w:t></w:r></w:p>"));
  ASSERT_TRUE(bad_utf8.outcome.ok()) << bad_utf8.outcome.message;
  EXPECT_TRUE(Warned(bad_utf8, "not valid UTF-8"));
  const Converted good = Convert(Body("<w:p><w:r><w:t>中文 &amp; &#233;</w:t></w:r></w:p>"));
  EXPECT_TRUE(good.outcome.diagnostics.empty());
}

}  // namespace
}  // namespace tessarine::convert
