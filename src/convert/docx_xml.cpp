#include "convert/docx_xml.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "support/text_file.h"

namespace tessarine::convert {
namespace {

struct NamespaceEntry {
  std::string_view uri;
  std::string_view prefix;
};

// Transitional URIs first, then their ISO strict twins, then the Microsoft
// extensions that have only one form.
constexpr NamespaceEntry kNamespaces[] = {
    {"http://schemas.openxmlformats.org/wordprocessingml/2006/main", "w"},
    {"http://purl.oclc.org/ooxml/wordprocessingml/main", "w"},
    {"http://schemas.openxmlformats.org/officeDocument/2006/relationships", "r"},
    {"http://purl.oclc.org/ooxml/officeDocument/relationships", "r"},
    {"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing", "wp"},
    {"http://purl.oclc.org/ooxml/drawingml/wordprocessingDrawing", "wp"},
    {"http://schemas.openxmlformats.org/drawingml/2006/main", "a"},
    {"http://purl.oclc.org/ooxml/drawingml/main", "a"},
    {"http://schemas.openxmlformats.org/drawingml/2006/picture", "pic"},
    {"http://purl.oclc.org/ooxml/drawingml/picture", "pic"},
    {"http://schemas.openxmlformats.org/officeDocument/2006/math", "m"},
    {"http://purl.oclc.org/ooxml/officeDocument/math", "m"},
    {"http://schemas.openxmlformats.org/drawingml/2006/chart", "c"},
    {"http://purl.oclc.org/ooxml/drawingml/chart", "c"},
    {"http://schemas.openxmlformats.org/drawingml/2006/diagram", "dgm"},
    {"http://purl.oclc.org/ooxml/drawingml/diagram", "dgm"},
    {"http://schemas.openxmlformats.org/schemaLibrary/2006/main", "sl"},
    {"http://purl.oclc.org/ooxml/schemaLibrary/main", "sl"},
    {"http://schemas.openxmlformats.org/officeDocument/2006/customXml", "ds"},
    {"http://purl.oclc.org/ooxml/officeDocument/customXml", "ds"},
    {"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties", "ep"},
    {"http://purl.oclc.org/ooxml/officeDocument/extendedProperties", "ep"},
    {"http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes", "vt"},
    {"http://purl.oclc.org/ooxml/officeDocument/docPropsVTypes", "vt"},
    {"http://schemas.openxmlformats.org/markup-compatibility/2006", "mc"},
    {"http://schemas.openxmlformats.org/package/2006/metadata/core-properties", "cp"},
    {"http://schemas.openxmlformats.org/package/2006/content-types", "ct"},
    {"http://schemas.openxmlformats.org/package/2006/relationships", "pr"},
    {"http://purl.org/dc/elements/1.1/", "dc"},
    {"http://purl.org/dc/terms/", "dcterms"},
    {"http://purl.org/dc/dcmitype/", "dcmitype"},
    {"http://www.w3.org/2001/XMLSchema-instance", "xsi"},
    {"http://www.w3.org/XML/1998/namespace", "xml"},
    {"urn:schemas-microsoft-com:vml", "v"},
    {"urn:schemas-microsoft-com:office:office", "o"},
    {"urn:schemas-microsoft-com:office:word", "w10"},
    {"urn:schemas-microsoft-com:office:excel", "x"},
    {"http://schemas.microsoft.com/office/word/2010/wordprocessingShape", "wps"},
    {"http://schemas.microsoft.com/office/word/2010/wordprocessingGroup", "wpg"},
    {"http://schemas.microsoft.com/office/word/2010/wordprocessingCanvas", "wpc"},
    {"http://schemas.microsoft.com/office/word/2010/wordprocessingInk", "wpi"},
    {"http://schemas.microsoft.com/office/word/2010/wordprocessingDrawing", "wp14"},
    {"http://schemas.microsoft.com/office/word/2010/wordml", "w14"},
    {"http://schemas.microsoft.com/office/word/2012/wordml", "w15"},
    {"http://schemas.microsoft.com/office/word/2015/wordml/symex", "w16se"},
    {"http://schemas.microsoft.com/office/word/2016/wordml/cid", "w16cid"},
    {"http://schemas.microsoft.com/office/word/2018/wordml", "w16"},
    {"http://schemas.microsoft.com/office/word/2018/wordml/cex", "w16cex"},
    {"http://schemas.microsoft.com/office/word/2006/wordml", "wne"},
    {"http://schemas.microsoft.com/office/drawing/2010/main", "a14"},
    {"http://schemas.microsoft.com/office/drawing/2008/diagram", "dsp"},
};

bool IsCanonicalPrefix(std::string_view prefix) {
  for (const auto& entry : kNamespaces) {
    if (entry.prefix == prefix) return true;
  }
  return false;
}

// Walks a tree in document order without recursion (deeply nested input must
// not exhaust the stack), keeping the in-scope namespace bindings.
class Normalizer {
 public:
  void Run(pugi::xml_node root) {
    if (root.type() == pugi::node_document) {
      for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element) Walk(child);
      }
    } else if (root.type() == pugi::node_element) {
      Walk(root);
    }
  }

 private:
  struct Binding {
    std::string prefix;
    std::string uri;
  };

  void Walk(pugi::xml_node top) {
    pugi::xml_node node = top;
    for (;;) {
      Enter(node);
      if (node.type() == pugi::node_element && node.first_child()) {
        node = node.first_child();
        continue;
      }
      for (;;) {
        Leave(node);
        if (node == top) return;
        if (node.next_sibling()) {
          node = node.next_sibling();
          break;
        }
        node = node.parent();
      }
    }
  }

  // Whether a NUL-terminated name starts with `prefix`; inline, for the
  // millions of names of a large part.
  static bool StartsWith(const char* name, std::string_view prefix) {
    for (size_t i = 0; i < prefix.size(); ++i) {
      if (name[i] != prefix[i]) return false;  // also stops at the name's end
    }
    return true;
  }

  // Whether a name certainly keeps its prefix: it has the prefix of the
  // last name that kept one. Nearly every name of a part does, and this
  // spares them the lookup.
  bool SurelyKept(const char* name) const {
    return !kept_prefix_.empty() && StartsWith(name, kept_prefix_) &&
           name[kept_prefix_.size()] == ':';
  }

  void Enter(pugi::xml_node node) {
    if (node.type() != pugi::node_element) return;
    marks_.push_back(bindings_.size());
    for (pugi::xml_attribute attr = node.first_attribute(); attr;) {
      pugi::xml_attribute next = attr.next_attribute();
      const char* name = attr.name();
      if (StartsWith(name, "xmlns")) {
        if (name[5] == '\0') {
          bindings_.push_back({"", attr.value()});
          node.remove_attribute(attr);
        } else if (name[5] == ':') {
          bindings_.push_back({std::string(name + 6), attr.value()});
          node.remove_attribute(attr);
        }
      }
      attr = next;
    }
    if (bindings_.size() != marks_.back()) ClearCache();

    if (!SurelyKept(node.name()) && Rename(node.name(), /*is_attribute=*/false, renamed_)) {
      node.set_name(renamed_.c_str());
    }
    bool ignorable = false;
    for (pugi::xml_attribute attr = node.first_attribute(); attr; attr = attr.next_attribute()) {
      if (!SurelyKept(attr.name()) && Rename(attr.name(), /*is_attribute=*/true, renamed_)) {
        attr.set_name(renamed_.c_str());
      }
      ignorable = ignorable ||
                  (StartsWith(attr.name(), "mc:") && std::strcmp(attr.name(), "mc:Ignorable") == 0);
    }
    // Markup-compatibility attributes name prefixes in their values.
    if (ignorable || StartsWith(node.name(), "mc:")) {
      for (const char* attr_name :
           {"mc:Ignorable", "mc:ProcessContent", "mc:MustUnderstand", "Requires", "mc:Requires"}) {
        pugi::xml_attribute attr = node.attribute(attr_name);
        if (attr) attr.set_value(RewritePrefixList(attr.value()).c_str());
      }
    }
  }

  void Leave(pugi::xml_node node) {
    if (node.type() != pugi::node_element) return;
    if (bindings_.size() != marks_.back()) {
      bindings_.resize(marks_.back());
      ClearCache();
    }
    marks_.pop_back();
  }

  const std::string* Lookup(std::string_view prefix) const {
    for (auto it = bindings_.rbegin(); it != bindings_.rend(); ++it) {
      if (it->prefix == prefix) return &it->uri;
    }
    return nullptr;
  }

  void ClearCache() {
    cache_.clear();
    last_written_ = nullptr;
    kept_prefix_.clear();
  }

  // The prefix to write for a written prefix in the current scope (may be
  // empty for "no prefix"). Nearly every name of a part carries the same one
  // or two prefixes, so the last answer is kept beside the cache.
  const std::string& TargetPrefix(std::string_view written) {
    if (last_written_ != nullptr && *last_written_ == written) return *last_target_;
    auto cached = cache_.find(written);
    if (cached == cache_.end())
      cached = cache_.emplace(written, Resolve(std::string(written))).first;
    last_written_ = &cached->first;
    last_target_ = &cached->second;
    return cached->second;
  }

  std::string Resolve(const std::string& written) {
    std::string target = written;
    if (written == "xml") {
      target = "xml";
    } else if (const std::string* uri = Lookup(written)) {
      std::string_view canonical = CanonicalPrefix(*uri);
      if (!canonical.empty()) {
        target = std::string(canonical);
      } else if (!uri->empty() && (IsCanonicalPrefix(written) || written.empty())) {
        // An unknown namespace under a prefix we reserve (or the default
        // namespace) gets a private prefix, so it can never pass for ours.
        auto [it, inserted] = unknown_.try_emplace(*uri, "");
        if (inserted) it->second = "ns" + std::to_string(unknown_.size());
        target = written.empty() ? std::string() : it->second;
      }
    }
    return target;
  }

  // Sets `out` and returns true when the name changes.
  bool Rename(std::string_view name, bool is_attribute, std::string& out) {
    size_t colon = name.find(':');
    if (colon == std::string_view::npos) {
      if (is_attribute) return false;  // unprefixed attributes have no namespace
      const std::string& target = TargetPrefix("");
      if (target.empty()) return false;
      out.assign(target);
      out += ':';
      out.append(name);
      return true;
    }
    std::string_view written = name.substr(0, colon);
    const std::string& target = TargetPrefix(written);
    if (!is_attribute && target == "wp") {
      // ISO strict documents keep the shape and group elements Word writes
      // under wps: and wpg: in the drawing namespace; they read as the same.
      if (std::string_view family = ShapeFamily(name.substr(colon + 1)); !family.empty()) {
        out.assign(family);
        out.append(name.substr(colon));
        return true;
      }
    }
    if (!is_attribute && target == "wne" && name.substr(colon + 1) == "txbxContent") {
      out.assign("w");  // ... and a text box's content in Word 2006's own namespace
      out.append(name.substr(colon));
      return true;
    }
    if (target == written) {
      if (kept_prefix_ != written) kept_prefix_.assign(written);
      return false;
    }
    if (target.empty()) {
      out.assign(name.substr(colon + 1));
    } else {
      out.assign(target);
      out.append(name.substr(colon));
    }
    return true;
  }

  static std::string_view ShapeFamily(std::string_view local) {
    static constexpr std::string_view kShape[] = {"wsp",   "cNvPr", "cNvSpPr",    "cNvCnPr", "spPr",
                                                  "style", "txbx",  "linkedTxbx", "bodyPr"};
    static constexpr std::string_view kGroup[] = {"wgp", "grpSp", "grpSpPr", "cNvGrpSpPr"};
    for (std::string_view known : kShape) {
      if (local == known) return "wps";
    }
    for (std::string_view known : kGroup) {
      if (local == known) return "wpg";
    }
    return {};
  }

  std::string RewritePrefixList(std::string_view list) {
    std::string out;
    size_t pos = 0;
    while (pos < list.size()) {
      size_t end = list.find(' ', pos);
      if (end == std::string_view::npos) end = list.size();
      std::string token(list.substr(pos, end - pos));
      if (!token.empty()) {
        const std::string& target = TargetPrefix(token);
        if (!out.empty()) out += ' ';
        out += target.empty() ? token : target;
      }
      pos = end + 1;
    }
    return out;
  }

  struct PrefixHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };

  std::vector<Binding> bindings_;
  std::vector<size_t> marks_;
  std::unordered_map<std::string, std::string, PrefixHash, std::equal_to<>> cache_;
  const std::string* last_written_ = nullptr;
  const std::string* last_target_ = nullptr;
  std::map<std::string, std::string> unknown_;
  std::string renamed_;
  std::string kept_prefix_;  // see SurelyKept; empty: none known
};

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// A number with an optional unit suffix; the unit is returned lower-cased.
bool SplitMeasure(std::string_view text, double& number, std::string& unit) {
  text = Trim(text);
  if (text.empty()) return false;
  size_t end = 0;
  while (end < text.size() && std::strchr("+-.0123456789", text[end]) != nullptr) ++end;
  std::string_view digits = text.substr(0, end);
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (ec != std::errc() || ptr != digits.data() + digits.size() || !std::isfinite(number)) {
    return false;
  }
  unit.clear();
  for (char c : text.substr(end)) {
    unit += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return true;
}

template <typename T>
std::optional<T> RoundChecked(double value) {
  double rounded = std::round(value);
  if (rounded < static_cast<double>(std::numeric_limits<T>::min()) ||
      rounded > static_cast<double>(std::numeric_limits<T>::max())) {
    return std::nullopt;
  }
  return static_cast<T>(rounded);
}

// Length units per inch, for converting universal measures.
std::optional<double> UnitsPerInch(std::string_view unit) {
  if (unit == "in") return 1.0;
  if (unit == "pt") return 72.0;
  if (unit == "pc" || unit == "pi") return 6.0;
  if (unit == "cm") return 2.54;
  if (unit == "mm") return 25.4;
  return std::nullopt;
}

}  // namespace

std::string_view CanonicalPrefix(std::string_view namespace_uri) {
  for (const auto& entry : kNamespaces) {
    if (entry.uri == namespace_uri) return entry.prefix;
  }
  return {};
}

void NormalizeNamespaces(pugi::xml_node root) {
  Normalizer().Run(root);
}

namespace {

// The memory of every pugixml tree. A large document's tree is tens of
// megabytes written once, page by page; taken from the heap it costs one page
// fault per 4 KiB, which on a virtual machine was a fifth of a conversion.
// Here it comes from 8 MiB chunks that ask for transparent huge pages, handed
// out from the front and returned whole once everything in them is freed
// (pugixml frees a tree's pages together, when the document goes). Requests
// above 1 MiB, and anything when a chunk cannot be mapped, go to malloc;
// deallocation tells the two apart by the chunk table, so memory pugixml got
// before these functions were installed is freed correctly too.
class TreeMemory {
 public:
  static void* Allocate(size_t size) { return Instance().Take(size); }
  static void Deallocate(void* block) { Instance().Give(block); }

 private:
  static constexpr size_t kChunkBytes = size_t{8} << 20;
  static constexpr size_t kLargestBlock = size_t{1} << 20;
  static constexpr size_t kAlignment = 16;

  struct Chunk {
    char* base = nullptr;
    size_t used = 0;
    size_t live = 0;
  };

  static TreeMemory& Instance() {
    // Never destroyed: trees may be freed by other static destructors.
    static TreeMemory* memory = new TreeMemory();
    return *memory;
  }

  void* Take(size_t size) {
    size = (size + kAlignment - 1) & ~(kAlignment - 1);
    if (size > kLargestBlock) return std::malloc(size);
    std::lock_guard<std::mutex> lock(mutex_);
    if (current_ == nullptr || current_->used + size > kChunkBytes) {
      current_ = NewChunk();
      if (current_ == nullptr) return std::malloc(size);
    }
    void* block = current_->base + current_->used;
    current_->used += size;
    ++current_->live;
    return block;
  }

  void Give(void* block) {
    if (block == nullptr) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const auto key = reinterpret_cast<std::uintptr_t>(block) & ~(kChunkBytes - 1);
      if (auto it = chunks_.find(key); it != chunks_.end()) {
        Chunk& chunk = it->second;
        if (--chunk.live == 0) {
          if (&chunk == current_) {
            chunk.used = 0;
          } else {
            ::munmap(chunk.base, kChunkBytes);
            chunks_.erase(it);
          }
        }
        return;
      }
    }
    std::free(block);
  }

  // A chunk aligned to its size, so a block finds its chunk by masking.
  Chunk* NewChunk() {
    void* mapped = ::mmap(nullptr, 2 * kChunkBytes, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kChunkBytes - 1) & ~(kChunkBytes - 1);
    if (aligned > start) ::munmap(mapped, aligned - start);
    const std::uintptr_t end = start + 2 * kChunkBytes;
    // Addresses stay derived from the mapping's pointer; only the offsets
    // are computed from its numeric value.
    char* base = static_cast<char*>(mapped) + (aligned - start);
    if (end > aligned + kChunkBytes) {
      ::munmap(base + kChunkBytes, end - (aligned + kChunkBytes));
    }
    ::madvise(base, kChunkBytes, MADV_HUGEPAGE);  // a hint; without THP it fails harmlessly
    Chunk& chunk = chunks_[aligned];
    chunk.base = base;
    return &chunk;
  }

  std::mutex mutex_;
  std::unordered_map<std::uintptr_t, Chunk> chunks_;
  Chunk* current_ = nullptr;
};

void UseTreeMemory() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    pugi::set_memory_management_functions(&TreeMemory::Allocate, &TreeMemory::Deallocate);
  });
}

// Whitespace-only text is kept when it is an element's only child: a run
// of `<w:t xml:space="preserve"> </w:t>` is a real space.
constexpr unsigned kParseOptions =
    pugi::parse_default | pugi::parse_doctype | pugi::parse_ws_pcdata_single;

// The checks and the renaming after pugixml has parsed a part.
support::Status FinishParse(const pugi::xml_parse_result& result, pugi::xml_document& doc) {
  if (!result) {
    std::string message = std::string("not well-formed XML (") + result.description() +
                          " at byte " + std::to_string(result.offset) + ")";
    doc.reset();
    return support::Status::Error(support::StatusCode::kInvalidInput, message);
  }
  for (pugi::xml_node child = doc.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_doctype) {
      doc.reset();
      return support::Status::Error(
          support::StatusCode::kInvalidInput,
          "not acceptable XML: it declares a DTD (DOCTYPE), which Word documents never contain");
    }
  }
  if (!doc.document_element()) {
    doc.reset();
    return support::Status::Error(support::StatusCode::kInvalidInput,
                                  "not well-formed XML (no root element)");
  }
  NormalizeNamespaces(doc);
  return support::Status::Ok();
}

}  // namespace

namespace {

// The value of encoding= in the text's XML declaration; empty without one.
std::string_view DeclaredEncoding(std::string_view text, size_t* value_start) {
  if (!text.starts_with("<?xml")) return {};
  const std::string_view declaration = text.substr(0, text.find("?>"));
  size_t at = declaration.find("encoding");
  if (at == std::string_view::npos) return {};
  at = declaration.find_first_not_of(" \t\r\n", at + 8);
  if (at == std::string_view::npos || declaration[at] != '=') return {};
  at = declaration.find_first_not_of(" \t\r\n", at + 1);
  if (at == std::string_view::npos || (declaration[at] != '"' && declaration[at] != '\''))
    return {};
  const size_t end = declaration.find(declaration[at], at + 1);
  if (end == std::string_view::npos) return {};
  *value_start = at + 1;
  return declaration.substr(at + 1, end - at - 1);
}

bool IsUnicodeOrAscii(std::string_view charset) {
  std::string lower(charset);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  static constexpr std::string_view kReadable[] = {"utf-8",           "utf8",     "utf-16",
                                                   "utf-16le",        "utf-16be", "ucs-2",
                                                   "iso-10646-ucs-2", "us-ascii", "ascii"};
  return std::find(std::begin(kReadable), std::end(kReadable), lower) != std::end(kReadable);
}

// The length of a character reference to U+0000 at text[at] ("&#0;",
// "&#x00;" ...), 0 for anything else.
size_t NulReferenceLength(std::string_view text, size_t at) {
  size_t pos = at + 2;
  if (pos < text.size() && (text[pos] == 'x' || text[pos] == 'X')) ++pos;
  const size_t digits = pos;
  while (pos < text.size() && text[pos] == '0') ++pos;
  if (pos == digits || pos >= text.size() || text[pos] != ';') return 0;
  return pos + 1 - at;
}

// Word writes none of these longer than 255 characters; a longer value
// (tens of megabytes, in a hostile file) would cost every later pass its
// length again. w:docVar values are the exception: they hold macros' data.
constexpr size_t kMaxShortAttributeBytes = 1024;

bool IsShortAttribute(std::string_view local_name) {
  static constexpr std::string_view kShort[] = {
      "val",     "color",      "fill",      "ascii",      "hAnsi",     "eastAsia", "cs",
      "styleId", "themeColor", "themeFill", "themeShade", "themeTint", "hint",     "id"};
  return std::find(std::begin(kShort), std::end(kShort), local_name) != std::end(kShort);
}

std::string_view LocalPart(std::string_view name) {
  const size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// Byte classes of the scans over whole parts, looked up rather than
// compared: they read every byte of parts of many megabytes, and the string
// searches for a set of bytes try each byte of the set in turn.
enum : unsigned char { kNameEnd = 1, kTagStop = 2, kXmlSpace = 4 };
constexpr std::array<unsigned char, 256> kByteClass = [] {
  std::array<unsigned char, 256> table{};
  for (unsigned char c : {' ', '\t', '\r', '\n'}) table[c] = kNameEnd | kXmlSpace;
  table['/'] = kNameEnd;
  table['>'] = kNameEnd | kTagStop;
  table['"'] = kTagStop;
  table['\''] = kTagStop;
  return table;
}();

// The first byte of `text` from `from` on whose class shares a bit with
// `classes` (or, with `negate`, shares none); npos when there is none.
size_t FindByClass(std::string_view text, size_t from, unsigned char classes, bool negate) {
  for (size_t i = from; i < text.size(); ++i) {
    if (((kByteClass[static_cast<unsigned char>(text[i])] & classes) != 0) != negate) return i;
  }
  return std::string_view::npos;
}

// The text without the values of IsShortAttribute attributes that are
// longer than Word ever writes them (the whole attribute goes); nullopt when
// there is none. `dropped` names one of them.
std::optional<std::string> WithoutOversizedAttributes(std::string_view text, size_t& count,
                                                      std::string& dropped) {
  std::string out;
  size_t copied = 0;
  size_t pos = 0;
  const auto skip_to = [&](std::string_view end, size_t from) {
    const size_t at = text.find(end, from);
    return at == std::string_view::npos ? text.size() : at + end.size();
  };
  while ((pos = text.find('<', pos)) != std::string_view::npos) {
    const std::string_view rest = text.substr(pos);
    if (rest.starts_with("<!--")) {
      pos = skip_to("-->", pos + 4);
      continue;
    }
    if (rest.starts_with("<![CDATA[")) {
      pos = skip_to("]]>", pos + 9);
      continue;
    }
    if (rest.starts_with("<?") || rest.starts_with("<!") || rest.starts_with("</")) {
      pos = skip_to(">", pos + 1);
      continue;
    }
    size_t at = pos + 1;
    const size_t name_end = FindByClass(text, at, kNameEnd, false);
    if (name_end == std::string_view::npos) break;
    const std::string_view element = LocalPart(text.substr(at, name_end - at));
    at = name_end;
    // Attributes up to the end of the tag.
    for (;;) {
      const size_t name_start = FindByClass(text, at, kXmlSpace, true);
      if (name_start == std::string_view::npos || text[name_start] == '>' ||
          text[name_start] == '/') {
        at = name_start;
        break;
      }
      const size_t equals = text.find('=', name_start);
      if (equals == std::string_view::npos) return std::nullopt;  // the parser will say why
      const size_t quote = FindByClass(text, equals + 1, kXmlSpace, true);
      if (quote == std::string_view::npos || (text[quote] != '"' && text[quote] != '\'')) {
        return std::nullopt;
      }
      const size_t close = text.find(text[quote], quote + 1);
      if (close == std::string_view::npos) return std::nullopt;
      std::string_view name = text.substr(name_start, equals - name_start);
      while (!name.empty() && (name.back() == ' ' || name.back() == '\t' || name.back() == '\r' ||
                               name.back() == '\n')) {
        name.remove_suffix(1);
      }
      if (close - quote - 1 > kMaxShortAttributeBytes && IsShortAttribute(LocalPart(name)) &&
          element != "docVar") {
        if (count == 0) out.reserve(text.size());
        out.append(text.substr(copied, name_start - copied));
        copied = close + 1;
        if (dropped.empty()) dropped = std::string(name);
        ++count;
      }
      at = close + 1;
    }
    if (at == std::string_view::npos) break;
    pos = at;
  }
  if (count == 0) return std::nullopt;
  out.append(text.substr(copied));
  return out;
}

}  // namespace

std::optional<std::string> RepairXmlText(std::string_view text, std::string_view part_name,
                                         std::vector<std::string>& notes) {
  std::optional<std::string> repaired;
  size_t value_start = 0;
  const std::string_view charset = DeclaredEncoding(text, &value_start);
  if (!charset.empty() && !IsUnicodeOrAscii(charset)) {
    size_t replaced = 0;
    support::Result<std::string> decoded = support::DecodeCharset(text, charset, &replaced);
    if (!decoded.ok()) {
      notes.push_back("part \"" + std::string(part_name) + "\" declares the character set \"" +
                      std::string(charset) + "\", which is not known; it is read as UTF-8");
    } else {
      // The declaration is ASCII, so it stands at the same place decoded.
      std::string utf8 = *decoded;
      utf8.replace(value_start, charset.size(), "UTF-8");
      if (replaced > 0) {
        notes.push_back(std::to_string(replaced) + " character(s) of part \"" +
                        std::string(part_name) + "\" are not valid " + std::string(charset) +
                        " and were replaced by U+FFFD");
      }
      repaired = std::move(utf8);
    }
  }
  const std::string_view current = repaired ? std::string_view(*repaired) : text;
  size_t removed = 0;
  std::string without_nul;
  size_t copied = 0;
  for (size_t at = current.find("&#"); at != std::string_view::npos;
       at = current.find("&#", at + 2)) {
    const size_t length = NulReferenceLength(current, at);
    if (length == 0) continue;
    if (removed == 0) without_nul.reserve(current.size());
    without_nul.append(current.substr(copied, at - copied));
    copied = at + length;
    ++removed;
  }
  if (removed > 0) {
    without_nul.append(current.substr(copied));
    notes.push_back(std::to_string(removed) + " NUL character(s) (&#0;) in part \"" +
                    std::string(part_name) + "\" were dropped; the text around them is kept");
    repaired = std::move(without_nul);
  }
  size_t oversized = 0;
  std::string example;
  std::optional<std::string> trimmed =
      WithoutOversizedAttributes(repaired ? std::string_view(*repaired) : text, oversized, example);
  if (trimmed) {
    notes.push_back(std::to_string(oversized) + " attribute value(s) in part \"" +
                    std::string(part_name) + "\" longer than " +
                    std::to_string(kMaxShortAttributeBytes) + " bytes (such as " + example +
                    "), far longer than Word writes them, were left out");
    repaired = std::move(trimmed);
  }
  return repaired;
}

support::Status ParseXmlPart(std::string_view bytes, pugi::xml_document& doc) {
  UseTreeMemory();
  doc.reset();
  pugi::xml_parse_result result =
      doc.load_buffer(bytes.data(), bytes.size(), kParseOptions, pugi::encoding_auto);
  return FinishParse(result, doc);
}

support::Status ParseXmlPartInPlace(char* text, size_t size, pugi::xml_document& doc) {
  UseTreeMemory();
  doc.reset();
  pugi::xml_parse_result result =
      doc.load_buffer_inplace(text, size, kParseOptions, pugi::encoding_auto);
  return FinishParse(result, doc);
}

bool IsAcceptedXmlInPlace(char* text, size_t size) {
  UseTreeMemory();
  pugi::xml_document doc;
  if (!doc.load_buffer_inplace(text, size, kParseOptions, pugi::encoding_auto)) return false;
  for (pugi::xml_node child = doc.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_doctype) return false;
  }
  return static_cast<bool>(doc.document_element());
}

namespace {

// The part of a qualified name after its prefix, split where the normaliser
// splits it (at the first colon).
std::string_view LocalName(std::string_view name) {
  const size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool IsMarkerName(std::string_view local) {
  return local == "bookmarkStart" || local == "bookmarkEnd" || local == "proofErr" ||
         local == "permStart" || local == "permEnd" || local == "commentRangeStart" ||
         local == "commentRangeEnd";
}

struct Markup {
  enum Kind { kStart, kEmpty, kEnd, kOther };  // kOther: comment, CDATA, processing instruction
  Kind kind = kOther;
  std::string_view name;  // of a start tag
};

// Reads the markup that starts at text[pos] ('<') and moves `pos` past it.
// False when it is not closed, or is a DTD or other declaration.
bool ReadMarkup(std::string_view text, size_t& pos, Markup& markup) {
  const auto* data = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  const size_t start = pos;
  const auto skip_past = [&](std::string_view terminator, size_t from) {
    const size_t end = text.find(terminator, from);
    if (end == std::string_view::npos) return false;
    pos = end + terminator.size();
    return true;
  };
  if (start + 1 >= size) return false;
  markup.kind = Markup::kOther;
  switch (data[start + 1]) {
    case '!':
      if (text.compare(start, 4, "<!--") == 0) return skip_past("-->", start + 4);
      if (text.compare(start, 9, "<![CDATA[") == 0) return skip_past("]]>", start + 9);
      return false;
    case '?':
      return skip_past("?>", start + 2);
    case '/': {
      const void* end = std::memchr(data + start + 2, '>', size - start - 2);
      if (end == nullptr) return false;
      markup.kind = Markup::kEnd;
      pos = static_cast<size_t>(static_cast<const unsigned char*>(end) - data) + 1;
      return true;
    }
    default:
      break;
  }
  size_t i = start + 1;
  while (i < size && (kByteClass[data[i]] & kNameEnd) == 0) ++i;
  markup.name = text.substr(start + 1, i - start - 1);
  // The tag ends at the first '>' outside a quoted attribute value, which may
  // hold '>' (and, though XML forbids it, '<').
  for (;; ++i) {
    while (i < size && (kByteClass[data[i]] & kTagStop) == 0) ++i;
    if (i >= size) return false;
    const unsigned char c = data[i];
    if (c == '>') break;
    // Values are short: a loop beats a call to memchr.
    do {
      ++i;
    } while (i < size && data[i] != c);
    if (i >= size) return false;
  }
  markup.kind = data[i - 1] == '/' ? Markup::kEmpty : Markup::kStart;
  pos = i + 1;
  return true;
}

}  // namespace

std::optional<BodyLayout> ScanBodyLayout(std::string_view text) {
  // UTF-16 and UTF-32 text has NUL bytes or a byte-order mark of 0xFE/0xFF
  // among its first four bytes; a UTF-8 mark is skipped like white space.
  for (size_t i = 0; i < 4 && i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == 0 || byte >= 0xFE) return std::nullopt;
  }
  BodyLayout layout;
  Markup markup;
  size_t pos = 0;
  // The prolog, to the root's start tag.
  do {
    pos = text.find('<', pos);
    if (pos == std::string_view::npos || !ReadMarkup(text, pos, markup)) return std::nullopt;
    if (markup.kind == Markup::kEmpty || markup.kind == Markup::kEnd) return std::nullopt;
  } while (markup.kind != Markup::kStart);
  // The root's children, to the body's start tag.
  size_t depth = 0;
  for (;;) {
    pos = text.find('<', pos);
    if (pos == std::string_view::npos || !ReadMarkup(text, pos, markup)) return std::nullopt;
    if (markup.kind == Markup::kEnd) {
      if (depth == 0) return std::nullopt;
      --depth;
    } else if (markup.kind != Markup::kOther) {
      if (depth == 0) {
        if (LocalName(markup.name) == "body") {
          if (markup.kind == Markup::kEmpty) return std::nullopt;
          break;
        }
        ++layout.body_index;
      }
      if (markup.kind == Markup::kStart) ++depth;
    }
  }
  layout.content_begin = pos;
  // The body's children, to its end tag.
  depth = 0;
  for (;;) {
    // Markup mostly follows markup: look at the next byte before searching.
    if (pos >= text.size() || text[pos] != '<') pos = text.find('<', pos);
    if (pos == std::string_view::npos) return std::nullopt;
    const size_t tag = pos;
    if (!ReadMarkup(text, pos, markup)) return std::nullopt;
    if (markup.kind == Markup::kOther) continue;
    if (markup.kind == Markup::kEnd) {
      if (depth == 0) {
        layout.content_end = tag;
        break;
      }
      --depth;
      continue;
    }
    // "sectPr", or any name that ends in ":sectPr".
    const std::string_view name = markup.name;
    const bool section =
        name.ends_with("sectPr") && (name.size() == 6 || name[name.size() - 7] == ':');
    if (depth == 0) {
      BodyLayout::Block block;
      block.begin = layout.blocks.empty() ? layout.content_begin : tag;
      block.marker = IsMarkerName(LocalName(name));
      layout.blocks.push_back(block);
    }
    if (section) layout.blocks.back().has_section = true;
    if (markup.kind == Markup::kStart) ++depth;
  }
  if (layout.blocks.empty()) return std::nullopt;
  return layout;
}

bool OnOffValue(std::string_view value) {
  value = Trim(value);
  return !(value == "0" || EqualsIgnoreCase(value, "false") || EqualsIgnoreCase(value, "off"));
}

std::optional<bool> OnOffChild(pugi::xml_node parent, const char* name) {
  pugi::xml_node child = parent.child(name);
  if (!child) return std::nullopt;
  pugi::xml_attribute val = child.attribute("w:val");
  if (!val) return true;
  return OnOffValue(val.value());
}

std::optional<int> IntAttribute(pugi::xml_node node, const char* name) {
  pugi::xml_attribute attr = node.attribute(name);
  if (!attr) return std::nullopt;
  std::string_view text = Trim(attr.value());
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

std::optional<int> TwipsAttribute(pugi::xml_node node, const char* name) {
  pugi::xml_attribute attr = node.attribute(name);
  if (!attr) return std::nullopt;
  double number = 0;
  std::string unit;
  if (!SplitMeasure(attr.value(), number, unit)) return std::nullopt;
  if (unit.empty()) return RoundChecked<int>(number);
  std::optional<double> per_inch = UnitsPerInch(unit);
  if (!per_inch) return std::nullopt;
  return RoundChecked<int>(number / *per_inch * 1440.0);
}

std::optional<long long> EmuAttribute(pugi::xml_node node, const char* name) {
  pugi::xml_attribute attr = node.attribute(name);
  if (!attr) return std::nullopt;
  double number = 0;
  std::string unit;
  if (!SplitMeasure(attr.value(), number, unit)) return std::nullopt;
  if (unit.empty()) return RoundChecked<long long>(number);
  std::optional<double> per_inch = UnitsPerInch(unit);
  if (!per_inch) return std::nullopt;
  return RoundChecked<long long>(number / *per_inch * 914400.0);
}

std::optional<int> PercentAttribute(pugi::xml_node node, const char* name, int whole_number_unit) {
  pugi::xml_attribute attr = node.attribute(name);
  if (!attr) return std::nullopt;
  double number = 0;
  std::string unit;
  if (!SplitMeasure(attr.value(), number, unit)) return std::nullopt;
  if (unit.empty()) return RoundChecked<int>(number);
  if (unit != "%") return std::nullopt;
  return RoundChecked<int>(number * whole_number_unit);
}

std::optional<std::string> TextAttribute(pugi::xml_node node, const char* name) {
  pugi::xml_attribute attr = node.attribute(name);
  if (!attr) return std::nullopt;
  return std::string(attr.value());
}

}  // namespace tessarine::convert
