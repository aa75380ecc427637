// Footnotes, endnotes and alternative-format chunks of the body writer.
#include "convert/html_notes.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <optional>
#include <utility>

#include "convert/html_body.h"
#include "convert/html_text.h"
#include "convert/numbering.h"
#include "support/base64.h"
#include "support/text_file.h"

namespace tessarine::convert {

namespace {

bool Is(pugi::xml_node node, const char* name) {
  return std::strcmp(node.name(), name) == 0;
}

bool OnOff(pugi::xml_attribute attribute) {
  const std::string_view value = attribute.value();
  return value == "1" || value == "true" || value == "on";
}

bool IsSpecialNote(pugi::xml_node note) {
  const std::string_view type = note.attribute("w:type").value();
  return type == "separator" || type == "continuationSeparator" || type == "continuationNotice";
}

// "ftn" / "edn": the stem of every id and name of a note.
std::string_view NoteStem(bool endnote) {
  return endnote ? "edn" : "ftn";
}

// Word's anchor: `back` is the mark inside the note, which links to the
// reference; the reference links to the note. A name already written (a
// note referred to twice) is not repeated.
std::string NoteAnchor(bool endnote, int number, bool back, bool with_name) {
  const std::string stem(NoteStem(endnote));
  const std::string n = std::to_string(number);
  std::string a = "<a style='mso-" + std::string(endnote ? "endnote" : "footnote") + "-id:" + stem +
                  n + "' href=\"#_" + stem + (back ? "ref" : "") + n + "\"";
  if (with_name) a += " name=\"_" + stem + (back ? "" : "ref") + n + "\"";
  a += " title=\"\">";
  return a;
}

std::string_view ReferenceClass(bool endnote) {
  return endnote ? "MsoEndnoteReference" : "MsoFootnoteReference";
}

// The run's wrapper tags with the reference character class in front when
// the run does not carry it (a reference without the style is still
// superscript in Word's display, which the class gives).
void ReferenceWrapper(bool endnote, std::string_view open, std::string_view close,
                      std::string& full_open, std::string& full_close) {
  const std::string class_tag = "<span class=" + std::string(ReferenceClass(endnote)) + ">";
  full_open.assign(open);
  full_close.assign(close);
  if (!open.starts_with(class_tag)) {
    full_open.insert(0, class_tag);
    full_close += "</span>";
  }
}

// The mark in Word's form: the special-character span whose fallback text
// "[N]" only browsers show.
std::string SpecialMark(bool endnote, const std::string& open, const std::string& close,
                        std::string_view text) {
  const std::string_view support = endnote ? "supportEndnotes" : "supportFootnotes";
  std::string html = open;
  html += "<span style='mso-special-character:footnote'><![if !";
  html += support;
  html += "]>";
  html += open;
  html += '[';
  AppendEscapedText(html, text);
  html += ']';
  html += close;
  html += "<![endif]></span>";
  html += close;
  return html;
}

// w:numFmt and w:numStart of a footnotePr / endnotePr element over `base`.
void OverrideNoteSettings(pugi::xml_node pr, NoteSettings& base) {
  if (!pr) return;
  if (const char* format = pr.child("w:numFmt").attribute("w:val").value(); *format != '\0') {
    base.number_format = format;
  }
  if (pugi::xml_attribute start = pr.child("w:numStart").attribute("w:val")) {
    base.start = start.as_int(1);
  }
}

std::string PartTarget(const DocxPackage& package, std::string_view type) {
  for (const Relationship& rel : package.Relationships(package.main_part_name())) {
    if (rel.type == type && !rel.external) return rel.target;
  }
  return {};
}

}  // namespace

std::string NoteMarkText(int number, const NoteSettings& settings, bool endnote) {
  const int value = std::clamp(settings.start.value_or(1), 0, 100000) + number - 1;
  std::string_view format = settings.number_format;
  if (format.empty()) format = endnote ? "lowerRoman" : "decimal";
  if (format == "chicago") {
    // * † ‡ §, then doubled, tripled … as Word cycles them; kept short.
    static constexpr std::array<std::string_view, 4> kSymbols = {"*", "\u2020", "\u2021", "\u00A7"};
    if (value <= 0) return std::to_string(value);
    const int repeat = std::min((value - 1) / 4 + 1, 8);
    std::string text;
    for (int i = 0; i < repeat; ++i) text += kSymbols[(value - 1) % 4];
    return text;
  }
  const std::optional<NumberFormat> parsed = ParseNumberFormat(format);
  std::string text = FormatNumber(value, parsed.value_or(NumberFormat::kDecimal));
  return text.empty() ? std::to_string(value) : text;
}

// --- BodyWriter: notes -------------------------------------------------------

namespace {

void PrepareNotes(const DocxPackage& package, NoteState& notes) {
  if (notes.prepared) return;
  notes.prepared = true;
  const DocumentSettings& settings = package.settings();
  notes.footnotes.settings = settings.footnotes;
  notes.endnotes.settings = settings.endnotes;
  // The last section's own note properties win over the document's.
  pugi::xml_node sect = package.body_outline().child("w:sectPr");
  OverrideNoteSettings(sect.child("w:footnotePr"), notes.footnotes.settings);
  OverrideNoteSettings(sect.child("w:endnotePr"), notes.endnotes.settings);
  notes.footnotes.part_name = PartTarget(package, kRelFootnotes);
  notes.endnotes.part_name = PartTarget(package, kRelEndnotes);
}

pugi::xml_node FindNote(const DocxPackage& package, NoteList& list, bool endnote,
                        std::string_view id) {
  if (!list.indexed) {
    list.indexed = true;
    const pugi::xml_document* part = endnote ? package.endnotes_part() : package.footnotes_part();
    if (part != nullptr) {
      const char* root_name = endnote ? "w:endnotes" : "w:footnotes";
      const char* note_name = endnote ? "w:endnote" : "w:footnote";
      for (pugi::xml_node note : part->child(root_name).children(note_name)) {
        if (IsSpecialNote(note)) continue;
        list.nodes.emplace(note.attribute("w:id").value(), note);
      }
    }
  }
  auto it = list.nodes.find(id);
  return it != list.nodes.end() ? it->second : pugi::xml_node();
}

}  // namespace

pugi::xml_node BodyWriter::WriteNoteReference(pugi::xml_node ref, std::string_view open,
                                              std::string_view close) {
  const bool endnote = Is(ref, "w:endnoteReference");
  // A custom mark is the text that follows the reference in its run.
  pugi::xml_node last = ref;
  std::string custom;
  const bool has_custom = OnOff(ref.attribute("w:customMarkFollows"));
  if (has_custom) {
    for (pugi::xml_node next = ref.next_sibling(); next && Is(next, "w:t");
         next = next.next_sibling()) {
      custom += next.text().get();
      last = next;
    }
  }
  if (InFieldCode()) return last;
  PrepareNotes(*doc_.package, notes_);
  NoteList& list = endnote ? notes_.endnotes : notes_.footnotes;
  const std::string_view id = ref.attribute("w:id").value();
  const pugi::xml_node note = FindNote(*doc_.package, list, endnote, id);

  PrepareContent();
  CloseWrapper();
  std::string full_open, full_close;
  ReferenceWrapper(endnote, open, close, full_open, full_close);
  if (!note || list.closed) {
    // Nothing to link to: the mark alone, as the reader would see it.
    out_ += full_open;
    AppendEscapedText(out_, has_custom ? custom : std::string("*"));
    out_ += full_close;
    para_->at_line_start = false;
    para_->has_content = true;
    if (!note && !notes_.missing_reported) {
      doc_.Diagnose("A note reference names a note that does not exist; its mark has no note.");
      notes_.missing_reported = true;
    }
    return last;
  }
  bool first = false;
  int number = 0;
  if (auto it = list.numbers.find(id); it != list.numbers.end()) {
    number = it->second;
  } else {
    list.ids.emplace_back(id);
    number = static_cast<int>(list.ids.size());
    list.numbers.emplace(std::string(id), number);
    first = true;
  }
  // Anchors cannot nest: inside a link the mark goes without its own.
  bool anchor_open = false;
  for (const InlineElement& element : para_->inline_stack) {
    anchor_open = anchor_open || element.close == "</a>";
  }
  if (!anchor_open) out_ += NoteAnchor(endnote, number, false, first);
  if (has_custom) {
    out_ += full_open;
    AppendEscapedText(out_, custom);
    out_ += full_close;
  } else {
    out_ +=
        SpecialMark(endnote, full_open, full_close, NoteMarkText(number, list.settings, endnote));
  }
  if (!anchor_open) out_ += "</a>";
  para_->at_line_start = false;
  para_->has_content = true;
  return last;
}

void BodyWriter::WriteNoteMark(pugi::xml_node /*mark*/, std::string_view open,
                               std::string_view close) {
  if (notes_.current_number == 0 || InFieldCode()) return;
  const bool endnote = notes_.current_endnote;
  const NoteList& list = endnote ? notes_.endnotes : notes_.footnotes;
  PrepareContent();
  CloseWrapper();
  std::string full_open, full_close;
  ReferenceWrapper(endnote, open, close, full_open, full_close);
  bool anchor_open = false;
  for (const InlineElement& element : para_->inline_stack) {
    anchor_open = anchor_open || element.close == "</a>";
  }
  if (!anchor_open) {
    out_ += NoteAnchor(endnote, notes_.current_number, true, !notes_.current_mark_written);
    notes_.current_mark_written = true;
  }
  out_ += SpecialMark(endnote, full_open, full_close,
                      NoteMarkText(notes_.current_number, list.settings, endnote));
  if (!anchor_open) out_ += "</a>";
  para_->at_line_start = false;
  para_->has_content = true;
}

void BodyWriter::WriteNoteLists() {
  if (!notes_.prepared) return;  // no reference was met
  // The notes are stories of their own: fields, links and bookmarks of the
  // body do not reach into them.
  block_bookmarks_.clear();
  std::vector<Field> saved_fields;
  saved_fields.swap(fields_);
  const std::string saved_table_style = std::move(current_table_style_);
  current_table_style_.clear();
  const std::string saved_story = std::move(story_part_);

  auto write_list = [&](bool endnote) {
    NoteList& list = endnote ? notes_.endnotes : notes_.footnotes;
    if (list.ids.empty()) {
      list.closed = true;
      return;
    }
    const std::string_view stem = NoteStem(endnote);
    const std::string kind = endnote ? "endnote" : "footnote";
    const std::string_view support = endnote ? "supportEndnotes" : "supportFootnotes";
    out_ += "<div style='mso-element:" + kind + "-list'><![if !";
    out_ += support;
    out_ +=
        "]><br clear=all>\r\n\r\n<hr align=left size=1 width=\"33%\">\r\n\r\n<![endif]>\r\n\r\n";
    story_part_ = list.part_name;
    const char* mark_name = endnote ? "w:endnoteRef" : "w:footnoteRef";
    // References inside notes may add notes while the list is written.
    for (size_t i = 0; i < list.ids.size(); ++i) {
      const int number = static_cast<int>(i + 1);
      const std::string name = std::string(stem) + std::to_string(number);
      out_ += "<div style='mso-element:" + kind + "' id=" + name + ">\r\n\r\n";
      const pugi::xml_node note = list.nodes[list.ids[i]];
      notes_.current_number = number;
      notes_.current_endnote = endnote;
      notes_.current_mark_written = false;
      // Without a mark of its own the note still needs the target its
      // reference links to.
      if (!note.find_node([&](pugi::xml_node n) { return Is(n, mark_name); })) {
        block_bookmarks_.push_back("_" + name);
      }
      WriteBlocks(note, 0);
      block_bookmarks_.clear();
      fields_.clear();
      out_ += "</div>\r\n\r\n";
    }
    list.closed = true;
    out_ += "</div>\r\n\r\n";
  };
  write_list(false);
  write_list(true);
  notes_.current_number = 0;
  story_part_ = saved_story;
  current_table_style_ = saved_table_style;
  fields_.swap(saved_fields);
}

// --- BodyWriter: alternative-format chunks -----------------------------------

void BodyWriter::WriteAltChunk(pugi::xml_node chunk, int depth) {
  const char* id = chunk.attribute("r:id").value();
  const Relationship* rel = story_part_.empty() ? doc_.package->MainRelationship(id)
                                                : doc_.package->FindRelationship(story_part_, id);
  if (rel == nullptr || rel->external) {
    doc_.Diagnose("Embedded content (altChunk) whose part is missing was left out.");
    return;
  }
  const std::string type = doc_.package->content_types().Of(rel->target);
  support::Result<std::string> bytes = doc_.package->BinaryPart(rel->target);
  if (!bytes) {
    doc_.Diagnose(bytes.message());
    return;
  }
  std::string lower;
  for (char c : type) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  std::vector<std::string> paragraphs = AltChunkParagraphs(*bytes, lower);
  if (paragraphs.empty()) {
    if (lower != "text/html" && lower != "application/xhtml+xml" && lower != "text/plain" &&
        lower != "message/rfc822") {
      doc_.Diagnose(
          "Embedded content " + rel->target + " (altChunk) of " +
          (type.empty() ? std::string("no stated content type") : "content type " + type) +
          " was left out.");
    }
    return;
  }
  std::string open = "<p class=" + ParagraphStyle(default_paragraph_style_).class_name;
  open += '>';
  for (const std::string& text : paragraphs) {
    BlockLineStart(depth);
    out_ += open;
    // Bookmarks waiting for a paragraph stand in front of the chunk's first.
    for (const std::string& name : block_bookmarks_) {
      out_ += "<a name=\"";
      AppendAttributeText(out_, name);
      out_ += "\"></a>";
    }
    block_bookmarks_.clear();
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      if (start > 0) out_ += "<br>\r\n";
      AppendEscapedText(out_, std::string_view(text).substr(start, end - start));
      start = end + 1;
    }
    out_ += text.empty() ? "<o:p>&nbsp;</o:p></p>" : "<o:p></o:p></p>";
    BlockLineEnd(depth);
  }
}

// --- Chunk text ----------------------------------------------------------------

namespace {

// Only this much of a chunk is read: a chunk is a piece of a document, and
// the text it yields is held in memory several times over.
constexpr size_t kMaxChunkBytes = 16u << 20;
constexpr size_t kMaxParagraphs = 100000;

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Lower(c);
  return out;
}

bool StartsWithNoCase(std::string_view text, size_t pos, std::string_view prefix) {
  if (pos + prefix.size() > text.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (Lower(text[pos + i]) != prefix[i]) return false;
  }
  return true;
}

size_t FindNoCase(std::string_view text, std::string_view needle, size_t from = 0) {
  for (size_t pos = from; pos + needle.size() <= text.size(); ++pos) {
    if (StartsWithNoCase(text, pos, needle)) return pos;
  }
  return std::string_view::npos;
}

bool IsValidUtf8(std::string_view bytes) {
  size_t pos = 0;
  while (pos < bytes.size()) {
    const size_t before = pos;
    const char32_t c = NextCodePoint(bytes, pos);
    if (c == 0xFFFD && !(pos - before == 3 && bytes.substr(before, 3) == "\xEF\xBF\xBD")) {
      return false;
    }
  }
  return true;
}

// The value of charset= in a Content-Type or meta text, lower case.
std::string CharsetOf(std::string_view text) {
  const size_t at = FindNoCase(text, "charset=");
  if (at == std::string_view::npos) return {};
  size_t pos = at + 8;
  while (pos < text.size() && (text[pos] == '"' || text[pos] == '\'' || text[pos] == ' ')) ++pos;
  std::string value;
  while (pos < text.size() && value.size() < 40 &&
         (std::isalnum(static_cast<unsigned char>(text[pos])) || text[pos] == '-' ||
          text[pos] == '_')) {
    value += Lower(text[pos++]);
  }
  return value;
}

// Bytes in `charset` (or the encoding their mark shows) as UTF-8.
std::string ToUtf8(std::string_view bytes, std::string_view charset) {
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    return support::DecodeText(bytes.substr(3), support::EncodingUtf8);
  }
  if (bytes.starts_with("\xFF\xFE")) {
    return support::DecodeText(bytes.substr(2), support::EncodingUtf16LE);
  }
  if (bytes.starts_with("\xFE\xFF")) {
    return support::DecodeText(bytes.substr(2), support::EncodingUtf16BE);
  }
  if (charset == "gb2312" || charset == "gbk" || charset == "gb18030" || charset == "cp936" ||
      charset == "x-cp20936") {
    return support::DecodeText(bytes, support::EncodingAnsi);
  }
  if (charset.starts_with("utf-16") || charset == "unicode") {
    return support::DecodeText(
        bytes, charset == "utf-16be" ? support::EncodingUtf16BE : support::EncodingUtf16LE);
  }
  if (charset == "utf-8" || (charset.empty() && IsValidUtf8(bytes))) {
    return support::DecodeText(bytes, support::EncodingUtf8);
  }
  // Western single-byte text (windows-1252, iso-8859-1 and anything
  // unknown): each byte as the code point of the same value.
  std::string out;
  out.reserve(bytes.size());
  // The C1 range holds Windows-1252's extra characters, which is what such
  // text nearly always means.
  static constexpr char16_t kCp1252High[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  for (char c : bytes) {
    const unsigned char byte = static_cast<unsigned char>(c);
    AppendUtf8(out, byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : byte);
  }
  return out;
}

// HTML 4 names of U+00A0 … U+00FF in order, and a few common others.
constexpr std::array<std::string_view, 96> kLatin1Entities = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",
    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn",
    "sup2",   "sup3",   "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",
    "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde",
    "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave",
    "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde",
    "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",
    "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
    "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};

struct NamedEntity {
  std::string_view name;
  char32_t code;
};
constexpr std::array<NamedEntity, 17> kOtherEntities = {{
    {"amp", '&'},
    {"lt", '<'},
    {"gt", '>'},
    {"quot", '"'},
    {"apos", '\''},
    {"ndash", 0x2013},
    {"mdash", 0x2014},
    {"lsquo", 0x2018},
    {"rsquo", 0x2019},
    {"ldquo", 0x201C},
    {"rdquo", 0x201D},
    {"bull", 0x2022},
    {"hellip", 0x2026},
    {"euro", 0x20AC},
    {"trade", 0x2122},
    {"ensp", 0x2002},
    {"emsp", 0x2003},
}};

// Decodes the character reference at `pos` ('&'), advancing past it; a
// lone '&' stays itself.
void AppendReference(std::string_view text, size_t& pos, std::string& out) {
  const size_t semicolon = text.find(';', pos);
  if (semicolon == std::string_view::npos || semicolon - pos > 12 || semicolon == pos + 1) {
    out += '&';
    ++pos;
    return;
  }
  const std::string_view body = text.substr(pos + 1, semicolon - pos - 1);
  char32_t code = 0;
  if (body[0] == '#') {
    const bool hex = body.size() > 1 && (body[1] == 'x' || body[1] == 'X');
    unsigned long value = 0;
    bool digits = false;
    for (size_t i = hex ? 2 : 1; i < body.size(); ++i) {
      const char c = body[i];
      int digit = -1;
      if (c >= '0' && c <= '9') digit = c - '0';
      if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      if (digit < 0) {
        digits = false;
        break;
      }
      value = std::min<unsigned long>(value * (hex ? 16 : 10) + digit, 0x110000);
      digits = true;
    }
    if (!digits) {
      out += '&';
      ++pos;
      return;
    }
    code = (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
               ? 0xFFFD
               : static_cast<char32_t>(value);
  } else {
    for (size_t i = 0; i < kLatin1Entities.size() && code == 0; ++i) {
      if (kLatin1Entities[i] == body) code = static_cast<char32_t>(0xA0 + i);
    }
    for (const NamedEntity& entity : kOtherEntities) {
      if (code == 0 && entity.name == body) code = entity.code;
    }
    if (code == 0) {
      out += '&';
      ++pos;
      return;
    }
  }
  AppendUtf8(out, code);
  pos = semicolon + 1;
}

// Collects paragraphs: white space collapsed, breaks kept.
class TextCollector {
 public:
  void Text(std::string_view text, bool preformatted) {
    for (char c : text) {
      if (paragraphs_.size() >= kMaxParagraphs) return;
      const bool space = c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
      if (preformatted && c == '\n') {
        Break();
      } else if (space && !preformatted) {
        pending_space_ = !current_.empty() && current_.back() != '\n';
      } else if (c != '\r') {
        if (pending_space_) current_ += ' ';
        pending_space_ = false;
        current_ += space ? ' ' : c;
      }
    }
  }
  void Break() {
    pending_space_ = false;
    current_ += '\n';
  }
  void Cell() { pending_space_ = !current_.empty() && current_.back() != '\n'; }
  void EndParagraph() {
    pending_space_ = false;
    while (!current_.empty() && (current_.back() == ' ' || current_.back() == '\n')) {
      current_.pop_back();
    }
    if (!current_.empty() && paragraphs_.size() < kMaxParagraphs) {
      paragraphs_.push_back(std::move(current_));
    }
    current_.clear();
  }
  std::vector<std::string> Take() {
    EndParagraph();
    return std::move(paragraphs_);
  }

 private:
  std::vector<std::string> paragraphs_;
  std::string current_;
  bool pending_space_ = false;
};

bool IsBlockTag(std::string_view name) {
  static constexpr std::array<std::string_view, 30> kBlocks = {
      "p",    "div",    "h1",      "h2",         "h3",     "h4",     "h5",      "h6",
      "li",   "tr",     "table",   "blockquote", "pre",    "ul",     "ol",      "dl",
      "dt",   "dd",     "section", "article",    "header", "footer", "address", "hr",
      "form", "center", "caption", "figure",     "nav",    "main"};
  return std::find(kBlocks.begin(), kBlocks.end(), name) != kBlocks.end();
}

std::vector<std::string> HtmlParagraphs(std::string_view html) {
  // The body's content only; a fragment without <body> is taken whole.
  if (size_t body = FindNoCase(html, "<body"); body != std::string_view::npos) {
    const size_t close = html.find('>', body);
    html = close == std::string_view::npos ? std::string_view() : html.substr(close + 1);
    if (size_t end = FindNoCase(html, "</body"); end != std::string_view::npos) {
      html = html.substr(0, end);
    }
  }
  TextCollector collector;
  std::string text;
  int pre_depth = 0;
  size_t pos = 0;
  auto flush = [&] {
    collector.Text(text, pre_depth > 0);
    text.clear();
  };
  while (pos < html.size()) {
    const char c = html[pos];
    if (c == '&') {
      AppendReference(html, pos, text);
      continue;
    }
    if (c != '<') {
      text += c;
      ++pos;
      continue;
    }
    if (html.substr(pos).starts_with("<!--")) {
      const size_t end = html.find("-->", pos + 4);
      pos = end == std::string_view::npos ? html.size() : end + 3;
      continue;
    }
    const size_t close = html.find('>', pos);
    if (close == std::string_view::npos) break;
    std::string_view tag = html.substr(pos + 1, close - pos - 1);
    pos = close + 1;
    const bool end_tag = tag.starts_with('/');
    if (end_tag) tag.remove_prefix(1);
    size_t name_end = 0;
    while (name_end < tag.size() &&
           (std::isalnum(static_cast<unsigned char>(tag[name_end])) || tag[name_end] == ':')) {
      ++name_end;
    }
    const std::string name = LowerText(tag.substr(0, name_end));
    if (name.empty()) continue;  // <!DOCTYPE>, <![if …]>, <?xml?>
    if (!end_tag && (name == "script" || name == "style" || name == "head" || name == "title" ||
                     name == "noscript" || name == "template" || name == "xml" ||
                     name == "textarea" || name == "select")) {
      // Skipped with everything up to its end tag.
      const size_t end = FindNoCase(html, "</" + name, pos);
      pos = end == std::string_view::npos ? html.size() : html.find('>', end);
      pos = pos == std::string_view::npos ? html.size() : pos + 1;
      continue;
    }
    if (name == "br") {
      flush();
      collector.Break();
    } else if (name == "td" || name == "th") {
      flush();
      if (!end_tag) collector.Cell();
    } else if (IsBlockTag(name)) {
      flush();
      collector.EndParagraph();
      if (name == "pre") pre_depth = std::max(0, pre_depth + (end_tag ? -1 : 1));
    }
  }
  flush();
  return collector.Take();
}

std::vector<std::string> PlainParagraphs(std::string_view text) {
  std::vector<std::string> paragraphs;
  size_t start = 0;
  while (start < text.size() && paragraphs.size() < kMaxParagraphs) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(start, end - start));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::replace(line.begin(), line.end(), '\t', ' ');
    paragraphs.push_back(std::move(line));
    start = end + 1;
  }
  while (!paragraphs.empty() && paragraphs.back().empty()) paragraphs.pop_back();
  return paragraphs;
}

std::string DecodeQuotedPrintable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  auto hex = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '=') {
      out += text[i];
    } else if (i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n')) {
      i += (text[i + 1] == '\r' && i + 2 < text.size() && text[i + 2] == '\n') ? 2 : 1;
    } else if (i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
      out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
      i += 2;
    } else {
      out += '=';
    }
  }
  return out;
}

// One header's value (folded lines joined) from a MIME header block.
std::string HeaderValue(std::string_view headers, std::string_view name) {
  size_t pos = 0;
  while (pos < headers.size()) {
    size_t end = headers.find('\n', pos);
    if (end == std::string_view::npos) end = headers.size();
    if (StartsWithNoCase(headers, pos, name) && pos + name.size() < headers.size() &&
        headers[pos + name.size()] == ':') {
      std::string value(headers.substr(pos + name.size() + 1, end - pos - name.size() - 1));
      while (end + 1 < headers.size() && (headers[end + 1] == ' ' || headers[end + 1] == '\t')) {
        const size_t next = headers.find('\n', end + 1);
        const size_t stop = next == std::string_view::npos ? headers.size() : next;
        value += headers.substr(end + 1, stop - end - 1);
        end = stop;
      }
      std::erase(value, '\r');
      return value;
    }
    pos = end + 1;
  }
  return {};
}

// Splits a MIME entity at its blank line.
std::pair<std::string_view, std::string_view> SplitEntity(std::string_view entity) {
  size_t blank = entity.find("\r\n\r\n");
  size_t skip = 4;
  const size_t lf = entity.find("\n\n");
  if (lf != std::string_view::npos && (blank == std::string_view::npos || lf < blank)) {
    blank = lf;
    skip = 2;
  }
  if (blank == std::string_view::npos) return {entity, {}};
  return {entity.substr(0, blank), entity.substr(blank + skip)};
}

std::string Decoded(std::string_view headers, std::string_view body) {
  const std::string encoding = LowerText(HeaderValue(headers, "content-transfer-encoding"));
  if (encoding.find("quoted-printable") != std::string::npos) return DecodeQuotedPrintable(body);
  if (encoding.find("base64") != std::string::npos) return support::DecodeBase64Lenient(body);
  return std::string(body);
}

std::vector<std::string> ArchiveParagraphs(std::string_view archive) {
  const auto [headers, body] = SplitEntity(archive);
  const std::string type = HeaderValue(headers, "content-type");
  const std::string lower_type = LowerText(type);
  if (!lower_type.starts_with(" multipart") && !lower_type.starts_with("multipart")) {
    const std::string content = Decoded(headers, body);
    const std::string utf8 = ToUtf8(content, CharsetOf(type));
    return lower_type.find("text/plain") != std::string::npos ? PlainParagraphs(utf8)
                                                              : HtmlParagraphs(utf8);
  }
  // The boundary parameter, quoted or not.
  const size_t at = FindNoCase(type, "boundary=");
  if (at == std::string::npos) return {};
  std::string boundary = type.substr(at + 9);
  if (!boundary.empty() && boundary[0] == '"') {
    const size_t end = boundary.find('"', 1);
    boundary = boundary.substr(1, end == std::string::npos ? std::string::npos : end - 1);
  } else {
    boundary = boundary.substr(0, boundary.find_first_of("; \t"));
  }
  if (boundary.empty()) return {};
  const std::string delimiter = "--" + boundary;
  size_t pos = body.find(delimiter);
  while (pos != std::string_view::npos) {
    size_t start = body.find('\n', pos);
    if (start == std::string_view::npos) break;
    ++start;
    const size_t next = body.find(delimiter, start);
    const std::string_view part =
        body.substr(start, (next == std::string_view::npos ? body.size() : next) - start);
    const auto [part_headers, part_body] = SplitEntity(part);
    const std::string part_type = HeaderValue(part_headers, "content-type");
    if (LowerText(part_type).find("text/html") != std::string::npos) {
      return HtmlParagraphs(ToUtf8(Decoded(part_headers, part_body), CharsetOf(part_type)));
    }
    pos = next;
  }
  return {};
}

}  // namespace

std::vector<std::string> AltChunkParagraphs(std::string_view content,
                                            std::string_view content_type) {
  content = content.substr(0, std::min(content.size(), kMaxChunkBytes));
  if (content_type == "text/html" || content_type == "application/xhtml+xml") {
    const std::string_view head = content.substr(0, std::min<size_t>(content.size(), 4096));
    return HtmlParagraphs(ToUtf8(content, CharsetOf(head)));
  }
  if (content_type == "text/plain") return PlainParagraphs(ToUtf8(content, {}));
  if (content_type == "message/rfc822") return ArchiveParagraphs(content);
  return {};
}

}  // namespace tessarine::convert
