// The .docx package: a zip of XML parts tied together by content types and
// relationships (Open Packaging Conventions).
//
// DocxPackage::Open reads the zip directory, the content types, every
// relationship part, the main document and the small parts a Word HTML
// writer needs up front (styles, numbering, settings, font table, theme,
// core and app properties). Other XML parts (headers, footers, notes,
// comments) are parsed on first request; binary parts (pictures) are read on
// request.
//
// Safety: the reader never follows a path out of the package. A zip entry
// whose name is absolute ("/x", "C:x"), contains a ".." segment, a backslash
// or a NUL refuses the whole package. Relationship targets are resolved as
// OPC part names against the source part's folder: "../customXml/item1.xml"
// from word/ is the part customXml/item1.xml and "/word/numbering.xml" is the
// part word/numbering.xml (Word and other producers write both forms); a
// target that climbs above the package root or names a URI scheme or drive
// on an internal relationship refuses the package. External targets
// (TargetMode="External") are kept as raw text and never opened. Every part
// read is bounded (PackageLimits): the size the zip directory states is
// checked first, and reading stops at the bound in any case, so a header that
// lies about the size cannot make the reader allocate past it.
//
// The package object is movable, not copyable, and not thread-safe (lazy
// parsing fills a cache).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "convert/docx_properties.h"
#include "support/status.h"

namespace tessarine::convert {

// Relationship types, normalised: a strict (http://purl.oclc.org/ooxml/...)
// type and the old officedocument/2006 core-properties type are reported as
// the transitional URIs below.
inline constexpr std::string_view kRelOfficeDocument =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";
inline constexpr std::string_view kRelCoreProperties =
    "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties";
inline constexpr std::string_view kRelExtendedProperties =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties";
inline constexpr std::string_view kRelStyles =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles";
inline constexpr std::string_view kRelNumbering =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/numbering";
inline constexpr std::string_view kRelSettings =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/settings";
inline constexpr std::string_view kRelFontTable =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/fontTable";
inline constexpr std::string_view kRelTheme =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/theme";
inline constexpr std::string_view kRelFootnotes =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/footnotes";
inline constexpr std::string_view kRelEndnotes =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/endnotes";
inline constexpr std::string_view kRelComments =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/comments";
inline constexpr std::string_view kRelHeader =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/header";
inline constexpr std::string_view kRelFooter =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/footer";
inline constexpr std::string_view kRelImage =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";
inline constexpr std::string_view kRelHyperlink =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/hyperlink";
inline constexpr std::string_view kRelOleObject =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/oleObject";
inline constexpr std::string_view kRelPackage =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/package";
inline constexpr std::string_view kRelChart =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/chart";
inline constexpr std::string_view kRelAltChunk =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/aFChunk";
inline constexpr std::string_view kRelWebSettings =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/webSettings";
inline constexpr std::string_view kRelCustomXml =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/customXml";

// A strict or legacy relationship type as the transitional URI; other types
// unchanged.
std::string NormalizeRelationshipType(std::string_view type);

struct Relationship {
  std::string id;
  std::string type;    // normalised, see above
  std::string target;  // internal: a part name ("word/media/image1.png"); external: raw URL
  bool external = false;
  bool operator==(const Relationship&) const = default;
};

// [Content_Types].xml.
struct ContentTypes {
  std::map<std::string, std::string> defaults;   // lower-case extension -> type
  std::map<std::string, std::string> overrides;  // part name (no leading "/") -> type
  // Override by part name (compared case-insensitively, as OPC says), else
  // Default by extension; empty when neither applies.
  std::string Of(std::string_view part_name) const;
  bool operator==(const ContentTypes&) const = default;
};

// Bounds on what a package may make the reader allocate, and how its body
// is read.
struct PackageLimits {
  std::uint64_t max_part_bytes = 512ull << 20;    // one decompressed part
  std::uint64_t max_total_bytes = 2048ull << 20;  // all parts read, together
  std::uint64_t max_entries = 100000;             // zip directory entries
  // A main document part larger than `whole_body_bytes` has its body parsed
  // a stretch of about `body_piece_bytes` at a time (see ForEachBodyPiece),
  // so that its whole tree, several times the size of the text, never exists
  // at once. A smaller part, whose tree is no burden, is parsed whole, which
  // is a little faster; so is every part when `body_piece_bytes` is zero.
  std::uint64_t whole_body_bytes = 16ull << 20;
  std::uint64_t body_piece_bytes = 2ull << 20;
  // Threads that may read a body in pieces: with two or more, Open checks
  // two stretches at a time, and ForEachBodyPiece parses each stretch on a
  // second thread while the one before it is visited. What is read is the
  // same either way.
  unsigned threads = 1;
};

class DocxPackage {
 public:
  // Opens the .docx at `path`. Failure messages (English, user-readable; the
  // caller prefixes "Open:") say which of these it is:
  //   the file cannot be read; it is password-protected (an OLE compound file
  //   holding an encrypted package) or an older Word (.doc) file (an OLE
  //   compound file without one); it is not a zip package; the zip is damaged
  //   or truncated (a bad directory, a checksum error in a part read);
  //   it is a zip but not a Word document (no officeDocument relationship to a
  //   wordprocessingml main part); the main document part is not well-formed
  //   XML or declares a DTD; an unsafe entry name or relationship target; a
  //   part larger than the limit.
  static support::Result<DocxPackage> Open(const std::string& path,
                                           const PackageLimits& limits = {});

  DocxPackage(DocxPackage&&) noexcept;
  DocxPackage& operator=(DocxPackage&&) noexcept;
  ~DocxPackage();

  // --- Main document -------------------------------------------------------
  const std::string& main_part_name() const;  // usually "word/document.xml"
  // The whole tree. For a body read in pieces it is parsed on the first call
  // and kept, which costs the memory the pieces save: writers use
  // ForEachBodyPiece and body_outline() instead.
  const pugi::xml_document& main_document() const;
  // `w:document/w:body`; never empty after a successful Open.
  pugi::xml_node body() const;
  // The body's top-level children in order, one stretch at a time: `visit`
  // gets the children [first, end) of a w:body (an empty `end`: to the last
  // child) and returns false to stop. A body read whole comes as one
  // stretch. A large one is parsed stretch by stretch into a tree that lives
  // only for that call, together with its neighbours up to the next element
  // that is not a bookmark, permission, comment-range or proofing mark on
  // each side, so that a paragraph's siblings are what they are in the whole
  // body. Every stretch was checked by Open; an error (the message for the
  // user) means one could not be parsed again, for want of memory.
  support::Status ForEachBodyPiece(
      const std::function<bool(pugi::xml_node first, pugi::xml_node end)>& visit) const;
  // A w:body with what must be known before the body is written: the
  // top-level children that hold a w:sectPr (the paragraphs that end
  // sections, the body's own w:sectPr), in order and as they stand in the
  // body. body() itself when the body is read whole.
  pugi::xml_node body_outline() const;
  // The main document part's size in bytes as read, a measure of how much
  // output a writer should expect.
  size_t main_document_size() const;
  // The threads its body may be read with (PackageLimits::threads); a
  // writer may keep as many busy.
  unsigned threads() const;

  // --- Parts the main document points at (null when absent or unreadable;
  // an unreadable one is reported in diagnostics()) ------------------------
  const pugi::xml_document* styles_part() const;
  const pugi::xml_document* numbering_part() const;
  const pugi::xml_document* settings_part() const;
  const pugi::xml_document* font_table_part() const;
  const pugi::xml_document* theme_part() const;
  const pugi::xml_document* footnotes_part() const;
  const pugi::xml_document* endnotes_part() const;
  const pugi::xml_document* comments_part() const;

  // The part named by the main document's relationship `id` (a header, a
  // footer ...), parsed on first use; null when the id is unknown, external or
  // the part is missing or not well-formed.
  const pugi::xml_document* RelatedXmlPart(std::string_view id) const;

  // Any XML part by name ("word/header1.xml"), parsed on first use and kept;
  // null when missing, too large or not well-formed (see diagnostics()).
  const pugi::xml_document* XmlPart(std::string_view part_name) const;
  // The raw bytes of a part (pictures, embedded objects), bounded like every
  // read; an error names the part and the reason.
  support::Result<std::string> BinaryPart(std::string_view part_name) const;
  bool HasPart(std::string_view part_name) const;
  // The decompressed size the zip directory states for a part (reads hold
  // the part to it); 0 when missing or not stated.
  std::uint64_t StatedPartSize(std::string_view part_name) const;
  // The package file's own size in bytes.
  std::uint64_t package_size() const;
  // All part names in the zip directory order (folder entries left out).
  std::vector<std::string> PartNames() const;

  // --- Relationships and content types ------------------------------------
  // The relationships whose source is `part_name`; "" for the package's own
  // (_rels/.rels). Empty when the part has no relationship part.
  const std::vector<Relationship>& Relationships(std::string_view part_name) const;
  // One relationship of a part by id; null when unknown.
  const Relationship* FindRelationship(std::string_view part_name, std::string_view id) const;
  // Relationship of the main document by id; null when unknown.
  const Relationship* MainRelationship(std::string_view id) const;
  const ContentTypes& content_types() const;

  // --- Parsed small parts (defaults when the part is absent) --------------
  const CoreProperties& core_properties() const;
  const AppProperties& app_properties() const;
  const DocumentSettings& settings() const;
  const ThemeFonts& theme_fonts() const;
  const FontTable& font_table() const;

  // Content oddities met so far that did not stop the reading (a styles part
  // that is not well-formed, a missing related part ...), in the order met.
  const std::vector<std::string>& diagnostics() const;

 private:
  struct Impl;
  explicit DocxPackage(std::unique_ptr<Impl> impl);
  static support::Result<DocxPackage> OpenPackage(const std::string& path,
                                                  const PackageLimits& limits);
  std::unique_ptr<Impl> impl_;
};

}  // namespace tessarine::convert
