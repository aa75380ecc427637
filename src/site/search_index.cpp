#include "site/search_index.h"

#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <unordered_map>

#include "support/text_file.h"

namespace tessarine::site {
namespace {

namespace fs = std::filesystem;

UChar32 NextCodePointChecked(std::string_view text, size_t* pos) {
  UChar32 c = 0;
  int32_t i = static_cast<int32_t>(*pos);
  U8_NEXT(text.data(), i, static_cast<int32_t>(text.size()), c);
  *pos = static_cast<size_t>(i);
  return c < 0 ? 0xFFFD : c;
}

// Next code point of `text` from `*pos` (advanced); U+FFFD for a bad byte.
// ASCII and the three-byte characters that can be neither overlong nor
// surrogates (leads E1..EC, EE, EF: every CJK ideograph) are read here.
inline UChar32 NextCodePoint(std::string_view text, size_t* pos) {
  const size_t at = *pos;
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) {
    *pos = at + 1;
    return lead;
  }
  if (lead >= 0xE1 && lead != 0xED && lead <= 0xEF && at + 2 < text.size()) {
    const auto second = static_cast<unsigned char>(text[at + 1]);
    const auto third = static_cast<unsigned char>(text[at + 2]);
    if ((second & 0xC0) == 0x80 && (third & 0xC0) == 0x80) {
      *pos = at + 3;
      return static_cast<UChar32>((lead & 0x0Fu) << 12 | (second & 0x3Fu) << 6 | (third & 0x3Fu));
    }
  }
  return NextCodePointChecked(text, pos);
}

bool IsAsciiAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
}

void AppendCodePoint(std::string& out, UChar32 c) {
  char buffer[4];
  int32_t length = 0;
  UBool error = false;
  U8_APPEND(buffer, length, 4, c, error);
  if (!error) out.append(buffer, static_cast<size_t>(length));
}

// Chinese, Japanese and Korean script: indexed character by character.
bool IsCjk(UChar32 c) {
  if (c < 0x2E80) return false;                 // below every CJK block
  if (c >= 0x4E00 && c <= 0x9FFF) return true;  // the common ideographs
  if (c >= 0xAC00 && c <= 0xD7A3) return true;  // Hangul syllables
  UErrorCode status = U_ZERO_ERROR;
  switch (uscript_getScript(c, &status)) {
    case USCRIPT_HAN:
    case USCRIPT_HIRAGANA:
    case USCRIPT_KATAKANA:
    case USCRIPT_HANGUL:
    case USCRIPT_BOPOMOFO:
      return true;
    default:
      return false;
  }
}

// Letters, marks and decimal digits make words.
bool IsWordChar(UChar32 c) {
  if (c < 0x80) return IsAsciiAlnum(static_cast<unsigned char>(c));
  return (U_GET_GC_MASK(c) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_ND_MASK)) != 0;
}

// The character a reference names, or -1. Only the names Word and the
// clean-up passes write are known; others stay as text.
UChar32 NamedReference(std::string_view name) {
  static const std::unordered_map<std::string_view, UChar32> kNames = {
      {"amp", '&'},      {"lt", '<'},        {"gt", '>'},       {"quot", '"'},
      {"apos", '\''},    {"nbsp", 0xA0},     {"copy", 0xA9},    {"reg", 0xAE},
      {"trade", 0x2122}, {"hellip", 0x2026}, {"mdash", 0x2014}, {"ndash", 0x2013},
      {"lsquo", 0x2018}, {"rsquo", 0x2019},  {"ldquo", 0x201C}, {"rdquo", 0x201D},
      {"middot", 0xB7},  {"bull", 0x2022},   {"deg", 0xB0},     {"times", 0xD7},
      {"shy", 0xAD},     {"ensp", 0x2002},   {"emsp", 0x2003},  {"thinsp", 0x2009},
  };
  const auto it = kNames.find(name);
  return it == kNames.end() ? -1 : it->second;
}

// Decodes the reference at html[pos] == '&'; returns its length (0 when it is
// no reference) and sets *c.
size_t DecodeReference(std::string_view html, size_t pos, UChar32* c) {
  const size_t end = html.find(';', pos);
  if (end == std::string_view::npos || end - pos > 12 || end - pos < 3) return 0;
  std::string_view body = html.substr(pos + 1, end - pos - 1);
  if (body[0] == '#') {
    int base = 10;
    body.remove_prefix(1);
    if (!body.empty() && (body[0] == 'x' || body[0] == 'X')) {
      base = 16;
      body.remove_prefix(1);
    }
    if (body.empty()) return 0;
    long value = 0;
    for (char ch : body) {
      const int digit = std::isdigit(static_cast<unsigned char>(ch)) ? ch - '0'
                        : base == 16 && std::isxdigit(static_cast<unsigned char>(ch))
                            ? (std::tolower(static_cast<unsigned char>(ch)) - 'a' + 10)
                            : -1;
      if (digit < 0) return 0;
      value = value * base + digit;
      if (value > 0x10FFFF) return 0;
    }
    *c = static_cast<UChar32>(value);
    if (U_IS_SURROGATE(*c) || *c == 0) *c = 0xFFFD;
    return end - pos + 1;
  }
  const UChar32 named = NamedReference(body);
  if (named < 0) return 0;
  *c = named;
  return end - pos + 1;
}

bool StartsWithNoCase(std::string_view text, size_t pos, std::string_view word) {
  if (text.size() - pos < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[pos + i])) != word[i]) return false;
  }
  return true;
}

// Where the element that opens at `pos` ("<script" or "<style") ends,
// after its closing tag.
size_t SkipRawElement(std::string_view html, size_t pos, std::string_view name) {
  const std::string closing = "</" + std::string(name);
  for (size_t at = html.find("</", pos); at != std::string_view::npos;
       at = html.find("</", at + 2)) {
    if (StartsWithNoCase(html, at, closing)) {
      const size_t end = html.find('>', at);
      return end == std::string_view::npos ? html.size() : end + 1;
    }
  }
  return html.size();
}

// The generated contents and related-topics blocks list other pages' titles:
// they would make every home page match every title. Where the block that
// opens at `pos` ends (after its </div>, nested divs counted), or npos.
size_t SkipNavigationBlock(std::string_view html, size_t pos) {
  static constexpr std::string_view kBlocks[] = {R"(<div id="tessarine_toc">)",
                                                 R"(<div id="tessarine_relative">)"};
  if (std::none_of(std::begin(kBlocks), std::end(kBlocks),
                   [&](std::string_view block) { return html.substr(pos).starts_with(block); })) {
    return std::string_view::npos;
  }
  int depth = 0;
  for (size_t at = pos; (at = html.find('<', at)) != std::string_view::npos; ++at) {
    if (StartsWithNoCase(html, at, "<div")) ++depth;
    if (StartsWithNoCase(html, at, "</div") && --depth == 0) {
      const size_t end = html.find('>', at);
      return end == std::string_view::npos ? html.size() : end + 1;
    }
  }
  return html.size();
}

// Whether a tag ("<name ..." without its ">") separates the text around it
// the way a browser shows it: block elements, cells and line breaks do,
// inline elements (a word or a Chinese phrase split by <span>) do not.
bool BreaksText(std::string_view tag) {
  static constexpr std::string_view kBlocks[] = {
      "p",  "div", "br", "td", "th",         "tr",  "li", "ul", "ol", "table",   "h1", "h2",
      "h3", "h4",  "h5", "h6", "blockquote", "pre", "hr", "dt", "dd", "caption", "img"};
  constexpr size_t kLongest = 10;  // "blockquote"
  size_t start = 1;
  if (start < tag.size() && tag[start] == '/') ++start;
  size_t end = start;
  while (end < tag.size() && IsAsciiAlnum(static_cast<unsigned char>(tag[end]))) ++end;
  if (end == start || end - start > kLongest) return false;
  char name[kLongest];
  for (size_t k = start; k < end; ++k) {
    name[k - start] = static_cast<char>(std::tolower(static_cast<unsigned char>(tag[k])));
  }
  const std::string_view lower(name, end - start);
  return std::find(std::begin(kBlocks), std::end(kBlocks), lower) != std::end(kBlocks);
}

// Script string literal of UTF-8 text. In ANSI only ASCII and the ideographs
// code page 936 holds go in as they are.
void AppendScriptString(std::string& out, std::string_view text, bool ansi) {
  static constexpr char kHex[] = "0123456789abcdef";
  const auto escape_unit = [&](uint16_t unit) {
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(unit >> shift) & 0xF];
  };
  out += '"';
  for (size_t pos = 0; pos < text.size();) {
    // Most of it: printable ASCII that needs no escape.
    if (const auto byte = static_cast<unsigned char>(text[pos]);
        byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\' &&
        (byte != '/' || pos == 0 || text[pos - 1] != '<')) {
      out += static_cast<char>(byte);
      ++pos;
      continue;
    }
    const size_t start = pos;
    const UChar32 c = NextCodePoint(text, &pos);
    // Controls, the line separators a script ends a line at, and the slash
    // of "</" that would close the script element.
    const bool must_escape = c < 0x20 || c == 0x7F || c == 0x2028 || c == 0x2029 ||
                             (c == '/' && start > 0 && text[start - 1] == '<');
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (!must_escape && (c < 0x80 || !ansi || (c >= 0x4E00 && c <= 0x9FA5))) {
      out.append(text.substr(start, pos - start));
    } else if (c > 0xFFFF) {
      escape_unit(static_cast<uint16_t>(U16_LEAD(c)));
      escape_unit(static_cast<uint16_t>(U16_TRAIL(c)));
    } else {
      escape_unit(static_cast<uint16_t>(c));
    }
  }
  out += '"';
}

// Order of the script's string comparison (UTF-16 code units): characters
// beyond the basic plane sort between U+D7FF and U+E000.
uint32_t Utf16Order(UChar32 c) {
  if (c < 0xD800) return static_cast<uint32_t>(c);
  if (c > 0xFFFF) return 0x110000u + static_cast<uint32_t>(c);
  return 0x220000u + static_cast<uint32_t>(c);
}

bool Utf16Less(std::string_view a, std::string_view b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const uint32_t x = Utf16Order(NextCodePoint(a, &i));
    const uint32_t y = Utf16Order(NextCodePoint(b, &j));
    if (x != y) return x < y;
  }
  return i == a.size() && j < b.size();
}

}  // namespace

std::string VisibleText(std::string_view html) {
  std::string text;
  text.reserve(html.size() / 2);
  bool pending_space = false;
  // `bytes`: the character as it stands in the HTML, when that is its UTF-8.
  const auto put = [&](UChar32 c, std::string_view bytes = {}) {
    // No white space lies above U+3000 (most CJK text).
    if (c < 0x80 ? (c == ' ' || (c >= '\t' && c <= '\r'))
                 : c <= 0x3000 && (u_isUWhiteSpace(c) || c == 0xAD)) {
      pending_space = !text.empty() || pending_space;
      return;
    }
    if (pending_space && !text.empty()) text += ' ';
    pending_space = false;
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else if (!bytes.empty()) {
      text.append(bytes);
    } else {
      AppendCodePoint(text, c);
    }
  };
  for (size_t pos = 0; pos < html.size();) {
    const char ch = html[pos];
    if (ch == '<') {
      // The second character tells which of the special cases can apply.
      const char next = pos + 1 < html.size() ? html[pos + 1] : '\0';
      const bool s_tag = (next | 0x20) == 's';
      if (next == '!' && html.compare(pos, 4, "<!--") == 0) {
        const size_t end = html.find("-->", pos + 4);
        pos = end == std::string_view::npos ? html.size() : end + 3;
      } else if (s_tag && StartsWithNoCase(html, pos, "<script")) {
        pos = SkipRawElement(html, pos, "script");
      } else if (s_tag && StartsWithNoCase(html, pos, "<style")) {
        pos = SkipRawElement(html, pos, "style");
      } else if (const size_t after =
                     next == 'd' ? SkipNavigationBlock(html, pos) : std::string_view::npos;
                 after != std::string_view::npos) {
        pos = after;
      } else {
        const size_t end = html.find('>', pos);
        if (BreaksText(html.substr(pos, end == std::string_view::npos ? end : end - pos))) {
          pending_space = !text.empty();
        }
        pos = end == std::string_view::npos ? html.size() : end + 1;
        continue;
      }
      pending_space = !text.empty();
      continue;
    }
    if (ch == '&') {
      UChar32 c = 0;
      if (const size_t length = DecodeReference(html, pos, &c); length > 0) {
        put(c);
        pos += length;
        continue;
      }
    }
    if (ch > ' ' && ch < 0x7F) {
      // A run of printable ASCII up to the next space, tag or reference,
      // at once.
      size_t end = pos + 1;
      while (end < html.size() && html[end] > ' ' && html[end] < 0x7F && html[end] != '<' &&
             html[end] != '&') {
        ++end;
      }
      put(ch);
      text.append(html.data() + pos + 1, end - pos - 1);
      pos = end;
    } else if (static_cast<unsigned char>(ch) < 0x80) {
      put(ch);
      ++pos;
    } else {
      const size_t start = pos;
      const UChar32 c = NextCodePoint(html, &pos);
      // A bad byte becomes U+FFFD; anything else read is its own UTF-8.
      put(c, c == 0xFFFD ? std::string_view() : html.substr(start, pos - start));
    }
  }
  return text;
}

namespace {

// Calls `emit` with every term of the text, in order.
template <typename Emit>
void ForEachTerm(std::string_view text, Emit&& emit) {
  std::string word;
  char pair[8];            // the last CJK character, then the pair it ends
  size_t last_length = 0;  // bytes of the last CJK character in `pair`
  size_t run_length = 0;   // characters in the current CJK run
  const auto end_word = [&] {
    if (!word.empty()) emit(std::string_view(word));
    word.clear();
  };
  const auto end_run = [&] {
    if (run_length == 1) emit(std::string_view(pair, last_length));
    run_length = 0;
  };
  for (size_t pos = 0; pos < text.size();) {
    const char ch = text[pos];
    if (static_cast<unsigned char>(ch) < 0x80) {
      ++pos;
      if (IsAsciiAlnum(static_cast<unsigned char>(ch))) {
        end_run();
        word += ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + ('a' - 'A')) : ch;
      } else {
        end_run();
        end_word();
      }
      continue;
    }
    const size_t start = pos;
    const UChar32 c = NextCodePoint(text, &pos);
    const size_t length = pos - start;
    if (IsCjk(c)) {
      end_word();
      if (run_length > 0) {
        // The pair: the previous character, then this one.
        std::memcpy(pair + last_length, text.data() + start, length);
        emit(std::string_view(pair, last_length + length));
        std::memmove(pair, pair + last_length, length);
      } else {
        std::memcpy(pair, text.data() + start, length);
      }
      last_length = length;
      ++run_length;
    } else if (IsWordChar(c)) {
      end_run();
      AppendCodePoint(word, u_tolower(c));
    } else {
      end_run();
      end_word();
    }
  }
  end_run();
  end_word();
}

// Postings: page numbers in ascending order, as the distance to the previous
// page (the first as it is) in digits of 32, the last digit of each number
// from kLastDigits and the others from kMoreDigits; or, where it is shorter,
// "~" and a bitmap of all pages, six pages a character (kBitmapDigits).
constexpr std::string_view kLastDigits = "abcdefghijklmnopqrstuvwxyz012345";
constexpr std::string_view kMoreDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZ6789$_";
constexpr std::string_view kBitmapDigits =
    "abcdefghijklmnopqrstuvwxyz012345ABCDEFGHIJKLMNOPQRSTUVWXYZ6789$_";

void AppendPostings(std::string& out, std::span<const uint32_t> pages) {
  std::string deltas;
  uint32_t previous = 0;
  for (size_t i = 0; i < pages.size(); ++i) {
    uint32_t value = pages[i] - (i == 0 ? 0 : previous);
    previous = pages[i];
    char digits[8];
    int count = 0;
    digits[count++] = kLastDigits[value % 32];
    for (value /= 32; value != 0; value /= 32) digits[count++] = kMoreDigits[value % 32];
    while (count > 0) deltas += digits[--count];
  }
  const size_t bitmap_length = 1 + pages.back() / 6 + 1;
  if (bitmap_length >= deltas.size()) {
    out += deltas;
    return;
  }
  std::string bitmap(bitmap_length - 1, 0);
  for (uint32_t page : pages)
    bitmap[page / 6] = static_cast<char>(bitmap[page / 6] | 1 << page % 6);
  out += '~';
  for (char bits : bitmap) out += kBitmapDigits[static_cast<size_t>(bits)];
}

// 64-bit hash of a term, eight bytes a step.
uint64_t HashTerm(std::string_view term) {
  uint64_t hash = 0x9E3779B97F4A7C15ull ^ term.size();
  size_t at = 0;
  for (; at + 8 <= term.size(); at += 8) {
    uint64_t word = 0;
    std::memcpy(&word, term.data() + at, 8);
    hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
    hash ^= hash >> 32;
  }
  uint64_t tail = 0;
  std::memcpy(&tail, term.data() + at, term.size() - at);
  hash = (hash ^ tail) * 0xC4CEB9FE1A85EC53ull;
  return hash ^ (hash >> 29);
}

// Where a short term's key goes in the table.
uint64_t MixKey(uint64_t key) {
  key = (key ^ (key >> 31)) * 0xFF51AFD7ED558CCDull;
  return key ^ (key >> 29);
}

// The distinct terms of a site, numbered in order of first appearance, and
// for each the last page that held it. An open-addressing table of slots
// that hold a term of up to eight bytes (most words and every CJK pair)
// itself, longer ones by their hash over an arena of their bytes, beside the
// id and the last page: a repeat costs one slot read, most new ones too.
class TermTable {
 public:
  TermTable() : slots_(kInitialSlots) {}

  // What a term is looked up by: its bytes when it has up to eight, else
  // its hash.
  struct Key {
    uint64_t bits = 0;
    bool is_long = false;
  };
  static Key KeyOf(std::string_view term) {
    Key key;
    key.is_long = term.size() > 8;
    if (key.is_long) {
      key.bits = HashTerm(term);
    } else {
      std::memcpy(&key.bits, term.data(), term.size());
    }
    return key;
  }

  // Asks the memory for the slot a lookup of `key` starts at, so that a
  // page's lookups wait for memory side by side rather than one by one.
  void Prefetch(const Key& key) const {
    __builtin_prefetch(&slots_[Home(key) & (slots_.size() - 1)]);
  }

  // The id of `term` (given the next id when it is new) when `page` is not
  // the last page it was met on; kSamePage when it is. Pages come in
  // ascending order.
  static constexpr uint32_t kSamePage = UINT32_MAX;
  uint32_t Meet(std::string_view term, const Key& key, uint32_t page) {
    if ((count_ + 1) * 4 > slots_.size() * 3) Grow();
    const uint32_t tag = key.is_long ? kLongTag : 0;
    const size_t mask = slots_.size() - 1;
    for (size_t at = Home(key) & mask;; at = (at + 1) & mask) {
      Slot& slot = slots_[at];
      if (slot.id == 0) {
        const auto id = static_cast<uint32_t>(count_++);
        spans_.push_back(
            {static_cast<uint32_t>(arena_.size()), static_cast<uint32_t>(term.size())});
        arena_.append(term);
        slot = {key.bits, (id + 1) | tag, page};
        return id;
      }
      if (slot.key == key.bits && (slot.id & kLongTag) == tag) {
        const uint32_t id = (slot.id & ~kLongTag) - 1;
        if (key.is_long && Term(id) != term) continue;
        if (slot.last_page == page) return kSamePage;
        slot.last_page = page;
        return id;
      }
    }
  }

  size_t count() const { return count_; }
  std::string_view Term(uint32_t id) const {
    return std::string_view(arena_).substr(spans_[id].offset, spans_[id].length);
  }

 private:
  static constexpr size_t kInitialSlots = 1 << 16;
  static constexpr uint32_t kLongTag = 0x80000000u;
  struct Slot {
    uint64_t key = 0;        // the term's bytes, or for a long one its hash
    uint32_t id = 0;         // id + 1 (0: empty), kLongTag for a long term
    uint32_t last_page = 0;  // the last page the term was met on
  };
  struct Span {
    uint32_t offset;
    uint32_t length;
  };

  static uint64_t Home(const Key& key) { return key.is_long ? key.bits : MixKey(key.bits); }

  void Grow() {
    std::vector<Slot> slots(slots_.size() * 2);
    const size_t mask = slots.size() - 1;
    for (const Slot& slot : slots_) {
      if (slot.id == 0) continue;
      size_t at = Home({slot.key, (slot.id & kLongTag) != 0}) & mask;
      while (slots[at].id != 0) at = (at + 1) & mask;
      slots[at] = slot;
    }
    slots_ = std::move(slots);
  }

  std::vector<Slot> slots_;
  size_t count_ = 0;
  std::vector<Span> spans_;
  std::string arena_;
};

// Term id -> pages, ascending, made once from the (term, page) pairs in the
// order they were met: a counting sort by term keeps each term's pages in
// page order.
struct PostingLists {
  std::vector<uint32_t> starts;  // per term and one more: where its pages start
  std::vector<uint32_t> pages;

  PostingLists(size_t terms, const std::vector<std::pair<uint32_t, uint32_t>>& met)
      : starts(terms + 1, 0), pages(met.size()) {
    for (const auto& [term, page] : met) ++starts[term + 1];
    for (size_t id = 0; id < terms; ++id) starts[id + 1] += starts[id];
    std::vector<uint32_t> next(starts.begin(), starts.end() - 1);
    for (const auto& [term, page] : met) pages[next[term]++] = page;
  }
  std::span<const uint32_t> Of(uint32_t id) const {
    return std::span<const uint32_t>(pages).subspan(starts[id], starts[id + 1] - starts[id]);
  }
};

}  // namespace

std::vector<std::string> SearchTerms(std::string_view text) {
  std::vector<std::string> terms;
  ForEachTerm(text, [&](std::string_view term) { terms.emplace_back(term); });
  return terms;
}

// The pages added so far and their terms. A worker thread takes the pages in
// page order as they are added: it reads each page's text out of its HTML,
// gathers its terms and, when the build has given it a folder, writes each
// full file of snippet text (under a temporary name, put in place by Write).
// The driver only appends pages; a page's fields are the worker's from then
// on (a deque keeps each page where it is), read by others once it is joined.
struct SearchIndexBuilder::State {
  struct Page {
    std::string title_html;  // until the worker has read it
    std::string body_html;
    std::string title;
    std::string text;
  };

  // Pages go to the worker a batch at a time: one hand-over per page woke it
  // (and let it take the driver's core) thousands of times.
  static constexpr size_t kBatch = 32;
  std::vector<Page> batch;  // the driver's, not yet handed over

  // What the worker may have waiting, in bytes of HTML: past it the driver
  // waits, so that a worker short of a core does not leave every page of a
  // large document in memory until the end.
  static constexpr size_t kMostWaitingBytes = size_t{8} << 20;

  std::mutex mutex;
  std::condition_variable wake;          // a page added, or closing
  std::condition_variable gathered_one;  // the worker took a page
  std::deque<Page> pages;                // guarded by `mutex`
  size_t gathered = 0;                   // pages whose terms are in the table; guarded
  size_t waiting_bytes = 0;              // HTML of the pages added and not yet read; guarded
  bool closing = false;                  // guarded
  bool abandoned = false;                // guarded: the builder goes, its pages unwanted
  std::thread worker;

  // Set before the first page is added, read by the worker.
  std::string output_dir;  // empty: the snippet files are all made by Write
  std::string file_encode;

  // Written by the worker only; read once it has been joined.
  struct PageTerm {
    TermTable::Key key;
    uint32_t offset;  // in term_bytes, for a long term
    uint32_t length;
  };
  std::vector<PageTerm> page_terms;      // of the page being gathered
  std::vector<const Page*> chunk_pages;  // gathered of the chunk being filled
  std::string term_bytes;
  TermTable table;
  std::vector<std::pair<uint32_t, uint32_t>> met;  // (term, page), each page once per term
  size_t text_bytes = 0;
  std::deque<std::optional<support::ReplacementFile>> text_files;  // per full chunk
  support::Status texts_written = support::Status::Ok();

  ~State() {
    batch.clear();
    {
      const std::lock_guard lock(mutex);
      abandoned = true;
    }
    Finish();
  }

  // Gives the worker the pages of the batch.
  void HandOver() {
    if (batch.empty()) return;
    if (!worker.joinable()) {
      closing = false;
      worker = std::thread([this] { Gather(); });
    }
    {
      std::unique_lock lock(mutex);
      gathered_one.wait(lock, [&] { return waiting_bytes < kMostWaitingBytes; });
      for (Page& page : batch) {
        waiting_bytes += page.title_html.size() + page.body_html.size();
        pages.push_back(std::move(page));
      }
    }
    batch.clear();
    wake.notify_one();
  }

  // Waits until every page added is gathered.
  void Finish() {
    HandOver();
    if (!worker.joinable()) return;
    {
      const std::lock_guard lock(mutex);
      closing = true;
    }
    wake.notify_one();
    worker.join();
  }

  // The snippet script of a chunk of pages.
  static std::string TextScript(size_t chunk, const std::vector<const Page*>& list, bool ansi) {
    std::string out = "tessarineSearchText(" + std::to_string(chunk) + ",[";
    for (size_t k = 0; k < list.size(); ++k) {
      if (k > 0) out += ",\n";
      AppendScriptString(out, list[k]->text, ansi);
    }
    out += "]);\n";
    return out;
  }
  // The same of pages chunk*kTextChunk.. up to `end`, once the worker is
  // joined.
  std::string TextScript(size_t chunk, size_t end, bool ansi) const {
    std::vector<const Page*> list;
    for (size_t number = chunk * kTextChunk; number < end; ++number) list.push_back(&pages[number]);
    return TextScript(chunk, list, ansi);
  }

  std::string TextPath(size_t chunk) const {
    return output_dir + std::string(kSearchTextPrefix) + std::to_string(chunk) + ".js";
  }

  // The snippet file of a full chunk, written while the build goes on. The
  // worker reaches its pages through its own pointers: the deque's index
  // changes as the driver adds pages.
  void WriteChunk(size_t chunk) {
    if (!texts_written || chunk != text_files.size()) return;
    if (chunk == 0) {
      std::error_code error;
      fs::create_directories(fs::path(TextPath(0)).parent_path(), error);
    }
    const std::string script = TextScript(chunk, chunk_pages, file_encode != "1");
    text_files.emplace_back();
    texts_written =
        support::WriteTextFileUncommitted(TextPath(chunk), script, file_encode, text_files.back());
  }

  void Gather() {
    for (;;) {
      Page* page = nullptr;
      uint32_t number = 0;
      {
        std::unique_lock lock(mutex);
        wake.wait(lock, [&] { return closing || gathered < pages.size(); });
        if (abandoned || gathered == pages.size()) return;
        number = static_cast<uint32_t>(gathered);
        page = &pages[gathered];
      }
      page->title = VisibleText(page->title_html);
      page->text = VisibleText(page->body_html);
      const size_t read = page->title_html.size() + page->body_html.size();
      // Swapped out, not assigned: an empty string assigned keeps the room,
      // and every page's HTML would stay until the end of the build.
      std::string().swap(page->title_html);
      std::string().swap(page->body_html);
      {
        const std::lock_guard lock(mutex);
        waiting_bytes -= read;
      }
      gathered_one.notify_one();
      text_bytes += page->title.size() + page->text.size();
      // The page's terms first, then their lookups, each slot asked for a
      // few lookups ahead. Each page once per term: a repeat on the same
      // page costs one lookup.
      page_terms.clear();
      term_bytes.clear();
      // A short term's bytes are its key; only long ones are kept apart.
      const auto collect = [&](std::string_view term) {
        PageTerm item{TermTable::KeyOf(term), 0, static_cast<uint32_t>(term.size())};
        if (item.key.is_long) {
          item.offset = static_cast<uint32_t>(term_bytes.size());
          term_bytes.append(term);
        }
        page_terms.push_back(item);
      };
      ForEachTerm(page->title, collect);
      ForEachTerm(page->text, collect);
      constexpr size_t kAhead = 8;
      for (size_t i = 0; i < page_terms.size(); ++i) {
        if (i + kAhead < page_terms.size()) table.Prefetch(page_terms[i + kAhead].key);
        const PageTerm& term = page_terms[i];
        const std::string_view bytes =
            term.key.is_long
                ? std::string_view(term_bytes).substr(term.offset, term.length)
                : std::string_view(reinterpret_cast<const char*>(&term.key.bits), term.length);
        const uint32_t id = table.Meet(bytes, term.key, number);
        if (id != TermTable::kSamePage) met.emplace_back(id, number);
      }
      chunk_pages.push_back(page);
      if ((number + 1) % kTextChunk == 0) {
        if (!output_dir.empty()) WriteChunk(number / kTextChunk);
        chunk_pages.clear();
      }
      const std::lock_guard lock(mutex);
      ++gathered;
    }
  }
};

SearchIndexBuilder::SearchIndexBuilder(bool enabled)
    : state_(enabled ? std::make_unique<State>() : nullptr) {}
SearchIndexBuilder::SearchIndexBuilder(SearchIndexBuilder&&) noexcept = default;
SearchIndexBuilder& SearchIndexBuilder::operator=(SearchIndexBuilder&&) noexcept = default;
SearchIndexBuilder::~SearchIndexBuilder() = default;

size_t SearchIndexBuilder::page_count() const {
  if (!state_) return 0;
  const std::lock_guard lock(state_->mutex);
  return state_->pages.size() + state_->batch.size();
}

size_t SearchIndexBuilder::text_bytes() const {
  if (!state_) return 0;
  state_->Finish();
  return state_->text_bytes;
}

void SearchIndexBuilder::WriteTextsAlong(const std::string& output_dir,
                                         std::string_view file_encode) {
  if (!state_) return;
  const std::lock_guard lock(state_->mutex);
  if (!state_->pages.empty() || !state_->batch.empty()) return;  // too late: Write makes them all
  state_->output_dir = output_dir;
  state_->file_encode = std::string(file_encode);
}

void SearchIndexBuilder::AddPage(std::string title_html, std::string body_html) {
  if (!state_) return;
  state_->batch.push_back({std::move(title_html), std::move(body_html), {}, {}});
  if (state_->batch.size() >= State::kBatch) state_->HandOver();
}

void SearchIndexBuilder::AddDocument(const SectionTable& sections) {
  for (const Section& row : sections) AddPage(row.Title, row.Body);
}

std::string SearchIndexBuilder::IndexScript(bool ansi) const {
  if (!state_) return std::string(kNoSearchIndex);
  state_->Finish();
  const size_t page_total = state_->pages.size();
  const PostingLists pages(state_->table.count(), state_->met);
  std::vector<std::string_view> names(state_->table.count());
  for (uint32_t id = 0; id < names.size(); ++id) names[id] = state_->table.Term(id);
  // Byte order is the script's order for terms below U+E000 (lead bytes
  // up to 0xED); only others need the slower comparison.
  std::vector<uint32_t> order(names.size());
  std::vector<bool> plain(names.size());
  for (uint32_t i = 0; i < order.size(); ++i) {
    order[i] = i;
    plain[i] = std::none_of(names[i].begin(), names[i].end(),
                            [](char c) { return static_cast<unsigned char>(c) >= 0xEE; });
  }
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    return plain[a] && plain[b] ? names[a] < names[b] : Utf16Less(names[a], names[b]);
  });

  std::string out = "tessarineSearchIndex({\"count\":" + std::to_string(page_total);
  // Terms and postings: one string each, entries separated by spaces. A
  // term that starts with the first character of the term before it (most
  // CJK pairs do) is written without it, after "|" instead of the space.
  std::string terms;
  std::string postings;
  std::string_view previous_first;
  for (size_t i = 0; i < order.size(); ++i) {
    const std::string_view term = names[order[i]];
    size_t first_length = 0;
    NextCodePoint(term, &first_length);
    const std::string_view first = term.substr(0, first_length);
    if (i > 0) {
      postings += ' ';
      if (first == previous_first && term.size() > first_length) {
        terms += '|';
        terms += term.substr(first_length);
      } else {
        terms += ' ';
        terms += term;
      }
    } else {
      terms += term;
    }
    previous_first = first;
    AppendPostings(postings, pages.Of(order[i]));
  }
  out += ",\n\"terms\":";
  AppendScriptString(out, terms, ansi);
  out += ",\n\"postings\":\"" + postings + "\"});\n";
  return out;
}

std::vector<std::string> SearchIndexBuilder::TextScripts(bool ansi) const {
  std::vector<std::string> scripts;
  if (!state_) return scripts;
  state_->Finish();
  const size_t count = state_->pages.size();
  for (size_t chunk = 0; chunk * kTextChunk < count; ++chunk) {
    scripts.push_back(state_->TextScript(chunk, std::min(count, (chunk + 1) * kTextChunk), ansi));
  }
  return scripts;
}

void RemoveSearchFiles(const std::string& output_dir, size_t kept_chunks) {
  std::error_code error;
  const fs::path index = fs::path(output_dir) / kSearchIndexFile;
  if (kept_chunks == 0) fs::remove(index, error);
  const std::string prefix = fs::path(kSearchTextPrefix).filename().string();
  for (const auto& entry : fs::directory_iterator(index.parent_path(), error)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with(prefix) || !name.ends_with(".js")) continue;
    const std::string_view number =
        std::string_view(name).substr(prefix.size(), name.size() - prefix.size() - 3);
    size_t chunk = 0;
    const auto [end, failed] = std::from_chars(number.data(), number.data() + number.size(), chunk);
    // A file this build writes again is replaced, not removed first.
    if (failed == std::errc() && end == number.data() + number.size() && chunk < kept_chunks &&
        std::to_string(chunk) == number) {
      continue;
    }
    fs::remove(entry.path(), error);
  }
}

support::Status SearchIndexBuilder::Write(const std::string& output_dir,
                                          std::string_view file_encode) const {
  const bool ansi = file_encode != "1";
  if (!state_) {
    RemoveSearchFiles(output_dir);
    // The menu page still asks for the index: an empty one, not a missing file.
    return support::WriteTextFile(output_dir + std::string(kSearchIndexFile),
                                  std::string(kNoSearchIndex), file_encode);
  }
  state_->Finish();
  State& state = *state_;
  const size_t count = state.pages.size();
  const size_t chunks = (count + kTextChunk - 1) / kTextChunk;
  // The files the worker wrote fit only the folder and encoding it was given.
  if (state.output_dir != output_dir || state.file_encode != file_encode) {
    state.output_dir = output_dir;
    state.file_encode = std::string(file_encode);
    state.text_files.clear();
    state.texts_written = support::Status::Ok();
  }
  if (!state.texts_written) return state.texts_written;
  RemoveSearchFiles(output_dir, chunks);
  // The snippet files the worker has not written are written on the second
  // core while the index is made on this one; both only read the pages.
  support::Status texts_written = support::Status::Ok();
  std::thread texts_writer([&] {
    for (size_t chunk = 0; chunk < chunks && texts_written; ++chunk) {
      if (chunk < state.text_files.size() && state.text_files[chunk]) {
        texts_written = state.text_files[chunk]->Commit();
        state.text_files[chunk].reset();
      } else {
        texts_written = support::WriteTextFile(
            state.TextPath(chunk),
            state.TextScript(chunk, std::min(count, (chunk + 1) * kTextChunk), ansi), file_encode);
      }
    }
  });
  const std::string index = IndexScript(ansi);
  texts_writer.join();
  if (!texts_written) return texts_written;
  return support::WriteTextFile(output_dir + std::string(kSearchIndexFile), index, file_encode);
}

}  // namespace tessarine::site
