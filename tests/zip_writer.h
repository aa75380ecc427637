// Writes small zip packages for tests that build .docx files from XML text,
// so each fixture's content stands readable in the test itself.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tessarine::testing {

// Namespace declarations for the root element of a hand-written package
// part: every prefix the fixtures use, so a part may use any of them.
inline constexpr char kWordNamespaces[] =
    R"( xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main")"
    R"( xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships")"
    R"( xmlns:m="http://schemas.openxmlformats.org/officeDocument/2006/math")"
    R"( xmlns:wp="http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing")"
    R"( xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main")"
    R"( xmlns:pic="http://schemas.openxmlformats.org/drawingml/2006/picture")"
    R"( xmlns:wps="http://schemas.microsoft.com/office/word/2010/wordprocessingShape")"
    R"( xmlns:wpg="http://schemas.microsoft.com/office/word/2010/wordprocessingGroup")"
    R"( xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006")"
    R"( xmlns:v="urn:schemas-microsoft-com:vml")"
    R"( xmlns:o="urn:schemas-microsoft-com:office:office")"
    R"( xmlns:w10="urn:schemas-microsoft-com:office:word")";

using ZipEntries = std::vector<std::pair<std::string, std::string>>;

// Writes `entries` (name, content) in order to a zip at `path` and returns
// the path. `stored` keeps the data uncompressed, so a test can find and
// damage it. Failures are test failures.
std::string WriteZip(const std::string& path, const ZipEntries& entries, bool stored = false);

// One <Relationship> of a .rels part; `type` is the last segment of the
// officeDocument relationship type ("image", "header", ...).
std::string Rel(const std::string& id, const std::string& type, const std::string& target,
                bool external = false);

// A whole .rels part around `content` (Rel elements).
std::string Rels(const std::string& content);

// The one builder of test .docx packages: the main document and whatever
// parts a test names, each with its relationship from the main part, the
// package relationships and the content types filled in. Parts are written
// with every namespace prefix of kWordNamespaces declared on their root.
//
//   DocxBuilder().Body("<w:p>...</w:p>").Styles(styles).Numbering(numbering)
//       .Write(dir.File("in.docx"));
class DocxBuilder {
 public:
  // The main part's content inside w:body.
  DocxBuilder& Body(std::string body);
  // The whole main part as given (declaration included), instead of Body's.
  DocxBuilder& MainPart(std::string xml);
  // A part related from the main part: word/NAME holding `content` inside
  // `root`, related as `type` (the last segment of the officeDocument
  // relationship type) under `id`.
  DocxBuilder& Part(const std::string& name, const std::string& root, const std::string& content,
                    const std::string& type, const std::string& id);
  // The common parts through Part: styles.xml (rIdS), numbering.xml (rIdN),
  // settings.xml (rIdT), footnotes.xml (rIdF), endnotes.xml (rIdE).
  DocxBuilder& Styles(const std::string& content);
  DocxBuilder& Numbering(const std::string& content);
  DocxBuilder& Settings(const std::string& content);
  DocxBuilder& Footnotes(const std::string& content);
  DocxBuilder& Endnotes(const std::string& content);
  // More relationships of the main part (Rel elements).
  DocxBuilder& Relationships(const std::string& rels);
  // More Default and Override elements of [Content_Types].xml (rels, xml,
  // png, jpeg and emf are there already).
  DocxBuilder& ContentTypes(const std::string& entries);
  // The core properties part with its title.
  DocxBuilder& Title(const std::string& title);
  // Any entry, written as given; it replaces a part of the same name the
  // builder would write.
  DocxBuilder& Entry(const std::string& name, std::string bytes);

  // The package's entries by name.
  std::map<std::string, std::string> Entries() const;
  // Writes the package to `path` and returns the path; failures are test
  // failures.
  std::string Write(const std::string& path) const;

 private:
  std::string main_part_;
  std::string relationships_;
  std::string content_types_;
  std::string package_relationships_;
  std::map<std::string, std::string> parts_;    // written by the builder
  std::map<std::string, std::string> entries_;  // given verbatim
};

// A .docx of paragraphs: (0, text) is body text, (n, text) a heading of
// level n (1 or 2), (0, "") an empty paragraph.
using Blocks = std::vector<std::pair<int, std::string>>;
void WriteDocx(const std::string& path, const Blocks& blocks);
// A .docx whose body is `body` (WordprocessingML blocks), with the Normal and
// heading 1-2 styles and `styles` (more w:style elements) besides.
void WriteDocxXml(const std::string& path, const std::string& body, const std::string& styles);

}  // namespace tessarine::testing
