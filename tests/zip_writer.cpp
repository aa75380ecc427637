#include "zip_writer.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <map>

namespace tessarine::testing {

std::string WriteZip(const std::string& path, const ZipEntries& entries, bool stored) {
  int error = 0;
  zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  EXPECT_NE(zip, nullptr) << path;
  if (zip == nullptr) return path;
  for (const auto& [entry, content] : entries) {
    zip_source_t* source = zip_source_buffer(zip, content.data(), content.size(), 0);
    const zip_int64_t index = zip_file_add(zip, entry.c_str(), source, ZIP_FL_ENC_UTF_8);
    EXPECT_GE(index, 0) << entry;
    if (stored && index >= 0) {
      zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    }
  }
  EXPECT_EQ(zip_close(zip), 0) << path;
  return path;
}

std::string Rel(const std::string& id, const std::string& type, const std::string& target,
                bool external) {
  return "<Relationship Id=\"" + id +
         "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/" + type +
         "\" Target=\"" + target + "\"" + (external ? " TargetMode=\"External\"" : "") + "/>";
}

std::string Rels(const std::string& content) {
  return R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)" +
         content + "</Relationships>";
}

namespace {

std::string HeadingStyle(int level) {
  const std::string n = std::to_string(level);
  return R"(<w:style w:type="paragraph" w:styleId="Heading)" + n + R"("><w:name w:val="heading )" +
         n + R"("/><w:basedOn w:val="Normal"/><w:pPr><w:outlineLvl w:val=")" +
         std::to_string(level - 1) + R"("/></w:pPr></w:style>)";
}

}  // namespace

void WriteDocx(const std::string& path, const Blocks& blocks) {
  std::string body;
  for (const auto& [level, text] : blocks) {
    body += "<w:p>";
    if (level > 0)
      body += R"(<w:pPr><w:pStyle w:val="Heading)" + std::to_string(level) + R"("/></w:pPr>)";
    if (!text.empty()) body += R"(<w:r><w:t xml:space="preserve">)" + text + "</w:t></w:r>";
    body += "</w:p>";
  }
  WriteDocxXml(path, body, "");
}

void WriteDocxXml(const std::string& path, const std::string& body, const std::string& styles) {
  const std::map<std::string, std::string> parts = {
      {"[Content_Types].xml",
       R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
       R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
       R"(<Default Extension="xml" ContentType="application/xml"/>)"
       R"(<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>)"
       R"(</Types>)"},
      {"_rels/.rels",
       R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
       R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="word/document.xml"/>)"
       R"(</Relationships>)"},
      {"word/_rels/document.xml.rels",
       R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
       R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/>)"
       R"(</Relationships>)"},
      {"word/styles.xml",
       std::string(R"(<?xml version="1.0" encoding="UTF-8"?><w:styles)") + kWordNamespaces +
           R"(><w:style w:type="paragraph" w:default="1" w:styleId="Normal"><w:name w:val="Normal"/></w:style>)" +
           HeadingStyle(1) + HeadingStyle(2) + styles + "</w:styles>"},
      {"word/document.xml", std::string(R"(<?xml version="1.0" encoding="UTF-8"?><w:document)") +
                                kWordNamespaces + "><w:body>" + body + "</w:body></w:document>"},
  };
  WriteZip(path, {parts.begin(), parts.end()});
}

}  // namespace tessarine::testing
