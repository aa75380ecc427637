#include "convert/docx_package.h"

#include <zip.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <unordered_map>

#include "convert/docx_xml.h"

namespace tessarine::convert {
namespace {

using support::Result;
using support::Status;

constexpr std::string_view kStrictRelationshipPrefix =
    "http://purl.oclc.org/ooxml/officeDocument/relationships/";
constexpr std::string_view kTransitionalRelationshipPrefix =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

constexpr std::string_view kContentTypesPart = "[Content_Types].xml";

// Deflate cannot expand data by more than this factor (its best case is
// about 1032:1), which bounds what an entry's compressed size can inflate to.
constexpr std::uint64_t kMaxDeflateRatio = 1032;

// The signature of an OLE compound file: a Word 97-2003 .doc, or the
// container in which Office stores a password-protected .docx.
constexpr unsigned char kOleSignature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string Quoted(std::string_view name) {
  return "\"" + std::string(name) + "\"";
}

// What the first bytes of a file that is not a zip say it is.
enum class Signature { kZip, kOle, kXml, kRtf, kEmpty, kOther };

// The encrypted-package stream names as they appear (UTF-16LE) in an OLE
// directory; poi__bug53475-password-is-pass.docx holds both.
bool ContainsUtf16Name(const std::string& bytes, std::string_view ascii_name) {
  std::string needle;
  for (char c : ascii_name) {
    needle += c;
    needle += '\0';
  }
  return bytes.find(needle) != std::string::npos;
}

// Reads at most `limit` bytes of a file.
bool ReadHead(const std::string& path, size_t limit, std::string& out, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = std::strerror(errno);
    return false;
  }
  out.resize(limit);
  in.read(out.data(), static_cast<std::streamsize>(limit));
  out.resize(static_cast<size_t>(in.gcount()));
  if (in.bad()) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

Signature Sniff(std::string_view head) {
  if (head.empty()) return Signature::kEmpty;
  if (head.size() >= 4 && head.substr(0, 2) == "PK") return Signature::kZip;
  if (head.size() >= sizeof kOleSignature &&
      std::memcmp(head.data(), kOleSignature, sizeof kOleSignature) == 0) {
    return Signature::kOle;
  }
  std::string_view text = head;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  while (!text.empty() && (text.front() == ' ' || text.front() == '\r' || text.front() == '\n' ||
                           text.front() == '\t')) {
    text.remove_prefix(1);
  }
  if (text.substr(0, 5) == "{\\rtf") return Signature::kRtf;
  if (text.substr(0, 1) == "<") return Signature::kXml;
  return Signature::kOther;
}

// A zip entry name that cannot be a part of this package: absolute, with a
// drive, a backslash, a NUL or a ".." segment. Such names are how archives
// write outside their folder when unpacked; a Word document never has them.
bool IsUnsafeEntryName(std::string_view name) {
  if (name.empty()) return true;
  if (name.front() == '/') return true;
  if (name.find('\\') != std::string_view::npos) return true;
  if (name.find('\0') != std::string_view::npos) return true;
  if (name.size() >= 2 && name[1] == ':') return true;
  size_t pos = 0;
  while (pos <= name.size()) {
    size_t end = name.find('/', pos);
    if (end == std::string_view::npos) end = name.size();
    if (name.substr(pos, end - pos) == "..") return true;
    pos = end + 1;
  }
  return false;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
        HexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The folder of a part name, with a trailing "/" ("" for a part at the root).
std::string FolderOf(std::string_view part_name) {
  size_t slash = part_name.rfind('/');
  return slash == std::string_view::npos ? std::string()
                                         : std::string(part_name.substr(0, slash + 1));
}

// Resolves an internal relationship target against the source part's folder
// (OPC: "/x" is relative to the package root). Returns false, with the
// reason, for a target that leaves the package.
bool ResolveTarget(std::string_view source_part, std::string_view raw_target, std::string& part,
                   std::string& reason) {
  std::string target = PercentDecode(raw_target);
  std::replace(target.begin(), target.end(), '\\', '/');
  if (target.find('\0') != std::string::npos) {
    reason = "contains a NUL character";
    return false;
  }
  size_t fragment = target.find('#');
  if (fragment != std::string::npos) target.resize(fragment);
  size_t colon = target.find(':');
  if (colon != std::string::npos && target.find('/') > colon) {
    reason = "names a location outside the package";
    return false;
  }
  std::string joined =
      (!target.empty() && target.front() == '/') ? target : FolderOf(source_part) + target;
  std::vector<std::string> segments;
  size_t pos = 0;
  while (pos <= joined.size()) {
    size_t end = joined.find('/', pos);
    if (end == std::string::npos) end = joined.size();
    std::string segment = joined.substr(pos, end - pos);
    if (segment == "..") {
      if (segments.empty()) {
        reason = "climbs out of the package";
        return false;
      }
      segments.pop_back();
    } else if (!segment.empty() && segment != ".") {
      segments.push_back(std::move(segment));
    }
    pos = end + 1;
  }
  if (segments.empty()) {
    reason = "is empty";
    return false;
  }
  part.clear();
  for (const std::string& segment : segments) {
    if (!part.empty()) part += '/';
    part += segment;
  }
  return true;
}

// "word/_rels/document.xml.rels" -> "word/document.xml"; "_rels/.rels" -> "".
// False for a name that is not a relationship part.
bool SourceOfRelationshipPart(std::string_view name, std::string& source) {
  if (name.size() < 5 || Lower(name.substr(name.size() - 5)) != ".rels") return false;
  size_t slash = name.rfind('/');
  std::string_view folder =
      slash == std::string_view::npos ? std::string_view() : name.substr(0, slash);
  std::string_view file = slash == std::string_view::npos ? name : name.substr(slash + 1);
  std::string_view rels_folder = folder;
  size_t parent_slash = folder.rfind('/');
  std::string_view parent;
  if (parent_slash != std::string_view::npos) {
    rels_folder = folder.substr(parent_slash + 1);
    parent = folder.substr(0, parent_slash + 1);
  }
  if (rels_folder != "_rels") return false;
  std::string_view base = file.substr(0, file.size() - 5);
  source = std::string(parent) + std::string(base);
  return true;
}

const std::vector<Relationship>& EmptyRelationships() {
  static const std::vector<Relationship> kEmpty;
  return kEmpty;
}

// Main parts of documents, templates and macro-enabled documents name
// wordprocessingml or ms-word in their type; a spreadsheet or presentation
// renamed to .docx does not.
bool IsWordContentType(std::string_view type) {
  return type.find("wordprocessingml") != std::string_view::npos ||
         type.find("ms-word") != std::string_view::npos;
}

}  // namespace

std::string NormalizeRelationshipType(std::string_view type) {
  if (type.substr(0, kStrictRelationshipPrefix.size()) == kStrictRelationshipPrefix) {
    std::string_view local = type.substr(kStrictRelationshipPrefix.size());
    if (local == "extendedProperties") local = "extended-properties";
    if (local == "customProperties") local = "custom-properties";
    return std::string(kTransitionalRelationshipPrefix) + std::string(local);
  }
  // Early Office 2007 files used this spelling for core properties.
  if (type ==
      "http://schemas.openxmlformats.org/officedocument/2006/relationships/metadata/"
      "core-properties") {
    return std::string(kRelCoreProperties);
  }
  return std::string(type);
}

std::string ContentTypes::Of(std::string_view part_name) const {
  while (!part_name.empty() && part_name.front() == '/') part_name.remove_prefix(1);
  std::string lower = Lower(part_name);
  for (const auto& [name, type] : overrides) {
    if (Lower(name) == lower) return type;
  }
  size_t dot = lower.rfind('.');
  size_t slash = lower.rfind('/');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    auto it = defaults.find(lower.substr(dot + 1));
    if (it != defaults.end()) return it->second;
  }
  return {};
}

namespace {

// A part's bytes in one allocation that is not zero-filled first: clearing a
// part of many megabytes only to inflate over it cost as much as the inflating.
struct PartBytes {
  std::unique_ptr<char[]> data;
  size_t size = 0;
};

// One stretch of a body read in pieces, parsed: its text (the tree points
// into it), the tree, and the stretch's own children [own, stop) in it.
struct ParsedStretch {
  std::unique_ptr<char[]> text;
  std::unique_ptr<pugi::xml_document> doc = std::make_unique<pugi::xml_document>();
  pugi::xml_node own, stop;
  Status status = Status::Ok();
};

}  // namespace

struct DocxPackage::Impl {
  ~Impl() {
    if (zip != nullptr) zip_discard(zip);
  }

  zip_t* zip = nullptr;
  PackageLimits limits;
  std::vector<std::string> part_names;                             // zip directory order
  std::unordered_map<std::string, zip_uint64_t> index;             // lower-case name -> entry
  std::map<std::string, std::vector<Relationship>> relationships;  // by source part
  ContentTypes content_types;
  std::string main_part_name;
  // The main document is parsed where its text stands (it is by far the
  // largest part), so the text lives as long as the tree.
  PartBytes main_document_text;
  mutable pugi::xml_document main_document;
  // A large body read in pieces. The text above then stays as read: each
  // stretch is parsed from a copy of the text around the body (the root's
  // start tag, with its namespace declarations, and the end) and of the
  // stretch's own blocks.
  struct Pieces {
    BodyLayout layout;
    std::vector<std::pair<size_t, size_t>> stretches;  // block ranges [first, end)
    PartBytes outline_text;
    pugi::xml_document outline;
  };
  std::unique_ptr<Pieces> pieces;
  mutable PartBytes whole_text;  // what main_document is parsed from, in pieces mode
  mutable bool whole_parsed = false;
  // Role parts of the main document, as part names (empty when absent).
  std::string styles, numbering, settings_name, font_table, theme, footnotes, endnotes, comments;
  CoreProperties core;
  AppProperties app;
  DocumentSettings settings;
  ThemeFonts theme_fonts;
  FontTable fonts;

  // Filled on demand from const accessors.
  struct ParsedPart {
    PartBytes text;  // parsed in place: the tree points into it
    pugi::xml_document doc;
  };
  mutable std::map<std::string, std::unique_ptr<ParsedPart>> xml_cache;
  // Parts that could not be read or parsed, with whether the zip entry
  // itself is damaged.
  mutable std::map<std::string, bool> xml_failed;
  mutable std::uint64_t total_read = 0;
  std::uint64_t file_size = 0;
  mutable std::vector<std::string> diagnostics;

  const zip_uint64_t* Locate(std::string_view part_name) const {
    auto it = index.find(Lower(part_name));
    return it == index.end() ? nullptr : &it->second;
  }

  // The bytes of one entry, bounded by the per-part and total limits whatever
  // the zip directory claims. `corrupt` tells a damaged entry (checksum,
  // inflate error) from a missing one or a limit.
  Result<std::string> Read(std::string_view part_name, bool* corrupt = nullptr) const {
    Result<PartBytes> bytes = ReadBytes(part_name, corrupt);
    if (!bytes.ok()) return bytes.status();
    return std::string(bytes->data.get(), bytes->size);
  }

  Result<PartBytes> ReadBytes(std::string_view part_name, bool* corrupt = nullptr) const {
    if (corrupt != nullptr) *corrupt = false;
    const zip_uint64_t* entry = Locate(part_name);
    if (entry == nullptr)
      return Status::Error(support::StatusCode::kInvalidInput,
                           "the package has no part " + Quoted(part_name));
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(zip, *entry, 0, &stat) != 0) {
      if (corrupt != nullptr) *corrupt = true;
      return Status::Error(support::StatusCode::kInvalidInput,
                           "the package is damaged: part " + Quoted(part_name) +
                               " cannot be read (" + zip_strerror(zip) + ")");
    }
    const std::uint64_t remaining_total =
        limits.max_total_bytes > total_read ? limits.max_total_bytes - total_read : 0;
    const std::uint64_t bound = std::min(limits.max_part_bytes, remaining_total);
    auto too_large = [&]() {
      if (bound < limits.max_part_bytes) {
        return Status::Error(
            support::StatusCode::kResourceLimit,
            "part " + Quoted(part_name) + " would take the package's decompressed size past " +
                std::to_string(limits.max_total_bytes >> 20) + " MiB, larger than the limit");
      }
      return Status::Error(support::StatusCode::kResourceLimit,
                           "part " + Quoted(part_name) + " is larger than the " +
                               std::to_string(limits.max_part_bytes >> 20) +
                               " MiB a part may have");
    };
    if ((stat.valid & ZIP_STAT_SIZE) != 0 && stat.size > bound) return too_large();
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 && stat.encryption_method != ZIP_EM_NONE) {
      return Status::Error(
          support::StatusCode::kInvalidInput,
          "part " + Quoted(part_name) + " is encrypted; the document is password-protected");
    }
    zip_file_t* file = zip_fopen_index(zip, *entry, 0);
    if (file == nullptr) {
      if (corrupt != nullptr) *corrupt = true;
      return Status::Error(support::StatusCode::kInvalidInput,
                           "the package is damaged: part " + Quoted(part_name) +
                               " cannot be opened (" + zip_strerror(zip) + ")");
    }
    PartBytes data;
    // The stated size sizes the one allocation, but never beyond what the
    // compressed data could inflate to (deflate stays under about 1032:1), so
    // a header that lies cannot make the reader allocate more than the bound
    // or the entry's real capacity; the loop below is what holds the bound.
    const std::uint64_t stated = (stat.valid & ZIP_STAT_SIZE) != 0 ? stat.size : 0;
    const std::uint64_t inflatable = (stat.valid & ZIP_STAT_COMP_SIZE) != 0
                                         ? stat.comp_size * kMaxDeflateRatio + (64u << 10)
                                         : std::uint64_t{16} << 20;
    std::uint64_t capacity = std::min({stated, inflatable, bound}) + 1;
    // Read straight into the text: no bounce buffer, no regrowth when the
    // stated size is true. One byte more than expected shows a longer entry.
    size_t filled = 0;
    size_t allocated = 0;
    for (;;) {
      if (filled == allocated) {
        if (allocated >= capacity) {
          capacity =
              std::min<std::uint64_t>(std::max<std::uint64_t>(capacity * 2, 64u << 10), bound + 1);
        }
        auto larger = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(capacity));
        if (filled > 0) std::memcpy(larger.get(), data.data.get(), filled);
        data.data = std::move(larger);
        allocated = static_cast<size_t>(capacity);
      }
      zip_int64_t got = zip_fread(file, data.data.get() + filled, allocated - filled);
      if (got < 0) {
        std::string reason = zip_file_strerror(file);
        zip_fclose(file);
        if (corrupt != nullptr) *corrupt = true;
        return Status::Error(support::StatusCode::kInvalidInput,
                             "the package is damaged or truncated: part " + Quoted(part_name) +
                                 " cannot be read (" + reason + ")");
      }
      if (got == 0) break;
      filled += static_cast<size_t>(got);
      if (filled > bound) {
        zip_fclose(file);
        return too_large();
      }
    }
    data.size = filled;
    zip_fclose(file);
    if ((stat.valid & ZIP_STAT_SIZE) != 0 && data.size != stat.size) {
      if (corrupt != nullptr) *corrupt = true;
      return Status::Error(support::StatusCode::kInvalidInput,
                           "the package is damaged: part " + Quoted(part_name) +
                               " is not the size its directory entry states");
    }
    total_read += data.size;
    return data;
  }

  // Makes an XML part's text readable whole (see RepairXmlText).
  void Repair(PartBytes& text, std::string_view part_name) const {
    std::optional<std::string> repaired =
        RepairXmlText(std::string_view(text.data.get(), text.size), part_name, diagnostics);
    if (!repaired) return;
    text.data = std::make_unique_for_overwrite<char[]>(repaired->size());
    std::memcpy(text.data.get(), repaired->data(), repaired->size());
    text.size = repaired->size();
  }

  const pugi::xml_document* Xml(std::string_view part_name) const {
    try {
      return ParseCached(part_name);
    } catch (const std::exception& e) {
      xml_failed[Lower(part_name)] = false;
      diagnostics.push_back("part " + Quoted(part_name) + " cannot be read (" + e.what() +
                            "); it is left out");
      return nullptr;
    }
  }

  const pugi::xml_document* ParseCached(std::string_view part_name) const {
    if (part_name.empty()) return nullptr;
    std::string key = Lower(part_name);
    if (Lower(main_part_name) == key) return &Whole();
    if (auto it = xml_cache.find(key); it != xml_cache.end()) return &it->second->doc;
    if (xml_failed.count(key) != 0) return nullptr;
    bool corrupt = false;
    Result<PartBytes> bytes = ReadBytes(part_name, &corrupt);
    if (!bytes.ok()) {
      xml_failed[key] = corrupt;
      diagnostics.push_back(bytes.message());
      return nullptr;
    }
    auto part = std::make_unique<ParsedPart>();
    part->text = std::move(*bytes);
    Repair(part->text, part_name);
    Status parsed = ParseXmlPartInPlace(part->text.data.get(), part->text.size, part->doc);
    if (!parsed.ok()) {
      xml_failed[key] = false;
      diagnostics.push_back("part " + Quoted(part_name) + " is " + parsed.message() +
                            "; it is left out");
      return nullptr;
    }
    return &xml_cache.emplace(key, std::move(part)).first->second->doc;
  }

  // The main document's whole tree; for a body read in pieces parsed on the
  // first request (it parsed before, stretch by stretch).
  const pugi::xml_document& Whole() const {
    if (pieces != nullptr && !whole_parsed) {
      whole_parsed = true;
      whole_text.data = std::make_unique_for_overwrite<char[]>(main_document_text.size);
      whole_text.size = main_document_text.size;
      std::memcpy(whole_text.data.get(), main_document_text.data.get(), whole_text.size);
      if (!ParseXmlPartInPlace(whole_text.data.get(), whole_text.size, main_document).ok()) {
        diagnostics.push_back("the main document could not be read whole a second time");
      }
    }
    return main_document;
  }

  // --- Pieces mode ---

  std::string_view MainText() const {
    return {main_document_text.data.get(), main_document_text.size};
  }
  size_t BlockEnd(size_t block) const {
    const BodyLayout& layout = pieces->layout;
    return block + 1 < layout.blocks.size() ? layout.blocks[block + 1].begin : layout.content_end;
  }
  // The size of the text and the text of a document whose body holds the
  // blocks [first, end).
  size_t PieceSize(size_t first, size_t end) const {
    const BodyLayout& layout = pieces->layout;
    return layout.content_begin + (BlockEnd(end - 1) - layout.blocks[first].begin) +
           (main_document_text.size - layout.content_end);
  }
  size_t CopyPiece(size_t first, size_t end, char* out) const {
    const BodyLayout& layout = pieces->layout;
    const char* text = main_document_text.data.get();
    const size_t from = layout.blocks[first].begin;
    const size_t to = BlockEnd(end - 1);
    char* write = out;
    write = std::copy(text, text + layout.content_begin, write);
    write = std::copy(text + from, text + to, write);
    write = std::copy(text + layout.content_end, text + main_document_text.size, write);
    return static_cast<size_t>(write - out);
  }
  // The blocks parsed with a stretch: its own, and the neighbours a
  // paragraph's sibling lookup may reach (see ForEachBodyPiece).
  std::pair<size_t, size_t> WithNeighbours(size_t first, size_t end) const {
    const std::vector<BodyLayout::Block>& blocks = pieces->layout.blocks;
    size_t from = first;
    if (from > 0) {
      do {
        --from;
      } while (from > 0 && blocks[from].marker);
    }
    size_t to = end;
    while (to < blocks.size() && blocks[to].marker) ++to;
    if (to < blocks.size()) ++to;
    return {from, to};
  }

  const std::vector<Relationship>& RelationshipsOf(std::string_view part_name) const {
    auto it = relationships.find(Lower(part_name));
    return it == relationships.end() ? EmptyRelationships() : it->second;
  }

  // The target of the first internal relationship of this type from the
  // main part; empty when none.
  std::string MainTarget(std::string_view type) const {
    for (const Relationship& rel : RelationshipsOf(main_part_name)) {
      if (!rel.external && rel.type == type) return rel.target;
    }
    return {};
  }

  std::string PackageTarget(std::string_view type) const {
    for (const Relationship& rel : RelationshipsOf("")) {
      if (!rel.external && rel.type == type) return rel.target;
    }
    return {};
  }

  Status ReadDirectory();
  Status ReadRelationships();
  void ReadContentTypes();
  Status ReadMainDocument();
  bool PlanPieces();
  // Parses stretch `number` with its neighbours into `into`, whose text
  // buffer (`largest` bytes) is made on first use and reused after.
  void ParseStretch(size_t number, size_t largest, ParsedStretch& into) const;
  Status ReadSmallParts();
};

Status DocxPackage::Impl::ReadDirectory() {
  zip_int64_t count = zip_get_num_entries(zip, 0);
  if (count < 0)
    return Status::Error(support::StatusCode::kInvalidInput,
                         "the package is damaged: its zip directory cannot be read");
  if (static_cast<std::uint64_t>(count) > limits.max_entries) {
    return Status::Error(support::StatusCode::kResourceLimit,
                         "the package has " + std::to_string(count) +
                             " entries, more than a Word document can have");
  }
  for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(count); ++i) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(zip, i, ZIP_FL_ENC_GUESS, &stat) != 0 || (stat.valid & ZIP_STAT_NAME) == 0) {
      return Status::Error(support::StatusCode::kInvalidInput,
                           "the package is damaged: entry " + std::to_string(i) +
                               " of its zip directory cannot be read");
    }
    std::string name = stat.name;
    if (IsUnsafeEntryName(name)) {
      return Status::Error(support::StatusCode::kInvalidInput,
                           "the package holds an unsafe entry name " + Quoted(name) +
                               " (a path outside the package); it is refused");
    }
    if (name.back() == '/') continue;  // folder entry
    if (!index.emplace(Lower(name), i).second) {
      diagnostics.push_back("the package holds part " + Quoted(name) +
                            " twice; the first one is used");
      continue;
    }
    part_names.push_back(std::move(name));
  }
  return Status::Ok();
}

Status DocxPackage::Impl::ReadRelationships() {
  for (const std::string& name : part_names) {
    std::string source;
    if (!SourceOfRelationshipPart(name, source)) continue;
    bool corrupt = false;
    Result<std::string> bytes = Read(name, &corrupt);
    if (!bytes.ok()) {
      if (corrupt || source.empty()) return bytes.status();
      diagnostics.push_back(bytes.message());
      continue;
    }
    pugi::xml_document doc;
    if (Status parsed = ParseXmlPart(*bytes, doc); !parsed.ok()) {
      if (source.empty()) {
        return Status::Error(
            support::StatusCode::kInvalidInput,
            "the package's relationship part " + Quoted(name) + " is " + parsed.message());
      }
      diagnostics.push_back("relationship part " + Quoted(name) + " is " + parsed.message() +
                            "; its relationships are left out");
      continue;
    }
    std::vector<Relationship>& list = relationships[Lower(source)];
    for (pugi::xml_node node = doc.child("pr:Relationships").child("pr:Relationship"); node;
         node = node.next_sibling("pr:Relationship")) {
      Relationship rel;
      rel.id = node.attribute("Id").as_string();
      rel.type = NormalizeRelationshipType(node.attribute("Type").as_string());
      rel.external = Lower(node.attribute("TargetMode").as_string()) == "external";
      std::string raw = node.attribute("Target").as_string();
      if (rel.external) {
        rel.target = raw;
      } else {
        std::string reason;
        if (!ResolveTarget(source, raw, rel.target, reason)) {
          return Status::Error(support::StatusCode::kInvalidInput,
                               "the package's relationship " + Quoted(rel.id) + " in " +
                                   Quoted(name) + " has an unsafe target " + Quoted(raw) +
                                   " that " + reason + "; it is refused");
        }
      }
      list.push_back(std::move(rel));
    }
  }
  return Status::Ok();
}

void DocxPackage::Impl::ReadContentTypes() {
  if (Locate(kContentTypesPart) == nullptr) {
    diagnostics.push_back("the package has no [Content_Types].xml");
    return;
  }
  const pugi::xml_document* doc = Xml(kContentTypesPart);
  if (doc == nullptr) return;
  pugi::xml_node types = doc->child("ct:Types");
  for (pugi::xml_node node = types.child("ct:Default"); node;
       node = node.next_sibling("ct:Default")) {
    content_types.defaults[Lower(node.attribute("Extension").as_string())] =
        node.attribute("ContentType").as_string();
  }
  for (pugi::xml_node node = types.child("ct:Override"); node;
       node = node.next_sibling("ct:Override")) {
    std::string part = node.attribute("PartName").as_string();
    while (!part.empty() && part.front() == '/') part.erase(0, 1);
    content_types.overrides[part] = node.attribute("ContentType").as_string();
  }
}

Status DocxPackage::Impl::ReadMainDocument() {
  main_part_name = PackageTarget(kRelOfficeDocument);
  if (main_part_name.empty()) {
    return Status::Error(
        support::StatusCode::kInvalidInput,
        "the file is a zip package but not a Word document (it has no main document part)");
  }
  if (Locate(main_part_name) == nullptr) {
    return Status::Error(
        support::StatusCode::kInvalidInput,
        "the package is damaged: its main document part " + Quoted(main_part_name) + " is missing");
  }
  std::string type = content_types.Of(main_part_name);
  if (!type.empty() && !IsWordContentType(type)) {
    return Status::Error(support::StatusCode::kInvalidInput,
                         "the file is a zip package but not a Word document (its main part " +
                             Quoted(main_part_name) + " is of type " + type + ")");
  }
  Result<PartBytes> bytes = ReadBytes(main_part_name);
  if (!bytes.ok()) return bytes.status();
  main_document_text = std::move(*bytes);
  Repair(main_document_text, main_part_name);
  if (limits.body_piece_bytes > 0 && main_document_text.size > limits.whole_body_bytes &&
      PlanPieces()) {
    return Status::Ok();
  }
  if (Status parsed = ParseXmlPartInPlace(main_document_text.data.get(), main_document_text.size,
                                          main_document);
      !parsed.ok()) {
    return Status::Error(
        support::StatusCode::kInvalidInput,
        "the main document part " + Quoted(main_part_name) + " is " + parsed.message());
  }
  pugi::xml_node document = main_document.child("w:document");
  if (!document) {
    return Status::Error(support::StatusCode::kInvalidInput,
                         "the file is a zip package but not a Word document (its main part " +
                             Quoted(main_part_name) + " holds <" +
                             main_document.document_element().name() + ">, not a document)");
  }
  if (!document.child("w:body")) {
    diagnostics.push_back("the main document has no body; it is read as empty");
    document.append_child("w:body");
  }
  return Status::Ok();
}

// Plans the stretches of a large body, checks that every one parses (and so
// that the whole part would), and parses the outline. False leaves the body to
// be read whole, which also words the reason when the part is not well-formed
// or not a document.
bool DocxPackage::Impl::PlanPieces() {
  std::optional<BodyLayout> layout = ScanBodyLayout(MainText());
  if (!layout) return false;
  // The text around the body goes with every stretch; normally a few
  // kilobytes.
  const size_t frame = layout->content_begin + (main_document_text.size - layout->content_end);
  if (frame > std::max<std::uint64_t>(limits.body_piece_bytes, 64u << 10)) return false;
  pieces = std::make_unique<Pieces>();
  pieces->layout = std::move(*layout);
  const std::vector<BodyLayout::Block>& blocks = pieces->layout.blocks;
  for (size_t first = 0; first < blocks.size();) {
    size_t end = first + 1;
    while (end < blocks.size() && BlockEnd(end - 1) - blocks[first].begin < limits.body_piece_bytes)
      ++end;
    pieces->stretches.emplace_back(first, end);
    first = end;
  }

  size_t largest = 0;
  for (const auto& [first, end] : pieces->stretches) {
    largest = std::max(largest, PieceSize(first, end));
  }
  // Each checker takes the next stretch nobody has checked until one fails
  // or none is left.
  std::atomic<size_t> next_stretch{0};
  std::atomic<bool> accepted{true};
  const auto check = [&] {
    auto scratch = std::make_unique_for_overwrite<char[]>(largest);
    for (size_t stretch = next_stretch++; accepted.load() && stretch < pieces->stretches.size();
         stretch = next_stretch++) {
      const auto [first, end] = pieces->stretches[stretch];
      if (!IsAcceptedXmlInPlace(scratch.get(), CopyPiece(first, end, scratch.get()))) {
        accepted.store(false);
      }
    }
  };
  if (limits.threads >= 2 && pieces->stretches.size() >= 2) {
    std::future<void> other = std::async(std::launch::async, check);
    check();
    other.get();
  } else {
    check();
  }
  if (!accepted.load()) {
    pieces.reset();
    return false;
  }

  // The outline: the frame with the blocks that hold a section.
  size_t outline_size = frame;
  for (size_t block = 0; block < blocks.size(); ++block) {
    if (blocks[block].has_section) outline_size += BlockEnd(block) - blocks[block].begin;
  }
  PartBytes& outline_text = pieces->outline_text;
  outline_text.data = std::make_unique_for_overwrite<char[]>(outline_size);
  outline_text.size = outline_size;
  const char* text = main_document_text.data.get();
  char* write = std::copy(text, text + pieces->layout.content_begin, outline_text.data.get());
  for (size_t block = 0; block < blocks.size(); ++block) {
    if (blocks[block].has_section) {
      write = std::copy(text + blocks[block].begin, text + BlockEnd(block), write);
    }
  }
  std::copy(text + pieces->layout.content_end, text + main_document_text.size, write);
  bool usable =
      ParseXmlPartInPlace(outline_text.data.get(), outline_text.size, pieces->outline).ok();
  // The body the scan found must be the one a reader asks for.
  pugi::xml_node root = pieces->outline.child("w:document");
  pugi::xml_node body = root.child("w:body");
  size_t body_index = 0;
  for (pugi::xml_node child = root.first_child(); usable && child != body;
       child = child.next_sibling()) {
    if (child.type() == pugi::node_element) ++body_index;
  }
  if (!usable || !body || body_index != pieces->layout.body_index) {
    pieces.reset();
    return false;
  }
  return true;
}

Status DocxPackage::Impl::ReadSmallParts() {
  styles = MainTarget(kRelStyles);
  numbering = MainTarget(kRelNumbering);
  settings_name = MainTarget(kRelSettings);
  font_table = MainTarget(kRelFontTable);
  theme = MainTarget(kRelTheme);
  footnotes = MainTarget(kRelFootnotes);
  endnotes = MainTarget(kRelEndnotes);
  comments = MainTarget(kRelComments);
  // A missing or ill-formed part is an oddity the writer survives with
  // Word's defaults; a damaged zip entry means the package is damaged.
  for (const std::string* part : {&styles, &numbering, &settings_name, &font_table, &theme}) {
    if (part->empty() || Xml(*part) != nullptr) continue;
    auto failed = xml_failed.find(Lower(*part));
    if (failed != xml_failed.end() && failed->second) return Read(*part).status();
  }
  if (const pugi::xml_document* doc = Xml(settings_name)) settings = ParseSettings(*doc);
  if (const pugi::xml_document* doc = Xml(theme)) theme_fonts = ParseThemeFonts(*doc);
  if (const pugi::xml_document* doc = Xml(font_table)) fonts = ParseFontTable(*doc);
  if (const pugi::xml_document* doc = Xml(PackageTarget(kRelCoreProperties))) {
    core = ParseCoreProperties(*doc);
  }
  if (const pugi::xml_document* doc = Xml(PackageTarget(kRelExtendedProperties))) {
    app = ParseAppProperties(*doc);
  }
  return Status::Ok();
}

Result<DocxPackage> DocxPackage::Open(const std::string& path, const PackageLimits& limits) {
  // Allocation failures on a huge document must not escape the library.
  try {
    return OpenPackage(path, limits);
  } catch (const std::exception& e) {
    return Status::Error(support::StatusCode::kIoFailed,
                         std::string("the file cannot be read (") + e.what() + ")");
  }
}

Result<DocxPackage> DocxPackage::OpenPackage(const std::string& path, const PackageLimits& limits) {
  std::string head, error;
  if (!ReadHead(path, 8, head, error)) {
    return Status::Error(support::StatusCode::kIoFailed, "the file cannot be read (" + error + ")");
  }
  switch (Sniff(head)) {
    case Signature::kZip:
      break;
    case Signature::kOle: {
      // Office stores a password-protected package inside an OLE compound
      // file with EncryptionInfo and EncryptedPackage streams; an OLE file
      // without them is a Word 97-2003 document under a .docx name.
      std::string whole;
      ReadHead(path, std::min<std::uint64_t>(limits.max_part_bytes, 64u << 20), whole, error);
      if (ContainsUtf16Name(whole, "EncryptedPackage") ||
          ContainsUtf16Name(whole, "EncryptionInfo")) {
        return Status::Error(
            support::StatusCode::kInvalidInput,
            "the document is password-protected (encrypted); remove the password in Word and "
            "save it again");
      }
      return Status::Error(
          support::StatusCode::kInvalidInput,
          "the file is an older Word (.doc) or other OLE compound file, not a .docx package");
    }
    case Signature::kXml:
      return Status::Error(
          support::StatusCode::kInvalidInput,
          "the file is an XML document (such as Word 2003 XML), not a .docx package");
    case Signature::kRtf:
      return Status::Error(support::StatusCode::kInvalidInput,
                           "the file is an RTF document, not a .docx package");
    case Signature::kEmpty:
      return Status::Error(support::StatusCode::kInvalidInput, "the file is empty");
    case Signature::kOther:
      return Status::Error(support::StatusCode::kInvalidInput,
                           "the file is not a .docx package (not a zip file)");
  }

  auto impl = std::make_unique<Impl>();
  impl->limits = limits;
  std::error_code size_error;
  impl->file_size = std::filesystem::file_size(path, size_error);
  if (size_error) impl->file_size = 0;
  int code = 0;
  impl->zip = zip_open(path.c_str(), ZIP_RDONLY, &code);
  if (impl->zip == nullptr) {
    zip_error_t zip_error;
    zip_error_init_with_code(&zip_error, code);
    std::string reason = zip_error_strerror(&zip_error);
    zip_error_fini(&zip_error);
    switch (code) {
      case ZIP_ER_NOZIP:
        return Status::Error(support::StatusCode::kInvalidInput,
                             "the package is damaged or truncated (its zip directory is missing)");
      case ZIP_ER_OPEN:
      case ZIP_ER_READ:
      case ZIP_ER_MEMORY:
        return Status::Error(support::StatusCode::kIoFailed,
                             "the file cannot be read (" + reason + ")");
      default:
        return Status::Error(support::StatusCode::kInvalidInput,
                             "the package is damaged or truncated (" + reason + ")");
    }
  }
  if (Status status = impl->ReadDirectory(); !status.ok()) return status;
  if (Status status = impl->ReadRelationships(); !status.ok()) return status;
  impl->ReadContentTypes();
  if (Status status = impl->ReadMainDocument(); !status.ok()) return status;
  if (Status status = impl->ReadSmallParts(); !status.ok()) return status;
  return DocxPackage(std::move(impl));
}

DocxPackage::DocxPackage(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
DocxPackage::DocxPackage(DocxPackage&&) noexcept = default;
DocxPackage& DocxPackage::operator=(DocxPackage&&) noexcept = default;
DocxPackage::~DocxPackage() = default;

const std::string& DocxPackage::main_part_name() const {
  return impl_->main_part_name;
}
const pugi::xml_document& DocxPackage::main_document() const {
  return impl_->Whole();
}
pugi::xml_node DocxPackage::body() const {
  return impl_->Whole().child("w:document").child("w:body");
}

void DocxPackage::Impl::ParseStretch(size_t number, size_t largest, ParsedStretch& into) const {
  const auto [first, end] = pieces->stretches[number];
  const auto [from, to] = WithNeighbours(first, end);
  if (!into.text) into.text = std::make_unique_for_overwrite<char[]>(largest);
  into.own = into.stop = pugi::xml_node();
  if (Status parsed =
          ParseXmlPartInPlace(into.text.get(), CopyPiece(from, to, into.text.get()), *into.doc);
      !parsed.ok()) {
    into.status = Status::Error(support::StatusCode::kInvalidInput,
                                "the main document part " + Quoted(main_part_name) +
                                    " could not be read a second time (" + parsed.message() + ")");
    return;
  }
  into.status = Status::Ok();
  // Every block is one element child of the body: the stretch's own
  // children start after the neighbours before it (with the text in front
  // of the first block when it is the body's first) and end at those after.
  const pugi::xml_node body = into.doc->child("w:document").child("w:body");
  into.own = body.first_child();
  size_t element = 0;
  for (pugi::xml_node child = body.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    if (first > from && element == first - from) into.own = child;
    if (element == end - from) {
      into.stop = child;
      break;
    }
    ++element;
  }
}

Status DocxPackage::ForEachBodyPiece(
    const std::function<bool(pugi::xml_node first, pugi::xml_node end)>& visit) const {
  const Impl& impl = *impl_;
  if (impl.pieces == nullptr) {
    visit(body().first_child(), pugi::xml_node());
    return Status::Ok();
  }
  const size_t count = impl.pieces->stretches.size();
  size_t largest = 0;
  for (const auto& [first, end] : impl.pieces->stretches) {
    const auto [from, to] = impl.WithNeighbours(first, end);
    largest = std::max(largest, impl.PieceSize(from, to));
  }
  if (impl.limits.threads < 2 || count < 2) {
    ParsedStretch stretch;
    for (size_t index = 0; index < count; ++index) {
      impl.ParseStretch(index, largest, stretch);
      if (!stretch.status.ok()) return stretch.status;
      if (!visit(stretch.own, stretch.stop)) break;
    }
    return Status::Ok();
  }
  // With a second thread the next stretch is parsed while this one is
  // visited; the two trees take turns, so no more than two exist at once.
  const auto parse = [&impl, largest](size_t index, ParsedStretch into) {
    impl.ParseStretch(index, largest, into);
    return into;
  };
  std::future<ParsedStretch> next = std::async(std::launch::async, parse, 0, ParsedStretch());
  ParsedStretch spare;
  for (size_t index = 0; index < count; ++index) {
    ParsedStretch stretch = next.get();
    if (index + 1 < count) {
      next = std::async(std::launch::async, parse, index + 1, std::move(spare));
    }
    if (!stretch.status.ok()) return stretch.status;
    if (!visit(stretch.own, stretch.stop)) break;
    spare = std::move(stretch);
  }
  return Status::Ok();
}

pugi::xml_node DocxPackage::body_outline() const {
  if (impl_->pieces == nullptr) return body();
  return impl_->pieces->outline.child("w:document").child("w:body");
}
size_t DocxPackage::main_document_size() const {
  return impl_->main_document_text.size;
}
unsigned DocxPackage::threads() const {
  return impl_->limits.threads;
}

const pugi::xml_document* DocxPackage::styles_part() const {
  return impl_->Xml(impl_->styles);
}
const pugi::xml_document* DocxPackage::numbering_part() const {
  return impl_->Xml(impl_->numbering);
}
const pugi::xml_document* DocxPackage::settings_part() const {
  return impl_->Xml(impl_->settings_name);
}
const pugi::xml_document* DocxPackage::font_table_part() const {
  return impl_->Xml(impl_->font_table);
}
const pugi::xml_document* DocxPackage::theme_part() const {
  return impl_->Xml(impl_->theme);
}
const pugi::xml_document* DocxPackage::footnotes_part() const {
  return impl_->Xml(impl_->footnotes);
}
const pugi::xml_document* DocxPackage::endnotes_part() const {
  return impl_->Xml(impl_->endnotes);
}
const pugi::xml_document* DocxPackage::comments_part() const {
  return impl_->Xml(impl_->comments);
}

const pugi::xml_document* DocxPackage::RelatedXmlPart(std::string_view id) const {
  const Relationship* rel = MainRelationship(id);
  if (rel == nullptr || rel->external) return nullptr;
  return impl_->Xml(rel->target);
}

const pugi::xml_document* DocxPackage::XmlPart(std::string_view part_name) const {
  return impl_->Xml(part_name);
}

Result<std::string> DocxPackage::BinaryPart(std::string_view part_name) const {
  try {
    return impl_->Read(part_name);
  } catch (const std::exception& e) {
    return Status::Error(support::StatusCode::kIoFailed,
                         "part " + Quoted(part_name) + " cannot be read (" + e.what() + ")");
  }
}

bool DocxPackage::HasPart(std::string_view part_name) const {
  return impl_->Locate(part_name) != nullptr;
}

std::uint64_t DocxPackage::StatedPartSize(std::string_view part_name) const {
  const zip_uint64_t* entry = impl_->Locate(part_name);
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (entry == nullptr || zip_stat_index(impl_->zip, *entry, 0, &stat) != 0) return 0;
  return (stat.valid & ZIP_STAT_SIZE) != 0 ? stat.size : 0;
}

std::uint64_t DocxPackage::package_size() const {
  return impl_->file_size;
}

std::vector<std::string> DocxPackage::PartNames() const {
  return impl_->part_names;
}

const std::vector<Relationship>& DocxPackage::Relationships(std::string_view part_name) const {
  return impl_->RelationshipsOf(part_name);
}

const Relationship* DocxPackage::FindRelationship(std::string_view part_name,
                                                  std::string_view id) const {
  for (const Relationship& rel : impl_->RelationshipsOf(part_name)) {
    if (rel.id == id) return &rel;
  }
  return nullptr;
}

const Relationship* DocxPackage::MainRelationship(std::string_view id) const {
  return FindRelationship(impl_->main_part_name, id);
}

const ContentTypes& DocxPackage::content_types() const {
  return impl_->content_types;
}
const CoreProperties& DocxPackage::core_properties() const {
  return impl_->core;
}
const AppProperties& DocxPackage::app_properties() const {
  return impl_->app;
}
const DocumentSettings& DocxPackage::settings() const {
  return impl_->settings;
}
const ThemeFonts& DocxPackage::theme_fonts() const {
  return impl_->theme_fonts;
}
const FontTable& DocxPackage::font_table() const {
  return impl_->fonts;
}
const std::vector<std::string>& DocxPackage::diagnostics() const {
  return impl_->diagnostics;
}

}  // namespace tessarine::convert
