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
  DocxBuilder()
      .Body(body)
      .Styles(
          R"(<w:style w:type="paragraph" w:default="1" w:styleId="Normal"><w:name w:val="Normal"/></w:style>)" +
          HeadingStyle(1) + HeadingStyle(2) + styles)
      .Write(path);
}

namespace {

constexpr char kDeclaration[] = R"(<?xml version="1.0" encoding="UTF-8"?>)";

std::string Element(const std::string& root, const std::string& content) {
  return kDeclaration + ("<" + root) + kWordNamespaces + ">" + content + "</" + root + ">";
}

}  // namespace

DocxBuilder& DocxBuilder::Body(std::string body) {
  return MainPart(Element("w:document", "<w:body>" + body + "</w:body>"));
}

DocxBuilder& DocxBuilder::MainPart(std::string xml) {
  main_part_ = std::move(xml);
  return *this;
}

DocxBuilder& DocxBuilder::Part(const std::string& name, const std::string& root,
                               const std::string& content, const std::string& type,
                               const std::string& id) {
  parts_["word/" + name] = Element(root, content);
  relationships_ += Rel(id, type, name);
  return *this;
}

DocxBuilder& DocxBuilder::Styles(const std::string& content) {
  return Part("styles.xml", "w:styles", content, "styles", "rIdS");
}
DocxBuilder& DocxBuilder::Numbering(const std::string& content) {
  return Part("numbering.xml", "w:numbering", content, "numbering", "rIdN");
}
DocxBuilder& DocxBuilder::Settings(const std::string& content) {
  return Part("settings.xml", "w:settings", content, "settings", "rIdT");
}
DocxBuilder& DocxBuilder::Footnotes(const std::string& content) {
  return Part("footnotes.xml", "w:footnotes", content, "footnotes", "rIdF");
}
DocxBuilder& DocxBuilder::Endnotes(const std::string& content) {
  return Part("endnotes.xml", "w:endnotes", content, "endnotes", "rIdE");
}

DocxBuilder& DocxBuilder::Relationships(const std::string& rels) {
  relationships_ += rels;
  return *this;
}

DocxBuilder& DocxBuilder::ContentTypes(const std::string& entries) {
  content_types_ += entries;
  return *this;
}

DocxBuilder& DocxBuilder::Title(const std::string& title) {
  parts_["docProps/core.xml"] =
      kDeclaration +
      std::string(
          R"(<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties" xmlns:dc="http://purl.org/dc/elements/1.1/">)") +
      "<dc:title>" + title + "</dc:title></cp:coreProperties>";
  package_relationships_ =
      R"(<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties" Target="docProps/core.xml"/>)";
  return *this;
}

DocxBuilder& DocxBuilder::Entry(const std::string& name, std::string bytes) {
  entries_[name] = std::move(bytes);
  return *this;
}

std::map<std::string, std::string> DocxBuilder::Entries() const {
  std::map<std::string, std::string> entries = parts_;
  entries["[Content_Types].xml"] =
      kDeclaration +
      std::string(
          R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
          R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
          R"(<Default Extension="xml" ContentType="application/xml"/>)"
          R"(<Default Extension="png" ContentType="image/png"/><Default Extension="jpeg" ContentType="image/jpeg"/>)"
          R"(<Default Extension="emf" ContentType="image/x-emf"/>)"
          R"(<Override PartName="/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"/>)") +
      content_types_ + "</Types>";
  entries["_rels/.rels"] =
      Rels(Rel("rId1", "officeDocument", "word/document.xml") + package_relationships_);
  entries["word/_rels/document.xml.rels"] = Rels(relationships_);
  entries["word/document.xml"] =
      main_part_.empty() ? Element("w:document", "<w:body/>") : main_part_;
  for (const auto& [name, bytes] : entries_) entries[name] = bytes;
  return entries;
}

std::string DocxBuilder::Write(const std::string& path) const {
  const std::map<std::string, std::string> entries = Entries();
  return WriteZip(path, {entries.begin(), entries.end()});
}

}  // namespace tessarine::testing
